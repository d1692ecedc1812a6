#include "common/socket.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/log.h"
#include "common/socket_os.h"
#include "common/strings.h"

namespace vyr {

namespace {
thread_local bool interrupted = false;

int32_t noteFailure() {
    int error = os::lastSocketError();
    interrupted = os::isInterrupted(error);
    return os::isWouldBlock(error) ? 0 : -1;
}
}  // namespace

Socket::Address::Address(const void* address, uint32_t size) {
    length = size > sizeof storage ? uint32_t(sizeof storage) : size;
    if (address) memcpy(storage, address, length);
}

char* Socket::Address::toString() const {
    char host[1025];
    if (!os::numericHost(storage, uint32_t(sizeof storage), host, uint32_t(sizeof host))) {
        logMessage("VYR", LogLevel::Warning, "WARNING", "vyr::Socket::Address::toString", false,
                   "Failed to convert socket address to string");
        return nullptr;
    }
    return copyText(host);
}

Socket::Socket(SocketHandle handle, int32_t type) : handle(handle), type(type) {}

bool Socket::connect(const Address& address, int timeoutMs) {
    if (handle == kInvalidSocket) return false;
    bool ok = timeoutMs > 0 ? os::connectSocketWithin(handle, address.storage, address.length, timeoutMs)
                            : os::connectSocket(handle, address.storage, address.length);
    if (!ok) os::lastSocketError();
    return ok;
}

int32_t Socket::send(const void* buffer, int32_t length) {
    if (handle == kInvalidSocket) return -1;
    int n = os::sendSocket(handle, buffer, length);
    return n >= 0 ? n : noteFailure();
}

int32_t Socket::receive(void* buffer, int32_t length) {
    if (handle == kInvalidSocket) return -1;
    int n = os::receiveSocket(handle, buffer, length);
    return n >= 0 ? n : noteFailure();
}

int32_t Socket::close() {
    if (handle == kInvalidSocket) return -1;
    int result = os::closeSocket(handle);
    handle = kInvalidSocket;
    return result;
}

bool Socket::setReceiveTimeout(int milliseconds) {
    return handle != kInvalidSocket && os::setReceiveTimeout(handle, milliseconds);
}

bool Socket::setSendTimeout(int milliseconds) {
    return handle != kInvalidSocket && os::setSendTimeout(handle, milliseconds);
}

bool Socket::lastCallInterrupted() { return interrupted; }

TCPSocket* TCPSocket::getClientSocket(const char* host, int port, int connectTimeoutMs) {
    char service[10];
    snprintf(service, sizeof service, "%d", port & 0xFFFF);
    std::vector<os::ResolvedAddress> entries;
    int rc = os::resolve(host, service, entries);
    if (rc != 0) {
        logMessage("VYR", LogLevel::Warning, "WARNING", "vyr::TCPSocket::getClientSocket", false,
                   "Failed to get address for host %s and port %s: %s", host, service, os::resolveErrorText(rc));
        return nullptr;
    }
    TCPSocket* result = nullptr;
    for (const os::ResolvedAddress& entry : entries) {
        int32_t type = os::socketTypeFor(entry.family);
        if (type < 0) continue;
        SocketHandle handle = os::openSocket(entry.family, entry.socketType, entry.protocol);
        const Address& address = entry.address;
        TCPSocket* socket = new TCPSocket(handle, type);
        if (handle != kInvalidSocket && socket->connect(address, connectTimeoutMs)) {
            result = socket;
            break;
        }
        char* text = address.toString();
        logMessage("VYR", LogLevel::Info, "INFO", "vyr::TCPSocket::getClientSocket", false,
                   "Failed to connect to addr: %s", text ? text : "(null)");
        free(text);
        socket->close();
        delete socket;
    }
    return result;
}

}  // namespace vyr
