// The sidebar in a real main window over a real catalogue: volumes from a fixture mount table
// fed to the volume manager (a stick, a picture frame with its identity file, a network share
// and a disk), a camera of libgphoto2's "Directory Browse" driver, places imported from a
// bookmarks file. The tree as text, captions, menus, validation, renaming, the selection in
// both directions, mounts, frame reset and dragging places.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <mutex>

#include "../ShellTestSupport.h"
#include "BrowseTestSupport.h"
#include "Application/BrowseMode/BrowserPanel.h"
#include "Application/BrowseMode/ItemsPanel.h"
#include "Application/BrowseMode/ItemsViewControl.h"
#include "Common/Views/GTBottomToolbarStyle.h"
#include "Application/BrowseMode/BrowsingModeController.h"
#include "Application/BrowseMode/BrowsingSelection.h"
#include "Application/BrowseMode/PlaceBrowserPanelItem.h"
#include "Application/BrowseMode/TrackableOutlineView.h"
#include "Application/FileOperationLauncher.h"
#include "Application/MainWindow.h"
#include "CatalogueTestSupport.h"
#include "Common/FileSystem/Catalogue/FileSystemVolumeMO.h"
#include "Common/Volumes/VolumeSources.h"
#include "Common/Volumes/ZovVolumeManager.h"
#include "Common/XML/XMLDocumentID.h"
#include "Platform/Exception.h"
#include "Platform/Gui/Pasteboard.h"
#include "Platform/Gui/View.h"
#include "Platform/Gui/Window.h"
#include "Preferences/Preferences.h"
#include "Preferences/ZovPlacesReader.h"

namespace vistel::test {
namespace {

const bool privateFolders = usePrivateShellFolders();

std::string home() { return std::getenv("HOME"); }

// The fixture machine: "/" and four volumes in the home folder, all real folders.
class FixtureMounts {
public:
    FixtureMounts()
    {
        for (const char* folder : {"STICK", "FRAME", "share", "photos", "Pictures/2024", "Desktop", "Elsewhere"})
            std::filesystem::create_directories(home() + "/" + folder);
        auto frame = XMLDocumentID::createWithParameters("FRAME-ID", "Kitchen frame", 800, 600, "7.5");
        frame->saveToFile(home() + "/FRAME");
        std::filesystem::create_directories(std::string(std::getenv("XDG_CONFIG_HOME")) + "/gtk-3.0");
        std::ofstream(std::string(std::getenv("XDG_CONFIG_HOME")) + "/gtk-3.0/bookmarks")
            << "file://" << home() << "/Pictures\nfile://" << home() << "/Desktop\n";
        VolumeFactsSources sources;
        sources.mountTableText = [this] {
            std::lock_guard lock(mutex_);
            return table_;
        };
        sources.blockDevice = [](dev_t device) -> std::optional<BlockDeviceFacts> {
            if (device == makedev(8, 17))
                return BlockDeviceFacts {{{"ID_BUS", "usb"}, {"ID_FS_UUID", "1234-ABCD"}, {"ID_FS_LABEL", "STICK"}},
                                         {{"idVendor", "0781"}, {"idProduct", "5567"}, {"serial", "4C530001"}}};
            if (device == makedev(8, 33))
                return BlockDeviceFacts {{{"ID_BUS", "usb"}, {"ID_FS_UUID", "FRAME-UUID"}},
                                         {{"idVendor", "1d6b"}, {"idProduct", "0104"}, {"serial", "DPF0042"}}};
            if (device == makedev(8, 49))
                return BlockDeviceFacts {{{"ID_BUS", "usb"}, {"ID_FS_UUID", "AAAA-0001"}, {"ID_FS_LABEL", "ALPHA"}},
                                         {{"idVendor", "0781"}, {"idProduct", "5568"}, {"serial", "4C530002"}}};
            return std::nullopt;
        };
        sources.freeBytes = [](const std::string&) { return std::optional<std::uint64_t>(1u << 30); };
        sources.homeFolder = home();
        sources.userName = "alice";
        scope_.emplace(std::move(sources));
        table_ = baseTable();
    }
    std::string baseTable() const
    {
        return "20 1 0:30 / / rw,relatime shared:1 - overlay overlay rw\n"
               "30 20 8:17 / " + home() + "/STICK rw,nosuid - vfat /dev/sdb1 rw\n"
               "31 20 8:33 / " + home() + "/FRAME rw,nosuid - vfat /dev/sdc1 rw\n"
               "34 20 0:60 / " + home() + "/share rw,relatime - cifs //server/photos rw\n"
               "36 20 8:2 / " + home() + "/photos rw,relatime - ext4 /dev/sda2 rw\n";
    }
    void set(std::string table)
    {
        std::lock_guard lock(mutex_);
        table_ = std::move(table);
    }

private:
    std::mutex mutex_;
    std::string table_;
    std::optional<ScopedVolumeFactsSources> scope_;
};

FixtureMounts& mounts()
{
    static FixtureMounts fixture;
    return fixture;
}
// Before the volume manager is first used.
const bool fixtureInstalled = (mounts(), privateFolders);

class BrowserPanelTest : public CatalogueTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fixtureInstalled);
        CatalogueTest::SetUp();
        openCatalogueForUpdates();
        mode_ = openBrowseWindow(window_);
        ASSERT_TRUE(mode_);
        panel_ = mode_->browserPanel();
        ASSERT_TRUE(panel_);
        tree_ = panel_->treeView();
        // The start location is selected (the main window asks only when it has no file to show);
        // the places answer as the catalogue finds their folders.
        mode_->selectDefaultItem();
        ASSERT_TRUE(spinUntil([&] {
            const auto selected = panel_->browsingSelectedFoldersArray();
            return selected.size() == 1 && selected.front()->fullPath() == Preferences::defaultBrowserPanelSelectedLoaction();
        }, 60000));
        ASSERT_TRUE(spinUntil([&] { return panel_->validPlaceItems().size() == panel_->placesReader()->count(); }, 60000))
            << panel_->placesReader()->count() << " places, " << panel_->validPlaceItems().size() << " shown";
        // No path refresh is left to answer (the main window's own start-location request included).
        spinEvents(150);
        ASSERT_TRUE(spinUntil([&] { return MediaDatabaseRecursiveUpdater::listForMDB(database_.get()).empty(); }, 60000));
        spinEvents(50);
    }
    void TearDown() override
    {
        closeBrowseWindow(window_);
        if (database_)
            database_->stopJobs();
        CatalogueTest::TearDown();
    }

    // The groups and their rows as text, one row a line, indented by level; group rows marked.
    std::string dump() const
    {
        std::string text;
        for (int row = 0; row < tree_->numberOfRows(); ++row) {
            Object* item = tree_->itemAtRow(row);
            if (tree_->levelForRow(row) > 1)
                continue; // what lies inside the volumes
            text += std::string(static_cast<std::size_t>(2 * std::max(0, tree_->levelForRow(row))), ' ');
            text += panel_->objectValue(*tree_, nullptr, item)->toString();
            if (BrowserPanel::isCategoryItem(item))
                text += std::string(" [group") + (tree_->isItemExpanded(item) ? ", open" : "") +
                        (panel_->shouldSelectItem(*tree_, item).value_or(true) ? ", selectable" : "") + "]";
            if (dynamic_cast<PlaceBrowserPanelItem*>(item))
                text += " (place)";
            text += "\n";
        }
        return text;
    }
    // The tree item of a volume by mount point.
    Ref<FileSystemVolumeMO> volume(const std::string& mountPoint) const
    {
        return dynamicRefCast<FileSystemVolumeMO>(database_->findExistingItemForPath(mountPoint));
    }
    // The caption of the home folder's place.
    std::string login() const { return panel_->placesReader()->placeByPath(home())->placeName(); }
    int rowOf(const Object* item) const { return tree_->rowForItem(item); }
    // Selects the row of a folder once the catalogue has listed the folders above it.
    bool locate(const std::string& path)
    {
        PathUpdaterEnds ends;
        if (!database_->enqueueRefreshPath(path, &ends) || !spinUntil([&] { return !ends.calls.empty(); }, 60000))
            return false;
        return spinUntil([&] {
            panel_->locateToPath(path, false, false);
            const auto selected = panel_->browsingSelectedFoldersArray();
            return selected.size() == 1 && selected.front()->fullPath() == path;
        }, 30000);
    }
    std::vector<std::string> selectedNames() const
    {
        std::vector<std::string> names;
        for (const Ref<FileSystemItemMO>& folder : panel_->browsingSelectedFoldersArray())
            names.push_back(folder->displayName());
        return names;
    }
    std::vector<std::string> browsingNames() const
    {
        std::vector<std::string> names;
        for (const Ref<FileSystemItemMO>& folder : mode_->browsingSelection()->selectedFolders())
            names.push_back(folder->displayName());
        return names;
    }
    PlaceBrowserPanelItem* place(const std::string& caption) const
    {
        for (const auto& item : panel_->validPlaceItems())
            if (item->displayName() == caption)
                return item.get();
        return nullptr;
    }
    std::vector<std::string> menuTitles(Object* item)
    {
        std::unique_ptr<QMenu> menu(panel_->itemPopupMenu(item));
        std::vector<std::string> titles;
        if (menu)
            for (QAction* action : menu->actions())
                titles.push_back(action->text().toStdString());
        return titles;
    }
    bool validates(const std::string& action)
    {
        ValidatedUserInterfaceItemProxy item(action, 0);
        return panel_->validateUserInterfaceItem(item);
    }

    std::unique_ptr<MainWindow> window_;
    BrowsingModeController* mode_ = nullptr;
    BrowserPanel* panel_ = nullptr;
    TrackableOutlineView* tree_ = nullptr;
};

