// The web families of libNetComponents (HTTPS_, WebFormS_, WebUploadS_) over libcurl with its
// OpenSSL backend.
//
// One easy handle per component, driven with curl_easy_perform on the calling thread: events
// are delivered from curl's callbacks, inside the Do that started the request. No thread, no
// multi interface, no signals (CURLOPT_NOSIGNAL). libcurl is initialised once, lazily, when the
// first web component is made. Redirects are followed here, one hop at a time, so that
// onRedirect decides; the server's certificate is judged in the handshake (the context's
// verification callback), so that onSSLServerAuthentication decides before any request is sent.
// Every callback catches everything: no exception crosses a curl or OpenSSL frame.
//
// Events of one request, in order: [onSSLServerAuthentication, onSSLStatus] onConnected,
// onStatus, onHeader (and onSetCookie after each Set-Cookie header), onStartTransfer,
// onTransfer..., (onUploadProgress while sending), onEndTransfer, onDisconnected; then, for a
// redirect, onRedirect and the next hop's events.

#include "NetWrappers/NetComponents/ComponentModel.h"
#include "NetWrappers/NetComponents/NetComponentsTest.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace netcomponents {

namespace {

constexpr int kMostRedirects = 20;
constexpr int kHttpDefaultTimeout = 60;

std::once_flag curlOnce;
bool curlReady = false;

bool initialiseCurl()
{
    std::call_once(curlOnce, [] { curlReady = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return curlReady;
}

enum class HttpFamily { Http, Form, Upload };

// Event ids, the same in the three families.
enum Event {
    kConnected = 1,
    kConnectionStatus,
    kDisconnected,
    kEndTransfer,
    kError,
    kHeader,
    kRedirect,
    kSetCookie,
    kSSLServerAuthentication,
    kSSLStatus,
    kStartTransfer,
    kStatus,
    kTransfer,
    kUploadProgress
};

std::string trimmed(std::string text)
{
    const auto isSpace = [](unsigned char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; };
    while (!text.empty() && isSpace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    std::size_t first = 0;
    while (first < text.size() && isSpace(static_cast<unsigned char>(text[first])))
        ++first;
    return text.substr(first);
}

bool equalsIgnoringCase(const std::string& a, const char* b)
{
    return strcasecmp(a.c_str(), b) == 0;
}

class HttpBackend final : public Backend {
public:
    HttpBackend(Component& component, HttpFamily family) : c_(component), family_(family)
    {
        easy_ = curl_easy_init();
        c_.store(id("timeout"), kHttpDefaultTimeout);
        c_.store(id("idle"), 1);
    }
    ~HttpBackend() override
    {
        if (easy_)
            curl_easy_cleanup(easy_);
    }
    HttpBackend(const HttpBackend&) = delete;
    HttpBackend& operator=(const HttpBackend&) = delete;

    int perform(Component& c, int method, void** slots, int*) override;
    int writeAction(Component& c, int property, const Value& value) override;
    void abandon() noexcept override { interrupted_ = true; }

private:
    enum class Verb { Get, Head, Post, Put, Form, Upload };

    int id(const char* name) const { return propertyNamed(c_.family, name); }
    std::string text(const char* name) const { return c_.text(id(name)); }
    int number(const char* name) const { return c_.number(id(name)); }
    void store(const char* name, std::string bytes)
    {
        if (const int i = id(name))
            c_.store(i, std::move(bytes));
    }
    void store(const char* name, std::int32_t value)
    {
        if (const int i = id(name))
            c_.store(i, value);
    }

    std::string requestUrl() const;
    int request(std::string url, Verb verb);
    int unsupportedSetting();
    int prepare(const std::string& url, Verb verb, curl_slist*& headers, curl_mime*& mime);
    int makeBody(Verb verb, curl_mime*& mime);
    int finishHop(CURLcode result, const char* errorBuffer);
    int writeLocalFile();
    void resetRequest();
    void resetResponse();
    void noteUrlParts(const std::string& url);

    // curl and OpenSSL callbacks
    static size_t onHeaderLine(char* bytes, size_t size, size_t count, void* self);
    static size_t onBody(char* bytes, size_t size, size_t count, void* self);
    static size_t onReadBody(char* buffer, size_t size, size_t count, void* self);
    static int onProgress(void* self, curl_off_t, curl_off_t, curl_off_t uploadTotal, curl_off_t uploadNow);
    static int onConnectionReady(void* self, char* ip, char*, int port, int);
    static CURLcode onSslContext(CURL*, void* context, void* self);
    static int onVerify(X509_STORE_CTX* store, void* self);

    void headerLine(std::string line);
    bool body(const char* bytes, std::size_t count);
    int verify(X509_STORE_CTX* chain);
    bool deliver(EventSlots& slots, int event);

    Component& c_;
    HttpFamily family_;
    CURL* easy_ = nullptr;
    bool transferring_ = false;
    bool interrupted_ = false;
    // One request's state
    std::string host_;
    std::string body_;
    std::size_t bodyRead_ = 0;
    bool startedTransfer_ = false;
    bool connected_ = false;
    bool rejected_ = false;
    std::string rejectedVerdict_;
    std::string location_;
    int lastProgress_ = -1;
    long long received_ = 0;
};

bool HttpBackend::deliver(EventSlots& slots, int event)
{
    if (!slots.fire(c_, event))
        interrupted_ = true;
    return !interrupted_;
}

int HttpBackend::perform(Component& c, int method, void** slots, int*)
{
    const std::string selector = methodOf(c.family, method)->selector;
    // The address given to get:, post:, submitTo:... becomes URL; an empty one means URL.
    const auto argument = [&] {
        const std::string given = slots[0] ? static_cast<const char*>(slots[0]) : "";
        if (!given.empty())
            store("URL", given);
        return requestUrl();
    };
    if (selector == "interrupt") {
        interrupted_ = transferring_;
        return 0;
    }
    if (selector == "doEvents") // events are delivered as they happen: none is ever waiting
        return 0;
    if (selector == "resetHeaders" || selector == "reset") {
        if (transferring_)
            return c.fail(NetComponentsTest_Busy, "The component is busy with another request.");
        resetRequest();
        if (selector == "reset") {
            for (const char* count : {"formVarCount", "fileCount"})
                if (id(count))
                    c.clearList(id(count));
            resetResponse();
        }
        return 0;
    }
    if (family_ == HttpFamily::Http) {
        if (selector == "get:")
            return request(argument(), Verb::Get);
        if (selector == "head:")
            return request(argument(), Verb::Head);
        if (selector == "post:")
            return request(argument(), Verb::Post);
        if (selector == "put:")
            return request(argument(), Verb::Put);
    }
    if (family_ == HttpFamily::Form && (selector == "submit" || selector == "submitTo:"))
        return request(selector == "submit" ? requestUrl() : argument(), Verb::Form);
    if (family_ == HttpFamily::Upload && (selector == "upload" || selector == "uploadTo:"))
        return request(selector == "upload" ? requestUrl() : argument(), Verb::Upload);
    return kNotHandled;
}

// `connected`: false ends a request in progress (each request closes its own connection, so
// outside one there is nothing to close); a connection of its own, with no request, is not
// something these components make.
int HttpBackend::writeAction(Component&, int property, const Value& value)
{
    if (property != id("connected"))
        return kNotHandled;
    if (value.number)
        return c_.fail(NetComponentsTest_NotSupported, notSupported("setConnected:"));
    if (transferring_)
        interrupted_ = true;
    return 0;
}

void HttpBackend::resetRequest()
{
    for (const char* name : {"accept", "authorization", "contentType", "from", "ifModifiedSince", "otherHeaders",
                             "pragma", "range", "referer"})
        store(name, std::string());
    if (id("cookieCount"))
        c_.clearList(id("cookieCount"));
}

void HttpBackend::resetResponse()
{
    for (const char* name : {"statusLine", "transferredData", "transferredHeaders"})
        store(name, std::string());
}

// Settings this build cannot honour fail the request rather than being ignored.
int HttpBackend::unsupportedSetting()
{
    if (const int refused = refuseUnsupportedSettings(c_))
        return refused;
    const auto refuse = [&](const char* setter) { return c_.fail(NetComponentsTest_NotSupported, notSupported(setter)); };
    if (!text("proxyServer").empty() || number("proxySSL") != 0)
        return refuse("setProxyServer:");
    if (number("authScheme") != NetComponentsTest_AuthBasic && number("authScheme") != NetComponentsTest_AuthDigest)
        return refuse("setAuthScheme:");
    if (family_ == HttpFamily::Form && number("encoding") != NetComponentsTest_EncodingUrl &&
        number("encoding") != NetComponentsTest_EncodingMultipart)
        return c_.fail(NetComponentsTest_BadValue, "'setEncoding:' takes " + std::to_string(NetComponentsTest_EncodingUrl) +
                                                       " or " + std::to_string(NetComponentsTest_EncodingMultipart) +
                                                       ", not " + std::to_string(number("encoding")) + ".");
    return 0;
}

// URL, or when it is empty the URL its parts make (URLScheme, URLServer, URLPort, URLPath).
std::string HttpBackend::requestUrl() const
{
    if (!text("URL").empty() || text("URLServer").empty())
        return text("URL");
    const std::string scheme = text("URLScheme").empty() ? "http" : text("URLScheme");
    const std::string port = number("URLPort") > 0 ? ":" + std::to_string(number("URLPort")) : "";
    const std::string path = text("URLPath");
    return scheme + "://" + text("URLServer") + port + (path.empty() || path[0] != '/' ? "/" : "") + path;
}

void HttpBackend::noteUrlParts(const std::string& url)
{
    if (family_ != HttpFamily::Http)
        return;
    CURLU* parts = curl_url();
    if (!parts)
        return;
    if (curl_url_set(parts, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
        const auto part = [&](CURLUPart which, unsigned flags) {
            char* value = nullptr;
            std::string result;
            if (curl_url_get(parts, which, &value, flags) == CURLUE_OK && value)
                result = value;
            curl_free(value);
            return result;
        };
        store("URLScheme", part(CURLUPART_SCHEME, 0));
        store("URLServer", part(CURLUPART_HOST, 0));
        store("URLPath", part(CURLUPART_PATH, 0));
        store("URLPort", static_cast<std::int32_t>(std::atoi(part(CURLUPART_PORT, CURLU_DEFAULT_PORT).c_str())));
    }
    curl_url_cleanup(parts);
}

int HttpBackend::request(std::string url, Verb verb)
{
    if (transferring_)
        return c_.fail(NetComponentsTest_Busy, "The component is busy with another request.");
    if (!easy_ || !initialiseCurl())
        return c_.fail(NetComponentsTest_InternalFailure, "The transfer library could not be initialised.");
    if (const int refused = unsupportedSetting())
        return refused;
    transferring_ = true;
    interrupted_ = false;
    store("idle", 0);
    int result = 0;
    for (int hop = 0;; ++hop) {
        resetResponse();
        curl_slist* headers = nullptr;
        curl_mime* mime = nullptr;
        char errorBuffer[CURL_ERROR_SIZE] = {};
        result = prepare(url, verb, headers, mime);
        if (result == 0) {
            curl_easy_setopt(easy_, CURLOPT_ERRORBUFFER, errorBuffer);
            const CURLcode done = curl_easy_perform(easy_);
            result = finishHop(done, errorBuffer);
        }
        curl_easy_setopt(easy_, CURLOPT_ERRORBUFFER, nullptr);
        curl_slist_free_all(headers);
        curl_mime_free(mime);
        if (result != 0 || location_.empty())
            break;
        EventSlots redirect;
        redirect.text(location_).integer(number("followRedirects") != 0 ? 1 : 0);
        if (!deliver(redirect, kRedirect)) {
            result = c_.fail(NetComponentsTest_Interrupted, "Interrupted.");
            break;
        }
        if (redirect.writtenBack(1) == 0)
            break;
        if (hop + 1 >= kMostRedirects) {
            result = c_.fail(NetComponentsTest_TooManyRedirects, "Too many redirects (" +
                                                                      std::to_string(kMostRedirects) + ").");
            break;
        }
        long status = 0;
        curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &status);
        if (status == 303 || ((status == 301 || status == 302) && verb == Verb::Post))
            verb = Verb::Get;
        url = location_;
    }
    if (result == 0) {
        long status = 0;
        curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &status);
        if (status >= 400)
            result = c_.fail(static_cast<int>(status), text("statusLine"));
        else
            result = writeLocalFile();
    }
    transferring_ = false;
    store("idle", 1);
    return result;
}

int HttpBackend::prepare(const std::string& url, Verb verb, curl_slist*& headers, curl_mime*& mime)
{
    curl_easy_reset(easy_);
    host_.clear();
    body_.clear();
    bodyRead_ = 0;
    startedTransfer_ = false;
    connected_ = false;
    rejected_ = false;
    location_.clear();
    lastProgress_ = -1;
    received_ = 0;
    noteUrlParts(url);
    CURLU* parts = curl_url();
    if (parts && curl_url_set(parts, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
        char* host = nullptr;
        if (curl_url_get(parts, CURLUPART_HOST, &host, 0) == CURLUE_OK && host)
            host_ = host;
        curl_free(host);
    }
    curl_url_cleanup(parts);
    if (!host_.empty() && host_.front() == '[' && host_.back() == ']')
        host_ = host_.substr(1, host_.size() - 2);

    CURL* e = easy_;
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &HttpBackend::onHeaderLine);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &HttpBackend::onBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &HttpBackend::onProgress);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, &HttpBackend::onConnectionReady);
    curl_easy_setopt(e, CURLOPT_PREREQDATA, this);
    // The certificate is judged by onVerify, in the handshake; curl's own checks are off so that
    // its verdict does not override the handler's.
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(e, CURLOPT_SSL_SESSIONID_CACHE, 0L);
    curl_easy_setopt(e, CURLOPT_SSL_CTX_FUNCTION, &HttpBackend::onSslContext);
    curl_easy_setopt(e, CURLOPT_SSL_CTX_DATA, this);
    if (const int seconds = number("timeout"); seconds > 0) {
        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, static_cast<long>(seconds));
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, static_cast<long>(seconds));
    }
    if (!text("localHost").empty())
        curl_easy_setopt(e, CURLOPT_INTERFACE, text("localHost").c_str());
    if (!text("user").empty() || !text("password").empty()) {
        curl_easy_setopt(e, CURLOPT_USERNAME, text("user").c_str());
        curl_easy_setopt(e, CURLOPT_PASSWORD, text("password").c_str());
        curl_easy_setopt(e, CURLOPT_HTTPAUTH,
                         number("authScheme") == NetComponentsTest_AuthDigest ? CURLAUTH_DIGEST : CURLAUTH_BASIC);
    }

    const auto header = [&](const char* name, const std::string& value) {
        if (!value.empty())
            headers = curl_slist_append(headers, (std::string(name) + ": " + value).c_str());
    };
    headers = curl_slist_append(headers, "Expect:");
    header("Accept", text("accept"));
    header("Authorization", text("authorization"));
    header("From", text("from"));
    header("Referer", text("referer"));
    if (family_ == HttpFamily::Http) {
        header("If-Modified-Since", text("ifModifiedSince"));
        header("Pragma", text("pragma"));
        if (!text("range").empty())
            header("Range", "bytes=" + text("range"));
    }
    if (id("cookieCount")) {
        const std::vector<Value> names = c_.entries(id("cookieName:"));
        const std::vector<Value> values = c_.entries(id("cookieValue:"));
        std::string cookies;
        for (std::size_t i = 0; i < names.size(); ++i)
            cookies += (i ? "; " : "") + names[i].bytes + "=" + values[i].bytes;
        header("Cookie", cookies);
    }
    if (verb == Verb::Post || verb == Verb::Put || (verb == Verb::Form && number("encoding") == NetComponentsTest_EncodingUrl))
        header("Content-Type", text("contentType"));
    std::string others = text("otherHeaders");
    for (std::size_t start = 0; start < others.size();) {
        std::size_t end = others.find('\n', start);
        if (end == std::string::npos)
            end = others.size();
        const std::string line = trimmed(others.substr(start, end - start));
        if (!line.empty())
            headers = curl_slist_append(headers, line.c_str());
        start = end + 1;
    }

    if (const int failed = makeBody(verb, mime))
        return failed;
    switch (verb) {
    case Verb::Head:
        curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
        break;
    case Verb::Post:
    case Verb::Form:
        if (mime) {
            curl_easy_setopt(e, CURLOPT_MIMEPOST, mime);
        } else {
            curl_easy_setopt(e, CURLOPT_POSTFIELDS, body_.data());
            curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body_.size()));
        }
        break;
    case Verb::Put:
        curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(e, CURLOPT_READFUNCTION, &HttpBackend::onReadBody);
        curl_easy_setopt(e, CURLOPT_READDATA, this);
        curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(body_.size()));
        break;
    case Verb::Upload:
        curl_easy_setopt(e, CURLOPT_MIMEPOST, mime);
        break;
    case Verb::Get:
        break;
    }
    if (family_ == HttpFamily::Http && !text("HTTPMethod").empty())
        curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, text("HTTPMethod").c_str());
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers);
    return 0;
}

