// The socket families of libNetComponents (IPPortS_, TelnetS_): one TCP client connection per
// component over a non-blocking POSIX socket, TLS by OpenSSL over the same socket.
//
// Everything runs on the calling thread, inside the entry call: no thread of its own, no
// signal handling. Every wait is a poll bounded by `timeout` (doEvents: a 50 ms slice). Writes
// use MSG_NOSIGNAL, and TLS writes go through a BIO that sends the same way, so a peer that
// hung up gives an error, never SIGPIPE. TelnetS_ adds the Telnet layer: IAC sequences decoded
// into events on the way in, 0xFF doubled and commands framed on the way out.
//
// The events and their order are listed in NetComponentsTest.h. A handler may call back into
// the component; `disconnect` from a handler closes at once, and the delivering loop stops
// there. OpenSSL's verification callback is the only place a handler runs inside OpenSSL, so a
// close asked for there waits until the handshake step returns.

#include "NetWrappers/NetComponents/ComponentModel.h"
#include "NetWrappers/NetComponents/NetComponentsTest.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

namespace netcomponents {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSocketDefaultTimeout = 60;
constexpr int kSliceMs = 50;                 // the longest doEvents waits when nothing is ready
constexpr std::size_t kReadChunk = 16384;
constexpr int kMostChunksPerRead = 16;      // one read takes at most this many chunks

// Telnet (RFC 854)
constexpr unsigned char kSE = 240, kDM = 242, kSB = 250, kWILL = 251, kWONT = 252, kDO = 253, kDONT = 254,
                        kIAC = 255;

enum class SocketFamily { Port, Telnet };

// Event ids of each family; 0 for an event the family does not have.
struct Events {
    int command, connected, connectionStatus, dataIn, disconnected, optionDo, optionDont, readyToSend,
        serverAuthentication, sslStatus, subOption, optionWill, optionWont;
};
constexpr Events kPortEvents{0, 1, 2, 3, 4, 0, 0, 6, 7, 8, 0, 0, 0};
constexpr Events kTelnetEvents{1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 12, 13, 14};

// ---- a BIO over the socket that never raises SIGPIPE --------------------------------------

int socketOf(BIO* bio)
{
    return static_cast<int>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio)));
}

int bioWrite(BIO* bio, const char* bytes, int size)
{
    BIO_clear_retry_flags(bio);
    const ssize_t n = ::send(socketOf(bio), bytes, static_cast<std::size_t>(size), MSG_NOSIGNAL);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        BIO_set_retry_write(bio);
    return static_cast<int>(n);
}