TEST_F(BrowserPanelTest, TheTreeAsText)
{
    // The whole tree, with `camera` (a line) first under DEVICES.
    const std::string root = volume("/")->displayName();
    auto golden = [&](const std::string& camera) {
        return "PICTURE FRAMES [group, open]\n"
               "  Kitchen frame\n"
               "REMOVABLE VOLUMES [group, open]\n"
               "  STICK\n"
               "PLACES [group, open]\n"
               "  Pictures (place)\n"
               "  Desktop (place)\n"
               "  " + login() + " (place)\n"
               "DEVICES [group, open]\n" + camera +
               "  photos\n"
               "  " + root + "\n"
               "SHARED [group, open]\n"
               "  share\n";
    };
    EXPECT_EQ(dump(), golden(""));

    // A click on a group row closes it, another opens it.
    const int frames = rowOf(panel_->photoFramesList());
    const ItemList selected = panel_->browsingSelectedFoldersArray();
    ASSERT_EQ(selected.size(), 1u);
    QTest::mouseClick(tree_->viewport(), Qt::LeftButton, {}, tree_->rectOfRow(frames).center());
    EXPECT_FALSE(tree_->isItemExpanded(panel_->photoFramesList()));
    EXPECT_EQ(panel_->browsingSelectedFoldersArray(), selected) << "a group row is never selected";
    QTest::mouseClick(tree_->viewport(), Qt::LeftButton, {}, tree_->rectOfRow(frames).center());
    EXPECT_TRUE(tree_->isItemExpanded(panel_->photoFramesList()));

    // The camera joins DEVICES and becomes the selection.
    TemporaryFolder card {"vistel-sidebar-card"};
    std::filesystem::create_directories(card / "DCIM/100MEDIA");
    Ref<ZovImageCaptureDeviceInfo> camera =
        ZovVolumeManager::sharedVolumeManager().handleDeviceAdded("Directory Browse", "disk:" + card.path());
    if (!camera)
        VISTEL_SKIP_UNAVAILABLE() << "the Directory Browse driver of libgphoto2 is not installed";
    ASSERT_TRUE(spinUntil([&] { return panel_->devicesList()->items.size() == 3; }, 30000));

    EXPECT_EQ(dump(), golden("  Directory Browse\n"));
    EXPECT_EQ(selectedNames(), (std::vector<std::string> {"Directory Browse"}));
    EXPECT_EQ(browsingNames(), (std::vector<std::string> {"Directory Browse"}));
    ZovVolumeManager::sharedVolumeManager().handleDeviceRemoved(camera->icaObject());
    ASSERT_TRUE(spinUntil([&] { return panel_->devicesList()->items.size() == 2; }, 30000));
    EXPECT_TRUE(browsingNames().empty());
}

