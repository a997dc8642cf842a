// The camera hot-plug choice in mimeapps.list under a temporary XDG_CONFIG_HOME.

#include <gtest/gtest.h>

#include <cstdlib>

#include "CameraTestSupport.h"
#include "Common/Volumes/ImageCapturePreferences.h"
#include "TestSupport.h"

using namespace vistel;
using namespace vistel::test;

namespace {

class HotPlugPreference : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* previous = std::getenv("XDG_CONFIG_HOME");
        previous_ = previous ? std::optional<std::string>(previous) : std::nullopt;
        ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    }
    void TearDown() override
    {
        if (previous_)
            ::setenv("XDG_CONFIG_HOME", previous_->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
    }
    void write(const std::string& text) { writeBytes(config / "mimeapps.list", {text.begin(), text.end()}); }
    std::string read() const
    {
        const std::vector<std::uint8_t> bytes = fileBytes(config / "mimeapps.list");
        return std::string(bytes.begin(), bytes.end());
    }

    TemporaryFolder config;
    std::optional<std::string> previous_;
};

TEST_F(HotPlugPreference, MakingVistelTheDefaultChangesOnlyItsLines)
{
    write("# chosen by hand\n"
          "[Default Applications]\n"
          "image/jpeg=viewer.desktop;\n"
          "x-content/image-dcf=other-photos.desktop;\n"
          "\n"
          "[Added Associations]\n"
          "x-content/image-dcf=other-photos.desktop;\n"
          "text/plain=editor.desktop;\n"
          "\n"
          "[Removed Associations]\n"
          "x-content/image-dcf=vistel.desktop;\n");
    Ref<ImageCapturePreferences> preferences = ImageCapturePreferences::imageCapturePreferences();
    EXPECT_FALSE(preferences->isVistelPresent());
    EXPECT_FALSE(preferences->isVistelADefault());
    preferences->setVistelADefault(true);
    ASSERT_EQ(preferences->save(), 0);
    EXPECT_EQ(read(), "# chosen by hand\n"
                      "[Default Applications]\n"
                      "image/jpeg=viewer.desktop;\n"
                      "x-content/image-dcf=vistel.desktop;\n"
                      "\n"
                      "[Added Associations]\n"
                      "x-content/image-dcf=other-photos.desktop;vistel.desktop;\n"
                      "text/plain=editor.desktop;\n"
                      "\n"
                      "[Removed Associations]\n"
                      "x-content/image-dcf=vistel.desktop;\n");
    Ref<ImageCapturePreferences> again = ImageCapturePreferences::imageCapturePreferences();
    EXPECT_TRUE(again->isVistelPresent());
    EXPECT_TRUE(again->isVistelADefault());

    // Cleared: the next offered application is started.
    again->setVistelADefault(false);
    EXPECT_EQ(again->defaultApplication(), "other-photos.desktop");
    EXPECT_TRUE(again->isVistelPresent());
}

TEST_F(HotPlugPreference, WithoutAFileTheGroupsAreMadeAndClearingLeavesNone)
{
    Ref<ImageCapturePreferences> preferences = ImageCapturePreferences::imageCapturePreferences();
    EXPECT_FALSE(preferences->isVistelPresent());
    EXPECT_FALSE(preferences->isVistelADefault());
    preferences->setVistelADefault(true);
    ASSERT_EQ(preferences->save(), 0);
    EXPECT_EQ(read(), "[Added Associations]\n"
                      "x-content/image-dcf=vistel.desktop;\n"
                      "\n"
                      "[Default Applications]\n"
                      "x-content/image-dcf=vistel.desktop;\n");

    Ref<ImageCapturePreferences> again = ImageCapturePreferences::imageCapturePreferences();
    again->setVistelADefault(false);
    EXPECT_EQ(again->defaultApplication(), "");
    again->setVistelPresent(false);
    ASSERT_EQ(again->save(), 0);
    EXPECT_EQ(read(), "[Added Associations]\n"
                      "\n"
                      "[Default Applications]\n");
}

} // namespace
