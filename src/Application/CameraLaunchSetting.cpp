#include "Application/CameraLaunchSetting.h"

#include <atomic>

#include "Common/Volumes/ImageCapturePreferences.h"
#include "Platform/Formatter.h"
#include "Platform/Log.h"
#include "Platform/UserDefaults.h"
#include "Preferences/Preferences.h"

namespace vistel {

namespace {

std::atomic<UserDefaults::ObserverToken> following {0};

void applyToDesktop(const Value& value)
{
    if (!value.isNumber())
        return;
    Ref<ImageCapturePreferences> desktop = ImageCapturePreferences::imageCapturePreferences();
    const bool wanted = value.toBool();
    if (desktop->isVistelADefault() == wanted)
        return;
    desktop->setVistelADefault(wanted);
    if (const StatusCode result = desktop->save(); result != 0)
        ZovLog(vistel::format("CameraLaunchSetting: %@ cannot be written (%d)", ImageCapturePreferences::path(),
                              static_cast<int>(result)));
}

} // namespace

void CameraLaunchSetting::keepInStep()
{
    stop();
    Preferences& preferences = Preferences::sharedPreferences();
    const bool desktop = ImageCapturePreferences::imageCapturePreferences()->isVistelADefault();
    preferences.setValue(Value(desktop), prefs::LaunchOnCameraConnection);
    following = UserDefaults::standard().addObserver(prefs::LaunchOnCameraConnection,
                                                     [](const std::string&, const Value& value) { applyToDesktop(value); });
}

void CameraLaunchSetting::stop()
{
    if (const UserDefaults::ObserverToken token = following.exchange(0))
        UserDefaults::standard().removeObserver(token);
}

} // namespace vistel
