#include "LoopbackServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <charconv>
#include <csignal>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <strings.h>
#include <thread>
#include <vector>

namespace vistel::test {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kIdleLimit = std::chrono::seconds(10);
constexpr auto kSilenceLimit = std::chrono::seconds(30);
constexpr int kTick = 50; // ms between looks at the stop flag

// A certificate valid from an hour ago for a day, named "CN=<commonName>,O=Vistel tests", with
// `extensions` (each an extension's nid and its value as X509V3_EXT_conf_nid reads it), signed
// by `issuerKey` as `issuer` (self-signed when both are null).
X509* makeCertificate(EVP_PKEY* key, const char* commonName, long serial,
                      const std::vector<std::pair<int, std::string>>& extensions, X509* issuer, EVP_PKEY* issuerKey)
{
    X509* certificate = X509_new();
    if (!certificate)
        throw std::runtime_error("cannot make a test certificate");
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), serial);
    X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 86400);
    X509_set_pubkey(certificate, key);
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Vistel tests"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
    X509_set_issuer_name(certificate, issuer ? X509_get_subject_name(issuer) : name);
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer ? issuer : certificate, certificate, nullptr, nullptr, 0);
    for (const auto& [nid, value] : extensions) {
        X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
        if (!extension || X509_add_ext(certificate, extension, -1) != 1) {
            X509_EXTENSION_free(extension);
            X509_free(certificate);
            throw std::runtime_error("cannot add an extension to a test certificate: " + value);
        }
        X509_EXTENSION_free(extension);
    }
    if (X509_sign(certificate, issuerKey ? issuerKey : key, EVP_sha256()) <= 0) {
        X509_free(certificate);
        throw std::runtime_error("cannot sign a test certificate");
    }
    return certificate;
}

template <class Write>
std::string pemOf(Write write)
{
    BIO* bio = BIO_new(BIO_s_mem());
    if (!bio || write(bio) != 1) {
        BIO_free(bio);
        throw std::runtime_error("cannot write a test certificate as PEM");
    }
    char* bytes = nullptr;
    const long count = BIO_get_mem_data(bio, &bytes);
    std::string text(bytes, static_cast<std::size_t>(count));
    BIO_free(bio);
    return text;
}

// The server's certificate with its key: given as PEM, or self-signed for 127.0.0.1 and
// localhost, made in memory.
struct Identity {
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;

    Identity()
    {
        key = EVP_EC_gen("P-256");
        if (!key)
            throw std::runtime_error("cannot make a test key");
        certificate = makeCertificate(key, "127.0.0.1", 1, {{NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost"}},
                                      nullptr, nullptr);
    }
    explicit Identity(const TlsIdentity& given)
    {
        BIO* certificateBio = BIO_new_mem_buf(given.certificatePem.data(), static_cast<int>(given.certificatePem.size()));
        BIO* keyBio = BIO_new_mem_buf(given.keyPem.data(), static_cast<int>(given.keyPem.size()));
        certificate = certificateBio ? PEM_read_bio_X509(certificateBio, nullptr, nullptr, nullptr) : nullptr;
        key = keyBio ? PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr) : nullptr;
        BIO_free(certificateBio);
        BIO_free(keyBio);
        if (!certificate || !key) {
            X509_free(certificate);
            EVP_PKEY_free(key);
            throw std::runtime_error("cannot read the given test certificate");
        }
    }
    ~Identity()
    {
        X509_free(certificate);
        EVP_PKEY_free(key);
    }
    Identity(const Identity&) = delete;
    Identity& operator=(const Identity&) = delete;

    std::string der() const
    {
        const int size = i2d_X509(certificate, nullptr);
        std::string bytes(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
        auto* out = reinterpret_cast<unsigned char*>(bytes.data());
        i2d_X509(certificate, &out);
        return bytes;
    }
};

// What the loopback server and the loopback peer share: the certificate and TLS context, the
// listening socket on 127.0.0.1 at a port the system picks, the pipe that wakes the thread, the
// thread, and its loop over connections (one at a time).
struct Endpoint {
    std::unique_ptr<Identity> identity;
    SSL_CTX* tls = nullptr;
    int listener = -1;
    int wake[2] = {-1, -1};
    std::uint16_t port = 0;
    std::atomic<bool> stopping{false};
    std::thread thread;

    void start(bool withTls, const std::optional<TlsIdentity>& given, const char* what, std::function<void()> run)
    {
        if (withTls) {
            identity = given ? std::make_unique<Identity>(*given) : std::make_unique<Identity>();
            tls = SSL_CTX_new(TLS_server_method());
            if (!tls || SSL_CTX_use_certificate(tls, identity->certificate) != 1 ||
                SSL_CTX_use_PrivateKey(tls, identity->key) != 1)
                throw std::runtime_error(std::string("cannot set up the TLS of the ") + what);
        }
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        socklen_t size = sizeof address;
        if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener, 16) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
            ::pipe2(wake, O_CLOEXEC) != 0)
            throw std::runtime_error(std::string("cannot start the ") + what + ": " + std::strerror(errno));
        port = ntohs(address.sin_port);
        thread = std::thread(std::move(run));
    }

