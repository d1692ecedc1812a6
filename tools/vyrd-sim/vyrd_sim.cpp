// vyrd-sim: listens on loopback, publishes its port file and answers the
// is-using-desktop-capture request as told.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/paths.h"

namespace {

volatile sig_atomic_t stopRequested = 0;

void onSignal(int) { stopRequested = 1; }

struct Options {
    int answer = 1;
    bool closeWithoutReply = false;
    bool stall = false;
    std::string cookie;
    bool cookieGiven = false;
    std::string portFileDir;
    bool writePortFile = true;
    int port = 0;
    bool once = false;
    std::string recordFile;
    int clientTimeoutMs = 5000;
};

void usage() {
    fputs("usage: vyrd-sim [--answer N] [--close] [--stall] [--cookie TEXT] [--port-file-dir DIR]\n"
          "                [--no-port-file] [--port P] [--once] [--record FILE] [--client-timeout MS]\n"
          "  --answer N       the reply byte (default 1: desktop capture in use)\n"
          "  --close          close without replying\n"
          "  --stall          never reply; keep the connection until the client goes\n"
          "  --cookie TEXT    the cookie to publish and expect (default: made up)\n"
          "  --port-file-dir  where the port file goes (default: <user data>/Tarsel/VYR)\n"
          "  --no-port-file   publish nothing (the caller writes the port file)\n"
          "  --port P         listen on P (default: any free port)\n"
          "  --once           end after one connection\n"
          "  --record FILE    store each connection's received bytes in FILE\n"
          "  --client-timeout MS  how long a client has for its request (default 5000), so\n"
          "                   that a silent one cannot keep the next from being served\n",
          stderr);
}

bool parseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool hasValue = i + 1 < argc;
        if (a == "--answer" && hasValue) o.answer = atoi(argv[++i]);
        else if (a == "--close") o.closeWithoutReply = true;
        else if (a == "--stall") o.stall = true;
        else if (a == "--cookie" && hasValue) {
            o.cookie = argv[++i];
            o.cookieGiven = true;
        }
        else if (a == "--port-file-dir" && hasValue) o.portFileDir = argv[++i];
        else if (a == "--no-port-file") o.writePortFile = false;
        else if (a == "--port" && hasValue) o.port = atoi(argv[++i]);
        else if (a == "--once") o.once = true;
        else if (a == "--record" && hasValue) o.recordFile = argv[++i];
        else if (a == "--client-timeout" && hasValue) o.clientTimeoutMs = atoi(argv[++i]);
        else return false;
    }
    return true;
}

void makeDirectories(const std::string& path) {
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at == path.size() || path[at] == '/') mkdir(path.substr(0, at).c_str(), 0700);
    }
}

std::string portFilePath(const Options& o) {
    std::string dir = o.portFileDir;
    if (dir.empty()) {
        char* data = vyr::userDataDirectory();
        char* joined = vyr::joinPath(data, "Tarsel", "VYR", nullptr);
        dir = joined ? joined : "";
        free(joined);
        free(data);
    }
    char host[256] = "";
    gethostname(host, sizeof host);
    host[sizeof host - 1] = '\0';
    return dir + "/vyrdport." + host + ".WINSESSION";
}

bool writePortFile(const std::string& path, int port, const std::string& cookie) {
    makeDirectories(path.substr(0, path.rfind('/')));
    // Written aside and renamed, so a reader never sees half a file.
    // Created private from the start: the file holds the cookie.
    std::string temporary = path + ".tmp";
    unlink(temporary.c_str());
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    FILE* f = fd >= 0 ? fdopen(fd, "w") : nullptr;
    if (!f) {
        if (fd >= 0) close(fd);
        return false;
    }
    fprintf(f, "[vyrd]\nport = %d\ncookie = %s\n", port, cookie.c_str());
    fclose(f);
    return rename(temporary.c_str(), path.c_str()) == 0;
}

using Clock = std::chrono::steady_clock;

struct Client {
    int fd;
    Clock::time_point deadline;  // max(): no limit
    std::string received;
    const char* failure = "";  // why the last read gave up
};

// Waits for one byte; false when the peer closed, the client's time ran out, on
// error, or when asked to stop.
bool readByte(Client& c, unsigned char& byte) {
    for (;;) {
        int wait = -1;
        if (c.deadline != Clock::time_point::max()) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(c.deadline - Clock::now()).count();
            if (left <= 0) {
                c.failure = "client timed out";
                return false;
            }
            wait = int(left);
        }
        pollfd p{c.fd, POLLIN, 0};
        int n = poll(&p, 1, wait);
        ssize_t got = n == 1 ? recv(c.fd, &byte, 1, 0) : -1;
        if (got == 1) {
            c.received.push_back(char(byte));
            return true;
        }
        if (stopRequested) {
            c.failure = "stopped";
            return false;
        }
        if (n == 0 || (got < 0 && errno == EINTR)) continue;
        c.failure = "connection closed";
        return false;
    }
}