int HttpBackend::makeBody(Verb verb, curl_mime*& mime)
{
    if (verb == Verb::Post || verb == Verb::Put) {
        const std::string file = text("attachedFile");
        if (file.empty()) {
            body_ = text("postData");
            return 0;
        }
        FILE* in = std::fopen(file.c_str(), "rb");
        if (!in)
            return c_.fail(NetComponentsTest_BadValue, "Cannot read '" + file + "': " + std::strerror(errno));
        char buffer[65536];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;)
            body_.append(buffer, n);
        const bool failed = std::ferror(in) != 0;
        std::fclose(in);
        if (failed)
            return c_.fail(NetComponentsTest_BadValue, "Cannot read '" + file + "'.");
        return 0;
    }
    if (verb != Verb::Form && verb != Verb::Upload)
        return 0;
    const std::vector<Value> names = c_.entries(id("formVarNames:"));
    const std::vector<Value> values = c_.entries(id("formVarValues:"));
    if (verb == Verb::Form && number("encoding") == NetComponentsTest_EncodingUrl) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            char* name = curl_easy_escape(easy_, names[i].bytes.data(), static_cast<int>(names[i].bytes.size()));
            char* value = curl_easy_escape(easy_, values[i].bytes.data(), static_cast<int>(values[i].bytes.size()));
            body_ += (i ? "&" : "") + std::string(name ? name : "") + "=" + (value ? value : "");
            curl_free(name);
            curl_free(value);
        }
        return 0;
    }
    mime = curl_mime_init(easy_);
    for (std::size_t i = 0; i < names.size(); ++i) {
        curl_mimepart* part = curl_mime_addpart(mime);
        curl_mime_name(part, names[i].bytes.c_str());
        curl_mime_data(part, values[i].bytes.data(), values[i].bytes.size());
    }
    if (verb == Verb::Upload) {
        const std::vector<Value> files = c_.entries(id("fileNames:"));
        const std::vector<Value> variables = c_.entries(id("fileVarNames:"));
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (access(files[i].bytes.c_str(), R_OK) != 0)
                return c_.fail(NetComponentsTest_BadValue,
                               "Cannot read '" + files[i].bytes + "': " + std::strerror(errno));
            curl_mimepart* part = curl_mime_addpart(mime);
            curl_mime_name(part, variables[i].bytes.c_str());
            if (curl_mime_filedata(part, files[i].bytes.c_str()) != CURLE_OK)
                return c_.fail(NetComponentsTest_BadValue, "Cannot read '" + files[i].bytes + "'.");
        }
    }
    return 0;
}

