// The browse mode in a real main window: identity, handler and selection, the tool bar's
// identifiers and items, and the up arrow of the history control.

#include <gtest/gtest.h>

#include <QImage>
#include <QToolButton>
#include <QWidgetAction>

#include "../ShellTestSupport.h"
#include "BrowseTestSupport.h"
#include "Application/BrowseMode/BrowsingModeController.h"
#include "Application/MainWindow.h"
#include "Common/Strings/Gui/NSImageNamedImageExtended.h"
#include "CustomizePalette.h"
#include "Platform/Exception.h"
#include "Platform/Gui/Responder.h"
#include "Platform/Gui/Window.h"

namespace vistel::test {
namespace {

const bool privateFolders = usePrivateShellFolders();

class BrowsingModeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(privateFolders);
        mode_ = openBrowseWindow(window_);
        ASSERT_TRUE(mode_);
    }
    void TearDown() override
    {
        closeBrowseWindow(window_);
    }
    std::unique_ptr<MainWindow> window_;
    BrowsingModeController* mode_ = nullptr;
};

TEST_F(BrowsingModeTest, IsTheWindowsManageModeWithItsHandlerAndSelection)
{
    EXPECT_EQ(window_->currentModeController(), mode_);
    EXPECT_EQ(mode_->controllerID(), "BrowsingModeControllerIdentifier");
    EXPECT_EQ(mode_->controllerUIName(), "Manage");
    EXPECT_EQ(mode_->uiHandler(), mode_->browsingHandler());
    ASSERT_TRUE(mode_->browsingSelection());
    EXPECT_EQ(mode_->browsingSelectedFolders().size(), 0u);
    // Actions the handler answers reach it through the mode.
    EXPECT_TRUE(mode_->respondsToAction("copy:"));
    EXPECT_FALSE(mode_->respondsToAction("showInFinder:"));

    std::unique_ptr<QAction> item(BrowsingModeController::controllerToolbarItem());
    EXPECT_EQ(item->text().toStdString(), "Browsing");
    EXPECT_EQ(item->toolTip().toStdString(), "Browsing");
    EXPECT_EQ(item->property("itemIdentifier").toString().toStdString(), BrowsingModeController::ControllerID);
    EXPECT_EQ(dynamic_cast<ActionItem*>(item.get())->action(), "selectController:");
    EXPECT_FALSE(item->icon().isNull());
}

TEST_F(BrowsingModeTest, ToolbarIdentifiersAndItems)
{
    WindowToolbar* toolbar = mode_->controllerToolBar();
    EXPECT_EQ(mode_->toolbarDefaultItemIdentifiers(*toolbar),
              (std::vector<std::string> {"historyNavigator", NSToolbarSeparatorItemIdentifier, "newPhotoFrame",
                                         "editPhotoFrame", "resetPhotoFrame"}));
    EXPECT_EQ(mode_->toolbarAllowedItemIdentifiers(*toolbar),
              (std::vector<std::string> {"historyNavigator", "thumbViewMode", NSToolbarSpaceItemIdentifier,
                                         NSToolbarSeparatorItemIdentifier, NSToolbarCustomizeToolbarItemIdentifier,
                                         "newPhotoFrame", "editPhotoFrame", "resetPhotoFrame"}));
    EXPECT_EQ(toolbar->itemIdentifiers(), *mode_->toolbarDefaultItemIdentifiers(*toolbar));

    // Another mode's tool bar gets nothing from this delegate.
    WindowToolbar other("ViewModeControllerIdentifier");
    EXPECT_FALSE(mode_->toolbarAllowedItemIdentifiers(other));
    EXPECT_EQ(mode_->toolbarItemForItemIdentifier(other, "historyNavigator", true), nullptr);

    // Asked twice, the same item; the shown one is the cached one.
    QAction* history = mode_->toolbarItemForItemIdentifier(*toolbar, "historyNavigator", true);
    EXPECT_EQ(mode_->toolbarItemForItemIdentifier(*toolbar, "historyNavigator", false), history);
    EXPECT_EQ(toolbar->itemAt(0), history);
    // One the mode does not know raises.
    EXPECT_THROW(mode_->toolbarItemForItemIdentifier(*toolbar, "noSuchItem", false), Exception);

    struct Case {
        const char* identifier;
        const char* label;
        std::string action;
    } plain[] = {
        {"newPhotoFrame", "New Frame", "newPictureFrame:"},
        {"editPhotoFrame", "Configure Frame", "editPictureFrame:"},
        {"resetPhotoFrame", "Reset Frame", "resetPictureFrame:"},
        {"rotateLeft", "Rotate Left", "rotateLeft:"},
        {"rotateRight", "Rotate Right", "rotateRight:"},
        {"deviceInfo", "Show/Hide Device Properties", "showHideDeviceProperties:"},
    };
    for (const Case& c : plain) {
        auto* item = dynamic_cast<ActionItem*>(mode_->toolbarItemForItemIdentifier(*toolbar, c.identifier, false));
        ASSERT_TRUE(item) << c.identifier;
        EXPECT_EQ(item->text().toStdString(), c.label);
        EXPECT_EQ(item->toolTip().toStdString(), c.label);
        EXPECT_EQ(item->action(), c.action);
        EXPECT_FALSE(item->icon().isNull()) << c.identifier;
    }

    // Segmented controls: one button per segment with its own tip; segments whose actions are
    // not live stay disabled.
    auto segments = [&](const char* identifier) {
        auto* item = dynamic_cast<QWidgetAction*>(mode_->toolbarItemForItemIdentifier(*toolbar, identifier, false));
        std::vector<std::string> out;
        if (item)
            for (QToolButton* button : item->defaultWidget()->findChildren<QToolButton*>())
                out.push_back(button->toolTip().toStdString() + (button->isEnabled() ? "" : " (off)"));
        return out;
    };
    mode_->validateSegments();
    // The history gives the navigation segments their tips: none while there is nowhere to go.
    EXPECT_EQ(segments("historyNavigator"), (std::vector<std::string> {" (off)", " (off)", " (off)"}));
    EXPECT_EQ(segments("thumbViewMode"),
              (std::vector<std::string> {"Show images in a list (off)", "Show thumbnails (off)"}));

    try {
        mode_->toolbarItemForItemIdentifier(*toolbar, "noSuchItem", true);
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.name(), "NSInternalInconsistencyException");
        EXPECT_EQ(e.reason(), "Cannot construct toolbar item with identifier 'noSuchItem' for toolbar "
                              "'BrowsingModeControllerIdentifier'");
    }
}

