// The browse handler's picture-frame workers: Send to Frame (the one attached frame, from the
// File menu or the context menu) and the frame branch of paste, which every copy onto a frame
// takes, drops included. Pictures never reach a frame as they are: each is converted by the
// conversion engine to an upright JPEG within the frame's resolution, under a name the frame's
// file system takes; the originals are only read.

#include <QAction>
#include <QCheckBox>

#include "Application/BrowseMode/BrowsingUAHandler.h"
#include "Application/FileOperationLauncher.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/Catalogue/FileSystemVolumeMO.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Common/Volumes/ZovVolumeInfo.h"
#include "Common/Volumes/ZovVolumeManager.h"
#include "Operations/ImageConvertor.h"
#include "Platform/Formatter.h"
#include "Platform/Gui/Alert.h"
#include "Preferences/Preferences.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

// The catalogue's item of a frame's root.
Ref<FileSystemItemMO> frameVolumeItem(const ZovVolumeInfo& frame)
{
    MediaDatabase* database = MediaDatabase::defaultMediaDatabase();
    return database && !frame.mountPoint().empty() ? database->volumeItemForPath(frame.mountPoint())
                                                   : Ref<FileSystemItemMO>();
}

} // namespace

std::vector<Ref<ZovVolumeInfo>> BrowsingUAHandler::getListOfPictureFrames()
{
    std::vector<Ref<ZovVolumeInfo>> frames;
    for (const Ref<ZovDeviceInfo>& device : ZovVolumeManager::sharedVolumeManager().volumeInfos())
        if (auto* volume = dynamic_cast<ZovVolumeInfo*>(device.get()); volume && volume->isPictureFrame())
            frames.push_back(Ref<ZovVolumeInfo>(volume));
    return frames;
}

Ref<ZovVolumeInfo> BrowsingUAHandler::getDefaultPictureFrame()
{
    std::vector<Ref<ZovVolumeInfo>> frames = getListOfPictureFrames();
    return frames.size() == 1 ? frames.front() : Ref<ZovVolumeInfo>();
}

bool BrowsingUAHandler::canSendItemsToPictureFrame(const Items& items, QObject* uiItem) const
{
    const Ref<ZovVolumeInfo> frame = getDefaultPictureFrame();
    auto* ui = dynamic_cast<UserInterfaceItem*>(uiItem);
    if (auto* menuItem = qobject_cast<QAction*>(uiItem); menuItem && ui && ui->action() == "sendToFrame:") {
        const char* selector = "canSendItemsToPictureFrame:uiItem:";
        menuItem->setText(QString::fromStdString(
            frame ? vistel::format(ZOV_TRANSLATE("Send to Frame «%@»", selector), frame->displayName())
                  : ZOV_TRANSLATE("Send to Frame", selector)));
    }
    if (items.empty() || !frame)
        return false;
    for (const Ref<Object>& object : items) {
        FileSystemItemMO* item = asFileSystemItem(object.get());
        if (!item || !item->isDecodable() || isOnPictureFrame(item))
            return false;
    }
    Ref<FileSystemItemMO> root = frameVolumeItem(*frame);
    return root && canPasteItems(&items, root.get(), nullptr);
}

bool BrowsingUAHandler::sendItems(const Items& items, bool toDefaultFrame)
{
    if (!toDefaultFrame)
        return false;
    const Ref<ZovVolumeInfo> frame = getDefaultPictureFrame();
    Ref<FileSystemItemMO> root = frame ? frameVolumeItem(*frame) : Ref<FileSystemItemMO>();
    if (!root || items.empty())
        return false;
    return pasteItems(&items, root.get(), nullptr, false);
}

Value BrowsingUAHandler::pictureFrameOptions(int width, int height)
{
    const char* selector = "pasteItems:toFolder:pasteboard:move:";
    const std::string file = "%@";
    Value options = progressTexts(
        ZOV_TRANSLATE_AS(staticZovClass(), "Stop Adding", selector),
        vistel::format(ZOV_TRANSLATE_AS(staticZovClass(), "Adding \"%@\" with dimensions %d × %d", selector), file, width, height),
        vistel::format(ZOV_TRANSLATE_AS(staticZovClass(), "Adding \"%@\" to \"%@\" with dimensions %d × %d", selector), file, file, width,
                       height));
    options.set(kImageConvertorFormatKey, "public.jpeg");
    options.set(kImageConvertorSizeKey, Value::array({Value(width), Value(height)}));
    return options;
}

bool BrowsingUAHandler::addPicturesToFrame(const std::vector<std::string>& paths, FileSystemItemMO* folder)
{
    auto* volume = folder ? dynamic_cast<FileSystemVolumeMO*>(folder->volumeItem()) : nullptr;
    FileOperationLauncher* launcher = FileOperationLauncher::installed();
    if (!volume || !launcher || paths.empty())
        return false;
    const ItemSize resolution = volume->pictureFrameResolution();
    Preferences& preferences = Preferences::sharedPreferences();
    if (preferences.boolForKey(prefs::ShowConvertImagesAlert)) {
        const char* selector = "pasteItems:toFolder:pasteboard:move:";
        auto alert = Alert::alertWithMessageText(
            ZOV_TRANSLATE("Images will be optimized and added to the picture frame.", selector),
            ZOV_TRANSLATE("Add", selector), ZOV_TRANSLATE("Cancel", selector), std::nullopt,
            ZOV_TRANSLATE("Choose \"Configure Frame\" from the Edit menu to change the resolution.", selector));
        alert->setShowsSuppressionButton(true);
        const int answer = alert->runModal();
        if (alert->suppressionButton()->isChecked())
            preferences.setValue(Value(false), prefs::ShowConvertImagesAlert);
        if (answer != NSAlertDefaultReturn)
            return false;
    }
    launcher->convertImages(paths, folder->fullPath(),
                            pictureFrameOptions(static_cast<int>(resolution.width), static_cast<int>(resolution.height)));
    return true;
}

bool BrowsingUAHandler::validateSendToFrame(const UserAction& a) { return canSendItemsToPictureFrame(a.items(), a.item); }

bool BrowsingUAHandler::performSendToFrame(const UserAction& a)
{
    sendItems(a.items(), true);
    return true;
}

} // namespace vistel
