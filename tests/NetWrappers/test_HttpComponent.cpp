// The web client (IPWorksSSLHTTPS over the component library's libcurl backend) against the
// loopback server: bodies with NULs through every road, the order of events, what arrives at the
// server, failures by status, silence and closed ports, redirects decided by the handler,
// certificates judged in the handshake, interrupts and handler exceptions.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "LoopbackServer.h"
#include "NetComponentsRecorder.h"
#include "NetWrappers/IPWorksSSLHTTPS.h"
#include "Platform/Exception.h"

namespace {

using namespace vistel;
using namespace vistel::test;

// Every event as a line, the body as the joined onTransfer spans, hooks for the decisions.
class Client : public IPWorksSSLHTTPS {
public:
    void onConnected(int, const std::string&) override { note("Connected"); }
    void onDisconnected(int, const std::string&) override { note("Disconnected"); }
    void onStatus(const std::string& version, int code, const std::string& text) override
    {
        note("Status " + version + " " + std::to_string(code) + " " + text);
    }
    void onHeader(const std::string& name, const std::string&) override { note("Header " + name); }
    void onSetCookie(const std::string& name, const std::string& value, const std::string& expires,
                     const std::string& domain, const std::string& path, bool secure) override
    {
        note("SetCookie " + name + "=" + value + " expires=" + expires + " domain=" + domain + " path=" + path +
             (secure ? " secure" : ""));
    }
    void onStartTransfer(int direction) override { note("StartTransfer " + std::to_string(direction)); }
    // The hook runs first: the span must still hold the event's bytes after the hook's calls.
    void onTransfer(int direction, std::int32_t total, std::span<const std::byte> data) override
    {
        if (transfers++ == 0)
            note("Transfer " + std::to_string(direction));
        if (transfer)
            transfer();
        body.append(reinterpret_cast<const char*>(data.data()), data.size());
        totalSeen = total;
    }
    void onEndTransfer(int direction) override { note("EndTransfer " + std::to_string(direction)); }
    void onRedirect(const std::string& location, int& accept) override
    {
        note("Redirect " + location + " " + std::to_string(accept));
        if (redirect)
            redirect(accept);
    }
    void onSSLServerAuthentication(std::span<const std::byte> certificate, const std::string& issuer,
                                   const std::string& subject, const std::string& status, int& accept) override
    {
        note("SSLServerAuthentication " + std::to_string(accept));
        serverCertificate.assign(reinterpret_cast<const char*>(certificate.data()), certificate.size());
        certificateIssuer = issuer;
        certificateSubject = subject;
        certificateStatus = status;
        if (authenticate)
            authenticate(accept);
    }
    void onSSLStatus(const std::string&) override { note("SSLStatus"); }

    void note(const std::string& line)
    {
        if (line.rfind("Header ", 0) == 0 && !events.empty() && events.back() == "Header...")
            return;
        events.push_back(line.rfind("Header ", 0) == 0 ? "Header..." : line);
    }

