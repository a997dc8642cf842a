#include "Application/UpdateRequest.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <utility>

#include "Common/Tools/Threads/ThreadMessages.h"
#include "Platform/AtomicFileWriter.h"
#include "Platform/FilePaths.h"
#include "Platform/Log.h"

namespace vistel {

namespace {

std::mutex timeoutsLock;
UpdateRequest::Timeouts currentTimeouts;

UpdateRequest::Timeouts timeouts()
{
    std::lock_guard guard(timeoutsLock);
    return currentTimeouts;
}

// The requests still running, so that quitting can stop them (main thread only).
std::set<UpdateRequest*>& runningRequests()
{
    static std::set<UpdateRequest*> requests;
    return requests;
}

std::string lowercase(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

std::string trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return std::string(text);
}

struct CurlUrl {
    CURLU* handle = curl_url();
    ~CurlUrl() { curl_url_cleanup(handle); }
    std::string part(CURLUPart which, unsigned flags = 0) const
    {
        char* value = nullptr;
        if (curl_url_get(handle, which, &value, flags) != CURLUE_OK || !value)
            return {};
        std::string result(value);
        curl_free(value);
        return result;
    }
};

bool makeFolders(const std::string& folder)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return std::filesystem::is_directory(folder, error);
}

// Renames without ever replacing a file: RENAME_NOREPLACE, or link + unlink where the file
// system lacks it. False with errno EEXIST when the destination exists.
bool renameNoReplace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    if (::link(from.c_str(), to.c_str()) != 0)
        return false;
    ::unlink(from.c_str());
    return true;
}

} // namespace

struct UpdateRequest::Transfer {
    UpdateRequest* request = nullptr;
    CURL* curl = nullptr;
    std::string body;
    bool tooLong = false;
    bool writeFailed = false;
    std::string statusLine;
    std::string contentDisposition;
    int fd = -1;
    std::int64_t received = 0;
    bool responseSeen = false;

    long responseCode() const
    {
        long code = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
        return code;
    }
};

UpdateRequest::~UpdateRequest() = default;

UpdateRequest::Timeouts UpdateRequest::setTimeouts(Timeouts timeouts)
{
    std::lock_guard guard(timeoutsLock);
    return std::exchange(currentTimeouts, timeouts);
}

bool UpdateRequest::isFetchableURL(const std::string& url)
{
    CurlUrl parsed;
    if (!parsed.handle || curl_url_set(parsed.handle, CURLUPART_URL, url.c_str(), 0) != CURLUE_OK)
        return false;
    if (!parsed.part(CURLUPART_USER).empty())
        return false;
    const std::string scheme = lowercase(parsed.part(CURLUPART_SCHEME));
    if (scheme == "https")
        return !parsed.part(CURLUPART_HOST).empty();
    return scheme == "http" && parsed.part(CURLUPART_HOST) == "127.0.0.1";
}

std::string UpdateRequest::safeFileName(std::string_view suggested)
{
    if (const std::size_t slash = suggested.find_last_of('/'); slash != std::string_view::npos)
        suggested.remove_prefix(slash + 1);
    std::string name;
    for (char c : suggested)
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f)
            name += c;
    name = trimmed(name);
    const std::size_t firstNonDot = name.find_first_not_of('.');
    name = firstNonDot == std::string::npos ? std::string() : name.substr(firstNonDot);
    if (name.empty() || name.size() > 255)
        return "download";
    return name;
}

std::string UpdateRequest::contentDispositionName(std::string_view value)
{
    std::size_t at = 0;
    while (at < value.size()) {
        std::size_t end = value.find(';', at);
        if (end == std::string_view::npos)
            end = value.size();
        const std::string parameter = trimmed(value.substr(at, end - at));
        at = end + 1;
        const std::size_t equals = parameter.find('=');
        if (equals == std::string::npos || lowercase(trimmed(parameter.substr(0, equals))) != "filename")
            continue;
        std::string name = trimmed(parameter.substr(equals + 1));
        if (name.size() >= 2 && name.front() == '"') {
            // A quoted string: up to the closing quote, backslash escapes taken literally.
            std::string unquoted;
            for (std::size_t i = 1; i < name.size() && name[i] != '"'; ++i) {
                if (name[i] == '\\' && i + 1 < name.size())
                    ++i;
                unquoted += name[i];
            }
            name = unquoted;
        }
        return name;
    }
    return {};
}

Ref<UpdateRequest> UpdateRequest::fetch(const std::string& url, Completion completion)
{
    Ref<UpdateRequest> request = Ref<UpdateRequest>::adopt(new UpdateRequest);
    request->url_ = url;
    request->completion_ = std::move(completion);
    request->start();
    return request;
}

