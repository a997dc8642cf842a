// The program as a second start: run with a relative file name while a server of the same
// identity listens, it hands over the absolute path and exits 0; with nobody answering in time
// it exits 1.

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "Platform/Bundle.h"
#include "Platform/SingleInstance.h"
#include "TestSupport.h"

extern char** environ;

using namespace vistel;

namespace {

// Starts the program in `folder` with $XDG_RUNTIME_DIR = `runtime` and one argument.
pid_t startProgram(const std::string& folder, const std::string& runtime, const std::string& argument)
{
    std::vector<std::string> variables = {"XDG_RUNTIME_DIR=" + runtime};
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind("XDG_RUNTIME_DIR=", 0) != 0)
            variables.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& v : variables)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    std::string program = VISTEL_PROGRAM_PATH;
    std::string arg = argument;
    char* argv[] = {program.data(), arg.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t child = -1;
    if (::posix_spawn(&child, program.c_str(), &actions, nullptr, argv, envp.data()) != 0)
        child = -1;
    posix_spawn_file_actions_destroy(&actions);
    return child;
}

int exitStatus(pid_t child)
{
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(ProgramInstanceTest, ASecondStartHandsOverTheAbsolutePathAndExits)
{
    test::TemporaryFolder runtime;
    ::chmod(runtime.path().c_str(), 0700);
    test::TemporaryFolder work;
    const std::string identifier = Bundle::main()->bundleIdentifier();
    ASSERT_FALSE(identifier.empty());

    SingleInstance server(runtime.path(), identifier);
    ASSERT_TRUE(server.becomeServer());
    std::vector<std::string> received;
    server.serve(RunLoop::current(), [&](const std::vector<std::string>& paths) { received = paths; });

    const pid_t child = startProgram(work.path(), runtime.path(), "pictures/IMG_0001.JPG");
    ASSERT_GT(child, 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (received.empty() && std::chrono::steady_clock::now() < deadline)
        RunLoop::current()->runUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(10));
    EXPECT_EQ(exitStatus(child), 0);
    EXPECT_EQ(received, std::vector<std::string> {work / "pictures/IMG_0001.JPG"});
}

TEST(ProgramInstanceTest, WithoutAnAnswerTheSecondStartExitsOne)
{
    test::TemporaryFolder runtime;
    ::chmod(runtime.path().c_str(), 0700);
    const std::string identifier = Bundle::main()->bundleIdentifier();
    // The lock is held, but nobody serves the socket.
    SingleInstance holder(runtime.path(), identifier);
    ASSERT_TRUE(holder.becomeServer());
    const pid_t child = startProgram(runtime.path(), runtime.path(), "a.jpg");
    ASSERT_GT(child, 0);
    EXPECT_EQ(exitStatus(child), 1);
}
