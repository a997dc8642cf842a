// The libgphoto2 camera: one `Camera*` and one context per camera, every call under the
// camera's lock.

#include <dlfcn.h>
#include <gphoto2/gphoto2.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "Platform/FilePaths.h"
#include "Platform/FolderListing.h"
#include "Platform/ImageCapture/ImageCaptureCamera.h"
#include "Platform/Log.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VISTEL_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define VISTEL_ADDRESS_SANITIZER 1
#endif
#if VISTEL_ADDRESS_SANITIZER
#include <sanitizer/lsan_interface.h>
#endif

namespace vistel {

namespace {

// What libgphoto2 allocates while it reads its port list or detects cameras, and never frees
// (see the suppressions at the end), is left out of the sanitizer build's leak check from the
// start. Matched against the suppressions at exit instead, its thousands of records made every
// program that detects cameras read the debug information of its stacks, a fifth of a second.
#if VISTEL_ADDRESS_SANITIZER
using LibraryLeaksIgnored = __lsan::ScopedDisabler;
#else
struct LibraryLeaksIgnored {
    LibraryLeaksIgnored() {}
};
#endif

StatusCode statusFromGPhoto(int result)
{
    if (result >= GP_OK)
        return status::NoError;
    switch (result) {
    case GP_ERROR_FILE_NOT_FOUND:
    case GP_ERROR_DIRECTORY_NOT_FOUND:
    case GP_ERROR_MODEL_NOT_FOUND:
    case GP_ERROR_IO_USB_FIND: return status::NoSuchObject;
    case GP_ERROR_NOT_SUPPORTED: return status::OperationNotSupported;
    case GP_ERROR_CANCEL: return status::UserCanceled;
    case GP_ERROR_NO_MEMORY: return status::MemoryFull;
    default: return status::IOError;
    }
}

std::string joinFolder(const std::string& folder, const char* name)
{
    return folder == "/" ? "/" + std::string(name) : folder + "/" + name;
}

// libgphoto2 opens every driver and port library to read its table, and closes it again; the
// libraries those drivers pull in (an HTTP client, XML, image libraries) then go away with
// what their start-up allocated. Loaded once here and never unloaded, they stay for the run.
void keepDriversLoaded()
{
    for (const char* variable : {"CAMLIBS", "IOLIBS"}) {
        const char* overridden = std::getenv(variable);
        const std::string folder = overridden && *overridden
            ? overridden
            : (std::string_view(variable) == "CAMLIBS" ? VISTEL_GPHOTO2_CAMLIBS : VISTEL_GPHOTO2_IOLIBS);
        std::vector<std::string> names;
        if (listFolder(folder, names) != 0)
            continue;
        for (const std::string& name : names) {
            if (pathExtension(name) != "so")
                continue;
            if (void* handle = ::dlopen(joinPath(folder, name).c_str(), RTLD_LAZY | RTLD_LOCAL | RTLD_NODELETE))
                ::dlclose(handle); // stays loaded: RTLD_NODELETE
        }
    }
}

// The driver table is read from disk once per process (hundreds of drivers); the port table
// too, for opening cameras by port (detection reads the ports afresh: devices come and go).
struct Tables {
    std::mutex mutex;
    CameraAbilitiesList* abilities = nullptr;
    GPPortInfoList* ports = nullptr;
};

Tables& tables()
{
    static Tables* shared = [] {
        keepDriversLoaded();
        auto* made = new Tables();
        GPContext* context = gp_context_new();
        if (gp_abilities_list_new(&made->abilities) >= GP_OK)
            gp_abilities_list_load(made->abilities, context);
        if (gp_port_info_list_new(&made->ports) >= GP_OK) {
            const LibraryLeaksIgnored ignored;
            gp_port_info_list_load(made->ports);
        }
        gp_context_unref(context);
        return made;
    }();
    return *shared;
}

class GPhotoCamera final : public ImageCaptureCamera {
public:
    GPhotoCamera(Camera* camera, GPContext* context, const CameraAbilities& abilities)
        : camera_(camera), context_(context), abilities_(abilities)
    {
    }
    ~GPhotoCamera() override
    {
        gp_camera_exit(camera_, context_);
        gp_camera_unref(camera_);
        gp_context_unref(context_);
    }

    CameraFacts facts() override
    {
        std::lock_guard lock(mutex_);
        CameraFacts facts;
        facts.model = abilities_.model;
        facts.usbVendor = std::uint32_t(abilities_.usb_vendor);
        facts.usbProduct = std::uint32_t(abilities_.usb_product);
        facts.canDelete = (abilities_.file_operations & GP_FILE_OPERATION_DELETE) != 0;
        facts.hasPreview = (abilities_.file_operations & GP_FILE_OPERATION_PREVIEW) != 0;
        CameraText summary {};
        if (gp_camera_get_summary(camera_, &summary, context_) >= GP_OK) {
            facts.serialNumber = summaryLine(summary.text, "Serial Number:");
            facts.manufacturer = summaryLine(summary.text, "Manufacturer:");
            facts.version = summaryLine(summary.text, "Device Version:");
        }
        return facts;
    }

