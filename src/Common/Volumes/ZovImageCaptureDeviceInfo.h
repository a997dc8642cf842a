#pragma once
// ZovImageCaptureDeviceInfo: one attached camera as the catalogue sees it. Its mount point is
// "ICA:/<identifier>"; its files are one flat list of CameraFileObjects found by name
// ("ICA:/41/IMG_0001.JPG"). It answers their attributes, thumbnails and sizes, deletes them,
// reads their bytes through one FileSystemObjectDataCache per file, and copies them into
// folders (downloadFileSystemObjectToPath) on a thread of their own.
//
// Names: a camera keeps files in folders, the catalogue shows one flat list. A name that
// occurs in several folders (normal after the camera's counter wrapped) is shown qualified by
// its folder before the extension, "IMG_0001 (101MEDIA).JPG", so every camera path names
// exactly one file.
//
// Identifiers: given by the volume manager, positive and below 2^31, their low 16 bits read
// as a signed 16-bit number in 1..32767, never reused in a run: they never meet volume
// reference numbers (negative) nor 0.
//
// Threads: every member may be called from any thread. `fileSystemLock_` guards the file
// list and deletes, `dataCacheLock_` the table of data caches; the camera itself serialises
// its own calls (ImageCaptureCamera). Progress reports of copies run on the main thread.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Common/FileSystem/FileSystemFunctions.h"
#include "Common/Volumes/FileSystemObjectDataCache.h"
#include "Common/Volumes/ZovDeviceInfo.h"
#include "Platform/ImageCapture/ImageCaptureCamera.h"

namespace vistel {

// One file on a camera: where the camera keeps it, and the name the catalogue shows.
class CameraFileObject final : public Object {
public:
    static Ref<CameraFileObject> create(CameraFileEntry entry, std::string name, std::uint32_t identifier);

    const CameraFileEntry& entry() const { return entry_; }
    const std::string& name() const { return name_; }
    // "icao": unique among the files of the run; never 0.
    std::uint32_t identifier() const { return identifier_; }
    std::uint64_t size() const { return entry_.size; }
    // "imag" for pictures, "movi" for videos, "soun" for sound, else "data".
    std::string typeCode() const;
    bool isImage() const { return typeCode() == "imag"; }
    // The file's modification time (the camera's file time; cameras give no EXIF dates here).
    Date modificationDate() const;
    // "ifil", "icao", "isiz", "file", "9003", "9004", and "0100"/"0101" when known.
    Value properties() const;

private:
    CameraFileObject(CameraFileEntry entry, std::string name, std::uint32_t identifier);
    CameraFileEntry entry_;
    std::string name_;
    std::uint32_t identifier_;
};

class ZovImageCaptureDeviceInfo final : public ZovDeviceInfo {
    ZOV_CLASS(ZovImageCaptureDeviceInfo, ZovDeviceInfo)

    using Data = FileSystemObjectDataCache::Data;

    // Thumbnail and viewing reads never take a non-picture file above this size whole.
    static constexpr std::uint64_t MaxWholeReadOfNonImage = 64ull << 20;
    // Step sizes of downloads and of whole reads for thumbnails and viewing.
    static constexpr std::uint64_t DownloadStep = 81920;
    static constexpr std::uint64_t ReadStep = 204800;

    // Describes the camera and lists its files; null when the camera answers nothing.
    // `devicePath` (udev DEVPATH) names a USB camera without serial number; `releaser`
    // replaces the shared object cache (tests).
    static Ref<ZovImageCaptureDeviceInfo> create(std::uint32_t identifier, std::shared_ptr<ImageCaptureCamera> camera,
                                                 std::string port, std::string devicePath = {},
                                                 ObjectsCacheReleaser* releaser = nullptr);

    std::uint32_t icaObject() const { return icaObject_; }
    const std::string& port() const { return port_; }
    const std::string& devicePath() const { return devicePath_; }
    bool isEqual(std::int64_t identifier) const { return identifier == std::int64_t(icaObject_); }
    using ZovDeviceInfo::isEqual;