TEST_F(BrowserPanelTest, WindowCaptions)
{
    struct Case {
        std::vector<std::string> names;
        const char* caption;
    } cases[] = {
        {{}, "Vistel"},
        {{"A"}, "A - Vistel"},
        {{"A", "B"}, "[2 folders: A or B] - Vistel"},
        {{"A", "B", "C"}, "[3 folders: A, B or C] - Vistel"},
        {{"A", "B", "C", "D", "E"}, "[5 folders: A, B … D or E] - Vistel"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(panel_->windowCaptionForNames(c.names), c.caption);

    // The window shows it, and the single folder as its file.
    ASSERT_TRUE(panel_->locateToPath(home() + "/photos", false, false));
    EXPECT_EQ(window_->window()->windowTitle().toStdString(), "photos - Vistel");
    EXPECT_EQ(window_->window()->windowFilePath().toStdString(), home() + "/photos");
}

TEST_F(BrowserPanelTest, ContextMenusAndValidation)
{
    Ref<FileSystemVolumeMO> frame = volume(home() + "/FRAME");
    Ref<FileSystemVolumeMO> stick = volume(home() + "/STICK");
    Ref<FileSystemVolumeMO> disk = volume(home() + "/photos");
    ASSERT_TRUE(frame && stick && disk);
    EXPECT_EQ(menuTitles(frame.get()), (std::vector<std::string> {"Configure Frame…", "Reset Frame", "Eject Frame"}));
    EXPECT_EQ(menuTitles(stick.get()), (std::vector<std::string> {"New Frame…", "Eject Volume"}));
    EXPECT_EQ(menuTitles(disk.get()), (std::vector<std::string> {"Create New Folder", "Eject Volume"}));
    EXPECT_EQ(menuTitles(place("Pictures")), (std::vector<std::string> {"Create New Folder"}));
    EXPECT_TRUE(menuTitles(panel_->placesList()).empty());

    struct Case {
        const char* row;
        const char* action;
        bool enabled;
        const char* toolTip;
    } cases[] = {
        {"FRAME", "copy:", true, ""},
        {"FRAME", "resetPictureFrame:", true, ""},
        {"FRAME", "newPictureFrame:", false, ""},
        {"FRAME", "editPictureFrame:", true, ""},
        {"STICK", "newPictureFrame:", true, ""},
        {"STICK", "editPictureFrame:", false, ""},
        {"FRAME", "ejectVolume:", true, ""},
        {"FRAME", "onUnmountVolumeAction:", true, "Eject «Kitchen frame»"},
        {"STICK", "resetPictureFrame:", false, ""},
        {"STICK", "onUnmountVolumeAction:", true, "Eject «STICK»"},
        {"photos", "ejectVolume:", false, ""},
        {"photos", "onCreateFolderAction:", true, "Create new folder"},
        {"photos", "onDeleteFolderAction:", false, "Move to trash"},
        {"Pictures", "onDeleteFolderAction:", false, "Move to trash"},
        {"Pictures", "moveToTrash:", false, "Move to trash"},
        {"Pictures", "rename:", false, ""},
        {"2024", "moveToTrash:", true, "Move to trash"},
        {"2024", "onCreateFolderAction:", true, "Create new folder"},
        {"2024", "rename:", true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.row) + " " + c.action);
        if (std::string(c.row) == "Pictures")
            tree_->selectRowIndexes({rowOf(place("Pictures"))}, false);
        else if (std::string(c.row) == "2024")
            ASSERT_TRUE(locate(home() + "/Pictures/2024"));
        else
            tree_->selectRowIndexes({rowOf(volume(home() + "/" + c.row).get())}, false);
        EXPECT_EQ(validates(c.action), c.enabled);
        EXPECT_EQ(panel_->toolTipForAction(c.action), c.toolTip);
    }
    // While a task writes to the frame, it cannot be configured or reset.
    tree_->selectRowIndexes({rowOf(frame.get())}, false);
    {
        RegisteredTask sending(0, std::string("Sending"), std::nullopt, frame->fullPath() + "/DCIM");
        EXPECT_FALSE(validates("editPictureFrame:"));
        EXPECT_FALSE(validates("resetPictureFrame:"));
    }
    EXPECT_TRUE(validates("editPictureFrame:"));
    // Eject hands the selected volume over (the worker and its alert are the eject's own).
    std::vector<std::string> ejected;
    panel_->setVolumeEjector([&](FileSystemVolumeMO* volume) { ejected.push_back(volume->displayName()); });
    tree_->selectRowIndexes({rowOf(stick.get())}, false);
    EXPECT_TRUE(panel_->performAction("onUnmountVolumeAction:", nullptr));
    EXPECT_EQ(ejected, (std::vector<std::string> {"STICK"}));

    // A group row is never selected: nothing validates.
    tree_->selectRowIndexes({rowOf(panel_->placesList())}, false);
    EXPECT_FALSE(validates("copy:"));
}

TEST_F(BrowserPanelTest, Renames)
{
    ASSERT_TRUE(locate(home() + "/Pictures/2024"));
    Ref<Object> folder(tree_->itemAtRow(tree_->selectedRow()));
    std::vector<std::string> renamed;
    panel_->setItemRenamer([&](FileSystemItemMO*, const std::string& name) {
        renamed.push_back(name);
        return true;
    });
    std::string multiByte;
    for (int i = 0; i < 128; ++i)
        multiByte += "é"; // 256 bytes, 128 characters
    struct Case {
        std::string name;
        bool reachesRenamer;
    } cases[] = {
        {"2025", true}, {"a:b", false}, {"a/b", false}, {std::string("a\0b", 3), false}, {"", false},
        {multiByte, false}, {multiByte.substr(0, 254), true},
    };
    for (const Case& c : cases) {
        renamed.clear();
        EXPECT_FALSE(panel_->renameItem(folder.get(), c.name));
        EXPECT_EQ(renamed.size(), c.reachesRenamer ? 1u : 0u) << c.name.size();
    }
    EXPECT_EQ(panel_->newFolderPath(), home() + "/Pictures/" + multiByte.substr(0, 254));
    // Ending the edit with the name unchanged renames nothing.
    renamed.clear();
    panel_->didEndEditing(*tree_, nullptr, folder.get(), Value("2024"), NSReturnTextMovement);
    EXPECT_TRUE(renamed.empty());
    panel_->didEndEditing(*tree_, nullptr, folder.get(), Value("2026"), NSReturnTextMovement);
    EXPECT_EQ(renamed, (std::vector<std::string> {"2026"}));
    // A failed rename drops the pending path.
    panel_->setItemRenamer([](FileSystemItemMO*, const std::string&) { return false; });
    panel_->renameItem(folder.get(), "2027");
    EXPECT_FALSE(panel_->newFolderPath());
    // By default the handler renames the real folder, and the tree follows it.
    installFileOperations();
    panel_->setItemRenamer(nullptr);
    panel_->renameItem(folder.get(), "2028");
    EXPECT_EQ(panel_->newFolderPath(), home() + "/Pictures/2028");
    EXPECT_TRUE(spinUntil([&] { return std::filesystem::is_directory(home() + "/Pictures/2028"); }, 60000));
    EXPECT_FALSE(std::filesystem::exists(home() + "/Pictures/2024"));

    // A place's caption changes in the places list only; the folder keeps its name.
    PlaceBrowserPanelItem* pictures = place("Pictures");
    ASSERT_TRUE(pictures);
    EXPECT_TRUE(panel_->renameItem(pictures, "Photos"));
    EXPECT_EQ(panel_->placesReader()->placeByPath(home() + "/Pictures")->placeName(), "Photos");
    EXPECT_TRUE(std::filesystem::exists(home() + "/Pictures"));
    EXPECT_NE(dump().find("  Photos (place)\n"), std::string::npos);
    // Places are not edited inline.
    EXPECT_FALSE(panel_->shouldEditTableColumn(*tree_, nullptr, pictures).value_or(true));
    panel_->renameItem(place("Photos"), "Pictures");

    // Nor renamed by the rename command (F2): nothing is asked and the folder stays.
    tree_->selectRowIndexes({rowOf(place("Pictures"))}, false);
    std::vector<std::string> asked;
    ScopedResponder responder([&](const AlertRecord& record) {
        asked.push_back(record.messageText);
        AlertResponse typed = AlertResponse::pressButton(0);
        typed.text = "Escaped";
        return typed;
    });
    EXPECT_FALSE(validates("rename:"));
    panel_->performAction("rename:", nullptr);
    spinEvents(200);
    EXPECT_TRUE(asked.empty());
    EXPECT_TRUE(std::filesystem::is_directory(home() + "/Pictures"));
    EXPECT_FALSE(std::filesystem::exists(home() + "/Escaped"));

    // Renamed with the rename command (F2) on its row, a folder stays selected and browsed
    // under its new name.
    ASSERT_TRUE(locate(home() + "/Pictures/2028"));
    {
        ScopedResponder typing([&](const AlertRecord&) {
            AlertResponse typed = AlertResponse::pressKey(AlertResponse::Key::Return);
            typed.text = "2029";
            return typed;
        });
        ASSERT_TRUE(validates("rename:"));
        panel_->performAction("rename:", nullptr);
    }
    EXPECT_TRUE(spinUntil([&] { return std::filesystem::is_directory(home() + "/Pictures/2029"); }, 60000));
    EXPECT_TRUE(spinUntil([&] { return browsingNames() == std::vector<std::string> {"2029"}; }, 60000))
        << testing::PrintToString(browsingNames());
    EXPECT_EQ(selectedNames(), (std::vector<std::string> {"2029"}));
    // The tests after this one find the folder under its first name.
    std::filesystem::rename(home() + "/Pictures/2029", home() + "/Pictures/2024");
}

TEST_F(BrowserPanelTest, ANewFolderFromAPlaceOpensUnderItsVolumeForRenaming)
{
    installFileOperations();
    PlaceBrowserPanelItem* pictures = place("Pictures");
    ASSERT_TRUE(pictures);
    tree_->selectRowIndexes({rowOf(pictures)}, false);
    EXPECT_TRUE(validates("onCreateFolderAction:"));
    EXPECT_TRUE(panel_->performAction("onCreateFolderAction:", nullptr));
    const std::string created = home() + "/Pictures/untitled folder";
    EXPECT_TRUE(std::filesystem::is_directory(created));
    EXPECT_EQ(panel_->newFolderPath(), created);
    EXPECT_TRUE(panel_->startEditNewFolder());
    // Once the catalogue has listed Pictures again, the new folder is selected under its
    // volume, browsed, and its name is being edited.
    ASSERT_TRUE(spinUntil([&] { return !panel_->newFolderPath(); }, 60000));
    const ItemList selected = panel_->browsingSelectedFoldersArray();
    ASSERT_EQ(selected.size(), 1u);
    EXPECT_EQ(selected.front()->fullPath(), created);
    EXPECT_FALSE(dynamic_cast<PlaceBrowserPanelItem*>(tree_->itemAtRow(tree_->selectedRow())));
    EXPECT_EQ(browsingNames(), (std::vector<std::string> {"untitled folder"}));
    EXPECT_TRUE(tree_->isEditing());
    std::filesystem::remove(created);
}

TEST_F(BrowserPanelTest, ThePlusButtonOpensTheNewFolderForRenamingWhereverTheFocusIs)
{
    installFileOperations();
    ASSERT_TRUE(locate(home() + "/Pictures/2024"));
    // The grid has the focus, as after a click on a picture.
    window_->window()->activateWindow();
    ASSERT_TRUE(spinUntil([&] { return QApplication::activeWindow() == window_->window(); }, 3000));
    QWidget* grid = mode_->itemsPanel()->currentViewControl()->itemsViewWidget();
    grid->setFocus();
    ASSERT_TRUE(spinUntil([&] { return QApplication::focusWidget() == grid; }, 3000));
    auto* plus = qobject_cast<QAbstractButton*>(panel_->buttonsStatusUpdater()->controlWithID(0));
    ASSERT_TRUE(plus);
    plus->setEnabled(true);
    plus->click();
    const std::string created = home() + "/Pictures/2024/untitled folder";
    EXPECT_TRUE(std::filesystem::is_directory(created));
    ASSERT_TRUE(spinUntil([&] { return !panel_->newFolderPath(); }, 60000));
    EXPECT_EQ(browsingNames(), (std::vector<std::string> {"untitled folder"}));
    EXPECT_TRUE(tree_->isEditing());
    std::filesystem::remove(created);
}

TEST_F(BrowserPanelTest, DataSourceEdgesAndRemovingAPlace)
{
    // Past a folder's children there is nothing, never the folder itself.
    Ref<FileSystemItemMO> root = volume("/");
    ASSERT_TRUE(root);
    EXPECT_FALSE(panel_->child(*tree_, 1000000, root.get()).value_or(Ref<Object>(root)));
    EXPECT_FALSE(panel_->child(*tree_, -1, root.get()).value_or(Ref<Object>(root)));
    EXPECT_FALSE(panel_->child(*tree_, 99, panel_->placesList()).value_or(Ref<Object>(root)));
    EXPECT_EQ(panel_->objectValue(*tree_, nullptr, nullptr)->toString(), "?");
    // Anything else as a parent is a programming error.
    Ref<ZovPlaceInfo> info = ZovPlaceInfo::create(std::string("x"), std::string("/x"));
    try {
        panel_->child(*tree_, 0, info.get());
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.name(), "Unexpected item.");
        EXPECT_EQ(e.reason(), "");
    }

    // Deleting a place for good takes it off the list and leaves its folder.
    tree_->selectRowIndexes({rowOf(place("Desktop"))}, false);
    EXPECT_TRUE(panel_->performAction("deletePermanently:", nullptr));
    EXPECT_FALSE(panel_->placesReader()->placeByPath(home() + "/Desktop"));
    EXPECT_FALSE(place("Desktop"));
    EXPECT_TRUE(std::filesystem::is_directory(home() + "/Desktop"));
    panel_->placesReader()->insertPlace(home() + "/Desktop", std::string("Desktop"), 1);
}

