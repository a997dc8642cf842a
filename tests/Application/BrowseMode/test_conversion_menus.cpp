// Rotation, Save As and the batch commands as the user reaches them: the browse window's own Edit
// and File menus, with pictures selected in its grid, the panels answered and the real conversion
// engine doing the work. A picture turned right keeps its compressed bytes and its grid cell
// turns; Save As and each batch entry write what their panel asked for, from the File menu and
// from the tool bar's batch item.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QToolButton>
#include <QWidgetAction>

#include <cstring>
#include <filesystem>
#include <functional>

#include "../../Operations/ConversionTestSupport.h"
#include "../ShellTestSupport.h"
#include "Application/BrowseMode/BrowsingModeController.h"
#include "Application/BrowseMode/ItemsPanel.h"
#include "Application/BrowseMode/ThumbnailsViewControl.h"
#include "Application/FileOperationLauncher.h"
#include "Application/MainMenu.h"
#include "Application/MainWindow.h"
#include "BrowseTestSupport.h"
#include "ItemsTestSupport.h"
#include "Operations/Panels/ConversionPanels.h"
#include "Platform/Gui/Responder.h"
#include "Common/FileSystem/FNSubscribeFileObserver.h"
#include "Platform/Gui/Window.h"
#include "Platform/Gui/WindowToolbar.h"
#include "Platform/UserDefaults.h"
#include "Preferences/Preferences.h"

namespace vistel::test {
namespace {

const bool privateFolders = usePrivateShellFolders();

// Where the red, green and blue quadrants of a test picture are drawn inside `rect` of a shot:
// the centre of each colour's pixels; (-1, -1) for a colour not found.
std::vector<QPointF> quadrantCentres(const QImage& shot, const QRectF& rect)
{
    std::vector<QPointF> centres;
    for (int quadrant = 0; quadrant < 3; ++quadrant) {
        double sx = 0, sy = 0;
        int count = 0;
        for (int y = int(rect.top()); y < int(rect.bottom()); ++y)
            for (int x = int(rect.left()); x < int(rect.right()); ++x)
                if (near(shot.pixelColor(x, y), kQuadrants[quadrant], 45)) {
                    sx += x;
                    sy += y;
                    ++count;
                }
        centres.push_back(count > 20 ? QPointF(sx / count, sy / count) : QPointF(-1, -1));
    }
    return centres;
}

class ConversionMenusTest : public ItemsCatalogueTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(privateFolders);
        ItemsCatalogueTest::SetUp();
        installFileOperations();
        UserDefaults::standard().setObject(Value(std::string(ItemsPanelThumbnailsMode)), "ItemsView.DefaultMode");
        Preferences::sharedPreferences().setValue(Value(false), prefs::MakeCopyOnRotate);
    }
    void TearDown() override
    {
        AccessoryFilePanel::setResponder({});
        closeBrowseWindow(window_);
        UserDefaults::standard().removeObjectForKey("ItemsView.DefaultMode");
        ItemsCatalogueTest::TearDown();
    }

    // A folder of pictures that `write` makes on disk, in the catalogue below its volume's item
    // (where the catalogue looks for a folder a change notice names) but not yet listed: the
    // window lists it, and watches it from then on, as it does any folder it shows first.
    Ref<FileSystemItemMO> pictureFolder(const std::string& name, const std::vector<std::string>& files,
                                        const std::function<void(const std::string&)>& write)
    {
        const std::string path = tree_ / name;
        EXPECT_EQ(::mkdir(path.c_str(), 0755), 0);
        for (const std::string& file : files)
            write(path + "/" + file);
        Ref<FileSystemItemMO> item = database_->volumeItemForPath(path);
        EXPECT_TRUE(item);
        if (!item)
            return nullptr;
        item->setWritable(true);
        const std::vector<std::string> components = pathComponents(path);
        for (std::size_t i = pathComponents(item->fullPath()).size(); i < components.size(); ++i) {
            Ref<FileSystemItemMO> child = item->childWithName(components[i]);
            if (!child) {
                child = item->createChildWithName(components[i], MediaDatabase::EntityFolder, true);
                child->setValid(true);
                item->updateObjectInCache(child.get());
            }
            child->setWritable(true);
            item = child;
        }
        EXPECT_TRUE(database_->managedObjectContext()->save());
        return item;
    }

