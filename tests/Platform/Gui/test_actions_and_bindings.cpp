// Actions and the responder chain, item validation after input events, mouse tracking, the
// slider and its preference binding.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>

#include <algorithm>
#include <cfloat>
#include <string>
#include <thread>
#include <vector>

#include "../../Common/Alert/AlertTestSupport.h"
#include "Platform/Gui/EventTracking.h"
#include "Platform/Gui/Responder.h"
#include "Platform/Gui/Slider.h"
#include "Platform/Gui/UserDefaultsController.h"
#include "Platform/Gui/View.h"
#include "Platform/Gui/Window.h"
#include "Platform/NotificationCenter.h"
#include "Platform/RunLoop.h"

using namespace vistel;
using test::spinEvents;
using test::spinUntil;

namespace {

// A widget in the chain that records what it performed.
class ResponderEdit : public QLineEdit, public Responder {
public:
    using QLineEdit::QLineEdit;
};

struct Recorder : Responder {
    explicit Recorder(std::string name, std::vector<std::string>& log, std::string action = "act:")
    {
        setActionHandler(action, [this, &log, name](QObject*) { log.push_back(name); });
    }
    bool enabled = true;
    bool validateUserInterfaceItem(const UserInterfaceItem&) override { return enabled; }
};

struct ChainFixture : ::testing::Test {
    std::vector<std::string> log;
    Window window;
    QWidget* content = new QWidget;
    ResponderEdit* edit = new ResponderEdit(content);
    QLineEdit* plainEdit = new QLineEdit(content);
    Recorder controller {"controller", log, "other:"};
    Recorder mode {"mode", log, "other:"};
    Recorder application {"application", log, "other:"};