    void stop()
    {
        stopping = true;
        const char byte = 0;
        [[maybe_unused]] const ssize_t written = ::write(wake[1], &byte, 1);
        if (thread.joinable())
            thread.join();
        ::close(listener);
        ::close(wake[0]);
        ::close(wake[1]);
        SSL_CTX_free(tls);
    }

    // Accepts connections until stopped and hands each, after its TLS handshake, to `serve`;
    // calls `closed` once the connection is closed.
    template <class Serve, class Closed>
    void acceptEach(Serve serve, Closed closed)
    {
        while (!stopping) {
            pollfd p[2] = {{listener, POLLIN, 0}, {wake[0], POLLIN, 0}};
            if (poll(p, 2, -1) <= 0 || stopping || !(p[0].revents & POLLIN))
                continue;
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            const int on = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            setsockopt(fd, SOL_SOCKET, SO_OOBINLINE, &on, sizeof on);
            timeval limit{1, 0};
            setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
            setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
            SSL* ssl = nullptr;
            bool ready = true;
            if (tls) {
                ssl = SSL_new(tls);
                SSL_set_fd(ssl, fd);
                const auto until = Clock::now() + kIdleLimit;
                int accepted;
                while ((accepted = SSL_accept(ssl)) <= 0 && SSL_get_error(ssl, accepted) == SSL_ERROR_WANT_READ &&
                       !stopping && Clock::now() < until) {
                }
                ready = accepted == 1;
            }
            if (ready)
                serve(fd, ssl);
            if (ssl) {
                if (ready)
                    SSL_shutdown(ssl);
                SSL_free(ssl);
            }
            ERR_clear_error();
            ::close(fd);
            closed();
        }
    }
};

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string percentDecoded(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
            continue;
        }
        unsigned value = 0;
        const char* digits = text.data() + i + 1;
        if (text[i] == '%' && i + 2 < text.size() &&
            std::from_chars(digits, digits + 2, value, 16).ptr == digits + 2) {
            out += static_cast<char>(value);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

std::string HttpRequest::header(std::string_view name) const
{
    for (const auto& [key, value] : headers)
        if (equalsIgnoringCase(key, name))
            return value;
    return {};
}

struct LoopbackServer::State : Endpoint {
    Transport transport = Transport::Plain;
    mutable std::mutex mutex;
    std::map<std::string, HttpRoute> routes;
    std::vector<HttpRequest> requests;

    // One connection, plain or TLS.
    struct Connection {
        int fd = -1;
        SSL* ssl = nullptr;
    };

    // Waits until `fd` is readable or the server stops; false when stopping or after `limit`.
    bool waitReadable(int fd, Clock::time_point until) const
    {
        while (!stopping && Clock::now() < until) {
            pollfd p{fd, POLLIN, 0};
            const int ready = poll(&p, 1, kTick);
            if (ready > 0)
                return true;
        }
        return false;
    }

    // Up to `size` bytes; 0 at the end, -1 on failure, stop or idleness.
    long readSome(Connection& c, char* buffer, std::size_t size) const
    {
        const auto until = Clock::now() + kIdleLimit;
        for (;;) {
            if (!(c.ssl && SSL_pending(c.ssl) > 0) && !waitReadable(c.fd, until))
                return -1;
            if (!c.ssl)
                return ::read(c.fd, buffer, size);
            const int n = SSL_read(c.ssl, buffer, static_cast<int>(size));
            if (n > 0)
                return n;
            const int error = SSL_get_error(c.ssl, n);
            if (error == SSL_ERROR_ZERO_RETURN)
                return 0;
            if (error != SSL_ERROR_WANT_READ)
                return -1;
        }
    }

    bool writeAll(Connection& c, std::string_view bytes) const
    {
        std::size_t written = 0;
        while (written < bytes.size() && !stopping) {
            const long n = c.ssl ? SSL_write(c.ssl, bytes.data() + written, static_cast<int>(bytes.size() - written))
                                 : ::send(c.fd, bytes.data() + written, bytes.size() - written, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            written += static_cast<std::size_t>(n);
        }
        return written == bytes.size();
    }

    // Reads one request; false when the client sent none.
    bool readRequest(Connection& c, HttpRequest& request)
    {
        std::string data;
        char buffer[65536];
        std::size_t headerEnd;
        while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos) {
            const long n = readSome(c, buffer, sizeof buffer);
            if (n <= 0)
                return false;
            data.append(buffer, static_cast<std::size_t>(n));
        }
        const std::string head = data.substr(0, headerEnd);
        data.erase(0, headerEnd + 4);
        std::size_t lineEnd = head.find("\r\n");
        const std::string first = head.substr(0, lineEnd);
        const std::size_t s1 = first.find(' '), s2 = first.rfind(' ');
        request.method = first.substr(0, s1);
        request.target = first.substr(s1 + 1, s2 - s1 - 1);
        request.version = first.substr(s2 + 1);
        while (lineEnd != std::string::npos) {
            const std::size_t start = lineEnd + 2;
            lineEnd = head.find("\r\n", start);
            const std::string line = head.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
            const std::size_t colon = line.find(':');
            if (colon == std::string::npos)
                continue;
            std::string value = line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(" \t"));
            request.headers.emplace_back(line.substr(0, colon), value);
        }
        if (equalsIgnoringCase(request.header("Expect"), "100-continue"))
            writeAll(c, "HTTP/1.1 100 Continue\r\n\r\n");
        const auto more = [&] {
            const long n = readSome(c, buffer, sizeof buffer);
            if (n <= 0)
                return false;
            data.append(buffer, static_cast<std::size_t>(n));
            return true;
        };
        if (equalsIgnoringCase(request.header("Transfer-Encoding"), "chunked")) {
            for (;;) {
                std::size_t end;
                while ((end = data.find("\r\n")) == std::string::npos)
                    if (!more())
                        return false;
                const std::size_t size = std::stoul(data.substr(0, end), nullptr, 16);
                while (data.size() < end + 2 + size + 2)
                    if (!more())
                        return false;
                request.body += data.substr(end + 2, size);
                data.erase(0, end + 2 + size + 2);
                if (size == 0)
                    return true;
            }
        }
        const std::string length = request.header("Content-Length");
        const std::size_t expected = length.empty() ? 0 : std::stoul(length);
        while (data.size() < expected)
            if (!more())
                return false;
        request.body = data.substr(0, expected);
        return true;
    }

    void serve(Connection& c)
    {
        HttpRequest request;
        if (!readRequest(c, request))
            return;
        HttpRoute route{404, "Not Found", {}, "no route", false};
        {
            std::lock_guard lock(mutex);
            requests.push_back(request);
            auto found = routes.find(request.target);
            if (found == routes.end())
                found = routes.find(request.target.substr(0, request.target.find('?')));
            if (found != routes.end())
                route = found->second;
        }
        if (route.silent) {
            // Hold the connection until the client gives up, the server stops or the limit passes.
            const auto until = Clock::now() + kSilenceLimit;
            char ignored[256];
            while (waitReadable(c.fd, until))
                if ((c.ssl ? SSL_read(c.ssl, ignored, sizeof ignored) : ::read(c.fd, ignored, sizeof ignored)) <= 0)
                    return;
            return;
        }
        std::string answer = "HTTP/1.1 " + std::to_string(route.status) + " " + route.reason + "\r\n";
        for (const auto& [name, value] : route.headers)
            answer += name + ": " + value + "\r\n";
        answer += "Content-Length: " + std::to_string(route.body.size()) + "\r\nConnection: close\r\n\r\n";
        if (request.method != "HEAD")
            answer += route.body;
        writeAll(c, answer);
    }

    void run()
    {
        acceptEach([this](int fd, SSL* ssl) {
            Connection c{fd, ssl};
            try {
                serve(c);
            } catch (const std::exception&) {
                // A request it cannot read (a malformed length) only ends its connection.
            }
        }, [] {});
    }
};

