#include "Platform/Exception.h"

#include <cxxabi.h>
#include <execinfo.h>

#include <cstdlib>
#include <memory>
#include <mutex>

#include "Platform/Log.h"

namespace vistel {

Exception::Exception(std::string name, std::string reason, Value userInfo, const char* file, int line)
    : name_(std::move(name))
    , reason_(std::move(reason))
    , userInfo_(std::move(userInfo))
    , file_(file ? file : "")
    , line_(line)
    , backtrace_(captureBacktrace(2))
{
}

std::string Exception::description() const
{
    std::string text = name_ + ": " + reason_;
    if (!file_.empty())
        text += " (" + file_ + ":" + std::to_string(line_) + ")";
    return text;
}

void raiseAssertion(const char* reason, const char* file, int line)
{
    throw Exception(Exception::GenericName, reason ? reason : "", Value(), file, line);
}

std::vector<std::string> captureBacktrace(int skip)
{
    void* frames[64];
    int count = ::backtrace(frames, 64);
    std::unique_ptr<char*, decltype(&std::free)> symbols(::backtrace_symbols(frames, count), &std::free);
    std::vector<std::string> lines;
    if (!symbols)
        return lines;
    for (int i = skip; i < count; ++i) {
        std::string line = symbols.get()[i];
        // "binary(mangled+0x12) [0x...]": demangle the part between '(' and '+'.
        auto open = line.find('(');
        auto plus = line.find('+', open == std::string::npos ? 0 : open);
        if (open != std::string::npos && plus != std::string::npos && plus > open + 1) {
            std::string mangled = line.substr(open + 1, plus - open - 1);
            int status = 0;
            std::unique_ptr<char, decltype(&std::free)> demangled(
                abi::__cxa_demangle(mangled.c_str(), nullptr, nullptr, &status), &std::free);
            if (status == 0 && demangled)
                line.replace(open + 1, plus - open - 1, demangled.get());
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

namespace {

std::mutex caughtHandlerMutex;
CaughtExceptionHandler caughtHandler;

} // namespace

CaughtExceptionHandler setCaughtExceptionHandler(CaughtExceptionHandler handler)
{
    std::lock_guard lock(caughtHandlerMutex);
    return std::exchange(caughtHandler, std::move(handler));
}

void logCaughtException(std::string_view where) noexcept
{
    try {
        std::string name = "unknown exception", reason, line;
        Value userInfo;
        try {
            throw;
        } catch (const Exception& e) {
            name = e.name();
            reason = e.reason();
            userInfo = e.userInfo();
            line = e.description();
        } catch (const std::exception& e) {
            name = "std::exception";
            reason = e.what();
            line = reason;
        } catch (...) {
            line = name;
        }
        CaughtExceptionHandler handler;
        {
            std::lock_guard lock(caughtHandlerMutex);
            handler = caughtHandler;
        }
        if (handler)
            handler(where, name, reason, userInfo);
        else
            ZovLog(std::string(where) + " " + line);
    } catch (...) {
        ZovLog(std::string(where) + " exception while logging an exception");
    }
}

} // namespace vistel
