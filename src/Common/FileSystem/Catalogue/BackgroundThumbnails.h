#pragma once
// BackgroundThumbnails: gives every picture of a shown list its stored large thumbnail, without
// the user scrolling to it.
//
// What the views draw asks first (its requests carry the current drawing pass, above every
// background request); this walks the list in order and asks each decodable file without a
// stored thumbnail once, at background priority (FileSystemItemMO::enqueueBackgroundThumbnail).
// It keeps only a few requests outstanding at a time (WindowPerWorker per decode worker), so a
// folder of 100,000 pictures never fills the file threads' stacks, and leaving the folder
// (stop() or a list of other items) ends the work after what is outstanding: nothing else of
// the old list is asked for. A picture is asked for once per shown list, whatever its request
// brought (a file that could not be decoded is not asked again).
//
// Thread rules: main thread (it reads catalogue items); its timer runs on the run loop of the
// thread that made it, in the default, modal-panel and event-tracking modes.

#include <cstddef>
#include <unordered_set>
#include <vector>

#include "Platform/RunLoop.h"

namespace vistel {

class FileSystemItemMO;

class BackgroundThumbnails {
public:
    using Items = std::vector<Ref<FileSystemItemMO>>;
    static constexpr std::size_t WindowPerWorker = 4;
    static constexpr double TickSeconds = 0.02;

    BackgroundThumbnails() = default;
    ~BackgroundThumbnails();
    BackgroundThumbnails(const BackgroundThumbnails&) = delete;
    BackgroundThumbnails& operator=(const BackgroundThumbnails&) = delete;

    // The list shown now, of the same folders as before (a listing goes on): what was
    // considered stays so. Nothing is asked for while the user turned high-quality thumbnails
    // off ("ThumbnailStyle.GenerateHighQualityThumbnails").
    void setItems(Items items);
    static bool isWanted();
    // The folders were left: nothing more is asked for, and what was considered is forgotten.
    void stop();

    // One round: forgets answered requests and asks for more while there is room (the timer
    // calls it; tests too).
    void tick();
    // Every item of the list was considered and no request is outstanding.
    bool isIdle() const { return next_ >= items_.size() && outstanding_.empty(); }
    std::size_t outstandingCount() const { return outstanding_.size(); }
    // Requests made for the current folders.
    std::size_t askedCount() const { return askedCount_; }
    // How many requests may be outstanding at once.
    static std::size_t window();

private:
    void startTimer();
    void stopTimer();

    Items items_;
    std::size_t next_ = 0;
    Items outstanding_;
    // Items considered for the current folders, by identity (held by Ref in considered_).
    std::unordered_set<const FileSystemItemMO*> consideredSet_;
    Items considered_;
    std::size_t askedCount_ = 0;
    Ref<RunLoop::Timer> timer_;
};

} // namespace vistel
