// The browse handler's workers that change files: paste and move (the file operations), rename
// (the text-input alert, or the disk service for a USB volume) and the export of metadata (a
// worker thread writing one property list beside each picture).

#include "Application/BrowseMode/BrowsingUAHandler.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>

#include "Application/BrowseMode/BrowserPanel.h"
#include "Application/BrowseMode/BrowsingModeController.h"
#include "Application/BrowseMode/BrowsingSelection.h"
#include "Application/FileOperationLauncher.h"
#include "Common/Alert/FilteredInputFormatter.h"
#include "Common/Alert/NSAlertExtensions.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/Catalogue/FileSystemVolumeMO.h"
#include "Common/FileSystem/FileSystemFunctions.h"
#include "Common/FileSystem/FNSubscribeFileObserver.h"
#include "Common/Strings/NSStringDevices.h"
#include "Common/Strings/NSStringExtensions.h"
#include "Common/Tools/Threads/NSThreadExt.h"
#include "Common/Volumes/ZovDeviceInfo.h"
#include "Imaging/RIReperesentation.h"
#include "Operations/FileOperation.h"
#include "Platform/FilePaths.h"
#include "Platform/Formatter.h"
#include "Platform/Gui/Alert.h"
#include "Platform/Gui/CharacterSet.h"
#include "Platform/Gui/Pasteboard.h"
#include "Platform/Log.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

// The path with every symbolic link resolved, or nothing when it cannot be resolved.
std::optional<std::string> resolvedPath(const std::string& path)
{
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    if (!real)
        return std::nullopt;
    return std::string(real.get());
}

// Whether `destination` is `source` or lies inside it.
bool isSameOrInside(const std::string& destination, const std::string& source)
{
    return normalizedPath(destination) == normalizedPath(source) || isPathUnder(destination, source);
}

std::vector<std::string> pasteboardFileNames(Pasteboard* pasteboard)
{
    std::vector<std::string> names;
    if (!pasteboard)
        return names;
    if (std::optional<Value> list = pasteboard->propertyListForType(NSFilenamesPboardType))
        for (const Value& name : list->asArray())
            if (name.isString())
                names.push_back(name.asString());
    return names;
}

// Every character but NUL: a name with ":" or "/" is refused as a whole once typed, never
// quietly changed into another name.
CharacterSet fileNameCharacters()
{
    return CharacterSet::characterSetWithCharactersInString(std::string("\0", 1)).invertedSet();
}

// "/a/b.plist" -> "/a/b 2.plist" for 2.
std::string numberedExportPath(const std::string& path, int number)
{
    const std::string name = lastPathComponent(path);
    const std::string base = name.substr(0, name.size() - std::string(".plist").size());
    return joinPath(parentFolderPath(path), base + " " + std::to_string(number) + ".plist");
}

// Whether the file at `path` is an earlier export of the same picture: a property list of
// one dictionary holding exactly the keys of the new one.
bool isEarlierExport(const std::string& path, const struct stat& info, const Value& exported)
{
    constexpr off_t largest = 16 * 1024 * 1024;
    if (!S_ISREG(info.st_mode) || info.st_size > largest)
        return false;
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::optional<Value> earlier = in ? Value::fromXmlPropertyList(text) : std::nullopt;
    if (!earlier || !earlier->isDictionary() || earlier->size() != exported.size())
        return false;
    for (const auto& [key, value] : exported.asDictionary())
        if (!earlier->contains(key))
            return false;
    return true;
}

} // namespace

// --- paste and move ---------------------------------------------------------------------------------

bool BrowsingUAHandler::canPastePaths(const std::vector<std::string>& paths, bool fromPasteboard, Object* location) const
{
    FileSystemItemMO* folder = asFileSystemItem(location);
    if (paths.empty() || !folder || !folder->isWritable())
        return false;
    const bool onFrame = isOnPictureFrame(folder);
    const std::string destination = folder->fullPath();
    const std::optional<std::string> realDestination = resolvedPath(destination);
    for (const std::string& source : paths) {
        if (source.empty())
            return false;
        // Never into itself or one of its own folders.
        if (isSameOrInside(destination, source))
            return false;
        if (destination.size() < source.size()
            && source.starts_with(destination + "/" + lastPathComponent(source) + "/"))
            return false;
        // The same through symbolic links: the copy would never end.
        if (realDestination)
            if (std::optional<std::string> realSource = resolvedPath(source);
                realSource && isSameOrInside(*realDestination, *realSource))
                return false;
        bool isFolder = false;
        if (!FileSystemFunctions::fileExistsAtPath(source, &isFolder)) {
            // Names on the clipboard may have gone since; they are checked again on pasting.
            if (fromPasteboard)
                continue;
            return false;
        }
        if (isFolder && onFrame)
            return false;
    }
    return true;
}

