#include "Common/FileSystem/Catalogue/DecodePool.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <string>

#include <unistd.h>

#include "Common/Tools/Threads/NSThreadExt.h"
#include "Platform/Log.h"

namespace vistel {

namespace {

unsigned onlineProcessors()
{
    const long count = sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 ? static_cast<unsigned>(count) : 1u;
}

} // namespace

DecodePool& DecodePool::shared()
{
    // Never destroyed: workers may still sleep in it while the process exits.
    static DecodePool* pool = [] {
        auto* made = new DecodePool;
        std::lock_guard lock(made->mutex_);
        made->targetWorkers_ = onlineProcessors();
        made->growLocked();
        return made;
    }();
    return *pool;
}

void DecodePool::setWorkerCount(unsigned count)
{
    DecodePool& pool = shared();
    {
        std::lock_guard lock(pool.mutex_);
        pool.targetWorkers_ = std::max(1u, count);
        pool.growLocked();
    }
    pool.work_.notify_all();
    pool.finished_.notify_all();
}

unsigned DecodePool::workerCount() const
{
    std::lock_guard lock(mutex_);
    return targetWorkers_;
}

void DecodePool::setTakeObserver(TakeObserver observer)
{
    DecodePool& pool = shared();
    std::lock_guard lock(pool.mutex_);
    pool.observer_ = std::move(observer);
}

void DecodePool::growLocked()
{
    if (alive_.size() < targetWorkers_)
        alive_.resize(targetWorkers_, false);
    for (unsigned index = 0; index < targetWorkers_; ++index) {
        if (alive_[index])
            continue;
        alive_[index] = true;
        Ref<NSThreadExt> worker = NSThreadExt::create([this, index] { workerMain(index); });
        worker->setName("DecodePool " + std::to_string(index));
        worker->start();
    }
}

void DecodePool::submit(const void* owner, std::int64_t priority, int serial, std::function<void()> task)
{
    {
        std::lock_guard lock(mutex_);
        queued_.push_back(Task {owner, priority, serial, std::move(task)});
    }
    work_.notify_one();
}

std::size_t DecodePool::ownedLocked(const void* owner) const
{
    return static_cast<std::size_t>(std::count_if(queued_.begin(), queued_.end(), [&](const Task& t) { return t.owner == owner; })
                                    + std::count(running_.begin(), running_.end(), owner));
}

void DecodePool::waitForRoom(const void* owner, const std::function<bool()>& stop)
{
    std::unique_lock lock(mutex_);
    while (ownedLocked(owner) >= targetWorkers_) {
        if (stop && stop())
            return;
        finished_.wait_for(lock, std::chrono::milliseconds(5));
    }
}

void DecodePool::cancel(const void* owner)
{
    std::vector<Task> dropped; // destroyed after the lock: a task may hold the last reference of its owner
    {
        std::unique_lock lock(mutex_);
        auto kept = std::stable_partition(queued_.begin(), queued_.end(), [&](const Task& t) { return t.owner != owner; });
        std::move(kept, queued_.end(), std::back_inserter(dropped));
        queued_.erase(kept, queued_.end());
        finished_.wait(lock, [&] { return std::find(running_.begin(), running_.end(), owner) == running_.end(); });
    }
    finished_.notify_all();
}

std::size_t DecodePool::queuedCount() const
{
    std::lock_guard lock(mutex_);
    return queued_.size();
}

std::size_t DecodePool::runningCount() const
{
    std::lock_guard lock(mutex_);
    return running_.size();
}

void DecodePool::workerMain(unsigned index)
{
    for (;;) {
        Task task;
        TakeObserver observer;
        std::uint64_t takenBefore = 0;
        {
            std::unique_lock lock(mutex_);
            work_.wait(lock, [&] { return index >= targetWorkers_ || !queued_.empty(); });
            if (index >= targetWorkers_) {
                alive_[index] = false;
                return;
            }
            // Highest priority, then the newest.
            auto top = std::max_element(queued_.begin(), queued_.end(), [](const Task& a, const Task& b) {
                return a.priority != b.priority ? a.priority < b.priority : a.serial < b.serial;
            });
            task = std::move(*top);
            queued_.erase(top);
            running_.push_back(task.owner);
            observer = observer_;
            takenBefore = taken_++;
        }
        if (observer)
            observer(task.priority, takenBefore);
        try {
            task.body();
        } catch (const std::exception& exception) {
            ZovLog("DecodePool task failed: " + std::string(exception.what()));
        } catch (...) {
            ZovLog("DecodePool task failed");
        }
        task.body = nullptr; // what the task held goes before it counts as ended
        {
            std::lock_guard lock(mutex_);
            running_.erase(std::find(running_.begin(), running_.end(), task.owner));
        }
        finished_.notify_all();
    }
}

} // namespace vistel
