#include "Common/Volumes/ZovVolumeInfo.h"

#include <strings.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <fstream>

#include "Common/FileSystem/FSRef.h"
#include "Platform/FilePaths.h"
#include "Common/FileSystem/ObjectLock.h"
#include "Common/Tools/Threads/NSThreadExt.h"
#include "Common/Volumes/VolumeSources.h"
#include "Common/XML/XMLDocumentID.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

const std::vector<std::string> volumeKeyParameters {
    DeviceParameter::CreationTime, DeviceParameter::SerialNumber, DeviceParameter::VendorID, DeviceParameter::ProductID,
    DeviceParameter::Type,         DeviceParameter::Size,         DeviceParameter::PartitionID,
};

std::string property(const BlockDeviceFacts& facts, const char* name)
{
    const auto found = facts.properties.find(name);
    return found == facts.properties.end() ? std::string() : found->second;
}

std::string usbAttribute(const BlockDeviceFacts& facts, const char* name)
{
    const auto found = facts.usbDevice.find(name);
    return found == facts.usbDevice.end() ? std::string() : found->second;
}

// A USB identifier ("05ac") as its number (1452); the text itself when it is not hexadecimal.
Value usbIdentifier(const std::string& text)
{
    unsigned value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size())
        return text.empty() ? Value() : Value(text);
    return Value(value);
}

std::string readSysfsText(const std::string& file)
{
    std::ifstream in(file);
    std::string text;
    in >> text;
    return text;
}

// The kind of disc in an optical drive, from udev's media properties.
std::string opticalMediaType(const BlockDeviceFacts& facts)
{
    static constexpr std::array<std::pair<const char*, const char*>, 10> kinds {{
        {"ID_CDROM_MEDIA_BD", "BD-ROM"},
        {"ID_CDROM_MEDIA_DVD_PLUS_RW", "DVD+RW"},
        {"ID_CDROM_MEDIA_DVD_PLUS_R", "DVD+R"},
        {"ID_CDROM_MEDIA_DVD_RW", "DVD-RW"},
        {"ID_CDROM_MEDIA_DVD_R", "DVD-R"},
        {"ID_CDROM_MEDIA_DVD_RAM", "DVD-RAM"},
        {"ID_CDROM_MEDIA_DVD", "DVD-ROM"},
        {"ID_CDROM_MEDIA_CD_RW", "CD-RW"},
        {"ID_CDROM_MEDIA_CD_R", "CD-R"},
        {"ID_CDROM_MEDIA_CD", "CD-ROM"},
    }};
    for (const auto& [name, text] : kinds)
        if (property(facts, name) == "1")
            return text;
    return {};
}

bool isDVD(const BlockDeviceFacts& facts)
{
    for (const auto& [name, value] : facts.properties)
        if ((name.starts_with("ID_CDROM_MEDIA_DVD") || name.starts_with("ID_CDROM_MEDIA_BD")) && value == "1")
            return true;
    return false;
}

std::string translatedUnknown()
{
    return ZOV_TRANSLATE_AS(ZovVolumeInfo::staticZovClass(), "Unknown", "collectInformation");
}

// The text of `value` as a number, grouped by thousands with "," and with `decimals` digits
// after a ".".
std::string groupedNumber(double value, int decimals)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    std::string text = buffer;
    const std::size_t start = text.starts_with('-') ? 1 : 0;
    std::size_t point = text.find('.');
    if (point == std::string::npos)
        point = text.size();
    for (std::size_t i = point; i > start + 3; i -= 3)
        text.insert(i - 3, ",");
    return text;
}

