// Fuzzes the readers of the socket families over a real loopback connection: the line reader of
// IPPortS_ (onDataIn split at EOL, or getLine in single-line mode) and the Telnet decoder of
// TelnetS_ (data, option, sub-option and command events), with handlers that call back in,
// disconnect from inside an event, or send while the peer is gone. The input's first byte
// chooses the family and its settings; the rest is what the peer sends before it hangs up.
//
// One thread: the component's connect completes against the listening socket's backlog, the
// harness then accepts, writes every byte and closes its end, and the component reads until it
// sees the end of the stream. Every delivered byte must be one the peer sent.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "FuzzLoopback.h"
#include "NetWrappers/IPWorksSSLIPPortS.h"
#include "NetWrappers/IPWorksSSLTelnetS.h"
#include "Platform/Exception.h"

namespace {

// The most bytes one input sends: well inside a loopback socket's buffers, so the harness's
// writes never wait for the reader.
constexpr std::size_t kMostBytes = 16384;
// Bounds the reading loop: every step of it either delivers, ends the connection or waits at
// most 50 ms for bytes that were all sent before it began.
constexpr int kMostSteps = 64;

// Accepts the component's connection, sends `bytes` and hangs up.
void serve(std::string_view bytes)
{
    ::close(vistel::test::fuzzAcceptAndSend(bytes));
}

struct Behaviour {
    int disconnectAfter = -1; // events before a disconnect from inside a handler
    bool sendBack = false;    // each handler sends a byte back
    bool callBack = false;    // each handler reads the component's settings
};

// A client of either family whose handlers check what they are given against what the peer sent
// and then do what the input asked for.
template <class Family>
class Client : public Family {
public:
    Client(std::string_view sent, Behaviour behaviour) : sent_(sent), behaviour_(behaviour) {}
    void onDisconnected(int, const std::string&) override { ended = true; }

    bool ended = false;

protected:
    void delivered(std::span<const std::byte> data)
    {
        if (data.size() > sent_.size())
            std::abort();
        react();
    }
    void code(int value)
    {
        if (value < 0 || value > 255)
            std::abort();
        react();
    }

private:
    void react()
    {
        if (behaviour_.callBack)
            (void)this->timeout();
        if (behaviour_.sendBack) {
            const std::byte iac{0xFF};
            try {
                this->send(std::span(&iac, 1));
            } catch (const vistel::Exception&) {
            }
        }
        if (behaviour_.disconnectAfter >= 0 && events_++ == behaviour_.disconnectAfter)
            this->disconnect();
    }

    std::string_view sent_;
    Behaviour behaviour_;
    int events_ = 0;
};

class LineClient : public Client<vistel::IPWorksSSLIPPortS> {
public:
    using Client::Client;
    void onDataIn(std::span<const std::byte> data, bool) override { delivered(data); }
};

class TelnetClient : public Client<vistel::IPWorksSSLTelnetS> {
public:
    using Client::Client;
    void onDataIn(std::span<const std::byte> data) override { delivered(data); }
    void onSubOption(std::span<const std::byte> data) override { delivered(data); }
    void onDo(int option) override { code(option); }
    void onDont(int option) override { code(option); }
    void onWill(int option) override { code(option); }
    void onWont(int option) override { code(option); }
    void onCommand(int command) override { code(command); }
};

template <class Reader>
void readUntilEnd(Reader& client, bool lines)
{
    for (int step = 0; step < kMostSteps && !client.ended && client.connected(); ++step) {
        try {
            if (lines) {
                if constexpr (requires { client.getLine(); })
                    (void)client.getLine();
            } else {
                client.doEvents();
            }
        } catch (const vistel::Exception&) {
            break;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0 || size > kMostBytes)
        return 0;
    const std::uint8_t flags = data[0];
    const std::string_view sent(reinterpret_cast<const char*>(data + 1), size - 1);
    Behaviour behaviour;
    behaviour.sendBack = (flags & 0x08) != 0;
    behaviour.callBack = (flags & 0x10) != 0;
    if (flags & 0x20)
        behaviour.disconnectAfter = (flags >> 6) & 0x03;

    try {
        if (flags & 0x01) {
            TelnetClient client(sent, behaviour);
            client.setTimeout(5);
            client.setTransparent((flags & 0x02) != 0);
            client.setRemotePort(vistel::test::fuzzListenerPort());
            client.connect("127.0.0.1");
            serve(sent);
            readUntilEnd(client, false);
        } else {
            static const char* const kEnds[] = {"\r\n", "\n", "", "\r\n.\r\n"};
            LineClient client(sent, behaviour);
            client.setTimeout(5);
            client.setEOL(kEnds[(flags >> 2) & 0x03]);
            const bool lines = (flags & 0x02) != 0;
            client.setSingleLineMode(lines);
            client.connect("127.0.0.1", vistel::test::fuzzListenerPort());
            serve(sent);
            readUntilEnd(client, lines);
        }
    } catch (const vistel::Exception&) {
    }
    return 0;
}
