#pragma once
// Helpers of the benchmarks that compare our work with reference tools on the same files: the
// JPEG corpus (made once by benchmarks/Imaging/make-jpeg-corpus), running a tool the way a
// user does (one process, output thrown away) and whether a tool is installed.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <iostream>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace vistel::bench {

// The ".JPG" files of a folder, sorted.
inline std::vector<std::string> picturesIn(const std::string& folder)
{
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        if (entry.is_regular_file() && entry.path().extension() == ".JPG")
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

// Starts `argv` (looked up in PATH) with standard output sent to `output` and standard error to
// /dev/null, in `environment` (this process's when null); its process id, -1 when it could not
// start.
inline pid_t spawn(std::vector<std::string> argv, const std::string& output = "/dev/null",
                   std::vector<std::string> const* environment = nullptr)
{
    std::vector<char*> args;
    for (auto& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    std::vector<std::string> env = environment ? *environment : std::vector<std::string>();
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environment ? envp.data() : environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed ? -1 : pid;
}

// Runs `argv` with standard output sent to `output` (default /dev/null) and standard error to
// /dev/null; its exit status, -1 when it could not run.
inline int run(std::vector<std::string> argv, const std::string& output = "/dev/null")
{
    const pid_t pid = spawn(std::move(argv), output);
    if (pid < 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline bool toolAvailable(const std::string& tool)
{
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// $XDG_CACHE_HOME/vistel/jpeg-corpus (~/.cache/...).
inline std::string defaultCorpus()
{
    const char* cache = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    const std::string base = cache && *cache ? cache : std::string(home ? home : "/tmp") + "/.cache";
    return base + "/vistel/jpeg-corpus";
}

// `corpus` when it holds pictures; otherwise the default corpus, made once with `maker` (the
// make-jpeg-corpus script). Empty when it cannot be made.
inline std::string corpusOrDefault(std::string corpus, const std::string& maker)
{
    if (!corpus.empty())
        return corpus;
    corpus = defaultCorpus();
    if (picturesIn(corpus + "/plain").empty() && run({maker, corpus, "40"}) != 0)
        return {};
    return corpus;
}

// The main() of a corpus benchmark: the first argument that is no benchmark flag names the
// corpus (else the default one, made once with `maker`), stored in `corpus`; then `setUp`, when
// given, prepares what the benchmarks share (a non-zero answer is the exit status and nothing
// runs); then the benchmarks run. Its exit status.
inline int runCorpusBenchmarks(int argc, char** argv, const std::string& maker, std::string& corpus,
                               const std::function<int()>& setUp = {})
{
    std::vector<char*> rest {argv[0]};
    std::string named;
    for (int i = 1; i < argc; ++i) {
        if (named.empty() && argv[i][0] != '-')
            named = argv[i];
        else
            rest.push_back(argv[i]);
    }
    if (named.empty())
        std::cerr << "using the corpus in " << defaultCorpus() << " (made once when missing)\n";
    corpus = corpusOrDefault(named, maker);
    if (corpus.empty()) {
        std::cerr << "could not make the corpus (needs imagemagick and exiv2)\n";
        return 1;
    }
    if (setUp)
        if (const int status = setUp())
            return status;
    int count = int(rest.size());
    benchmark::Initialize(&count, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// A fresh Application Support folder ($XDG_DATA_HOME) for a catalogue, removed afterwards.
class ScratchCatalogue {
public:
    ScratchCatalogue()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vistel-bench-XXXXXX").string();
        folder_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
        ::setenv("XDG_DATA_HOME", folder_.c_str(), 1);
    }
    ~ScratchCatalogue()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    ScratchCatalogue(const ScratchCatalogue&) = delete;
    ScratchCatalogue& operator=(const ScratchCatalogue&) = delete;
    const std::string& folder() const { return folder_; }

private:
    std::string folder_;
};

// The process's resident memory in bytes.
inline long residentBytes()
{
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * ::sysconf(_SC_PAGESIZE);
}

} // namespace vistel::bench