    // The browse window showing `folder` (of `count` pictures) in its grid, with the pictures
    // `names` selected.
    ThumbnailsView* showSelected(const Ref<FileSystemItemMO>& folder, std::size_t count, const std::set<std::string>& names)
    {
        mode_ = openBrowseWindow(window_);
        EXPECT_TRUE(mode_);
        if (!mode_)
            return nullptr;
        // The menu bar the application gives its main window.
        MainMenu::install(window_->window()->menuBar(), MainMenu::WindowKind::Main);
        browsing_ = mode_->browsingSelection();
        EXPECT_TRUE(waitForStartLocation(*mode_));
        browsing_->setSelectedFolders({folder});
        ItemsPanel* panel = mode_->itemsPanel();
        panel->setMode(ItemsPanelThumbnailsMode);
        auto* control = dynamic_cast<ThumbnailsViewControl*>(panel->currentViewControl());
        EXPECT_TRUE(control);
        if (!control)
            return nullptr;
        ThumbnailsView* grid = control->thumbnailsView();
        EXPECT_TRUE(spinUntil([&] { return grid->itemsCount() == count && browsing_->foldersObjects().size() == count; },
                              10000));
        spinUntil([&] { return folder->refreshStatus() == 0 && !folder->childrenRefreshStatusWithMask(kMaskAll); }, 10000);
        select(names);
        return grid;
    }

    // Selects the pictures `names` of the grid.
    void select(const std::set<std::string>& names)
    {
        IndexSet chosen;
        const ItemList shown = browsing_->foldersObjects();
        for (std::size_t index = 0; index < shown.size(); ++index)
            if (names.count(shown[index]->name()))
                chosen.addIndex(index);
        browsing_->setSelectedObjectsIndexes(chosen);
        EXPECT_TRUE(spinUntil([&] { return browsing_->selectedItems().size() == names.size(); }, 5000));
    }

    // Chooses the window's menu item that sends `selector`, as the user does; false when the
    // menu has it disabled.
    bool choose(const std::string& selector)
    {
        Window* window = window_->window();
        validateWindowItems(window);
        for (QAction* top : window->menuBar()->actions())
            for (QAction* action : top->menu()->actions())
                if (auto* item = dynamic_cast<ActionItem*>(action); item && item->action() == selector) {
                    if (!item->isEnabled())
                        return false;
                    item->trigger();
                    return true;
                }
        ADD_FAILURE() << "no menu item sends " << selector;
        return false;
    }

    bool settle()
    {
        return spinUntil([] { return ImageConvertor::sharedImageConvertor().runningGroups().empty(); }, 60000);
    }

    std::unique_ptr<MainWindow> window_;
    BrowsingModeController* mode_ = nullptr;
    BrowsingSelection* browsing_ = nullptr;
};