TEST_F(BrowserPanelTest, SelectionScenarios)
{
    // A place and its folder selected: one row, one folder.
    PlaceBrowserPanelItem* pictures = place("Pictures");
    ASSERT_TRUE(pictures);
    ASSERT_TRUE(locate(home() + "/Pictures"));
    const int folderRow = tree_->selectedRow();
    tree_->selectRowIndexes({rowOf(pictures), folderRow}, false);
    EXPECT_EQ(tree_->selectedRowIndexes().size(), 1u);
    EXPECT_EQ(browsingNames(), (std::vector<std::string> {"Pictures"}));

    // A reload that moves rows keeps the selection by item. (Rows are counted down to the root
    // volume: the home folder lies in the machine's /tmp, whose other entries come and go.)
    ASSERT_TRUE(locate(home() + "/Pictures"));
    Ref<Object> selected(tree_->itemAtRow(tree_->selectedRow()));
    Ref<Object> root(volume("/"));
    const int rootRow = rowOf(root.get());
    tree_->collapseItem(panel_->photoFramesList());
    tree_->reloadItem(nullptr, true);
    EXPECT_EQ(rowOf(root.get()), rootRow - 1); // the frame's row went
    EXPECT_TRUE(tree_->isItemExpanded(root.get())); // what was open is open again
    EXPECT_EQ(tree_->selectedItemsArray(), (std::vector<Ref<Object>> {selected}));

    // Selecting a group row selects the nearest folder row above it; above the first one nothing.
    tree_->selectRow(rowOf(panel_->devicesList()), false);
    EXPECT_TRUE(BrowserPanel::isFolderItem(tree_->itemAtRow(tree_->selectedRow())));
    EXPECT_LT(tree_->selectedRow(), rowOf(panel_->devicesList()));
    tree_->selectRow(0, false);
    EXPECT_TRUE(tree_->selectedRowIndexes().empty());

    // The browse mode chooses folders elsewhere (history, grid): the tree follows.
    Ref<FileSystemItemMO> photos = volume(home() + "/photos");
    mode_->browsingSelection()->setSelectedFolders({photos});
    EXPECT_EQ(selectedNames(), (std::vector<std::string> {"photos"}));

    // A right click selects its row alone; below the last row it deselects all.
    tree_->selectRowIndexes({rowOf(photos.get()), rowOf(volume(home() + "/STICK").get())}, false);
    spinEvents(20);
    const QPoint onStick = tree_->rectOfRow(rowOf(volume(home() + "/STICK").get())).center();
    QContextMenuEvent onRow(QContextMenuEvent::Mouse, onStick, tree_->viewport()->mapToGlobal(onStick));
    QCoreApplication::sendEvent(tree_->viewport(), &onRow);
    EXPECT_EQ(selectedNames(), (std::vector<std::string> {"STICK"}));
    for (QMenu* menu : tree_->findChildren<QMenu*>())
        menu->close();
    for (const auto& group : panel_->devicesRootItem())
        tree_->collapseItem(group.get());
    spinEvents(20);
    ASSERT_EQ(tree_->numberOfRows(), BrowserPanel::GroupCount);
    const QPoint below(10, tree_->rectOfRow(BrowserPanel::GroupCount - 1).bottom() + 10);
    QContextMenuEvent onNothing(QContextMenuEvent::Mouse, below, tree_->viewport()->mapToGlobal(below));
    QCoreApplication::sendEvent(tree_->viewport(), &onNothing);
    EXPECT_TRUE(tree_->selectedRowIndexes().empty());
    EXPECT_TRUE(browsingNames().empty());

    // A place whose folder goes hides, and stays in the places list.
    std::filesystem::remove(home() + "/Desktop");
    panel_->validatePlaces(nullptr);
    EXPECT_FALSE(place("Desktop"));
    EXPECT_TRUE(panel_->placesReader()->placeByPath(home() + "/Desktop"));
    EXPECT_EQ(dump().find("Desktop"), std::string::npos);
    std::filesystem::create_directories(home() + "/Desktop");
    panel_->validatePlaces(nullptr);
    EXPECT_TRUE(place("Desktop"));
}