Ref<UpdateRequest> UpdateRequest::download(const std::string& url, const std::string& folder, Progress progress,
                                           Completion completion)
{
    Ref<UpdateRequest> request = Ref<UpdateRequest>::adopt(new UpdateRequest);
    request->url_ = url;
    request->folder_ = folder;
    request->download_ = true;
    request->progress_ = std::move(progress);
    request->completion_ = std::move(completion);
    request->start();
    return request;
}

void UpdateRequest::start()
{
    Ref<UpdateRequest> self(this);
    worker_ = NSThreadExt::create([self] { self->run(); });
    worker_->setName(download_ ? "update download" : "update check");
    runningRequests().insert(this);
    worker_->start();
}

bool UpdateRequest::isRunning() const
{
    return !finished_ && !cancelled_;
}

void UpdateRequest::cancel()
{
    if (!isRunning())
        return;
    cancelled_ = true;
    runningRequests().erase(this);
    if (worker_)
        worker_->cancel();
    worker_ = nullptr;
    removePartial();
    progress_ = {};
    completion_ = {};
}

void UpdateRequest::cancelAll()
{
    const std::set<UpdateRequest*> running = runningRequests();
    for (UpdateRequest* request : running)
        Ref<UpdateRequest>(request)->cancel();
}

void UpdateRequest::removePartial()
{
    std::lock_guard guard(partialLock_);
    if (!partialPath_.empty())
        ::unlink(partialPath_.c_str());
    partialPath_.clear();
}

void UpdateRequest::deliver(Result result)
{
    Ref<UpdateRequest> self(this);
    ThreadMessages::performSelectorOnMainThread(
        [self, result = std::move(result)] {
            if (!self->isRunning())
                return;
            self->finished_ = true;
            runningRequests().erase(self.get());
            self->worker_ = nullptr;
            Completion completion = std::move(self->completion_);
            self->progress_ = {};
            if (completion)
                completion(result);
        },
        false);
}

void UpdateRequest::run()
{
    static std::once_flag curlInitialised;
    std::call_once(curlInitialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    NSThreadExt* worker = NSThreadExt::currentThreadExt();
    Ref<UpdateRequest> self(this);
    const Timeouts limits = timeouts();
    Result result;
    std::string url = url_;
    Transfer transfer;
    transfer.request = this;

    auto closePartial = [&] {
        if (transfer.fd >= 0)
            ::close(transfer.fd);
        transfer.fd = -1;
        removePartial();
    };

    for (int hop = 0;; ++hop) {
        if (!isFetchableURL(url)) {
            result = {1, "Refused address: " + url, {}, {}};
            break;
        }
        if (hop > 10) {
            result = {1, "Too many redirects", {}, {}};
            break;
        }
        CURL* curl = curl_easy_init();
        if (!curl) {
            result = {1, "Cannot start a request", {}, {}};
            break;
        }
        transfer.curl = curl;
        transfer.body.clear();
        transfer.statusLine.clear();
        transfer.contentDisposition.clear();
        char errorBuffer[CURL_ERROR_SIZE] = {};
        curl_slist* headers = nullptr;
        headers = curl_slist_append(headers, "Cache-Control: no-cache");
        headers = curl_slist_append(headers, "Pragma: no-cache");

        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connect * 1000));
        if (download_) {
            curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
            curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, std::max(1L, static_cast<long>(limits.lowSpeedTime)));
        } else {
            curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.answer * 1000));
        }
        curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
        curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, +[](char* data, size_t size, size_t count, void* context) -> size_t {
            auto* transfer = static_cast<Transfer*>(context);
            const std::string_view line(data, size * count);
            if (line.compare(0, 5, "HTTP/") == 0) {
                transfer->statusLine = trimmed(line);
                transfer->contentDisposition.clear();
            } else if (const std::size_t colon = line.find(':');
                       colon != std::string_view::npos && lowercase(line.substr(0, colon)) == "content-disposition") {
                transfer->contentDisposition = trimmed(line.substr(colon + 1));
            }
            return size * count;
        });
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, +[](char* data, size_t size, size_t count, void* context) -> size_t {
            auto* transfer = static_cast<Transfer*>(context);
            const size_t length = size * count;
            const long code = transfer->responseCode();
            if (code >= 300 || code < 200)
                return length; // a redirect's or an error's body is not the answer
            return transfer->request->receive(*transfer, data, length) ? length : 0;
        });
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, worker);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION,
                         +[](void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) -> int {
                             return static_cast<NSThreadExt*>(context)->isCancelled() ? 1 : 0;
                         });

        const CURLcode code = curl_easy_perform(curl);
        const long status = transfer.responseCode();
        char* redirect = nullptr;
        curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &redirect);
        const std::string next = redirect ? redirect : "";
        std::string effective;
        if (char* last = nullptr; curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &last) == CURLE_OK && last)
            effective = last;
        curl_slist_free_all(headers);
        curl_easy_cleanup(curl);
        transfer.curl = nullptr;

        if (worker->isCancelled()) {
            closePartial();
            return;
        }
        if (code == CURLE_OK && status >= 300 && status < 400 && !next.empty()) {
            url = next;
            continue;
        }
        if (code != CURLE_OK) {
            if (transfer.tooLong)
                result = {1, "The answer is too long", {}, {}};
            else if (transfer.writeFailed)
                result = {1, "Cannot write the downloaded file", {}, {}};
            else if (code == CURLE_COULDNT_RESOLVE_HOST || code == CURLE_COULDNT_RESOLVE_PROXY ||
                     code == CURLE_COULDNT_CONNECT || code == CURLE_OPERATION_TIMEDOUT)
                result = {NotConnectedError, errorBuffer[0] ? errorBuffer : curl_easy_strerror(code), {}, {}};
            else
                result = {1, errorBuffer[0] ? errorBuffer : curl_easy_strerror(code), {}, {}};
            break;
        }
        if (status >= 300) {
            result = {1, transfer.statusLine.empty() ? "HTTP " + std::to_string(status) : transfer.statusLine, {}, {}};
            break;
        }
        if (!download_) {
            result.answer = std::move(transfer.body);
            break;
        }
        // The whole body is in the partial file (an empty body makes it now).
        if (transfer.fd < 0 && !openPartial(transfer)) {
            result = {1, "Cannot write the downloaded file", {}, {}};
            break;
        }
        std::string suggested = contentDispositionName(transfer.contentDisposition);
        if (suggested.empty()) {
            CurlUrl parsed;
            if (curl_url_set(parsed.handle, CURLUPART_URL, effective.empty() ? url.c_str() : effective.c_str(), 0) ==
                CURLUE_OK)
                suggested = lastPathComponent(parsed.part(CURLUPART_PATH, CURLU_URLDECODE));
        }
        const std::string name = safeFileName(suggested);
        const bool synced = ::fdatasync(transfer.fd) == 0 || errno == EINVAL;
        ::close(transfer.fd);
        transfer.fd = -1;
        if (!synced) {
            removePartial();
            result = {1, "Cannot write the downloaded file", {}, {}};
            break;
        }
        std::lock_guard guard(partialLock_);
        if (worker->isCancelled() || partialPath_.empty())
            return;
        const std::string dot = pathExtension(name).empty() ? "" : "." + pathExtension(name);
        const std::string stem = name.substr(0, name.size() - dot.size());
        for (int attempt = 1; attempt < 10000; ++attempt) {
            const std::string candidate =
                joinPath(folder_, attempt == 1 ? name : stem + " (" + std::to_string(attempt) + ")" + dot);
            if (renameNoReplace(partialPath_, candidate)) {
                result.path = candidate;
                break;
            }
            if (errno != EEXIST)
                break;
        }
        if (result.path.empty()) {
            ::unlink(partialPath_.c_str());
            result = {1, std::string("Cannot name the downloaded file: ") + std::strerror(errno), {}, {}};
        }
        partialPath_.clear();
        break;
    }
    closePartial();
    deliver(std::move(result));
}

