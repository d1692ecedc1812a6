// Name resolution for TCPSocket, the same on both platforms: getaddrinfo and
// its address records are one interface in Windows Sockets and POSIX; only
// the headers differ.
#include "common/socket_os.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <sys/socket.h>
#endif

namespace vyr::os {

int32_t socketTypeFor(int family) { return family == AF_INET ? 0 : family == AF_INET6 ? 4 : -1; }

int resolve(const char* host, const char* service, std::vector<ResolvedAddress>& entries) {
    addrinfo hints{};
    hints.ai_flags = AI_ADDRCONFIG;
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    int rc = getaddrinfo(host, service, &hints, &list);
    if (rc != 0) return rc;
    for (addrinfo* e = list; e; e = e->ai_next) {
        entries.push_back({e->ai_family, e->ai_socktype, e->ai_protocol,
                           Socket::Address(e->ai_addr, uint32_t(e->ai_addrlen))});
    }
    freeaddrinfo(list);
    return 0;
}

}  // namespace vyr::os
