#pragma once
// CameraLaunchSetting: keeps the preference "Camera.LaunchApplicationOnCameraConnection" and
// the desktop's choice of the program started when a camera is connected (mimeapps.list,
// through ImageCapturePreferences) in step, both ways.
//
// keepInStep() copies the desktop's current choice into the preference (the desktop may have
// been changed since the last run), then follows the preference: each new yes/no value is
// written to mimeapps.list at once. stop() ends the following.
//
// Thread rules: start and stop on the main thread; the file is written on the thread that
// changed the preference.

namespace vistel {

class CameraLaunchSetting {
public:
    static void keepInStep();
    static void stop();
};

} // namespace vistel