int HttpBackend::finishHop(CURLcode result, const char* errorBuffer)
{
    if (startedTransfer_ && result == CURLE_OK) {
        EventSlots end;
        if (family_ == HttpFamily::Http)
            end.integer(1);
        deliver(end, kEndTransfer);
    }
    if (connected_) {
        connected_ = false;
        store("connected", 0);
        EventSlots disconnected;
        disconnected.integer(result == CURLE_OK ? 0 : static_cast<int>(result))
            .text(result == CURLE_OK ? "" : curl_easy_strerror(result));
        deliver(disconnected, kDisconnected);
    }
    if (rejected_)
        return c_.fail(NetComponentsTest_CertificateRejected, "Server certificate rejected: " + rejectedVerdict_);
    if (interrupted_)
        return c_.fail(NetComponentsTest_Interrupted, "Interrupted.");
    switch (result) {
    case CURLE_OK:
        break;
    case CURLE_OPERATION_TIMEDOUT:
        return c_.fail(NetComponentsTest_Timeout, "Timed out after " + std::to_string(number("timeout")) + " seconds.");
    default: {
        std::string text = curl_easy_strerror(result);
        if (errorBuffer && *errorBuffer)
            text += ": " + trimmed(errorBuffer);
        return c_.fail(NetComponentsTest_Network, text);
    }
    }
    long status = 0;
    curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &status);
    char* redirect = nullptr;
    if (status >= 300 && status < 400 && curl_easy_getinfo(easy_, CURLINFO_REDIRECT_URL, &redirect) == CURLE_OK &&
        redirect)
        location_ = redirect;
    return 0;
}