LoopbackServer::LoopbackServer(Transport transport, std::optional<TlsIdentity> identity)
    : state_(std::make_unique<State>())
{
    State& s = *state_;
    s.transport = transport;
    // A client that hangs up mid-answer must not end the test process.
    std::signal(SIGPIPE, SIG_IGN);
    s.start(transport == Transport::Tls, identity, "loopback server", [&s] { s.run(); });
}

LoopbackServer::~LoopbackServer()
{
    state_->stop();
}

std::uint16_t LoopbackServer::port() const
{
    return state_->port;
}

std::string LoopbackServer::url(const std::string& path) const
{
    return std::string(state_->tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(state_->port) + path;
}

void LoopbackServer::route(const std::string& path, HttpRoute route)
{
    std::lock_guard lock(state_->mutex);
    state_->routes[path] = std::move(route);
}

std::vector<HttpRequest> LoopbackServer::requests() const
{
    std::lock_guard lock(state_->mutex);
    return state_->requests;
}

std::string LoopbackServer::certificate() const
{
    return state_->identity ? state_->identity->der() : std::string();
}

std::uint16_t LoopbackServer::closedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

struct LoopbackPeer::State : Endpoint {
    Options options;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::string received;
    std::vector<std::size_t> urgentMarks;
    int ended = 0;

    bool readable(int fd, SSL* ssl, Clock::time_point until) const
    {
        if (ssl && SSL_pending(ssl) > 0)
            return true;
        while (!stopping && Clock::now() < until) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, kTick) > 0)
                return true;
        }
        return false;
    }

    // Writes all of `bytes`, one byte per write when asked; false when the client is gone.
    bool write(int fd, SSL* ssl, std::string_view bytes, bool pause) const
    {
        const std::size_t step = options.oneBytePerWrite ? 1 : bytes.size();
        const auto until = Clock::now() + kIdleLimit;
        for (std::size_t done = 0; done < bytes.size() && !stopping && Clock::now() < until;) {
            const std::size_t size = std::min(step, bytes.size() - done);
            const long n = ssl ? SSL_write(ssl, bytes.data() + done, static_cast<int>(size))
                               : ::send(fd, bytes.data() + done, size, 0);
            if (n <= 0) {
                if (ssl ? SSL_get_error(ssl, static_cast<int>(n)) == SSL_ERROR_WANT_WRITE : errno == EAGAIN)
                    continue;
                return false;
            }
            done += static_cast<std::size_t>(n);
            if (pause && step == 1)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return !stopping;
    }

    void serve(int fd, SSL* ssl)
    {
        if (!write(fd, ssl, options.script, true) || options.hangUpAfterScript)
            return;
        char buffer[65536];
        while (readable(fd, ssl, Clock::now() + kIdleLimit)) {
            // A read stops at the urgent mark, so the next one starts there.
            const bool urgent = !ssl && sockatmark(fd) == 1;
            const long n = ssl ? SSL_read(ssl, buffer, sizeof buffer) : ::read(fd, buffer, sizeof buffer);
            if (n <= 0) {
                if (ssl && SSL_get_error(ssl, static_cast<int>(n)) == SSL_ERROR_WANT_READ)
                    continue;
                if (!ssl && n < 0 && errno == EAGAIN)
                    continue;
                return;
            }
            {
                std::lock_guard lock(mutex);
                if (urgent)
                    urgentMarks.push_back(received.size());
                received.append(buffer, static_cast<std::size_t>(n));
            }
            changed.notify_all();
            if (options.echo && !write(fd, ssl, std::string_view(buffer, static_cast<std::size_t>(n)), false))
                return;
        }
    }

    void run()
    {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        acceptEach([this](int fd, SSL* ssl) { serve(fd, ssl); },
                   [this] {
                       {
                           std::lock_guard lock(mutex);
                           ++ended;
                       }
                       changed.notify_all();
                   });
    }
};

