#include "Common/FileSystem/Catalogue/FileSystemVolumeMO.h"

#include <cmath>

#include "Common/Alert/NSAlertFileError.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Common/FileSystem/FileSystemFunctions.h"
#include "Common/Strings/NSStringDevices.h"
#include "Common/Volumes/UDisks2Client.h"
#include "Common/Volumes/ZovVolumeInfo.h"
#include "Common/Volumes/ZovVolumeManager.h"
#include "Platform/Formatter.h"
#include "Platform/Gui/Alert.h"
#include "Platform/Log.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

constexpr const char* CategoryAttribute = "Category";
constexpr const char* HandledByUserAttribute = "HandledByUser";
constexpr const char* ModelAttribute = "Model";
constexpr const char* FrameSizeAttribute = "PictureFrameSize";
constexpr const char* ResolutionXAttribute = "ResolutionX";
constexpr const char* ResolutionYAttribute = "ResolutionY";

// The integer value of a stored or device number ("800.000000", 800, "800"); 0 for anything else.
long integerOf(const Value& value)
{
    if (value.isNumber())
        return static_cast<long>(value.toDouble());
    if (value.isString()) {
        const std::string text = value.toString();
        char* end = nullptr;
        const double number = std::strtod(text.c_str(), &end);
        if (end != text.c_str() && std::isfinite(number))
            return static_cast<long>(number);
    }
    return 0;
}

} // namespace

store::ObjectModel::Factory FileSystemVolumeMO::factory()
{
    return [] { return static_cast<store::ManagedObject*>(new FileSystemVolumeMO); };
}

// --- names and paths ----------------------------------------------------------------------------

std::string FileSystemVolumeMO::fullPath() const
{
    if (isCamera())
        return relativePath();
    if (auto info = getDeviceInfo(); info && !info->mountPoint().empty())
        return info->mountPoint();
    return FileSystemItemMO::fullPath();
}

std::string FileSystemVolumeMO::volumeName() const
{
    if (auto info = getDeviceInfo())
        return info->displayName();
    return name();
}

bool FileSystemVolumeMO::isCamera() const
{
    return NSStringDevices::isICADevicePath(name());
}

// --- the device ---------------------------------------------------------------------------------

Ref<ZovDeviceInfo> FileSystemVolumeMO::getDeviceInfo() const
{
    const auto key = uuid();
    if (!key)
        return {};
    return ZovVolumeManager::sharedVolumeManager().volumeInfoForKey(*key);
}

Ref<ZovVolumeInfo> FileSystemVolumeMO::volumeInfo() const
{
    return dynamicRefCast<ZovVolumeInfo>(getDeviceInfo());
}

bool FileSystemVolumeMO::isWritable()
{
    auto info = getDeviceInfo();
    return info && info->isWritable();
}

bool FileSystemVolumeMO::canDeleteObjects() const
{
    auto info = getDeviceInfo();
    return info && info->isFileSystemObjectsCanBeDeleted();
}

bool FileSystemVolumeMO::isVolumeEjectable() const
{
    auto info = getDeviceInfo();
    return info && info->isEjectable();
}

bool FileSystemVolumeMO::isVolumeRemovable() const
{
    auto info = getDeviceInfo();
    return info && info->isRemovable();
}

bool FileSystemVolumeMO::isVolumeCanOpen() const
{
    auto info = getDeviceInfo();
    return info && info->canOpen();
}

std::uint64_t FileSystemVolumeMO::freeBytes() const
{
    auto info = getDeviceInfo();
    return info ? info->freeBytes() : 0;
}

std::string FileSystemVolumeMO::deviceType() const
{
    auto info = getDeviceInfo();
    return info ? info->type() : std::string();
}

bool FileSystemVolumeMO::supportsMoveToTrash() const
{
    const std::string type = deviceType();
    return type != DeviceType::Network && type != DeviceType::ImageCapture && !isCamera();
}

bool FileSystemVolumeMO::setVolumeName(const std::string& newName)
{
    const Ref<ZovVolumeInfo> info = volumeInfo();
    if (!info)
        return false;
    if (info->isPictureFrame()) {
        info->setDisplayName(newName);
        info->saveDeviceParametersToXML();
        return true;
    }
    std::string failure;
    const StatusCode result = UDisks2Client::setFilesystemLabel(info->mount().device, newName, &failure);
    if (result == status::NoError) {
        ZovVolumeManager::sharedVolumeManager().updateVolumeInfo(info);
        if (MediaDatabase* database = mediaDatabase()) {
            database->renameItem(this, newName);
            database->notifyFSItemChanged(this, false);
        }
        return true;
    }
    ZovLog(vistel::format("FileSystemVolumeMO::setVolumeName %@: %@", newName, failure));
    if (result == status::BadName) {
        Alert alert;
        alert.setMessageText(vistel::format(ZOV_TRANSLATE("The name \"%@\" cannot be used.", "setVolumeName:"), newName));
        alert.setInformativeText(
            ZOV_TRANSLATE("Try using another name, with fewer characters or no punctuation marks.", "setVolumeName:"));
        alert.addButtonWithTitle(ZOV_TRANSLATE("OK", "setVolumeName:"));
        alert.runModal();
    } else {
        NSAlertFileError::showFileError(result, kFileOperationRename, volumeName(), newName);
    }
    return false;
}