    std::vector<std::string> events;
    std::string body;
    int transfers = 0;
    std::int32_t totalSeen = 0;
    std::string serverCertificate, certificateIssuer, certificateSubject, certificateStatus;
    std::function<void()> transfer;
    std::function<void(int&)> redirect;
    std::function<void(int&)> authenticate;
};

std::string bodyWithNuls(std::size_t size)
{
    std::string body(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        body[i] = static_cast<char>(i % 7 == 0 ? 0 : (i * 31) % 251);
    return body;
}

class TemporaryFolder {
public:
    TemporaryFolder()
    {
        char pattern[] = "/tmp/vistel-http-XXXXXX";
        path_ = mkdtemp(pattern) ? pattern : "";
    }
    ~TemporaryFolder() { runCommand("rm -rf '" + path_ + "'"); }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(HttpComponent, LargeBodyWithNulsArrivesWholeByEveryRoad)
{
    LoopbackServer server;
    const std::string body = bodyWithNuls(1 << 20);
    server.route("/big", {200, "OK", {{"Content-Type", "application/octet-stream"}}, body});
    TemporaryFolder folder;
    const std::string reference = folder.file("reference.bin");
    std::ofstream(reference, std::ios::binary) << body;

    Client client;
    client.setLocalFile(folder.file("copy.bin"));
    client.get(server.url("/big"));

    EXPECT_EQ(client.transferredData(), body);
    EXPECT_EQ(textOf(client.transferredDataB()), body);
    EXPECT_EQ(client.body, body);
    EXPECT_EQ(client.totalSeen, static_cast<std::int32_t>(body.size()));
    EXPECT_EQ(runCommand("cmp '" + reference + "' '" + folder.file("copy.bin") + "'").status, 0);
    EXPECT_EQ(client.statusLine(), "HTTP/1.1 200 OK");
    EXPECT_NE(client.transferredHeaders().find("Content-Type: application/octet-stream"), std::string::npos);
    EXPECT_TRUE(client.idle());
    EXPECT_FALSE(client.connected());

    const std::vector<std::string> expected{"Connected", "Status HTTP/1.1 200 OK", "Header...", "StartTransfer 1",
                                            "Transfer 1", "EndTransfer 1", "Disconnected"};
    EXPECT_EQ(client.events, expected);
}

TEST(HttpComponent, RequestArrivesAsSent)
{
    LoopbackServer server;
    server.route("/post", {201, "Created", {}, "made"});
    Client client;
    const std::string posted("field=1\0two\0", 12);
    client.setPostData(posted);
    client.setContentType("application/x-test");
    client.setAccept("text/plain");
    client.setReferer("http://127.0.0.1/from");
    client.setOtherHeaders("X-One: 1\r\nX-Two: two words\r\n");
    client.addCookie("session", "abc");
    client.addCookie("theme", "dark");
    client.setUser("ann");
    client.setPassword("secret");
    client.post(server.url("/post"));

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    const HttpRequest& r = requests[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.target, "/post");
    EXPECT_EQ(r.body, posted);
    EXPECT_EQ(r.header("Content-Type"), "application/x-test");
    EXPECT_EQ(r.header("Accept"), "text/plain");
    EXPECT_EQ(r.header("Referer"), "http://127.0.0.1/from");
    EXPECT_EQ(r.header("X-One"), "1");
    EXPECT_EQ(r.header("X-Two"), "two words");
    EXPECT_EQ(r.header("Cookie"), "session=abc; theme=dark");
    EXPECT_EQ(r.header("Authorization"), "Basic YW5uOnNlY3JldA==");
    EXPECT_EQ(client.transferredData(), "made");
    EXPECT_EQ(client.URLPath(), "/post");
    EXPECT_EQ(client.URLPort(), server.port());

    EXPECT_EQ(client.URL(), server.url("/post"));

    // put: sends the same body; head: no body back; an empty address means URL, and an empty
    // URL the one its parts make.
    client.put("");
    client.setURL("");
    client.setURLPath("/post?x=1");
    client.head("");
    const auto more = server.requests();
    ASSERT_EQ(more.size(), 3u);
    EXPECT_EQ(more[1].method, "PUT");
    EXPECT_EQ(more[1].target, "/post");
    EXPECT_EQ(more[1].body, posted);
    EXPECT_EQ(more[2].method, "HEAD");
    EXPECT_EQ(more[2].target, "/post?x=1");
    EXPECT_EQ(client.transferredData(), "");

    // resetHeaders forgets the request's headers and cookies, not its address or body.
    client.resetHeaders();
    EXPECT_EQ(client.accept(), "");
    EXPECT_EQ(client.otherHeaders(), "");
    EXPECT_EQ(client.cookieCount(), 0);
    EXPECT_EQ(client.postData(), posted);
    EXPECT_EQ(client.URLPath(), "/post");
}

TEST(HttpComponent, SetCookieHeadersBecomeEvents)
{
    LoopbackServer server;
    server.route("/cookies", {200, "OK",
                              {{"Set-Cookie", "id=a1; Path=/p; Domain=127.0.0.1; Secure"},
                               {"Set-Cookie", "plain=x y; Expires=Wed, 09 Jun 2027 10:18:14 GMT"}},
                              ""});
    Client client;
    client.get(server.url("/cookies"));
    std::vector<std::string> cookies;
    for (const std::string& e : client.events)
        if (e.rfind("SetCookie", 0) == 0)
            cookies.push_back(e);
    EXPECT_EQ(cookies, (std::vector<std::string>{
                           "SetCookie id=a1 expires= domain=127.0.0.1 path=/p secure",
                           "SetCookie plain=x y expires=Wed, 09 Jun 2027 10:18:14 GMT domain= path="}));
}

TEST(HttpComponent, FailuresRaiseAndKeepWhatArrived)
{
    LoopbackServer server;
    server.route("/missing", {404, "Not Found", {{"X-Why", "gone"}}, "nothing\0here"});
    server.route("/silent", {200, "OK", {}, "", true});
    TemporaryFolder folder;
    std::ofstream(folder.file("kept.txt")) << "old";

    Client client;
    client.setLocalFile(folder.file("kept.txt"));
    EXPECT_EQ(raisedReason([&] { client.get(server.url("/missing")); }), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(client.lastErrorCode(), 404);
    EXPECT_EQ(client.transferredData(), "nothing");
    EXPECT_NE(client.transferredHeaders().find("X-Why: gone"), std::string::npos);
    EXPECT_EQ(fileText(folder.file("kept.txt")), "old"); // the local file is written whole or not at all

    client.setLocalFile("");
    client.setTimeout(1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(raisedReason([&] { client.get(server.url("/silent")); }), "Timed out after 1 seconds.");
    EXPECT_EQ(client.lastErrorCode(), NetComponentsTest_Timeout);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));

    EXPECT_NE(raisedReason([&] { client.get("http://127.0.0.1:" + std::to_string(LoopbackServer::closedPort()) + "/"); }),
              "");
    EXPECT_EQ(client.lastErrorCode(), NetComponentsTest_Network);
    // The component stays usable.
    server.route("/ok", {200, "OK", {}, "fine"});
    client.get(server.url("/ok"));
    EXPECT_EQ(client.transferredData(), "fine");
}

// Every status from 400 on fails the request with the status as its code and the status line as
// its text, after the headers and the body were kept.
TEST(HttpComponent, EveryErrorStatusRaisesWithItsStatus)
{
    const struct {
        int status;
        const char* reason;
    } cases[] = {{400, "Bad Request"},  {401, "Unauthorized"},          {403, "Forbidden"},
                 {404, "Not Found"},    {410, "Gone"},                  {500, "Internal Server Error"},
                 {503, "Service Unavailable"}};
    LoopbackServer server;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        const std::string path = "/status" + std::to_string(c.status);
        server.route(path, {c.status, c.reason, {{"X-Status", std::to_string(c.status)}},
                            "why " + std::to_string(c.status)});
        Client client;
        EXPECT_EQ(raisedReason([&] { client.get(server.url(path)); }),
                  "HTTP/1.1 " + std::to_string(c.status) + " " + c.reason);
        EXPECT_EQ(client.lastErrorCode(), c.status);
        EXPECT_EQ(client.transferredData(), "why " + std::to_string(c.status));
        EXPECT_NE(client.transferredHeaders().find("X-Status: " + std::to_string(c.status)), std::string::npos);
    }
}

TEST(HttpComponent, SettingsThatCannotBeHonouredFailTheRequest)
{
    LoopbackServer server;
    server.route("/", {200, "OK", {}, "x"});
    const struct {
        const char* what;
        std::function<void(Client&)> set;
        const char* text;
    } cases[] = {
        {"firewall", [](Client& c) { c.setFirewallHost("127.0.0.1"); }, "'setFirewallHost:' is not supported by this build"},
        {"proxy", [](Client& c) { c.setProxyServer("127.0.0.1"); }, "'setProxyServer:' is not supported by this build"},
        {"client certificate", [](Client& c) { c.setSSLCertSubject("CN=me"); },
         "'setSSLCertStore:' is not supported by this build"},
        {"authentication scheme", [](Client& c) { c.setAuthScheme(7); },
         "'setAuthScheme:' is not supported by this build"},
        {"opening a connection by hand", [](Client& c) { c.setConnected(true); },
         "'setConnected:' is not supported by this build"},
    };
    for (const auto& c : cases) {
        Client client;
        EXPECT_EQ(raisedReason([&] {
                      c.set(client);
                      client.get(server.url("/"));
                  }),
                  c.text)
            << c.what;
        EXPECT_EQ(client.lastErrorCode(), NetComponentsTest_NotSupported) << c.what;
    }
    EXPECT_TRUE(server.requests().empty());
}

// followRedirects sets where onRedirect's decision starts; what the handler leaves decides.
TEST(HttpComponent, RedirectsGoWhereTheHandlerDecides)
{
    LoopbackServer server;
    server.route("/from", {302, "Found", {{"Location", "/to"}}, "moved"});
    server.route("/to", {200, "OK", {}, "arrived"});
    enum class Handler { Leaves, WritesZero, WritesOne };
    const struct {
        int follow;
        Handler handler;
        bool followed;
    } cases[] = {
        {0, Handler::Leaves, false},   {0, Handler::WritesZero, false}, {0, Handler::WritesOne, true},
        {1, Handler::Leaves, true},    {1, Handler::WritesZero, false}, {1, Handler::WritesOne, true},
    };
    for (const auto& c : cases) {
        Client client;
        client.setFollowRedirects(c.follow);
        client.redirect = [&](int& accept) {
            if (c.handler != Handler::Leaves)
                accept = c.handler == Handler::WritesOne ? 1 : 0;
        };
        client.get(server.url("/from"));
        const std::string what = "follow " + std::to_string(c.follow) + " handler " + std::to_string(int(c.handler));
        EXPECT_EQ(client.transferredData(), c.followed ? "arrived" : "moved") << what;
        EXPECT_EQ(client.statusLine(), c.followed ? "HTTP/1.1 200 OK" : "HTTP/1.1 302 Found") << what;
        EXPECT_NE(std::find(client.events.begin(), client.events.end(),
                            "Redirect " + server.url("/to") + " " + std::to_string(c.follow)),
                  client.events.end())
            << what;
    }
}

TEST(HttpComponent, RedirectLoopEndsInAnError)
{
    LoopbackServer server;
    server.route("/a", {301, "Moved Permanently", {{"Location", "/b"}}, ""});
    server.route("/b", {307, "Temporary Redirect", {{"Location", "/a"}}, ""});
    Client client;
    client.setFollowRedirects(1);
    EXPECT_EQ(raisedReason([&] { client.get(server.url("/a")); }), "Too many redirects (20).");
    EXPECT_EQ(client.lastErrorCode(), NetComponentsTest_TooManyRedirects);
    EXPECT_EQ(server.requests().size(), 20u);
}

TEST(HttpComponent, SelfSignedServerIsJudgedInTheHandshake)
{
    LoopbackServer server(LoopbackServer::Transport::Tls);
    server.route("/secure", {200, "OK", {}, "secret"});
    const std::string certificate = server.certificate();
    ASSERT_FALSE(certificate.empty());

    // The handler leaves the verdict: no request is sent.
    Client refusing;
    const std::string refused = raisedReason([&] { refusing.get(server.url("/secure")); });
    EXPECT_EQ(refused, refusing.lastError());
    EXPECT_EQ(refused, "Server certificate rejected: self-signed certificate");
    EXPECT_EQ(refusing.lastErrorCode(), NetComponentsTest_CertificateRejected);
    EXPECT_EQ(refusing.serverCertificate, certificate);
    EXPECT_EQ(refusing.certificateStatus, "self-signed certificate");
    EXPECT_EQ(refusing.certificateSubject, "CN=127.0.0.1,O=Vistel tests");
    EXPECT_EQ(refusing.certificateIssuer, refusing.certificateSubject);
    EXPECT_EQ(refusing.events.front(), "SSLServerAuthentication 0");
    EXPECT_TRUE(server.requests().empty());

    // The handler accepts.
    Client accepting;
    accepting.authenticate = [](int& accept) { accept = 1; };
    accepting.get(server.url("/secure"));
    EXPECT_EQ(accepting.transferredData(), "secret");
    EXPECT_EQ(accepting.SSLServerCert(), certificate);
    EXPECT_EQ(textOf(accepting.SSLServerCertB()), certificate);
    EXPECT_EQ(accepting.SSLServerCertStatus(), "self-signed certificate");
    EXPECT_EQ(std::vector<std::string>(accepting.events.begin(), accepting.events.begin() + 3),
              (std::vector<std::string>{"SSLServerAuthentication 0", "SSLStatus", "Connected"}));

    // The certificate named in advance is accepted with no handler.
    IPWorksSSLHTTPS plain;
    plain.setSSLAcceptServerCertB(bytesOf(certificate));
    plain.get(server.url("/secure"));
    EXPECT_EQ(plain.transferredData(), "secret");
    // ... and only that one.
    IPWorksSSLHTTPS other;
    // (the last byte changed: a fixed replacement would match one certificate in 256)
    other.setSSLAcceptServerCert(certificate.substr(0, certificate.size() - 1) + char(certificate.back() ^ 1));
    EXPECT_EQ(raisedReason([&] { other.get(server.url("/secure")); }), "Server certificate rejected: self-signed certificate");
}

TEST(HttpComponent, InterruptFromAHandlerEndsTheCallPromptly)
{
    LoopbackServer server;
    server.route("/big", {200, "OK", {}, bodyWithNuls(4 << 20)});
    server.route("/small", {200, "OK", {}, "small"});
    Client client;
    client.transfer = [&] {
        if (client.transfers == 1)
            client.interrupt();
    };
    EXPECT_EQ(raisedReason([&] { client.get(server.url("/big")); }), "Interrupted.");
    EXPECT_EQ(client.lastErrorCode(), NetComponentsTest_Interrupted);
    EXPECT_EQ(client.transfers, 1);
    EXPECT_TRUE(client.idle());
    client.transfer = nullptr;
    client.get(server.url("/small"));
    EXPECT_EQ(client.transferredData(), "small");
    // Interrupting with nothing running does nothing.
    client.interrupt();
}

TEST(HttpComponent, HandlerExceptionIsRethrownAfterTheRequest)
{
    LoopbackServer server;
    server.route("/", {200, "OK", {}, "body"});
    Client client;
    client.transfer = [] { throw std::runtime_error("handler failed"); };
    try {
        client.get(server.url("/"));
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "handler failed");
    }
    // The transfer itself went on: the exception is the handler's, not the request's.
    EXPECT_EQ(client.transferredData(), "body");
}

TEST(HttpComponent, HandlersMayReadTheComponentWhileItWorks)
{
    LoopbackServer server;
    server.route("/", {200, "OK", {{"X-A", "1"}}, "abc"});
    Client client;
    std::string seenStatus;
    bool seenIdle = true;
    bool seenConnected = false;
    client.transfer = [&] {
        seenStatus = client.statusLine();
        seenIdle = client.idle();
        seenConnected = client.connected();
        // A request from inside a request is refused.
        EXPECT_EQ(raisedReason([&] { client.get(server.url("/")); }), "The component is busy with another request.");
    };
    client.get(server.url("/"));
    EXPECT_EQ(seenStatus, "HTTP/1.1 200 OK");
    EXPECT_FALSE(seenIdle);
    EXPECT_TRUE(seenConnected);
    EXPECT_EQ(client.body, "abc");
}

// Separate components work on separate threads at once, each with its own server.
TEST(HttpComponent, TwoComponentsOnTwoThreadsFetchAtOnce)
{
    LoopbackServer first, second;
    const std::string body = bodyWithNuls(256 << 10);
    first.route("/one", {200, "OK", {}, body});
    second.route("/two", {200, "OK", {}, body});
    const auto fetch = [&](LoopbackServer& server, const std::string& path, std::string& failure) {
        Client client;
        client.setTimeout(10);
        for (int round = 0; round < 3 && failure.empty(); ++round) {
            client.body.clear();
            failure = raisedReason([&] { client.get(server.url(path)); });
            if (failure.empty() && (client.transferredData() != body || client.body != body))
                failure = "round " + std::to_string(round) + " lost bytes";
        }
    };
    std::string firstFailure, secondFailure;
    std::thread a(fetch, std::ref(first), "/one", std::ref(firstFailure));
    std::thread b(fetch, std::ref(second), "/two", std::ref(secondFailure));
    a.join();
    b.join();
    EXPECT_EQ(firstFailure, "");
    EXPECT_EQ(secondFailure, "");
    EXPECT_EQ(first.requests().size(), 3u);
    EXPECT_EQ(second.requests().size(), 3u);
}

} // namespace
