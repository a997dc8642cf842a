// libVorm, tested from outside: the built library is dlopen'ed (RTLD_LOCAL) and its exports are
// compared with the C library's own memcpy, taken from libc.so.6 with dlopen. Scenarios that must
// crash, park a thread in a signal handler, drop privileges or start from a fresh process run in
// vorm_probe, a plain program without sanitizers.

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using CopyFunction = void* (*)(void*, const void*, size_t);
using SwitchFunction = int (*)(unsigned int);

struct Vorm {
    CopyFunction memcpy = nullptr;
    CopyFunction underscoreMemcpy = nullptr;
    SwitchFunction setMemoryProtection = nullptr;
    CopyFunction systemMemcpy = nullptr;
};

const Vorm& vorm()
{
    static const Vorm loaded = [] {
        Vorm v;
        void* library = dlopen(VORM_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr)
            return v;
        v.memcpy = reinterpret_cast<CopyFunction>(dlsym(library, "memcpy"));
        v.underscoreMemcpy = reinterpret_cast<CopyFunction>(dlsym(library, "_memcpy"));
        v.setMemoryProtection = reinterpret_cast<SwitchFunction>(dlsym(library, "set_memory_protection"));
        void* libc = dlopen("libc.so.6", RTLD_NOW | RTLD_LOCAL);
        if (libc != nullptr)
            v.systemMemcpy = reinterpret_cast<CopyFunction>(dlsym(libc, "memcpy"));
        return v;
    }();
    return loaded;
}

size_t pageSize()
{
    return static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

long lockedKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmLck:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// Pages from mmap, unmapped again at the end of the test.
class Pages {
public:
    Pages(size_t count, int protection)
        : m_length(count * pageSize())
    {
        void* p = mmap(nullptr, m_length, protection, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        m_bytes = p == MAP_FAILED ? nullptr : static_cast<unsigned char*>(p);
    }
    ~Pages()
    {
        if (m_bytes != nullptr && m_length > 0)
            munmap(m_bytes, m_length);
    }
    Pages(const Pages&) = delete;
    Pages& operator=(const Pages&) = delete;

    unsigned char* bytes() const { return m_bytes; }
    size_t length() const { return m_length; }

    // Unmaps the last pages, leaving a hole after the ones kept.
    bool unmapTail(size_t count)
    {
        const size_t length = count * pageSize();
        if (m_bytes == nullptr || length > m_length || munmap(m_bytes + m_length - length, length) != 0)
            return false;
        m_length -= length;
        return true;
    }

private:
    unsigned char* m_bytes = nullptr;
    size_t m_length;
};

// Whether mlock in this process really locks: sanitizer runtimes replace mlock and munlock with
// no-ops, and libVorm calls whatever mlock the process has.
bool mlockLocks()
{
    Pages page(1, PROT_READ | PROT_WRITE);
    const long before = lockedKiB();
    if (page.bytes() == nullptr || mlock(page.bytes(), page.length()) != 0)
        return false;
    const bool locked = lockedKiB() > before;
    munlock(page.bytes(), page.length());
    return locked;
}

// Whether this process may lock the range now. Without CAP_IPC_LOCK, RLIMIT_MEMLOCK bounds what
// a protected copy can lock, and beyond it the copy gives zeros.
bool mayLock(const void* bytes, size_t length)
{
    if (mlock(bytes, length) != 0)
        return false;
    munlock(bytes, length);
    return true;
}

bool allZero(const unsigned char* bytes, size_t length)
{
    return std::all_of(bytes, bytes + length, [](unsigned char b) { return b == 0; });
}

struct ProcessResult {
    bool exited = false;
    int status = -1; // exit status, or the signal that ended it
    std::string output;
};

// Runs a program with the given arguments and extra environment, collecting stdout and stderr.
ProcessResult run(const std::vector<std::string>& arguments, const std::vector<std::string>& environment = {})
{
    ProcessResult result;
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);

    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> environmentCopy = environment;
    for (char** e = environ; *e != nullptr; ++e)
        environmentCopy.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& entry : environmentCopy)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (spawned == 0) {
        char buffer[4096];
        ssize_t n;
        while ((n = read(pipeEnds[0], buffer, sizeof buffer)) > 0)
            result.output.append(buffer, static_cast<size_t>(n));
        int status = 0;
        waitpid(pid, &status, 0);
        result.exited = WIFEXITED(status);
        result.status = result.exited ? WEXITSTATUS(status) : (WIFSIGNALED(status) ? WTERMSIG(status) : -1);
    } else {
        result.output = std::string("cannot start ") + argv[0] + ": " + std::strerror(spawned);
    }
    close(pipeEnds[0]);
    return result;
}

ProcessResult probe(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), {VORM_PROBE_PATH, VORM_LIBRARY_PATH});
    return run(arguments);
}

