// Single instance: one server per folder and name, files handed over by later starts,
// a killed server replaced by the next start, and the termination signals as loop events.

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <thread>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <algorithm>
#include <cstring>

#include <sys/wait.h>
#include <unistd.h>

#include "Platform/FilePaths.h"
#include "Platform/SingleInstance.h"
#include "Platform/TerminationSignals.h"
#include "TestSupport.h"

using namespace vistel;
using namespace std::chrono_literals;

namespace {

constexpr const char* Name = "com.example.single";

// Runs the calling thread's loop until `done` or two seconds pass.
template <class Predicate>
bool runLoopUntil(Predicate done)
{
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (!done() && std::chrono::steady_clock::now() < deadline)
        RunLoop::current()->runUntil(std::chrono::steady_clock::now() + 10ms);
    return done();
}

const char* childFolder() { return std::getenv("VISTEL_TEST_SINGLE_FOLDER"); }

} // namespace

TEST(SingleInstanceTest, TheServerGetsTheAbsolutePathsOfAClientStartedWithRelativeOnes)
{
    test::TemporaryFolder folder;
    SingleInstance server(folder.path(), Name);
    ASSERT_TRUE(server.becomeServer());
    std::vector<std::vector<std::string>> requests;
    server.serve(RunLoop::current(), [&](const std::vector<std::string>& paths) { requests.push_back(paths); });

    // A second start in another process, from another current folder.
    const std::string output = folder / "child.txt";
    pid_t child = test::spawnTestProcess("SingleInstanceTest.DISABLED_ClientSendsRelativePath", output, {},
                                         {"VISTEL_TEST_SINGLE_FOLDER=" + folder.path()});
    ASSERT_GT(child, 0);
    ASSERT_TRUE(runLoopUntil([&] { return !requests.empty(); }));
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(requests.size(), 1u);
    ASSERT_EQ(requests[0].size(), 2u);
    EXPECT_EQ(requests[0][0], folder.path() + "/pictures/IMG_0001.JPG");
    EXPECT_EQ(requests[0][1], "/already/absolute.png");

    // A start without files asks the server to show itself: an empty list.
    SingleInstance client(folder.path(), Name);
    EXPECT_FALSE(client.becomeServer());
    std::thread sender([&] { EXPECT_TRUE(client.sendToServer({}, 2.0)); });
    EXPECT_TRUE(runLoopUntil([&] { return requests.size() == 2; }));
    sender.join();
    EXPECT_TRUE(requests.back().empty());
}

TEST(SingleInstanceTest, DISABLED_ClientSendsRelativePath)
{
    ASSERT_NE(childFolder(), nullptr);
    ASSERT_EQ(::chdir(childFolder()), 0);
    SingleInstance client(childFolder(), Name);
    ASSERT_FALSE(client.becomeServer());
    ASSERT_TRUE(client.sendToServer({"pictures/IMG_0001.JPG", "/already/absolute.png"}));
}

TEST(SingleInstanceTest, AfterAKilledServerTheNextStartServes)
{
    test::TemporaryFolder folder;
    const std::string output = folder / "server.txt";
    pid_t child = test::spawnTestProcess("SingleInstanceTest.DISABLED_ServeForever", output, {},
                                         {"VISTEL_TEST_SINGLE_FOLDER=" + folder.path()});
    ASSERT_GT(child, 0);
    SingleInstance second(folder.path(), Name);
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (::access((folder / (std::string(Name) + ".socket")).c_str(), F_OK) != 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(second.becomeServer());
    EXPECT_TRUE(second.sendToServer({"/a"}, 2.0));

    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    // The socket file is still there, but nobody holds the lock.
    EXPECT_TRUE(second.becomeServer());
    std::vector<std::string> got;
    second.serve(RunLoop::current(), [&](const std::vector<std::string>& paths) { got = paths; });
    SingleInstance third(folder.path(), Name);
    std::thread sender([&] { EXPECT_TRUE(third.sendToServer({"/b"}, 2.0)); });
    EXPECT_TRUE(runLoopUntil([&] { return !got.empty(); }));
    sender.join();
    EXPECT_EQ(got, std::vector<std::string> {"/b"});
}

TEST(SingleInstanceTest, DISABLED_ServeForever)
{
    SingleInstance server(childFolder(), Name);
    ASSERT_TRUE(server.becomeServer());
    server.serve(RunLoop::current(), [](const std::vector<std::string>&) { });
    RunLoop::current()->runUntil(std::chrono::steady_clock::now() + 60s);
}

TEST(SingleInstanceTest, TwoStartsAtOnceGiveOneServer)
{
    test::TemporaryFolder folder;
    constexpr int Starts = 6;
    std::vector<pid_t> children;
    for (int i = 0; i < Starts; ++i) {
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            SingleInstance instance(folder.path(), Name);
            bool server = instance.becomeServer();
            if (server)
                ::usleep(300000); // hold the lock while the others try
            ::_exit(server ? 10 : 20);
        }
        children.push_back(child);
    }
    int servers = 0;
    for (pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        servers += WEXITSTATUS(status) == 10;
    }
    EXPECT_EQ(servers, 1);
}

TEST(SingleInstanceTest, UnreadableAndOversizedRequestsAreDroppedUnanswered)
{
    test::TemporaryFolder folder;
    SingleInstance server(folder.path(), Name);
    ASSERT_TRUE(server.becomeServer());
    int handled = 0;
    server.serve(RunLoop::current(), [&](const std::vector<std::string>&) { ++handled; });
    struct Case {
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {"not a property list"},
        {"<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>relative</string></array></plist>"},
        {"<?xml version=\"1.0\"?><plist version=\"1.0\"><dict/></plist>"},
        {std::string(SingleInstance::MaximumRequestBytes + 10, 'x')},
    };
    for (const Case& c : cases) {
        int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, server.socketPath().c_str());
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        std::thread writer([&] {
            std::size_t sent = 0;
            while (sent < c.bytes.size()) {
                ssize_t n = ::send(fd, c.bytes.data() + sent, c.bytes.size() - sent, MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                sent += std::size_t(n);
            }
            ::shutdown(fd, SHUT_WR);
        });
        char answer = 0;
        bool closed = runLoopUntil([&] {
            pollfd watch {fd, POLLIN, 0};
            return ::poll(&watch, 1, 0) > 0;
        });
        writer.join();
        EXPECT_TRUE(closed);
        EXPECT_LE(::read(fd, &answer, 1), 0) << c.bytes.substr(0, 40);
        ::close(fd);
    }
    EXPECT_EQ(handled, 0);
}

TEST(TerminationSignalsTest, SigtermArrivesAsALoopEvent)
{
    TerminationSignals::block();
    TerminationSignals signals;
    std::vector<int> received;
    ASSERT_TRUE(signals.watch(RunLoop::current(), [&](int signal) { received.push_back(signal); }));
    ::kill(::getpid(), SIGTERM);
    ::kill(::getpid(), SIGINT);
    EXPECT_TRUE(runLoopUntil([&] { return received.size() == 2; }));
    std::sort(received.begin(), received.end());
    EXPECT_EQ(received, (std::vector<int> {SIGINT, SIGTERM}));
}
