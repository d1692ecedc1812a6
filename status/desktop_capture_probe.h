// Asks the session daemon vyrd, over loopback TCP, whether desktop capture is in use.
#pragma once

#include <chrono>
#include <cstdint>

namespace vyr {
class Socket;
}

namespace vyr::test {

// How a probe ended: the daemon answered, there is no daemon (no port file),
// or the exchange failed at some step.
enum class ProbeOutcome { Answered, NotRunning, Failed };

// True only when the whole exchange succeeded and the daemon answered 1.
// Failures print one line on stderr and give false; `outcome`, when given,
// tells which way it ended.
bool isUsingDesktopCapture(ProbeOutcome* outcome = nullptr);

// The daemon's port and cookie from its port file, both or neither (port 0, cookie
// null); release the cookie with free.
void readPortFile(uint16_t* port, char** cookie);

// When a bounded exchange must be over; max() waits as long as the peer takes.
using Deadline = std::chrono::steady_clock::time_point;

// All of length bytes, retried on interruption; length, or -1 (also when the
// deadline passes first).
int32_t sendAll(Socket& socket, const void* buffer, int32_t length, Deadline deadline = Deadline::max());
// Up to length bytes; fewer when the peer closes or the deadline passes; -1 on error.
int32_t receiveAll(Socket& socket, void* buffer, int32_t length, Deadline deadline = Deadline::max());

// How long the probe waits to connect, and then for the whole request and answer.
constexpr int kProbeTimeoutMs = 5000;

}  // namespace vyr::test