// The user's folders for removable media are read once, when the volume is described.
std::string relativePathOf(const std::string& path, const std::string& name, const std::string& user)
{
    if (path.empty())
        return name;
    std::vector<std::string> prefixes;
    if (!user.empty()) {
        prefixes.push_back("/run/media/" + user + "/");
        prefixes.push_back("/media/" + user + "/");
    }
    prefixes.insert(prefixes.end(), {"/media/", "/mnt/"});
    for (const std::string& prefix : prefixes)
        if (path.size() > prefix.size() && path.starts_with(prefix))
            return path.substr(prefix.size());
    static constexpr std::string_view volumes = "/Volumes/";
    if (path.size() > volumes.size() && ::strncasecmp(path.c_str(), volumes.data(), volumes.size()) == 0)
        return path.substr(volumes.size());
    return path;
}

} // namespace

// One statvfs at a time per volume, on a worker: a call that is still stuck on a dead share
// is waited for again by the next check instead of starting another.
struct ZovVolumeInfo::Probe {
    std::mutex mutex;
    std::condition_variable finished;
    bool running = false;
    bool succeeded = false;
    std::uint64_t freeBytes = 0;
};

ZovVolumeInfo::ZovVolumeInfo(const MountTableEntry& mount, std::int16_t refNum)
    : mount_(mount)
    , refNum_(refNum)
    , probe_(std::make_shared<Probe>())
{
}

Ref<ZovVolumeInfo> ZovVolumeInfo::volumeInfoWithMount(const MountTableEntry& mount, std::int16_t refNum)
{
    if (mount.mountPoint.empty() || !mount.mountPoint.starts_with('/'))
        return nullptr;
    Ref<ZovVolumeInfo> info = Ref<ZovVolumeInfo>::adopt(new ZovVolumeInfo(mount, refNum));
    info->setMountPoint(mount.mountPoint);
    info->collectInformation();
    info->setKey(info->generateDeviceKey(volumeKeyParameters));
    return info;
}

void ZovVolumeInfo::collectInformation()
{
    const VolumeFactsSources sources = volumeFactsSources();
    const bool network = isNetworkFileSystem(mount_.fileSystem);
    const std::optional<BlockDeviceFacts> facts
        = network ? std::nullopt : sources.blockDevice(static_cast<dev_t>(mount_.device));

    std::string name = facts ? property(*facts, "ID_FS_LABEL") : std::string();
    if (name.empty()) {
        name = lastPathComponent(mount_.mountPoint);
        if (mount_.mountPoint == "/") {
            char host[256] = {};
            name = ::gethostname(host, sizeof host - 1) == 0 && host[0] ? host : "/";
        }
    }
    setName(name);
    relativePath_ = relativePathOf(mount_.mountPoint, name, sources.userName);

    if (network) {
        collectNetwork();
    } else if (facts) {
        const bool cdrom = property(*facts, "ID_CDROM") == "1";
        if (cdrom)
            collectOptical(*facts);
        else if (!facts->usbDevice.empty() || property(*facts, "ID_BUS") == "usb")
            collectUSB(*facts);
        else
            collectLocalDisk(*facts);
        collectBlockDevice(*facts, cdrom);
    } else {
        collectWithoutDevice();
    }

    const StatusCode locked
        = CheckVolumeLocked(mount_.mountPoint, static_cast<dev_t>(mount_.device), mount_.hasOption("ro"));
    setParameter(DeviceParameter::Writable, locked == status::NoError);

    const std::string uuid = facts ? property(*facts, "ID_FS_UUID") : std::string();
    if (!uuid.empty())
        setParameter(DeviceParameter::CreationTime, mount_.root == "/" ? uuid : uuid + ":" + mount_.root);
    else
        setParameter(DeviceParameter::CreationTime, mount_.source + " " + mount_.mountPoint);
}

void ZovVolumeInfo::collectNetwork()
{
    const std::string& source = mount_.source;
    const bool smb = mount_.fileSystem == "cifs" || mount_.fileSystem == "smb3" || mount_.fileSystem == "smbfs";
    if (smb && source.starts_with("//") && source.size() > 2) {
        url_ = "smb:" + source;
        setParameter(DeviceParameter::URL, url_);
    } else {
        setParameter(DeviceParameter::MountPoint, mount_.mountPoint);
    }
    setType(DeviceType::Network);
    setProductID(translatedUnknown());
    setVendorID(mount_.mountPoint);
}

