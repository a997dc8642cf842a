#pragma once
// Cameras for the camera tests: a registry over a fixture mount table that detects no camera
// by itself, a fake camera for what libgphoto2's "Directory Browse" driver cannot show (range
// reads, refused deletes, failures mid-read, huge files), and a recorder of copy reports.

#include <chrono>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "Common/FileSystem/FileSystemFunctions.h"
#include "Common/Volumes/CameraDiscovery.h"
#include "Common/Volumes/VolumeSources.h"
#include "Common/Volumes/ZovVolumeManager.h"
#include "Platform/RunLoop.h"

namespace vistel::test {

inline std::vector<std::uint8_t> fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline std::vector<std::uint8_t> patternBytes(std::size_t size, std::uint8_t seed)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t index = 0; index < size; ++index)
        bytes[index] = std::uint8_t(index * 31 + seed);
    return bytes;
}

// A volume manager over a mount table of "/" only, with the camera sources given.
struct CameraRegistry {
    explicit CameraRegistry(CameraDiscoverySources cameras = {})
        : facts(rootOnly()), discovery([&] {
              if (!cameras.autodetect)
                  cameras.autodetect = [] { return std::vector<DetectedCamera> {}; };
              cameras.watchUdev = false;
              return cameras;
          }()),
          manager(ZovVolumeManager::create())
    {
        manager->installMountHandler();
    }
    static VolumeFactsSources rootOnly()
    {
        VolumeFactsSources sources;
        sources.mountTableText = [] { return std::string("20 1 0:30 / / rw,relatime shared:1 - overlay overlay rw\n"); };
        sources.blockDevice = [](dev_t) { return std::optional<BlockDeviceFacts>(); };
        sources.homeFolder = "/home/alice";
        sources.userName = "alice";
        return sources;
    }
    ScopedVolumeFactsSources facts;
    ScopedCameraDiscoverySources discovery;
    Ref<ZovVolumeManager> manager;
};

// A camera in memory.
class FakeCamera final : public ImageCaptureCamera {
public:
    struct File {
        CameraFileEntry entry;
        std::vector<std::uint8_t> bytes;
    };
    using Clock = std::chrono::steady_clock;

    std::vector<File> files;
    bool ranges = true;
    bool canDelete = false;
    std::chrono::milliseconds stepDelay {0};
    std::optional<std::uint64_t> failAtOffset; // a range read at or past it fails (-36)
    std::string serialNumber;
    std::function<void(std::uint64_t offset)> onRangeRead; // called before each range read

    std::mutex mutex; // guards the records below
    int rangeReads = 0;
    int wholeReads = 0;
    std::vector<std::pair<std::string, Clock::time_point>> readStarts; // name, time
    std::vector<std::pair<std::string, Clock::time_point>> readEnds;

    void add(std::string folder, std::string name, std::vector<std::uint8_t> bytes, std::string mime = "image/jpeg",
             std::optional<std::uint64_t> listedSize = std::nullopt)
    {
        File file;
        file.entry.folder = std::move(folder);
        file.entry.name = std::move(name);
        file.entry.size = listedSize.value_or(bytes.size());
        file.entry.mimeType = std::move(mime);
        file.entry.modificationTime = 1700000000;
        file.bytes = std::move(bytes);
        files.push_back(std::move(file));
    }

    CameraFacts facts() override
    {
        CameraFacts facts;
        facts.model = "Fake Camera";
        facts.serialNumber = serialNumber;
        facts.canDelete = canDelete;
        return facts;
    }
    StatusCode listFiles(std::vector<CameraFileEntry>& out) override
    {
        out.clear();
        for (const File& file : files)
            out.push_back(file.entry);
        return status::NoError;
    }
    bool canReadRanges() override { return ranges; }
    StatusCode readRange(const CameraFileEntry& entry, std::uint64_t offset, std::span<std::uint8_t> buffer,
                         std::uint64_t& done) override
    {
        record(entry, readStarts);
        if (onRangeRead)
            onRangeRead(offset);
        {
            std::lock_guard lock(mutex);
            ++rangeReads;
        }
        std::this_thread::sleep_for(stepDelay);
        done = 0;
        const File* file = find(entry);
        if (!file || (failAtOffset && offset >= *failAtOffset))
            return status::IOError;
        const std::uint64_t count = std::min<std::uint64_t>(buffer.size(), file->bytes.size() - offset);
        std::memcpy(buffer.data(), file->bytes.data() + offset, count);
        done = count;
        record(entry, readEnds);
        return status::NoError;
    }
    StatusCode readWhole(const CameraFileEntry& entry, std::vector<std::uint8_t>& bytes) override
    {
        {
            std::lock_guard lock(mutex);
            ++wholeReads;
        }
        const File* file = find(entry);
        if (!file)
            return status::NoSuchObject;
        bytes = file->bytes;
        return status::NoError;
    }
    StatusCode readPreview(const CameraFileEntry&, std::vector<std::uint8_t>&) override
    {
        return status::OperationNotSupported;
    }
    StatusCode deleteFile(const CameraFileEntry& entry) override
    {
        std::erase_if(files, [&](const File& file) { return file.entry.folder == entry.folder && file.entry.name == entry.name; });
        return status::NoError;
    }
    int reads()
    {
        std::lock_guard lock(mutex);
        return rangeReads + wholeReads;
    }

private:
    const File* find(const CameraFileEntry& entry) const
    {
        for (const File& file : files)
            if (file.entry.folder == entry.folder && file.entry.name == entry.name)
                return &file;
        return nullptr;
    }
    void record(const CameraFileEntry& entry, std::vector<std::pair<std::string, Clock::time_point>>& into)
    {
        std::lock_guard lock(mutex);
        into.emplace_back(entry.name, Clock::now());
    }
};

// The reports of one camera copy, received on the main thread.
struct CopyReports {
    struct Report {
        std::uint32_t stage;
        StatusCode error;
        std::uint64_t bytesDone;
        std::uint64_t totalBytes;
    };
    std::vector<Report> reports;
    bool onMainThread = true;

    FSFileOperationStatusCallback callback(std::function<void(const Report&)> also = {})
    {
        return [this, also](FSFileOperation*, const char*, std::uint32_t stage, StatusCode error,
                            const Value& dictionary, Object*) {
            onMainThread = onMainThread && RunLoop::isMainThread();
            Report report {stage, error, std::uint64_t(dictionary.get(kFSOperationBytesCompleteKey).toInt64()),
                           std::uint64_t(dictionary.get(kFSOperationTotalBytesKey).toInt64())};
            reports.push_back(report);
            if (also)
                also(report);
        };
    }
    std::size_t finals() const
    {
        std::size_t count = 0;
        for (const Report& report : reports)
            count += report.stage == kFSOperationStageComplete;
        return count;
    }
    std::vector<std::uint64_t> progress() const
    {
        std::vector<std::uint64_t> done;
        for (const Report& report : reports)
            if (report.stage == kFSOperationStageRunning)
                done.push_back(report.bytesDone);
        return done;
    }
    // Runs the main loop until the final report came (10 s at most), then a little longer, so
    // that a second one would show.
    bool waitForFinal()
    {
        using namespace std::chrono_literals;
        RunLoop* loop = RunLoop::current();
        const auto deadline = RunLoop::Clock::now() + 10s;
        while (finals() == 0 && RunLoop::Clock::now() < deadline)
            loop->runUntil(RunLoop::Clock::now() + 10ms);
        loop->runUntil(RunLoop::Clock::now() + 150ms);
        return finals() == 1;
    }
};

} // namespace vistel::test