// The whole answer or nothing: a temporary file beside the target, renamed over it at the end.
int HttpBackend::writeLocalFile()
{
    const std::string target = family_ == HttpFamily::Upload ? std::string() : text("localFile");
    if (target.empty())
        return 0;
    std::string temporary = target + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0)
        return c_.fail(NetComponentsTest_LocalFile, "Cannot write '" + target + "': " + std::strerror(errno));
    const std::string data = text("transferredData");
    std::size_t written = 0;
    while (written < data.size()) {
        const ssize_t n = ::write(fd, data.data() + written, data.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += static_cast<std::size_t>(n);
    }
    const int savedErrno = errno;
    const bool closed = ::close(fd) == 0;
    if (written != data.size() || !closed || std::rename(temporary.c_str(), target.c_str()) != 0) {
        const int reason = written != data.size() ? savedErrno : errno;
        ::unlink(temporary.c_str());
        return c_.fail(NetComponentsTest_LocalFile, "Cannot write '" + target + "': " + std::strerror(reason));
    }
    return 0;
}

// ---- callbacks ------------------------------------------------------------------------------

void HttpBackend::headerLine(std::string line)
{
    line = trimmed(std::move(line));
    if (line.rfind("HTTP/", 0) == 0) {
        // A new answer (after 100 Continue, or the next hop): its own headers.
        store("statusLine", line);
        store("transferredHeaders", std::string());
        const std::size_t space = line.find(' ');
        const std::string version = line.substr(0, space);
        const std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);
        const std::size_t second = rest.find(' ');
        EventSlots status;
        status.text(version)
            .integer(std::atoi(rest.c_str()))
            .text(second == std::string::npos ? std::string() : rest.substr(second + 1));
        deliver(status, kStatus);
        return;
    }
    if (line.empty()) {
        long code = 0;
        curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &code);
        if (code >= 200 && !startedTransfer_) {
            startedTransfer_ = true;
            EventSlots start;
            if (family_ == HttpFamily::Http)
                start.integer(1);
            deliver(start, kStartTransfer);
        }
        return;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos)
        return;
    const std::string name = trimmed(line.substr(0, colon));
    const std::string value = trimmed(line.substr(colon + 1));
    const int headersId = id("transferredHeaders");
    c_.values[headersId].bytes += line + "\r\n";
    EventSlots header;
    header.text(name).text(value);
    if (!deliver(header, kHeader) || !equalsIgnoringCase(name, "Set-Cookie"))
        return;
    // name=value; Expires=...; Domain=...; Path=...; Secure
    std::string cookieName, cookieValue, expires, domain, path;
    bool secure = false;
    for (std::size_t start = 0, index = 0; start <= value.size(); ++index) {
        std::size_t end = value.find(';', start);
        if (end == std::string::npos)
            end = value.size();
        const std::string field = trimmed(value.substr(start, end - start));
        const std::size_t equals = field.find('=');
        const std::string key = trimmed(field.substr(0, equals));
        const std::string setting = equals == std::string::npos ? std::string() : trimmed(field.substr(equals + 1));
        if (index == 0) {
            cookieName = key;
            cookieValue = setting;
        } else if (equalsIgnoringCase(key, "Expires")) {
            expires = setting;
        } else if (equalsIgnoringCase(key, "Domain")) {
            domain = setting;
        } else if (equalsIgnoringCase(key, "Path")) {
            path = setting;
        } else if (equalsIgnoringCase(key, "Secure")) {
            secure = true;
        }
        start = end + 1;
    }
    EventSlots cookie;
    cookie.text(cookieName).text(cookieValue).text(expires).text(domain).text(path).integer(secure ? 1 : 0);
    deliver(cookie, kSetCookie);
}

