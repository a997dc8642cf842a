#pragma once
// Running the main thread's run loop in a test.

#include "Platform/RunLoop.h"

#include <algorithm>
#include <chrono>

namespace vistel::test {

// Runs the current thread's run loop in `mode` until `done` answers true or `limit` passes;
// what `done` answers last.
template <class Pred>
bool runMainLoopUntil(Pred done, const char* mode = NSDefaultRunLoopMode,
                      std::chrono::milliseconds limit = std::chrono::milliseconds(60000))
{
    using namespace std::chrono_literals;
    const auto deadline = RunLoop::Clock::now() + limit;
    while (!done() && RunLoop::Clock::now() < deadline)
        RunLoop::current()->runMode(mode, std::min(deadline, RunLoop::Clock::now() + 50ms));
    return done();
}

} // namespace vistel::test