bool BrowsingUAHandler::canPasteItems(const Items* items, Object* folder, Pasteboard* pasteboard) const
{
    if (items && !items->empty())
        return canPastePaths(pathesListFromItemsList(*items), false, folder);
    return canPastePaths(pasteboardFileNames(pasteboard), true, folder);
}

bool BrowsingUAHandler::pasteItems(const Items* items, Object* location, Pasteboard* pasteboard, bool move)
{
    const bool explicitItems = items && !items->empty();
    const std::vector<std::string> paths =
        explicitItems ? pathesListFromItemsList(*items) : pasteboardFileNames(pasteboard);
    FileSystemItemMO* folder = asFileSystemItem(location);
    if (paths.empty() || !folder)
        return false;
    // Every entry must be there now, those from the clipboard too.
    if (!canPastePaths(paths, false, folder)) {
        if (explicitItems)
            return false;
        auto alert = Alert::alertWithMessageText(
            vistel::format(ZOV_TRANSLATE("The items on the Clipboard cannot be pasted to %@ folder.",
                                         "pasteItems:toFolder:pasteboard:move:"),
                           folder->displayName()),
            std::nullopt, std::nullopt, std::nullopt,
            ZOV_TRANSLATE("One or more of the items may have been deleted or are no longer available.",
                          "pasteItems:toFolder:pasteboard:move:"));
        alert->runModal();
        return false;
    }
    // Pictures copied onto a frame are converted to its resolution by the conversion engine.
    if (!move && isOnPictureFrame(folder))
        return addPicturesToFrame(paths, folder);
    FileOperationLauncher* operations = FileOperationLauncher::installed();
    if (!operations)
        return false;
    const char* selector = "pasteItems:toFolder:pasteboard:move:";
    if (move)
        operations->moveObjects(paths, folder->fullPath(),
                                progressTexts(ZOV_TRANSLATE("Stop Moving", selector),
                                              ZOV_TRANSLATE("Moving \"%@\"", selector),
                                              ZOV_TRANSLATE("Moving \"%@\" to \"%@\"", selector)));
    else
        operations->copyObjects(paths, folder->fullPath(),
                                progressTexts(ZOV_TRANSLATE("Stop Copying", selector),
                                              ZOV_TRANSLATE("Copying \"%@\"", selector),
                                              ZOV_TRANSLATE("Copying \"%@\" to \"%@\"", selector)));
    return true;
}

Value BrowsingUAHandler::progressTexts(const std::string& stopButton, const std::string& withoutDestination,
                                       const std::string& withDestination)
{
    return Value::dictionary({
        {kFolderProgressKeyStopButtonText, Value(stopButton)},
        {kFolderProgressKeyExplanationWithoutDestination, Value(withoutDestination)},
        {kFolderProgressKeyExplanationWithDestination, Value(withDestination)},
    });
}

bool BrowsingUAHandler::validatePaste(const UserAction& a)
{
    return canPasteItems(a.selection, a.location, a.pasteboard);
}

bool BrowsingUAHandler::validateMove(const UserAction& a)
{
    if (!canPasteItems(a.selection, a.location, a.pasteboard))
        return false;
    // Moving an entry into the folder it is in already would do nothing.
    const std::string destination = normalizedPath(asFileSystemItem(a.location)->fullPath());
    const std::vector<std::string> paths = a.selection && !a.selection->empty() ? pathesListFromItemsList(*a.selection)
                                                                                : pasteboardFileNames(a.pasteboard);
    return std::none_of(paths.begin(), paths.end(), [&](const std::string& path) {
        return normalizedPath(parentFolderPath(path)) == destination;
    });
}

