#pragma once
// ImageCaptureCamera: one camera of the image-capture service, as the camera code sees it: its
// facts, a recursive listing of its files, reads of a file's bytes (in ranges where the driver
// can, else whole), its preview, and deletes. `openGPhotoCamera` opens one through libgphoto2
// from a (model, port) pair; `autodetectCameras` lists what libgphoto2 finds on the buses.
// Tests implement the interface themselves for what a real driver cannot show (range reads,
// refused deletes, failures mid-read).
//
// Threads: every member may be called from any thread. libgphoto2 is not re-entrant for one
// camera, so the libgphoto2 camera makes every call on its `Camera*` under its own lock; two
// cameras never wait for each other.
//
// Errors: members answer 0 or a negative status (Platform/StatusCodes.h); libgphoto2's codes
// are mapped: a missing file -43, a refused operation -1426, anything else -36.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "Platform/StatusCodes.h"

namespace vistel {

// One file on a camera, where the camera keeps it.
struct CameraFileEntry {
    std::string folder; // "/DCIM/100MEDIA"
    std::string name;   // "IMG_0001.JPG"
    std::uint64_t size = 0;
    std::optional<std::int64_t> modificationTime; // seconds since 1970 (UTC)
    std::string mimeType; // "image/jpeg"; empty when the camera does not say
    std::uint32_t width = 0, height = 0; // 0 when the camera does not say
};

struct CameraFacts {
    std::string model;        // the driver's model name
    std::string serialNumber; // empty when the camera gives none
    std::string version;      // the camera's firmware version; empty when unknown
    std::string manufacturer; // empty when unknown
    std::uint32_t usbVendor = 0, usbProduct = 0;
    bool canDelete = false;  // the driver deletes files
    bool hasPreview = false; // the driver gives previews
};

class ImageCaptureCamera {
public:
    virtual ~ImageCaptureCamera() = default;

    virtual CameraFacts facts() = 0;
    // Every file of every folder, folders walked depth first in the camera's order.
    virtual StatusCode listFiles(std::vector<CameraFileEntry>& files) = 0;
    // True when readRange works; otherwise only readWhole reads bytes.
    virtual bool canReadRanges() = 0;
    // Fills `buffer` from `offset`; answers the bytes read in `done`.
    virtual StatusCode readRange(const CameraFileEntry& file, std::uint64_t offset, std::span<std::uint8_t> buffer,
                                 std::uint64_t& done) = 0;
    virtual StatusCode readWhole(const CameraFileEntry& file, std::vector<std::uint8_t>& bytes) = 0;
    // The camera's small picture of the file; -1426 when it has none.
    virtual StatusCode readPreview(const CameraFileEntry& file, std::vector<std::uint8_t>& bytes) = 0;
    virtual StatusCode deleteFile(const CameraFileEntry& file) = 0;
};

// A camera libgphoto2 found: its model and port ("usb:001,005").
struct DetectedCamera {
    std::string model;
    std::string port;
};

// Opens the camera of `model` on `port` ("usb:001,005", or "disk:/some/folder" for the
// "Directory Browse" driver); null with the status in `error` when it cannot be opened.
std::shared_ptr<ImageCaptureCamera> openGPhotoCamera(const std::string& model, const std::string& port,
                                                      StatusCode* error = nullptr);

// The cameras attached now. Ports of type "disk:" are left out: a mounted card is a volume.
std::vector<DetectedCamera> autodetectCameras();

} // namespace vistel
