#include "Application/BrowseMode/VolumeEjector.h"

#include "Common/Alert/ZovThreadSafeAlert.h"
#include "Common/FileSystem/Catalogue/FileSystemVolumeMO.h"
#include "Common/Tools/Threads/NSThreadExt.h"
#include "Common/Tools/Threads/ThreadMessages.h"
#include "Common/Volumes/UDisks2Client.h"
#include "Common/Volumes/ZovVolumeInfo.h"
#include "Platform/Formatter.h"
#include "Platform/Log.h"
#include "Platform/ProcessesUsingPath.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

// The eject's texts are the sidebar panel's, asked from its eject thread.
const ZovClass& browserPanelTexts()
{
    static const ZovClass descriptor("BrowserPanel", &ZovClass::nsObject());
    return descriptor;
}

std::string translated(const char* english)
{
    return ZOV_TRANSLATE_AS(browserPanelTexts(), english, "unmountVolumeThreadFunc:");
}

UDisks2Client::DriveAction driveActionForDeviceType(const std::string& deviceType)
{
    if (deviceType == "CD" || deviceType == "DVD")
        return UDisks2Client::DriveAction::Eject;
    if (deviceType == "USB")
        return UDisks2Client::DriveAction::PowerOff;
    return UDisks2Client::DriveAction::None;
}

StatusCode ejectOnce(const VolumeEjectRequest& request, std::uint32_t options)
{
    std::string failure;
    const StatusCode result = UDisks2Client::ejectVolume(request.mountPoint, request.deviceNumber, options != 0,
                                                         driveActionForDeviceType(request.deviceType), &failure);
    if (result != status::NoError)
        ZovLog("VolumeEjector " + request.mountPoint + ": " + statusText(result) + " " + failure);
    return result;
}

// The worker's body: plain values only, never a catalogue object.
StatusCode ejectWithQuestion(const VolumeEjectRequest& request)
{
    const StatusCode result = ejectOnce(request, request.options);
    if (result == status::NoError)
        return result;
    const std::string dissenter = dissentingProcessName(request.mountPoint);
    const Ref<ZovThreadSafeAlert> alert = ZovThreadSafeAlert::alertWithMessageTextAndInformativeText(
        vistel::format(translated("The disk %@ is in use and could not be ejected."), request.displayName), translated("OK"),
        translated("Eject anyway"), std::nullopt,
        dissenter.empty() ? std::string() : vistel::format(translated("The volume is locked by %@."), dissenter));
    if (alert->runModal() != NSAlertAlternateReturn)
        return result;
    // A second failure is not reported.
    return ejectOnce(request, 1);
}

} // namespace

std::uint32_t ejectOptionsForDeviceType(const std::string& deviceType)
{
    return deviceType == "DVD" || deviceType == "CD" || deviceType == "DMG" ? 1 : 0;
}

std::optional<VolumeEjectRequest> ejectRequestForVolume(FileSystemVolumeMO* volume)
{
    if (!volume || volume->isCamera())
        return std::nullopt;
    const Ref<ZovDeviceInfo> device = volume->getDeviceInfo();
    const auto* info = dynamic_cast<const ZovVolumeInfo*>(device.get());
    if (!info)
        return std::nullopt;
    VolumeEjectRequest request;
    request.mountPoint = info->mountPoint();
    request.deviceNumber = info->mount().device;
    request.displayName = volume->displayName();
    request.deviceType = info->type();
    request.options = ejectOptionsForDeviceType(request.deviceType);
    request.refNum = info->refNum();
    return request;
}

void startVolumeEject(VolumeEjectRequest request, std::function<void(StatusCode)> finished)
{
    const Ref<NSThreadExt> worker = NSThreadExt::create([request = std::move(request), finished = std::move(finished)] {
        const StatusCode result = ejectWithQuestion(request);
        if (finished)
            ThreadMessages::performSelectorOnMainThread([finished, result] { finished(result); }, false);
    });
    worker->setName("Volume eject");
    worker->start();
}

} // namespace vistel