std::string shellOutput(const std::string& command)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return output;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    pclose(pipe);
    return output;
}

class VormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(vorm().memcpy, nullptr) << "cannot load " << VORM_LIBRARY_PATH << ": " << dlerror();
        ASSERT_NE(vorm().underscoreMemcpy, nullptr);
        ASSERT_NE(vorm().setMemoryProtection, nullptr);
        ASSERT_NE(vorm().systemMemcpy, nullptr);
    }
    void TearDown() override
    {
        if (vorm().setMemoryProtection != nullptr)
            vorm().setMemoryProtection(0);
    }
};

// ---- the built library ----

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream stream(text);
    std::string line;
    while (std::getline(stream, line))
        result.push_back(line);
    return result;
}

TEST(VormLibraryTest, ExportsExactlyTheThreeFunctions)
{
    std::set<std::string> defined;
    for (const std::string& line : lines(shellOutput("readelf --dyn-syms -W '" VORM_LIBRARY_PATH "'"))) {
        std::istringstream fields(line);
        std::string num, value, size, type, bind, visibility, index, name;
        if (!(fields >> num >> value >> size >> type >> bind >> visibility >> index >> name))
            continue;
        if (num.back() == ':' && index != "UND" && index != "Ndx")
            defined.insert(name.substr(0, name.find('@')));
    }
    EXPECT_EQ(defined, (std::set<std::string>{"memcpy", "_memcpy", "set_memory_protection"}));
}

// A call to memcpy or memset by name from inside the library would bind to its own memcpy and
// recurse; fortified builds would add __memcpy_chk. No relocation may name them.
TEST(VormLibraryTest, NeverCallsMemcpyOrMemsetByName)
{
    const std::string relocations = shellOutput("readelf -r -W '" VORM_LIBRARY_PATH "'");
    ASSERT_NE(relocations.find("mlock"), std::string::npos) << relocations; // the listing is complete
    for (const std::string& line : lines(relocations)) {
        EXPECT_EQ(line.find("memcpy"), std::string::npos) << line;
        EXPECT_EQ(line.find("memset"), std::string::npos) << line;
    }
}

TEST(VormLibraryTest, NeedsOnlyLibcAndCarriesItsSoname)
{
    std::vector<std::string> needed;
    std::string soname;
    for (const std::string& line : lines(shellOutput("readelf -d -W '" VORM_LIBRARY_PATH "'"))) {
        const size_t open = line.find('['), close = line.find(']');
        if (open == std::string::npos || close == std::string::npos)
            continue;
        const std::string value = line.substr(open + 1, close - open - 1);
        if (line.find("(NEEDED)") != std::string::npos)
            needed.push_back(value);
        if (line.find("(SONAME)") != std::string::npos)
            soname = value;
    }
    EXPECT_EQ(needed, std::vector<std::string>{"libc.so.6"});
    EXPECT_EQ(soname, "libVorm.so.1");

    std::vector<std::string> resolved;
    for (const std::string& line : lines(shellOutput("ldd '" VORM_LIBRARY_PATH "'"))) {
        std::istringstream fields(line);
        std::string name;
        fields >> name;
        if (name.rfind("linux-vdso", 0) == 0 || name.find("/ld-linux") != std::string::npos)
            continue;
        resolved.push_back(name);
    }
    EXPECT_EQ(resolved, std::vector<std::string>{"libc.so.6"});
}

TEST(VormLibraryTest, TheProgramDoesNotLoadIt)
{
    const std::string program = VORM_PROGRAM_PATH;
    ASSERT_FALSE(program.empty()) << "the build has no program target";
    ASSERT_EQ(access(program.c_str(), X_OK), 0) << program;
    const std::string listing = shellOutput("ldd '" + program + "' 2>&1");
    ASSERT_FALSE(listing.empty());
    EXPECT_EQ(listing.find("libVorm"), std::string::npos) << listing;
}

// ---- copies against the C library's memcpy ----

