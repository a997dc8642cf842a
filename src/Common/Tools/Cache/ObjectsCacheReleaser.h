#pragma once
// ObjectsCacheReleaser: one process-wide least-recently-used list of objects whose caches can be
// rebuilt (decoded icons and thumbnails of catalogue items, downloaded bytes of camera objects).
//
// An object registers by calling addObject() each time it fills or uses its cache; it keeps the
// answered entry as its cacheInformation() until its cache is released. Every 2 s the policy's
// timer walks the list from the least recently used end and asks objects to release their caches
// while the list is too long and its tail has been idle too long, or while the recorded bytes are
// above the memory limit. Each object says from which pressure level on it may be cleared
// (catalogue items 2, camera data 4):
//   - below the memory limit, entries beyond the count limit that are also older than the idle
//     limit are asked at level 3;
//   - above the memory limit, entries from the tail are asked at level 4 to 7, whatever their
//     age, until the recorded bytes are at or below the limit.
// An entry whose object refuses (releaseCache() answers false) is kept and moved to the head as
// if just used; an entry whose release option is above the level stays where it is.
//
// Ownership: the list owns its entries through the head pointer and the forward (`nextObject`)
// links; backward (`prevObject`) links and the tail pointer do not own. The registered object
// owns one more reference to its entry. An entry never owns its object.
//
// Threads and locks: addObject(), removeObject() and the trim pass take the releaser's lock (a
// recursive lock, so an object may call removeObject() from inside releaseCache()). While that
// lock is held the releaser calls the object's releaseOption(), cacheInformation(),
// cacheSize() and releaseCache(). An object that calls addObject() or removeObject() while
// holding a lock of its own must therefore never wait for that lock inside those four calls:
// releaseCache() try-locks and answers false ("kept") when it cannot take the lock at once,
// and the other three answer without locking (atomics, or state the caller already guards).
// Otherwise the trim (releaser lock, then the object's lock) and the object (its lock, then
// the releaser lock) would deadlock.
//
// An object must remove its entry (removeObject()) before any of its state goes away, first
// thing in its destructor: the entry does not keep the object alive.
//
// The shared releaser's timer always lives on the main thread's run loop, whatever thread
// first asks for it.

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>

#include "Platform/Object.h"
#include "Platform/RunLoop.h"

namespace vistel {

class ObjectWithCacheInfo;
class ObjectsCacheReleaser;

// Implemented by every object with a releasable cache. See the lock rules above.
class ObjectWithCacheProtocol {
public:
    // The lowest pressure level at which the cache may be cleared.
    virtual int releaseOption() const = 0;
    // The entry the object keeps while registered, or null.
    virtual Ref<ObjectWithCacheInfo> cacheInformation() const = 0;
    // Releases the cache (and forgets the entry) and answers true, or answers false when it
    // cannot now; then the entry is kept and counts as just used.
    virtual bool releaseCache() = 0;
    // Bytes the cache holds now.
    virtual std::int64_t cacheSize() const = 0;

protected:
    ~ObjectWithCacheProtocol() = default;
};

// The time source of the releaser and its entries; tests supply a clock they can move.
class CacheClock : public Object {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    // The process-wide monotonic clock.
    static Ref<CacheClock> system();
    virtual TimePoint now() const;
};

// One list entry. Fields are read and written only under the releaser's lock.
class ObjectWithCacheInfo final : public Object {
public:
    static Ref<ObjectWithCacheInfo> createWithObject(ObjectWithCacheProtocol* object, Ref<CacheClock> clock);

    ObjectWithCacheProtocol* objectWithCache() const noexcept { return objectWithCache_; }
    CacheClock::TimePoint lastObjectUsedTime() const noexcept { return lastObjectUsedTime_; }
    std::int64_t cacheSize() const noexcept { return cacheSize_; }
    // Towards the tail (used less recently).
    ObjectWithCacheInfo* nextObject() const noexcept { return nextObject_.get(); }
    // Towards the head (used more recently).
    ObjectWithCacheInfo* prevObject() const noexcept { return prevObject_; }

    // Seconds since the last use.
    double cacheLiveTime() const;
    // Re-reads the object's size and makes now its last use.
    void updateCacheLiveTimeAndSize();
    bool isEqualToObject(const ObjectWithCacheInfo* other) const noexcept
    {
        return other && other->objectWithCache_ == objectWithCache_;
    }
    int releaseOption() const { return objectWithCache_->releaseOption(); }
    // True while the entry is linked into a releaser's list.
    bool isListed() const noexcept { return listed_; }

    ~ObjectWithCacheInfo() override;

private:
    ObjectWithCacheInfo(ObjectWithCacheProtocol* object, Ref<CacheClock> clock);
    template <class T, class... Args>
    friend Ref<T> makeRef(Args&&...);
    friend class ObjectsCacheReleaser;
    friend class ObjectsCachePolicy;

