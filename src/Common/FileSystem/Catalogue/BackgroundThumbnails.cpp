#include "Common/FileSystem/Catalogue/BackgroundThumbnails.h"

#include <algorithm>

#include "Common/FileSystem/Catalogue/DecodePool.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Platform/UserDefaults.h"

namespace vistel {

BackgroundThumbnails::~BackgroundThumbnails() { stopTimer(); }

std::size_t BackgroundThumbnails::window()
{
    return WindowPerWorker * std::max(1u, DecodePool::shared().workerCount());
}

bool BackgroundThumbnails::isWanted()
{
    return UserDefaults::standard().boolForKey("ThumbnailStyle.GenerateHighQualityThumbnails");
}

void BackgroundThumbnails::setItems(Items items)
{
    if (!isWanted()) {
        stop();
        return;
    }
    items_ = std::move(items);
    next_ = 0; // what was considered is skipped quickly
    if (!isIdle())
        startTimer();
}

void BackgroundThumbnails::stop()
{
    stopTimer();
    items_.clear();
    next_ = 0;
    outstanding_.clear();
    consideredSet_.clear();
    considered_.clear();
    askedCount_ = 0;
}

void BackgroundThumbnails::tick()
{
    // Answered: the high-quality bit went (a not-verified word was reset by a mount or a
    // delete: nothing of it is pending any more).
    std::erase_if(outstanding_, [](const Ref<FileSystemItemMO>& item) {
        const std::int32_t word = item->refreshStatus();
        return word == kRefreshStatusNotVerified || !(word & FileSystemItemMO::RefreshHighQualityQueued);
    });
    const std::size_t room = window();
    while (outstanding_.size() < room && next_ < items_.size()) {
        const Ref<FileSystemItemMO>& item = items_[next_++];
        if (!item || item->isFolder() || !consideredSet_.insert(item.get()).second)
            continue;
        considered_.push_back(item);
        if (item->enqueueBackgroundThumbnail()) {
            outstanding_.push_back(item);
            ++askedCount_;
        }
    }
    if (isIdle())
        stopTimer();
}

void BackgroundThumbnails::startTimer()
{
    if (timer_)
        return;
    // The callback holds no reference: stopTimer() (at the latest the destructor) invalidates it.
    timer_ = RunLoop::current()->scheduleTimer(TickSeconds, true, [this](RunLoop::Timer&) { tick(); },
                                               {NSDefaultRunLoopMode, NSModalPanelRunLoopMode, NSEventTrackingRunLoopMode});
}

void BackgroundThumbnails::stopTimer()
{
    if (timer_)
        timer_->invalidate();
    timer_ = nullptr;
}

} // namespace vistel