bool HttpBackend::body(const char* bytes, std::size_t count)
{
    if (interrupted_)
        return false;
    c_.values[id("transferredData")].bytes.append(bytes, count);
    received_ += static_cast<long long>(count);
    EventSlots transfer;
    if (family_ == HttpFamily::Http)
        transfer.integer(1);
    transfer.integer(received_).data(bytes, count);
    return deliver(transfer, kTransfer);
}

size_t HttpBackend::onHeaderLine(char* bytes, size_t size, size_t count, void* self)
try {
    auto* backend = static_cast<HttpBackend*>(self);
    backend->headerLine(std::string(bytes, size * count));
    return backend->interrupted_ ? 0 : size * count;
} catch (...) {
    return 0;
}

size_t HttpBackend::onBody(char* bytes, size_t size, size_t count, void* self)
try {
    return static_cast<HttpBackend*>(self)->body(bytes, size * count) ? size * count : 0;
} catch (...) {
    return 0;
}

size_t HttpBackend::onReadBody(char* buffer, size_t size, size_t count, void* self)
{
    auto* backend = static_cast<HttpBackend*>(self);
    if (backend->interrupted_)
        return CURL_READFUNC_ABORT;
    const std::size_t n = std::min(size * count, backend->body_.size() - backend->bodyRead_);
    std::memcpy(buffer, backend->body_.data() + backend->bodyRead_, n);
    backend->bodyRead_ += n;
    return n;
}