enum class TextRead { Complete, Failed, TooLong };

// A NUL-terminated text of at most maxLength bytes; reading stops as soon as it is
// longer, so a client cannot make the simulator hold much.
TextRead readText(Client& c, std::string& text, size_t maxLength) {
    text.clear();
    unsigned char byte;
    while (readByte(c, byte)) {
        if (byte == 0) return TextRead::Complete;
        if (text.size() == maxLength) return TextRead::TooLong;
        text.push_back(char(byte));
    }
    return TextRead::Failed;
}

// Reads until the client closes (or its time runs out), keeping what arrives.
void drain(Client& c) {
    unsigned char byte;
    while (readByte(c, byte)) {
    }
}

// After a wrong cookie the rest of the request is read and dropped before the
// connection closes: closing with unread bytes resets it, and whether the client's
// last send or its wait for the answer meets the reset would depend on timing.
// Bounded like the rest: the client's time-out ends it.
void skipRequest(Client& c, bool insideCookie) {
    unsigned char byte;
    int nulsLeft = insideCookie ? 2 : 1;
    while (nulsLeft > 0 && readByte(c, byte)) {
        if (byte == 0) --nulsLeft;
        c.received.pop_back();  // dropped, so a client cannot make the simulator hold much
    }
}

void serve(int fd, const Options& o) {
    Client c{fd, Clock::time_point::max(), {}};
    if (o.clientTimeoutMs > 0) c.deadline = Clock::now() + std::chrono::milliseconds(o.clientTimeoutMs);
    std::string cookie, command;
    unsigned char flag = 0;
    bool complete = false;
    const std::string knownCommand = "is-using-desktop-capture";
    TextRead cookieRead = TextRead::Failed, commandRead = TextRead::Failed;
    if (!readByte(c, flag)) {
        fprintf(stderr, "vyrd-sim: %s before the protocol flag\n", c.failure);
    } else if (flag != 0x02) {
        fprintf(stderr, "vyrd-sim: wrong protocol flag 0x%02x\n", flag);
    } else if ((cookieRead = readText(c, cookie, o.cookie.size())) == TextRead::Failed) {
        fprintf(stderr, "vyrd-sim: %s inside the cookie\n", c.failure);
    } else if (cookieRead == TextRead::TooLong) {
        fprintf(stderr, "vyrd-sim: wrong cookie: longer than the %zu bytes expected\n", o.cookie.size());
        skipRequest(c, true);
    } else if (cookie != o.cookie) {
        fprintf(stderr, "vyrd-sim: wrong cookie \"%s\"\n", cookie.c_str());
        skipRequest(c, false);
    } else if ((commandRead = readText(c, command, knownCommand.size())) == TextRead::Failed) {
        fprintf(stderr, "vyrd-sim: %s inside the command\n", c.failure);
    } else if (commandRead == TextRead::TooLong || command != knownCommand) {
        fprintf(stderr, "vyrd-sim: unknown command \"%s%s\"\n", command.c_str(),
                commandRead == TextRead::TooLong ? "..." : "");
    } else {
        complete = true;
    }
    if (complete && o.stall) {
        fputs("vyrd-sim: stalling\n", stderr);
        c.deadline = Clock::time_point::max();  // asked for: hold the connection until the client goes
        drain(c);
    } else if (complete && !o.closeWithoutReply) {
        unsigned char answer = static_cast<unsigned char>(o.answer);
        send(fd, &answer, 1, MSG_NOSIGNAL);
        fprintf(stderr, "vyrd-sim: answered %d\n", o.answer);
        drain(c);
    }
    close(fd);
    if (!o.recordFile.empty()) {
        if (FILE* f = fopen(o.recordFile.c_str(), "wb")) {
            fwrite(c.received.data(), 1, c.received.size(), f);
            fclose(f);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parseOptions(argc, argv, o)) {
        usage();
        return 2;
    }
    if (!o.cookieGiven) o.cookie = "sim" + std::to_string(getpid());

    struct sigaction action{};
    action.sa_handler = onSignal;  // no SA_RESTART: poll and recv return to check the flag
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    int listener = socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(uint16_t(o.port));
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 4) != 0) {
        fprintf(stderr, "vyrd-sim: cannot listen on port %d: %s\n", o.port, strerror(errno));
        return 1;
    }
    socklen_t length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    int port = ntohs(address.sin_port);

    std::string path;
    if (o.writePortFile) {
        path = portFilePath(o);
        if (!writePortFile(path, port, o.cookie)) {
            fprintf(stderr, "vyrd-sim: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    printf("%d\n", port);
    fflush(stdout);

    while (!stopRequested) {
        pollfd p{listener, POLLIN, 0};
        if (poll(&p, 1, 500) <= 0) continue;
        int client = accept(listener, nullptr, nullptr);
        if (client < 0) continue;
        serve(client, o);
        if (o.once) break;
    }
    close(listener);
    if (!path.empty()) unlink(path.c_str());
    return 0;
}