TEST_F(BrowserPanelTest, AFolderChangingAboveTheSelectionMovesNeitherTheViewNorTheSelection)
{
    // Enough folders in the home folder for its rows to leave the view; the selected folder
    // lies in it, near its top; the view is scrolled down to the middle of the others, away
    // from the selection. (Not to the very bottom: other programs' folders in the machine's
    // /tmp, where the home folder lies, come and go, and a shorter tree must scroll back.)
    std::vector<std::string> made;
    for (int i = 0; i < 80; ++i)
        made.push_back(home() + "/pad" + std::to_string(100 + i));
    for (const std::string& folder : made)
        std::filesystem::create_directories(folder);
    const std::string selectedPath = home() + "/Elsewhere";
    ASSERT_TRUE(locate(selectedPath));
    Ref<FileSystemItemMO> homeFolder = database_->findExistingItemForPath(home());
    ASSERT_TRUE(homeFolder);
    ASSERT_TRUE(spinUntil([&] {
        auto last = homeFolder->childWithName("pad179");
        return last && tree_->rowForItem(last.get()) >= 0;
    }, 30000));
    const std::vector<Ref<Object>> selected = tree_->selectedItemsArray();
    ASSERT_EQ(selected.size(), 1u);
    const ItemList browsed = panel_->browsingSelectedFoldersArray();
    QScrollBar* bar = tree_->verticalScrollBar();
    tree_->scrollTo(tree_->indexOfRow(tree_->rowForItem(homeFolder->childWithName("pad140").get())),
                    QAbstractItemView::PositionAtTop);
    spinEvents(20);
    const int scrolled = bar->value();
    ASSERT_GT(scrolled, 0);
    ASSERT_FALSE(tree_->viewport()->rect().intersects(tree_->rectOfRow(tree_->rowForItem(selected[0].get()))))
        << "the selected row is out of sight";

    // 20 changes of the home folder, each one seen by the tree (a folder row comes or goes).
    const std::string churn = home() + "/churn";
    for (int change = 0; change < 20; ++change) {
        SCOPED_TRACE(change);
        const bool add = change % 2 == 0;
        if (add)
            std::filesystem::create_directories(churn);
        else
            std::filesystem::remove(churn);
        ASSERT_TRUE(spinUntil([&] {
            auto item = homeFolder->childWithName("churn");
            return (item && item->valid() && tree_->rowForItem(item.get()) >= 0) == add;
        }, 30000));
        spinEvents(20);
        EXPECT_EQ(bar->value(), scrolled);
        EXPECT_EQ(tree_->selectedItemsArray(), selected);
        EXPECT_EQ(panel_->browsingSelectedFoldersArray(), browsed);
    }
    for (const std::string& folder : made)
        std::filesystem::remove(folder);
}

