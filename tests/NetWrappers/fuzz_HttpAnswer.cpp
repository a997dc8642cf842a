// Fuzzes what the web client makes of an HTTP answer: the status line, the header lines (with
// their Set-Cookie fields), the body and its events, redirects decided by the handler, failure
// by status, and the local file written for a successful answer. The input's first byte chooses
// the client's behaviour; the rest is the whole answer the server sends.
//
// One thread: the listening socket's backlog completes curl's connect, and the client's
// onConnected handler (called before the request goes out) accepts that connection, writes the
// answer and shuts down its sending side, so curl reads the answer and then the end of the
// stream. The request curl sends stays unread; the connection is closed after the transfer.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "FuzzLoopback.h"
#include "NetWrappers/IPWorksSSLHTTPS.h"
#include "Platform/Exception.h"

namespace {

// Well inside a loopback socket's buffers, so writing the answer never waits for curl.
constexpr std::size_t kMostBytes = 16384;

const std::string& baseUrl()
{
    static const std::string url = [] {
        return "http://127.0.0.1:" + std::to_string(vistel::test::fuzzListenerPort()) + "/";
    }();
    return url;
}

const std::string& localFile()
{
    static const std::string path = [] {
        std::string folder = "/tmp/fuzz_HttpAnswer.XXXXXX";
        if (!mkdtemp(folder.data()))
            std::abort();
        return folder + "/answer";
    }();
    return path;
}

class Client : public vistel::IPWorksSSLHTTPS {
public:
    Client(std::string_view answer, std::uint8_t flags) : answer_(answer), flags_(flags) {}
    ~Client() override
    {
        for (const int peer : peers_)
            ::close(peer);
    }

    // Serves this hop: every hop of a request is answered with the same bytes.
    void onConnected(int, const std::string&) override
    {
        peers_.push_back(vistel::test::fuzzAcceptAndSend(answer_));
    }
    void onStatus(const std::string& version, int, const std::string& text) override
    {
        if (version.size() + text.size() > answer_.size())
            std::abort();
        react();
    }
    void onHeader(const std::string& name, const std::string& value) override
    {
        if (name.size() + value.size() > answer_.size())
            std::abort();
        react();
    }
    void onSetCookie(const std::string& name, const std::string& value, const std::string& expires,
                     const std::string& domain, const std::string& path, bool) override
    {
        if (name.size() + value.size() + expires.size() + domain.size() + path.size() > answer_.size())
            std::abort();
        react();
    }
    void onTransfer(int, std::int32_t total, std::span<const std::byte> data) override
    {
        received_ += data.size();
        if (data.size() > answer_.size() || total < 0)
            std::abort();
        react();
    }
    // Only this server's own addresses are followed.
    void onRedirect(const std::string& location, int& accept) override
    {
        accept = (flags_ & 0x04) && location.rfind(baseUrl(), 0) == 0 ? 1 : 0;
    }

    std::size_t received() const { return received_; }

private:
    void react()
    {
        if (flags_ & 0x02)
            (void)statusLine();
        if ((flags_ & 0x20) && ++events_ == ((flags_ >> 6) & 0x03) + 1)
            interrupt();
    }

    std::string_view answer_;
    std::uint8_t flags_;
    std::vector<int> peers_;
    std::size_t received_ = 0;
    int events_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0 || size > kMostBytes)
        return 0;
    const std::uint8_t flags = data[0];
    const std::string_view answer(reinterpret_cast<const char*>(data + 1), size - 1);
    Client client(answer, flags);
    client.setTimeout(5);
    if (flags & 0x08)
        client.setLocalFile(localFile());
    try {
        client.get(baseUrl() + (flags & 0x10 ? "path?query=1" : ""));
        // A successful answer: its body came through onTransfer, each hop's from this server.
        if (client.transferredData().size() > client.received())
            std::abort();
    } catch (const vistel::Exception&) {
    }
    (void)client.transferredHeaders();
    return 0;
}
