// The preferences window: its panes and toolbar, where it goes when the pane changes, and
// controls that write the preferences file another process then reads.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <QWidget>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "Application/PreferencePanes.h"
#include "Application/PreferencesController.h"
#include "Platform/Bundle.h"
#include "Platform/Exception.h"
#include "Platform/Gui/BindableButtons.h"
#include "Platform/Gui/Slider.h"
#include "Platform/UserDefaults.h"
#include "Preferences/Preferences.h"
#include "ShellTestSupport.h"
#include "TestSupport.h"
#include "ZovTranslatorManager.h"

using namespace vistel;

namespace {

const bool privateFolders = test::usePrivateShellFolders();

template <class T>
T* findControl(QWidget* view, const char* key)
{
    return view->findChild<T*>(QString(key));
}

} // namespace

TEST(PreferencesWindowFrame, KeepsTheTopAndStaysOnScreen)
{
    const QRect screen(0, 0, 1000, 800);
    const QSize chrome(0, 60);
    struct Case {
        const char* what;
        QRect frame;
        QSize pane;
        bool first;
        QRect expected;
    };
    const Case cases[] = {
        {"first show: centred", QRect(0, 0, 400, 460), QSize(300, 200), true, QRect(350, 270, 300, 260)},
        {"same size: unchanged", QRect(100, 100, 300, 260), QSize(300, 200), false, QRect(100, 100, 300, 260)},
        {"taller: top kept", QRect(100, 100, 300, 260), QSize(300, 400), false, QRect(100, 100, 300, 460)},
        {"taller near the bottom: moved up", QRect(100, 600, 300, 160), QSize(300, 300), false,
         QRect(100, 440, 300, 360)},
        {"wider at the right edge: moved left", QRect(800, 100, 150, 160), QSize(400, 100), false,
         QRect(600, 100, 400, 160)},
        {"off the left and top: moved in", QRect(-50, -20, 300, 160), QSize(300, 100), false,
         QRect(0, 0, 300, 160)},
        {"taller than the screen: the top wins", QRect(100, 300, 300, 160), QSize(300, 900), false,
         QRect(100, 0, 300, 960)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(preferencesWindowFrame(c.frame, chrome, c.pane, c.first, screen), c.expected) << c.what;
}

class PreferencesWindow : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(privateFolders);
        ZovTranslatorManager::defaultTranslatorManager().setCurrentBackend(ZovTranslatorBackend_Cocoa);
    }
};

TEST_F(PreferencesWindow, FivePanesOnASelectableToolbar)
{
    PreferencesController controller;
    const std::vector<std::string> keys = {"Vistel::General::General", "Vistel::General::Manage",
                                           "Vistel::General::View", "Vistel::General::Update",
                                           "Vistel::General::Print"};
    EXPECT_EQ(controller.panesOrder(), keys);
    EXPECT_EQ(controller.currentPaneKey(), "");
    controller.showPreferences();
    EXPECT_EQ(controller.currentPaneKey(), keys[0]);
    QWidget* window = controller.window();
    EXPECT_EQ(window->windowTitle(), "Preferences");
    EXPECT_TRUE(window->windowFlags() & Qt::Tool);
    EXPECT_NEAR(window->windowOpacity(), 0.9, 0.01);

    WindowToolbar* toolbar = controller.toolbar();
    ASSERT_EQ(toolbar->itemIdentifiers(), keys);
    const char* names[] = {"General", "Manage", "View", "Software Update", "Print"};
    const char* tips[] = {"Cameras, questions before changes, rotation", "Start folder and what the browser lists",
                          "Thumbnail size, style and information", "Checking for a newer version",
                          "Units of print sizes"};
    for (std::size_t i = 0; i < keys.size(); ++i) {
        QAction* item = toolbar->itemAt(i);
        EXPECT_EQ(item->text().toStdString(), names[i]);
        EXPECT_EQ(item->toolTip().toStdString(), tips[i]);
        EXPECT_FALSE(item->icon().isNull()) << names[i];
        EXPECT_EQ(item->isChecked(), i == 0);
    }
    EXPECT_FALSE(toolbar->allowsUserCustomization());

    // A click on an item shows its pane and moves the selection.
    toolbar->itemAt(2)->trigger();
    EXPECT_EQ(controller.currentPaneKey(), keys[2]);
    EXPECT_TRUE(toolbar->itemAt(2)->isChecked());
    EXPECT_FALSE(toolbar->itemAt(0)->isChecked());
    EXPECT_EQ(controller.pane(keys[2])->paneView()->parentWidget()->window(), window);
}

