#include "ftp/blocking_socket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "platform/net.h"
#include "support/peers/loopback_socket.h"
#include "support/system/this_system.h"

using nsSocket::CBlockingSocket;
using nsSocket::CBlockingSocketException;
using nsSocket::SocketAddress;
using testsupport::PerSystem;

namespace {

constexpr uint32_t kLoopback = 0x7f000001;

// A listening socket on a free loopback port.
struct Listener {
    CBlockingSocket socket;
    SocketAddress address;
    Listener() {
        socket.Create(nsSocket::kSockStream);
        socket.Bind(SocketAddress{kLoopback, 0});
        socket.GetSockName(address);
        socket.Listen();
    }
    ~Listener() { socket.Discard(); }
};

// A connected pair: `client` connected to `server`.
struct Pair {
    Listener listener;
    CBlockingSocket client;
    CBlockingSocket server;
    Pair() {
        client.Create(nsSocket::kSockStream);
        client.Connect(listener.address);
        SocketAddress peer;
        EXPECT_TRUE(listener.socket.Accept(server, peer, 5));
        EXPECT_EQ(peer.address, kLoopback);
    }
    ~Pair() {
        client.Discard();
        server.Discard();
    }
};

std::string raisedBy(auto&& call) {
    try {
        call();
    } catch (const CBlockingSocketException& e) {
        return e.Describe();
    }
    return "nothing raised";
}

}  // namespace

TEST(BlockingSocket, RefusedConnectionReadsAsOnWindows) {
    SocketAddress freePort;
    {
        Listener probe;  // learn a free port, then free it again
        freePort = probe.address;
    }
    CBlockingSocket socket;
    socket.Create(nsSocket::kSockStream);
    try {
        socket.Connect(freePort);
        FAIL() << "connect succeeded";
    } catch (const CBlockingSocketException& e) {
        EXPECT_EQ(e.operation, "Connect");
        EXPECT_EQ(e.errorCode, 10061);
        EXPECT_EQ(e.Describe(), "Connect error 0x0000274d");
    }
    socket.Discard();
    EXPECT_EQ(socket.Handle(), 0u);
}

// A bounded connect ends within its time-out whatever the peer does: a refused port
// at once with WSAECONNREFUSED; a port whose queue is full with WSAETIMEDOUT after the
// bound instead of the system's retries where the handshake never completes (Linux, and
// Wine on it), refused at once where Windows refuses it.
TEST(BlockingSocket, BoundedConnectEndsWithinItsTimeOut) {
    // A listener with a queue of none, filled by connections it never accepts.
    CBlockingSocket full;
    full.Create(nsSocket::kSockStream);
    full.Bind(SocketAddress{kLoopback, 0});
    SocketAddress fullPort;
    full.GetSockName(fullPort);
    ASSERT_TRUE(platform::net::listenSocket(full.Handle(), 0));
    CBlockingSocket fillers[2];
    for (CBlockingSocket& filler : fillers) {
        filler.Create(nsSocket::kSockStream);
        raisedBy([&] { filler.Connect(fullPort, 1); });
    }
    SocketAddress freePort;
    {
        Listener probe;
        freePort = probe.address;
    }
    struct Case {
        const char* name;
        SocketAddress address;
        int timeoutSeconds;
        const char* raised;
    };
    const PerSystem<const char*> fullQueue = {
        "Connect error 0x0000274c", "Connect error 0x0000274d",
        "Linux drops the handshake; Windows refuses a connection its full queue cannot take"};
    // clang-format off
    const Case cases[] = {
        {"a refused port", freePort, 5, "Connect error 0x0000274d"},
        {"a port whose queue is full", fullPort, 1,
         testsupport::underWine() ? "Connect error 0x0000274c" : fullQueue.here()},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CBlockingSocket socket;
        socket.Create(nsSocket::kSockStream);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(raisedBy([&] { socket.Connect(c.address, c.timeoutSeconds); }), c.raised);
        EXPECT_LT(std::chrono::steady_clock::now() - started,
                  std::chrono::seconds(c.timeoutSeconds) + std::chrono::seconds(2));
        socket.Discard();
    }
    for (CBlockingSocket& filler : fillers) filler.Discard();
    full.Discard();
}

TEST(BlockingSocket, ReceiveWithoutDataTimesOutAtOnce) {
    Pair pair;
    char buffer[16];
    auto start = std::chrono::steady_clock::now();
    std::string text = raisedBy([&] { pair.client.Receive(buffer, sizeof buffer, 0); });
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(text.rfind("Receive timeout error", 0), 0u) << text;
}

