// The update check: reading the server's answer, the request on its worker, downloads into
// the download folder, the once-a-day launch check. Every request goes to a server on 127.0.0.1.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "Application/UpdateRequest.h"
#include "Application/ZOVUpdater.h"
#include "Common/Strings/NSStringApplicationInfoAddition.h"
#include "Platform/Gui/Workspace.h"
#include "Platform/RunLoop.h"
#include "Platform/UserDefaults.h"
#include "Preferences/Preferences.h"
#include "ShellTestSupport.h"
#include "TestSupport.h"
#include "LoopbackServer.h"

using namespace vistel;
namespace fs = std::filesystem;

namespace {

const bool privateFolders = test::usePrivateShellFolders();
constexpr const char* UpdatePath = "/nr/ClientApp/CFU/getupdate.asp";

// Runs the main loop until `done` holds or 20 s pass; answers `done()`.
bool waitFor(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> folderNames(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(folder, ignored))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The server, the download folder (emptied) and recorded openings for one test.
class UpdateCheck : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(privateFolders);
        ::setenv("VISTEL_SERVER_URL", server.url("").c_str(), 1);
        ::setenv("LANGUAGE", "de:en", 1);
        downloads = downloadsFolder();
        std::error_code ignored;
        fs::remove_all(downloads, ignored);
        previousOpener = Workspace::setOpener([this](const std::string& url) {
            opened.push_back(url);
            return true;
        });
        previousTimeouts = UpdateRequest::setTimeouts({});
    }
    void TearDown() override
    {
        Workspace::setOpener(previousOpener);
        UpdateRequest::setTimeouts(previousTimeouts);
        ::unsetenv("VISTEL_SERVER_URL");
    }

    test::LoopbackServer server;
    std::string downloads;
    std::vector<std::string> opened;
    Workspace::Opener previousOpener;
    UpdateRequest::Timeouts previousTimeouts;
};

// A download run to its end: the progress texts and the result.
struct Download {
    std::vector<std::string> texts;
    UpdateRequest::Result result;
    bool done = false;

    explicit Download(const std::string& url, const std::string& folder)
    {
        UpdateRequest::download(
            url, folder,
            [this](std::int64_t expected, std::int64_t received) {
                texts.push_back(ZOVUpdater::progressText(received, expected));
            },
            [this](const UpdateRequest::Result& r) {
                result = r;
                done = true;
            });
        waitFor([this] { return done; });
    }
};

} // namespace

