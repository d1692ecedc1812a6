// Pairs with platform/network.h on Linux: POSIX sockets need no start-up.
#include "platform/network.h"

namespace vyr::platform {

NetworkStartup startNetwork() { return NetworkStartup::Ok; }
void stopNetwork() {}

}  // namespace vyr::platform
