// Window tool bars: items from the delegate, standard items, edits limited to allowed items,
// and a configuration that survives a restart.

#include <gtest/gtest.h>

#include <QAction>

#include "Platform/Gui/Responder.h"
#include "Platform/Gui/WindowToolbar.h"
#include "Platform/UserDefaults.h"
#include "TestSupport.h"

using namespace vistel;

namespace {

class Delegate : public WindowToolbarDelegate {
public:
    std::optional<std::vector<std::string>> toolbarAllowedItemIdentifiers(WindowToolbar& toolbar) override
    {
        if (toolbar.identifier() != "Test")
            return std::nullopt;
        return std::vector<std::string> {"ZoomIn", "ZoomOut", "BestFit", NSToolbarFlexibleSpaceItemIdentifier};
    }
    std::optional<std::vector<std::string>> toolbarDefaultItemIdentifiers(WindowToolbar& toolbar) override
    {
        if (toolbar.identifier() != "Test")
            return std::nullopt;
        return std::vector<std::string> {"ZoomIn", "ZoomOut", NSToolbarFlexibleSpaceItemIdentifier};
    }
    QAction* toolbarItemForItemIdentifier(WindowToolbar&, const std::string& identifier, bool) override
    {
        if (identifier != "ZoomIn" && identifier != "ZoomOut" && identifier != "BestFit")
            return nullptr;
        ++made;
        return new ActionItem(QString::fromStdString(identifier), identifier + ":");
    }
    int made = 0;
};

using Identifiers = std::vector<std::string>;

} // namespace

TEST(WindowToolbarTest, ShowsTheDelegatesDefaultsAndAllowsOnlyAllowedEdits)
{
    UserDefaults defaults("");
    Delegate delegate;
    WindowToolbar toolbar("Test");
    toolbar.setAutosavesConfiguration(true, &defaults);
    toolbar.setDelegate(&delegate);
    EXPECT_EQ(toolbar.itemIdentifiers(), (Identifiers {"ZoomIn", "ZoomOut", NSToolbarFlexibleSpaceItemIdentifier}));
    ASSERT_NE(toolbar.itemAt(0), nullptr);
    EXPECT_EQ(toolbar.itemAt(0)->text(), "ZoomIn");

    EXPECT_FALSE(toolbar.insertItemWithItemIdentifier("Unknown", 0));
    EXPECT_FALSE(toolbar.insertItemWithItemIdentifier("ZoomIn", 0)); // already there
    EXPECT_TRUE(toolbar.insertItemWithItemIdentifier(NSToolbarSeparatorItemIdentifier, 1));
    EXPECT_TRUE(toolbar.insertItemWithItemIdentifier(NSToolbarSeparatorItemIdentifier, 1)); // separators repeat
    EXPECT_TRUE(toolbar.insertItemWithItemIdentifier("BestFit", 99));                       // beyond the end: last
    EXPECT_EQ(toolbar.itemIdentifiers().back(), "BestFit");
    toolbar.resetToDefaults();
    EXPECT_EQ(toolbar.itemIdentifiers(), (Identifiers {"ZoomIn", "ZoomOut", NSToolbarFlexibleSpaceItemIdentifier}));
}

TEST(WindowToolbarTest, EditsSurviveARestart)
{
    test::TemporaryFolder folder;
    const std::string file = folder / "prefs.plist";
    {
        UserDefaults defaults(file);
        Delegate delegate;
        WindowToolbar toolbar("Test");
        toolbar.setAutosavesConfiguration(true, &defaults);
        toolbar.setDelegate(&delegate);
        toolbar.removeItemAtIndex(0);
        toolbar.insertItemWithItemIdentifier("BestFit", 0);
        toolbar.moveItem(0, 2);
        toolbar.setShown(false);
        ASSERT_TRUE(defaults.synchronize());
    }
    UserDefaults defaults(file);
    Delegate delegate;
    WindowToolbar toolbar("Test");
    toolbar.setAutosavesConfiguration(true, &defaults);
    toolbar.setDelegate(&delegate);
    EXPECT_EQ(toolbar.itemIdentifiers(), (Identifiers {"ZoomOut", NSToolbarFlexibleSpaceItemIdentifier, "BestFit"}));
    EXPECT_FALSE(toolbar.isShown());

    // Another tool bar has its own configuration; one emptied by the user stays empty.
    WindowToolbar other("Test");
    UserDefaults empty("");
    empty.setObject(Value::dictionary({{"TB Item Identifiers", Value::array()}}), WindowToolbar::configurationKey("Test"));
    other.setAutosavesConfiguration(true, &empty);
    other.setDelegate(&delegate);
    EXPECT_TRUE(other.itemIdentifiers().empty());
}
