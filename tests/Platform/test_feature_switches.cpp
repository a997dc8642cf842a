// ThumbnailLoggingEnabled follows the preference without a restart.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "Platform/FeatureSwitches.h"
#include "Platform/UserDefaults.h"

using namespace vistel;

namespace {

TEST(FeatureSwitches, ThumbnailLoggingFollowsThePreferenceOnEveryCall)
{
    // The standard defaults must not touch the user's own preferences.
    char pattern[] = "/tmp/vistel-switches-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    ::setenv("XDG_CONFIG_HOME", pattern, 1);
    // Points the standard defaults into the new folder also when an earlier repetition of this
    // test in the same process made them and moved them elsewhere.
    UserDefaults::setStandardBundleIdentifier(UserDefaults::DefaultBundleIdentifier);
    UserDefaults& defaults = UserDefaults::standard();
    EXPECT_EQ(defaults.path(), std::string(pattern) + "/Vistel/com.ZovSystems.Vistel.plist");

    EXPECT_FALSE(ThumbnailLoggingEnabled());
    defaults.setBool(true, "ENABLE_THUMBNAILS_GENERATION_LOGGING");
    EXPECT_TRUE(ThumbnailLoggingEnabled());
    defaults.setObject("NO", "ENABLE_THUMBNAILS_GENERATION_LOGGING");
    EXPECT_FALSE(ThumbnailLoggingEnabled());
    defaults.setObject("YES", "ENABLE_THUMBNAILS_GENERATION_LOGGING");
    EXPECT_TRUE(ThumbnailLoggingEnabled());
    defaults.removeObjectForKey("ENABLE_THUMBNAILS_GENERATION_LOGGING");
    EXPECT_FALSE(ThumbnailLoggingEnabled());

    // The standard defaults follow the bundle identifier the program announces.
    UserDefaults::setStandardBundleIdentifier("com.example.Other");
    EXPECT_EQ(defaults.path(), std::string(pattern) + "/Vistel/com.example.Other.plist");
    defaults.setPath("");
    std::filesystem::remove_all(pattern);
}

} // namespace