int bioRead(BIO* bio, char* bytes, int size)
{
    BIO_clear_retry_flags(bio);
    const ssize_t n = ::recv(socketOf(bio), bytes, static_cast<std::size_t>(size), 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        BIO_set_retry_read(bio);
    return static_cast<int>(n);
}

int bioPuts(BIO* bio, const char* text)
{
    return bioWrite(bio, text, static_cast<int>(std::strlen(text)));
}

long bioControl(BIO*, int command, long, void*)
{
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int bioCreate(BIO* bio)
{
    BIO_set_init(bio, 1);
    return 1;
}

// Made once, on the first TLS connection; never freed (OpenSSL holds it for the process).
BIO_METHOD* socketMethod()
{
    static std::once_flag once;
    static BIO_METHOD* method = nullptr;
    std::call_once(once, [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "vistel nosignal socket");
        if (m && BIO_meth_set_write(m, bioWrite) == 1 && BIO_meth_set_read(m, bioRead) == 1 &&
            BIO_meth_set_puts(m, bioPuts) == 1 && BIO_meth_set_ctrl(m, bioControl) == 1 &&
            BIO_meth_set_create(m, bioCreate) == 1)
            method = m;
        else
            BIO_meth_free(m);
    });
    return method;
}

std::string openSslReason()
{
    const unsigned long error = ERR_get_error();
    ERR_clear_error();
    if (!error)
        return "the connection ended during the handshake";
    char text[256];
    ERR_error_string_n(error, text, sizeof text);
    return text;
}

std::string addressText(const sockaddr* address)
{
    char host[NI_MAXHOST] = {};
    char port[NI_MAXSERV] = {};
    const socklen_t size = address->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    if (getnameinfo(address, size, host, sizeof host, port, sizeof port, NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return {};
    return address->sa_family == AF_INET6 ? "[" + std::string(host) + "]:" + port : std::string(host) + ":" + port;
}

// A failure to report: its code and text, set on the component after the events it causes.
struct Failure {
    int code = 0;
    std::string text;
    explicit operator bool() const { return code != 0; }
};

class SocketBackend final : public Backend {
public:
    SocketBackend(Component& component, SocketFamily family)
        : c_(component), family_(family), events_(family == SocketFamily::Port ? kPortEvents : kTelnetEvents)
    {
        store("acceptData", 1);
        store("linger", 1);
        store("timeout", kSocketDefaultTimeout);
        store("SSLStartMode", NetComponentsTest_SSLNone);
        if (family_ == SocketFamily::Port)
            store("EOL", std::string("\r\n"));
        else
            store("remotePort", 23);
    }
    ~SocketBackend() override { release(); }
    SocketBackend(const SocketBackend&) = delete;
    SocketBackend& operator=(const SocketBackend&) = delete;

    int perform(Component& c, int method, void** slots, int* lengths) override;
    int writeAction(Component& c, int property, const Value& value) override;
    void abandon() noexcept override { abandoned_ = true; }

private:
    enum class Read { Data, Nothing, Closed, Failed };

    int id(const char* name) const { return propertyNamed(c_.family, name); }
    std::string text(const char* name) const { return c_.text(id(name)); }
    int number(const char* name) const { return c_.number(id(name)); }
    void store(const char* name, std::string bytes) { c_.store(id(name), std::move(bytes)); }
    void store(const char* name, std::int32_t value) { c_.store(id(name), value); }

    bool open() const { return fd_ >= 0; }
    int timeoutSeconds() const { return number("timeout") > 0 ? number("timeout") : kSocketDefaultTimeout; }
    Clock::time_point deadline() const { return Clock::now() + std::chrono::seconds(timeoutSeconds()); }
    Failure timedOut() const
    {
        return {NetComponentsTest_Timeout, "Timed out after " + std::to_string(timeoutSeconds()) + " seconds."};
    }
    // Sets the failure on the component (after its events) and answers its code.
    int report(const Failure& failure) { return failure ? c_.fail(failure.code, failure.text) : 0; }
    bool deliver(EventSlots& slots, int event)
    {
        return event == 0 || (slots.fire(c_, event) && !abandoned_);
    }

    int connect(std::string host, int port);
    Failure openSocket(const std::string& host, int port, Clock::time_point until);
    Failure startTls(Clock::time_point until);
    Failure waitFor(short events, Clock::time_point until);
    Failure sendWire(std::string_view bytes, int flags = 0);
    int sendData(std::string_view data, int flags = 0);
    int sendCommand(std::string bytes);
    void close(int code, const std::string& reason);
    void release();
    Read readSome(int waitMs);
    void takeIn(const char* bytes, std::size_t count);
    void deliverReceived();
    void endIfPeerClosed();
    int doEvents();
    int getLine(void** slots, int* lengths);

    static int onVerify(X509_STORE_CTX* chain, void* self);

    Component& c_;
    SocketFamily family_;
    Events events_;
    bool abandoned_ = false;

    int fd_ = -1;
    SSL_CTX* context_ = nullptr;
    SSL* ssl_ = nullptr;
    bool connected_ = false;    // onConnected has been fired for this connection
    bool handshaking_ = false;  // inside SSL_connect: a close waits for it to return
    bool closeAsked_ = false;
    bool peerClosed_ = false;
    std::string host_;
    std::string peer_;
    Failure readFailure_;
    Failure rejected_;
    std::int32_t bytesSent_ = 0;

    // Received and not yet delivered: IPPortS_ bytes; TelnetS_ decoded pieces in order.
    std::string inbound_;
    struct Piece {
        int event;
        int number;
        std::string bytes;
    };
    std::deque<Piece> pieces_;
    // TelnetS_ decoding state
    enum class Telnet { Data, Iac, Option, Sub, SubIac } telnet_ = Telnet::Data;
    unsigned char verb_ = 0;
    std::string data_, sub_;
};

int SocketBackend::perform(Component& c, int method, void** slots, int* lengths)
{
    const std::string selector = methodOf(c.family, method)->selector;
    if (selector == "connect::" || selector == "connect:") {
        const std::string host = slots[0] ? static_cast<const char*>(slots[0]) : "";
        const int port = selector == "connect::" ? static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(slots[1]))
                                                 : number("remotePort");
        return connect(host, port);
    }
    if (selector == "disconnect") {
        close(0, "");
        return 0;
    }
    if (selector == "doEvents")
        return doEvents();
    if (selector == "send:") {
        const char* bytes = static_cast<const char*>(slots[0]);
        return sendData(std::string_view(bytes ? bytes : "", bytes && lengths[0] > 0 ? lengths[0] : 0));
    }
    if (family_ == SocketFamily::Port && selector == "sendLine:")
        return sendData(std::string(slots[0] ? static_cast<const char*>(slots[0]) : "") + text("EOL"));
    if (family_ == SocketFamily::Port && selector == "getLine")
        return getLine(slots, lengths);
    if (family_ == SocketFamily::Port && selector == "startSSL") {
        if (!open())
            return c_.fail(NetComponentsTest_NotConnected, "Not connected.");
        if (ssl_)
            return c_.fail(NetComponentsTest_BadValue, "TLS is already on.");
        const Failure failed = startTls(deadline());
        if (failed)
            close(failed.code, failed.text);
        return report(failed);
    }
    return kNotHandled;
}

int SocketBackend::writeAction(Component&, int property, const Value& value)
{
    const NetComponentProperty* p = propertyOf(c_.family, property);
    const std::string name = p->setter;
    const auto option = [&](unsigned char verb) -> int {
        if (value.number < 0 || value.number > 255)
            return c_.fail(NetComponentsTest_BadValue, "'" + name + "' takes 0 to 255, not " +
                                                           std::to_string(value.number) + ".");
        return sendCommand({char(kIAC), char(verb), char(value.number)});
    };
    if (name == "setAcceptData:") {
        c_.values[property] = value;
        if (value.number)
            deliverReceived();
        return 0;
    }
    if (name == "setConnected:") {
        if (value.number)
            return open() ? 0 : connect(text("remoteHost"), number("remotePort"));
        close(0, "");
        return 0;
    }
    if (name == "setDataToSend:")
        return sendData(value.bytes);
    if (family_ == SocketFamily::Port)
        return kNotHandled;
    if (name == "setCommand:")
        return value.number < 0 || value.number > 255
                   ? c_.fail(NetComponentsTest_BadValue, "'setCommand:' takes 0 to 255, not " +
                                                             std::to_string(value.number) + ".")
                   : sendCommand({char(kIAC), char(value.number)});
    if (name == "setDoOption:")
        return option(kDO);
    if (name == "setDontOption:")
        return option(kDONT);
    if (name == "setWillOption:")
        return option(kWILL);
    if (name == "setWontOption:")
        return option(kWONT);
    if (name == "setDoSubOption:") {
        std::string framed{char(kIAC), char(kSB)};
        for (const char ch : value.bytes)
            framed.append(static_cast<unsigned char>(ch) == kIAC ? 2 : 1, ch);
        return sendCommand(framed + std::string{char(kIAC), char(kSE)});
    }
    if (name == "setUrgentData:") {
        if (ssl_)
            return c_.fail(NetComponentsTest_NotSupported, "'setUrgentData:' is not supported over TLS.");
        if (const int failed = sendData(value.bytes, MSG_OOB))
            return failed;
        return sendCommand({char(kIAC), char(kDM)});
    }
    return kNotHandled;
}

// ---- connecting -------------------------------------------------------------------------

int SocketBackend::connect(std::string host, int port)
{
    if (open())
        return c_.fail(NetComponentsTest_AlreadyConnected, "Already connected.");
    if (const int refused = refuseUnsupportedSettings(c_))
        return refused;
    const int mode = number("SSLStartMode");
    const bool explicitAllowed = family_ == SocketFamily::Port;
    if (mode != NetComponentsTest_SSLNone && mode != NetComponentsTest_SSLAtConnect &&
        !(explicitAllowed && mode == NetComponentsTest_SSLExplicit))
        return c_.fail(NetComponentsTest_BadValue,
                       "'setSSLStartMode:' takes " + std::string(explicitAllowed ? "0, 1 or 2" : "0 or 1") +
                           ", not " + std::to_string(mode) + ".");
    if (host.empty())
        host = text("remoteHost");
    if (host.empty())
        return c_.fail(NetComponentsTest_BadValue, "No remote host to connect to.");
    if (port < 1 || port > 65535)
        return c_.fail(NetComponentsTest_BadValue, "Port " + std::to_string(port) + " is out of range.");
    store("remoteHost", host);
    store("remotePort", port);
    inbound_.clear();
    pieces_.clear();
    telnet_ = Telnet::Data;
    data_.clear();
    sub_.clear();
    peerClosed_ = false;
    readFailure_ = {};
    bytesSent_ = 0;
    store("bytesSent", 0);
    store("SSLServerCert", std::string());
    store("SSLServerCertStatus", std::string());
    host_ = host;
    const auto until = deadline();
    if (const Failure failed = openSocket(host, port, until))
        return report(failed);
    EventSlots status;
    status.text("Connection established").integer(0).text(peer_);
    if (!deliver(status, events_.connectionStatus))
        return 0;
    if (!open()) // the handler disconnected
        return 0;
    if (mode == NetComponentsTest_SSLAtConnect) {
        if (const Failure failed = startTls(until)) {
            release();
            return report(failed);
        }
        if (!open())
            return 0;
    }
    connected_ = true;
    store("connected", 1);
    EventSlots connected;
    connected.integer(0).text("Connected to " + peer_ + ".");
    if (!deliver(connected, events_.connected) || !open())
        return 0;
    EventSlots ready;
    deliver(ready, events_.readyToSend);
    return 0;
}

Failure SocketBackend::openSocket(const std::string& host, int port, Clock::time_point until)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int error = getaddrinfo(host.c_str(), service.c_str(), &hints, &found))
        return {NetComponentsTest_Network, "Cannot find " + host + ": " + gai_strerror(error)};
    const std::string localHost = text("localHost");
    const int localPort = number("localPort");
    Failure failure{NetComponentsTest_Network, "Cannot connect to " + host + "."};
    for (addrinfo* a = found; a; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            failure = {NetComponentsTest_Network, std::string("Cannot make a socket: ") + std::strerror(errno)};
            continue;
        }
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        if (number("keepAlive"))
            setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
        if (!number("linger")) {
            const ::linger reset{1, 0};
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        }
        if (!localHost.empty() || localPort != 0) {
            addrinfo localHints{};
            localHints.ai_family = a->ai_family;
            localHints.ai_socktype = SOCK_STREAM;
            localHints.ai_flags = AI_PASSIVE;
            addrinfo* local = nullptr;
            const std::string localService = std::to_string(localPort);
            const int error = getaddrinfo(localHost.empty() ? nullptr : localHost.c_str(), localService.c_str(),
                                          &localHints, &local);
            const bool bound = error == 0 && ::bind(fd, local->ai_addr, local->ai_addrlen) == 0;
            const std::string reason = error ? gai_strerror(error) : std::strerror(errno);
            if (local)
                freeaddrinfo(local);
            if (!bound) {
                ::close(fd);
                failure = {NetComponentsTest_Network, "Cannot bind to " + (localHost.empty() ? "*" : localHost) +
                                                          ":" + localService + ": " + reason};
                continue;
            }
        }
        fd_ = fd;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0 && errno != EINPROGRESS) {
            failure = {NetComponentsTest_Network, "Cannot connect to " + addressText(a->ai_addr) + ": " +
                                                      std::strerror(errno)};
            release();
            continue;
        }
        if (const Failure waited = waitFor(POLLOUT, until)) {
            failure = waited;
            release();
            if (waited.code == NetComponentsTest_Timeout)
                break;
            continue;
        }
        int error = 0;
        socklen_t size = sizeof error;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
        if (error != 0) {
            failure = {NetComponentsTest_Network, "Cannot connect to " + addressText(a->ai_addr) + ": " +
                                                      std::strerror(error)};
            release();
            continue;
        }
        peer_ = addressText(a->ai_addr);
        freeaddrinfo(found);
        return {};
    }
    freeaddrinfo(found);
    return failure;
}

