// Window tool bars: items from the delegate, standard items, edits limited to allowed items,
// and a configuration that survives a restart.

#include <gtest/gtest.h>

#include <QAction>
#include <QPointer>
#include <QWidget>

#include <map>

#include "Platform/Gui/Responder.h"
#include "Platform/Gui/WindowToolbar.h"
#include "CustomizePalette.h"
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

// Keeps the item it made for each identifier and hands it out again while it lives.
class KeepingDelegate : public Delegate {
public:
    QAction* toolbarItemForItemIdentifier(WindowToolbar& toolbar, const std::string& identifier, bool inserted) override
    {
        QPointer<QAction>& kept = items[identifier];
        if (!kept)
            kept = Delegate::toolbarItemForItemIdentifier(toolbar, identifier, inserted);
        return kept;
    }
    std::map<std::string, QPointer<QAction>> items;
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

TEST(WindowToolbarTest, ThePaletteAddsRemovesReordersAndResets)
{
    Delegate fresh;
    KeepingDelegate keeping;
    const std::pair<const char*, Delegate*> delegates[] = {{"new items every time", &fresh},
                                                           {"items kept by the delegate", &keeping}};
    for (const auto& [what, delegate] : delegates) {
        SCOPED_TRACE(what);
        UserDefaults defaults("");
        WindowToolbar toolbar("Test");
        toolbar.setAllowsUserCustomization(true);
        toolbar.setAutosavesConfiguration(true, &defaults);
        toolbar.setDelegate(delegate);
        // What the tool bar shows is what it lists, item for item.
        auto shows = [&](const Identifiers& identifiers) {
            EXPECT_EQ(toolbar.itemIdentifiers(), identifiers);
            const QList<QAction*> shown = toolbar.actions();
            EXPECT_EQ(shown.size(), qsizetype(identifiers.size()));
            for (qsizetype i = 0; i < shown.size(); ++i)
                EXPECT_EQ(shown[i], toolbar.itemAt(std::size_t(i))) << i;
        };
        const std::string flexible = NSToolbarFlexibleSpaceItemIdentifier;
        const bool ran = test::runCustomizePalette(toolbar, [&](test::CustomizePalette& palette) {
            EXPECT_EQ(palette.currentLabels(), (QStringList {"ZoomIn", "ZoomOut", "Flexible Space"}));
            // Add after the row chosen.
            ASSERT_TRUE(palette.selectAvailable("BestFit"));
            ASSERT_TRUE(palette.selectCurrent(0));
            ASSERT_TRUE(palette.press("Add"));
            shows({"ZoomIn", "BestFit", "ZoomOut", flexible});
            ASSERT_TRUE(palette.selectAvailable("Flexible Space"));
            ASSERT_TRUE(palette.press("Add"));
            shows({"ZoomIn", "BestFit", "ZoomOut", flexible, flexible});
            ASSERT_TRUE(palette.selectCurrent(1));
            ASSERT_TRUE(palette.press("Remove"));
            shows({"ZoomIn", "ZoomOut", flexible, flexible});
            ASSERT_TRUE(palette.selectCurrent(0));
            ASSERT_TRUE(palette.press("Down"));
            shows({"ZoomOut", "ZoomIn", flexible, flexible});
            ASSERT_TRUE(palette.press("Down"));
            ASSERT_TRUE(palette.press("Up"));
            shows({"ZoomOut", "ZoomIn", flexible, flexible});
            ASSERT_TRUE(palette.selectCurrent(3));
            ASSERT_TRUE(palette.press("Remove"));
            ASSERT_TRUE(palette.press("Default Set"));
            shows({"ZoomIn", "ZoomOut", flexible});
            EXPECT_EQ(palette.currentLabels(), (QStringList {"ZoomIn", "ZoomOut", "Flexible Space"}));
        });
        ASSERT_TRUE(ran);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        shows({"ZoomIn", "ZoomOut", flexible});
        EXPECT_EQ(toolbar.itemAt(0)->text(), "ZoomIn");
        // Every edit was stored.
        const Value stored = defaults.dictionaryForKey(WindowToolbar::configurationKey("Test"));
        EXPECT_EQ(stored.get("TB Item Identifiers").asArray().size(), 3u);
    }
}

TEST(WindowToolbarTest, NothingIsStoredBeforeTheItemsAreKnown)
{
    UserDefaults defaults("");
    Delegate delegate;
    {
        // The window's set-up order: autosave and display mode before the delegate.
        WindowToolbar toolbar("Test");
        toolbar.setAutosavesConfiguration(true, &defaults);
        toolbar.setDisplayMode(2);
        toolbar.setDelegate(&delegate);
        EXPECT_EQ(toolbar.itemIdentifiers(), (Identifiers {"ZoomIn", "ZoomOut", NSToolbarFlexibleSpaceItemIdentifier}));
    }
    // Whatever is stored is what showed.
    const Value stored = defaults.dictionaryForKey(WindowToolbar::configurationKey("Test"));
    if (!stored.isNull()) {
        EXPECT_EQ(stored.get("TB Item Identifiers").asArray().size(), 3u);
    }
    // The next window shows the same.
    WindowToolbar next("Test");
    next.setAutosavesConfiguration(true, &defaults);
    next.setDisplayMode(2);
    next.setDelegate(&delegate);
    EXPECT_EQ(next.itemIdentifiers(), (Identifiers {"ZoomIn", "ZoomOut", NSToolbarFlexibleSpaceItemIdentifier}));
}

TEST(WindowToolbarTest, TheWindowMayGoWhileThePaletteIsOpen)
{
    // As when the program quits with the dialog open: the window takes its tool bar and the dialog.
    UserDefaults defaults("");
    Delegate delegate;
    auto* window = new QWidget;
    auto* toolbar = new WindowToolbar("Test", window);
    toolbar->setAllowsUserCustomization(true);
    toolbar->setAutosavesConfiguration(true, &defaults);
    toolbar->setDelegate(&delegate);
    window->show();
    QPointer<QWidget> dialog;
    const bool ran = test::runCustomizePalette(*toolbar, [&](test::CustomizePalette& palette) {
        ASSERT_TRUE(palette.selectAvailable("BestFit"));
        ASSERT_TRUE(palette.press("Add"));
        dialog = &palette.dialog();
        delete window;
    });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(dialog.isNull()); // it went with the window, and nothing touched it after
}
