#include "status/desktop_capture_probe.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/ini_file.h"
#include "common/paths.h"
#include "common/socket.h"
#include "common/strings.h"
#include "status/host_name.h"

namespace vyr::test {

namespace {

const char kCommand[] = "is-using-desktop-capture";  // sent with its NUL: 25 bytes

// Milliseconds left until the deadline, rounded up, so never 0 (a time-out of 0
// waits for ever) until it has passed.
int millisecondsLeft(Deadline deadline) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? int(std::min<int64_t>(left.count(), INT32_MAX)) : 0;
}

}  // namespace

void readPortFile(uint16_t* port, char** cookie) {
    *port = 0;
    *cookie = nullptr;
    char host[256];
    if (!hostName(host, sizeof host)) return;
    // A long host name cuts the formatted name at 255 characters, suffix included.
    char name[256];
    if (snprintf(name, sizeof name, "vyrdport.%s.WINSESSION", host) < 0) return;
    char* dataDir = userDataDirectory();
    char* path = joinPath(dataDir, "Tarsel", "VYR", name, nullptr);
    free(dataDir);

    // Parsed twice on purpose: construction parses, reload parses again.
    IniFile* ini = new IniFile(path, true);
    ini->reload();
    free(path);
    if (!ini->lastError()) {
        const char* portText = ini->lookup("vyrd", "port");
        const char* cookieText = portText ? ini->getValue("vyrd", "cookie") : nullptr;
        if (portText && cookieText) {
            *port = uint16_t(atoi(portText));
            *cookie = copyText(cookieText);
        }
    }
    delete ini;
}

int32_t sendAll(Socket& socket, const void* buffer, int32_t length, Deadline deadline) {
    const char* bytes = static_cast<const char*>(buffer);
    int32_t sent = 0;
    while (sent < length) {
        // A peer that stops reading must not hold the sender for ever; a send that
        // runs out of time returns what it sent, or 0, and this check ends the loop.
        if (deadline != Deadline::max()) {
            int left = millisecondsLeft(deadline);
            if (left == 0) return -1;
            socket.setSendTimeout(left);
        }
        int32_t n = socket.send(bytes + sent, length - sent);
        if (n > 0) {
            sent += n;
        } else if (n < 0) {
            if (Socket::lastCallInterrupted()) continue;
            return -1;
        }
    }
    return length;
}

int32_t receiveAll(Socket& socket, void* buffer, int32_t length, Deadline deadline) {
    char* bytes = static_cast<char*>(buffer);
    int32_t received = 0;
    while (received < length) {
        if (deadline != Deadline::max()) {
            int left = millisecondsLeft(deadline);
            if (left == 0) break;
            socket.setReceiveTimeout(left);
        }
        int32_t n = socket.receive(bytes + received, length - received);
        if (n > 0) {
            received += n;
        } else if (n == 0) {
            break;
        } else {
            if (Socket::lastCallInterrupted()) continue;
            return -1;
        }
    }
    return received;
}

namespace {

bool failWith(TCPSocket* socket, const char* message) {
    fputs(message, stderr);
    socket->close();
    delete socket;
    return false;
}

}  // namespace

bool isUsingDesktopCapture(ProbeOutcome* outcome) {
    ProbeOutcome ignored;
    ProbeOutcome& result = outcome ? *outcome : ignored;
    result = ProbeOutcome::Failed;
    uint16_t port = 0;
    char* cookie = nullptr;
    readPortFile(&port, &cookie);
    if (port == 0) {
        free(cookie);
        fputs("VYRD is not running\n", stderr);
        result = ProbeOutcome::NotRunning;
        return false;
    }
    if (!cookie) {
        fputs("VYRD cookie not available\n", stderr);
        return false;
    }
    TCPSocket* socket = TCPSocket::getClientSocket("127.0.0.1", port, kProbeTimeoutMs);
    if (!socket) {
        free(cookie);
        fputs("Could not connect to VYRD\n", stderr);
        return false;
    }
    // A daemon that accepts but never reads or never answers must not hold start-up
    // for ever, however slowly it trickles: one budget for the whole exchange.
    Deadline deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kProbeTimeoutMs);

    const char flag = 0x02;
    int32_t cookieLength = int32_t(strlen(cookie)) + 1;
    bool cookieSent = false;
    if (sendAll(*socket, &flag, 1, deadline) != 1) {
        free(cookie);
        return failWith(socket, "Could not send protocol flag to VYRD\n");
    }
    cookieSent = sendAll(*socket, cookie, cookieLength, deadline) == cookieLength;
    free(cookie);
    if (!cookieSent) return failWith(socket, "Could not send cookie to VYRD\n");
    if (sendAll(*socket, kCommand, int32_t(sizeof kCommand), deadline) != int32_t(sizeof kCommand))
        return failWith(socket, "Could not send is-using-desktop-capture command to VYRD\n");
    unsigned char reply = 0;
    int32_t n = receiveAll(*socket, &reply, 1, deadline);
    if (n <= 0) return failWith(socket, "Could not get whether is using desktop capture from VYRD\n");
    socket->close();
    delete socket;
    result = ProbeOutcome::Answered;
    return reply == 0x01;
}

}  // namespace vyr::test
