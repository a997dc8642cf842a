// Window frames kept under a name: the stored text, clamping onto the screen, and a frame that
// survives a restart (a new preferences object over the same file).

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "Platform/Gui/WindowFrameAutosave.h"
#include "Platform/UserDefaults.h"
#include "TestSupport.h"

using namespace vistel;

TEST(WindowFrameAutosaveTest, StoredTextReadsBackAndRefusesAnythingElse)
{
    SavedWindowFrame saved {QRect(10, 20, 800, 600), QRect(0, 0, 1600, 1000)};
    EXPECT_EQ(windowFrameText(saved), "10 20 800 600 0 0 1600 1000");
    auto back = parseWindowFrame("10 20 800 600 0 0 1600 1000");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->frame, saved.frame);
    EXPECT_EQ(back->screenFrame, saved.screenFrame);
    for (const char* bad : {"", "10 20 800", "10 20 800 600 0 0 1600 1000 5", "a b c d e f g h", "1 2 0 600 0 0 1 1",
                            "1 2 300 -5 0 0 1 1"})
        EXPECT_FALSE(parseWindowFrame(bad)) << bad;
}

TEST(WindowFrameAutosaveTest, FramesAreClampedIntoTheVisibleScreen)
{
    const QRect screen(0, 30, 1600, 970);
    struct Case {
        QRect frame;
        QRect expected;
    };
    const Case cases[] = {
        {QRect(100, 100, 800, 600), QRect(100, 100, 800, 600)},   // inside: unchanged
        {QRect(-500, -200, 800, 600), QRect(0, 30, 800, 600)},    // off the top left
        {QRect(1500, 900, 800, 600), QRect(800, 400, 800, 600)},  // off the bottom right
        {QRect(10, 10, 3000, 2000), QRect(0, 30, 1600, 970)},     // larger than the screen
        {QRect(5000, 5000, 200, 100), QRect(1400, 900, 200, 100)} // on a screen that is gone
    };
    for (const Case& c : cases)
        EXPECT_EQ(clampedWindowFrame(c.frame, screen), c.expected) << c.frame.x() << "," << c.frame.y();
}

TEST(WindowFrameAutosaveTest, AResizedWindowReopensAtItsSizeAfterARestart)
{
    test::TemporaryFolder folder;
    const std::string file = folder / "prefs.plist";
    const QRect visible = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect resized(visible.x() + 40, visible.y() + 30, 530, 410);
    {
        UserDefaults defaults(file);
        QWidget window;
        EXPECT_FALSE(WindowFrameAutosave::setFrameAutosaveName(&window, "TestFrame", defaults));
        window.show();
        window.setGeometry(resized);
        window.close();
        ASSERT_TRUE(defaults.synchronize());
    }
    UserDefaults reopened(file);
    auto saved = parseWindowFrame(reopened.stringForKey(WindowFrameAutosave::defaultsKey("TestFrame")));
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->frame.size(), resized.size());
    QWidget window;
    EXPECT_TRUE(WindowFrameAutosave::setFrameAutosaveName(&window, "TestFrame", reopened));
    EXPECT_EQ(window.geometry().size(), resized.size());
}
