#include "Common/FileSystem/Catalogue/MediaDatabaseRecursiveUpdater.h"

#include <algorithm>
#include <map>

#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Common/Strings/NSStringDevices.h"
#include "Platform/FilePaths.h"
#include "Platform/Formatter.h"
#include "Platform/Log.h"

namespace vistel {

namespace {

// Catalogue -> its running updaters; being here keeps an updater alive. Main thread only.
std::map<MediaDatabase*, std::vector<Ref<MediaDatabaseRecursiveUpdater>>>& recursiveUpdaters()
{
    static auto* updaters = new std::map<MediaDatabase*, std::vector<Ref<MediaDatabaseRecursiveUpdater>>>();
    return *updaters;
}

} // namespace

Ref<MediaDatabaseRecursiveUpdater> MediaDatabaseRecursiveUpdater::recursivelyUpdatePath(std::string_view path,
                                                                                       MediaDatabase* database)
{
    std::vector<std::string> components;
    Ref<FileSystemItemMO> start;
    if (NSStringDevices::isVolumePath(path)) {
        // From the volume item of the longest mount point above the path; component 0 stands
        // for the mount point.
        const std::string normalized = normalizedPath(path);
        start = database->volumeItemForPath(normalized);
        if (start) {
            const std::vector<std::string> all = pathComponents(normalized);
            const std::size_t inside = pathComponents(start->fullPath()).size();
            components.push_back(start->fullPath());
            components.insert(components.end(), all.begin() + static_cast<std::ptrdiff_t>(std::min(inside, all.size())),
                              all.end());
        }
    } else if (const auto camera = NSStringDevices::icaDevicePath(path)) {
        // From the hidden "Volumes" folder, which holds the camera's item (named by its path).
        const std::string rest = path.starts_with(*camera) ? std::string(path.substr(camera->size()))
                                                           : NSStringDevices::icaPathWithoutDevice(path).value_or("");
        components = {"ICA:", *camera};
        for (std::string& part : pathComponents(rest))
            components.push_back(std::move(part));
        start = database->volumesFolder();
    } else {
        ZovLog(vistel::format("MediaDatabaseRecursiveUpdater::initWithPath unknown path %@", std::string(path)));
        return {};
    }
    if (components.empty() || !start)
        return {};
    Ref<MediaDatabaseRecursiveUpdater> updater = Ref<MediaDatabaseRecursiveUpdater>::adopt(new MediaDatabaseRecursiveUpdater());
    updater->mediaDatabase_ = database;
    updater->components_ = std::move(components);
    updater->fsItem_ = start;
    updater->fullPath_ = std::string(path);
    recursiveUpdaters()[database].push_back(updater);
    return updater;
}

void MediaDatabaseRecursiveUpdater::stopAllForMediaDatabase(MediaDatabase* database)
{
    for (const auto& updater : listForMDB(database))
        updater->stop();
}

std::vector<Ref<MediaDatabaseRecursiveUpdater>> MediaDatabaseRecursiveUpdater::listForMDB(MediaDatabase* database)
{
    auto it = recursiveUpdaters().find(database);
    return it == recursiveUpdaters().end() ? std::vector<Ref<MediaDatabaseRecursiveUpdater>>() : it->second;
}

MediaDatabaseRecursiveUpdater::~MediaDatabaseRecursiveUpdater()
{
    stopObservingItem();
}

void MediaDatabaseRecursiveUpdater::stop()
{
    Ref<MediaDatabaseRecursiveUpdater> keep(this);
    stopObservingItem();
    auto it = recursiveUpdaters().find(mediaDatabase_);
    if (it == recursiveUpdaters().end())
        return;
    std::erase(it->second, keep);
    if (it->second.empty())
        recursiveUpdaters().erase(it);
}

void MediaDatabaseRecursiveUpdater::processNextComponent()
{
    Ref<MediaDatabaseRecursiveUpdater> keep(this);
    for (;;) {
        Ref<FileSystemItemMO> candidate;
        if (components_.size() == 1) {
            candidate = fsItem_;
        } else if (fsItem_->isFolder()) {
            // Asking a folder that was never listed (or changed since) lists it; a stored child
            // is taken at once, a missing one is waited for.
            if (fsItem_->needsRefresh())
                fsItem_->enqueueRefresh();
            candidate = fsItem_->childWithName(components_[componentIndex_]);
        }
        if (!candidate) {
            if (fsItem_->hasPendingRefreshStatusRequests()) {
                // Its listing is on its way.
                startObservingItem(fsItem_.get());
                return;
            }
            notifyPathStatus(false);
            stop();
            return;
        }
        stopObservingItem();
        fsItem_ = candidate;
        if (++componentIndex_ >= components_.size()) {
            notifyPathStatus(true);
            stop();
            return;
        }
    }
}

void MediaDatabaseRecursiveUpdater::notifyFSItemChanged(FileSystemItemMO* item, bool)
{
    if (!waitingOn_ || !item)
        return;
    if (item == waitingOn_.get()) {
        processNextComponent();
    } else if (item == waitingOnParent_.get() && !waitingOn_->isValid()) {
        Ref<MediaDatabaseRecursiveUpdater> keep(this);
        notifyPathStatus(false);
        stop();
    }
}

void MediaDatabaseRecursiveUpdater::startObservingItem(FileSystemItemMO* item)
{
    stopObservingItem();
    waitingOn_ = Ref<FileSystemItemMO>(item);
    waitingOnParent_ = item->parent();
    // As an item observer of the item and of its parent.
    for (FileSystemItemMO* observed : {waitingOn_.get(), waitingOnParent_.get()})
        if (observed)
            mediaDatabase_->addItemUpdateObserver(this, observed);
    // A listing that ends without a word still ends the wait.
    Ref<MediaDatabaseRecursiveUpdater> self(this);
    recheck_ = RunLoop::current()->scheduleTimer(
        RecheckSeconds, true,
        [self](RunLoop::Timer&) {
            if (self->waitingOn_ && !self->waitingOn_->hasPendingRefreshStatusRequests())
                self->processNextComponent();
        },
        {NSDefaultRunLoopMode, NSEventTrackingRunLoopMode});
}

void MediaDatabaseRecursiveUpdater::stopObservingItem()
{
    if (!waitingOn_)
        return;
    for (FileSystemItemMO* observed : {waitingOn_.get(), waitingOnParent_.get()})
        if (observed)
            mediaDatabase_->removeItemUpdateObserver(this, observed);
    waitingOn_ = nullptr;
    waitingOnParent_ = nullptr;
    if (recheck_) {
        recheck_->invalidate();
        recheck_ = nullptr;
    }
}

void MediaDatabaseRecursiveUpdater::notifyPathStatus(bool status)
{
    Value info = Value::dictionary({{"path", fullPath_}, {"status", status}});
    if (fsItem_)
        info.set("item", Value(Ref<Object>(fsItem_)));
    NotificationCenter::defaultCenter().postNotificationName(kMediaDatabaseRecursiveUpdaterNotification, Ref<Object>(this),
                                                             info);
}

} // namespace vistel
