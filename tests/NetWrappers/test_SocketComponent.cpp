// The TCP client (IPWorksSSLIPPortS over the component library's socket engine) against loopback
// peers: echoes plain and TLS with bytes of every value, lines by getLine and by onDataIn,
// TLS started by startSSL and judged by the handler, failures that must raise, a disconnect from
// a handler, a peer that hangs up (without SIGPIPE) and handler exceptions.

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "LoopbackServer.h"
#include "NetComponentsRecorder.h"
#include "NetWrappers/IPWorksSSLIPPortS.h"
#include "Platform/Exception.h"

namespace {

using namespace vistel;
using namespace vistel::test;
using namespace std::chrono_literals;

// Every event as a line; received data joined, with the EOL put back where a piece ended a line.
class Port : public IPWorksSSLIPPortS {
public:
    void onConnectionStatus(const std::string& event, int, const std::string&) override
    {
        events.push_back("ConnectionStatus " + event);
    }
    void onConnected(int code, const std::string&) override { events.push_back("Connected " + std::to_string(code)); }
    void onReadyToSend() override { events.push_back("ReadyToSend"); }
    void onSSLStatus(const std::string&) override { events.push_back("SSLStatus"); }
    void onSSLServerAuthentication(std::span<const std::byte> certificate, const std::string&, const std::string&,
                                   const std::string&, int& accept) override
    {
        events.push_back("SSLServerAuthentication " + std::to_string(accept));
        serverCertificate.assign(reinterpret_cast<const char*>(certificate.data()), certificate.size());
        if (authenticate)
            authenticate(accept);
    }
    void onDataIn(std::span<const std::byte> data, bool endedLine) override
    {
        if (events.empty() || events.back() != "DataIn")
            events.push_back("DataIn");
        const std::string piece(reinterpret_cast<const char*>(data.data()), data.size());
        pieces.push_back(piece);
        joined += piece;
        if (endedLine) {
            lines.push_back(partial + piece);
            partial.clear();
            joined += EOL();
        } else {
            partial += piece;
        }
        if (dataIn)
            dataIn(piece);
    }
    void onDisconnected(int code, const std::string& reason) override
    {
        events.push_back("Disconnected " + std::to_string(code) + " " + reason);
        ++disconnects;
    }

    // doEvents until `done` holds or 10 s pass; answers `done()`.
    bool pumpUntil(const std::function<bool()>& done)
    {
        const auto until = std::chrono::steady_clock::now() + 10s;
        while (!done() && std::chrono::steady_clock::now() < until)
            doEvents();
        return done();
    }

    std::vector<std::string> events, pieces, lines;
    std::string joined, partial, serverCertificate;
    int disconnects = 0;
    std::function<void(int&)> authenticate;
    std::function<void(const std::string&)> dataIn;
};

// The code and text a call raises; {0, ""} when it returns.
std::pair<int, std::string> raised(IPWorksSSLIPPortS& port, const std::function<void()>& call)
{
    try {
        call();
    } catch (const Exception& e) {
        return {port.lastErrorCode(), e.reason()};
    }
    return {0, ""};
}

std::string randomBytes(std::size_t size)
{
    std::mt19937 generator(7);
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i % 97 == 0 ? 0 : i % 89 == 0 ? 0xFF : generator() & 0xFF);
    return bytes;
}

LoopbackPeer::Options peerOptions(LoopbackServer::Transport transport, std::string script = {}, bool echo = true,
                                  bool oneBytePerWrite = false, bool hangUp = false)
{
    LoopbackPeer::Options options;
    options.transport = transport;
    options.script = std::move(script);
    options.echo = echo;
    options.oneBytePerWrite = oneBytePerWrite;
    options.hangUpAfterScript = hangUp;
    return options;
}

// Connects `port` to `peer`, with TLS at connect accepting the peer's certificate when it has one.
void connectTo(Port& port, const LoopbackPeer& peer)
{
    if (!peer.certificate().empty()) {
        port.setSSLStartMode(NetComponentsTest_SSLAtConnect);
        port.setSSLAcceptServerCertB(bytesOf(peer.certificate()));
    }
    port.connect("127.0.0.1", peer.port());
}