void ZovVolumeInfo::collectOptical(const BlockDeviceFacts& facts)
{
    setType(isDVD(facts) ? DeviceType::DVD : DeviceType::CD);
    setParameter(DeviceParameter::MediaType, opticalMediaType(facts));
    setProductID(translatedUnknown());
    setVendorID(translatedUnknown());
}

void ZovVolumeInfo::collectUSB(const BlockDeviceFacts& facts)
{
    setType(DeviceType::USB);
    // The names first; the identifiers below replace them when the USB device has them.
    auto textOrNothing = [](std::string text) { return text.empty() ? Value() : Value(std::move(text)); };
    setProductID(textOrNothing(property(facts, "ID_MODEL")));
    setVendorID(textOrNothing(property(facts, "ID_VENDOR")));

    if (const auto identity = XMLDocumentID::createWithXMLFile(mount_.mountPoint)) {
        setParameter(DeviceParameter::CategoryName, pictureFrameCategory());
        setDeviceHandledByUser(true);
        setDisplayName(identity->getDisplayname());
        const XMLDocumentID::Resolution resolution = identity->getResolution();
        setParameter(DeviceParameter::FrameWidth, static_cast<unsigned>(std::max(0.0f, resolution.width)));
        setParameter(DeviceParameter::FrameHeight, static_cast<unsigned>(std::max(0.0f, resolution.height)));
        if (const auto size = identity->getFrameSize())
            setParameter(DeviceParameter::FrameSize, *size);
        if (const auto id = identity->getDeviceUUID())
            setParameter(DeviceParameter::DeviceUUID, *id);
    }

    std::string serial = usbAttribute(facts, "serial");
    if (serial.empty())
        serial = property(facts, "ID_SERIAL_SHORT");
    if (!serial.empty())
        setDeviceSerialNumber(serial);
    const Value vendor = usbIdentifier(usbAttribute(facts, "idVendor"));
    const Value product = usbIdentifier(usbAttribute(facts, "idProduct"));
    if (!vendor.isNull())
        setVendorID(vendor);
    if (!product.isNull())
        setProductID(product);
    if (const std::string model = usbAttribute(facts, "product"); !model.empty())
        setDeviceModel(model);
}

void ZovVolumeInfo::collectLocalDisk(const BlockDeviceFacts& facts)
{
    setType(DeviceType::HD);
    if (const std::string uuid = property(facts, "ID_FS_UUID"); !uuid.empty())
        setParameter(DeviceParameter::UUID, uuid);
    setProductID(translatedUnknown());
    setVendorID(translatedUnknown());
}

void ZovVolumeInfo::collectBlockDevice(const BlockDeviceFacts& facts, bool cdrom)
{
    const std::string folder = sysfsBlockDeviceFolder(static_cast<dev_t>(mount_.device));
    std::uint64_t sectors = 0;
    const std::string sizeText = readSysfsText(folder + "/size");
    std::from_chars(sizeText.data(), sizeText.data() + sizeText.size(), sectors);
    setParameter(DeviceParameter::Size, static_cast<unsigned long long>(sectors * 512));

    long long partition = 0;
    const std::string partitionText = property(facts, "ID_PART_ENTRY_NUMBER");
    std::from_chars(partitionText.data(), partitionText.data() + partitionText.size(), partition);
    setParameter(DeviceParameter::PartitionID, partition);

    // "removable" belongs to the whole disk; a partition's folder sits inside the disk's.
    const bool isPartition = ::access((folder + "/partition").c_str(), F_OK) == 0;
    const bool removable = readSysfsText(folder + (isPartition ? "/../removable" : "/removable")) == "1";
    setParameter(DeviceParameter::Removable, removable);
    setParameter(DeviceParameter::Ejectable, removable || cdrom || type() == DeviceType::USB);
    setParameter(DeviceParameter::CanOpen, true);
}