TEST_F(VormTest, CopiesLikeTheSystemCopyForEverySizeAlignmentAndSwitch)
{
    const std::vector<size_t> sizes = {0, 1, 7, 8, 15, 16, 4095, 4096, 4097, (1u << 20) + 3, 16u << 20};
    const std::vector<unsigned> switches = {0, 1, 255, 256, 257};
    const size_t guard = 64;
    const size_t capacity = (16u << 20) + 2 * guard;

    std::vector<unsigned char> source(capacity);
    std::mt19937 random(1234);
    std::generate(source.begin(), source.end(), [&] { return static_cast<unsigned char>(random()); });
    std::vector<unsigned char> expected(capacity), actual(capacity);

    for (unsigned protection : switches) {
        ASSERT_EQ(vorm().setMemoryProtection(protection), 0);
        for (size_t size : sizes) {
            for (size_t misalignment = 0; misalignment < 8; ++misalignment) {
                SCOPED_TRACE(testing::Message() << "switch " << protection << ", size " << size
                                                << ", misalignment " << misalignment);
                const size_t sourceOffset = guard + misalignment;
                const size_t destinationOffset = guard + (misalignment * 5) % 8;
                const size_t span = size + 2 * guard;
                std::fill_n(expected.begin(), span, 0xC3);
                std::fill_n(actual.begin(), span, 0xC3);
                // Odd misalignments go through _memcpy, which must behave the same.
                CopyFunction copy = misalignment % 2 ? vorm().underscoreMemcpy : vorm().memcpy;

                void* systemResult = vorm().systemMemcpy(expected.data() + destinationOffset,
                                                         source.data() + sourceOffset, size);
                const bool protectedCopy = (protection & 0xFF) != 0;
                if (protectedCopy && size > 0 && !mayLock(source.data() + sourceOffset, size))
                    std::fill_n(expected.begin() + destinationOffset, size, 0); // over RLIMIT_MEMLOCK
                void* result = copy(actual.data() + destinationOffset, source.data() + sourceOffset, size);

                ASSERT_EQ(systemResult, expected.data() + destinationOffset);
                ASSERT_EQ(result, actual.data() + destinationOffset);
                ASSERT_TRUE(std::equal(actual.begin(), actual.begin() + span, expected.begin()));
            }
        }
    }
}

TEST_F(VormTest, UnlockableSourceGivesZerosWhenProtected)
{
    if (!mlockLocks())
        GTEST_SKIP() << "mlock does not lock in this process (a sanitizer runtime replaces it with a "
                        "no-op, or RLIMIT_MEMLOCK is 0); the normal build runs this test";
    const size_t page = pageSize();
    Pages protNone(4, PROT_NONE);
    Pages partly(4, PROT_READ | PROT_WRITE);
    Pages hole(4, PROT_READ | PROT_WRITE);
    ASSERT_NE(protNone.bytes(), nullptr);
    ASSERT_NE(partly.bytes(), nullptr);
    ASSERT_NE(hole.bytes(), nullptr);
    std::memset(partly.bytes(), 0x77, partly.length());
    ASSERT_TRUE(partly.unmapTail(3)); // one readable page, then a hole
    ASSERT_TRUE(hole.unmapTail(4));
    const unsigned char* unmapped = hole.bytes();

    struct Case {
        const char* name;
        const unsigned char* source;
        size_t length;
    };
    const Case cases[] = {
        {"PROT_NONE", protNone.bytes() + 3, 3 * page},
        {"unmapped", unmapped + 5, 2 * page + 1},
        {"readable then unmapped", partly.bytes() + 100, 2 * page},
    };
    const long baseline = lockedKiB();
    std::vector<unsigned char> destination(4 * page);
    for (unsigned protection : {1u, 255u, 257u}) {
        ASSERT_EQ(vorm().setMemoryProtection(protection), 0);
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << ", switch " << protection);
            std::fill(destination.begin(), destination.end(), 0xA5);
            EXPECT_EQ(vorm().memcpy(destination.data() + 1, c.source, c.length), destination.data() + 1);
            EXPECT_EQ(destination[0], 0xA5);
            EXPECT_TRUE(allZero(destination.data() + 1, c.length));
            EXPECT_EQ(destination[c.length + 1], 0xA5);
        }
    }
    // A failed lock can leave part of the range locked in the kernel; none of it may stay.
    EXPECT_EQ(lockedKiB(), baseline);
}

// The switch is per thread and keeps only its low byte: 256 is off, 257 on.
TEST(VormSwitchTest, LowByteOfTheSwitchDecidesInTheCallingThread)
{
    struct Case {
        unsigned value;
        bool on;
    };
    const Case cases[] = {{0, false}, {1, true}, {255, true}, {256, false}, {257, true}, {512, false}, {UINT_MAX, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "switch " << c.value);
        const ProcessResult result = probe({"switch", std::to_string(c.value)});
        if (c.on) {
            EXPECT_TRUE(result.exited && result.status == 0) << result.output;
            EXPECT_EQ(result.output, "zeroed\n");
        } else {
            EXPECT_FALSE(result.exited) << result.output;
            EXPECT_EQ(result.status, SIGSEGV) << result.output;
        }
    }
}

TEST(VormSwitchTest, AThreadThatNeverSetTheSwitchCopiesUnprotected)
{
    const ProcessResult result = probe({"other-thread"});
    EXPECT_EQ(result.output.rfind("main-zeroed\n", 0), 0u) << result.output;
    EXPECT_FALSE(result.exited) << result.output;
    EXPECT_EQ(result.status, SIGSEGV) << result.output;
}

// ---- locks ----