bool UpdateRequest::openPartial(Transfer& transfer)
{
    std::lock_guard guard(partialLock_);
    if (NSThreadExt::currentThreadExt()->isCancelled() || !makeFolders(folder_))
        return false;
    std::string path = joinPath(folder_, ".vistel-download-XXXXXX");
    const int fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    // mkostemp makes the file 0600: it takes the mode any new file of the user's gets.
    ::fchmod(fd, 0666 & ~processUmask());
    transfer.fd = fd;
    partialPath_ = path;
    return true;
}

bool UpdateRequest::receive(Transfer& transfer, const char* data, std::size_t length)
{
    if (!download_) {
        if (transfer.body.size() + length > MaxAnswerLength) {
            transfer.tooLong = true;
            return false;
        }
        transfer.body.append(data, length);
        return true;
    }
    Ref<UpdateRequest> self(this);
    if (!transfer.responseSeen) {
        transfer.responseSeen = true;
        curl_off_t expected = -1;
        curl_easy_getinfo(transfer.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
        if (transfer.fd < 0 && !openPartial(transfer)) {
            transfer.writeFailed = true;
            return false;
        }
        ThreadMessages::performSelectorOnMainThread(
            [self, expected] {
                self->expected_ = expected;
                if (self->isRunning() && self->progress_)
                    self->progress_(expected, 0);
            },
            false);
    }
    for (std::size_t written = 0; written < length;) {
        const ssize_t n = ::write(transfer.fd, data + written, length - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            transfer.writeFailed = true;
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    transfer.received += static_cast<std::int64_t>(length);
    ThreadMessages::performSelectorOnMainThread(
        [self, received = transfer.received] {
            if (self->isRunning() && self->progress_)
                self->progress_(self->expected_, received);
        },
        false);
    return true;
}

} // namespace vistel