void ZovVolumeInfo::collectWithoutDevice()
{
    // tmpfs, overlay, btrfs subvolumes, FUSE file systems: local, without a block device.
    setType(DeviceType::HD);
    setProductID(translatedUnknown());
    setVendorID(translatedUnknown());
}

std::string ZovVolumeInfo::relativePath() const
{
    return relativePath_;
}

bool ZovVolumeInfo::probeFileSystem(std::uint64_t& freeBytes) const
{
    std::shared_ptr<Probe> probe = probe_;
    std::unique_lock lock(probe->mutex);
    if (!probe->running) {
        probe->running = true;
        lock.unlock();
        NSThreadExt::create([probe, path = mountPoint(), read = volumeFactsSources().freeBytes] {
            const std::optional<std::uint64_t> bytes = read(path);
            std::lock_guard done(probe->mutex);
            probe->succeeded = bytes.has_value();
            probe->freeBytes = bytes.value_or(0);
            probe->running = false;
            probe->finished.notify_all();
        })->start();
        lock.lock();
    }
    const bool answered = probe->finished.wait_for(lock, std::chrono::duration<double>(VerifyTimeoutSeconds),
                                                   [&] { return !probe->running; });
    if (!answered || !probe->succeeded)
        return false;
    freeBytes = probe->freeBytes;
    lastFreeBytes_.store(freeBytes, std::memory_order_relaxed);
    return true;
}

std::uint64_t ZovVolumeInfo::freeBytes() const
{
    std::uint64_t bytes = 0;
    return probeFileSystem(bytes) ? bytes : lastFreeBytes_.load(std::memory_order_relaxed);
}

bool ZovVolumeInfo::verifySynchronously() const
{
    std::uint64_t bytes = 0;
    return probeFileSystem(bytes);
}

std::string ZovVolumeInfo::frameSizeText(double value)
{
    if (!std::isfinite(value))
        return {};
    const bool hasTenths = static_cast<long long>(value * 10) != 10 * static_cast<long long>(value);
    return groupedNumber(value, hasTenths ? 1 : 0);
}

std::string ZovVolumeInfo::pictureFrameSize() const
{
    const Value size = parameter(DeviceParameter::FrameSize);
    double value = 0;
    if (size.isNumber()) {
        value = size.toDouble();
    } else if (size.isString()) {
        const std::string& text = size.asString();
        const std::size_t start = std::min(text.find_first_not_of(" \t"), text.size());
        std::from_chars(text.data() + start, text.data() + text.size(), value);
    } else {
        return {};
    }
    return frameSizeText(value);
}

bool ZovVolumeInfo::isPictureFrame() const
{
    return deviceCategory() == pictureFrameCategory();
}

std::string ZovVolumeInfo::deviceUUID() const
{
    const Value id = parameter(DeviceParameter::DeviceUUID);
    return id.isString() ? id.asString() : key();
}

void ZovVolumeInfo::setDeviceCategory(const std::optional<std::string>& category)
{
    const bool wasFrame = isPictureFrame();
    ZovDeviceInfo::setDeviceCategory(category);
    if (wasFrame && !isPictureFrame())
        XMLDocumentID::removeFile(mountPoint());
    if (isPictureFrame())
        saveDeviceParametersToXML();
}

std::int32_t ZovVolumeInfo::saveDeviceParametersToXML() const
{
    auto numberOrNothing = [](const Value& value) -> std::optional<double> {
        if (value.isNumber())
            return value.toDouble();
        return std::nullopt;
    };
    const Value size = parameter(DeviceParameter::FrameSize);
    std::optional<std::string> sizeText;
    if (!size.isNull())
        sizeText = size.description();
    const auto document = XMLDocumentID::createWithParameters(deviceUUID(), displayName(),
                                                              numberOrNothing(pictureFrameWidth()),
                                                              numberOrNothing(pictureFrameHeight()), sizeText);
    if (!document)
        return 2;
    return document->saveToFile(mountPoint());
}

} // namespace vistel