bool BrowsingUAHandler::performPaste(const UserAction& a)
{
    pasteItems(a.selection, a.location, a.pasteboard, false);
    return true;
}

bool BrowsingUAHandler::performMove(const UserAction& a)
{
    pasteItems(a.selection, a.location, a.pasteboard, true);
    return true;
}

// --- rename -----------------------------------------------------------------------------------------

bool BrowsingUAHandler::canRenameItems(const Items& items) const
{
    return items.size() == 1 && isItemCanBeRenamed(items.front().get());
}

int BrowsingUAHandler::renameByteLimit(const std::string& extension)
{
    const int whole = static_cast<int>(NSStringExtensions::MaxFileNameBytes);
    return extension.empty() ? whole : whole - 1 - static_cast<int>(extension.size());
}

bool BrowsingUAHandler::isValidNewName(const std::string& name)
{
    return isPlainFileName(name) && name.size() <= NSStringExtensions::MaxFileNameBytes
        && name.find_first_of(std::string(":\0", 2)) == std::string::npos;
}

bool BrowsingUAHandler::renameItems(const Items& items)
{
    if (items.empty())
        return false;
    FileSystemItemMO* item = asFileSystemItem(items.front().get());
    if (!item)
        return false;
    const std::string displayName = item->displayName();
    const bool keepsExtension = !item->isFolder();
    const std::string extension = keepsExtension ? pathExtension(displayName) : std::string();
    const std::string proposal =
        extension.empty() ? displayName : displayName.substr(0, displayName.size() - extension.size() - 1);
    FilteredInputFormatter filter(fileNameCharacters(), 0, 0);
    filter.setMaxByteLength(renameByteLimit(extension));
    const std::optional<std::string> typed =
        NSAlertExtensions::input(ZOV_TRANSLATE("Please enter a new name:", "renameItems:"), std::nullopt, proposal,
                                 ZOV_TRANSLATE("Rename", "renameItems:"), ZOV_TRANSLATE("Cancel", "renameItems:"),
                                 &filter);
    if (!typed || typed->empty())
        return false;
    const std::string name = extension.empty() ? *typed : *typed + "." + extension;
    if (!isValidNewName(name)) {
        const char* selector = "renameItems:";
        Alert alert;
        alert.setMessageText(vistel::format(ZOV_TRANSLATE("The name \"%@\" cannot be used.", selector), name));
        alert.setInformativeText(
            ZOV_TRANSLATE("Try using another name, with fewer characters or no punctuation marks.", selector));
        alert.addButtonWithTitle(ZOV_TRANSLATE("OK", selector));
        alert.runModal();
        return false;
    }
    return renameItem(item, name);
}

bool BrowsingUAHandler::renameItem(Object* object, const std::string& newName)
{
    FileSystemItemMO* item = asFileSystemItem(object);
    if (!item || newName == item->name())
        return false;
    if (!isValidNewName(newName)) {
        ZovLog(vistel::format("BrowsingUAHandler::renameItem refused the name \"%@\"", newName));
        return false;
    }
    if (auto* volume = dynamic_cast<FileSystemVolumeMO*>(item)) {
        if (volume->deviceType() == DeviceType::USB && volume->isWritable())
            return volume->setVolumeName(newName);
        return false;
    }
    FileOperationLauncher* operations = FileOperationLauncher::installed();
    if (!operations)
        return false;
    const std::string renamed = joinPath(parentFolderPath(item->fullPath()), newName);
    operations->rename(item->fullPath(), newName);
    followRename(item, renamed);
    return true;
}

void BrowsingUAHandler::followRename(FileSystemItemMO* item, const std::string& renamedPath)
{
    // The catalogue lists the renamed item as a new one: it is selected again by its new path,
    // a folder in the sidebar (and so browsed), a picture in the items view.
    auto* controller = dynamic_cast<BrowsingModeController*>(ownerController());
    BrowsingSelection* selection = controller ? controller->browsingSelection() : nullptr;
    if (!selection)
        return;
    const ItemList& folders = selection->selectedFolders();
    if (std::find(folders.begin(), folders.end(), Ref<FileSystemItemMO>(item)) != folders.end()) {
        if (BrowserPanel* sidebar = controller->browserPanel())
            sidebar->selectFolderWhenListed(renamedPath);
        return;
    }
    const ItemList shown = selection->selectedItems();
    if (std::find(shown.begin(), shown.end(), Ref<FileSystemItemMO>(item)) != shown.end())
        selection->selectPathWhenListed(renamedPath);
}