// Waits until the socket is ready for `events` (or has failed), at most until `until`.
Failure SocketBackend::waitFor(short events, Clock::time_point until)
{
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0)
            return timedOut();
        pollfd p{fd_, events, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 1000)));
        if (ready > 0)
            return {};
        if (ready < 0 && errno != EINTR)
            return {NetComponentsTest_Network, std::string("Cannot wait for the socket: ") + std::strerror(errno)};
    }
}

Failure SocketBackend::startTls(Clock::time_point until)
{
    BIO_METHOD* method = socketMethod();
    context_ = SSL_CTX_new(TLS_client_method());
    if (!method || !context_)
        return {NetComponentsTest_Tls, "TLS failed: " + openSslReason()};
    prepareServerVerification(context_, &SocketBackend::onVerify, this);
    SSL_CTX_set_mode(context_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_options(context_, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_session_cache_mode(context_, SSL_SESS_CACHE_OFF);
    ssl_ = SSL_new(context_);
    BIO* bio = BIO_new(method);
    if (!ssl_ || !bio) {
        BIO_free(bio);
        return {NetComponentsTest_Tls, "TLS failed: " + openSslReason()};
    }
    BIO_set_data(bio, reinterpret_cast<void*>(static_cast<std::intptr_t>(fd_)));
    SSL_set_bio(ssl_, bio, bio);
    in6_addr literal;
    if (inet_pton(AF_INET, host_.c_str(), &literal) != 1 && inet_pton(AF_INET6, host_.c_str(), &literal) != 1)
        SSL_set_tlsext_host_name(ssl_, host_.c_str());
    rejected_ = {};
    closeAsked_ = false;
    for (;;) {
        handshaking_ = true;
        const int done = SSL_connect(ssl_);
        handshaking_ = false;
        if (closeAsked_ || abandoned_) {
            ERR_clear_error();
            closeAsked_ = false;
            close(0, "");
            return {};
        }
        if (done == 1)
            break;
        const int error = SSL_get_error(ssl_, done);
        if (rejected_)
            return rejected_;
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
            if (const Failure waited = waitFor(error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, until))
                return waited;
            continue;
        }
        return {NetComponentsTest_Tls, "TLS failed: " + openSslReason()};
    }
    EventSlots status;
    status.text(std::string(SSL_get_version(ssl_)) + " " + SSL_get_cipher_name(ssl_));
    deliver(status, events_.sslStatus);
    return {};
}

int SocketBackend::onVerify(X509_STORE_CTX* chain, void* self)
try {
    auto* backend = static_cast<SocketBackend*>(self);
    const ServerVerdict verdict = judgeServerCertificate(
        backend->c_, chain, backend->host_, backend->events_.serverAuthentication,
        [backend](EventSlots& slots, int event) { return backend->deliver(slots, event); });
    if (!verdict.accepted) {
        if (verdict.goOn)
            backend->rejected_ = {NetComponentsTest_CertificateRejected, "Server certificate rejected: " + verdict.verdict};
        X509_STORE_CTX_set_error(chain, X509_V_ERR_APPLICATION_VERIFICATION);
        return 0;
    }
    X509_STORE_CTX_set_error(chain, X509_V_OK);
    return 1;
} catch (...) {
    X509_STORE_CTX_set_error(chain, X509_V_ERR_APPLICATION_VERIFICATION);
    return 0;
}

// ---- closing ------------------------------------------------------------------------------

// Ends the connection; onDisconnected(code, reason) when onConnected had been fired. Inside the
// handshake only marks it, for startTls to finish.
void SocketBackend::close(int code, const std::string& reason)
{
    if (!open())
        return;
    if (handshaking_) {
        closeAsked_ = true;
        return;
    }
    const bool wasConnected = connected_;
    release();
    inbound_.clear();
    pieces_.clear();
    if (!wasConnected)
        return;
    EventSlots disconnected;
    disconnected.integer(code).text(reason);
    deliver(disconnected, events_.disconnected);
}

void SocketBackend::release()
{
    if (ssl_) {
        if (!peerClosed_ && readFailure_.code == 0)
            SSL_shutdown(ssl_); // close_notify, not waiting for the answer
        SSL_free(ssl_);
        ssl_ = nullptr;
        ERR_clear_error();
    }
    if (context_) {
        SSL_CTX_free(context_);
        context_ = nullptr;
    }
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    connected_ = false;
    c_.store(id("connected"), 0);
}

// After a read saw the end: what came before has been delivered; now the connection ends.
void SocketBackend::endIfPeerClosed()
{
    if (!open())
        return;
    if (readFailure_)
        close(readFailure_.code, readFailure_.text);
    else if (peerClosed_)
        close(0, "Connection closed by the peer.");
}

// ---- writing ------------------------------------------------------------------------------

// Sends every byte or fails: partial writes continue, each wait bounded by `timeout`. While it
// waits for room, bytes arriving are read (not delivered), so a peer that answers as it reads
// cannot stall both sides. A failed write ends the connection.
Failure SocketBackend::sendWire(std::string_view bytes, int flags)
{
    if (!open())
        return {NetComponentsTest_NotConnected, "Not connected."};
    const auto until = deadline();
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::size_t left = bytes.size() - done;
        short waitEvents = POLLOUT;
        int error = 0;
        if (ssl_) {
            const int n = SSL_write(ssl_, bytes.data() + done, static_cast<int>(std::min<std::size_t>(left, 1 << 30)));
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            const int reason = SSL_get_error(ssl_, n);
            if (reason == SSL_ERROR_WANT_READ)
                waitEvents = POLLIN;
            else if (reason != SSL_ERROR_WANT_WRITE)
                error = errno ? errno : EPIPE;
        } else {
            const ssize_t n = ::send(fd_, bytes.data() + done, left, MSG_NOSIGNAL | MSG_DONTWAIT | flags);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
                error = n == 0 ? EPIPE : errno;
        }
        if (error) {
            ERR_clear_error();
            return {NetComponentsTest_Network, std::string("Cannot send: ") + std::strerror(error)};
        }
        for (;;) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
            if (wait <= 0)
                return timedOut();
            const bool drain = !ssl_ && !peerClosed_ && !readFailure_ && number("acceptData");
            pollfd p{fd_, static_cast<short>(waitEvents | (drain ? POLLIN : 0)), 0};
            if (::poll(&p, 1, static_cast<int>(std::min<long long>(wait, 1000))) <= 0)
                continue;
            if (drain && (p.revents & POLLIN))
                readSome(0);
            if (p.revents & (waitEvents | POLLERR | POLLHUP))
                break;
        }
    }
    return {};
}

