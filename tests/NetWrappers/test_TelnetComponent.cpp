// The Telnet client (IPWorksSSLTelnetS over the component library's socket engine) against a
// scripted loopback peer: IAC sequences in, as events in order, whole or one byte per write;
// commands, options, sub-options, data and urgent data out, escaped and framed; transparent mode;
// TLS at connect; a TCP client and a Telnet client on two threads at once.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "LoopbackServer.h"
#include "NetComponentsRecorder.h"
#include "NetWrappers/IPWorksSSLIPPortS.h"
#include "NetWrappers/IPWorksSSLTelnetS.h"
#include "Platform/Exception.h"

namespace {

using namespace vistel;
using namespace vistel::test;
using namespace std::chrono_literals;

// A literal's bytes, NULs included.
template <std::size_t N>
std::string literal(const char (&bytes)[N])
{
    return std::string(bytes, N - 1);
}

std::string hex(std::span<const std::byte> bytes)
{
    std::string text;
    for (const std::byte b : bytes) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%s%02x", text.empty() ? "" : " ", static_cast<unsigned>(b));
        text += digits;
    }
    return text;
}

// Every event as a line; consecutive data joined into one line, as hex.
class Telnet : public IPWorksSSLTelnetS {
public:
    void onDo(int option) override { events.push_back("Do " + std::to_string(option)); }
    void onDont(int option) override { events.push_back("Dont " + std::to_string(option)); }
    void onWill(int option) override { events.push_back("Will " + std::to_string(option)); }
    void onWont(int option) override { events.push_back("Wont " + std::to_string(option)); }
    void onCommand(int command) override { events.push_back("Command " + std::to_string(command)); }
    void onSubOption(std::span<const std::byte> bytes) override { events.push_back("SubOption " + hex(bytes)); }
    void onDataIn(std::span<const std::byte> bytes) override
    {
        data.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        if (!events.empty() && events.back().rfind("Data ", 0) == 0)
            events.back() += " " + hex(bytes);
        else
            events.push_back("Data " + hex(bytes));
    }
    void onDisconnected(int, const std::string&) override { events.push_back("Disconnected"); }

    bool pumpUntil(const std::function<bool()>& done)
    {
        const auto until = std::chrono::steady_clock::now() + 10s;
        while (!done() && std::chrono::steady_clock::now() < until)
            doEvents();
        return done();
    }

    std::vector<std::string> events;
    std::string data;
};

int raisedCode(Telnet& telnet, const std::function<void()>& call)
{
    try {
        call();
    } catch (const Exception&) {
        return telnet.lastErrorCode();
    }
    return 0;
}

LoopbackPeer::Options scripted(std::string script, bool oneBytePerWrite = false,
                               LoopbackServer::Transport transport = LoopbackServer::Transport::Plain)
{
    LoopbackPeer::Options options;
    options.transport = transport;
    options.script = std::move(script);
    options.echo = transport == LoopbackServer::Transport::Tls;
    options.oneBytePerWrite = oneBytePerWrite;
    return options;
}

void connectTo(Telnet& telnet, const LoopbackPeer& peer)
{
    EXPECT_EQ(telnet.remotePort(), 23);
    telnet.setRemotePort(peer.port());
    telnet.connect("127.0.0.1");
}

TEST(TelnetComponent, IncomingSequencesBecomeEventsInOrder)
{
    const std::string script = literal("\xFF\xFD\x01"           // IAC DO 1
                             "\xFF\xFB\x03"           // IAC WILL 3
                             "\xFF\xFA\x18\x01\xFF\xF0" // IAC SB 24 1 IAC SE
                             "a\xFF\xFF"              // data holding IAC IAC
                             "b\xFF\xF1"              // IAC NOP
                             "\xFF\xFA\x18\xFF\xFF\x02\xFF\xF0" // a sub-option holding IAC IAC
                             "\xFF\xFE\x05\xFF\xFC\x06\r\n");    // IAC DONT 5, IAC WONT 6, data
    const std::vector<std::string> expected{"Do 1",         "Will 3",  "SubOption 18 01", "Data 61 ff 62",
                                            "Command 241",  "SubOption 18 ff 02", "Dont 5", "Wont 6",
                                            "Data 0d 0a"};
    for (const bool oneBytePerWrite : {false, true}) {
        SCOPED_TRACE(oneBytePerWrite ? "one byte per write" : "whole");
        LoopbackPeer peer(scripted(script, oneBytePerWrite));
        Telnet telnet;
        connectTo(telnet, peer);
        ASSERT_TRUE(telnet.pumpUntil([&] { return telnet.data.size() >= 5; }));
        EXPECT_EQ(telnet.events, expected);
        EXPECT_EQ(telnet.data, "a\xFF" "b\r\n");
    }
}

