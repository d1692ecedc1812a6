#include "common/socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

// A loopback listener on a free port.
struct Listener {
    Listener() {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(fd, 4);
        socklen_t n = sizeof a;
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
        port = ntohs(a.sin_port);
    }
    ~Listener() { close(fd); }
    int fd;
    int port;
};

TEST(Socket, InvalidHandleNeverReachesTheStack) {
    vyr::Socket s(vyr::kInvalidSocket, 0);
    char byte = 0;
    EXPECT_EQ(s.send(&byte, 1), -1);
    EXPECT_EQ(s.receive(&byte, 1), -1);
    EXPECT_EQ(s.close(), -1);
    EXPECT_FALSE(s.connect(vyr::Socket::Address()));
}

TEST(Socket, ConnectsSendsReceivesAndClosesOnce) {
    Listener listener;
    vyr::TCPSocket* s = vyr::TCPSocket::getClientSocket("127.0.0.1", listener.port);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->type, 0);
    int peer = accept(listener.fd, nullptr, nullptr);
    ASSERT_GE(peer, 0);
    EXPECT_EQ(s->send("abc", 3), 3);
    char got[4] = {};
    EXPECT_EQ(recv(peer, got, 3, MSG_WAITALL), 3);
    EXPECT_STREQ(got, "abc");
    ::send(peer, "z", 1, 0);
    char reply = 0;
    EXPECT_EQ(s->receive(&reply, 1), 1);
    EXPECT_EQ(reply, 'z');
    close(peer);
    EXPECT_EQ(s->receive(&reply, 1), 0);  // peer closed
    EXPECT_EQ(s->close(), 0);
    EXPECT_EQ(s->close(), -1);
    EXPECT_EQ(s->handle, vyr::kInvalidSocket);
    delete s;
}

// The port is cut to sixteen bits; nothing listening gives none, with or
// without a time-out; a receive time-out ends a wait without bytes.
TEST(Socket, PortsTimeOutsAndNothingListening) {
    int closed;
    {
        Listener gone;
        closed = gone.port;
    }
    EXPECT_EQ(vyr::TCPSocket::getClientSocket("127.0.0.1", closed), nullptr);
    EXPECT_EQ(vyr::TCPSocket::getClientSocket("127.0.0.1", closed, 1000), nullptr);
    Listener listener;
    vyr::TCPSocket* s = vyr::TCPSocket::getClientSocket("127.0.0.1", listener.port + 65536, 2000);
    ASSERT_NE(s, nullptr);
    ASSERT_TRUE(s->setReceiveTimeout(200));
    char byte;
    EXPECT_LE(s->receive(&byte, 1), 0);
    s->close();
    delete s;
}

TEST(SocketAddress, NumericText) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    vyr::Socket::Address address(&a, sizeof a);
    EXPECT_EQ(address.length, sizeof a);
    char* text = address.toString();
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "127.0.0.1");
    free(text);
    EXPECT_EQ(vyr::Socket::Address().toString(), nullptr);
}

}  // namespace
