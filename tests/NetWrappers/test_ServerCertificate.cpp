// The judgement of a TLS server by the web and socket families, against a certificate authority
// the test makes and gives the client as its trust store (SSL_CERT_FILE): a server certificate
// from a trusted authority for the name asked for passes without any handler; one for another
// name fails unless onSSLServerAuthentication accepts it; without the trust store even the right
// name fails.

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

#include "LoopbackServer.h"
#include "NetComponentsRecorder.h"
#include "NetWrappers/IPWorksSSLHTTPS.h"
#include "NetWrappers/IPWorksSSLIPPortS.h"
#include "Platform/Exception.h"

namespace {

using namespace vistel;
using namespace vistel::test;

// What the certificate handler saw, and whether it overrides the verdict.
struct Judgement {
    bool accept = false; // the handler writes 1 into its slot
    int offered = -1;    // the slot's value when the handler was called
    std::string status;
};

// A client of either family whose certificate handler records what it was shown and may accept.
template <class Family>
class Judged : public Family {
public:
    explicit Judged(Judgement& judgement) : judgement_(judgement) {}
    void onSSLServerAuthentication(std::span<const std::byte>, const std::string&, const std::string&,
                                   const std::string& status, int& accept) override
    {
        judgement_.offered = accept;
        judgement_.status = status;
        if (judgement_.accept)
            accept = 1;
    }

private:
    Judgement& judgement_;
};

// Makes the authority's certificate the trust store of every TLS client of this process while
// it lives (OpenSSL reads SSL_CERT_FILE each time a client sets up its context).
class TrustStore {
public:
    explicit TrustStore(const TestCertificateAuthority& authority)
    {
        char pattern[] = "/tmp/vistel-trust-XXXXXX";
        if (!mkdtemp(pattern))
            throw std::runtime_error("cannot make a folder for the trust store");
        folder_ = pattern;
        std::ofstream(folder_ + "/authority.pem") << authority.certificatePem();
        if (const char* old = std::getenv("SSL_CERT_FILE"))
            previous_ = old;
        setenv("SSL_CERT_FILE", (folder_ + "/authority.pem").c_str(), 1);
    }
    ~TrustStore()
    {
        if (previous_)
            setenv("SSL_CERT_FILE", previous_->c_str(), 1);
        else
            unsetenv("SSL_CERT_FILE");
        std::remove((folder_ + "/authority.pem").c_str());
        rmdir(folder_.c_str());
    }
    TrustStore(const TrustStore&) = delete;
    TrustStore& operator=(const TrustStore&) = delete;

private:
    std::string folder_;
    std::optional<std::string> previous_;
};

struct Case {
    const char* what;
    const char* names;  // the server certificate's subjectAltName
    bool trusted;       // the authority is the client's trust store
    bool handlerAccepts;
    const char* status; // the verdict the handler is shown
    bool passes;
};

const Case kCases[] = {
    {"the address asked for", "IP:127.0.0.1", true, false, "OK", true},
    {"another host name", "DNS:other.test", true, false, "The certificate does not name 127.0.0.1.", false},
    {"another address", "IP:127.0.0.2", true, false, "The certificate does not name 127.0.0.1.", false},
    {"another host name, accepted by the handler", "DNS:other.test", true, true,
     "The certificate does not name 127.0.0.1.", true},
    {"the address asked for, authority not trusted", "IP:127.0.0.1", false, false,
     "unable to get local issuer certificate", false},
};

TEST(ServerCertificate, WebFamilyChecksTheChainAndTheHostName)
{
    TestCertificateAuthority authority;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        LoopbackServer server(LoopbackServer::Transport::Tls, authority.issue(c.names));
        server.route("/", {200, "OK", {}, "secret"});
        std::optional<TrustStore> trust;
        if (c.trusted)
            trust.emplace(authority);
        Judgement judgement;
        judgement.accept = c.handlerAccepts;
        Judged<IPWorksSSLHTTPS> web(judgement);
        const std::string error = raisedReason([&] { web.get(server.url("/")); });
        const int code = web.lastErrorCode(); // (every Get clears it)
        EXPECT_EQ(judgement.status, c.status);
        EXPECT_EQ(web.SSLServerCertStatus(), c.status);
        EXPECT_EQ(judgement.offered, c.status == std::string("OK") ? 1 : 0);
        if (c.passes) {
            EXPECT_EQ(error, "");
            EXPECT_EQ(web.transferredData(), "secret");
        } else {
            EXPECT_EQ(error, std::string("Server certificate rejected: ") + c.status);
            EXPECT_EQ(code, NetComponentsTest_CertificateRejected);
            EXPECT_TRUE(server.requests().empty());
        }
    }
}

TEST(ServerCertificate, SocketFamilyChecksTheChainAndTheHostName)
{
    TestCertificateAuthority authority;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        LoopbackPeer::Options options;
        options.transport = LoopbackServer::Transport::Tls;
        options.identity = authority.issue(c.names);
        LoopbackPeer peer(options);
        std::optional<TrustStore> trust;
        if (c.trusted)
            trust.emplace(authority);
        Judgement judgement;
        judgement.accept = c.handlerAccepts;
        Judged<IPWorksSSLIPPortS> socket(judgement);
        socket.setSSLStartMode(NetComponentsTest_SSLAtConnect);
        const std::string error = raisedReason([&] { socket.connect("127.0.0.1", peer.port()); });
        const int code = socket.lastErrorCode(); // (every Get clears it)
        EXPECT_EQ(judgement.status, c.status);
        EXPECT_EQ(socket.SSLServerCertStatus(), c.status);
        EXPECT_EQ(judgement.offered, c.status == std::string("OK") ? 1 : 0);
        if (c.passes) {
            EXPECT_EQ(error, "");
            EXPECT_TRUE(socket.connected());
            socket.sendLine("over TLS");
            EXPECT_TRUE(peer.waitForReceived(10, std::chrono::seconds(10)));
        } else {
            EXPECT_EQ(error, std::string("Server certificate rejected: ") + c.status);
            EXPECT_EQ(code, NetComponentsTest_CertificateRejected);
            EXPECT_FALSE(socket.connected());
        }
    }
}

} // namespace
