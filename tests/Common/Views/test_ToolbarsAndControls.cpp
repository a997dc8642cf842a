// Panel tool bars (metrics, buttons, the status updater, the frame's tool bar) and the small
// controls (slider with buttons, single-line text field).
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QTest>

#include <thread>

#include "../Alert/AlertTestSupport.h"
#include "Common/Alert/SingleLineTextField.h"
#include "Common/Icons/NSImageNameTemplatesLoader.h"
#include "Common/Strings/Gui/NSImageNamedImageExtended.h"
#include "Common/Views/GTBottomToolbarStyle.h"
#include "Common/Views/SliderWithButtons.h"
#include "Platform/Gui/EventTracking.h"
#include "Platform/Gui/Window.h"

using namespace vistel;
using test::spinUntil;

namespace {

TEST(GTBottomToolbarStyle, ButtonFramesAndImageSizes)
{
    struct FrameCase { int index; QRect frame; };
    for (const FrameCase& c : {FrameCase {0, {4, 2, 24, 24}}, FrameCase {2, {60, 2, 24, 24}}})
        EXPECT_EQ(GTBottomToolbarStyle::bevelButtonFrameForIndex(c.index), c.frame);
    struct ImageCase { QSize image; QSize shown; };
    for (const ImageCase& c : {ImageCase {{32, 10}, {16, 10}}, ImageCase {{10, 40}, {10, 16}}, ImageCase {{8, 8}, {8, 8}}}) {
        QImage image(c.image, QImage::Format_ARGB32);
        image.fill(Qt::red);
        NSImageNamedImageExtended::setImageName("test-bar-image", image);
        std::unique_ptr<ActionButton> button(GTBottomToolbarStyle::newBevelButton(1, "test-bar-image", "Tip"));
        EXPECT_EQ(button->iconSize(), c.shown);
        EXPECT_EQ(button->geometry(), QRect(32, 2, 24, 24));
        EXPECT_EQ(button->toolTip(), "Tip");
    }
    NSImageNamedImageExtended::setImageName("test-bar-image", QImage());
}

// A panel with three controls, of which it makes two.
struct ButtonsPanel : ZovButtonsStatusUpdaterDataSource, Responder {
    bool addEnabled = true;
    std::vector<std::uint32_t> allowedControlsID(ZovButtonsStatusUpdater&) override { return {1, 2, 3}; }
    QWidget* createControlWithID(std::uint32_t identifier, ZovButtonsStatusUpdater&) override
    {
        if (identifier == 2)
            return nullptr;
        ActionButton* button = GTBottomToolbarStyle::newBevelButton(static_cast<int>(identifier), kImageNameAdd, "");
        button->setAction(identifier == 1 ? "add:" : "remove:");
        button->setTarget(this); // the updater clears it: actions travel the chain
        return button;
    }
    bool validateUserInterfaceItem(const UserInterfaceItem& item) override { return item.action() != "add:" || addEnabled; }
};

TEST(ZovButtonsStatusUpdater, ControlsFollowThePanelsValidationAfterInput)
{
    NSImageNameTemplatesLoader::load();
    Window window;
    auto* content = new QWidget;
    QWidget* bar = GTBottomToolbarStyle::newToolbarViewWithFrame({0, 0, 200, 28});
    bar->setParent(content);
    auto* field = new SingleLineTextField(content);
    window.setContentView(content);
    ButtonsPanel panel;
    ZovButtonsStatusUpdater updater(panel, panel, bar);
    EXPECT_EQ(updater.controlWithID(2), nullptr);
    auto* add = dynamic_cast<ActionButton*>(updater.controlWithID(1));
    ASSERT_NE(add, nullptr);
    EXPECT_EQ(add->parentWidget(), bar);
    EXPECT_EQ(add->target(), nullptr);
    window.show();
    field->setFocus();
    panel.addEnabled = false;
    QTest::keyClick(field, Qt::Key_X);
    QCoreApplication::processEvents(); // one pass of the main loop posts the window update
    EXPECT_FALSE(add->isEnabled());
    EXPECT_TRUE(updater.controlWithID(3)->isEnabled());
    panel.addEnabled = true;
    QTest::keyClick(field, Qt::Key_Y);
    QCoreApplication::processEvents();
    EXPECT_TRUE(add->isEnabled());
}

TEST(ZovToolBar, LaysItsViewsOutLeftToRight)
{
    std::unique_ptr<ZovToolBar> toolBar(ZovToolBar::toolBar());
    auto* first = new QWidget;
    auto* second = new QWidget;
    toolBar->addView(first, MakeFixedSizePolicy(40), MakeFixedSizePolicy(24));
    toolBar->addView(second, MakeExpandingSizePolicy(10, -1), MakeFixedSizePolicy(24));
    View::setFrame(toolBar.get(), {0, 0, 300, 24});
    EXPECT_EQ(first->geometry(), QRect(0, 0, 40, 24));
    EXPECT_EQ(second->geometry(), QRect(40, 0, 260, 24));
    EXPECT_EQ(toolBar->vSizePolicyForZovViewLayoutItem(*ZovLayoutItem::create()).minSize, 24);
}

TEST(SliderWithButtons, ButtonsFlankTheSliderAndMoveItToItsEnds)
{
    NSImageNameTemplatesLoader::load();
    std::unique_ptr<SliderWithButtons> control(GTBottomToolbarStyle::newSliderWithWidth(120, nullptr, nullptr));
    const int s = control->slider()->height();
    ASSERT_GT(s, 0);
    EXPECT_EQ(control->maximumButton()->geometry(), View::pixelRect({120.0 - s, (24.0 - s) / 2, double(s), double(s)}));
    EXPECT_EQ(control->slider()->geometry().width(), 120 - 2 * s);
    EXPECT_EQ(control->minimumButton()->geometry().left(), 0);
    EXPECT_FALSE(control->minimumButton()->icon().isNull());
    control->setRange(0, 10);
    int actions = 0;
    Responder target;
    target.setActionHandler("size:", [&](QObject*) { ++actions; });
    control->setAction("size:");
    control->setTarget(&target);
    QTest::mouseClick(control->maximumButton(), Qt::LeftButton);
    EXPECT_EQ(control->doubleValue(), 10);
    EXPECT_EQ(actions, 1);
    QTest::mouseClick(control->maximumButton(), Qt::LeftButton); // already there
    EXPECT_EQ(actions, 1);
    control->toMin();
    EXPECT_EQ(control->doubleValue(), 0);
    EXPECT_EQ(actions, 2);
}

TEST(SliderWithButtons, BoundToAPreference)
{
    UserDefaults defaults("");
    UserDefaultsController controller(defaults);
    defaults.setDouble(64, "ThumbnailStyle.Size");
    SliderWithButtons control({0, 0, 120, 24}, nullptr, nullptr);
    control.setRange(32, 256);
    control.bind(controller, NSValueBinding, "values.ThumbnailStyle.Size",
                 Value(Value::DictionaryType {{NSContinuouslyUpdatesValueBindingOption, Value(true)}}));
    EXPECT_EQ(control.doubleValue(), 64);
    std::thread worker([&] { defaults.setDouble(96, "ThumbnailStyle.Size"); });
    worker.join();
    EXPECT_TRUE(spinUntil([&] { return control.doubleValue() == 96; }, 5000));
    control.toMax();
    EXPECT_EQ(defaults.doubleForKey("ThumbnailStyle.Size"), 256);
    // A drag writes on every step.
    std::vector<double> written;
    const auto token = defaults.addObserver("ThumbnailStyle.Size", [&](const std::string&, const Value& v) { written.push_back(v.toDouble()); });
    Slider* slider = control.slider();
    slider->setSliderDown(true);
    slider->setSliderPosition(250);
    slider->setSliderPosition(500);
    slider->setSliderDown(false);
    defaults.removeObserver(token);
    EXPECT_EQ(written, (std::vector<double> {32 + 224 * 0.25, 32 + 224 * 0.5}));
}

TEST(SingleLineTextField, KeepsItsTextOnOneLine)
{
    SingleLineTextField field;
    struct Case { QString in; QString out; };
    const Case cases[] {
        {"plain", "plain"},
        {"two\nlines", "two lines"},
        {"crlf\r\nend", "crlf  end"},
        {QString("sep") + QChar(0x2028) + "ara" + QChar(0x2029) + "tors", "sep ara tors"},
    };
    for (const Case& c : cases) {
        field.setText(c.in);
        EXPECT_EQ(field.text(), c.out);
    }
    field.clear();
    QApplication::clipboard()->setText("pasted\ntext");
    field.paste();
    EXPECT_EQ(field.text(), "pasted text");
    field.show();
    field.setFocus();
    EXPECT_TRUE(spinUntil([&] { return hasFocus(&field); }, 2000));
}

} // namespace