TEST_F(VormTest, ConcurrentProtectedCopiesOfSharedPagesReleaseEveryLock)
{
    Pages source(16, PROT_READ | PROT_WRITE);
    ASSERT_NE(source.bytes(), nullptr);
    if (!mayLock(source.bytes(), source.length()))
        VISTEL_SKIP_UNAVAILABLE() << "RLIMIT_MEMLOCK is below " << source.length() / 1024
                     << " KiB and the process lacks CAP_IPC_LOCK (raise it with ulimit -l)";
    for (size_t i = 0; i < source.length(); ++i)
        source.bytes()[i] = static_cast<unsigned char>(i * 7 + (i >> 12));
    const long baseline = lockedKiB();

    const int threads = 8;
    const int rounds = vistel::test::scaled(200, 5000);
    std::atomic<int> wrong{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            vorm().setMemoryProtection(1);
            std::vector<unsigned char> destination(source.length());
            std::mt19937 random(static_cast<unsigned>(t));
            for (int round = 0; round < rounds; ++round) {
                const size_t offset = random() % (source.length() / 2);
                const size_t length = 1 + random() % (source.length() - offset - 1);
                if (vorm().memcpy(destination.data(), source.bytes() + offset, length) != destination.data()
                    || std::memcmp(destination.data(), source.bytes() + offset, length) != 0)
                    ++wrong;
            }
        });
    }
    for (std::thread& worker : workers)
        worker.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(lockedKiB(), baseline);
}

TEST(VormLockTest, OneCopyEndingLeavesThePagesOfAnotherLocked)
{
    const ProcessResult result = probe({"nested-locks"});
    if (result.exited && result.status == 77)
        VISTEL_SKIP_UNAVAILABLE() << result.output;
    EXPECT_TRUE(result.exited && result.status == 0) << "status " << result.status << ": " << result.output;
}

TEST(VormLockTest, MemlockLimitWithoutCapabilityGivesZeros)
{
    const std::string page = std::to_string(pageSize());
    struct Case {
        std::string limit;
        std::string size;
        std::string outcome;
    };
    const Case cases[] = {
        {"0", "16", "zeroed\n"},                        // no locking allowed at all
        {"65536", page, "copied\n"},                    // within the limit
        {"65536", std::to_string(1 << 20), "zeroed\n"}, // beyond it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("limit " + c.limit + ", size " + c.size);
        const ProcessResult result = probe({"memlock-limit", c.limit, c.size});
        if (result.exited && result.status == 77)
            VISTEL_SKIP_UNAVAILABLE() << result.output;
        EXPECT_TRUE(result.exited && result.status == 0) << "status " << result.status << ": " << result.output;
        EXPECT_EQ(result.output, c.outcome);
    }
}

// ---- whole processes ----

TEST(VormProcessTest, SixteenThreadsMakingTheirFirstCallAtOnceNeverCrash)
{
    const int processes = vistel::test::scaled(200, 2000);
    for (int i = 0; i < processes; ++i) {
        const ProcessResult result = probe({"first-call", "16"});
        ASSERT_TRUE(result.exited && result.status == 0)
            << "process " << i << ", status " << result.status << ": " << result.output;
    }
}

TEST(VormProcessTest, PreloadedIntoSortLeavesItsOutputUnchanged)
{
    char directory[] = "/tmp/vorm-sort-XXXXXX";
    ASSERT_NE(mkdtemp(directory), nullptr);
    const std::string input = std::string(directory) + "/big.txt";
    {
        std::ofstream out(input);
        std::mt19937 random(42);
        const size_t target = vistel::test::scaled<size_t>(4u << 20, 64u << 20);
        size_t written = 0;
        std::string line;
        while (written < target) {
            line.clear();
            const size_t words = 1 + random() % 12;
            for (size_t w = 0; w < words; ++w) {
                const size_t letters = 1 + random() % 9;
                for (size_t l = 0; l < letters; ++l)
                    line.push_back(static_cast<char>('a' + random() % 26));
                line.push_back(w + 1 < words ? ' ' : '\n');
            }
            out << line;
            written += line.size();
        }
    }
    const std::string preload = "LD_PRELOAD='" VORM_LIBRARY_PATH "' ";
    const std::string sort = "LC_ALL=C sort --parallel=4 -S 1M -T '" + std::string(directory) + "' '" + input + "' 2>&1 | sha256sum";

    // The preload takes effect: a preloaded process maps the library.
    EXPECT_NE(shellOutput(preload + "grep -c libVorm /proc/self/maps"), "0\n");
    const std::string plain = shellOutput(sort);
    const std::string preloaded = shellOutput(preload + sort);
    EXPECT_EQ(plain.size(), 68u) << plain;
    EXPECT_EQ(preloaded, plain);

    std::remove(input.c_str());
    rmdir(directory);
}

} // namespace