int HttpBackend::onProgress(void* self, curl_off_t, curl_off_t, curl_off_t uploadTotal, curl_off_t uploadNow)
try {
    auto* backend = static_cast<HttpBackend*>(self);
    if (backend->interrupted_)
        return 1;
    if (backend->family_ == HttpFamily::Upload && uploadTotal > 0) {
        const int percent = static_cast<int>(std::min<curl_off_t>(100, uploadNow * 100 / uploadTotal));
        if (percent != backend->lastProgress_) {
            backend->lastProgress_ = percent;
            EventSlots progress;
            progress.integer(percent);
            backend->deliver(progress, kUploadProgress);
        }
    }
    return backend->interrupted_ ? 1 : 0;
} catch (...) {
    return 1;
}

int HttpBackend::onConnectionReady(void* self, char* ip, char*, int port, int)
try {
    auto* backend = static_cast<HttpBackend*>(self);
    void* tls = nullptr;
    struct curl_tlssessioninfo* session = nullptr;
    if (curl_easy_getinfo(backend->easy_, CURLINFO_TLS_SSL_PTR, &session) == CURLE_OK && session &&
        session->backend == CURLSSLBACKEND_OPENSSL)
        tls = session->internals;
    if (tls) {
        SSL* ssl = static_cast<SSL*>(tls);
        EventSlots status;
        status.text(std::string(SSL_get_version(ssl)) + " " + SSL_get_cipher_name(ssl));
        backend->deliver(status, kSSLStatus);
    }
    backend->connected_ = true;
    backend->store("connected", 1);
    EventSlots connected;
    connected.integer(0).text("Connected to " + std::string(ip ? ip : "") + ":" + std::to_string(port) + ".");
    backend->deliver(connected, kConnected);
    return backend->interrupted_ ? CURL_PREREQFUNC_ABORT : CURL_PREREQFUNC_OK;
} catch (...) {
    return CURL_PREREQFUNC_ABORT;
}

