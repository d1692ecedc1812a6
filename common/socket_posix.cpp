#include "common/socket_os.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vyr::os {

namespace {
int fd(SocketHandle handle) { return int(intptr_t(handle)); }
}  // namespace

int lastSocketError() { return errno; }
bool isWouldBlock(int error) { return error == EWOULDBLOCK || error == EAGAIN; }
bool isInterrupted(int error) { return error == EINTR; }

SocketHandle openSocket(int family, int type, int protocol) {
    int s = ::socket(family, type, protocol);
    return s < 0 ? kInvalidSocket : SocketHandle(intptr_t(s));
}

bool connectSocket(SocketHandle handle, const void* address, uint32_t length) {
    return ::connect(fd(handle), static_cast<const sockaddr*>(address), socklen_t(length)) == 0;
}

bool connectSocketWithin(SocketHandle handle, const void* address, uint32_t length, int timeoutMs) {
    int flags = fcntl(fd(handle), F_GETFL);
    if (flags < 0 || fcntl(fd(handle), F_SETFL, flags | O_NONBLOCK) < 0) return connectSocket(handle, address, length);
    bool ok = ::connect(fd(handle), static_cast<const sockaddr*>(address), socklen_t(length)) == 0;
    if (!ok && errno == EINPROGRESS) {
        pollfd p{fd(handle), POLLOUT, 0};
        int n;
        do {
            n = poll(&p, 1, timeoutMs);
        } while (n < 0 && errno == EINTR);
        int error = 0;
        socklen_t size = sizeof error;
        if (n == 1 && getsockopt(fd(handle), SOL_SOCKET, SO_ERROR, &error, &size) == 0) {
            ok = error == 0;
            if (!ok) errno = error;
        } else if (n == 0) {
            errno = ETIMEDOUT;
        }
    }
    fcntl(fd(handle), F_SETFL, flags);
    return ok;
}

int sendSocket(SocketHandle handle, const void* buffer, int length) {
    // A peer that has gone must not end the program with SIGPIPE.
    return int(::send(fd(handle), buffer, size_t(length), MSG_NOSIGNAL));
}

int receiveSocket(SocketHandle handle, void* buffer, int length) {
    return int(::recv(fd(handle), buffer, size_t(length), 0));
}

int closeSocket(SocketHandle handle) { return ::close(fd(handle)); }

bool setReceiveTimeout(SocketHandle handle, int milliseconds) {
    timeval tv{milliseconds / 1000, (milliseconds % 1000) * 1000};
    return setsockopt(fd(handle), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0;
}

bool setSendTimeout(SocketHandle handle, int milliseconds) {
    timeval tv{milliseconds / 1000, (milliseconds % 1000) * 1000};
    return setsockopt(fd(handle), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) == 0;
}

const char* resolveErrorText(int code) {
    static char text[1024];
    strncpy(text, gai_strerror(code), sizeof text - 1);
    return text;
}

bool numericHost(const void* address, uint32_t storageSize, char* host, uint32_t hostSize) {
    return getnameinfo(static_cast<const sockaddr*>(address), socklen_t(storageSize), host, hostSize, nullptr, 0,
                       NI_NUMERICHOST) == 0;
}

}  // namespace vyr::os
