#pragma once
// Small helpers shared by the tests.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <stdlib.h>

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

} // namespace vistel::test
