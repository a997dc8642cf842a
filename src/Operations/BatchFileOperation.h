#pragma once
// BatchFileOperation: copy (type 0), move to the Trash (1), move (4) and rename (6) of a list
// of paths, one path after another, each through one engine operation.
//
// A worker measures every path first (stage 1); then, on the main thread, each path gets the
// locked-item question (Trash, move and rename of volume paths) and the name-taken question
// (copy, move, rename), and its engine operation is started and scheduled on the main loop in
// the default mode. The engine's callbacks become whole-operation records. An existing item is
// replaced only after the user chose "Replace"; a name taken after the question fails the item
// (-48) instead of being replaced unasked. Items are told apart by (st_dev, st_ino), never by
// their spelling: an item moved into its own folder is left where it is (counted done), a
// rename that only changes the case of the name is no clash, a dangling link takes its name.
// A start the engine refuses (a camera item trashed or renamed: -1426) is reported and
// skipped; a failure of the engine stops the batch after one alert, with an item the user had
// unlocked locked again.
//
// Thread rules: the main thread; the measuring worker touches only its own job.

#include <memory>
#include <optional>

#include "Operations/FileOperation.h"

namespace vistel {

class BatchFileOperation : public FileOperation {
public:
    static Ref<BatchFileOperation> create(Paths paths, Value options, int operationType);

    void setDestinationFolder(std::string folder) { toPath_ = std::move(folder); }
    void setNames(std::vector<std::string> names) { toNames_ = std::move(names); }
    void setFlags(std::uint32_t flags) { flags_ = flags; }
    void setInterval(double seconds) { interval_ = seconds; }

    int filesCount() const override { return int(pathesList_.size()); }

    // Starts measuring (factories call it through launch()).
    void preflight() override;

private:
    BatchFileOperation(Paths paths, Value options, int operationType);

    struct Measure;

    void preflightComplete(const std::shared_ptr<Measure>& measure);
    void startNext() override;
    void skipNext() override;
    bool cancelRunningItem() override;
    void advance(std::uint64_t bytes);
    // The destination path to use, or nullopt when the item is not processed now (a skip or
    // stop is scheduled, or it was counted done). `overwrite` tells whether the user chose
    // to replace what is there.
    std::optional<std::string> checkDuplicate(const std::string& source, const std::string& name, bool& overwrite);
    void status(const char* item, std::uint32_t stage, StatusCode error, const Value& dictionary);
    void addStatusStringsTo(Value& record) const override;

    Paths pathesList_;
    std::vector<std::uint64_t> pathesSizes_;
    std::size_t index_ = 0;
    std::string toPath_;
    std::vector<std::string> toNames_;
    std::uint32_t flags_ = 0;
    double interval_ = 0.1;
    std::uint64_t totalBytesDone_ = 0;
    std::uint64_t totalBytes_ = 0;
    int totalItemsDone_ = 0;
    int totalItems_ = 0;
};

} // namespace vistel
