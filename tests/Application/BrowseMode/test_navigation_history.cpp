// The navigation history over a sidebar stand-in: recording, back, forward and up, the 20-entry
// limit, the three segments' tool tips and states, a cleared catalogue, and entries whose items
// left the sidebar.

#include <gtest/gtest.h>

#include "CatalogueTestSupport.h"
#include "HistoryTestSupport.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Platform/Log.h"

namespace vistel::test {
namespace {

class NavigationHistoryTest : public CatalogueTest {
protected:
    void SetUp() override
    {
        CatalogueTest::SetUp();
        openCatalogue();
        Ref<FileSystemItemMO> root = database_->createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
        group_ = makeRef<FakeSidebar::Sender>(); // a group row: not a file-system item
        sidebar_.rows.push_back(group_);
        pictures_ = folder(root, "Pictures", group_);
        for (int i = 0; i < 25; ++i)
            folders_.push_back(folder(pictures_, "F" + std::to_string(i), pictures_));
        history_ = BrowserPanelHistory::create(&sidebar_);
        cell_ = makeRef<RecordingCell>();
        history_->setNavigationToolbarCell(cell_);
    }
    void TearDown() override
    {
        history_ = nullptr;
        CatalogueTest::TearDown();
    }
    Ref<FileSystemItemMO> folder(const Ref<FileSystemItemMO>& parent, const std::string& name, const Ref<Object>& rowParent)
    {
        Ref<FileSystemItemMO> item = parent->createChildWithName(name, MediaDatabase::EntityFolder, true);
        item->setValid(true);
        sidebar_.rows.push_back(item);
        sidebar_.parents[item.get()] = rowParent;
        return item;
    }
    std::vector<std::string> entries() const
    {
        std::vector<std::string> out;
        for (const auto& entry : history_->historyArray()) {
            std::string names;
            for (const auto& item : entry)
                names += (names.empty() ? "" : "+") + sidebar_.historyItemName(*item);
            out.push_back(names);
        }
        return out;
    }
    std::vector<std::string> selectedNames() const
    {
        std::vector<std::string> out;
        for (const auto& item : sidebar_.historySelectedItems())
            out.push_back(sidebar_.historyItemName(*item));
        return out;
    }
    const Ref<FileSystemItemMO>& f(int i) const { return folders_[std::size_t(i)]; }

