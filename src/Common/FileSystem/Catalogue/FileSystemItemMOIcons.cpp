// FileSystemItemMO: item icons, and the drive icons of mount points.

#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/FileSystemFunctions.h"
#include "Common/Icons/IconTheme.h"
#include "Common/Icons/NSImageIconRef.h"
#include "Common/Icons/WorkspaceIcons.h"
#include "Common/Strings/Gui/NSImageNamedImageExtended.h"
#include "Common/Volumes/ZovVolumeManager.h"
#include "Imaging/RIReperesentation.h"
#include "Platform/FilePaths.h"

#include <map>
#include <tuple>

namespace vistel {

namespace {

// Theme names of a device type's icon, preferred first.
std::vector<const char*> driveIconNames(const std::string& type)
{
    if (type == DeviceType::USB)
        return {"drive-removable-media-usb", "drive-removable-media", "drive-harddisk"};
    if (type == DeviceType::CD)
        return {"media-optical-cd", "media-optical"};
    if (type == DeviceType::DVD)
        return {"media-optical-dvd", "media-optical"};
    if (type == DeviceType::Network)
        return {"folder-remote", "network-server", "folder"};
    if (type == DeviceType::ImageCapture)
        return {"camera-photo", "drive-removable-media"};
    return {"drive-harddisk", "drive-removable-media"};
}

// What FileSystemFunctions::iconForFile answers: a registered volume's mount point shows its
// device's icon, anything else the workspace's icon of the file.
Ref<MultiImage> catalogueIconForFile(const std::string& path)
{
    if (Ref<ZovDeviceInfo> volume = ZovVolumeManager::sharedVolumeManager().volumeInfoForMountPoint(path))
        for (const char* name : driveIconNames(volume->type()))
            if (IconTheme::hasIcon(name))
                return NSImageIconRef::initWithIconRefExt(IconRef::named(name));
    return WorkspaceIcons::iconForFile(path);
}

Ref<MultiImage> defaultIcon()
{
    const QImage image = NSImageNamedImageExtended::imageNamed("FSIconImage-Default.png", "images");
    if (image.isNull())
        return {};
    return MultiImage::createWithPlatformImage(PlatformImage::fromQImage(image.convertToFormat(QImage::Format_ARGB32)));
}

// The icon of a file type ("'fldr'" for folders, else an extension) at a size: made once per
// type and size, then shared by every item of the type (main thread, like the items).
Ref<MultiImage> sharedTypeIcon(const std::string& type, ItemSize size)
{
    static std::map<std::tuple<std::string, float, float>, Ref<MultiImage>> icons;
    const auto key = std::make_tuple(type, size.width, size.height);
    if (auto found = icons.find(key); found != icons.end())
        return found->second;
    Ref<MultiImage> image = WorkspaceIcons::iconForFileType(type);
    if (!image)
        image = defaultIcon();
    if (image && size.width > 0 && size.height > 0) {
        image->setDataRetained(true);
        image->setScalesWhenResized(false);
        image->setSize(QSizeF(size.width, size.height));
    }
    icons.emplace(key, image);
    return image;
}

} // namespace

void installCatalogueIconSource()
{
    static const bool installed = [] {
        FileSystemFunctions::setIconSource(&catalogueIconForFile);
        return true;
    }();
    (void)installed;
}

// --- FileSystemItemMOImage -------------------------------------------------------------------------

Ref<FileSystemItemMOImage> FileSystemItemMOImage::create(QSizeF size)
{
    auto image = Ref<FileSystemItemMOImage>::adopt(new FileSystemItemMOImage());
    if (!size.isEmpty())
        image->setSize(size);
    return image;
}

Ref<FileSystemItemMOImage> FileSystemItemMOImage::createWithData(const Value::Bytes& data)
{
    Ref<RIReperesentation> representation = RIReperesentation::imageRepWithData(data, false);
    if (!representation || !representation->cgImage())
        return {};
    Ref<FileSystemItemMOImage> image = create();
    image->addRepresentation(Ref<ImageRep>(representation));
    return image;
}

ItemSize FileSystemItemMOImage::lastDrawnSize() const
{
    std::lock_guard lock(mutex_);
    return lastDrawnSize_;
}

void FileSystemItemMOImage::setLastDrawnSize(ItemSize size)
{
    std::lock_guard lock(mutex_);
    lastDrawnSize_ = size;
}

// --- item icons --------------------------------------------------------------------------------------

Ref<MultiImage> FileSystemItemMO::iconImage()
{
    if (!cachedIcon_) {
        cachedIcon_ = iconImageOfSize({32, 32});
        iconIsOwnImage_ = dynamic_cast<FileSystemItemMOImage*>(cachedIcon_.get()) != nullptr;
    }
    return cachedIcon_;
}

Ref<MultiImage> FileSystemItemMO::iconImageOfSize(ItemSize size)
{
    Ref<MultiImage> image;
    if (const std::optional<Value::Bytes> data = iconData(); data && !data->empty())
        image = FileSystemItemMOImage::createWithData(*data);
    const std::string path = fullPath();
    if (!image && isFolder() && ZovVolumeManager::sharedVolumeManager().volumeInfoForMountPoint(path))
        image = FileSystemFunctions::iconForFile(path);
    if (!image)
        return sharedTypeIcon(isFolder() ? std::string("'fldr'") : pathExtension(path), size);
    if (size.width > 0 && size.height > 0) {
        image->setDataRetained(true);
        image->setScalesWhenResized(false);
        image->setSize(QSizeF(size.width, size.height));
    }
    return image;
}

Ref<MultiImage> FileSystemItemMO::iconImageForExtension()
{
    return WorkspaceIcons::iconForFileType(pathExtension(fullPath()));
}

} // namespace vistel
