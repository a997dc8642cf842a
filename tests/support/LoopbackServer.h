#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for tests that talk to a network peer.
//
// It listens on a port the system picks (port 0), answers from scripted routes (status, reason,
// headers, body; or silence), records every request whole, and optionally speaks TLS with a
// self-signed certificate for 127.0.0.1 made in memory at start. One thread serves one
// connection at a time and closes it after one answer. Every wait is bounded: a connection that
// sends nothing for 10 s is dropped, a silent route holds its connection at most 30 s, and the
// destructor stops and joins the thread within about a second. The process ignores SIGPIPE
// from the first server on, so a client hanging up mid-answer cannot end it.
//
// Threads: every member may be called from any thread.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vistel::test {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
    std::string method, target, version;
    HttpHeaders headers;
    std::string body; // after removing a chunked transfer coding
    // The first header of that name (case-insensitive), or "".
    std::string header(std::string_view name) const;
};

struct HttpRoute {
    int status = 200;
    std::string reason = "OK";
    HttpHeaders headers;
    std::string body;
    bool silent = false; // read the request, never answer
};

// A certificate with its private key, PEM-encoded.
struct TlsIdentity {
    std::string certificatePem;
    std::string keyPem;
};

// A certificate authority made in memory for one test: its own certificate (PEM, what the test
// gives a client as its trust store) and server certificates it signs for the names given in
// subjectAltName form ("IP:127.0.0.1", "DNS:other.test").
class TestCertificateAuthority {
public:
    TestCertificateAuthority();
    ~TestCertificateAuthority();
    TestCertificateAuthority(const TestCertificateAuthority&) = delete;
    TestCertificateAuthority& operator=(const TestCertificateAuthority&) = delete;

    std::string certificatePem() const;
    TlsIdentity issue(const std::string& subjectAltNames) const;

private:
    struct Keys;
    std::unique_ptr<Keys> keys_;
};

class LoopbackServer {
public:
    enum class Transport { Plain, Tls };

    // With TLS, the server presents `identity`, or a self-signed certificate for 127.0.0.1 and
    // localhost made in memory.
    explicit LoopbackServer(Transport transport = Transport::Plain, std::optional<TlsIdentity> identity = {});
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::uint16_t port() const;
    // "http://127.0.0.1:<port><path>" ("https://" with TLS).
    std::string url(const std::string& path) const;
    // Answers requests whose target is `path` (or whose target up to '?' is); others get 404.
    void route(const std::string& path, HttpRoute route);
    std::vector<HttpRequest> requests() const;
    // The server's certificate, DER-encoded (empty without TLS).
    std::string certificate() const;

    // A loopback port on which nothing listens (bound, then closed).
    static std::uint16_t closedPort();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// A TCP peer on 127.0.0.1 for tests of socket clients: an echo server (plain or TLS, answering
// as it reads or one byte per write) or a scripted peer that sends fixed bytes and records what
// it receives. One thread takes one connection at a time: it sends the script (one byte per
// write, a millisecond apart, when asked), hangs up if told to, then records and (echo) sends
// back what arrives until the client closes, 10 s pass without a byte, or the peer stops. TLS
// uses a self-signed certificate for 127.0.0.1 made in memory. SIGPIPE is blocked on the peer's
// own thread, and the process's signal settings are left alone, so a test can show that the
// client never raises it. The destructor stops and joins the thread within about a second.
//
// Threads: every member may be called from any thread.
class LoopbackPeer {
public:
    struct Options {
        LoopbackServer::Transport transport = LoopbackServer::Transport::Plain;
        std::string script;             // sent first on every connection
        bool echo = true;               // sends back what it receives
        bool oneBytePerWrite = false;   // script and echo go out one byte per write
        bool hangUpAfterScript = false; // closes the connection once the script is sent
        std::optional<TlsIdentity> identity; // with TLS; none: the self-signed certificate
    };

    explicit LoopbackPeer(Options options);
    ~LoopbackPeer();
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    std::uint16_t port() const;
    // The certificate, DER-encoded (empty without TLS).
    std::string certificate() const;
    // Every byte received, over all connections, in order.
    std::string received() const;
    // The offsets in received() of the bytes that came as TCP urgent data (kept in line).
    std::vector<std::size_t> urgentMarks() const;
    // Waits at most `limit` until received() holds at least `count` bytes; answers whether it does.
    bool waitForReceived(std::size_t count, std::chrono::milliseconds limit) const;
    // Waits at most `limit` until `count` connections have ended; answers whether they have.
    bool waitForEnded(int count, std::chrono::milliseconds limit) const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The fields of an application/x-www-form-urlencoded text, decoded.
HttpHeaders parseUrlEncoded(std::string_view text);
// The parts of a multipart/form-data body: name, filename (empty for a plain field) and bytes.
struct FormPart {
    std::string name, fileName, data;
};
std::vector<FormPart> parseMultipart(const HttpRequest& request);

} // namespace vistel::test