TEST(BlockingSocket, ReceiveAfterPeerCloseReturnsZero) {
    Pair pair;
    ASSERT_EQ(pair.server.SendAll("bye", 3, 5), 3);
    pair.server.Close();
    char buffer[16];
    ASSERT_EQ(pair.client.Receive(buffer, sizeof buffer, 5), 3);
    EXPECT_EQ(std::string(buffer, 3), "bye");
    EXPECT_EQ(pair.client.Receive(buffer, sizeof buffer, 5), 0);
}

TEST(BlockingSocket, SendAllDeliversEveryByteOverPartialSends) {
    Pair pair;
    // A small send buffer and a slow reader make the kernel take each send in parts.
    ASSERT_TRUE(testsupport::loopback::setSendBufferSize(
        testsupport::loopback::Socket(pair.client.Handle()), 4096));
    std::string payload(3 * 1024 * 1024, '\0');
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i * 7 + i / 4093);
    std::string received;
    std::thread reader([&] {
        char chunk[3000];
        for (;;) {
            int n = pair.server.Receive(chunk, sizeof chunk, 10);
            if (n == 0) break;
            received.append(chunk, n);
            if (received.size() < 256 * 1024)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    int sent = pair.client.SendAll(payload.data(), static_cast<int>(payload.size()), 10);
    pair.client.Close();
    reader.join();
    EXPECT_EQ(sent, static_cast<int>(payload.size()));
    EXPECT_TRUE(received == payload) << "received " << received.size() << " bytes";
}

TEST(BlockingSocket, SendToVanishedPeerRaisesInsteadOfKillingTheProcess) {
    Pair pair;
    pair.server.Close();
    std::string chunk(64 * 1024, 'x');
    std::string text = raisedBy([&] {
        for (int i = 0; i < 100; ++i) pair.client.SendAll(chunk.data(), int(chunk.size()), 2);
    });
    EXPECT_EQ(text.rfind("Send error 0x", 0), 0u) << text;
}

TEST(BlockingSocket, AcceptGivesUpAfterItsTimeOut) {
    Listener listener;
    CBlockingSocket connection;
    SocketAddress peer;
    auto start = std::chrono::steady_clock::now();
    std::string text = raisedBy([&] { listener.socket.Accept(connection, peer, 1); });
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(text.rfind("Accept timeout error", 0), 0u) << text;
    EXPECT_GE(waited, std::chrono::milliseconds(900));
    EXPECT_LT(waited, std::chrono::seconds(5));
    EXPECT_EQ(connection.Handle(), 0u);
}

// Close-on-exec on Linux, not inheritable on Windows: a started updater gets none.
TEST(BlockingSocket, NoSocketIsInheritedByChildren) {
    Pair pair;
    for (auto handle :
         {pair.listener.socket.Handle(), pair.client.Handle(), pair.server.Handle()}) {
        EXPECT_FALSE(
            testsupport::loopback::inheritedByChildren(testsupport::loopback::Socket(handle)))
            << "handle " << handle;
        EXPECT_GT(handle, 2u) << "a socket took a standard stream's place";
    }
}

TEST(BlockingSocket, UnopenedObjectClosesQuietlyAndOpensAgain) {
    CBlockingSocket socket;
    EXPECT_NO_THROW(socket.Close());
    EXPECT_NO_THROW(socket.Discard());
    socket.Create(nsSocket::kSockStream);
    EXPECT_NE(socket.Handle(), 0u);
    socket.Close();
    EXPECT_EQ(socket.Handle(), 0u);
    socket.Create(nsSocket::kSockStream);
    EXPECT_NE(socket.Handle(), 0u);
    socket.Close();
}

TEST(BlockingSocket, HostLookUpTakesDottedTextAndLocalNames) {
    CBlockingSocket socket;
    SocketAddress a = socket.GetHostByName("127.0.0.1", 2121);
    EXPECT_EQ(a.address, kLoopback);
    EXPECT_EQ(a.port, 2121);
    SocketAddress b = socket.GetHostByName("localhost", 21);
    EXPECT_EQ(b.address >> 24, 127u);
    EXPECT_EQ(platform::net::dottedText(0x0a000007), "10.0.0.7");
}

TEST(BlockingSocketException, DescribeTexts) {
    struct Case {
        const char* operation;
        int code;
        unsigned size;
        const char* expected;
        // clang-format off
    } cases[] = {
        {"Send timeout", 0, 512, "Send timeout error"},
        {"Connect", 10061, 512, "Connect error 0x0000274d"},
        {"GetHostByName", 11001, 512, "GetHostByName error 0x00002af9"},
        {"Receive", 10054, 10, "Receive e"},  // cut to the buffer, terminated
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        CBlockingSocketException e(c.operation, c.code);
        char buffer[512];
        std::memset(buffer, 'Z', sizeof buffer);
        EXPECT_TRUE(e.DescribeInto(buffer, c.size));
        EXPECT_STREQ(buffer, c.expected);
        if (c.size == 512) {
            EXPECT_EQ(e.Describe(), c.expected);
        }
    }
}