// Data from the caller: Telnet doubles 0xFF unless `transparent`; `bytesSent` counts it.
int SocketBackend::sendData(std::string_view data, int flags)
{
    const std::size_t given = data.size();
    std::string escaped;
    if (family_ == SocketFamily::Telnet && !number("transparent") && data.find(char(kIAC)) != std::string_view::npos) {
        for (const char ch : data)
            escaped.append(static_cast<unsigned char>(ch) == kIAC ? 2 : 1, ch);
        data = escaped;
    }
    const Failure failed = sendWire(data, flags);
    if (!failed) {
        bytesSent_ += static_cast<std::int32_t>(given);
        store("bytesSent", bytesSent_);
        return 0;
    }
    if (failed.code == NetComponentsTest_Network)
        close(failed.code, failed.text);
    return report(failed);
}

int SocketBackend::sendCommand(std::string bytes)
{
    const Failure failed = sendWire(bytes);
    if (failed.code == NetComponentsTest_Network)
        close(failed.code, failed.text);
    return report(failed);
}

// ---- reading ------------------------------------------------------------------------------

// Reads what has arrived, waiting at most `waitMs` for the first byte; the bytes go to
// takeIn. Closed: the peer ended the stream (peerClosed_); Failed: readFailure_ says why.
SocketBackend::Read SocketBackend::readSome(int waitMs)
{
    if (!open() || peerClosed_)
        return Read::Closed;
    if (readFailure_)
        return Read::Failed;
    if (!(ssl_ && SSL_pending(ssl_) > 0)) {
        pollfd p{fd_, POLLIN, 0};
        const int ready = ::poll(&p, 1, waitMs);
        if (ready <= 0)
            return Read::Nothing;
    }
    bool got = false;
    char buffer[kReadChunk];
    for (int round = 0; round < kMostChunksPerRead; ++round) {
        if (ssl_) {
            const int n = SSL_read(ssl_, buffer, sizeof buffer);
            if (n > 0) {
                takeIn(buffer, static_cast<std::size_t>(n));
                got = true;
                continue;
            }
            const int reason = SSL_get_error(ssl_, n);
            if (reason == SSL_ERROR_WANT_READ || reason == SSL_ERROR_WANT_WRITE)
                break;
            if (reason == SSL_ERROR_ZERO_RETURN) {
                peerClosed_ = true;
                return Read::Closed;
            }
            const int error = errno;
            readFailure_ = {NetComponentsTest_Network, reason == SSL_ERROR_SYSCALL && error
                                                           ? std::string("Cannot receive: ") + std::strerror(error)
                                                           : "TLS failed: " + openSslReason()};
            return Read::Failed;
        }
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            takeIn(buffer, static_cast<std::size_t>(n));
            got = true;
            continue;
        }
        if (n == 0) {
            peerClosed_ = true;
            return Read::Closed;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            break;
        readFailure_ = {NetComponentsTest_Network, std::string("Cannot receive: ") + std::strerror(errno)};
        return Read::Failed;
    }
    return got ? Read::Data : Read::Nothing;
}