TEST_F(ConversionMenusTest, RotateRightRewritesOnlyAJpegsOrientationAndItsCellTurns)
{
    const auto quadrants = [](const std::string& path) { ASSERT_TRUE(writeQuadrants(path, 96, 64, "public.jpeg", 1)); };
    Ref<FileSystemItemMO> pictures = pictureFolder("pictures", {"turn.jpg"}, quadrants);
    const std::string path = pictures->fullPath() + "/turn.jpg";
    const std::string before = readFile(path);
    ThumbnailsView* grid = showSelected(pictures, 1, {"turn.jpg"});
    ASSERT_TRUE(grid);

    // Drawn as stored: red left of green, red above blue.
    std::vector<QPointF> drawn;
    ASSERT_TRUE(spinUntil(
        [&] {
            drawn = quadrantCentres(grid->grab().toImage(), grid->itemRectForIndex(0));
            return drawn[0].x() >= 0 && drawn[1].x() >= 0 && drawn[2].x() >= 0;
        },
        10000));
    EXPECT_LT(drawn[0].x(), drawn[1].x());
    EXPECT_LT(drawn[0].y(), drawn[2].y());

    ScriptedAlerts alerts;
    ASSERT_TRUE(choose("rotateRight:"));
    ASSERT_TRUE(settle());
    EXPECT_TRUE(alerts.messages.empty());

    // The compressed picture is the same: one orientation value changed, to 6.
    const std::string after = readFile(path);
    ASSERT_EQ(after.size(), before.size());
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < after.size(); ++i)
        if (after[i] != before[i])
            changed.push_back(i);
    ASSERT_FALSE(changed.empty());
    EXPECT_LE(changed.back() - changed.front(), 1u);
    EXPECT_EQ(run("exiv2 -q -K Exif.Image.Orientation -Pv " + quoted(path)), "6");

    // The cell shows it turned a quarter clockwise: blue left of red, green below red.
    const bool turned = spinUntil(
        [&] {
            drawn = quadrantCentres(grid->grab().toImage(), grid->itemRectForIndex(0));
            return drawn[0].x() >= 0 && drawn[2].x() >= 0 && drawn[2].x() < drawn[0].x() && drawn[1].y() > drawn[0].y();
        },
        15000);
    EXPECT_TRUE(turned) << "red at " << drawn[0].x() << "," << drawn[0].y() << ", green at " << drawn[1].x() << ","
                        << drawn[1].y() << ", blue at " << drawn[2].x() << "," << drawn[2].y();
    if (const char* keep = std::getenv("VISTEL_KEEP_SCREENSHOTS"))
        grid->grab().save(QString::fromUtf8(keep) + "/rotate-right-cell.png");
}