    StatusCode listFiles(std::vector<CameraFileEntry>& files) override
    {
        std::lock_guard lock(mutex_);
        files.clear();
        // The library keeps what it listed before: a reload after a change must see the change.
        gp_filesystem_reset(camera_->fs);
        return listFolder("/", files, 0);
    }

    bool canReadRanges() override
    {
        std::lock_guard lock(mutex_);
        return rangesSupported_;
    }

    StatusCode readRange(const CameraFileEntry& file, std::uint64_t offset, std::span<std::uint8_t> buffer,
                         std::uint64_t& done) override
    {
        std::lock_guard lock(mutex_);
        done = 0;
        if (!rangesSupported_)
            return status::OperationNotSupported;
        std::uint64_t size = buffer.size();
        const int result = gp_camera_file_read(camera_, file.folder.c_str(), file.name.c_str(), GP_FILE_TYPE_NORMAL,
                                               offset, reinterpret_cast<char*>(buffer.data()), &size, context_);
        if (result == GP_ERROR_NOT_SUPPORTED)
            rangesSupported_ = false;
        if (result < GP_OK)
            return statusFromGPhoto(result);
        done = size;
        return status::NoError;
    }

    StatusCode readWhole(const CameraFileEntry& file, std::vector<std::uint8_t>& bytes) override
    {
        return get(file, GP_FILE_TYPE_NORMAL, bytes);
    }

    StatusCode readPreview(const CameraFileEntry& file, std::vector<std::uint8_t>& bytes) override
    {
        if (!(abilities_.file_operations & GP_FILE_OPERATION_PREVIEW))
            return status::OperationNotSupported;
        return get(file, GP_FILE_TYPE_PREVIEW, bytes);
    }

    StatusCode deleteFile(const CameraFileEntry& file) override
    {
        std::lock_guard lock(mutex_);
        return statusFromGPhoto(gp_camera_file_delete(camera_, file.folder.c_str(), file.name.c_str(), context_));
    }

private:
    static std::string summaryLine(const char* text, const char* label)
    {
        const char* found = std::strstr(text, label);
        if (!found)
            return {};
        found += std::strlen(label);
        while (*found == ' ' || *found == '\t')
            ++found;
        const char* end = std::strchr(found, '\n');
        std::string value(found, end ? std::size_t(end - found) : std::strlen(found));
        while (!value.empty() && (value.back() == ' ' || value.back() == '\r'))
            value.pop_back();
        return value;
    }

    // Called under mutex_. Folders deeper than 32 levels are not walked (a driver that
    // answers a folder inside itself would never end).
    StatusCode listFolder(const std::string& folder, std::vector<CameraFileEntry>& files, int depth)
    {
        if (depth > 32)
            return status::NoError;
        CameraList* list = nullptr;
        if (gp_list_new(&list) < GP_OK)
            return status::MemoryFull;
        int result = gp_camera_folder_list_files(camera_, folder.c_str(), list, context_);
        for (int index = 0; result >= GP_OK && index < gp_list_count(list); ++index) {
            const char* name = nullptr;
            gp_list_get_name(list, index, &name);
            if (!name)
                continue;
            CameraFileEntry entry;
            entry.folder = folder;
            entry.name = name;
            CameraFileInfo info {};
            if (gp_camera_file_get_info(camera_, folder.c_str(), name, &info, context_) >= GP_OK) {
                if (info.file.fields & GP_FILE_INFO_SIZE)
                    entry.size = info.file.size;
                if (info.file.fields & GP_FILE_INFO_MTIME)
                    entry.modificationTime = std::int64_t(info.file.mtime);
                if (info.file.fields & GP_FILE_INFO_TYPE)
                    entry.mimeType = info.file.type;
                if (info.file.fields & GP_FILE_INFO_WIDTH)
                    entry.width = info.file.width;
                if (info.file.fields & GP_FILE_INFO_HEIGHT)
                    entry.height = info.file.height;
            }
            files.push_back(std::move(entry));
        }
        std::vector<std::string> folders;
        if (result >= GP_OK) {
            gp_list_reset(list);
            result = gp_camera_folder_list_folders(camera_, folder.c_str(), list, context_);
            for (int index = 0; result >= GP_OK && index < gp_list_count(list); ++index) {
                const char* name = nullptr;
                gp_list_get_name(list, index, &name);
                if (name)
                    folders.push_back(joinFolder(folder, name));
            }
        }
        gp_list_free(list);
        if (result < GP_OK)
            return statusFromGPhoto(result);
        for (const std::string& child : folders)
            if (const StatusCode failed = listFolder(child, files, depth + 1))
                return failed;
        return status::NoError;
    }