TEST(UpdateAnswer, ReadsNamesAtLineStarts)
{
    struct Case {
        const char* answer;
        int updates;
        std::optional<std::string> url, text, message;
    };
    const Case cases[] = {
        {"num_updates=2\n", 2, {}, {}, {}},
        {"num_updates=2", -1, {}, {}, {}},
        {"", -1, {}, {}, {}},
        {"num_updates=2.9\nupdate_URL_1=https://example.com/a.pkg\n", 2, "https://example.com/a.pkg", {}, {}},
        {"num_updates=x\n", -1, {}, {}, {}},
        // "message=" inside another value is not the name.
        {"UpdateText=new message=no\nmessage=yes\n", -1, {}, "new message=no", "yes"},
        {"xnum_updates=3\nUpdateText=a\r\n", -1, {}, "a\r", {}},
        // Text that is not UTF-8 gives nothing.
        {"num_updates=1\nUpdateText=\xff\xfe\nmessage=caf\xc3\xa9\n", 1, {}, {}, "caf\xc3\xa9"},
        {"num_updates=1\nupdate_URL_1=\n", 1, {}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        Ref<ZOVUpdater> updater = ZOVUpdater::withAnswer(c.answer);
        EXPECT_EQ(updater->updatesNumber(), c.updates);
        EXPECT_EQ(updater->downloadURL(), c.url);
        EXPECT_EQ(updater->getUpdateStringWithTag("UpdateText="), c.text);
        EXPECT_EQ(updater->getUpdateStringWithTag("message="), c.message);
    }
}

TEST(UpdateAnswer, AnOfferWithoutAddressShowsNothing)
{
    test::ScriptedAlerts alerts;
    ZOVUpdater::withAnswer("num_updates=1\nUpdateText=New\nmessage=Get it\n")->updateManual(true);
    EXPECT_TRUE(alerts.messages.empty());
}

TEST(UpdateRequestRules, AddressesAndFileNames)
{
    EXPECT_TRUE(UpdateRequest::isFetchableURL("https://updates.example.com/setup.pkg"));
    EXPECT_TRUE(UpdateRequest::isFetchableURL("http://127.0.0.1:8080/setup.pkg"));
    for (const char* refused : {"file:///etc/passwd", "http://example.com/setup.pkg", "http://127.0.0.2/x",
                                "ftp://127.0.0.1/x", "https://user@example.com/x", "http://127.0.0.1.example.com/x",
                                "not an address"})
        EXPECT_FALSE(UpdateRequest::isFetchableURL(refused)) << refused;

    const std::pair<std::string, std::string> names[] = {
        {"Setup 2.1.pkg", "Setup 2.1.pkg"}, {"../../.bashrc", "bashrc"}, {"a/b/c.bin", "c.bin"},
        {"...", "download"},                {"", "download"},            {std::string(256, 'x'), "download"},
        {"tab\there", "tabhere"},           {std::string(255, 'y'), std::string(255, 'y')}};
    for (const auto& [suggested, safe] : names)
        EXPECT_EQ(UpdateRequest::safeFileName(suggested), safe) << suggested;

    EXPECT_EQ(UpdateRequest::contentDispositionName("attachment; filename=\"Vistel Setup.pkg\""), "Vistel Setup.pkg");
    EXPECT_EQ(UpdateRequest::contentDispositionName("attachment;filename=a.pkg"), "a.pkg");
    EXPECT_EQ(UpdateRequest::contentDispositionName("inline"), "");
}

TEST_F(UpdateCheck, AsksTheServerWithoutCaches)
{
    server.route(UpdatePath, {200, "OK", {}, "num_updates=2\nupdate_URL_1=" + server.url("/setup.pkg") + "\n"});
    Ref<ZOVUpdater> result;
    bool done = false;
    ZOVUpdater::sharedZOVUpdater([&](Ref<ZOVUpdater> updater) {
        result = updater;
        done = true;
    });
    ASSERT_TRUE(waitFor([&] { return done; }));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->updatesNumber(), 2);
    EXPECT_EQ(result->downloadURL(), server.url("/setup.pkg"));
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, std::string(UpdatePath) + "?pid=0&pkg=1&lang=de&currRev=" +
                                      NSStringApplicationInfoAddition::currentVersion());
    EXPECT_EQ(requests[0].header("Cache-Control"), "no-cache");
    EXPECT_EQ(requests[0].header("Pragma"), "no-cache");
}

TEST_F(UpdateCheck, FailedAnswersGiveNoUpdater)
{
    // 404, an answer over 64 KiB, a closed port.
    server.route(UpdatePath, {200, "OK", {}, std::string(UpdateRequest::MaxAnswerLength + 1, 'a')});
    for (const std::string& base : {server.url("/missing"), server.url(""),
                                    "http://127.0.0.1:" + std::to_string(test::LoopbackServer::closedPort())}) {
        ::setenv("VISTEL_SERVER_URL", base.c_str(), 1);
        bool done = false;
        Ref<ZOVUpdater> result = ZOVUpdater::withAnswer("x");
        ZOVUpdater::sharedZOVUpdater([&](Ref<ZOVUpdater> updater) {
            result = updater;
            done = true;
        });
        ASSERT_TRUE(waitFor([&] { return done; })) << base;
        EXPECT_FALSE(result) << base;
    }
}

TEST_F(UpdateCheck, ClosedPortIsReportedAsNoConnection)
{
    ::setenv("VISTEL_SERVER_URL", ("http://127.0.0.1:" + std::to_string(test::LoopbackServer::closedPort())).c_str(), 1);
    test::ScriptedAlerts alerts;
    ZOVUpdater::checkImmediately();
    ASSERT_TRUE(waitFor([&] { return !alerts.messages.empty(); }));
    EXPECT_EQ(alerts.messages, std::vector<std::string>{"Error communicating with server"});
}

