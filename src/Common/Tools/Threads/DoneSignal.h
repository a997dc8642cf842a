#pragma once
// DoneSignal: a one-shot "it is done" flag one thread waits on and another raises. Raising it
// more than once is harmless. Used where a caller blocks until work queued to another thread has
// run or been dropped.

#include <condition_variable>
#include <mutex>

namespace vistel {

class DoneSignal {
public:
    void signal()
    {
        std::lock_guard lock(mutex_);
        done_ = true;
        condition_.notify_all();
    }
    void wait()
    {
        std::unique_lock lock(mutex_);
        condition_.wait(lock, [this] { return done_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable condition_;
    bool done_ = false;
};

} // namespace vistel