bool BrowsingUAHandler::validateRename(const UserAction& a) { return canRenameItems(a.items()); }

bool BrowsingUAHandler::performRename(const UserAction& a)
{
    renameItems(a.items());
    return true;
}

// --- export of metadata -------------------------------------------------------------------------------

Ref<NSThreadExt> BrowsingUAHandler::exportMetadata(const Items& items)
{
    std::vector<std::string> paths = pathesListFromItemsList(items);
    if (paths.empty())
        return nullptr;
    Ref<NSThreadExt> thread = NSThreadExt::create([paths = std::move(paths)] { exportMetadataThread(paths); });
    thread->start();
    return thread;
}

std::string BrowsingUAHandler::exportedMetadataPath(const std::string& picture)
{
    const std::string name = lastPathComponent(picture);
    const std::string extension = pathExtension(name);
    const std::string base = extension.empty() ? name : name.substr(0, name.size() - extension.size() - 1);
    return joinPath(parentFolderPath(picture), base + ".plist");
}

void BrowsingUAHandler::exportMetadataThread(const std::vector<std::string>& paths)
{
    NSThreadExt* self = NSThreadExt::currentThreadExt();
    for (const std::string& path : paths) {
        if (self && self->isCancelled())
            return;
        // Only regular files are read: opening a FIFO would wait for a writer for ever.
        struct stat st {};
        if (NSStringDevices::isVolumePath(path) && (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)))
            continue;
        const RIReperesentation::Data data = RIReperesentation::dataAtPath(path);
        if (!data || data->empty())
            continue;
        Ref<RIReperesentation> thumbnail = RIReperesentation::imageRepWithThumbnailForData(data, 10, 1, path);
        if (!thumbnail)
            continue;
        const Value image = thumbnail->imageMetadata();
        const Value page = thumbnail->pageMetadata();
        if (!image.isDictionary() || !page.isDictionary() || (image.size() == 0 && page.size() == 0))
            continue;
        Value merged = image;
        for (const auto& [key, value] : page.asDictionary())
            merged.set(key, value);
        const std::optional<std::string> xml = merged.toXmlPropertyList();
        if (!xml) {
            ZovLog(vistel::format("BrowsingUAHandler::exportMetadataThread %@: the metadata cannot be written as a property list",
                                  path));
            continue;
        }
        const Value::Bytes bytes(xml->begin(), xml->end());
        // An earlier export of this picture is replaced; nothing else ever is (a list of
        // another picture of the same name, any other file): the list takes the next free
        // numbered name instead.
        const std::string wanted = exportedMetadataPath(path);
        StatusCode result = status::DuplicateName;
        std::string target = wanted;
        for (int number = 0; number < 1000 && result == status::DuplicateName; ++number) {
            target = number == 0 ? wanted : numberedExportPath(wanted, number);
            struct stat existing {};
            if (::lstat(target.c_str(), &existing) == 0 && !isEarlierExport(target, existing, merged))
                continue;
            result = FileSystemFunctions::writeNSDataToFile(target, &bytes);
        }
        if (result != status::NoError) {
            ZovLog(vistel::format("BrowsingUAHandler::exportMetadataThread %@: %@", target, statusText(result)));
            continue;
        }
        if (target != wanted)
            ZovLog(vistel::format("BrowsingUAHandler::exportMetadataThread %@ exists: the metadata of %@ went to %@",
                                  wanted, path, target));
        NSWorkspaceChanges::noteFileSystemChanged(parentFolderPath(target));
    }
}

bool BrowsingUAHandler::validateExportMetadata(const UserAction& a) { return !a.items().empty(); }

bool BrowsingUAHandler::performExportMetadata(const UserAction& a)
{
    exportMetadata(a.items());
    return true;
}

} // namespace vistel