TEST_F(UpdateCheck, UpToDateAndOfferFromTheMenu)
{
    server.route(UpdatePath, {200, "OK", {}, "num_updates=0\n"});
    test::ScriptedAlerts alerts({"OK", "Cancel"});
    ZOVUpdater::checkImmediately();
    ASSERT_TRUE(waitFor([&] { return alerts.messages.size() == 1; }));
    EXPECT_EQ(alerts.messages[0], "You're up to date!");

    server.route(UpdatePath, {200, "OK", {}, "num_updates=1\nUpdateText=Version 9\nmessage=Faster\nupdate_URL_1=" +
                                                 server.url("/setup.pkg") + "\n"});
    ZOVUpdater::checkImmediately();
    ASSERT_TRUE(waitFor([&] { return alerts.messages.size() == 2; }));
    const AlertRecord offer = Alert::answeredAlerts().back();
    EXPECT_EQ(offer.messageText, "Version 9");
    EXPECT_EQ(offer.informativeText, "Faster");
    ASSERT_EQ(offer.buttons.size(), 2u);
    EXPECT_EQ(offer.buttons[0].title, "Update");
    EXPECT_EQ(offer.buttons[1].title, "Cancel");
    EXPECT_EQ(server.requests().size(), 2u); // cancelled: nothing downloaded
}

TEST_F(UpdateCheck, SilentServerFailsWhileTimersRun)
{
    server.route(UpdatePath, {200, "OK", {}, {}, true});
    UpdateRequest::setTimeouts({2, 1, 1});
    int ticks = 0;
    auto timer = RunLoop::main()->scheduleTimer(0.05, true, [&](RunLoop::Timer&) { ++ticks; }, {NSRunLoopCommonModes});
    bool done = false;
    UpdateRequest::Result result;
    UpdateRequest::fetch(server.url(UpdatePath), [&](const UpdateRequest::Result& r) {
        result = r;
        done = true;
    });
    ASSERT_TRUE(waitFor([&] { return done; }));
    timer->invalidate();
    EXPECT_EQ(result.status, UpdateRequest::NotConnectedError);
    EXPECT_GT(ticks, 2);
}

TEST_F(UpdateCheck, DownloadsBesideAnUntouchedFileOfTheSameName)
{
    std::string body(1 << 20, '\0');
    std::mt19937 random(7);
    for (char& c : body)
        c = static_cast<char>(random());
    server.route("/files/setup.pkg", {200, "OK", {}, body});
    fs::create_directories(downloads);
    { std::ofstream(downloads + "/setup.pkg") << "mine"; }

    const Download run(server.url("/files/setup.pkg"), downloads);
    ASSERT_TRUE(run.done);
    const UpdateRequest::Result& result = run.result;
    const std::vector<std::string>& texts = run.texts;
    ASSERT_TRUE(result.ok()) << result.errorText;
    EXPECT_EQ(result.path, downloads + "/setup (2).pkg");
    EXPECT_EQ(readFile(result.path) == body, true);
    EXPECT_EQ(readFile(downloads + "/setup.pkg"), "mine");
    EXPECT_EQ(folderNames(downloads), (std::vector<std::string>{"setup (2).pkg", "setup.pkg"}));
    struct stat info {};
    ASSERT_EQ(::stat(result.path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);

    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts.front(), ZOVUpdater::progressText(0, body.size()));
    EXPECT_EQ(texts.front().rfind("0 of ", 0), 0u);
    EXPECT_EQ(texts.back(), ZOVUpdater::progressText(body.size(), body.size()));
}

