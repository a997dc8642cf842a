#pragma once
// DecodePool: the workers that make thumbnails for every file updater thread.
//
// A file updater thread keeps its job stack and decides what runs next; it hands each decode
// to the pool as a task with the job's priority and serial number, and keeps at most
// workerCount() tasks handed at a time, so the rest of its work stays on its own stack, where
// newer and more urgent requests overtake it. Free workers take the queued task of highest
// priority first (then the highest serial: among equal priorities the newest), from whichever
// thread it came. A task posts its own result when it completes.
//
// There are sysconf(_SC_NPROCESSORS_ONLN) workers unless setWorkerCount() chose otherwise
// (tests). The pool lives as long as the process; idle workers sleep.
//
// Thread rules: every member may be called from any thread.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace vistel {

class DecodePool {
public:
    static DecodePool& shared();

    // The number of workers; a new count takes effect at once (extra workers end after their
    // current task).
    static void setWorkerCount(unsigned count);
    unsigned workerCount() const;

    // Queues `task` for `owner` (an identity only, never dereferenced).
    void submit(const void* owner, std::int64_t priority, int serial, std::function<void()> task);
    // Blocks while `owner` has workerCount() tasks queued or running, or until `stop` answers
    // true (checked every few milliseconds).
    void waitForRoom(const void* owner, const std::function<bool()>& stop);
    // Drops the owner's queued tasks and waits until none of its tasks runs.
    void cancel(const void* owner);

    // Tasks queued, and tasks running, of every owner.
    std::size_t queuedCount() const;
    std::size_t runningCount() const;
    // Called on the worker as it takes a task, with the task's priority and the number of tasks
    // taken before it (tests: observers of several workers may run in any order).
    using TakeObserver = std::function<void(std::int64_t priority, std::uint64_t takenBefore)>;
    static void setTakeObserver(TakeObserver observer);

private:
    struct Task {
        const void* owner;
        std::int64_t priority;
        int serial;
        std::function<void()> body;
    };
    DecodePool() = default;
    void growLocked();
    void workerMain(unsigned index);
    std::size_t ownedLocked(const void* owner) const;

    mutable std::mutex mutex_;
    std::condition_variable work_;     // a task was queued, or the worker count fell
    std::condition_variable finished_; // a task ended or was dropped
    std::vector<Task> queued_;
    std::vector<const void*> running_; // the owner of each running task
    unsigned targetWorkers_ = 0;
    std::vector<bool> alive_; // by worker index
    TakeObserver observer_;
    std::uint64_t taken_ = 0;
};

} // namespace vistel
