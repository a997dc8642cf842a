// Naming the processes that keep a folder busy: real child processes whose current folder, an
// open file or a mapped file lies in a temporary folder.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "Platform/ProcessesUsingPath.h"
#include "TestSupport.h"

using namespace vistel;

namespace {

enum class Hold { CurrentFolder, OpenFile, MappedFile };

// A child that holds `folder` (or the file "held" in it) the given way under the command name
// "holder", until it is killed. It reports on a pipe once it holds it.
pid_t startHolder(const std::string& folder, Hold hold)
{
    const std::string file = folder + "/held";
    std::ofstream(file) << "something to map";
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::prctl(PR_SET_NAME, "holder");
        bool held = false;
        switch (hold) {
        case Hold::CurrentFolder:
            held = ::chdir(folder.c_str()) == 0;
            break;
        case Hold::OpenFile:
            held = ::open(file.c_str(), O_RDONLY) >= 0;
            break;
        case Hold::MappedFile: {
            const int fd = ::open(file.c_str(), O_RDONLY);
            held = fd >= 0 && ::mmap(nullptr, 16, PROT_READ, MAP_PRIVATE, fd, 0) != MAP_FAILED;
            ::close(fd); // the mapping alone holds it now
            break;
        }
        }
        const char answer = held ? '1' : '0';
        (void)!::write(ready[1], &answer, 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char answer = '0';
    (void)!::read(ready[0], &answer, 1);
    ::close(ready[0]);
    if (answer != '1' && child > 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        return -1;
    }
    return child;
}

void stop(pid_t child)
{
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

} // namespace

TEST(ProcessesUsingPath, NamesTheProcessHoldingTheFolderByItsCommandName)
{
    for (Hold hold : {Hold::CurrentFolder, Hold::OpenFile, Hold::MappedFile}) {
        test::TemporaryFolder folder {"vistel-busy"};
        const pid_t child = startHolder(folder.path(), hold);
        ASSERT_GT(child, 0) << static_cast<int>(hold);
        const std::vector<ProcessUsingPath> users = processesUsingPath(folder.path());
        ASSERT_EQ(users.size(), 1u) << static_cast<int>(hold);
        EXPECT_EQ(users[0].pid, child);
        EXPECT_EQ(users[0].command, "holder");
        EXPECT_EQ(dissentingProcessName(folder.path()), "holder");
        // A folder whose name the held one only begins with is not in use.
        EXPECT_TRUE(processesUsingPath(folder.path().substr(0, folder.path().size() - 1)).empty());
        stop(child);
        EXPECT_TRUE(processesUsingPath(folder.path()).empty());
        EXPECT_EQ(dissentingProcessName(folder.path()), "");
    }
}

TEST(ProcessesUsingPath, TheCallerIsNamedOnlyWhenNobodyElseHoldsTheFolder)
{
    test::TemporaryFolder folder {"vistel-busy"};
    const int own = ::open(folder.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(own, 0);
    char name[17] = {};
    ::prctl(PR_GET_NAME, name);
    EXPECT_EQ(dissentingProcessName(folder.path()), name);

    const pid_t child = startHolder(folder.path(), Hold::CurrentFolder);
    ASSERT_GT(child, 0);
    EXPECT_EQ(processesUsingPath(folder.path()).size(), 2u);
    EXPECT_EQ(dissentingProcessName(folder.path()), "holder");
    stop(child);
    ::close(own);
}

TEST(ProcessesUsingPath, AMissingProcessTableAnswersNobody)
{
    EXPECT_TRUE(processesUsingPath("/", "/nonexistent-proc").empty());
}
