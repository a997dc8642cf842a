#pragma once
// Small helpers shared by the tests.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <cstring>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <stdlib.h>
#include <unistd.h>

extern char** environ;

namespace vistel::test {

// Stress and soak scenarios run small by default (CI) and at full size when VISTEL_FULL_SIZE=1
// (scripts/stress). Pick sizes with scaled(small, full).
inline bool fullSizeRun()
{
    const char* value = std::getenv("VISTEL_FULL_SIZE");
    return value && std::string(value) == "1";
}

template <class T>
T scaled(T small, T full)
{
    return fullSizeRun() ? full : small;
}

// A text as one word for /bin/sh.
inline std::string shellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// What a shell command writes to its standard output, trailing newlines removed.
inline std::string commandOutput(const std::string& command)
{
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe))
            output += buffer;
        ::pclose(pipe);
    }
    while (!output.empty() && output.back() == '\n')
        output.pop_back();
    return output;
}

// Starts this test binary again, running only the tests `filter` names (disabled ones
// included), its output going to `outputFile`. `wrapper` comes before the binary on the
// command line (setpriv and its options); `environment` adds "NAME=value" entries. Answers the
// child's pid, or -1 with the reason in `error`.
inline pid_t spawnTestProcess(const std::string& filter, const std::string& outputFile,
                              const std::vector<std::string>& wrapper = {},
                              const std::vector<std::string>& environment = {}, std::string* error = nullptr)
{
    std::string self(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", self.data(), self.size());
    if (length <= 0) {
        if (error)
            *error = "cannot read /proc/self/exe";
        return -1;
    }
    self.resize(std::size_t(length));

    std::vector<std::string> variables = environment;
    for (char** e = environ; *e; ++e)
        variables.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& e : variables)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    std::vector<std::string> args = wrapper;
    for (std::string a : {self, "--gtest_filter=" + filter, std::string("--gtest_also_run_disabled_tests"),
                          std::string("--gtest_color=no")})
        args.push_back(a);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t child = 0;
    const int spawned = ::posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        if (error)
            *error = std::string("posix_spawn: ") + std::strerror(spawned);
        return -1;
    }
    return child;
}

// Runs the tests `filter` names in this binary again under xvfb-run (a 640x480x24 screen, Qt's
// xcb platform), its output going to `outputFile`, and waits at most `timeoutMs` for it (killed
// after that). `exitedZero` tells whether it ended by itself with status 0; `output` is what it
// printed (or why it could not start).
struct XvfbTestRun {
    bool exitedZero = false;
    std::string output;
};
inline XvfbTestRun runTestUnderXvfb(const std::string& filter, const std::string& outputFile, int timeoutMs = 60000)
{
    XvfbTestRun run;
    const pid_t child = spawnTestProcess(
        filter, outputFile, {"/usr/bin/xvfb-run", "-a", "-s", "-screen 0 640x480x24", "/usr/bin/env", "QT_QPA_PLATFORM=xcb"},
        {}, &run.output);
    if (child <= 0)
        return run;
    int status = 0;
    pid_t done = 0;
    for (int waited = 0; (done = ::waitpid(child, &status, WNOHANG)) == 0 && waited < timeoutMs; waited += 20)
        ::usleep(20000);
    if (done == 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
    }
    std::ifstream in(outputFile);
    std::stringstream text;
    text << in.rdbuf();
    run.output = text.str();
    run.exitedZero = done == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

// A fresh folder under the temporary folder, removed with everything in it.
class TemporaryFolder {
public:
    explicit TemporaryFolder(const std::string& prefix = "vistel-test")
    {
        std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TemporaryFolder()
    {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// CI=true: the continuous-integration run, as root on a machine prepared by scripts/deps.
inline bool ciRun()
{
    const char* value = std::getenv("CI");
    return value && std::string(value) == "true";
}

// What a test that cannot run here does: skip, or fail under CI=true, where every privilege,
// file system, locale and tool the tests ask for is present, so a skip there would hide a test
// that never ran.
inline ::testing::TestPartResult::Type unavailableOutcome()
{
    return ciRun() ? ::testing::TestPartResult::kFatalFailure : ::testing::TestPartResult::kSkip;
}

} // namespace vistel::test

// For a test that needs a privilege, a second file system, a locale or an installed tool:
//     if (!volume.mounted())
//         VISTEL_SKIP_UNAVAILABLE() << "cannot mount a tmpfs here";
// Skips like GTEST_SKIP(), except under CI=true, where it fails. Leaves the test at once.
#define VISTEL_SKIP_UNAVAILABLE()                                                                     \
    return GTEST_MESSAGE_AT_(__FILE__, __LINE__, ::vistel::test::ciRun() ? "Needed under CI=true" : "", \
                             ::vistel::test::unavailableOutcome())
