#pragma once
// Exception and ZOV_ASSERT.
//
// Programming errors raise an Exception through ZOV_ASSERT with one of the short fixed texts
// the program uses everywhere ("Index out of range", "No such item in layout", ...). The
// exception records the source file and line and a backtrace. Run-time failures (files,
// devices, decoding) never raise: they travel as status codes and reach the user as alerts.
//
// No exception may cross a thread routine, a plug-in's C boundary or a Qt event handler:
// those boundaries catch, log through ZovLog and carry on.

#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Value.h"

namespace vistel {

class Exception : public std::exception {
public:
    // The generic name used by assertions and parameter errors.
    static constexpr const char* GenericName = "NSInternalInconsistencyException";

    Exception(std::string name, std::string reason, Value userInfo = Value(),
              const char* file = nullptr, int line = 0);

    const std::string& name() const noexcept { return name_; }
    const std::string& reason() const noexcept { return reason_; }
    const Value& userInfo() const noexcept { return userInfo_; }
    const std::string& file() const noexcept { return file_; }
    int line() const noexcept { return line_; }
    // Symbolised frames captured when the exception was made.
    const std::vector<std::string>& backtrace() const noexcept { return backtrace_; }

    // "reason" alone, so a log line or test failure shows the short text.
    const char* what() const noexcept override { return reason_.c_str(); }
    // "name: reason (file:line)".
    std::string description() const;

private:
    std::string name_;
    std::string reason_;
    Value userInfo_;
    std::string file_;
    int line_ = 0;
    std::vector<std::string> backtrace_;
};

// Raises the generic exception with `reason`, naming the file and line.
[[noreturn]] void raiseAssertion(const char* reason, const char* file, int line);

// The boundaries that catch what a handler threw (Qt's notify, run-loop callbacks) report it
// through logCaughtException(where), called inside their catch block. Without a handler the line
// is "<where> <description>"; the application installs its own (its log format). A handler
// gets the exception's name, reason and user info (a std::exception: its type's generic name
// "std::exception" and what(); anything else: "unknown exception", empty reason). Any thread.
using CaughtExceptionHandler =
    std::function<void(std::string_view where, const std::string& name, const std::string& reason, const Value& userInfo)>;
CaughtExceptionHandler setCaughtExceptionHandler(CaughtExceptionHandler handler);
void logCaughtException(std::string_view where) noexcept;

// Captures the calling thread's stack as symbolised text lines (skipping `skip` frames).
std::vector<std::string> captureBacktrace(int skip = 1);

} // namespace vistel

#define ZOV_ASSERT(condition, text)                                      \
    do {                                                                 \
        if (!(condition)) [[unlikely]]                                   \
            ::vistel::raiseAssertion((text), __FILE__, __LINE__);        \
    } while (0)

// Raises unconditionally: for code paths the program must never reach.
#define ZOV_RAISE(text) ::vistel::raiseAssertion((text), __FILE__, __LINE__)