    ObjectWithCacheProtocol* objectWithCache_; // not owned
    CacheClock::TimePoint lastObjectUsedTime_;
    std::int64_t cacheSize_ = 0;
    Ref<ObjectWithCacheInfo> nextObject_; // owns
    ObjectWithCacheInfo* prevObject_ = nullptr; // does not own
    bool listed_ = false;
    Ref<CacheClock> clock_;
};

// The limits of one releaser and its trim timer.
class ObjectsCachePolicy {
public:
    static constexpr double TimerInterval = 2.0;

    ObjectsCachePolicy(std::uint32_t maxObjectCount, std::int64_t memorySizeMaxInBytes, double objectLiveTimeMax);
    ~ObjectsCachePolicy();
    ObjectsCachePolicy(const ObjectsCachePolicy&) = delete;
    ObjectsCachePolicy& operator=(const ObjectsCachePolicy&) = delete;

    // Records the releaser and schedules the repeating trim timer on `runLoop` in the default,
    // modal-panel, event-tracking and connection-reply modes, so that trimming goes on while
    // modal panels run and while the mouse is tracked. A null loop schedules no timer (the
    // owner then calls releaseCacheTimerProc() itself).
    void setCacheReleaser(ObjectsCacheReleaser* releaser, RunLoop* runLoop);

    // One trim pass; see the header comment. Takes the releaser's lock.
    void releaseCacheTimerProc();

    bool isObjectTimeExpared(const ObjectWithCacheInfo& info) const;
    bool isMemoryOverflowed() const;
    std::int64_t usedMemorySize() const;

    std::uint32_t minObjectsCount() const noexcept { return minObjectsCount_; }
    std::int64_t maxMemorySizeInBytes() const noexcept { return maxMemorySizeInBytes_; }
    double maxObjectLiveTime() const noexcept { return maxObjectLiveTime_; }
    const Ref<RunLoop::Timer>& resetCacheTimer() const noexcept { return resetCacheTimer_; }
    ObjectsCacheReleaser* cacheReleaser() const noexcept { return cacheReleaser_; }

private:
    std::uint32_t minObjectsCount_;
    std::int64_t maxMemorySizeInBytes_;
    Ref<RunLoop::Timer> resetCacheTimer_;
    double maxObjectLiveTime_;
    ObjectsCacheReleaser* cacheReleaser_ = nullptr; // owns this policy
};

class ObjectsCacheReleaser {
public:
    // Limits of the shared releaser.
    static constexpr std::uint32_t SharedMaxObjectCount = 1000;
    static constexpr std::int64_t SharedMaxMemorySize = 314572800; // 300 MiB
    static constexpr double SharedMaxObjectLiveTime = 240.0;

    // The process-wide releaser, made on first use; its timer runs on the main run loop (the
    // calling thread's loop when no main thread was recorded). Lives for the whole process.
    static ObjectsCacheReleaser& sharedCacheReleaser();

    // Takes the policy and hands itself to it; the policy's timer goes to `runLoop` (none when
    // null). The releaser is destroyed on the thread of that loop, or after it stopped running.
    explicit ObjectsCacheReleaser(std::unique_ptr<ObjectsCachePolicy> policy, RunLoop* runLoop = nullptr,
                                  Ref<CacheClock> clock = CacheClock::system());
    ~ObjectsCacheReleaser();
    ObjectsCacheReleaser(const ObjectsCacheReleaser&) = delete;
    ObjectsCacheReleaser& operator=(const ObjectsCacheReleaser&) = delete;

    // Registers the object (when it has no entry yet) and moves its entry to the head. Answers
    // the entry, which the object keeps as its cacheInformation().
    Ref<ObjectWithCacheInfo> addObject(ObjectWithCacheProtocol* object);
    // Unlinks the entry and takes it off the totals. Does nothing for an entry that is not in
    // this list (already removed, or null).
    void removeObject(ObjectWithCacheInfo* info);

    // Pass result of clearObjectCache().
    enum ClearResult { Cleared = 0, NoEntry = 1, Kept = 2 };
    // Asks the entry's object to release its cache. Call with the lock held (the trim does).
    int clearObjectCache(ObjectWithCacheInfo* info);

    // For tests and diagnostics: the pointers stay valid only while the list does not change.
    ObjectWithCacheInfo* firstObjectInfo() const;
    ObjectWithCacheInfo* lastObjectInfo() const;
    std::int32_t totalObjectsCount() const;
    std::int64_t totalCacheSize() const;
    ObjectsCachePolicy& cachePolicy() const noexcept { return *cachePolicy_; }
    const Ref<CacheClock>& clock() const noexcept { return clock_; }

private:
    friend class ObjectsCachePolicy;

    // Refreshes the entry's size and last use and puts it at the head. Caller holds the lock.
    void moveUpObject(ObjectWithCacheInfo* info);
    void unlink(ObjectWithCacheInfo* info);
    void checkListSoundness() const;

    mutable std::recursive_mutex lock_;
    Ref<ObjectWithCacheInfo> firstObjectInfo_; // owns the list
    ObjectWithCacheInfo* lastObjectInfo_ = nullptr;
    std::unique_ptr<ObjectsCachePolicy> cachePolicy_;
    std::int64_t totalCacheSize_ = 0;
    std::int32_t totalObjectsCount_ = 0;
    Ref<CacheClock> clock_;
};

} // namespace vistel