TEST_F(PreferencesWindow, ThePrintKeyShowsThePrintPaneAndUnknownKeysAreAssertions)
{
    PreferencesController controller;
    controller.setCurrentPaneKey("Vistel::General::Print");
    EXPECT_EQ(controller.currentPaneKey(), "Vistel::General::Print");
    auto* units = findControl<RadioGroup>(controller.pane("Vistel::General::Print")->paneView(),
                                          prefs::MeasurementInInches);
    ASSERT_TRUE(units);
    EXPECT_EQ(units->selectedIndex(), Preferences::sharedPreferences().boolForKey(prefs::MeasurementInInches) ? 0 : 1);

    try {
        controller.setCurrentPaneKey("Vistel::General::Nothing");
        ADD_FAILURE() << "no assertion";
    } catch (const Exception& error) {
        EXPECT_EQ(error.reason(), "Must be");
    }
    // The same provider twice adds nothing.
    EXPECT_FALSE(controller.addPreferencePanes("GeneralPreferencePanesController"));
    EXPECT_FALSE(controller.addPreferencePanes("NoSuchPanesController"));
}

TEST_F(PreferencesWindow, ShowingTheSamePaneTwiceKeepsTheFrame)
{
    PreferencesController controller;
    controller.showPreferences();
    controller.setCurrentPaneKey("Vistel::General::View");
    const QRect frame = controller.window()->geometry();
    controller.setCurrentPaneKey("Vistel::General::View");
    EXPECT_EQ(controller.window()->geometry(), frame);
    // Another pane keeps the top edge.
    controller.setCurrentPaneKey("Vistel::General::Update");
    EXPECT_EQ(controller.window()->geometry().top(), frame.top());
    EXPECT_NE(controller.window()->geometry().height(), frame.height());
}

TEST_F(PreferencesWindow, PanesShowTheirPreferencesAndWriteThem)
{
    Preferences& preferences = Preferences::sharedPreferences();
    PreferencesController controller;
    controller.showPreferences();

    // Two ways: the preference moves the control, the user's click writes the preference.
    QWidget* general = controller.pane("Vistel::General::General")->paneView();
    auto* rotate = findControl<CheckBox>(general, prefs::MakeCopyOnRotate);
    ASSERT_TRUE(rotate);
    preferences.setValue(Value(true), prefs::MakeCopyOnRotate);
    EXPECT_TRUE(rotate->isChecked());
    QTest::mouseClick(rotate, Qt::LeftButton, {}, rotate->rect().center() - QPoint(rotate->width() / 2 - 8, 0));
    EXPECT_FALSE(preferences.boolForKey(prefs::MakeCopyOnRotate));

    controller.setCurrentPaneKey("Vistel::General::View");
    auto* size = findControl<Slider>(controller.pane("Vistel::General::View")->paneView(), "ThumbnailStyle.Size");
    ASSERT_TRUE(size);
    EXPECT_DOUBLE_EQ(size->doubleValue(), preferences.doubleForKey("ThumbnailStyle.Size"));
    size->setUserValue(200);
    EXPECT_DOUBLE_EQ(preferences.doubleForKey("ThumbnailStyle.Size"), 200);

    controller.setCurrentPaneKey("Vistel::General::Print");
    auto* units = findControl<RadioGroup>(controller.pane("Vistel::General::Print")->paneView(),
                                          prefs::MeasurementInInches);
    QTest::mouseClick(units->button(1), Qt::LeftButton, {}, QPoint(6, units->button(1)->height() / 2));
    EXPECT_FALSE(preferences.boolForKey(prefs::MeasurementInInches));
    QTest::mouseClick(units->button(0), Qt::LeftButton, {}, QPoint(6, units->button(0)->height() / 2));
    EXPECT_TRUE(preferences.boolForKey(prefs::MeasurementInInches));

    // Software Update names the program.
    auto* update = static_cast<UpdatePreferencePane*>(controller.pane("Vistel::General::Update"));
    const std::string name = Bundle::main()->infoDictionary().get("CFBundleName").toString();
    ASSERT_FALSE(name.empty());
    EXPECT_NE(update->updateMessageTextField()->text().toStdString().find(name), std::string::npos);
    EXPECT_EQ(update->updateMessageTextField()->text().toStdString().find("CFBundleName"), std::string::npos);
}

