// The OS side of common/socket.h: socket_posix.cpp and socket_win32.cpp.
#pragma once

#include "common/socket.h"

#include <vector>

namespace vyr::os {

int lastSocketError();
bool isWouldBlock(int error);
bool isInterrupted(int error);
SocketHandle openSocket(int family, int type, int protocol);
bool connectSocket(SocketHandle handle, const void* address, uint32_t length);
// Non-blocking connect, then waits up to timeoutMs for it to finish.
bool connectSocketWithin(SocketHandle handle, const void* address, uint32_t length, int timeoutMs);
int sendSocket(SocketHandle handle, const void* buffer, int length);
int receiveSocket(SocketHandle handle, void* buffer, int length);
int closeSocket(SocketHandle handle);
bool setReceiveTimeout(SocketHandle handle, int milliseconds);
bool setSendTimeout(SocketHandle handle, int milliseconds);
// The text of a getaddrinfo failure, in one program-wide buffer.
const char* resolveErrorText(int code);
int32_t socketTypeFor(int family);  // 0 AF_INET, 4 AF_INET6, -1 any other
struct ResolvedAddress {
    int family;
    int socketType;
    int protocol;
    Socket::Address address;
};
// getaddrinfo with AI_ADDRCONFIG for stream sockets, entries in the resolver's order;
// 0 or the resolver's error code.
int resolve(const char* host, const char* service, std::vector<ResolvedAddress>& entries);
bool numericHost(const void* address, uint32_t storageSize, char* host, uint32_t hostSize);

}  // namespace vyr::os
