#pragma once
// FoldersObjectsOperator: permanent deletion (type 2) of the selected items, folders with
// everything in them.
//
// A worker collects every item below the selected paths (FSObjectInfo::collectFolderItems:
// each folder after its contents, links as links, never followed); the main thread then
// deletes the items in that order on short-lived workers, each taking the run of items up to
// the next one that needs a question and handing the results back in small batches, never
// more than a few dozen items ahead of the recorded ones. A locked item, or an
// item in a locked folder, gets the locked-item question. "Skip" keeps that item and, without
// another question, every folder above it up to the selected item (they cannot be emptied);
// the rest goes on. Records carry the item's name, not its path.
//
// A cancel while collecting deletes nothing; a cancel while an item is being deleted lets
// that one deletion end and deletes nothing more. Either way the final record is stage 4.
//
// Thread rules: the main thread; the workers touch only their own job.

#include <memory>
#include <set>

#include "Common/FileSystem/FSObjectInfo.h"
#include "Operations/FileOperation.h"

namespace vistel {

class FoldersObjectsOperator : public FileOperation {
public:
    static Ref<FoldersObjectsOperator> create(Paths paths, Value options, int operationType);

    int filesCount() const override { return int(std::uint32_t(totalItems_)); }

    void preflight() override;

private:
    FoldersObjectsOperator(Paths paths, Value options, int operationType);

    struct Collect;
    struct DeleteJob;

    void preflightComplete(const std::shared_ptr<Collect>& collect);
    void startNext() override;
    void skipNext() override;
    bool cancelRunningItem() override;
    // The result of the item at the current index.
    void handleFileOperation(StatusCode error);
    // Results the deletion worker handed back, in order, for the items from the current index.
    void handleResults(DeleteJob& job, const std::vector<StatusCode>& results);
    // The deletion worker ended its run of items.
    void deletionRunEnded();
    // Tells the workspace that the current item's folder changed (when `always`, or when it is
    // another folder than the last one told: the notices coalesce anyway).
    void noteParentChanged(bool always);
    void complete();
    // Marks the selected-tree folders above `path` to be kept silently.
    void keepFoldersAbove(const std::string& path);
    bool isKeptFolder(const FSObjectInfo& item) const;
    void addStatusStringsTo(Value& record) const override;

    Paths selectedObjects_;
    std::vector<Ref<FSObjectInfo>> objectsToProcess_;
    std::uint64_t currentProcessIndex_ = 0;
    std::uint64_t totalBytesDone_ = 0;
    std::uint64_t totalBytes_ = 0;
    std::uint64_t totalItems_ = 0;
    // Deletes a run of items that need no question; set while it works.
    Ref<NSThreadExt> deleteThread_;
    std::shared_ptr<DeleteJob> deleteJob_;
    std::string lastNotedFolder_;
    // Folders kept because something in them was skipped, by (device, inode).
    std::set<std::pair<dev_t, ino_t>> keptFolders_;
};

} // namespace vistel