    bool isFileSystemObjectsCanBeDeleted() const override;
    bool isFileSystemObjectsCanBeUploaded() const override { return false; }
    bool isDeviceCanBeErased() const override { return false; }
    bool isDeviceCanCaptureNewImage() const override { return false; }

    // ---- File objects
    void reloadDeviceProperties();
    void reloadFileSystemObjects();
    // Reloads both and, when asked, posts "FileIsWrittenToNotification" for the mount point
    // on the calling thread.
    void reloadFileSystemObjectsAndDevicePropertiesDictionary(bool notify);
    std::vector<Ref<CameraFileObject>> fileSystemObjectsArray();
    std::size_t fileSystemObjectsCount();
    Ref<CameraFileObject> fileSystemObjectAtIndex(std::size_t index);
    Ref<CameraFileObject> fileSystemObjectWithName(const std::string& name);
    // The file named by the last component of a path on this camera; null for the root and
    // for a path of another camera.
    Ref<CameraFileObject> fileSystemObjectAtPath(const std::string& path);

    static Value fileSytemAttributesForObject(const Ref<CameraFileObject>& object);
    // The camera's preview of the file; without one, the bytes of a picture of at most
    // MaxWholeReadOfNonImage bytes; else null.
    Data fileSystemObjectThumbnailData(const Ref<CameraFileObject>& object);

    // 0, -43 (null object or none on the camera), -54 (the camera cannot delete), or the
    // camera's status.
    StatusCode deleteFileSystemObject(const Ref<CameraFileObject>& object);

    // ---- Data
    CameraThumbnailLock& lockThumbnailGenerationMutex() { return thumbnailLock_; }
    Ref<FileSystemObjectDataCache> fileSystemObjectDataCache(const Ref<CameraFileObject>& object);
    // The whole bytes as a thumbnail reader; null with -43 in `error` when they cannot be
    // read, or when the file is not a picture and larger than MaxWholeReadOfNonImage.
    Data fileSystemObjectData(const Ref<CameraFileObject>& object, StatusCode* error = nullptr);

    // What a camera copy needs; `record` carries the cancel flag.
    struct Transfer {
        std::string source;
        std::string targetFolder;
        std::optional<std::string> targetName;
        Ref<FileOperationRecord> record;
        FSFileOperationStatusCallback callback;
        Ref<Object> info;
    };
    // Copies the camera file into the folder on a new thread: a first report (stage 1), one
    // per 81,920-byte step between steps (stage 2), and exactly one final report (stage 3)
    // with 0 or the failure (-128 after a cancel), all on the main thread; only the final one
    // is waited for. A failed or cancelled copy leaves no file. `camera` is the camera of the
    // source (null: -43).
    static void startDownload(Ref<ZovImageCaptureDeviceInfo> camera, Transfer transfer);
    // The body of that thread.
    static StatusCode downloadFileSystemObjectToPath(const Ref<ZovImageCaptureDeviceInfo>& camera,
                                                     const Transfer& transfer);

    ImageCaptureCamera& camera() const { return *camera_; }

private:
    ZovImageCaptureDeviceInfo(std::uint32_t identifier, std::shared_ptr<ImageCaptureCamera> camera, std::string port,
                              std::string devicePath, ObjectsCacheReleaser* releaser);
    void buildFileSystemObjects(); // under fileSystemLock_

    const std::uint32_t icaObject_;
    const std::shared_ptr<ImageCaptureCamera> camera_;
    const std::string port_;
    const std::string devicePath_;
    ObjectsCacheReleaser* releaser_;

    mutable std::mutex propertiesLock_; // guards facts_
    CameraFacts facts_;
    std::mutex fileSystemLock_; // guards the file list and deletes
    bool filesListed_ = false;
    std::vector<Ref<CameraFileObject>> fileSystemObjectsArray_;
    std::map<std::string, Ref<CameraFileObject>> fileSystemObjectsDictionary_;
    std::map<std::string, std::uint32_t> identifiers_; // folder/name -> identifier, kept across reloads
    std::mutex dataCacheLock_;
    std::map<std::uint32_t, Ref<FileSystemObjectDataCache>> cachedFileSystmeObjectsData_;
    CameraThumbnailLock thumbnailLock_;
};

} // namespace vistel
