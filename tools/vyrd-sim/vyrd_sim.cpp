// vyrd-sim: listens on loopback, publishes its port file and answers the
// is-using-desktop-capture request as told.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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
};

void usage() {
    fputs("usage: vyrd-sim [--answer N] [--close] [--stall] [--cookie TEXT] [--port-file-dir DIR]\n"
          "                [--no-port-file] [--port P] [--once] [--record FILE]\n"
          "  --answer N       the reply byte (default 1: desktop capture in use)\n"
          "  --close          close without replying\n"
          "  --stall          never reply; keep the connection until the client goes\n"
          "  --cookie TEXT    the cookie to publish and expect (default: made up)\n"
          "  --port-file-dir  where the port file goes (default: <user data>/Tarsel/VYR)\n"
          "  --no-port-file   publish nothing (the caller writes the port file)\n"
          "  --port P         listen on P (default: any free port)\n"
          "  --once           end after one connection\n"
          "  --record FILE    store each connection's received bytes in FILE\n",
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
    std::string temporary = path + ".tmp";
    FILE* f = fopen(temporary.c_str(), "w");
    if (!f) return false;
    fprintf(f, "[vyrd]\nport = %d\ncookie = %s\n", port, cookie.c_str());
    fclose(f);
    return rename(temporary.c_str(), path.c_str()) == 0;
}

// Waits for one byte; false when the peer closed, on error, or when asked to stop.
bool readByte(int fd, std::string& received, unsigned char& byte) {
    for (;;) {
        ssize_t n = recv(fd, &byte, 1, 0);
        if (n == 1) {
            received.push_back(char(byte));
            return true;
        }
        if (n < 0 && errno == EINTR && !stopRequested) continue;
        return false;
    }
}

bool readText(int fd, std::string& received, std::string& text) {
    text.clear();
    unsigned char byte;
    while (readByte(fd, received, byte)) {
        if (byte == 0) return true;
        if (text.size() > 65536) return false;
        text.push_back(char(byte));
    }
    return false;
}

// Reads until the client closes, keeping what arrives.
void drain(int fd, std::string& received) {
    unsigned char byte;
    while (readByte(fd, received, byte)) {
    }
}

void serve(int fd, const Options& o) {
    std::string received, cookie, command;
    unsigned char flag = 0;
    bool complete = false;
    if (!readByte(fd, received, flag)) {
        fputs("vyrd-sim: connection closed before the protocol flag\n", stderr);
    } else if (flag != 0x02) {
        fprintf(stderr, "vyrd-sim: wrong protocol flag 0x%02x\n", flag);
    } else if (!readText(fd, received, cookie)) {
        fputs("vyrd-sim: connection closed inside the cookie\n", stderr);
    } else if (cookie != o.cookie) {
        fprintf(stderr, "vyrd-sim: wrong cookie \"%s\"\n", cookie.c_str());
    } else if (!readText(fd, received, command)) {
        fputs("vyrd-sim: connection closed inside the command\n", stderr);
    } else if (command != "is-using-desktop-capture") {
        fprintf(stderr, "vyrd-sim: unknown command \"%s\"\n", command.c_str());
    } else {
        complete = true;
    }
    if (complete && o.stall) {
        fputs("vyrd-sim: stalling\n", stderr);
        drain(fd, received);
    } else if (complete && !o.closeWithoutReply) {
        unsigned char answer = static_cast<unsigned char>(o.answer);
        send(fd, &answer, 1, MSG_NOSIGNAL);
        fprintf(stderr, "vyrd-sim: answered %d\n", o.answer);
        drain(fd, received);
    }
    close(fd);
    if (!o.recordFile.empty()) {
        if (FILE* f = fopen(o.recordFile.c_str(), "wb")) {
            fwrite(received.data(), 1, received.size(), f);
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