TEST_F(PreferencesWindow, ChooseSetsTheStartFolder)
{
    test::TemporaryFolder folder;
    std::string offered;
    auto previous = ManagePreferencePane::setFolderChooser([&](const std::string& start) {
        offered = start;
        return std::optional<std::string>(folder.path());
    });
    PreferencesController controller;
    auto* manage = static_cast<ManagePreferencePane*>(controller.pane("Vistel::General::Manage"));
    EXPECT_EQ(manage->defaultOpenLocation()->text().toStdString(), Preferences::defaultBrowserPanelSelectedLoaction());
    manage->onChooseDefaultLocation();
    EXPECT_FALSE(offered.empty());
    EXPECT_EQ(Preferences::sharedPreferences().stringForKey(prefs::DefaultOpenFolder), folder.path());
    EXPECT_EQ(manage->defaultOpenLocation()->text().toStdString(), folder.path());
    // Cancelling the panel changes nothing.
    ManagePreferencePane::setFolderChooser([](const std::string&) { return std::optional<std::string>(); });
    manage->onChooseDefaultLocation();
    EXPECT_EQ(Preferences::sharedPreferences().stringForKey(prefs::DefaultOpenFolder), folder.path());
    ManagePreferencePane::setFolderChooser(previous);
}

// Run in a child process: reads the preferences file afresh and prints one key's value.
TEST(PreferencesFileChild, DISABLED_PrintsTheStoredValue)
{
    const char* key = std::getenv("VISTEL_CHILD_READ_KEY");
    if (!key)
        GTEST_SKIP() << "run by ClickedCheckBoxReachesANewProcess";
    const char* path = std::getenv("VISTEL_CHILD_READ_FILE");
    ASSERT_TRUE(path);
    UserDefaults defaults(path);
    const Value value = defaults.objectForKey(key);
    std::printf("VALUE=%s\n", value.isNull() ? "null" : (value.toBool() ? "YES" : "NO"));
}

TEST_F(PreferencesWindow, ClickedCheckBoxReachesANewProcess)
{
    Preferences& preferences = Preferences::sharedPreferences();
    PreferencesController controller;
    controller.showPreferences();
    controller.setCurrentPaneKey("Vistel::General::Manage");
    auto* folders = findControl<CheckBox>(controller.pane("Vistel::General::Manage")->paneView(), prefs::ShowFolders);
    ASSERT_TRUE(folders);
    const bool before = preferences.boolForKey(prefs::ShowFolders);
    QTest::mouseClick(folders, Qt::LeftButton, {}, QPoint(6, folders->height() / 2));
    ASSERT_EQ(preferences.boolForKey(prefs::ShowFolders), !before);
    ASSERT_TRUE(preferences.synchronize());
    const std::string file = preferences.defaults().path();
    ASSERT_TRUE(std::filesystem::exists(file));

    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(pipeEnds[1], STDOUT_FILENO);
        ::setenv("VISTEL_CHILD_READ_KEY", prefs::ShowFolders, 1);
        ::setenv("VISTEL_CHILD_READ_FILE", file.c_str(), 1);
        ::execl("/proc/self/exe", "child", "--gtest_filter=PreferencesFileChild.DISABLED_PrintsTheStoredValue",
                "--gtest_also_run_disabled_tests", nullptr);
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    std::string output;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        output.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
    EXPECT_NE(output.find(before ? "VALUE=NO" : "VALUE=YES"), std::string::npos) << output;
}

TEST_F(PreferencesWindow, EscapeAndTheCloseKeyCloseIt)
{
    PreferencesController controller;
    const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[] = {{Qt::Key_Escape, Qt::NoModifier},
                                                              {Qt::Key_W, Qt::ControlModifier}};
    for (const auto& [key, modifiers] : keys) {
        controller.showPreferences();
        QWidget* window = controller.window();
        ASSERT_TRUE(window->isVisible());
        // From a control of the pane shown.
        QWidget* control = controller.pane(controller.currentPaneKey())->paneView()->findChild<QWidget*>();
        QTest::keyClick(control ? control : window, key, modifiers);
        EXPECT_FALSE(window->isVisible()) << QKeySequence(key | modifiers).toString().toStdString();
    }
}
