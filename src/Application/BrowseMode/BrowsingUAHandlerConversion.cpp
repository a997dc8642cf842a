// The browse handler's workers that hand pictures to the conversion engine: rotation in place,
// Save As, and the batch conversion, resize and rename panels. Each runs its panel, turns the
// choices into a batch's options and starts the batch through the installed launcher; the
// engine shows its own progress and asks its own questions.

#include <functional>
#include <map>
#include <memory>

#include "Application/BrowseMode/BrowsingUAHandler.h"
#include "Application/FileOperationLauncher.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Operations/ImageConvertor.h"
#include "Operations/Panels/ConversionPanelOptions.h"
#include "Operations/Panels/ConversionPanels.h"
#include "Platform/FilePaths.h"
#include "Preferences/Preferences.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

// Where a panel starts: the folder of the first item.
std::string startFolder(const std::vector<std::string>& paths)
{
    return paths.empty() ? std::string() : parentFolderPath(paths.front());
}

// Runs a batch panel starting in the pictures' folder and starts the batch its choices make
// into the chosen folder; false when nothing starts (no launcher, no pictures, cancelled).
template <class Panel>
bool startBatch(const std::vector<std::string>& paths, std::unique_ptr<Panel> panel,
                const std::function<Value(Panel&)>& options)
{
    FileOperationLauncher* launcher = FileOperationLauncher::installed();
    if (!launcher || paths.empty() || !panel || !panel->runModal(startFolder(paths)))
        return false;
    launcher->convertImages(paths, panel->filename(), options(*panel));
    return true;
}

} // namespace

// --- predicates ---------------------------------------------------------------------------------------

bool BrowsingUAHandler::validateBatch(const UserAction& a) { return !a.items().empty(); }

bool BrowsingUAHandler::validateSaveAs(const UserAction& a)
{
    return a.items().size() == 1 && notIsFolder(a.items().front().get());
}

bool BrowsingUAHandler::canRotateItems(const Items& items)
{
    if (items.empty())
        return false;
    for (const Ref<Object>& object : items)
        if (FileSystemItemMO* item = asFileSystemItem(object.get()); !item || !item->isDecodable())
            return false;
    return isItemsCanRotate(items);
}

bool BrowsingUAHandler::validateRotate(const UserAction& a) { return canRotateItems(a.items()); }

// --- rows ---------------------------------------------------------------------------------------------

bool BrowsingUAHandler::performBatchConvert(const UserAction& a)
{
    convertFiles(a.items());
    return true;
}

bool BrowsingUAHandler::performBatchResize(const UserAction& a)
{
    resizeFiles(a.items());
    return true;
}

bool BrowsingUAHandler::performBatchRename(const UserAction& a)
{
    renameFiles(a.items());
    return true;
}

bool BrowsingUAHandler::performSaveAs(const UserAction& a)
{
    if (!a.items().empty())
        saveDocument(a.items().front().get());
    return true;
}

bool BrowsingUAHandler::performRotate(const UserAction& a)
{
    rotateFiles(a.items(), a.action == "rotateRight:");
    return false;
}

// --- workers ------------------------------------------------------------------------------------------

int BrowsingUAHandler::rotateFiles(const Items& items, bool clockwise)
{
    FileOperationLauncher* launcher = FileOperationLauncher::installed();
    if (!launcher || !canRotateItems(items))
        return 0;
    const char* selector = "rotateFiles:angel:";
    const bool keepCopy = Preferences::sharedPreferences().boolForKey(prefs::MakeCopyOnRotate);
    Value options = ImageConvertor::rotationOptions(clockwise, keepCopy);
    const Value texts = progressTexts(ZOV_TRANSLATE("Stop Rotating", selector), ZOV_TRANSLATE("Rotate \"%@\"", selector),
                                      ZOV_TRANSLATE("Rotate \"%@\" to \"%@\"", selector));
    for (const auto& [key, text] : texts.asDictionary())
        options.set(key, text);
    // One batch per folder: each writes beside its pictures.
    std::map<std::string, std::vector<std::string>> byFolder;
    for (const std::string& path : pathesListFromItemsList(items))
        byFolder[parentFolderPath(path)].push_back(path);
    for (const auto& [folder, paths] : byFolder)
        launcher->convertImages(paths, folder, options);
    return static_cast<int>(byFolder.size());
}

bool BrowsingUAHandler::convertFiles(const Items& items)
{
    const char* selector = "convertFiles:";
    return startBatch<BatchConvertionPanel>(
        pathesListFromItemsList(items), BatchConvertionPanel::openPanel("BatchConvertion"),
        [&](BatchConvertionPanel& panel) {
            return ConversionPanelOptions::convertOptions(
                *panel.accessory(), {ZOV_TRANSLATE("Stop Convertion", selector),
                                     ZOV_TRANSLATE("Converting \"%@\" with %@ format", selector),
                                     ZOV_TRANSLATE("Converting \"%@\" to \"%@\" with %@ format", selector)});
        });
}

bool BrowsingUAHandler::resizeFiles(const Items& items)
{
    const char* selector = "resizeFiles:";
    return startBatch<BatchResizePanel>(
        pathesListFromItemsList(items), BatchResizePanel::openPanel("BatchResize"), [&](BatchResizePanel& panel) {
            return ConversionPanelOptions::resizeOptions(
                panel, {ZOV_TRANSLATE("Stop Resizing", selector), ZOV_TRANSLATE("Resizing \"%@\"", selector),
                        ZOV_TRANSLATE("Resizing \"%@\" to \"%@\"", selector)});
        });
}

bool BrowsingUAHandler::renameFiles(const Items& items)
{
    const char* selector = "renameFiles:";
    return startBatch<BatchRenamePanel>(
        pathesListFromItemsList(items), BatchRenamePanel::openPanel("BatchRename"), [&](BatchRenamePanel& panel) {
            return ConversionPanelOptions::renameOptions(
                panel, {ZOV_TRANSLATE("Stop Renaming", selector), ZOV_TRANSLATE("Renaming \"%@\"", selector),
                        ZOV_TRANSLATE("Renaming \"%@\" to \"%@\"", selector)});
        });
}

bool BrowsingUAHandler::saveDocument(Object* object)
{
    FileOperationLauncher* launcher = FileOperationLauncher::installed();
    FileSystemItemMO* item = asFileSystemItem(object);
    const std::string path = item ? item->fullPath() : std::string();
    if (!launcher || path.empty() || item->isFolder())
        return false;
    std::unique_ptr<SaveImageAsPanel> panel = SaveImageAsPanel::savePanel("SaveImageAs");
    const std::string name = lastPathComponent(path);
    const std::string extension = pathExtension(name);
    if (!panel || !panel->runModal(parentFolderPath(path),
                                   extension.empty() ? name : name.substr(0, name.size() - extension.size() - 1)))
        return false;
    const std::string chosen = panel->filename();
    const char* selector = "saveDocument:";
    const Value options = ConversionPanelOptions::saveAsOptions(
        *panel->accessory(), lastPathComponent(chosen),
        {ZOV_TRANSLATE("Stop Saving", selector), ZOV_TRANSLATE("Saving \"%@\" with %@ format", selector),
         ZOV_TRANSLATE("Saving \"%@\" to \"%@\" with %@ format", selector)});
    launcher->convertImages({path}, parentFolderPath(chosen), options);
    return true;
}

} // namespace vistel
