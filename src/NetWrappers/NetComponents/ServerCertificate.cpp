// What the network families of libNetComponents share: the slots of the events they fire, the
// settings none of them honours, and the judgement of a TLS server's certificate (the system
// store, the host name, then the family's onSSLServerAuthentication), used by the web families
// inside libcurl's handshake and by the socket families inside their own.

#include "NetWrappers/NetComponents/ComponentModel.h"
#include "NetWrappers/NetComponents/NetComponentsTest.h"

#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <string>

namespace netcomponents {

EventSlots& EventSlots::text(std::string value)
{
    texts_.push_back(std::move(value));
    slots_.push_back(const_cast<char*>(texts_.back().c_str()));
    lengths_.push_back(0);
    return *this;
}

EventSlots& EventSlots::data(const void* bytes, std::size_t count)
{
    slots_.push_back(const_cast<void*>(bytes));
    lengths_.push_back(static_cast<int>(count));
    return *this;
}

EventSlots& EventSlots::integer(long long value)
{
    slots_.push_back(reinterpret_cast<void*>(static_cast<std::intptr_t>(static_cast<std::int32_t>(value))));
    lengths_.push_back(0);
    return *this;
}

bool EventSlots::fire(Component& c, int event)
{
    if (slots_.empty()) {
        slots_.push_back(nullptr);
        lengths_.push_back(0);
    }
    return c.fire(event, slots_, lengths_);
}

int EventSlots::writtenBack(std::size_t slot) const
{
    return static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(slots_[slot]));
}

int refuseUnsupportedSettings(Component& c)
{
    const auto text = [&](const char* name) { return c.text(propertyNamed(c.family, name)); };
    const auto number = [&](const char* name) { return c.number(propertyNamed(c.family, name)); };
    if (!text("firewallHost").empty() || number("firewallType") != 0)
        return c.fail(NetComponentsTest_NotSupported, notSupported("setFirewallHost:"));
    if (!text("SSLCertStore").empty() || !text("SSLCertEncoded").empty() || !text("SSLCertSubject").empty())
        return c.fail(NetComponentsTest_NotSupported, notSupported("setSSLCertStore:"));
    return 0;
}

namespace {

std::string nameText(X509_NAME* name)
{
    if (!name)
        return {};
    BIO* bio = BIO_new(BIO_s_mem());
    if (!bio)
        return {};
    X509_NAME_print_ex(bio, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* bytes = nullptr;
    const long count = BIO_get_mem_data(bio, &bytes);
    std::string text(bytes ? bytes : "", count > 0 ? static_cast<std::size_t>(count) : 0);
    BIO_free(bio);
    return text;
}

} // namespace

void prepareServerVerification(SSL_CTX* context, int (*callback)(X509_STORE_CTX*, void*), void* argument)
{
    SSL_CTX_set_default_verify_paths(context);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_cert_verify_callback(context, callback, argument);
}

ServerVerdict judgeServerCertificate(Component& c, X509_STORE_CTX* chain, const std::string& host, int event,
                                     const std::function<bool(EventSlots&, int)>& deliver)
{
    ServerVerdict result;
    bool passed = X509_verify_cert(chain) == 1;
    result.verdict = passed ? "OK" : X509_verify_cert_error_string(X509_STORE_CTX_get_error(chain));
    X509* leaf = X509_STORE_CTX_get0_cert(chain);
    if (passed && leaf) {
        const bool matches = X509_check_ip_asc(leaf, host.c_str(), 0) == 1 ||
                             X509_check_host(leaf, host.c_str(), host.size(), 0, nullptr) == 1;
        if (!matches) {
            passed = false;
            result.verdict = "The certificate does not name " + host + ".";
        }
    }
    std::string der;
    if (leaf) {
        const int size = i2d_X509(leaf, nullptr);
        if (size > 0) {
            der.resize(static_cast<std::size_t>(size));
            auto* out = reinterpret_cast<unsigned char*>(der.data());
            i2d_X509(leaf, &out);
        }
    }
    c.store(propertyNamed(c.family, "SSLServerCert"), der);
    c.store(propertyNamed(c.family, "SSLServerCertStatus"), result.verdict);
    const std::string accepted = c.text(propertyNamed(c.family, "SSLAcceptServerCert"));
    EventSlots authentication;
    authentication.data(der.data(), der.size())
        .text(leaf ? nameText(X509_get_issuer_name(leaf)) : std::string())
        .text(leaf ? nameText(X509_get_subject_name(leaf)) : std::string())
        .text(result.verdict)
        .integer(passed || (!der.empty() && der == accepted) ? 1 : 0);
    result.goOn = deliver(authentication, event);
    result.accepted = result.goOn && authentication.writtenBack(4) != 0;
    return result;
}

} // namespace netcomponents
