// Pairs with platform/network.h on Windows: WSAStartup asking for 2.2.
#include "platform/network.h"

#include <winsock2.h>

namespace vyr::platform {

NetworkStartup startNetwork() {
    WSADATA data;
    if (WSAStartup(0x0202, &data) != 0) return NetworkStartup::Failed;
    if (LOBYTE(data.wVersion) != 2 || HIBYTE(data.wVersion) != 2) return NetworkStartup::WrongVersion;
    return NetworkStartup::Ok;
}

void stopNetwork() { WSACleanup(); }

}  // namespace vyr::platform