    StatusCode get(const CameraFileEntry& file, CameraFileType type, std::vector<std::uint8_t>& bytes)
    {
        std::lock_guard lock(mutex_);
        bytes.clear();
        CameraFile* cameraFile = nullptr;
        if (gp_file_new(&cameraFile) < GP_OK)
            return status::MemoryFull;
        int result = gp_camera_file_get(camera_, file.folder.c_str(), file.name.c_str(), type, cameraFile, context_);
        if (result >= GP_OK) {
            const char* data = nullptr;
            unsigned long size = 0;
            result = gp_file_get_data_and_size(cameraFile, &data, &size);
            if (result >= GP_OK && data)
                bytes.assign(reinterpret_cast<const std::uint8_t*>(data), reinterpret_cast<const std::uint8_t*>(data) + size);
        }
        gp_file_unref(cameraFile);
        return statusFromGPhoto(result);
    }

    std::mutex mutex_; // every call on camera_
    Camera* camera_;
    GPContext* context_;
    CameraAbilities abilities_;
    bool rangesSupported_ = true; // until the driver says otherwise
};

} // namespace

std::shared_ptr<ImageCaptureCamera> openGPhotoCamera(const std::string& model, const std::string& port,
                                                      StatusCode* error)
{
    auto fail = [&](int result) -> std::shared_ptr<ImageCaptureCamera> {
        if (error)
            *error = result < GP_OK ? statusFromGPhoto(result) : status::NoSuchObject;
        ZovLog("openGPhotoCamera can't open " + model + " on " + port);
        return nullptr;
    };
    CameraAbilities abilities {};
    GPPortInfo portInfo {};
    {
        Tables& shared = tables();
        std::lock_guard lock(shared.mutex);
        if (!shared.abilities || !shared.ports)
            return fail(GP_ERROR_NO_MEMORY);
        const int modelIndex = gp_abilities_list_lookup_model(shared.abilities, model.c_str());
        if (modelIndex < GP_OK || gp_abilities_list_get_abilities(shared.abilities, modelIndex, &abilities) < GP_OK)
            return fail(modelIndex);
        int portIndex = gp_port_info_list_lookup_path(shared.ports, port.c_str());
        if (portIndex < GP_OK && port.starts_with("disk:")) {
            // A folder nobody mounted: described here, as the driver needs it.
            GPPortInfo made {};
            gp_port_info_new(&made);
            gp_port_info_set_type(made, GP_PORT_DISK);
            gp_port_info_set_name(made, "Folder");
            gp_port_info_set_path(made, port.c_str());
            portIndex = gp_port_info_list_append(shared.ports, made);
        }
        if (portIndex < GP_OK || gp_port_info_list_get_info(shared.ports, portIndex, &portInfo) < GP_OK)
            return fail(portIndex);
    }
    Camera* camera = nullptr;
    if (gp_camera_new(&camera) < GP_OK)
        return fail(GP_ERROR_NO_MEMORY);
    GPContext* context = gp_context_new();
    int result = gp_camera_set_abilities(camera, abilities);
    if (result >= GP_OK)
        result = gp_camera_set_port_info(camera, portInfo);
    if (result >= GP_OK)
        result = gp_camera_init(camera, context);
    if (result < GP_OK) {
        gp_camera_unref(camera);
        gp_context_unref(context);
        return fail(result);
    }
    if (error)
        *error = status::NoError;
    return std::make_shared<GPhotoCamera>(camera, context, abilities);
}

std::vector<DetectedCamera> autodetectCameras()
{
    std::vector<DetectedCamera> found;
    Tables& shared = tables();
    CameraList* list = nullptr;
    GPPortInfoList* ports = nullptr;
    if (gp_list_new(&list) < GP_OK)
        return found;
    GPContext* context = gp_context_new();
    int result = gp_port_info_list_new(&ports);
    if (result >= GP_OK) {
        const LibraryLeaksIgnored ignored;
        result = gp_port_info_list_load(ports);
        if (result >= GP_OK) {
            std::lock_guard lock(shared.mutex);
            result = shared.abilities ? gp_abilities_list_detect(shared.abilities, ports, list, context) : GP_ERROR;
        }
    }
    if (ports)
        gp_port_info_list_free(ports);
    if (result >= GP_OK) {
        for (int index = 0; index < gp_list_count(list); ++index) {
            const char* model = nullptr;
            const char* port = nullptr;
            gp_list_get_name(list, index, &model);
            gp_list_get_value(list, index, &port);
            if (model && port && !std::string_view(port).starts_with("disk:"))
                found.push_back({model, port});
        }
    }
    gp_context_unref(context);
    gp_list_free(list);
    return found;
}

} // namespace vistel

#if VISTEL_ADDRESS_SANITIZER
// Leaks of libgphoto2's own that the sanitizer build must not report: its "usb1" port library
// lists the USB devices with libusb_get_device_list whenever it reads the ports (opening a USB
// camera too) and never frees the list nor its per-device records.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libusb_get_device_list\n"
           "leak:libgphoto2_port/*/usb1.so\n";
}
#endif