// Run by the test below with the umask 077.
TEST_F(UpdateCheck, DISABLED_ADownloadUnderAStrictUmask)
{
    server.route("/files/private.pkg", {200, "OK", {}, "secret"});
    const Download run(server.url("/files/private.pkg"), downloads);
    ASSERT_TRUE(run.done);
    ASSERT_TRUE(run.result.ok()) << run.result.errorText;
    struct stat info {};
    ASSERT_EQ(::stat(run.result.path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(UpdateCheck, ADownloadFollowsTheUmask)
{
    const std::string output = downloads + ".umask-run.txt";
    std::string error;
    const pid_t child = test::spawnTestProcess("UpdateCheck.DISABLED_ADownloadUnderAStrictUmask", output,
                                               {"/bin/sh", "-c", "umask 077 && exec \"$@\"", "sh"}, {}, &error);
    ASSERT_GT(child, 0) << error;
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << readFile(output);
    EXPECT_NE(readFile(output).find("[  PASSED  ] 1 test"), std::string::npos) << readFile(output);
    fs::remove(output);
}

TEST_F(UpdateCheck, TheUpdaterOpensTheDownloadNamedByTheServer)
{
    server.route("/get", {200, "OK", {{"Content-Disposition", "attachment; filename=\"../Vistel Setup.pkg\""}}, "pkg"});
    Ref<ZOVUpdater> updater = ZOVUpdater::withAnswer("num_updates=1\nupdate_URL_1=" + server.url("/get") + "\n");
    test::ScriptedAlerts alerts({"Update Now"});
    updater->updateManual(false);
    ASSERT_TRUE(updater->window());
    EXPECT_TRUE(updater->window()->isVisible());
    ASSERT_TRUE(waitFor([&] { return !opened.empty(); }));
    EXPECT_EQ(opened[0].rfind("file://", 0), 0u);
    EXPECT_NE(opened[0].find("Vistel%20Setup.pkg"), std::string::npos) << opened[0];
    EXPECT_EQ(readFile(downloads + "/Vistel Setup.pkg"), "pkg");
    EXPECT_FALSE(updater->window());
}

TEST_F(UpdateCheck, UnannouncedLengthCompletesWithoutText)
{
    test::LoopbackPeer peer({test::LoopbackServer::Transport::Plain,
                             "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                             "e\r\nno length here\r\n0\r\n\r\n",
                             false});
    const Download run("http://127.0.0.1:" + std::to_string(peer.port()) + "/a.bin", downloads);
    ASSERT_TRUE(run.done);
    const UpdateRequest::Result& result = run.result;
    const std::vector<std::string>& texts = run.texts;
    ASSERT_TRUE(result.ok()) << result.errorText;
    EXPECT_EQ(readFile(downloads + "/a.bin"), "no length here");
    ASSERT_FALSE(texts.empty());
    for (const std::string& text : texts)
        EXPECT_EQ(text, "");
}

TEST_F(UpdateCheck, StopLeavesNoFile)
{
    // The peer announces a megabyte, sends a little and then waits.
    test::LoopbackPeer peer({test::LoopbackServer::Transport::Plain,
                             "HTTP/1.1 200 OK\r\nContent-Length: 1048576\r\n\r\n" + std::string(4096, 'z'), false});
    Ref<ZOVUpdater> updater = ZOVUpdater::withAnswer("");
    updater->startDownloadURL("http://127.0.0.1:" + std::to_string(peer.port()) + "/big.bin");
    const QString text = QString::fromStdString(ZOVUpdater::progressText(4096, 1048576));
    ASSERT_TRUE(waitFor([&] { return updater->window() && updater->downloadInfoTextField()->text() == text; }));
    EXPECT_EQ(updater->progressBar()->maximum(), 1000);
    EXPECT_EQ(updater->progressBar()->value(), 4096 * 1000 / 1048576);
    const std::vector<std::string> partial = folderNames(downloads);
    ASSERT_EQ(partial.size(), 1u);
    EXPECT_EQ(partial[0][0], '.'); // hidden while incomplete
    ASSERT_TRUE(updater->stopButton());
    EXPECT_EQ(updater->stopButton()->text(), "Stop");
    QTest::mouseClick(updater->stopButton(), Qt::LeftButton);
    EXPECT_TRUE(folderNames(downloads).empty());
    EXPECT_FALSE(updater->window());
    EXPECT_FALSE(updater->downloader()->isRunning());
    EXPECT_TRUE(opened.empty());
}

TEST_F(UpdateCheck, RefusedAddressesAreNotFetched)
{
    server.route("/moved", {302, "Found", {{"Location", "file:///etc/passwd"}}, ""});
    for (const std::string& url : {std::string("file:///etc/passwd"), std::string("http://example.invalid/setup.pkg"),
                                   server.url("/moved")}) {
        Ref<ZOVUpdater> updater = ZOVUpdater::withAnswer("");
        test::ScriptedAlerts alerts;
        updater->startDownloadURL(url);
        ASSERT_TRUE(waitFor([&] { return !alerts.messages.empty(); })) << url;
        EXPECT_EQ(alerts.messages[0], "Downloading error") << url;
        EXPECT_NE(Alert::answeredAlerts().back().informativeText.find("Refused address"), std::string::npos);
    }
    EXPECT_EQ(server.requests().size(), 1u); // only the redirect itself
    EXPECT_TRUE(folderNames(downloads).empty());
}

TEST_F(UpdateCheck, HttpErrorsAreDownloadingErrorsWithTheStatusLine)
{
    Ref<ZOVUpdater> updater = ZOVUpdater::withAnswer("");
    test::ScriptedAlerts alerts;
    updater->startDownloadURL(server.url("/gone"));
    ASSERT_TRUE(waitFor([&] { return !alerts.messages.empty(); }));
    EXPECT_EQ(alerts.messages[0], "Downloading error");
    EXPECT_EQ(Alert::answeredAlerts().back().informativeText, "HTTP/1.1 404 Not Found");
    EXPECT_TRUE(folderNames(downloads).empty());
}

TEST_F(UpdateCheck, LaunchCheckRunsOncePerDayWithAnOffer)
{
    Preferences& preferences = Preferences::sharedPreferences();
    preferences.setValue(Value(true), prefs::UpdateAutomatically);
    const long long today = 9000;
    const double now = today * 86400.0 + 3600;
    const std::string offer =
        "num_updates=1\nUpdateText=New\nmessage=Better\nupdate_URL_1=" + server.url("/setup.pkg") + "\n";
    server.route(UpdatePath, {200, "OK", {}, offer});
    server.route("/setup.pkg", {200, "OK", {}, "pkg"});

    // Checked today already: no request.
    preferences.setValue(Value(today), prefs::LastAutomaticUpdateDate);
    EXPECT_FALSE(ZOVUpdater::checkAtLaunch(now));

    // Yesterday: one request; the offer stores today; "Ask Again Later" downloads nothing.
    preferences.setValue(Value(today - 1), prefs::LastAutomaticUpdateDate);
    test::ScriptedAlerts alerts({"Ask Again Later"});
    Ref<UpdateRequest> request = ZOVUpdater::checkAtLaunch(now);
    ASSERT_TRUE(request);
    ASSERT_TRUE(waitFor([&] { return !request->isRunning(); }));
    EXPECT_EQ(alerts.messages, std::vector<std::string>{"New"});
    EXPECT_EQ(Alert::answeredAlerts().back().buttons[0].title, "Update Now");
    EXPECT_EQ(preferences.integerForKey(prefs::LastAutomaticUpdateDate), today);
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_TRUE(folderNames(downloads).empty());

    // No offer: nothing stored, so the next launch asks again.
    server.route(UpdatePath, {200, "OK", {}, "num_updates=0\n"});
    preferences.setValue(Value(today - 1), prefs::LastAutomaticUpdateDate);
    request = ZOVUpdater::checkAtLaunch(now);
    ASSERT_TRUE(request);
    ASSERT_TRUE(waitFor([&] { return !request->isRunning(); }));
    EXPECT_EQ(preferences.integerForKey(prefs::LastAutomaticUpdateDate), today - 1);

    // Switched off: no request.
    preferences.setValue(Value(false), prefs::UpdateAutomatically);
    preferences.setValue(Value(0), prefs::LastAutomaticUpdateDate);
    EXPECT_FALSE(ZOVUpdater::checkAtLaunch(now));
}

TEST_F(UpdateCheck, NoServerMeansNoCheck)
{
    ::setenv("VISTEL_SERVER_URL", "", 1);
    EXPECT_EQ(ZOVUpdater::requestURL(), "");
    bool called = false;
    EXPECT_FALSE(ZOVUpdater::sharedZOVUpdater([&](Ref<ZOVUpdater> updater) {
        called = true;
        EXPECT_FALSE(updater);
    }));
    EXPECT_TRUE(called);
    EXPECT_TRUE(server.requests().empty());
}