// --- options --------------------------------------------------------------------------------------

void FileSystemVolumeMO::setDeviceCategory(const std::optional<std::string>& category)
{
    if (auto info = getDeviceInfo())
        info->setDeviceCategory(category);
    setAttribute(category ? Value(*category) : Value(), CategoryAttribute, kTagPictureFrameOptions);
}

std::optional<std::string> FileSystemVolumeMO::deviceCategory()
{
    return attributeValueToString(attributeWithName(CategoryAttribute, kTagPictureFrameOptions));
}

void FileSystemVolumeMO::setDeviceHandledByUser(bool handled)
{
    if (auto info = getDeviceInfo())
        info->setDeviceHandledByUser(handled);
    setAttribute(Value(handled ? "YES" : "NO"), HandledByUserAttribute, kTagPictureFrameOptions);
}

bool FileSystemVolumeMO::deviceHandledByUser()
{
    return attributeValueToString(attributeWithName(HandledByUserAttribute, kTagPictureFrameOptions)) == "YES";
}

void FileSystemVolumeMO::loadValuesFromVolumeInfo()
{
    auto info = volumeInfo();
    if (!info || !info->deviceHandledByUser() || !info->isPictureFrame())
        return;
    if (!info->parameter(DeviceParameter::FrameSize).isNull())
        setPictureFrameSize(info->pictureFrameSize());
    setPictureFrameModel(info->deviceModel());
    setPictureFrameResolution({static_cast<float>(info->pictureFrameWidth().toDouble()),
                               static_cast<float>(info->pictureFrameHeight().toDouble())});
    setDeviceHandledByUser(true);
    const auto category = info->deviceCategory();
    setAttribute(category ? Value(*category) : Value(), CategoryAttribute, kTagPictureFrameOptions);
}

// --- picture frames ---------------------------------------------------------------------------------

bool FileSystemVolumeMO::isDPFDevice() const
{
    auto info = volumeInfo();
    return info && info->isPictureFrame();
}

void FileSystemVolumeMO::savePictureFrameOptions()
{
    if (auto info = volumeInfo())
        info->saveDeviceParametersToXML();
}

void FileSystemVolumeMO::setPictureFrameModel(const std::string& model)
{
    if (auto info = getDeviceInfo())
        info->setDeviceModel(model);
    setAttribute(Value(model), ModelAttribute, kTagPictureFrameOptions);
}

std::string FileSystemVolumeMO::pictureFrameModel()
{
    if (auto info = volumeInfo(); info && !info->deviceModel().empty())
        return info->deviceModel();
    return attributeValueToString(attributeWithName(ModelAttribute, kTagPictureFrameOptions)).value_or("");
}

void FileSystemVolumeMO::setPictureFrameSize(const std::optional<std::string>& size)
{
    if (auto info = volumeInfo(); info && size)
        info->setPictureFrameSize(Value(*size));
    setAttribute(size ? Value(*size) : Value(), FrameSizeAttribute, kTagPictureFrameOptions);
}

std::string FileSystemVolumeMO::pictureFrameSize()
{
    if (auto info = volumeInfo(); info && !info->parameter(DeviceParameter::FrameSize).isNull())
        return info->pictureFrameSize();
    return attributeValueToString(attributeWithName(FrameSizeAttribute, kTagPictureFrameOptions)).value_or("");
}

void FileSystemVolumeMO::setPictureFrameResolution(ItemSize resolution)
{
    auto device = getDeviceInfo();
    if (!device)
        return;
    if (auto info = dynamicRefCast<ZovVolumeInfo>(device)) {
        info->setPictureFrameWidth(Value(static_cast<double>(resolution.width)));
        info->setPictureFrameHeight(Value(static_cast<double>(resolution.height)));
    }
    setAttribute(Value(vistel::format("%f", static_cast<double>(resolution.width))), ResolutionXAttribute,
                 kTagPictureFrameOptions);
    setAttribute(Value(vistel::format("%f", static_cast<double>(resolution.height))), ResolutionYAttribute,
                 kTagPictureFrameOptions);
}

ItemSize FileSystemVolumeMO::pictureFrameResolution()
{
    long width = 0;
    long height = 0;
    if (auto info = volumeInfo()) {
        width = integerOf(info->pictureFrameWidth());
        height = integerOf(info->pictureFrameHeight());
    }
    if (width == 0 || height == 0) {
        width = integerOf(attributeWithName(ResolutionXAttribute, kTagPictureFrameOptions));
        height = integerOf(attributeWithName(ResolutionYAttribute, kTagPictureFrameOptions));
    }
    if (width == 0 || height == 0)
        return DefaultFrameResolution;
    return {static_cast<float>(width), static_cast<float>(height)};
}

} // namespace vistel