TEST_F(BrowserPanelTest, OpeningANeverListedFolderShowsItsSubfoldersOnceListed)
{
    // Subfolders made after the home folder was listed, inside a folder nothing listed yet.
    const std::string albums = home() + "/Albums";
    std::filesystem::create_directories(albums);
    ASSERT_TRUE(locate(home() + "/Pictures"));
    Ref<FileSystemItemMO> homeFolder = database_->findExistingItemForPath(home());
    ASSERT_TRUE(homeFolder);
    Ref<FileSystemItemMO> folder;
    ASSERT_TRUE(spinUntil([&] {
        folder = homeFolder->childWithName("Albums");
        return folder && tree_->rowForItem(folder.get()) >= 0;
    }, 30000));
    for (const char* name : {"2023", "2024"})
        std::filesystem::create_directories(albums + "/" + name);
    ASSERT_TRUE(folder->needsRefresh()) << "nothing listed the folder yet";

    // Its disclosure triangle opens it: its rows come as soon as the listing is in. (Only the
    // tree is looked at: a question to the folder would ask for its listing itself.)
    auto rowsInside = [&] {
        std::vector<std::string> names;
        const int row = tree_->rowForItem(folder.get());
        for (int below = row + 1; below < tree_->numberOfRows() && tree_->levelForRow(below) > tree_->levelForRow(row); ++below)
            names.push_back(panel_->objectValue(*tree_, nullptr, tree_->itemAtRow(below))->toString());
        return names;
    };
    tree_->expandItem(folder.get());
    EXPECT_TRUE(spinUntil([&] { return rowsInside().size() == 2; }, 30000));
    EXPECT_EQ(rowsInside(), (std::vector<std::string> {"2023", "2024"}));
    EXPECT_TRUE(tree_->isItemExpanded(folder.get()));
    std::filesystem::remove_all(albums);
}

TEST_F(BrowserPanelTest, MountsComeInByDisplayNameAndGoWithoutLeavingAnything)
{
    // Nothing selected: the new stick, inserted before "STICK" by name, becomes the selection.
    tree_->deselectAll();
    std::filesystem::create_directories(home() + "/ALPHA");
    mounts().set(mounts().baseTable() + "40 20 8:49 / " + home() + "/ALPHA rw,nosuid - vfat /dev/sdd1 rw\n");
    ZovVolumeManager::sharedVolumeManager().rescanMountTable();
    ASSERT_TRUE(spinUntil([&] { return panel_->groupAt(BrowserPanel::RemovableVolumesGroup)->items.size() == 2; }, 30000));
    EXPECT_NE(dump().find("REMOVABLE VOLUMES [group, open]\n  ALPHA\n  STICK\n"), std::string::npos);
    EXPECT_EQ(selectedNames(), (std::vector<std::string> {"ALPHA"}));
    EXPECT_EQ(browsingNames(), (std::vector<std::string> {"ALPHA"}));

    // Selected, spinning and held by a place: it goes, and nothing points at it.
    Ref<FileSystemItemMO> alpha = volume(home() + "/ALPHA");
    tree_->insertItemInProgress(alpha.get());
    ASSERT_TRUE(panel_->placesReader()->insertPlace(home() + "/ALPHA", std::string("Alpha"), 0));
    ASSERT_TRUE(spinUntil([&] { return place("Alpha") != nullptr; }, 30000));
    mounts().set(mounts().baseTable());
    ZovVolumeManager::sharedVolumeManager().rescanMountTable();
    ASSERT_TRUE(spinUntil([&] { return panel_->groupAt(BrowserPanel::RemovableVolumesGroup)->items.size() == 1; }, 30000));
    EXPECT_TRUE(browsingNames().empty()) << browsingNames().front();
    EXPECT_TRUE(selectedNames().empty()) << selectedNames().front();
    EXPECT_EQ(dump().find("ALPHA"), std::string::npos);
    spinEvents(1200); // progress ticks run over the gone volume
    panel_->placesReader()->removePlace(panel_->placesReader()->placeByPath(home() + "/ALPHA"));
    spinEvents(50);
    EXPECT_FALSE(place("Alpha"));
}

