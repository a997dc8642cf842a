// The camera preference and the desktop's choice of the program a connected camera starts
// (mimeapps.list in a private configuration folder), kept in step both ways.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "Application/CameraLaunchSetting.h"
#include "Common/Volumes/ImageCapturePreferences.h"
#include "Preferences/Preferences.h"
#include "ShellTestSupport.h"

namespace vistel::test {
namespace {

const bool privateFolders = usePrivateShellFolders();

void writeList(const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(ImageCapturePreferences::path()).parent_path());
    std::ofstream(ImageCapturePreferences::path()) << text;
}

std::string startedByACamera() { return ImageCapturePreferences::imageCapturePreferences()->defaultApplication(); }

TEST(CameraLaunchSetting, ThePreferenceAndTheDesktopFollowEachOther)
{
    ASSERT_TRUE(privateFolders);
    Preferences& preferences = Preferences::sharedPreferences();
    // The desktop chose the program since the last run: the preference says so at start.
    writeList("[Default Applications]\n"
              "x-content/image-dcf=vistel.desktop;\n"
              "[Added Associations]\n"
              "x-content/image-dcf=other-photos.desktop;vistel.desktop;\n");
    preferences.setValue(Value(false), prefs::LaunchOnCameraConnection);
    CameraLaunchSetting::keepInStep();
    EXPECT_TRUE(preferences.boolForKey(prefs::LaunchOnCameraConnection));

    // Turned off in the preferences: the desktop starts the other program; on again: this one.
    preferences.setValue(Value(false), prefs::LaunchOnCameraConnection);
    EXPECT_EQ(startedByACamera(), "other-photos.desktop");
    preferences.setValue(Value(true), prefs::LaunchOnCameraConnection);
    EXPECT_EQ(startedByACamera(), "vistel.desktop");

    // Not chosen by the desktop: the preference is off at start.
    CameraLaunchSetting::stop();
    writeList("[Default Applications]\nx-content/image-dcf=other-photos.desktop;\n");
    CameraLaunchSetting::keepInStep();
    EXPECT_FALSE(preferences.boolForKey(prefs::LaunchOnCameraConnection));
    EXPECT_EQ(startedByACamera(), "other-photos.desktop");

    // Once stopped, the preference no longer writes the file.
    CameraLaunchSetting::stop();
    preferences.setValue(Value(true), prefs::LaunchOnCameraConnection);
    EXPECT_EQ(startedByACamera(), "other-photos.desktop");
}

} // namespace
} // namespace vistel::test