// Bytes from the wire: kept as they are (IPPortS_, `transparent`), or decoded into data, option,
// sub-option and command pieces (TelnetS_).
void SocketBackend::takeIn(const char* bytes, std::size_t count)
{
    if (family_ == SocketFamily::Port) {
        inbound_.append(bytes, count);
        return;
    }
    const auto flush = [&] {
        if (!data_.empty())
            pieces_.push_back({events_.dataIn, 0, std::exchange(data_, std::string())});
    };
    const bool transparent = number("transparent") != 0;
    for (std::size_t i = 0; i < count; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        switch (transparent ? Telnet::Data : telnet_) {
        case Telnet::Data:
            if (b == kIAC && !transparent)
                telnet_ = Telnet::Iac;
            else
                data_ += char(b);
            break;
        case Telnet::Iac:
            telnet_ = Telnet::Data;
            if (b == kIAC) {
                data_ += char(b);
            } else if (b >= kWILL && b <= kDONT) {
                verb_ = b;
                telnet_ = Telnet::Option;
            } else if (b == kSB) {
                sub_.clear();
                telnet_ = Telnet::Sub;
            } else {
                flush();
                pieces_.push_back({events_.command, b, {}});
            }
            break;
        case Telnet::Option: {
            flush();
            const int event = verb_ == kDO     ? events_.optionDo
                              : verb_ == kDONT ? events_.optionDont
                              : verb_ == kWILL ? events_.optionWill
                                               : events_.optionWont;
            pieces_.push_back({event, b, {}});
            telnet_ = Telnet::Data;
            break;
        }
        case Telnet::Sub:
            if (b == kIAC)
                telnet_ = Telnet::SubIac;
            else
                sub_ += char(b);
            break;
        case Telnet::SubIac:
            if (b == kSE) {
                flush();
                pieces_.push_back({events_.subOption, 0, std::exchange(sub_, std::string())});
                telnet_ = Telnet::Data;
            } else {
                // IAC IAC is one 0xFF; any other command inside a sub-option is kept as its byte
                sub_ += char(b);
                telnet_ = Telnet::Sub;
            }
            break;
        }
    }
    flush();
}

