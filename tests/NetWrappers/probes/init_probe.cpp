// A program linked the way the application links the network wrappers, which counts the calls
// that would start the transfer and TLS libraries or open a socket: it defines those functions
// itself (the dynamic linker binds every library's calls to the program's definitions first),
// counts, and passes each call on. It prints the counts before any component exists, after the
// socket components (which open nothing until they connect), after the first web component is
// made, and after a second one.
#include <curl/curl.h>
#include <dlfcn.h>
#include <openssl/crypto.h>
#include <openssl/ssl.h>

#include <cstdio>

#include "NetWrappers/IPWorksSSLCertMgr.h"
#include "NetWrappers/IPWorksSSLHTTPS.h"
#include "NetWrappers/IPWorksSSLIPPortS.h"
#include "NetWrappers/IPWorksSSLTelnetS.h"

namespace {
int curlInits = 0;
int sslInits = 0;
int sockets = 0;

template <class Function>
Function next(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

void report(const char* when)
{
    std::printf("%s curl=%d ssl=%d socket=%d\n", when, curlInits, sslInits, sockets);
}
} // namespace

extern "C" {

CURLcode curl_global_init(long flags)
{
    ++curlInits;
    return next<CURLcode (*)(long)>("curl_global_init")(flags);
}

int OPENSSL_init_ssl(uint64_t options, const OPENSSL_INIT_SETTINGS* settings)
{
    ++sslInits;
    return next<int (*)(uint64_t, const OPENSSL_INIT_SETTINGS*)>("OPENSSL_init_ssl")(options, settings);
}

int socket(int domain, int type, int protocol)
{
    ++sockets;
    return next<int (*)(int, int, int)>("socket")(domain, type, protocol);
}
}

int main()
{
    report("loaded");
    {
        auto certificates = vistel::IPWorksSSLCertMgr::certmgr();
        report("certmgr");
        auto port = vistel::IPWorksSSLIPPortS::ipports();
        auto telnet = vistel::IPWorksSSLTelnetS::telnets();
        report("sockets");
        auto first = vistel::IPWorksSSLHTTPS::https();
        report("first");
        auto second = vistel::IPWorksSSLHTTPS::https();
        report("second");
        if (!certificates || !port || !telnet || !first || !second)
            return 1;
    }
    return 0;
}