TEST(SocketComponent, EchoBringsBackEveryByte)
{
    struct Case {
        const char* name;
        LoopbackServer::Transport transport;
        bool oneBytePerWrite;
        std::vector<std::string> connectEvents;
    };
    const std::vector<std::string> plainEvents{"ConnectionStatus Connection established", "Connected 0", "ReadyToSend"};
    const std::vector<Case> cases{
        {"plain", LoopbackServer::Transport::Plain, false, plainEvents},
        {"plain, one byte per write", LoopbackServer::Transport::Plain, true, plainEvents},
        {"TLS", LoopbackServer::Transport::Tls, false,
         {"ConnectionStatus Connection established", "SSLServerAuthentication 1", "SSLStatus", "Connected 0",
          "ReadyToSend"}},
    };
    const std::string bytes = randomBytes(64 * 1024);
    const std::string text("text\0with NUL", 13);
    const std::string data("\xFF\x00\r\n", 4);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackPeer peer(peerOptions(c.transport, {}, true, c.oneBytePerWrite));
        Port port;
        connectTo(port, peer);
        EXPECT_EQ(port.events, c.connectEvents);
        EXPECT_TRUE(port.connected());

        port.send(bytesOf(bytes));
        port.setDataToSend(text);
        port.setDataToSendB(bytesOf(data));
        const std::string sent = bytes + text + data;
        EXPECT_EQ(port.bytesSent(), static_cast<int>(sent.size()));
        ASSERT_TRUE(port.pumpUntil([&] { return port.joined.size() >= sent.size(); }));
        EXPECT_TRUE(port.joined == sent) << "the echo differs";
        EXPECT_TRUE(peer.received() == sent);
        EXPECT_EQ(port.disconnects, 0);
        if (c.transport == LoopbackServer::Transport::Tls) {
            EXPECT_TRUE(port.serverCertificate == peer.certificate());
        }

        port.setConnected(false);
        EXPECT_FALSE(port.connected());
        EXPECT_EQ(port.events.back(), "Disconnected 0 ");
    }
}

// Pieces are split at EOL and a piece never ends inside one, even when the peer writes each byte
// alone; what follows the last EOL still arrives.
TEST(SocketComponent, DataInSplitsAtEol)
{
    LoopbackPeer peer(peerOptions(LoopbackServer::Transport::Plain, "one\r\ntwo\r\n\r\nrest", false, true));
    Port port;
    port.setRemoteHost("127.0.0.1");
    port.setRemotePort(peer.port());
    port.setConnected(true);
    ASSERT_TRUE(port.pumpUntil([&] { return port.partial == "rest"; }));
    EXPECT_EQ(port.lines, (std::vector<std::string>{"one", "two", ""}));
    for (const std::string& piece : port.pieces)
        EXPECT_EQ(piece.find('\r'), std::string::npos) << piece;
}