    ChainFixture()
    {
        window.setContentView(content);
        window.setWindowController(&controller);
        controller.setNextResponder(&mode);
        Responder::setApplicationResponder(&application);
        window.show();
        plainEdit->setFocus();
        spinUntil([&] { return window.focusWidget() == plainEdit; }, 2000);
    }
    ~ChainFixture() override { Responder::setApplicationResponder(nullptr); }
};

TEST_F(ChainFixture, TheChainRunsFromTheFocusToTheApplication)
{
    std::vector<Responder*> expected {&window, &controller, &mode, &application};
    EXPECT_EQ(Responder::responderChain(&window), expected);
    edit->setFocus();
    ASSERT_TRUE(spinUntil([&] { return window.focusWidget() == edit; }, 2000));
    expected.insert(expected.begin(), edit);
    EXPECT_EQ(Responder::responderChain(&window), expected);
}

TEST_F(ChainFixture, TheFirstResponderThatTakesTheActionPerformsIt)
{
    Recorder outsider {"outsider", log, "act:"};
    application.setActionHandler("late:", [&](QObject*) { log.push_back("application"); });
    struct Case {
        const char* name;
        const char* action;
        Responder* target;
        bool sent;
        std::vector<std::string> performed;
    };
    const Case cases[] {
        {"the controller before the mode", "other:", nullptr, true, {"controller"}},
        {"the application last", "late:", nullptr, true, {"application"}},
        {"an explicit target", "act:", &outsider, true, {"outsider"}},
        {"an explicit target without the action", "act:", &mode, false, {}},
        {"nobody", "nothing:", nullptr, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.clear();
        EXPECT_EQ(Responder::sendAction(c.action, c.target, nullptr, &window), c.sent);
        EXPECT_EQ(log, c.performed);
    }
    // The focused widget comes first.
    edit->setActionHandler("other:", [&](QObject*) { log.push_back("edit"); });
    edit->setFocus();
    ASSERT_TRUE(spinUntil([&] { return window.focusWidget() == edit; }, 2000));
    log.clear();
    EXPECT_TRUE(Responder::sendAction("other:", nullptr, nullptr, &window));
    EXPECT_EQ(log, std::vector<std::string> {"edit"});
}

TEST_F(ChainFixture, AGoneTargetSendsNothingAndDisablesItsItem)
{
    ActionItem item(QString("Go"), "other:", &window);
    {
        Recorder shortLived {"short", log, "other:"};
        item.setTarget(&shortLived);
        item.validate(&window);
        EXPECT_TRUE(item.isEnabled());
    }
    EXPECT_FALSE(item.sendActionFrom(&item, &window));
    item.validate(&window);
    EXPECT_FALSE(item.isEnabled());
    EXPECT_TRUE(log.empty());
}

TEST_F(ChainFixture, ItemsFollowValidationAfterAKeyPress)
{
    auto* toolBar = window.addToolBar("tools");
    auto* item = new ActionItem(QString("Act"), "other:", toolBar);
    toolBar->addAction(item);
    ASSERT_TRUE(spinUntil([&] { return item->isEnabled(); }, 2000));
    controller.enabled = false;
    QTest::keyClick(plainEdit, Qt::Key_A);
    // One pass of the main loop posts the coalesced window update.
    QCoreApplication::processEvents();
    EXPECT_FALSE(item->isEnabled());
    controller.enabled = true;
    QTest::keyClick(plainEdit, Qt::Key_B);
    QCoreApplication::processEvents();
    EXPECT_TRUE(item->isEnabled());
}

TEST_F(ChainFixture, ManyInputEventsGiveOneUpdatePerWindowAndPass)
{
    QWidget hidden; // not visible: no updates
    Window other;
    other.show();
    QCoreApplication::processEvents();
    std::vector<QWidget*> updated;
    NotificationCenter::defaultCenter().addObserver(&updated, [&](const Notification& n) {
        updated.push_back(View::widgetOf(n.object.get()));
    }, NSWindowDidUpdateNotification);
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(plainEdit, Qt::Key_A);
    QCoreApplication::processEvents();
    NotificationCenter::defaultCenter().removeObserver(&updated);
    std::sort(updated.begin(), updated.end());
    std::vector<QWidget*> expected {&window, &other};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(updated, expected);
}

TEST_F(ChainFixture, AMenuItemValidatedOffIgnoresItsShortcut)
{
    QMenu* menu = window.menuBar()->addMenu("Edit");
    auto* item = new ActionItem(QString("Act"), "other:", menu);
    item->setShortcut(QKeySequence("Ctrl+K"));
    item->setShortcutContext(Qt::ApplicationShortcut);
    menu->addAction(item);
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    spinEvents(20);
    QTest::keyClick(plainEdit, Qt::Key_K, Qt::ControlModifier);
    spinEvents(20);
    EXPECT_EQ(log, std::vector<std::string> {"controller"});
    // Validated off after the last update: the trigger validates once more and does not send.
    log.clear();
    controller.enabled = false;
    item->trigger();
    EXPECT_TRUE(log.empty());
    EXPECT_FALSE(item->isEnabled());
    QTest::keyClick(plainEdit, Qt::Key_K, Qt::ControlModifier);
    spinEvents(20);
    EXPECT_TRUE(log.empty());
}

TEST_F(ChainFixture, AMenuClosedWithEscapeLeavesTheChainAtTheFocusedView)
{
    // Copy is the focused view's: the chain has to start there to enable it.
    edit->setActionHandler("copy:", [&](QObject*) { log.push_back("edit"); });
    QMenu* menu = window.menuBar()->addMenu("&File");
    menu->addAction(new ActionItem(QString("Open"), "other:", menu));
    QMenu* editMenu = window.menuBar()->addMenu("&Edit");
    auto* copy = new ActionItem(QString("Copy"), "copy:", editMenu);
    copy->setShortcut(QKeySequence("Ctrl+C"));
    editMenu->addAction(copy);
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    edit->setFocus();
    ASSERT_TRUE(spinUntil([&] { return QApplication::focusWidget() == edit; }, 2000));

    // A menu opened, then closed with Escape.
    menu->popup(QPoint(0, 0));
    ASSERT_TRUE(spinUntil([&] { return menu->isVisible(); }, 2000));
    QTest::keyClick(menu, Qt::Key_Escape);
    ASSERT_TRUE(spinUntil([&] { return !menu->isVisible(); }, 2000));
    // The menu bar, used from the keyboard, holds the focus then.
    window.menuBar()->setFocus(Qt::MenuBarFocusReason);
    ASSERT_TRUE(spinUntil([&] { return window.focusWidget() == window.menuBar(); }, 2000));
    ASSERT_EQ(window.focusWidget(), window.menuBar());

    EXPECT_EQ(Responder::responderChain(&window).front(), edit);
    copy->validate();
    EXPECT_TRUE(copy->isEnabled());
    copy->trigger();
    EXPECT_EQ(log, std::vector<std::string> {"edit"});
}

TEST(EventTracking, DefaultModeWorkWaitsWhileAButtonIsHeld)
{
    QWidget widget;
    widget.resize(100, 100);
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    QTest::mousePress(&widget, Qt::LeftButton, {}, {10, 10});
    EXPECT_TRUE(EventTracking::isTracking());
    EXPECT_EQ(EventTracking::pressedWidget(), &widget);
    EXPECT_TRUE(hasFocus(&widget));
    bool ran = false;
    bool commonRan = false;
    RunLoop::main()->perform([&] { ran = true; }, {NSDefaultRunLoopMode});
    RunLoop::main()->perform([&] { commonRan = true; }, {NSRunLoopCommonModes});
    EXPECT_TRUE(spinUntil([&] { return commonRan; }, 2000));
    spinEvents(30);
    EXPECT_FALSE(ran);
    QTest::mouseRelease(&widget, Qt::LeftButton, {}, {10, 10});
    EXPECT_FALSE(EventTracking::isTracking());
    EXPECT_FALSE(hasFocus(&widget));
    EXPECT_TRUE(spinUntil([&] { return ran; }, 2000));
}

TEST(EventTracking, AControlAskedFromItsOwnClickHasFocus)
{
    Window window;
    auto* button = new ActionButton;
    button->setFocusPolicy(Qt::NoFocus);
    window.setContentView(button);
    bool focusedDuringAction = false;
    window.setActionHandler("press:", [&](QObject* sender) { focusedDuringAction = hasFocus(qobject_cast<QWidget*>(sender)); });
    button->setAction("press:");
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(focusedDuringAction);
    EXPECT_FALSE(hasFocus(button));
}

TEST(Window, ContentLimitsScreenNumbersAndClosing)
{
    Window window;
    window.setContentView(new QWidget);
    window.setContentMinSize({200.4, 100});
    window.setContentMaxSize({FLT_MAX, 3.4028235e38f});
    EXPECT_EQ(window.contentView()->minimumSize(), QSize(200, 100));
    EXPECT_EQ(window.contentView()->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    QScreen* screen = QGuiApplication::primaryScreen();
    const auto number = Window::screenNumber(screen);
    ASSERT_TRUE(number);
    EXPECT_EQ(Window::screenWithNumber(*number), screen);
    EXPECT_EQ(Window::screenNumber(nullptr), std::nullopt);
    int closes = 0;
    NotificationCenter::defaultCenter().addObserver(&closes, [&](const Notification&) { ++closes; },
        NSWindowWillCloseNotification, View::viewObject(&window));
    window.show();
    window.close();
    NotificationCenter::defaultCenter().removeObserver(&closes);
    EXPECT_EQ(closes, 1);
}

TEST(Slider, ActionsOnRealChangesOnly)
{
    Slider slider;
    slider.setRange(0, 10);
    int actions = 0;
    Responder target;
    target.setActionHandler("moved:", [&](QObject*) { ++actions; });
    slider.setAction("moved:");
    slider.setTarget(&target);
    struct Case { std::function<void()> set; int actions; double value; };
    const std::vector<Case> cases {
        {[&] { slider.setDoubleValue(2.5); }, 1, 2.5},
        {[&] { slider.setDoubleValue(2.5); }, 1, 2.5},
        {[&] { slider.setStringValue("2.5"); }, 1, 2.5},
        {[&] { slider.setIntValue(3); }, 2, 3},
        {[&] { slider.setObjectValue(Value(3.0)); }, 2, 3},
        {[&] { slider.setDoubleValue(40); }, 3, 10},
        {[&] { slider.setDoubleValue(10); }, 3, 10},
        {[&] { slider.setUserValue(0.125); }, 4, 0.125},
    };
    for (const Case& c : cases) {
        c.set();
        EXPECT_EQ(actions, c.actions);
        EXPECT_DOUBLE_EQ(slider.doubleValue(), c.value);
    }
    EXPECT_EQ(slider.value(), 13); // the knob's step: 0.125 of 10 over 1000 steps
}

struct BindingFixture : ::testing::Test {
    UserDefaults defaults {""};
    UserDefaultsController controller {defaults};
    Slider slider;
    BindingFixture()
    {
        slider.setRange(32, 256);
        defaults.setDouble(64, "ThumbnailStyle.Size");
        slider.resize(200, 24);
    }
};

TEST_F(BindingFixture, PreferenceChangesMoveTheSliderAlsoFromAWorker)
{
    controller.bind(slider, NSValueBinding, "values.ThumbnailStyle.Size",
        Value(Value::DictionaryType {{NSContinuouslyUpdatesValueBindingOption, Value(true)}}));
    EXPECT_DOUBLE_EQ(slider.doubleValue(), 64);
    defaults.setDouble(128, "ThumbnailStyle.Size");
    EXPECT_DOUBLE_EQ(slider.doubleValue(), 128);
    std::thread worker([&] { defaults.setDouble(200, "ThumbnailStyle.Size"); });
    worker.join();
    EXPECT_TRUE(spinUntil([&] { return slider.doubleValue() == 200; }, 5000));
    EXPECT_EQ(controller.valueForKeyPath("values.ThumbnailStyle.Size"), Value(200.0));
}

TEST_F(BindingFixture, DraggingWritesContinuouslyOrAtTheEnd)
{
    for (bool continuous : {true, false}) {
        SCOPED_TRACE(continuous);
        defaults.setDouble(64, "ThumbnailStyle.Size");
        controller.bind(slider, NSValueBinding, "values.ThumbnailStyle.Size",
            Value(Value::DictionaryType {{NSContinuouslyUpdatesValueBindingOption, Value(continuous)}}));
        std::vector<double> written;
        const auto token = defaults.addObserver("ThumbnailStyle.Size", [&](const std::string&, const Value& v) { written.push_back(v.toDouble()); });
        slider.setSliderDown(true);
        slider.setSliderPosition(500);
        slider.setSliderPosition(750);
        EXPECT_EQ(written.size(), continuous ? 2u : 0u);
        slider.setSliderDown(false);
        defaults.removeObserver(token);
        EXPECT_DOUBLE_EQ(defaults.doubleForKey("ThumbnailStyle.Size"), 32 + 224 * 0.75);
        EXPECT_EQ(written.back(), 32 + 224 * 0.75);
        // No echo: the write did not set the slider again or write twice.
        EXPECT_EQ(written.size(), continuous ? 2u : 1u);
    }
    UserDefaultsController::unbind(slider, NSValueBinding);
    EXPECT_FALSE(slider.isBound(NSValueBinding));
    defaults.setDouble(100, "ThumbnailStyle.Size");
    EXPECT_NE(slider.doubleValue(), 100);
}

} // namespace
