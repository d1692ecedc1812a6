// Asks the session daemon vyrd, over loopback TCP, whether desktop capture is in use.
#pragma once

#include <cstdint>

namespace vyr {
class Socket;
}

namespace vyr::test {

// True only when the whole exchange succeeded and the daemon answered 1.
// Failures print one line on stderr and give false.
bool isUsingDesktopCapture();

// The daemon's port and cookie from its port file, both or neither (port 0, cookie
// null); release the cookie with free.
void readPortFile(uint16_t* port, char** cookie);

// All of length bytes, retried on interruption; length, or -1.
int32_t sendAll(Socket& socket, const void* buffer, int32_t length);
// Up to length bytes; fewer when the peer closes or the wait times out; -1 on error.
int32_t receiveAll(Socket& socket, void* buffer, int32_t length);

// How long the probe waits to connect and for the answer.
constexpr int kProbeTimeoutMs = 5000;

}  // namespace vyr::test