TEST_F(BrowserPanelTest, ResettingAFrameMovesItToRemovableVolumes)
{
    Ref<FileSystemVolumeMO> frame = volume(home() + "/FRAME");
    ASSERT_TRUE(frame && frame->isDPFDevice());
    tree_->selectRowIndexes({rowOf(frame.get())}, false);
    Preferences& preferences = Preferences::sharedPreferences();
    preferences.setValue(Value(true), prefs::ShowResetFrameAlert);
    {
        // The box ticked: the question is not asked again.
        ScopedResponder responder([](const AlertRecord&) { return AlertResponse::pressTitled("OK", 1); });
        panel_->resetPictureFrame();
        ASSERT_EQ(Alert::answeredAlerts().size(), 1u);
        EXPECT_EQ(Alert::answeredAlerts()[0].messageText,
                  "Are you sure you want to stop treating \"Kitchen frame\" as a Picture Frame?");
        EXPECT_EQ(Alert::answeredAlerts()[0].informativeText,
                  "Images will not be automatically converted to JPEG and resized to 800x600 pixels.");
    }
    EXPECT_FALSE(preferences.boolForKey(prefs::ShowResetFrameAlert));
    ASSERT_TRUE(spinUntil([&] { return panel_->photoFramesList()->items.empty(); }, 30000));
    ASSERT_TRUE(spinUntil([&] { return panel_->groupAt(BrowserPanel::RemovableVolumesGroup)->items.size() == 2; }, 30000));
    EXPECT_TRUE(panel_->groupAt(BrowserPanel::RemovableVolumesGroup)->contains(frame.get()));
    EXPECT_EQ(tree_->selectedItemsArray(), (std::vector<Ref<Object>> {Ref<Object>(frame)})) << dump() << selectedNames().size() << (selectedNames().empty() ? "" : selectedNames()[0]);
    EXPECT_FALSE(std::filesystem::exists(home() + "/FRAME/.VistelDPF-ID.xml"));
    // Put back for the other tests.
    auto identity = XMLDocumentID::createWithParameters("FRAME-ID", "Kitchen frame", 800, 600, "7.5");
    identity->saveToFile(home() + "/FRAME");
}

TEST_F(BrowserPanelTest, DraggingPlaces)
{
    auto drop = [&](const std::string& path, long index, bool asPlaces) {
        QMimeData data;
        Ref<Pasteboard> board = Pasteboard::pasteboardWithMimeData(&data);
        const Value paths = Value::array({Value(path)});
        if (asPlaces) {
            board->declareTypes({ZovPlacesListType, NSFilenamesPboardType, NSStringPboardType});
            board->setString(PlacesListDragString, NSStringPboardType);
            board->setPropertyList(paths, ZovPlacesListType);
        } else {
            board->declareTypes({NSFilenamesPboardType});
        }
        board->setPropertyList(paths, NSFilenamesPboardType);
        const Qt::DropAction action =
            panel_->validateDrop(*tree_, data, panel_->placesList(), index).value_or(Qt::IgnoreAction);
        if (action != Qt::IgnoreAction)
            panel_->acceptDrop(*tree_, data, panel_->placesList(), index);
        return action;
    };
    // A folder dropped at index 1 becomes a place there, named by its display name.
    EXPECT_EQ(drop(home() + "/photos", 1, false), Qt::LinkAction);
    ASSERT_TRUE(spinUntil([&] { return panel_->validPlaceItems().size() == 4; }, 30000));
    EXPECT_NE(dump().find("PLACES [group, open]\n  Pictures (place)\n  photos (place)\n  Desktop (place)\n"), std::string::npos);
    // An existing place is refused, unless dragged as a place (it moves).
    EXPECT_EQ(drop(home() + "/Pictures", 0, false), Qt::IgnoreAction);
    EXPECT_EQ(drop(home() + "/Desktop", 0, true), Qt::LinkAction);
    ASSERT_TRUE(spinUntil([&] { return panel_->validPlaceItems().front()->displayName() == "Desktop"; }, 30000));
    // A file is no place.
    std::ofstream(home() + "/Elsewhere/file.txt") << "x";
    EXPECT_EQ(drop(home() + "/Elsewhere/file.txt", 0, false), Qt::IgnoreAction);

    // Dragging places out: the drag offers no Move; released outside it removes the first place
    // only, and trashes nothing.
    QMimeData dragged;
    tree_->selectRowIndexes({rowOf(place("photos")), rowOf(place("Desktop"))}, false);
    ASSERT_TRUE(panel_->writeItems(*tree_, tree_->selectedItemsArray(), dragged).value_or(false));
    EXPECT_TRUE(BrowserPanel::isDraggedItemPlace(dragged));
    EXPECT_FALSE(TrackableOutlineView::dragActionsFor(dragged) & Qt::MoveAction);
    EXPECT_TRUE(TrackableOutlineView::dragActionsFor(dragged) & Qt::CopyAction);
    const QPoint inside = tree_->mapToGlobal(tree_->rect().center());
    EXPECT_FALSE(tree_->draggingEnded(dragged, inside));
    const QPoint outside = tree_->mapToGlobal(QPoint(tree_->width() + 200, 10));
    const std::vector<std::string> paths = BrowserPanel::draggedPaths(dragged);
    ASSERT_EQ(paths, (std::vector<std::string> {home() + "/Desktop", home() + "/photos"})); // row order
    EXPECT_TRUE(tree_->draggingEnded(dragged, outside));
    EXPECT_FALSE(panel_->placesReader()->placeByPath(home() + "/Desktop"));
    EXPECT_TRUE(panel_->placesReader()->placeByPath(home() + "/photos"));
    EXPECT_TRUE(std::filesystem::exists(home() + "/Desktop"));
    spinEvents(50);
    EXPECT_FALSE(place("Desktop"));

    // Folders (not places) may be moved by others.
    QMimeData folders;
    ASSERT_TRUE(panel_->writeItems(*tree_, {Ref<Object>(volume(home() + "/photos"))}, folders).value_or(false));
    EXPECT_FALSE(BrowserPanel::isDraggedItemPlace(folders));
    EXPECT_TRUE(TrackableOutlineView::dragActionsFor(folders) & Qt::MoveAction);
    EXPECT_FALSE(tree_->draggingEnded(folders, outside));
    EXPECT_TRUE(panel_->placesReader()->placeByPath(home() + "/photos"));
    // Put the places back.
    panel_->placesReader()->removePlace(panel_->placesReader()->placeByPath(home() + "/photos"));
    panel_->placesReader()->insertPlace(home() + "/Desktop", std::string("Desktop"), 1);
}