LoopbackPeer::LoopbackPeer(Options options) : state_(std::make_unique<State>())
{
    State& s = *state_;
    s.options = std::move(options);
    s.start(s.options.transport == LoopbackServer::Transport::Tls, s.options.identity, "loopback peer",
            [&s] { s.run(); });
}

LoopbackPeer::~LoopbackPeer()
{
    state_->stop();
}

std::uint16_t LoopbackPeer::port() const
{
    return state_->port;
}

std::string LoopbackPeer::certificate() const
{
    return state_->identity ? state_->identity->der() : std::string();
}

std::string LoopbackPeer::received() const
{
    std::lock_guard lock(state_->mutex);
    return state_->received;
}

std::vector<std::size_t> LoopbackPeer::urgentMarks() const
{
    std::lock_guard lock(state_->mutex);
    return state_->urgentMarks;
}

bool LoopbackPeer::waitForReceived(std::size_t count, std::chrono::milliseconds limit) const
{
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, limit, [&] { return state_->received.size() >= count; });
}

bool LoopbackPeer::waitForEnded(int count, std::chrono::milliseconds limit) const
{
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, limit, [&] { return state_->ended >= count; });
}

HttpHeaders parseUrlEncoded(std::string_view text)
{
    HttpHeaders fields;
    std::size_t start = 0;
    while (start <= text.size() && !text.empty()) {
        std::size_t end = text.find('&', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view field = text.substr(start, end - start);
        const std::size_t equals = field.find('=');
        fields.emplace_back(percentDecoded(field.substr(0, equals)),
                            equals == std::string_view::npos ? std::string() : percentDecoded(field.substr(equals + 1)));
        start = end + 1;
    }
    return fields;
}

std::vector<FormPart> parseMultipart(const HttpRequest& request)
{
    std::vector<FormPart> parts;
    const std::string type = request.header("Content-Type");
    const std::size_t at = type.find("boundary=");
    if (at == std::string::npos)
        return parts;
    std::string boundary = type.substr(at + 9);
    if (!boundary.empty() && boundary.front() == '"')
        boundary = boundary.substr(1, boundary.find('"', 1) - 1);
    const std::string delimiter = "--" + boundary;
    const std::string& body = request.body;
    std::size_t position = body.find(delimiter);
    while (position != std::string::npos) {
        position += delimiter.size();
        if (body.compare(position, 2, "--") == 0)
            break;
        position += 2; // CRLF
        const std::size_t headEnd = body.find("\r\n\r\n", position);
        const std::size_t next = body.find("\r\n" + delimiter, headEnd);
        if (headEnd == std::string::npos || next == std::string::npos)
            break;
        const std::string head = body.substr(position, headEnd - position);
        FormPart part;
        const auto quoted = [&](const std::string& key) {
            const std::size_t k = head.find(key + "=\"");
            if (k == std::string::npos)
                return std::string();
            const std::size_t from = k + key.size() + 2;
            return head.substr(from, head.find('"', from) - from);
        };
        part.name = quoted("name");
        part.fileName = quoted("filename");
        part.data = body.substr(headEnd + 4, next - headEnd - 4);
        parts.push_back(std::move(part));
        position = next + 2;
    }
    return parts;
}

struct TestCertificateAuthority::Keys {
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    mutable long serial = 1;
};

TestCertificateAuthority::TestCertificateAuthority() : keys_(std::make_unique<Keys>())
{
    keys_->key = EVP_EC_gen("P-256");
    if (!keys_->key)
        throw std::runtime_error("cannot make a test key");
    keys_->certificate = makeCertificate(keys_->key, "Vistel test authority", keys_->serial++,
                                         {{NID_basic_constraints, "critical,CA:TRUE"},
                                          {NID_key_usage, "critical,keyCertSign,cRLSign"}},
                                         nullptr, nullptr);
}

TestCertificateAuthority::~TestCertificateAuthority()
{
    X509_free(keys_->certificate);
    EVP_PKEY_free(keys_->key);
}

std::string TestCertificateAuthority::certificatePem() const
{
    return pemOf([&](BIO* bio) { return PEM_write_bio_X509(bio, keys_->certificate); });
}

TlsIdentity TestCertificateAuthority::issue(const std::string& subjectAltNames) const
{
    EVP_PKEY* key = EVP_EC_gen("P-256");
    if (!key)
        throw std::runtime_error("cannot make a test key");
    X509* certificate = nullptr;
    TlsIdentity identity;
    try {
        certificate = makeCertificate(key, "Vistel test server", keys_->serial++,
                                      {{NID_basic_constraints, "critical,CA:FALSE"},
                                       {NID_ext_key_usage, "serverAuth"},
                                       {NID_subject_alt_name, subjectAltNames}},
                                      keys_->certificate, keys_->key);
        identity.certificatePem = pemOf([&](BIO* bio) { return PEM_write_bio_X509(bio, certificate); });
        identity.keyPem = pemOf([&](BIO* bio) {
            return PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
        });
    } catch (...) {
        X509_free(certificate);
        EVP_PKEY_free(key);
        throw;
    }
    X509_free(certificate);
    EVP_PKEY_free(key);
    return identity;
}

} // namespace vistel::test