TEST_F(BrowsingModeTest, TheUpArrowPointsUp)
{
    const QImage right = NSImageNamedImageExtended::imageNamed("GoRight.png", "images");
    const QImage up = BrowsingModeController::upArrowImage();
    ASSERT_FALSE(right.isNull());
    ASSERT_EQ(up.size(), right.size());
    const int w = up.width();
    auto opaque = [&](int x, int y) { return qAlpha(up.pixel(x, y)) > 200; };
    // "GoRight" has its tip at the right, its base at the left: turned, the tip is on top.
    EXPECT_TRUE(opaque(w / 2, w / 4 + 1));        // near the tip
    EXPECT_FALSE(opaque(w / 4, w / 4 + 1));       // beside the tip
    EXPECT_TRUE(opaque(w / 4, w * 2 / 3));        // the wide base below
    EXPECT_FALSE(opaque(w / 2, w - 3));           // nothing under the base
    // Exactly a quarter turn: up(x, y) = right(w - 1 - y, x).
    int differing = 0;
    for (int y = 0; y < w; ++y)
        for (int x = 0; x < w; ++x)
            differing += std::abs(qAlpha(up.pixel(x, y)) - qAlpha(right.pixel(w - 1 - y, x))) > 8;
    EXPECT_EQ(differing, 0);
}

TEST_F(BrowsingModeTest, ThePaletteAddsRemovesReordersAndResetsTheBrowseToolbar)
{
    WindowToolbar* toolbar = mode_->controllerToolBar();
    toolbar->setAllowsUserCustomization(true);
    const std::vector<std::string> defaults = *mode_->toolbarDefaultItemIdentifiers(*toolbar);
    toolbar->resetToDefaults();
    const std::string separator = NSToolbarSeparatorItemIdentifier, space = NSToolbarSpaceItemIdentifier;
    auto shows = [&](const std::vector<std::string>& identifiers) {
        EXPECT_EQ(toolbar->itemIdentifiers(), identifiers);
        EXPECT_EQ(toolbar->actions().size(), qsizetype(identifiers.size()));
    };
    const bool ran = runCustomizePalette(*toolbar, [&](CustomizePalette& palette) {
        // The view switch, then a space, after the history control.
        ASSERT_TRUE(palette.selectAvailable("View"));
        ASSERT_TRUE(palette.selectCurrent(0));
        ASSERT_TRUE(palette.press("Add"));
        ASSERT_TRUE(palette.selectAvailable("Space"));
        ASSERT_TRUE(palette.selectCurrent(1));
        ASSERT_TRUE(palette.press("Add"));
        shows({"historyNavigator", "thumbViewMode", space, separator, "newPhotoFrame", "editPhotoFrame", "resetPhotoFrame"});
        // Out goes the separator; the history control moves down and back up.
        ASSERT_TRUE(palette.selectCurrent(3));
        ASSERT_TRUE(palette.press("Remove"));
        ASSERT_TRUE(palette.selectCurrent(0));
        ASSERT_TRUE(palette.press("Down"));
        shows({"thumbViewMode", "historyNavigator", space, "newPhotoFrame", "editPhotoFrame", "resetPhotoFrame"});
        ASSERT_TRUE(palette.press("Up"));
        ASSERT_TRUE(palette.selectCurrent(1));
        ASSERT_TRUE(palette.press("Remove"));
        ASSERT_TRUE(palette.press("Default Set"));
        shows(defaults);
        ASSERT_TRUE(palette.selectAvailable("View"));
        ASSERT_TRUE(palette.selectCurrent(0));
        ASSERT_TRUE(palette.press("Add"));
    });
    ASSERT_TRUE(ran);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    std::vector<std::string> expected = defaults;
    expected.insert(expected.begin() + 1, "thumbViewMode");
    shows(expected);
    // The history control still drives its segments.
    mode_->validateSegments();
    auto* history = dynamic_cast<QWidgetAction*>(toolbar->itemAt(0));
    ASSERT_TRUE(history);
    EXPECT_EQ(history->defaultWidget()->findChildren<QToolButton*>().size(), 3);
    toolbar->resetToDefaults();
}

} // namespace
} // namespace vistel::test
