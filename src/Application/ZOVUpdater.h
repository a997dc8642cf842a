#pragma once
// ZOVUpdater: the update check. It asks the update server whether a newer version exists,
// describes an offer in an alert and, with the user's consent, downloads the installer into
// the user's download folder with a progress window ("Update") and opens it.
//
// The server (VISTEL_SERVER_URL: the environment variable, else the build setting; empty: no
// update check at all) answers "<server>/nr/ClientApp/CFU/getupdate.asp?pid=<product>&pkg=1
// &lang=<language>&currRev=<current version>" with lines "name=value\n". The answer is read
// as it came (at most 64 KiB); a name counts only at the start of a line.
//
// Each request makes a new updater: sharedZOVUpdater() starts the fetch on a worker
// (UpdateRequest) and calls its completion on the main thread with the updater, or null when
// the answer could not be fetched. The launch check (checkAtLaunch) runs at most once a day
// while no offer was seen; the menu command (checkImmediately) always asks.
//
// Threads: main thread only. An updater stays alive while its alert, download or window is
// up; quitting cancels every request at once (UpdateRequest::cancelAll) and removes a partial
// download.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Application/UpdateRequest.h"
#include "Platform/Object.h"
#include "ZovClass.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

namespace vistel {

class ZOVUpdater : public Object {
public:
    ZOV_ROOT_CLASS(ZOVUpdater)
    using Completion = std::function<void(Ref<ZOVUpdater>)>;

    // The server's address, "" when there is none.
    static std::string serverURL();
    // The product number sent as "pid".
    static int productNumber();
    // The address asked, or "" without a server.
    static std::string requestURL();

    // Fetches the update information; `completion` gets the updater or null. Without a server
    // the completion gets null at once. Answers the running request (null without a server).
    static Ref<UpdateRequest> sharedZOVUpdater(Completion completion);
    // An updater over an answer already received (tests, and the fetch's completion).
    static Ref<ZOVUpdater> withAnswer(std::string answer);

    // At launch: when "UpdatePanel.AutomaticallyUpdate" is on and the last day an offer was
    // seen is before today (days since 1 January 2001 GMT at `absoluteTime`), asks the server;
    // an offer stores today and is shown with "Update Now" / "Ask Again Later". Answers the
    // request, or null when none was made.
    static Ref<UpdateRequest> checkAtLaunch(double absoluteTime);
    // The menu command: asks the server and says what it found.
    static void checkImmediately();
    // Seconds since 1 January 2001 00:00 GMT.
    static double currentAbsoluteTime();

    // -1 when there is no answer, no "num_updates=" or no line feed after it.
    int updatesNumber() const;
    // The text after "update_URL_1=", when it names an address.
    std::optional<std::string> downloadURL() const;
    // The text between the name (at a line start) and the next line feed; nullopt when either
    // is missing, there is no answer, or the text is not UTF-8.
    std::optional<std::string> getUpdateStringWithTag(std::string_view tag) const;
    // The same read as a decimal integer (truncated); -1 when missing.
    long long getUpdateIntWithTag(std::string_view tag) const;

    // Offers the update in an alert ("Update"/"Cancel" when asked for by the user, "Update Now"
    // /"Ask Again Later" at launch); the first button starts the download. Nothing without a
    // download address.
    void updateManual(bool byUser);
    // Starts the download (once) and shows the "Update" window.
    void startDownloadURL(const std::string& url);
    // Stops the download (its partial file goes) and closes the window.
    void stopDownloading();

    // The progress text for the bytes so far ("" when the length is unknown): "%@ of %@".
    static std::string progressText(std::int64_t received, std::int64_t expected);
    // The "Update" window, while it exists (tests).
    QWidget* window() const;
    QProgressBar* progressBar() const { return progressBar_; }
    QLabel* downloadInfoTextField() const { return downloadInfoTextField_; }
    QPushButton* stopButton() const { return stopButton_; }
    UpdateRequest* downloader() const { return downloader_.get(); }

    ~ZOVUpdater() override;

private:
    ZOVUpdater() = default;
    void loadWindow();
    void closeWindow();
    void downloadProgress(std::int64_t expected, std::int64_t received);
    void downloadFinished(const UpdateRequest::Result& result);

    std::optional<std::string> updateInfo_;
    Ref<UpdateRequest> downloader_;
    std::int64_t expectedLength_ = -1;
    std::int64_t receivedLength_ = 0;
    std::unique_ptr<QWidget> window_;
    QProgressBar* progressBar_ = nullptr;
    QLabel* downloadInfoTextField_ = nullptr;
    QPushButton* stopButton_ = nullptr;
};

} // namespace vistel
