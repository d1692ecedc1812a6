// Network layer start-up: Windows Sockets 2.2; nothing to do on POSIX.
#pragma once

namespace vyr::platform {

enum class NetworkStartup { Ok, Failed, WrongVersion };
NetworkStartup startNetwork();
void stopNetwork();

}  // namespace vyr::platform
