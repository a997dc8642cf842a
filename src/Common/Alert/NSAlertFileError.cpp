#include "Common/Alert/NSAlertFileError.h"

#include <sys/statvfs.h>

#include <mutex>
#include <string_view>

#include "Common/FileSystem/MountTable.h"
#include "Common/Tools/Threads/ThreadMessages.h"
#include "Platform/FilePaths.h"
#include "Platform/Formatter.h"
#include "Platform/Gui/Alert.h"
#include "Platform/RunLoop.h"
#include "ZovTranslatorManager.h"

namespace vistel::NSAlertFileError {

namespace {

constexpr const char* Selector = "showFileError:operationType:source:destination:";

std::string translated(const char* english)
{
    return ZOV_TRANSLATE_AS(alertZovClass(), english, Selector);
}

std::mutex lookupMutex;
VolumeLookup installedLookup; // guarded by lookupMutex

// The texts of step 1, when the volume check applies.
struct VolumeCheck {
    std::string message;
    std::string informative;
    bool volumeMissing = false;
};

VolumeCheck checkVolumes(const std::string& source, const std::string& destination, const VolumeLookup& volumes)
{
    VolumeCheck check;
    auto missingText = [&](const std::optional<Volume>& volume, const char* named, const char* forPath,
                           const std::string& path) {
        if (volume)
            return vistel::format(translated(named), volume->displayName);
        return vistel::format(translated(forPath), path);
    };
    const std::optional<Volume> destinationVolume = volumes ? volumes(destination) : std::nullopt;
    if (!destinationVolume || !destinationVolume->available) {
        check.message = missingText(destinationVolume, "Destination volume \"%@\" no longer available.",
                                    "Destination volume no longer available for path \"%@\".", destination);
        check.volumeMissing = true;
    } else {
        const std::optional<Volume> sourceVolume = volumes(source);
        if (!sourceVolume || !sourceVolume->available) {
            check.message = missingText(sourceVolume, "Source volume \"%@\" no longer available.",
                                        "Source volume no longer available for path \"%@\".", source);
            check.volumeMissing = true;
        }
    }
    if (check.volumeMissing)
        check.informative = translated("Try to mount the device and repeat again or use another device.");
    else
        check.message = translated("Unexpected I/O error.");
    return check;
}

bool isOneOf(int status, std::initializer_list<int> codes)
{
    for (int code : codes)
        if (status == code)
            return true;
    return false;
}

} // namespace

const ZovClass& alertZovClass()
{
    static const ZovClass descriptor("NSAlert", &ZovClass::nsObject());
    return descriptor;
}

VolumeLookup setVolumeLookup(VolumeLookup lookup)
{
    std::lock_guard lock(lookupMutex);
    return std::exchange(installedLookup, std::move(lookup));
}

VolumeLookup volumeLookup()
{
    std::lock_guard lock(lookupMutex);
    if (installedLookup)
        return installedLookup;
    return mountedVolumeForPath;
}

std::optional<Volume> mountedVolumeForPath(const std::string& path)
{
    std::string best;
    bool found = false;
    for (MountTableEntry& entry : readMountTable()) {
        // Paths that are not file-system paths (camera paths, "") belong to the root volume.
        const bool holds = path.starts_with('/') ? isPathUnder(path, entry.mountPoint) : entry.mountPoint == "/";
        if (holds && (!found || entry.mountPoint.size() > best.size())) {
            best = std::move(entry.mountPoint);
            found = true;
        }
    }
    if (!found)
        return std::nullopt;
    struct statvfs info;
    return Volume {lastPathComponent(best), ::statvfs(best.c_str(), &info) == 0};
}

Texts fileErrorTexts(int status, int operationType, const std::string& source, const std::string& destination,
                     const VolumeLookup& volumes)
{
    std::optional<std::string> message;
    std::string informative;

    if (isOneOf(status, {-36, -5000, -43, -35})) {
        VolumeCheck check = checkVolumes(source, destination, volumes);
        message = std::move(check.message);
        informative = std::move(check.informative);
        if (check.volumeMissing)
            status = -36;
    }

    const std::string destinationFolder = parentFolderPath(destination);
    if (isOneOf(status, {28, -34, -1429, 640})) {
        const char* text = nullptr;
        switch (operationType) {
        case 0: text = "There is not enough disk space in \"%@\" to copy \"%@\"."; break;
        case 3: text = "There is not enough disk space in \"%@\" to create \"%@\"."; break;
        case 4: text = "There is not enough disk space in \"%@\" to move \"%@\"."; break;
        case 5: text = "There is not enough disk space in \"%@\" to convert \"%@\"."; break;
        default: break;
        }
        message = text ? std::optional(vistel::format(translated(text), lastPathComponent(destinationFolder),
                                                      lastPathComponent(source)))
                       : std::nullopt;
        informative.clear();
    } else if (isOneOf(status, {-48, 17, -1027, 514})) {
        message = vistel::format(translated("The name \"%@\" is already taken."), lastPathComponent(destination));
        informative = translated("Please choose a different name.");
    } else if (isOneOf(status, {-5000, -54, 513})) {
        switch (operationType) {
        case 0:
            message = vistel::format(
                translated("The item \"%@\" could not be copied because you do not have sufficient access privileges."),
                source);
            break;
        case 1:
            message = vistel::format(
                translated("The item \"%@\" could not be deleted because you do not have sufficient access privileges."),
                source);
            break;
        case 3:
            message = vistel::format(
                translated("The item \"%@\" could not be created because you do not have sufficient access privileges."),
                source);
            break;
        case 4:
            message = vistel::format(translated("The item \"%@\" could not be moved into \"%@\" because you do not "
                                                "have sufficient access privileges."),
                                     source, destinationFolder);
            break;
        case 6:
            message = vistel::format(
                translated("You do not have sufficient access privileges to rename the item \"%@\"."), source);
            break;
        default:
            message = translated(
                "The operation could not be completed because you do not have enough access privileges.");
            break;
        }
        informative =
            translated("To view or change access privileges, select the item in Finder and choose File > Get Info.");
    } else if (status == -45) {
        switch (operationType) {
        case 0:
            message = vistel::format(translated("The item \"%@\" could not be copied because item \"%@\" is locked."),
                                     source, destination);
            break;
        case 1:
            message = vistel::format(translated("The item \"%@\" could not be deleted because it is locked."), source);
            break;
        case 3:
            message = vistel::format(
                translated("The item \"%@\" could not be created because folder \"%@\" is locked."), source,
                destinationFolder);
            break;
        case 4:
            message = vistel::format(
                translated("The item \"%@\" could not be moved into \"%@\" because the folder is locked."), source,
                destinationFolder);
            break;
        case 6:
            message = vistel::format(translated("The item \"%@\" could not be renamed because it is locked."), source);
            break;
        default:
            message = translated("The operation could not be completed because an item is locked.");
            break;
        }
        informative.clear();
    }

    if (!message)
        return {translated("Operation could not be completed."), std::string()};
    return {std::move(*message), std::move(informative)};
}

int showFileError(int status, int operationType, const std::string& source, const std::string& destination)
{
    // The alert belongs to the main thread: a call from elsewhere is carried there and waited for.
    if (!RunLoop::isMainThread()) {
        int result = NSAlertErrorReturn;
        ThreadMessages::performSelectorOnMainThread(
            [&] { result = showFileError(status, operationType, source, destination); }, true);
        return result;
    }
    const Texts texts = fileErrorTexts(status, operationType, source, destination, volumeLookup());
    std::unique_ptr<Alert> alert =
        Alert::alertWithMessageText(texts.messageText, translated("OK"), std::nullopt, std::nullopt, texts.informativeText);
    return alert->runModal();
}

} // namespace vistel::NSAlertFileError