// Delivers what has been received, in order, while the connection lasts and the caller wants
// it; each piece leaves the queue before its event, so a handler may call back in.
void SocketBackend::deliverReceived()
{
    if (!number("acceptData") || abandoned_)
        return;
    if (family_ == SocketFamily::Telnet) {
        while (!pieces_.empty() && !abandoned_) {
            Piece piece = std::move(pieces_.front());
            pieces_.pop_front();
            EventSlots slots;
            if (piece.event == events_.dataIn || piece.event == events_.subOption)
                slots.data(piece.bytes.data(), piece.bytes.size());
            else
                slots.integer(piece.number);
            if (!deliver(slots, piece.event) || !number("acceptData"))
                return;
        }
        return;
    }
    while (!inbound_.empty() && !number("singleLineMode") && number("acceptData") && !abandoned_) {
        const std::string eol = text("EOL");
        std::string piece;
        bool ended = false;
        const std::size_t at = eol.empty() ? std::string::npos : inbound_.find(eol);
        if (at != std::string::npos) {
            piece = inbound_.substr(0, at);
            inbound_.erase(0, at + eol.size());
            ended = true;
        } else {
            // Hold back a tail that may be the start of an EOL still on its way.
            std::size_t keep = 0;
            if (!peerClosed_)
                for (std::size_t k = std::min(eol.size() - (eol.empty() ? 0 : 1), inbound_.size()); k > 0; --k)
                    if (inbound_.compare(inbound_.size() - k, k, eol, 0, k) == 0) {
                        keep = k;
                        break;
                    }
            piece = inbound_.substr(0, inbound_.size() - keep);
            inbound_.erase(0, inbound_.size() - keep);
            if (piece.empty())
                return;
        }
        EventSlots slots;
        slots.data(piece.data(), piece.size()).integer(ended ? 1 : 0);
        if (!deliver(slots, events_.dataIn))
            return;
    }
}

