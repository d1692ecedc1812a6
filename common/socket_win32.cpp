#include "common/socket_os.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

namespace vyr::os {

namespace {
SOCKET native(SocketHandle handle) { return SOCKET(handle); }
}  // namespace

int lastSocketError() { return WSAGetLastError(); }
bool isWouldBlock(int error) { return error == WSAEWOULDBLOCK; }
bool isInterrupted(int error) { return error == WSAEINTR; }

SocketHandle openSocket(int family, int type, int protocol) {
    SOCKET s = ::socket(family, type, protocol);
    return s == INVALID_SOCKET ? kInvalidSocket : SocketHandle(s);
}

bool connectSocket(SocketHandle handle, const void* address, uint32_t length) {
    return ::connect(native(handle), static_cast<const sockaddr*>(address), int(length)) == 0;
}

bool connectSocketWithin(SocketHandle handle, const void* address, uint32_t length, int timeoutMs) {
    u_long on = 1, off = 0;
    if (ioctlsocket(native(handle), FIONBIO, &on) != 0) return connectSocket(handle, address, length);
    bool ok = ::connect(native(handle), static_cast<const sockaddr*>(address), int(length)) == 0;
    if (!ok && WSAGetLastError() == WSAEWOULDBLOCK) {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(native(handle), &writable);
        FD_SET(native(handle), &failed);
        timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        // Windows reports a refused connection through the except set, not the write set.
        int n = select(0, nullptr, &writable, &failed, &tv);
        ok = n == 1 && FD_ISSET(native(handle), &writable);
        if (!ok) WSASetLastError(n == 0 ? WSAETIMEDOUT : WSAECONNREFUSED);
    }
    ioctlsocket(native(handle), FIONBIO, &off);
    return ok;
}

int sendSocket(SocketHandle handle, const void* buffer, int length) {
    int n = ::send(native(handle), static_cast<const char*>(buffer), length, 0);
    return n == SOCKET_ERROR ? -1 : n;
}

int receiveSocket(SocketHandle handle, void* buffer, int length) {
    int n = ::recv(native(handle), static_cast<char*>(buffer), length, 0);
    return n == SOCKET_ERROR ? -1 : n;
}

int closeSocket(SocketHandle handle) { return closesocket(native(handle)); }

bool setReceiveTimeout(SocketHandle handle, int milliseconds) {
    DWORD value = DWORD(milliseconds);
    return setsockopt(native(handle), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&value),
                      sizeof value) == 0;
}

bool setSendTimeout(SocketHandle handle, int milliseconds) {
    DWORD value = DWORD(milliseconds);
    return setsockopt(native(handle), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&value),
                      sizeof value) == 0;
}

const char* resolveErrorText(int code) {
    static char text[1024];
    text[0] = '\0';
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                   nullptr, DWORD(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
    return text;
}

bool numericHost(const void* address, uint32_t storageSize, char* host, uint32_t hostSize) {
    return getnameinfo(static_cast<const sockaddr*>(address), socklen_t(storageSize), host, DWORD(hostSize),
                       nullptr, 0, NI_NUMERICHOST) == 0;
}

}  // namespace vyr::os
