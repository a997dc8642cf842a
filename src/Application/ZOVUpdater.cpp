#include "Application/ZOVUpdater.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

#include <chrono>
#include <cstdlib>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <vector>

#include "Common/Strings/NSStringApplicationInfoAddition.h"
#include "Common/Strings/NSStringFileSystemAddition.h"
#include "Platform/Bundle.h"
#include "Platform/Formatter.h"
#include "Platform/Gui/Alert.h"
#include "Platform/Gui/Workspace.h"
#include "Platform/Log.h"
#include "Platform/UserDefaults.h"
#include "Preferences/Preferences.h"
#include "ZovTranslatorManager.h"

#ifndef VISTEL_SERVER_URL
#define VISTEL_SERVER_URL ""
#endif
#ifndef VISTEL_PRODUCT_NUMBER
#define VISTEL_PRODUCT_NUMBER 0
#endif

namespace vistel {

namespace {

// Updaters whose alert, download or window is up.
std::vector<Ref<ZOVUpdater>>& busyUpdaters()
{
    static std::vector<Ref<ZOVUpdater>> updaters;
    return updaters;
}

void setBusy(ZOVUpdater* updater, bool busy)
{
    auto& updaters = busyUpdaters();
    const auto found = std::find_if(updaters.begin(), updaters.end(), [&](const auto& u) { return u.get() == updater; });
    if (busy && found == updaters.end())
        updaters.emplace_back(updater);
    else if (!busy && found != updaters.end())
        updaters.erase(found);
}

bool isValidUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t code = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            length = 2, code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3, code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4, code = c & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

std::string languageCode()
{
    const std::vector<std::string> languages = Bundle::preferredLanguages();
    std::string language = languages.empty() ? "en" : languages.front();
    if (const std::size_t cut = language.find_first_of("-_.@"); cut != std::string::npos)
        language.resize(cut);
    return language.empty() ? "en" : language;
}

void communicationErrorAlert()
{
    auto alert = Alert::alertWithMessageText(ZOV_TRANSLATE_AS(ZOVUpdater::staticZovClass(), "Error communicating with server", "updater"),
                                             std::nullopt, std::nullopt, std::nullopt,
                                             ZOV_TRANSLATE_AS(ZOVUpdater::staticZovClass(), "Please check your internet connection and try again", "updater"));
    alert->setAlertStyle(AlertStyle::Critical);
    alert->runModal();
}

} // namespace

ZOVUpdater::~ZOVUpdater()
{
    if (downloader_)
        downloader_->cancel();
}

std::string ZOVUpdater::serverURL()
{
    if (const char* server = std::getenv("VISTEL_SERVER_URL"))
        return server;
    return VISTEL_SERVER_URL;
}

int ZOVUpdater::productNumber()
{
    return VISTEL_PRODUCT_NUMBER;
}

std::string ZOVUpdater::requestURL()
{
    std::string server = serverURL();
    if (server.empty())
        return {};
    while (!server.empty() && server.back() == '/')
        server.pop_back();
    return server + "/nr/ClientApp/CFU/getupdate.asp?pid=" + std::to_string(productNumber()) +
           "&pkg=1&lang=" + languageCode() + "&currRev=" + NSStringApplicationInfoAddition::currentVersion();
}

Ref<ZOVUpdater> ZOVUpdater::withAnswer(std::string answer)
{
    Ref<ZOVUpdater> updater = Ref<ZOVUpdater>::adopt(new ZOVUpdater);
    if (!answer.empty())
        updater->updateInfo_ = std::move(answer);
    return updater;
}

Ref<UpdateRequest> ZOVUpdater::sharedZOVUpdater(Completion completion)
{
    const std::string url = requestURL();
    if (url.empty()) {
        completion(nullptr);
        return nullptr;
    }
    return UpdateRequest::fetch(url, [completion = std::move(completion)](const UpdateRequest::Result& result) {
        if (!result.ok()) {
            ZovLog("ZOVUpdater::sharedZOVUpdater " + result.errorText);
            completion(nullptr);
            return;
        }
        completion(withAnswer(result.answer));
    });
}

double ZOVUpdater::currentAbsoluteTime()
{
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count() - 978307200.0;
}

Ref<UpdateRequest> ZOVUpdater::checkAtLaunch(double absoluteTime)
{
    Preferences& preferences = Preferences::sharedPreferences();
    const auto today = static_cast<std::int64_t>(absoluteTime / 86400);
    const std::int64_t last = preferences.integerForKey(prefs::LastAutomaticUpdateDate);
    if (!preferences.boolForKey(prefs::UpdateAutomatically) || (last != 0 && last >= today))
        return nullptr;
    return sharedZOVUpdater([today](Ref<ZOVUpdater> updater) {
        if (!updater || updater->updatesNumber() <= 0)
            return;
        Preferences::sharedPreferences().setValue(Value(static_cast<long long>(today)),
                                                  prefs::LastAutomaticUpdateDate);
        updater->updateManual(false);
    });
}

void ZOVUpdater::checkImmediately()
{
    sharedZOVUpdater([](Ref<ZOVUpdater> updater) {
        if (!updater) {
            communicationErrorAlert();
            return;
        }
        if (updater->updatesNumber() <= 0) {
            const Ref<Bundle> bundle = Bundle::main();
            auto alert = Alert::alertWithMessageText(
                ZOV_TRANSLATE_AS(ZOVUpdater::staticZovClass(), "You're up to date!", "updater"), std::nullopt, std::nullopt, std::nullopt,
                format(ZOV_TRANSLATE_AS(ZOVUpdater::staticZovClass(), "%@ %@ is currently the newest version available.", "updater"),
                       bundle->infoDictionary().get("CFBundleName").toString(),
                       NSStringApplicationInfoAddition::fullVersion(*bundle)));
            alert->runModal();
            return;
        }
        updater->updateManual(true);
    });
}

std::optional<std::string> ZOVUpdater::getUpdateStringWithTag(std::string_view tag) const
{
    if (!updateInfo_ || tag.empty())
        return std::nullopt;
    const std::string& answer = *updateInfo_;
    for (std::size_t at = 0; at < answer.size();) {
        const std::size_t lineEnd = answer.find('\n', at);
        if (answer.compare(at, tag.size(), tag) == 0) {
            if (lineEnd == std::string::npos)
                return std::nullopt;
            std::string value = answer.substr(at + tag.size(), lineEnd - at - tag.size());
            if (!isValidUtf8(value))
                return std::nullopt;
            return value;
        }
        if (lineEnd == std::string::npos)
            break;
        at = lineEnd + 1;
    }
    return std::nullopt;
}

long long ZOVUpdater::getUpdateIntWithTag(std::string_view tag) const
{
    const std::optional<std::string> text = getUpdateStringWithTag(tag);
    if (!text)
        return -1;
    // A decimal number, truncated: "2.7" reads 2; leading blanks and a sign are allowed.
    const char* begin = text->c_str();
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(begin, &end);
    if (end == begin || errno == ERANGE || value != value)
        return -1;
    if (value >= 9.2e18 || value <= -9.2e18)
        return -1;
    return static_cast<long long>(value);
}

int ZOVUpdater::updatesNumber() const
{
    const long long number = getUpdateIntWithTag("num_updates=");
    if (number > INT32_MAX || number < INT32_MIN)
        return -1;
    return static_cast<int>(number);
}

std::optional<std::string> ZOVUpdater::downloadURL() const
{
    std::optional<std::string> url = getUpdateStringWithTag("update_URL_1=");
    if (url && !url->empty() && url->back() == '\r')
        url->pop_back();
    if (!url || url->empty())
        return std::nullopt;
    return url;
}

void ZOVUpdater::updateManual(bool byUser)
{
    const std::optional<std::string> url = downloadURL();
    if (!url)
        return;
    Ref<ZOVUpdater> self(this);
    auto alert = Alert::alertWithMessageText(
        getUpdateStringWithTag("UpdateText=").value_or(""),
        byUser ? ZOV_TRANSLATE_AS(ZOVUpdater::staticZovClass(), "Update", "updater") : ZOV_TRANSLATE_AS(ZOVUpdater::staticZovClass(), "Update Now", "updater"),
        byUser ? ZOV_TRANSLATE_AS(ZOVUpdater::staticZovClass(), "Cancel", "updater") : ZOV_TRANSLATE_AS(ZOVUpdater::staticZovClass(), "Ask Again Later", "updater"),
        std::nullopt, getUpdateStringWithTag("message=").value_or(""));
    alert->setAlertStyle(AlertStyle::Informational);
    if (alert->runModal() == NSAlertDefaultReturn)
        startDownloadURL(*url);
}

void ZOVUpdater::startDownloadURL(const std::string& url)
{
    if (downloader_ || url.empty())
        return;
    Ref<ZOVUpdater> self(this);
    setBusy(this, true);
    downloader_ = UpdateRequest::download(
        url, downloadsFolder(),
        [self](std::int64_t expected, std::int64_t received) { self->downloadProgress(expected, received); },
        [self](const UpdateRequest::Result& result) { self->downloadFinished(result); });
    loadWindow();
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void ZOVUpdater::stopDownloading()
{
    Ref<ZOVUpdater> self(this);
    if (downloader_)
        downloader_->cancel();
    closeWindow();
    setBusy(this, false);
}

std::string ZOVUpdater::progressText(std::int64_t received, std::int64_t expected)
{
    if (expected <= 0)
        return {};
    const std::string total = NSStringFileSystemAddition::stringWithFileSize(expected);
    if (received <= 0)
        return format(ZOV_TRANSLATE_AS(ZOVUpdater::staticZovClass(), "0 of %@", "updater"), total);
    return format(ZOV_TRANSLATE_AS(ZOVUpdater::staticZovClass(), "%@ of %@", "updater"), NSStringFileSystemAddition::stringWithFileSize(received),
                  total);
}

void ZOVUpdater::downloadProgress(std::int64_t expected, std::int64_t received)
{
    expectedLength_ = expected;
    receivedLength_ = received;
    if (expected <= 0 || !window_)
        return;
    // The bar runs over 0..1000 so that sizes beyond 2 GiB still fit its int range.
    const double fraction = std::min(1.0, static_cast<double>(received) / static_cast<double>(expected));
    progressBar_->setRange(0, 1000);
    progressBar_->setValue(static_cast<int>(fraction * 1000));
    downloadInfoTextField_->setText(QString::fromStdString(progressText(received, expected)));
}

void ZOVUpdater::downloadFinished(const UpdateRequest::Result& result)
{
    Ref<ZOVUpdater> self(this);
    if (result.ok()) {
        closeWindow();
        setBusy(this, false);
        Workspace::openFile(result.path);
        return;
    }
    stopDownloading();
    ZovLog("ZOVUpdater download " + result.errorText);
    const bool notConnected = result.status == UpdateRequest::NotConnectedError;
    auto alert = Alert::alertWithMessageText(
        notConnected ? ZOV_TRANSLATE_AS(ZOVUpdater::staticZovClass(), "Error communicating with server", "updater")
                     : ZOV_TRANSLATE_AS(ZOVUpdater::staticZovClass(), "Downloading error", "updater"),
        std::nullopt, std::nullopt, std::nullopt,
        notConnected ? ZOV_TRANSLATE_AS(ZOVUpdater::staticZovClass(), "Please check your internet connection and try again", "updater")
                     : result.errorText);
    alert->setAlertStyle(AlertStyle::Critical);
    alert->runModal();
}

QWidget* ZOVUpdater::window() const
{
    return window_.get();
}

void ZOVUpdater::loadWindow()
{
    if (window_)
        return;
    window_ = std::make_unique<QWidget>(nullptr, Qt::Dialog);
    window_->setWindowTitle(QString::fromStdString(ZOV_TRANSLATE_AS(ZOVUpdater::staticZovClass(), "Update", "updater")));
    window_->setObjectName("Update");
    auto* layout = new QVBoxLayout(window_.get());
    progressBar_ = new QProgressBar;
    progressBar_->setRange(0, 0); // busy until the length is known
    progressBar_->setTextVisible(false);
    progressBar_->setMinimumWidth(360);
    downloadInfoTextField_ = new QLabel;
    stopButton_ = new QPushButton(QString::fromStdString(ZOV_TRANSLATE_AS(ZOVUpdater::staticZovClass(), "Stop", "updater")));
    auto* row = new QHBoxLayout;
    row->addWidget(downloadInfoTextField_, 1);
    row->addWidget(stopButton_);
    layout->addWidget(progressBar_);
    layout->addLayout(row);
    QObject::connect(stopButton_, &QPushButton::clicked, [this] { stopDownloading(); });
    window_->adjustSize();
    if (const QScreen* screen = window_->screen())
        window_->move(screen->availableGeometry().center() - window_->rect().center());
}

void ZOVUpdater::closeWindow()
{
    if (!window_)
        return;
    window_->hide();
    // Deleted later: this may run inside the Stop button's own click.
    window_.release()->deleteLater();
    progressBar_ = nullptr;
    downloadInfoTextField_ = nullptr;
    stopButton_ = nullptr;
}

} // namespace vistel
