#include "Platform/Log.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <utility>

namespace vistel {

namespace {

std::mutex& sinkMutex()
{
    static std::mutex mutex;
    return mutex;
}

LogSink& currentSink()
{
    static LogSink sink;
    return sink;
}

} // namespace

void ZovLog(std::string_view line)
{
    std::lock_guard lock(sinkMutex());
    if (auto& sink = currentSink()) {
        sink(line);
        return;
    }
    std::string text(line);
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), stderr);
}

LogSink setLogSink(LogSink sink)
{
    std::lock_guard lock(sinkMutex());
    return std::exchange(currentSink(), std::move(sink));
}

struct ScopedLogCapture::State {
    mutable std::mutex mutex;
    std::vector<std::string> lines;
};

ScopedLogCapture::ScopedLogCapture()
    : state_(new State)
{
    State* state = state_;
    previous_ = setLogSink([state](std::string_view line) {
        std::lock_guard lock(state->mutex);
        state->lines.emplace_back(line);
    });
}

ScopedLogCapture::~ScopedLogCapture()
{
    setLogSink(std::move(previous_));
    delete state_;
}

std::vector<std::string> ScopedLogCapture::lines() const
{
    std::lock_guard lock(state_->mutex);
    return state_->lines;
}

bool ScopedLogCapture::contains(std::string_view fragment) const
{
    std::lock_guard lock(state_->mutex);
    for (const auto& line : state_->lines)
        if (line.find(fragment) != std::string::npos)
            return true;
    return false;
}

} // namespace vistel