    FakeSidebar sidebar_;
    Ref<Object> group_;
    Ref<FileSystemItemMO> pictures_;
    std::vector<Ref<FileSystemItemMO>> folders_;
    Ref<BrowserPanelHistory> history_;
    Ref<RecordingCell> cell_;
};

TEST_F(NavigationHistoryTest, BackTwiceThenANewSelectionDropsTheForwardEntries)
{
    for (int i : {0, 1, 2})
        sidebar_.selectItems({f(i)});
    EXPECT_EQ(entries(), (std::vector<std::string> {"F0", "F1", "F2"}));
    EXPECT_EQ(cell_->toolTips[0], "Back to \"F1\"");
    EXPECT_FALSE(cell_->enabled[1]);

    history_->navigatePrevious();
    EXPECT_EQ(selectedNames(), (std::vector<std::string> {"F1"}));
    EXPECT_EQ(cell_->toolTips[1], "Forward to \"F2\"");
    history_->navigatePrevious();
    EXPECT_EQ(selectedNames(), (std::vector<std::string> {"F0"}));
    // Going back records nothing.
    EXPECT_EQ(entries(), (std::vector<std::string> {"F0", "F1", "F2"}));
    EXPECT_EQ(history_->currentItemIndex(), 0u);
    EXPECT_FALSE(cell_->enabled[0]);
    EXPECT_TRUE(cell_->enabled[1]);

    sidebar_.selectItems({f(3)});
    EXPECT_EQ(entries(), (std::vector<std::string> {"F0", "F3"}));
    EXPECT_EQ(history_->currentItemIndex(), 1u);
    EXPECT_FALSE(history_->canNavigateNext());
    EXPECT_FALSE(cell_->enabled[1]);
    EXPECT_EQ(cell_->toolTips[1], "");
    EXPECT_TRUE(cell_->enabled[0]);

    // The last entry chosen again adds nothing.
    sidebar_.selectItems({f(3)});
    EXPECT_EQ(entries(), (std::vector<std::string> {"F0", "F3"}));
}

TEST_F(NavigationHistoryTest, TwentyEntriesAreKept)
{
    for (int i = 0; i < 21; ++i)
        sidebar_.selectItems({f(i)});
    ASSERT_EQ(history_->historyArray().size(), 20u);
    EXPECT_EQ(entries().front(), "F1");
    EXPECT_EQ(history_->currentItemIndex(), 19u);
    int steps = 0;
    while (history_->canNavigatePrevious()) {
        history_->navigatePrevious();
        ++steps;
    }
    EXPECT_EQ(steps, 19);
    EXPECT_EQ(selectedNames(), (std::vector<std::string> {"F1"}));
    EXPECT_EQ(history_->historyArray().size(), 20u);
}

TEST_F(NavigationHistoryTest, UpNeedsOneItemWhoseParentIsAFolder)
{
    struct Case {
        std::vector<int> selection;
        std::string upTip;
    } cases[] = {
        {{0}, "Up to \"Pictures\""},
        {{0, 1}, ""},    // two items: nowhere to go up
        {{-1}, ""},      // Pictures itself: its parent is a group row
    };
    for (const Case& c : cases) {
        std::vector<int> rows;
        for (int i : c.selection)
            rows.push_back(i < 0 ? sidebar_.rowOf(pictures_.get()) : sidebar_.rowOf(f(i).get()));
        sidebar_.select(rows);
        EXPECT_EQ(cell_->toolTips[2], c.upTip) << rows.size();
        EXPECT_EQ(cell_->enabled[2], !c.upTip.empty());
        EXPECT_EQ(history_->canNavigateParent(), !c.upTip.empty());
    }
    // Two folders in one entry name both in the tool tip.
    sidebar_.selectItems({f(4)});
    EXPECT_EQ(cell_->toolTips[0], "Back to \"Pictures\"");
    history_->navigatePrevious();
    history_->navigatePrevious();
    EXPECT_EQ(cell_->toolTips[1], "Forward to \"Pictures\"");
    EXPECT_EQ(history_->nextFolderName(), "Forward to \"Pictures\"");
    history_->navigatePrevious();
    EXPECT_EQ(selectedNames(), (std::vector<std::string> {"F0"}));
    EXPECT_EQ(cell_->toolTips[1], "Forward to \"F0/F1\"");

    // Up selects the parent's row, which is recorded like a user's choice.
    sidebar_.selectItems({f(5)});
    history_->navigateParent();
    EXPECT_EQ(selectedNames(), (std::vector<std::string> {"Pictures"}));
    EXPECT_EQ(entries().back(), "Pictures");
}

TEST_F(NavigationHistoryTest, AnEmptiedSelectionKeepsTheEntriesAndBackGoesToTheLast)
{
    sidebar_.selectItems({f(0)});
    sidebar_.selectItems({f(1)});
    ScopedLogCapture log;
    sidebar_.select({});
    EXPECT_EQ(history_->currentItemIndex(), BrowserPanelHistory::NoIndex);
    EXPECT_EQ(entries(), (std::vector<std::string> {"F0", "F1"}));
    EXPECT_EQ(cell_->toolTips[0], "Back to \"F1\"");
    history_->navigatePrevious();
    EXPECT_EQ(selectedNames(), (std::vector<std::string> {"F1"}));
    EXPECT_EQ(history_->currentItemIndex(), 1u);
    EXPECT_TRUE(log.contains("BrowserPanelHistory::previousItem current item not found"));
}

TEST_F(NavigationHistoryTest, AClearedCatalogueDisablesAllThreeSegments)
{
    sidebar_.selectItems({f(0)});
    sidebar_.selectItems({f(1)});
    history_->navigatePrevious();
    ASSERT_TRUE(cell_->enabled[1] && cell_->enabled[2]);
    // A change of one item leaves the history alone; the catalogue's "cleared" empties it.
    database_->notifyFSItemChanged(f(0).get(), true);
    spinEvents(50);
    EXPECT_EQ(history_->historyArray().size(), 2u);
    database_->notifyFSItemChanged(nullptr, true);
    ASSERT_TRUE(spinUntil([&] { return history_->historyArray().empty(); }, 5000));
    EXPECT_EQ(history_->currentItemIndex(), BrowserPanelHistory::NoIndex);
    for (int segment = 0; segment < 3; ++segment) {
        EXPECT_FALSE(cell_->enabled[segment]) << segment;
        EXPECT_EQ(cell_->toolTips[segment], "") << segment;
    }
}

TEST_F(NavigationHistoryTest, AnEntryWhoseItemsLeftTheSidebarSelectsNothing)
{
    sidebar_.selectItems({f(0)});
    sidebar_.selectItems({f(1), f(2)});
    sidebar_.selectItems({f(3)});
    // F0 and F2 go (their volume was unmounted): the entries still hold them.
    for (int gone : {0, 2})
        sidebar_.rows.erase(sidebar_.rows.begin() + sidebar_.rowOf(f(gone).get()));
    history_->navigatePrevious();
    EXPECT_EQ(selectedNames(), (std::vector<std::string> {"F1"})); // the row still shown
    history_->navigatePrevious();
    EXPECT_EQ(history_->currentItemIndex(), 0u);
    EXPECT_EQ(selectedNames(), (std::vector<std::string> {"F1"})); // nothing found: selection unchanged
    EXPECT_EQ(entries(), (std::vector<std::string> {"F0", "F1+F2", "F3"}));
    history_->navigateNext();
    history_->navigateNext();
    EXPECT_EQ(selectedNames(), (std::vector<std::string> {"F3"}));
}

TEST_F(NavigationHistoryTest, EntriesCompareItemByItem)
{
    const BrowserPanelHistory::Entry ab {f(0), f(1)}, ba {f(1), f(0)}, a {f(0)};
    EXPECT_TRUE(BrowserPanelHistory::isItemsEqual(ab, BrowserPanelHistory::Entry {f(0), f(1)}));
    EXPECT_FALSE(BrowserPanelHistory::isItemsEqual(ab, ba));
    EXPECT_FALSE(BrowserPanelHistory::isItemsEqual(ab, a));
    sidebar_.selectItems({f(0)});
    sidebar_.selectItems({f(1)});
    sidebar_.selectItems({f(0)});
    EXPECT_EQ(history_->getItemIndex(a, true), 0u);
    EXPECT_EQ(history_->getItemIndex(a, false), 2u);
    EXPECT_EQ(history_->getItemIndex(ab, true), BrowserPanelHistory::NoIndex);
}

} // namespace
} // namespace vistel::test