CURLcode HttpBackend::onSslContext(CURL*, void* context, void* self)
try {
    prepareServerVerification(static_cast<SSL_CTX*>(context), &HttpBackend::onVerify, self);
    return CURLE_OK;
} catch (...) {
    return CURLE_ABORTED_BY_CALLBACK;
}

int HttpBackend::onVerify(X509_STORE_CTX* store, void* self)
try {
    return static_cast<HttpBackend*>(self)->verify(store);
} catch (...) {
    X509_STORE_CTX_set_error(store, X509_V_ERR_APPLICATION_VERIFICATION);
    return 0;
}

// The shared judgement decides; a handler that interrupted or destroyed the component ends the
// request (finishHop says so).
int HttpBackend::verify(X509_STORE_CTX* chain)
{
    const ServerVerdict verdict = judgeServerCertificate(
        c_, chain, host_, kSSLServerAuthentication, [this](EventSlots& slots, int event) { return deliver(slots, event); });
    if (!verdict.accepted) {
        rejected_ = verdict.goOn;
        rejectedVerdict_ = verdict.verdict;
        X509_STORE_CTX_set_error(chain, X509_V_ERR_APPLICATION_VERIFICATION);
        return 0;
    }
    X509_STORE_CTX_set_error(chain, X509_V_OK);
    return 1;
}

} // namespace

std::unique_ptr<Backend> makeHttpBackend(Component& component)
{
    const std::string prefix = familyAt(component.family).prefix;
    HttpFamily family;
    if (prefix == "HTTPS_")
        family = HttpFamily::Http;
    else if (prefix == "WebFormS_")
        family = HttpFamily::Form;
    else if (prefix == "WebUploadS_")
        family = HttpFamily::Upload;
    else
        return nullptr;
    initialiseCurl();
    return std::make_unique<HttpBackend>(component, family);
}

} // namespace netcomponents