TEST_F(ConversionMenusTest, SaveAsAndEachBatchEntryOfTheFileMenuWriteWhatTheirPanelAsked)
{
    const auto quadrants = [](const std::string& path) { ASSERT_TRUE(writeQuadrants(path, 64, 48, "public.jpeg", 6)); };
    Ref<FileSystemItemMO> pictures = pictureFolder("pictures", {"a.jpg", "b.jpg"}, quadrants);
    const std::string out = tree_ / "out";
    ThumbnailsView* grid = showSelected(pictures, 2, {"a.jpg"});
    ASSERT_TRUE(grid);
    const auto chooseTag = [](QComboBox* popup, int tag) { popup->setCurrentIndex(popup->findData(tag)); };
    const auto size = [](const std::string& file) { return run("identify -format '%wx%h' " + quoted(file)); };

    struct Case {
        const char* selector;
        std::set<std::string> selected;
        std::function<void(AccessoryFilePanel&)> answer;
        std::function<void(const std::string& folder)> check;
    };
    const Case cases[] = {
        {"saveDocumentAs:", {"a.jpg"},
         [&](AccessoryFilePanel& panel) {
             chooseTag(dynamic_cast<SaveImageAsPanel&>(panel).accessory()->popupButton(), ConversionPanelAccessory::PNG);
             panel.fileDialog()->selectFile("holiday");
         },
         [&](const std::string& folder) {
             EXPECT_EQ(namesIn(folder), std::set<std::string> {"holiday.png"});
             EXPECT_EQ(size(folder + "/holiday.png"), "48x64");
         }},
        {"batchConvertFileFormat:", {"a.jpg", "b.jpg"},
         [&](AccessoryFilePanel& panel) {
             chooseTag(dynamic_cast<BatchConvertionPanel&>(panel).accessory()->popupButton(), ConversionPanelAccessory::TIFF);
         },
         [&](const std::string& folder) {
             EXPECT_EQ(namesIn(folder), (std::set<std::string> {"a.tiff", "b.tiff"}));
             EXPECT_EQ(size(folder + "/b.tiff"), "48x64");
         }},
        {"batchResize:", {"a.jpg", "b.jpg"},
         [&](AccessoryFilePanel& panel) {
             auto& resize = dynamic_cast<BatchResizePanel&>(panel);
             chooseTag(resize.popupButton(), BatchResizePanel::Pixels);
             resize.widthByPixelsText()->setText("24");
             resize.heightByPixelsText()->setText("32");
         },
         [&](const std::string& folder) {
             EXPECT_EQ(namesIn(folder), (std::set<std::string> {"a.jpg", "b.jpg"}));
             EXPECT_EQ(size(folder + "/a.jpg"), "24x32");
         }},
        {"batchRename:", {"a.jpg", "b.jpg"},
         [&](AccessoryFilePanel& panel) {
             auto& rename = dynamic_cast<BatchRenamePanel&>(panel);
             chooseTag(rename.popupButton(), 5); // the custom name with an index
             rename.customNameText()->setText("Trip");
         },
         [&](const std::string& folder) {
             EXPECT_EQ(namesIn(folder), (std::set<std::string> {"Trip 1.jpg", "Trip 2.jpg"}));
             // Renamed copies are the pictures unchanged.
             EXPECT_EQ(readFile(folder + "/Trip 1.jpg"), readFile(pictures->fullPath() + "/a.jpg"));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.selector);
        const std::string folder = out + "/" + std::string(c.selector, std::strlen(c.selector) - 1);
        std::filesystem::create_directories(folder);
        select(c.selected);
        int panels = 0;
        AccessoryFilePanel::setResponder([&](AccessoryFilePanel& panel) {
            ++panels;
            panel.fileDialog()->setDirectory(QString::fromStdString(folder));
            c.answer(panel);
            panel.okButton()->click();
        });
        ScriptedAlerts alerts;
        ASSERT_TRUE(choose(c.selector));
        ASSERT_TRUE(settle());
        EXPECT_EQ(panels, 1);
        EXPECT_TRUE(alerts.messages.empty());
        c.check(folder);
    }
}

TEST_F(ConversionMenusTest, TheBatchToolbarItemOffersTheThreeBatchEntries)
{
    const auto quadrants = [](const std::string& path) { ASSERT_TRUE(writeQuadrants(path, 32, 24, "public.jpeg")); };
    Ref<FileSystemItemMO> pictures = pictureFolder("pictures", {"a.jpg", "b.jpg"}, quadrants);
    ASSERT_TRUE(showSelected(pictures, 2, {"a.jpg", "b.jpg"}));
    // No tool bar lists the item: it is built and put in the window's tool bar by hand.
    WindowToolbar* toolbar = mode_->controllerToolBar();
    auto* item = dynamic_cast<QWidgetAction*>(mode_->toolbarItemForItemIdentifier(*toolbar, "batch", true));
    ASSERT_TRUE(item);
    toolbar->addAction(item);
    auto* button = dynamic_cast<QToolButton*>(item->defaultWidget());
    ASSERT_TRUE(button && button->menu());
    emit button->menu()->aboutToShow();
    std::vector<std::string> entries;
    ActionItem* rename = nullptr;
    for (QAction* action : button->menu()->actions()) {
        auto* entry = dynamic_cast<ActionItem*>(action);
        ASSERT_TRUE(entry);
        entries.push_back(entry->text().toStdString() + " " + entry->action() + (entry->isEnabled() ? "" : " (off)"));
        if (entry->action() == "batchRename:")
            rename = entry;
    }
    EXPECT_EQ(entries, (std::vector<std::string> {"Batch Convert File Format… batchConvertFileFormat:",
                                                  "Batch Resize… batchResize:", "Batch Rename… batchRename:"}));
    ASSERT_TRUE(rename);

    const std::string folder = tree_ / "renamed";
    std::filesystem::create_directories(folder);
    AccessoryFilePanel::setResponder([&](AccessoryFilePanel& panel) {
        panel.fileDialog()->setDirectory(QString::fromStdString(folder));
        auto& names = dynamic_cast<BatchRenamePanel&>(panel);
        names.popupButton()->setCurrentIndex(names.popupButton()->findData(5));
        names.customNameText()->setText("Walk");
        panel.okButton()->click();
    });
    rename->trigger();
    ASSERT_TRUE(settle());
    EXPECT_EQ(namesIn(folder), (std::set<std::string> {"Walk 1.jpg", "Walk 2.jpg"}));
}

} // namespace
} // namespace vistel::test
