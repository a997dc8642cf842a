#pragma once
// ZovLog: the program's diagnostics, one line each, in the form the code has always used:
// "Class::method text". Lines go to stderr unless a capture is installed (tests install one
// to check what was logged). Safe to call from any thread; each line is written whole.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vistel {

void ZovLog(std::string_view line);

// Replaces where log lines go; an empty function restores stderr. Answers the previous sink.
using LogSink = std::function<void(std::string_view line)>;
LogSink setLogSink(LogSink sink);

// Installs a sink for its lifetime and collects the lines logged meanwhile.
class ScopedLogCapture {
public:
    ScopedLogCapture();
    ~ScopedLogCapture();
    ScopedLogCapture(const ScopedLogCapture&) = delete;
    ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;

    std::vector<std::string> lines() const;
    bool contains(std::string_view fragment) const;

private:
    struct State;
    State* state_;
    LogSink previous_;
};

} // namespace vistel
