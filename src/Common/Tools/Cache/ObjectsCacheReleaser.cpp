#include "Common/Tools/Cache/ObjectsCacheReleaser.h"

#include <vector>

#include "Platform/Log.h"

namespace vistel {

// --- CacheClock ------------------------------------------------------------------------------

Ref<CacheClock> CacheClock::system()
{
    static const Ref<CacheClock> clock = makeRef<CacheClock>();
    return clock;
}

CacheClock::TimePoint CacheClock::now() const
{
    return std::chrono::steady_clock::now();
}

// --- ObjectWithCacheInfo ---------------------------------------------------------------------

ObjectWithCacheInfo::ObjectWithCacheInfo(ObjectWithCacheProtocol* object, Ref<CacheClock> clock)
    : objectWithCache_(object)
    , lastObjectUsedTime_(clock->now())
    , cacheSize_(object->cacheSize())
    , clock_(std::move(clock))
{
}

ObjectWithCacheInfo::~ObjectWithCacheInfo()
{
    // An entry dies only after it left the list, but a chain hanging off it must not be torn
    // down recursively: a list can hold hundreds of thousands of entries.
    Ref<ObjectWithCacheInfo> next = std::move(nextObject_);
    while (next && next->retainCount() == 1) {
        Ref<ObjectWithCacheInfo> after = std::move(next->nextObject_);
        next = std::move(after);
    }
}

Ref<ObjectWithCacheInfo> ObjectWithCacheInfo::createWithObject(ObjectWithCacheProtocol* object, Ref<CacheClock> clock)
{
    return makeRef<ObjectWithCacheInfo>(object, std::move(clock));
}

double ObjectWithCacheInfo::cacheLiveTime() const
{
    return std::chrono::duration<double>(clock_->now() - lastObjectUsedTime_).count();
}

void ObjectWithCacheInfo::updateCacheLiveTimeAndSize()
{
    cacheSize_ = objectWithCache_->cacheSize();
    lastObjectUsedTime_ = clock_->now();
}

// --- ObjectsCachePolicy ----------------------------------------------------------------------

ObjectsCachePolicy::ObjectsCachePolicy(std::uint32_t maxObjectCount, std::int64_t memorySizeMaxInBytes,
                                       double objectLiveTimeMax)
    : minObjectsCount_(maxObjectCount)
    , maxMemorySizeInBytes_(memorySizeMaxInBytes)
    , maxObjectLiveTime_(objectLiveTimeMax)
{
}

ObjectsCachePolicy::~ObjectsCachePolicy()
{
    if (resetCacheTimer_)
        resetCacheTimer_->invalidate();
}

void ObjectsCachePolicy::setCacheReleaser(ObjectsCacheReleaser* releaser, RunLoop* runLoop)
{
    cacheReleaser_ = releaser;
    if (resetCacheTimer_) {
        resetCacheTimer_->invalidate();
        resetCacheTimer_ = nullptr;
    }
    if (!releaser || !runLoop)
        return;
    resetCacheTimer_ = runLoop->scheduleTimer(
        TimerInterval, true, [this](RunLoop::Timer&) { releaseCacheTimerProc(); },
        {NSDefaultRunLoopMode, NSConnectionReplyMode, NSModalPanelRunLoopMode, NSEventTrackingRunLoopMode});
}

bool ObjectsCachePolicy::isObjectTimeExpared(const ObjectWithCacheInfo& info) const
{
    return info.cacheLiveTime() > maxObjectLiveTime_;
}

bool ObjectsCachePolicy::isMemoryOverflowed() const
{
    return usedMemorySize() > maxMemorySizeInBytes_;
}

std::int64_t ObjectsCachePolicy::usedMemorySize() const
{
    return cacheReleaser_ ? cacheReleaser_->totalCacheSize() : 0;
}

void ObjectsCachePolicy::releaseCacheTimerProc()
{
    ObjectsCacheReleaser* releaser = cacheReleaser_;
    if (!releaser)
        return;
    std::lock_guard guard(releaser->lock_);

    const std::int64_t excess = std::int64_t(releaser->totalObjectsCount_) - std::int64_t(minObjectsCount_);
    const std::int64_t total = releaser->totalCacheSize_;
    std::int64_t freed = 0;
    // Both flags keep the value of the last entry at which they were computed: the memory
    // branch reuses them.
    bool expired = false;
    bool countOver = false;
    // References, not pointers: an object may drop its entry (and remove it) inside
    // releaseCache().
    std::vector<Ref<ObjectWithCacheInfo>> toDrop;
    std::vector<Ref<ObjectWithCacheInfo>> toKeep;

    Ref<ObjectWithCacheInfo> entry(releaser->lastObjectInfo_);
    while (entry) {
        Ref<ObjectWithCacheInfo> previous(entry->prevObject_);
        int level;
        if (total - freed > maxMemorySizeInBytes_) {
            level = expired ? 5 : 4;
        } else {
            countOver = excess - std::int64_t(toDrop.size()) > 0;
            if (!countOver)
                break;
            expired = isObjectTimeExpared(*entry);
            if (!expired)
                break;
            level = 1;
        }
        if (countOver)
            level += 2;

        // An entry whose option is above the level stays in place, registered and counted.
        if (level >= entry->releaseOption()) {
            if (releaser->clearObjectCache(entry.get()) == ObjectsCacheReleaser::Kept) {
                toKeep.push_back(entry);
            } else {
                freed += entry->cacheSize_;
                toDrop.push_back(entry);
            }
        }
        // A releaseCache() that removed other entries may have cut the walk short.
        if (previous && !previous->listed_)
            break;
        entry = std::move(previous);
    }

    for (const Ref<ObjectWithCacheInfo>& dropped : toDrop)
        releaser->removeObject(dropped.get());
    for (const Ref<ObjectWithCacheInfo>& kept : toKeep) {
        if (kept->listed_)
            releaser->moveUpObject(kept.get());
    }
}

// --- ObjectsCacheReleaser --------------------------------------------------------------------

ObjectsCacheReleaser& ObjectsCacheReleaser::sharedCacheReleaser()
{
    // Made once under the static-initialisation guard; never destroyed, so objects may
    // unregister during process exit.
    static ObjectsCacheReleaser* const shared = [] {
        RunLoop* loop = RunLoop::main();
        if (!loop) {
            ZovLog("ObjectsCacheReleaser::sharedCacheReleaser no main run loop recorded, the trim timer runs on "
                   "the calling thread's run loop");
            loop = RunLoop::current();
        }
        return new ObjectsCacheReleaser(
            std::make_unique<ObjectsCachePolicy>(SharedMaxObjectCount, SharedMaxMemorySize, SharedMaxObjectLiveTime),
            loop);
    }();
    return *shared;
}

ObjectsCacheReleaser::ObjectsCacheReleaser(std::unique_ptr<ObjectsCachePolicy> policy, RunLoop* runLoop,
                                           Ref<CacheClock> clock)
    : cachePolicy_(std::move(policy))
    , clock_(clock ? std::move(clock) : CacheClock::system())
{
    cachePolicy_->setCacheReleaser(this, runLoop);
}

ObjectsCacheReleaser::~ObjectsCacheReleaser()
{
    cachePolicy_->setCacheReleaser(nullptr, nullptr);
    std::lock_guard guard(lock_);
    // Iteratively, so that a long list does not recurse through its owning links.
    Ref<ObjectWithCacheInfo> entry = std::move(firstObjectInfo_);
    lastObjectInfo_ = nullptr;
    while (entry) {
        Ref<ObjectWithCacheInfo> next = std::move(entry->nextObject_);
        entry->prevObject_ = nullptr;
        entry->listed_ = false;
        entry = std::move(next);
    }
}

Ref<ObjectWithCacheInfo> ObjectsCacheReleaser::addObject(ObjectWithCacheProtocol* object)
{
    if (!object)
        return nullptr;
    std::lock_guard guard(lock_);
    Ref<ObjectWithCacheInfo> info = object->cacheInformation();
    if (!info)
        info = ObjectWithCacheInfo::createWithObject(object, clock_);
    if (!info->listed_) {
        totalCacheSize_ += info->cacheSize_;
        ++totalObjectsCount_;
    }
    moveUpObject(info.get());
    checkListSoundness();
    return info;
}

void ObjectsCacheReleaser::removeObject(ObjectWithCacheInfo* info)
{
    if (!info)
        return;
    std::lock_guard guard(lock_);
    if (!info->listed_)
        return;
    Ref<ObjectWithCacheInfo> keepAlive(info);
    unlink(info);
    totalCacheSize_ -= info->cacheSize_;
    --totalObjectsCount_;
}

int ObjectsCacheReleaser::clearObjectCache(ObjectWithCacheInfo* info)
{
    if (!info)
        return NoEntry;
    return info->objectWithCache_->releaseCache() ? Cleared : Kept;
}

void ObjectsCacheReleaser::moveUpObject(ObjectWithCacheInfo* info)
{
    Ref<ObjectWithCacheInfo> keepAlive(info);
    totalCacheSize_ -= info->cacheSize_;
    info->updateCacheLiveTimeAndSize();
    totalCacheSize_ += info->cacheSize_;
    if (firstObjectInfo_.get() == info)
        return;
    if (info->listed_)
        unlink(info);
    info->prevObject_ = nullptr;
    info->nextObject_ = std::move(firstObjectInfo_);
    if (info->nextObject_)
        info->nextObject_->prevObject_ = info;
    else
        lastObjectInfo_ = info;
    firstObjectInfo_ = keepAlive;
    info->listed_ = true;
}

void ObjectsCacheReleaser::unlink(ObjectWithCacheInfo* info)
{
    // The caller holds a reference: dropping the list's one below must not free `info`.
    ObjectWithCacheInfo* previous = info->prevObject_;
    Ref<ObjectWithCacheInfo> next = std::move(info->nextObject_);
    if (next)
        next->prevObject_ = previous;
    else
        lastObjectInfo_ = previous;
    if (previous)
        previous->nextObject_ = std::move(next);
    else
        firstObjectInfo_ = std::move(next);
    info->prevObject_ = nullptr;
    info->listed_ = false;
}

void ObjectsCacheReleaser::checkListSoundness() const
{
    const bool sound = firstObjectInfo_ && !firstObjectInfo_->prevObject_ && firstObjectInfo_->nextObject_
                       && lastObjectInfo_ && !lastObjectInfo_->nextObject_ && lastObjectInfo_->prevObject_;
    if (!sound && totalObjectsCount_ > 1)
        ZovLog("error!!! ObjectsCacheReleaser : the objects list is corrupted");
}

ObjectWithCacheInfo* ObjectsCacheReleaser::firstObjectInfo() const
{
    std::lock_guard guard(lock_);
    return firstObjectInfo_.get();
}

ObjectWithCacheInfo* ObjectsCacheReleaser::lastObjectInfo() const
{
    std::lock_guard guard(lock_);
    return lastObjectInfo_;
}

std::int32_t ObjectsCacheReleaser::totalObjectsCount() const
{
    std::lock_guard guard(lock_);
    return totalObjectsCount_;
}

std::int64_t ObjectsCacheReleaser::totalCacheSize() const
{
    std::lock_guard guard(lock_);
    return totalCacheSize_;
}

} // namespace vistel