TEST(SocketComponent, GetLineAnswersLinesWithoutTheirEol)
{
    struct Case {
        const char* name;
        std::string eol;
        std::string script;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases{
        {"CR LF", "\r\n", "one\r\ntwo\nstill two\r\n\r\nlast\r\n", {"one", "two\nstill two", "", "last"}},
        {"LF", "\n", "a\r\nbb\n\nccc\n", {"a\r", "bb", "", "ccc"}},
        {"NUL and ;", std::string("\0;", 2), std::string("alpha\0;be;ta\0;\0;", 17), {"alpha", "be;ta", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackPeer peer(peerOptions(LoopbackServer::Transport::Plain, c.script, false, true));
        Port port;
        EXPECT_EQ(port.EOL(), "\r\n");
        port.setEOL(c.eol);
        EXPECT_EQ(textOf(port.EOLB()), c.eol);
        port.setSingleLineMode(true);
        port.setTimeout(1);
        connectTo(port, peer);
        std::vector<std::string> lines;
        for (std::size_t i = 0; i < c.lines.size(); ++i)
            lines.push_back(port.getLine());
        EXPECT_EQ(lines, c.lines);
        // Nothing else comes: the silent peer makes getLine fail after the timeout.
        const auto [code, text] = raised(port, [&] { port.getLine(); });
        EXPECT_EQ(code, NetComponentsTest_Timeout);
        EXPECT_EQ(text, "Timed out after 1 seconds.");
        port.doEvents();
        EXPECT_TRUE(port.pieces.empty());
        EXPECT_TRUE(port.connected());
    }
}

TEST(SocketComponent, StartSslLetsTheHandlerDecide)
{
    struct Case {
        const char* name;
        int written; // -1: the handler leaves slot 4 as it is
        bool works;
    };
    for (const Case& c : {Case{"left as it is", -1, false}, Case{"written 1", 1, true}, Case{"written 0", 0, false}}) {
        SCOPED_TRACE(c.name);
        LoopbackPeer peer(peerOptions(LoopbackServer::Transport::Tls));
        Port port;
        port.setSSLStartMode(NetComponentsTest_SSLExplicit);
        port.authenticate = [&](int& accept) {
            if (c.written >= 0)
                accept = c.written;
        };
        port.connect("127.0.0.1", peer.port());
        port.events.clear();
        const auto [code, text] = raised(port, [&] { port.startSSL(); });
        ASSERT_FALSE(port.events.empty());
        EXPECT_EQ(port.events[0], "SSLServerAuthentication 0"); // self-signed: verification fails
        EXPECT_TRUE(textOf(port.SSLServerCertB()) == peer.certificate());
        EXPECT_NE(port.SSLServerCertStatus(), "OK");
        if (!c.works) {
            EXPECT_EQ(code, NetComponentsTest_CertificateRejected);
            EXPECT_EQ(text, "Server certificate rejected: " + port.SSLServerCertStatus());
            EXPECT_FALSE(port.connected());
            EXPECT_EQ(port.disconnects, 1);
            continue;
        }
        EXPECT_EQ(code, 0) << text;
        EXPECT_EQ(port.events, (std::vector<std::string>{"SSLServerAuthentication 0", "SSLStatus"}));
        port.sendLine("over TLS");
        ASSERT_TRUE(port.pumpUntil([&] { return !port.lines.empty(); }));
        EXPECT_EQ(port.lines[0], "over TLS");
        EXPECT_EQ(raised(port, [&] { port.startSSL(); }).first, NetComponentsTest_BadValue);
    }
}

TEST(SocketComponent, FailuresRaiseAndConnectNothing)
{
    LoopbackPeer peer(peerOptions(LoopbackServer::Transport::Plain));
    struct Case {
        const char* name;
        std::function<void(Port&)> set;
        std::function<void(Port&)> call;
        int code;
        std::string text; // "" when only the code is checked
    };
    const auto connectPeer = [&](Port& p) { p.connect("127.0.0.1", peer.port()); };
    const std::vector<Case> cases{
        {"closed port", [](Port&) {}, [](Port& p) { p.connect("127.0.0.1", LoopbackServer::closedPort()); },
         NetComponentsTest_Network, ""},
        {"firewall", [](Port& p) { p.setFirewallHost("127.0.0.1"); }, connectPeer, NetComponentsTest_NotSupported,
         "'setFirewallHost:' is not supported by this build"},
        {"firewall type", [](Port& p) { p.setFirewallType(2); }, connectPeer, NetComponentsTest_NotSupported,
         "'setFirewallHost:' is not supported by this build"},
        {"certificate store", [](Port& p) { p.setSSLCertStore("MY"); }, connectPeer, NetComponentsTest_NotSupported,
         "'setSSLCertStore:' is not supported by this build"},
        {"start mode", [](Port& p) { p.setSSLStartMode(7); }, connectPeer, NetComponentsTest_BadValue,
         "'setSSLStartMode:' takes 0, 1 or 2, not 7."},
        {"no host", [&](Port& p) { p.setRemotePort(peer.port()); }, [](Port& p) { p.setConnected(true); },
         NetComponentsTest_BadValue, "No remote host to connect to."},
        {"port", [](Port&) {}, [](Port& p) { p.connect("127.0.0.1", 70000); }, NetComponentsTest_BadValue,
         "Port 70000 is out of range."},
        {"local port in use", [&](Port& p) { p.setLocalHost("127.0.0.1"); p.setLocalPort(peer.port()); }, connectPeer,
         NetComponentsTest_Network, ""},
        {"send", [](Port&) {}, [](Port& p) { p.send(bytesOf("x")); }, NetComponentsTest_NotConnected,
         "Not connected."},
        {"getLine", [](Port&) {}, [](Port& p) { p.getLine(); }, NetComponentsTest_NotConnected, "Not connected."},
        {"startSSL", [](Port&) {}, [](Port& p) { p.startSSL(); }, NetComponentsTest_NotConnected, "Not connected."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Port port;
        c.set(port);
        const auto [code, text] = raised(port, [&] { c.call(port); });
        EXPECT_EQ(code, c.code) << text;
        if (!c.text.empty()) {
            EXPECT_EQ(text, c.text);
        }
        EXPECT_FALSE(port.connected());
        for (const std::string& event : port.events)
            EXPECT_NE(event, "Connected 0");
    }
    Port twice;
    connectPeer(twice);
    EXPECT_EQ(raised(twice, [&] { connectPeer(twice); }).first, NetComponentsTest_AlreadyConnected);
}

TEST(SocketComponent, LocalAddressAndOptionsAreUsed)
{
    LoopbackPeer peer(peerOptions(LoopbackServer::Transport::Plain));
    Port port;
    port.setLocalHost("127.0.0.1");
    port.setKeepAlive(true);
    port.setLinger(false);
    connectTo(port, peer);
    port.sendLine("bound");
    ASSERT_TRUE(port.pumpUntil([&] { return !port.lines.empty(); }));
    EXPECT_EQ(port.lines[0], "bound");
    EXPECT_EQ(port.localPort(), 0); // left as set: a reconnect picks a fresh port
    port.disconnect();
    connectTo(port, peer);
    EXPECT_TRUE(port.connected());
}

// The peer's lines are all in the socket before the first doEvents; the handler disconnects on
// the first, so no more pieces come, onDisconnected comes once, and the component connects anew.
TEST(SocketComponent, DisconnectFromDataInClosesAtOnce)
{
    LoopbackPeer peer(peerOptions(LoopbackServer::Transport::Plain, "first\r\nsecond\r\nthird\r\n", false, false, true));
    Port port;
    port.dataIn = [&](const std::string&) { port.disconnect(); };
    connectTo(port, peer);
    ASSERT_TRUE(peer.waitForEnded(1, 5s));
    port.doEvents();
    EXPECT_EQ(port.pieces, std::vector<std::string>{"first"});
    EXPECT_EQ(port.disconnects, 1);
    EXPECT_EQ(port.events.back(), "Disconnected 0 ");
    EXPECT_FALSE(port.connected());
    for (int i = 0; i < 3; ++i)
        port.doEvents();
    EXPECT_EQ(port.pieces.size(), 1u);
    EXPECT_EQ(port.disconnects, 1);

    port.dataIn = nullptr;
    port.lines.clear();
    port.connect("127.0.0.1", peer.port());
    ASSERT_TRUE(port.pumpUntil([&] { return port.disconnects == 2; }));
    EXPECT_EQ(port.lines, (std::vector<std::string>{"first", "second", "third"}));
    EXPECT_EQ(port.events.back(), "Disconnected 0 Connection closed by the peer.");
}

bool sigpipeIsDefaultAndNotPending()
{
    struct sigaction current {};
    sigaction(SIGPIPE, nullptr, &current);
    sigset_t pending;
    sigpending(&pending);
    return current.sa_handler == SIG_DFL && !sigismember(&pending, SIGPIPE);
}

// A peer that hung up ends the connection, found by doEvents or by a write; writing to it never
// raises SIGPIPE (left at its default, which would end this process).
TEST(SocketComponent, PeerHangingUpEndsTheConnection)
{
    ASSERT_TRUE(sigpipeIsDefaultAndNotPending());
    for (const auto transport : {LoopbackServer::Transport::Plain, LoopbackServer::Transport::Tls}) {
        SCOPED_TRACE(transport == LoopbackServer::Transport::Tls ? "TLS" : "plain");
        {
            LoopbackPeer peer(peerOptions(transport, "bye\r\n", false, false, true));
            Port port;
            connectTo(port, peer);
            ASSERT_TRUE(port.pumpUntil([&] { return port.disconnects > 0; }));
            EXPECT_EQ(port.lines, std::vector<std::string>{"bye"});
            EXPECT_EQ(port.events.back(), "Disconnected 0 Connection closed by the peer.");
            EXPECT_FALSE(port.connected());
            EXPECT_EQ(raised(port, [&] { port.send(bytesOf("late")); }).first, NetComponentsTest_NotConnected);
        }
        LoopbackPeer peer(peerOptions(transport, {}, false, false, true));
        Port port;
        connectTo(port, peer);
        ASSERT_TRUE(peer.waitForEnded(1, 5s));
        const std::string block(1024, 'w');
        std::pair<int, std::string> failure;
        for (int i = 0; i < 50 && failure.first == 0; ++i)
            failure = raised(port, [&] { port.send(bytesOf(block)); });
        EXPECT_EQ(failure.first, NetComponentsTest_Network) << failure.second;
        EXPECT_EQ(port.disconnects, 1);
        EXPECT_FALSE(port.connected());
        EXPECT_EQ(raised(port, [&] { port.send(bytesOf(block)); }).first, NetComponentsTest_NotConnected);
    }
    EXPECT_TRUE(sigpipeIsDefaultAndNotPending());
}

TEST(SocketComponent, HandlerExceptionIsRethrownByDoEvents)
{
    LoopbackPeer peer(peerOptions(LoopbackServer::Transport::Plain, "x\r\n", false));
    Port port;
    port.dataIn = [](const std::string&) { throw std::runtime_error("handler failed"); };
    connectTo(port, peer);
    std::string caught;
    for (int i = 0; i < 200 && caught.empty(); ++i) {
        try {
            port.doEvents();
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
    }
    EXPECT_EQ(caught, "handler failed");
    EXPECT_EQ(port.lines, std::vector<std::string>{"x"});
    EXPECT_TRUE(port.connected());
}

// The bytes after the last EOL are the last line once the peer has hung up; then the connection
// ends, once.
TEST(SocketComponent, GetLineReadsToTheEndOfAClosedStream)
{
    LoopbackPeer peer(peerOptions(LoopbackServer::Transport::Plain, "a\r\nb", false, false, true));
    Port port;
    port.setSingleLineMode(true);
    connectTo(port, peer);
    ASSERT_TRUE(peer.waitForEnded(1, 5s));
    for (int i = 0; i < 3; ++i)
        port.doEvents();
    EXPECT_EQ(port.disconnects, 0);
    EXPECT_EQ(port.getLine(), "a");
    EXPECT_EQ(port.getLine(), "b");
    EXPECT_EQ(port.disconnects, 1);
    EXPECT_EQ(raised(port, [&] { port.getLine(); }).first, NetComponentsTest_NotConnected);
    EXPECT_TRUE(port.pieces.empty());
}

// With acceptData off nothing is read; turned on, the data arrives.
TEST(SocketComponent, AcceptDataOffStopsReading)
{
    LoopbackPeer peer(peerOptions(LoopbackServer::Transport::Plain, "held\r\n", false));
    Port port;
    connectTo(port, peer);
    port.setAcceptData(false);
    for (int i = 0; i < 5; ++i)
        port.doEvents();
    EXPECT_TRUE(port.pieces.empty());
    EXPECT_FALSE(port.acceptData());
    port.setAcceptData(true);
    ASSERT_TRUE(port.pumpUntil([&] { return !port.lines.empty(); }));
    EXPECT_EQ(port.lines, std::vector<std::string>{"held"});
}

} // namespace
