// Blocking TCP client sockets over the platform's socket API.
// OS calls: socket_posix.cpp, socket_win32.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vyr {

// Wide enough for a Windows SOCKET; a POSIX descriptor is widened. All bits set: none.
using SocketHandle = uintptr_t;
constexpr SocketHandle kInvalidSocket = ~SocketHandle(0);

class Socket {
public:
    class Address {
    public:
        Address() = default;
        Address(const void* address, uint32_t length);
        // The numeric host, release with free; null (and a warning logged) on failure.
        char* toString() const;

        alignas(8) unsigned char storage[128] = {};
        uint32_t length = 0;
    };

    Socket(SocketHandle handle, int32_t type);
    // Leaves the handle open: owners close() first.
    virtual ~Socket() = default;

    // timeoutMs 0 waits as long as the system does.
    bool connect(const Address& address, int timeoutMs = 0);
    // Byte count; 0 when it would block (receive: also when the peer closed); -1 on error.
    int32_t send(const void* buffer, int32_t length);
    int32_t receive(void* buffer, int32_t length);
    int32_t close();
    // A receive or send that waits longer fails; 0 restores waiting for ever.
    bool setReceiveTimeout(int milliseconds);
    bool setSendTimeout(int milliseconds);

    // Whether the last failed call on this thread was interrupted by a signal.
    static bool lastCallInterrupted();

    SocketHandle handle;
    int32_t type;  // 0 TCP over IPv4, 4 TCP over IPv6
};

class TCPSocket : public Socket {
public:
    using Socket::Socket;
    // A connected socket to host:port (low 16 bits of port), owned by the caller; null
    // when none connects. connectTimeoutMs bounds each attempt, 0 leaves the system's.
    static TCPSocket* getClientSocket(const char* host, int port, int connectTimeoutMs = 0);
};

}  // namespace vyr