TEST_F(BrowserPanelTest, DropsOnAFolderDoOnlyWhatTheDragsSourceAllows)
{
    installFileOperations();
    ASSERT_TRUE(locate(home() + "/Pictures/2024"));
    Object* folder = tree_->itemAtRow(tree_->selectedRow());
    std::ofstream(home() + "/Pictures/dropped.jpg") << "x";
    QMimeData data;
    Ref<Pasteboard> board = Pasteboard::pasteboardWithMimeData(&data);
    board->declareTypes({NSFilenamesPboardType});
    board->setPropertyList(Value::array({Value(home() + "/Pictures/dropped.jpg")}), NSFilenamesPboardType);

    // The same volume: a move, unless the source offers none.
    struct Case {
        Qt::DropActions offered;
        Qt::DropAction answered;
    } cases[] = {
        {Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::MoveAction},
        {Qt::CopyAction, Qt::CopyAction},
        {Qt::LinkAction, Qt::IgnoreAction},
    };
    for (const Case& c : cases) {
        tree_->setDraggingSourceOperationMask(c.offered);
        EXPECT_EQ(panel_->validateDrop(*tree_, data, folder, -1), c.answered) << int(c.offered);
    }
    // Dropped from a source that allows copying only: copied, the original stays.
    tree_->setDraggingSourceOperationMask(Qt::CopyAction);
    EXPECT_TRUE(panel_->acceptDrop(*tree_, data, folder, -1).value_or(false));
    tree_->setDraggingSourceOperationMask(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction);
    EXPECT_TRUE(spinUntil([&] { return std::filesystem::exists(home() + "/Pictures/2024/dropped.jpg"); }, 30000));
    spinEvents(100);
    EXPECT_TRUE(std::filesystem::exists(home() + "/Pictures/dropped.jpg"));
    std::filesystem::remove(home() + "/Pictures/dropped.jpg");
    std::filesystem::remove(home() + "/Pictures/2024/dropped.jpg");
}

// Rows selected before the panel has the browse mode's selection (at start-up, the catalogue
// already knowing the start folder) are browsed once it gets one.
TEST_F(BrowserPanelTest, RowsSelectedBeforeTheSelectionArrivesAreBrowsed)
{
    ASSERT_TRUE(locate(home() + "/Pictures/2024"));
    Ref<BrowsingSelection> selection = BrowsingSelection::create();
    panel_->setBrowsingSelection(nullptr);
    tree_->selectRowIndexes({rowOf(place("Desktop"))}, false);
    panel_->setBrowsingSelection(selection.get());
    ASSERT_EQ(selection->selectedFoldersCount(), 1u);
    EXPECT_EQ(selection->selectedFolderAtIndex(0)->displayName(), "Desktop");
    panel_->setBrowsingSelection(mode_->browsingSelection());
}

// The navigation history follows the real sidebar: Back and Forward select the rows again,
// Up the enclosing folder, and a folder deep under a volume is found after it was folded away.
TEST_F(BrowserPanelTest, TheHistoryWalksTheSidebar)
{
    BrowserPanelHistory* history = mode_->navigationHistory();
    ASSERT_TRUE(history);
    ASSERT_TRUE(locate(home() + "/Pictures/2024"));
    tree_->selectRowIndexes({rowOf(place("Desktop"))}, false);
    EXPECT_EQ(selectedNames(), (std::vector<std::string> {"Desktop"}));
    ASSERT_TRUE(history->canNavigatePrevious());
    EXPECT_FALSE(history->canNavigateNext());
    // Fold the volume away: going back opens the path again.
    Ref<FileSystemVolumeMO> disk = volume(home());
    if (disk)
        tree_->collapseItem(disk.get());
    history->navigatePrevious();
    EXPECT_EQ(selectedNames(), (std::vector<std::string> {"2024"}));
    EXPECT_EQ(browsingNames(), (std::vector<std::string> {"2024"}));
    ASSERT_TRUE(history->canNavigateNext());
    history->navigateNext();
    EXPECT_EQ(selectedNames(), (std::vector<std::string> {"Desktop"}));
    history->navigatePrevious();
    ASSERT_TRUE(history->canNavigateParent());
    history->navigateParent();
    EXPECT_EQ(selectedNames(), (std::vector<std::string> {"Pictures"}));
}

// A folder chosen while the sidebar is not in the window yet (the start folder, found as the
// sidebar is built) names the window as soon as the mode shows in it.
TEST_F(BrowserPanelTest, AFolderChosenOutsideTheWindowNamesItOnceTheModeShows)
{
    QWidget* content = window_->window()->takeCentralWidget();
    ASSERT_TRUE(content);
    content->setParent(nullptr);
    window_->window()->setWindowTitle("Vistel");
    ASSERT_TRUE(locate(home() + "/photos"));
    ASSERT_NE(panel_->window(), window_->window());
    EXPECT_EQ(window_->window()->windowTitle().toStdString(), "Vistel");

    mode_->setActive(true);
    EXPECT_EQ(panel_->window(), window_->window());
    EXPECT_EQ(window_->window()->windowTitle().toStdString(), "photos - Vistel");
}

TEST_F(BrowserPanelTest, TheStartFolderIsChosenOnlyOnceThoughItIsAlsoAPlace)
{
    // The start folder (Pictures) is a place too: the places' refresh answers for it again.
    ASSERT_EQ(Preferences::defaultBrowserPanelSelectedLoaction(), home() + "/Pictures");
    ASSERT_TRUE(panel_->placesReader()->placeByPath(home() + "/Pictures"));
    ASSERT_TRUE(locate(home() + "/photos"));

    PathUpdaterEnds ends;
    panel_->reloadPlaces();
    ASSERT_TRUE(database_->enqueueRefreshPath(home() + "/Pictures", &ends));
    ASSERT_TRUE(spinUntil([&] { return !ends.calls.empty(); }, 60000));
    ASSERT_TRUE(spinUntil([&] { return MediaDatabaseRecursiveUpdater::listForMDB(database_.get()).empty(); }, 60000));
    spinEvents(50);
    EXPECT_EQ(selectedNames(), (std::vector<std::string> {"photos"}));
    EXPECT_EQ(browsingNames(), (std::vector<std::string> {"photos"}));
}

TEST_F(BrowserPanelTest, TheSidebarWidthOutlivesTheWindow)
{
    ASSERT_GT(panel_->width(), 0);
    // The splitter moved by the user: the panel is narrower now.
    panel_->resize(237, panel_->height());
    window_.reset();
    EXPECT_EQ(Preferences::sharedPreferences().stringForKey(prefs::BrowserPanelWidth), "237.000000");
    window_ = MainWindow::create();
    // Room for every panel at its preferred width (sidebar, items, organise panel).
    window_->window()->resize(1200, 700);
    window_->showWindow();
    spinEvents(50);
    auto* mode = dynamic_cast<BrowsingModeController*>(window_->browsingModeController());
    ASSERT_TRUE(mode && mode->browserPanel());
    EXPECT_EQ(mode->browserPanel()->width(), 237);
    // The tree's one column is 3 points narrower than what it shows.
    TrackableOutlineView* tree = mode->browserPanel()->treeView();
    EXPECT_EQ(tree->outlineTableColumn()->width(), tree->viewport()->width() - 3);
}

} // namespace
} // namespace vistel::test