int SocketBackend::doEvents()
{
    const std::size_t before = inbound_.size() + pieces_.size();
    deliverReceived();
    if (abandoned_)
        return 0;
    const bool reading = open() && number("acceptData") != 0;
    if (!reading || (before && (inbound_.size() + pieces_.size()) < before)) {
        if (!reading)
            ::poll(nullptr, 0, kSliceMs);
        return 0;
    }
    readSome(kSliceMs);
    deliverReceived();
    // Bytes still held (for getLine, or a handler turned acceptData off) keep the connection
    // until they are taken.
    if (!abandoned_ && inbound_.empty() && pieces_.empty())
        endIfPeerClosed();
    return 0;
}

int SocketBackend::getLine(void** slots, int* lengths)
{
    const auto until = deadline();
    const std::string eol = text("EOL");
    std::string line;
    Failure failed;
    for (;;) {
        const std::size_t at = eol.empty() ? (inbound_.empty() ? std::string::npos : inbound_.size())
                                           : inbound_.find(eol);
        if (at != std::string::npos) {
            line = inbound_.substr(0, at);
            inbound_.erase(0, std::min(inbound_.size(), at + eol.size()));
            break;
        }
        if (!open() || peerClosed_ || readFailure_) {
            if (!inbound_.empty()) { // the last line, ended by the end of the stream
                line = std::exchange(inbound_, std::string());
                break;
            }
            failed = readFailure_ ? readFailure_ : Failure{NetComponentsTest_NotConnected, "Not connected."};
            break;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0) {
            failed = timedOut();
            break;
        }
        readSome(static_cast<int>(std::min<long long>(left, 1000)));
    }
    if (!inbound_.empty() || failed.code == NetComponentsTest_Timeout) {
        // lines remain (or the peer is merely silent): the connection stays
    } else {
        endIfPeerClosed();
    }
    if (abandoned_)
        return 0;
    if (failed)
        return report(failed);
    lengths[0] = static_cast<int>(line.size());
    slots[0] = c_.answers.emplace_back(std::move(line)).data();
    return 0;
}

} // namespace

std::unique_ptr<Backend> makeSocketBackend(Component& component)
{
    const std::string prefix = familyAt(component.family).prefix;
    if (prefix == "IPPortS_")
        return std::make_unique<SocketBackend>(component, SocketFamily::Port);
    if (prefix == "TelnetS_")
        return std::make_unique<SocketBackend>(component, SocketFamily::Telnet);
    return nullptr;
}

} // namespace netcomponents