TEST(TelnetComponent, OutgoingBytesAreEscapedAndFramed)
{
    LoopbackPeer peer(scripted({}));
    Telnet telnet;
    connectTo(telnet, peer);
    telnet.setDoOption(1);
    telnet.send(bytesOf("a\xFF" "b"));
    telnet.setDoSubOptionB(bytesOf("\x18\xFF\x01"));
    telnet.setDoSubOption(literal("\x1F\0"));
    telnet.setCommand(241);
    telnet.setWillOption(3);
    telnet.setWontOption(4);
    telnet.setDontOption(5);
    telnet.setDataToSend(literal("x\xFF\0"));
    telnet.setUrgentData("!");
    const std::string expected = literal("\xFF\xFD\x01"
                               "a\xFF\xFF" "b"
                               "\xFF\xFA\x18\xFF\xFF\x01\xFF\xF0"
                               "\xFF\xFA\x1F\x00\xFF\xF0"
                               "\xFF\xF1"
                               "\xFF\xFB\x03"
                               "\xFF\xFC\x04"
                               "\xFF\xFE\x05"
                               "x\xFF\xFF\x00"
                               "!\xFF\xF2");
    ASSERT_TRUE(peer.waitForReceived(expected.size(), 5s));
    EXPECT_EQ(hex(bytesOf(peer.received())), hex(bytesOf(expected)));
    EXPECT_EQ(peer.urgentMarks(), std::vector<std::size_t>{expected.size() - 3}); // the '!'

    EXPECT_EQ(telnet.bytesSent(), 3 + 3 + 1);

    EXPECT_EQ(raisedCode(telnet, [&] { telnet.setCommand(256); }), NetComponentsTest_BadValue);
    EXPECT_EQ(raisedCode(telnet, [&] { telnet.setDoOption(-1); }), NetComponentsTest_BadValue);
}

TEST(TelnetComponent, TransparentPassesBytesUntouched)
{
    LoopbackPeer peer(scripted(literal("\xFF\xFD\x01z\xFF\xFF")));
    Telnet telnet;
    telnet.setTransparent(true);
    connectTo(telnet, peer);
    ASSERT_TRUE(telnet.pumpUntil([&] { return telnet.data.size() >= 6; }));
    EXPECT_EQ(telnet.events, std::vector<std::string>{"Data ff fd 01 7a ff ff"});
    telnet.send(bytesOf("\xFF"));
    ASSERT_TRUE(peer.waitForReceived(1, 5s));
    EXPECT_EQ(peer.received(), "\xFF");
}

TEST(TelnetComponent, TlsAtConnect)
{
    LoopbackPeer peer(scripted("\xFF\xFB\x01", false, LoopbackServer::Transport::Tls));
    Telnet telnet;
    EXPECT_EQ(raisedCode(telnet, [&] {
                  telnet.setSSLStartMode(NetComponentsTest_SSLExplicit);
                  connectTo(telnet, peer);
              }),
              NetComponentsTest_BadValue);
    EXPECT_EQ(telnet.lastError(), "'setSSLStartMode:' takes 0 or 1, not 2.");
    telnet.setSSLStartMode(NetComponentsTest_SSLAtConnect);
    telnet.setSSLAcceptServerCertB(bytesOf(peer.certificate()));
    telnet.connect("127.0.0.1");
    EXPECT_TRUE(telnet.connected());
    EXPECT_TRUE(textOf(telnet.SSLServerCertB()) == peer.certificate());
    telnet.send(bytesOf("hi\xFF"));
    ASSERT_TRUE(telnet.pumpUntil([&] { return telnet.data.size() >= 3; }));
    EXPECT_EQ(telnet.events, (std::vector<std::string>{"Will 1", "Data 68 69 ff"}));
    EXPECT_EQ(raisedCode(telnet, [&] { telnet.setUrgentData("!"); }), NetComponentsTest_NotSupported);
    EXPECT_EQ(telnet.lastError(), "'setUrgentData:' is not supported over TLS.");
    telnet.setConnected(false);
    EXPECT_EQ(telnet.events.back(), "Disconnected");
}

// A TCP client with TLS and a Telnet client, each on its own thread with its own peer, echo
// their traffic at the same time.
TEST(TelnetComponent, RunsBesideATcpClientOnAnotherThread)
{
    struct Lines : IPWorksSSLIPPortS {
        void onDataIn(std::span<const std::byte> bytes, bool endedLine) override
        {
            received.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
            lines += endedLine ? 1 : 0;
        }
        std::string received;
        int lines = 0;
    };
    LoopbackPeer tcpPeer(scripted({}, false, LoopbackServer::Transport::Tls));
    LoopbackPeer::Options echo = scripted({});
    echo.echo = true;
    LoopbackPeer telnetPeer(echo);
    constexpr int kRounds = 20;
    int tcpLines = 0;
    std::string telnetData;
    std::thread tcp([&] {
        Lines port;
        port.setSSLStartMode(NetComponentsTest_SSLAtConnect);
        port.setSSLAcceptServerCertB(bytesOf(tcpPeer.certificate()));
        port.connect("127.0.0.1", tcpPeer.port());
        for (int i = 0; i < kRounds; ++i)
            port.sendLine("line " + std::to_string(i));
        const auto until = std::chrono::steady_clock::now() + 10s;
        while (port.lines < kRounds && std::chrono::steady_clock::now() < until)
            port.doEvents();
        tcpLines = port.lines;
        port.disconnect();
    });
    std::thread telnet([&] {
        Telnet client;
        client.setRemotePort(telnetPeer.port());
        client.connect("127.0.0.1");
        for (int i = 0; i < kRounds; ++i)
            client.send(bytesOf("\xFF"));
        client.pumpUntil([&] { return client.data.size() >= kRounds; });
        telnetData = client.data;
        client.disconnect();
    });
    tcp.join();
    telnet.join();
    EXPECT_EQ(tcpLines, kRounds);
    EXPECT_EQ(telnetData, std::string(kRounds, '\xFF'));
    EXPECT_EQ(telnetPeer.received(), std::string(2 * kRounds, '\xFF'));
}

} // namespace
