#pragma once
// UpdateRequest: one HTTP GET for the update check, run with libcurl on its own NSThreadExt
// worker, so the main thread never waits for the network.
//
// Two kinds: fetch() keeps the answer in memory (at most MaxAnswerLength bytes; a longer answer
// fails); download() writes the body into a folder: first into a hidden partial file (mode
// 0666 less the umask, as any new file) beside the destination, which is renamed without replacing anything (RENAME_NOREPLACE)
// to the first free name of "name.ext", "name (2).ext", ... once the body is complete. A failed
// or cancelled download removes its partial file. The file name is the answer's
// Content-Disposition name, else the URL's last path component, made safe (safeFileName).
//
// Only https addresses are fetched, and plain http to 127.0.0.1 (the tests' own server);
// redirects are followed by hand (at most 10) and each hop must pass the same rule. Requests
// ask caches for nothing ("Cache-Control: no-cache", "Pragma: no-cache"). Timeouts: connect
// 10 s; a fetch's whole answer 30 s; a download slower than 1 byte/s for 30 s fails.
//
// Errors: status -1009 (not connected) for curl's resolve, connect and timeout errors; any
// other failure, an HTTP status >= 400 included, has status 1 and curl's text or the status
// line as text.
//
// Threads: create, cancel and read results on the main thread. The worker reports through
// thread messages to the main thread; the response, progress and completion calls run there,
// in order, and none of them runs after cancel(). cancel() returns at once: the worker notices
// it in curl's progress callback, and the partial file is removed by cancel() itself.
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "Common/Tools/Threads/NSThreadExt.h"
#include "Platform/Object.h"

namespace vistel {

class UpdateRequest : public Object {
public:
    static constexpr std::size_t MaxAnswerLength = 64 * 1024;
    static constexpr int NotConnectedError = -1009;

    struct Result {
        int status = 0;                // 0, NotConnectedError or 1
        std::string errorText;         // curl's text or the HTTP status line
        std::string answer;            // fetch: the body
        std::string path;              // download: the finished file
        bool ok() const { return status == 0; }
    };
    struct Timeouts {
        double connect = 10;
        double answer = 30;            // fetch: the whole request
        double lowSpeedTime = 30;      // download: below 1 byte/s this long fails
    };
    using Completion = std::function<void(const Result&)>;
    // Called with 0 received when the answer starts, then after each piece with the bytes
    // received so far; `expected` is the announced length, -1 when unknown.
    using Progress = std::function<void(std::int64_t expected, std::int64_t received)>;

    static Ref<UpdateRequest> fetch(const std::string& url, Completion completion);
    static Ref<UpdateRequest> download(const std::string& url, const std::string& folder, Progress progress,
                                       Completion completion);
    void cancel();
    bool isRunning() const;
    // Quitting: cancels every running request.
    static void cancelAll();

    // https, or http to 127.0.0.1; no user name in the address.
    static bool isFetchableURL(const std::string& url);
    // The last "/"-separated part, without leading dots and control characters; "download" when
    // that leaves nothing or more than 255 bytes.
    static std::string safeFileName(std::string_view suggested);
    // The file name a Content-Disposition header value suggests ("" when none).
    static std::string contentDispositionName(std::string_view value);
    // Tests shorten the timeouts; answers the previous ones.
    static Timeouts setTimeouts(Timeouts timeouts);

    ~UpdateRequest() override;

private:
    struct Transfer;
    UpdateRequest() = default;
    void start();
    void run();
    void deliver(Result result);
    void removePartial();
    bool openPartial(Transfer& transfer);
    bool receive(Transfer& transfer, const char* data, std::size_t length);

    std::string url_, folder_;
    bool download_ = false;
    Progress progress_;
    Completion completion_;
    Ref<NSThreadExt> worker_;
    bool finished_ = false;    // main thread
    bool cancelled_ = false;   // main thread
    std::int64_t expected_ = -1; // main thread
    mutable std::mutex partialLock_;
    std::string partialPath_;  // guarded by partialLock_
};

} // namespace vistel
