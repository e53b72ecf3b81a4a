#include "platform/ui/client_socket.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <string>
#include <vector>

#include "platform/ui/tests/ui_test_support.h"

namespace {

class ClientSocketTest : public UiTest {
protected:
    // Waits for the socket's events until done says so; a bounded number of turns, not a time.
    template <class Done> bool WaitUntil(TClientSocket& socket, Done done) {
        for (int i = 0; i < 200 && !done(); ++i)
            socket.WaitForEvent(100);
        return done();
    }
};

// A loopback port that nothing listens on.
int ClosedPort() {
    QTcpServer server;
    EXPECT_TRUE(server.listen(QHostAddress::LocalHost));
    const int port = server.serverPort();
    server.close();
    return port;
}

TEST_F(ClientSocketTest, RefusedConnectionIsAnErrorEventWithItsClassicCode) {
    TClientSocket socket;
    socket.SetHost("127.0.0.1");
    socket.SetPort(ClosedPort());
    std::vector<int> codes;
    bool connected = false;
    socket.OnConnect = [&](TClientSocket&) { connected = true; };
    socket.OnError = [&](TClientSocket&, int& code) {
        codes.push_back(code);
        code = 0;
    };
    std::vector<std::string> raised;
    Application()->OnException = [&](TObject*, const std::exception& e) {
        raised.push_back(e.what());
    };
    socket.Open();
    EXPECT_TRUE(codes.empty()) << "events come from the event loop, not from Open";
    ASSERT_TRUE(WaitUntil(socket, [&] { return !codes.empty(); }));
    EXPECT_EQ(codes, std::vector<int>{10061});
    EXPECT_FALSE(connected);
    EXPECT_TRUE(raised.empty()) << "a zeroed code raises nothing";

    // A code the handler leaves raises through the application's error handler.
    socket.OnError = [&](TClientSocket&, int& code) { codes.push_back(code); };
    socket.Open();
    ASSERT_TRUE(WaitUntil(socket, [&] { return codes.size() == 2; }));
    ASSERT_EQ(raised.size(), 1u);
    EXPECT_NE(raised[0].find("10061"), std::string::npos) << raised[0];
    EXPECT_FALSE(socket.Active());
}

TEST_F(ClientSocketTest, ByNameConnectSendReadAndThePeersClose) {
    // The peer counts what arrives and, once the whole block is in, answers and closes.
    const std::string block(3 * 1024 * 1024 + 7, 'x');
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    std::size_t arrived = 0;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        QTcpSocket* peer = server.nextPendingConnection();
        QObject::connect(peer, &QTcpSocket::readyRead, [&, peer] {
            arrived += static_cast<std::size_t>(peer->readAll().size());
            if (arrived == block.size() + 5) {
                peer->write("got it\r\nbye\r\n");
                peer->disconnectFromHost();
            }
        });
    });

    TClientSocket socket;
    socket.SetHost("localhost");
    socket.SetPort(server.serverPort());
    std::vector<std::string> events;
    std::string received;
    socket.OnConnect = [&](TClientSocket& s) {
        events.push_back("connect");
        s.SendText("hello");
        s.SendText(block);
    };
    socket.OnRead = [&](TClientSocket& s) {
        if (events.back() != "read") events.push_back("read");
        received += s.ReceiveText();
    };
    socket.OnDisconnect = [&](TClientSocket&) { events.push_back("disconnect"); };
    socket.OnError = [&](TClientSocket&, int& code) {
        events.push_back("error " + std::to_string(code));
        code = 0;
    };
    socket.Open();
    ASSERT_TRUE(WaitUntil(socket, [&] { return events.size() >= 3; }))
        << "events so far: " << events.size();
    EXPECT_EQ(events, (std::vector<std::string>{"connect", "read", "disconnect"}));
    EXPECT_EQ(arrived, block.size() + 5);
    EXPECT_EQ(received, "got it\r\nbye\r\n");
    EXPECT_FALSE(socket.Connected());
}

TEST_F(ClientSocketTest, CloseDeliversWhatIsQueuedAndNoFurtherEvents) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    std::string arrived;
    bool peerClosed = false;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        QTcpSocket* peer = server.nextPendingConnection();
        peer->write("220 ready\r\n");
        QObject::connect(peer, &QTcpSocket::readyRead,
                         [&, peer] { arrived += peer->readAll().toStdString(); });
        QObject::connect(peer, &QTcpSocket::disconnected, [&] { peerClosed = true; });
    });
    TClientSocket socket;
    socket.SetHost("127.0.0.1");
    socket.SetPort(server.serverPort());
    int reads = 0, disconnects = 0;
    socket.OnRead = [&](TClientSocket& s) {
        ++reads;
        s.SendText("QUIT\r\n");
        s.Close();
    };
    socket.OnDisconnect = [&](TClientSocket&) { ++disconnects; };
    socket.Open();
    ASSERT_TRUE(WaitUntil(socket, [&] { return reads > 0; }));
    for (int i = 0; i < 200 && !peerClosed; ++i)
        socket.WaitForEvent(10);
    EXPECT_EQ(arrived, "QUIT\r\n");
    EXPECT_TRUE(peerClosed);
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(disconnects, 0);
    EXPECT_FALSE(socket.Active());
}

} // namespace
