// The items view controls over a real catalogue: the base control's reactions to selection
// notifications, clicks and actions (through a list control), and the list itself: cell
// texts, the date style chosen by the column's width, selection both ways, Return, right
// clicks and drops.

#include <gtest/gtest.h>

#include <QDragEnterEvent>

#include <QApplication>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include "Application/BrowseMode/DetailsViewControl.h"
#include "ItemsTestSupport.h"
#include "Common/Views/ImageAndTextCell.h"
#include "Platform/Gui/Pasteboard.h"
#include "Platform/Imaging/MultiImage.h"
#include "Platform/Imaging/PlatformImage.h"
#include "Platform/Log.h"
#include "Platform/UserDefaults.h"

namespace vistel::test {
namespace {

// A view that counts its reloads, under a control that records what it redraws.
class CountingView : public QWidget, public ItemsViewProtocol {
public:
    IndexSet selectedItemsIndexes() const override { return {}; }
    int clickedItem() const override { return -1; }
    int controlClickedItem() const override { return -1; }
    void setNeedsDisplay() override { }
    void reloadData() override { ++reloads; }
    void updateLayoutAndFrame() override { }
    int reloads = 0;
};

class RecordingControl : public ItemsViewControl {
public:
    RecordingControl() { view_ = new CountingView; view_->setParent(this); }
    ItemsViewProtocol* itemsView() const override { return view_; }
    QWidget* itemsViewWidget() const override { return view_; }
    void updateItemWithIndex(unsigned index) override { redrawn.addIndex(index); }
    IndexSet visibleItemsIndexSet() const override { return visible; }
    int reloads() const { return view_->reloads; }

    IndexSet redrawn;
    IndexSet visible;

private:
    CountingView* view_;
};

class ItemsViewControlTest : public ItemsCatalogueTest {
protected:
    void SetUp() override
    {
        ItemsCatalogueTest::SetUp();
        a_ = folder(root_, "a", {"a1.jpg", "a2.jpg", "a3.jpg"});
        b_ = folder(root_, "b", {"b1.jpg"});
        control_ = std::make_unique<DetailsViewControl>();
        control_->resize(640, 300);
        control_->setBrowsingControlUserActionsDelegate(&handler_);
        control_->setIsViewActive(true);
        control_->setBrowsingSelection(selection_.get());
        control_->show();
        selection_->setSelectedFolders({a_});
    }
    void TearDown() override
    {
        control_.reset();
        ItemsCatalogueTest::TearDown();
    }
    DetailViewControlTableView& table() { return *control_->tableView(); }
    std::vector<int> tableRows() { return table().selectedRowIndexes(); }
    void rightClickRow(int row)
    {
        const QPoint point = table().rectOfRow(row).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, point, table().viewport()->mapToGlobal(point));
        QApplication::sendEvent(table().viewport(), &event);
        if (handler_.lastMenu)
            handler_.lastMenu->close();
        handler_.lastMenu = nullptr;
    }

    Ref<FileSystemItemMO> a_, b_;
    RecordingHandler handler_;
    std::unique_ptr<DetailsViewControl> control_;
};

TEST_F(ItemsViewControlTest, ListsTheSelectedFoldersItems)
{
    EXPECT_EQ(table().numberOfRows(), 3);
    selection_->setSelectedFolders({a_, b_});
    EXPECT_EQ(table().numberOfRows(), 4);
    EXPECT_EQ(control_->cellText("name", 3), " b1.jpg");
    EXPECT_EQ(control_->selectedFolderLocation(), nullptr); // two folders: no location
    selection_->setSelectedFolders({b_});
    EXPECT_EQ(control_->selectedFolderLocation(), b_);
}

TEST_F(ItemsViewControlTest, CellTexts)
{
    Ref<FileSystemItemMO> sub = folder(a_, "sub", {});
    Ref<FileSystemItemMO> a1 = selection_->foldersObjectAtIndex(0);
    a1->setSize(10000);
    a1->setUserKind("JPEG image");
    a1->setModificationDate(Date {1'700'000'000});
    sub->setSize(4096);
    sub->setModificationDate(Date {1'700'000'000});
    selection_->setSelectedFolders({sub, a_});
    selection_->setSelectedFolders({a_});
    ASSERT_EQ(selection_->foldersObjectAtIndex(0), a1);

    struct Case {
        const char* column;
        std::string text;
    } cases[] = {
        {"name", " a1.jpg"},
        {"size", "  12 KB"}, // rounded up to whole 4 KB blocks
        {"itemtype", "  JPEG image"},
        {"unknown", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(control_->cellText(c.column, 0), c.text) << c.column;
    const std::string date = control_->cellText("mdate", 0);
    EXPECT_EQ(date.rfind("  ", 0), 0u);
    EXPECT_GT(date.size(), 4u);

    // A folder: "Folder", no size.
    const unsigned subIndex = selection_->foldersObjectIndex(sub.get());
    ItemList shown = selection_->foldersObjects();
    const auto at = std::find(shown.begin(), shown.end(), sub);
    if (at == shown.end())
        GTEST_SKIP() << "folders are not listed with this items mask";
    const long row = long(at - shown.begin());
    (void)subIndex;
    EXPECT_EQ(control_->cellText("name", row), " sub");
    EXPECT_EQ(control_->cellText("size", row), "");
    EXPECT_EQ(control_->cellText("itemtype", row), "  Folder");

    // An inactive control shows nothing.
    control_->setIsViewActive(false);
    EXPECT_EQ(control_->cellText("name", 0), "");
}

TEST_F(ItemsViewControlTest, DateStyleStepsDownAsTheColumnNarrowsAndBackUp)
{
    QFont font = QFontDatabase::font("DejaVu Sans", "Book", 10);
    ASSERT_EQ(QFontInfo(font).family(), "DejaVu Sans");
    QApplication::setFont(font);
    DetailsViewControl::setDateFormatLocale("en_US", "UTC");
    Ref<FileSystemItemMO> a1 = selection_->foldersObjectAtIndex(0);
    const Date date {1'765'365'385}; // 2025-12-10 11:16:25 UTC
    a1->setModificationDate(date);

    TableColumn* column = table().tableColumnWithIdentifier("mdate");
    ASSERT_TRUE(column);
    const QFontMetricsF metrics(column->dataCell().font(&table()));
    std::vector<int> fits; // the width each style needs, longest first
    for (int index = 0; index < DetailsViewControl::DateFormatCount; ++index)
        fits.push_back(int(std::ceil(
            metrics.horizontalAdvance(QString::fromStdString("  " + DetailsViewControl::formattedDate(date, index))))));
    EXPECT_EQ(DetailsViewControl::formattedDate(date, 4), "12/10/25");
    for (int index = 1; index < DetailsViewControl::DateFormatCount; ++index)
        ASSERT_LT(fits[index], fits[index - 1]) << "styles must get shorter";

    auto indexAt = [&](int width) {
        column->setWidth(width);
        control_->cellText("mdate", 0);
        return control_->cachedDateFormatIndex();
    };
    std::vector<int> sequence;
    for (int width : {fits[0] + 40, fits[0], fits[0] - 1, fits[1] - 1, fits[2] - 1, fits[3] - 1, 5})
        sequence.push_back(indexAt(width));
    for (int width : {fits[3], fits[2], fits[1], fits[0]})
        sequence.push_back(indexAt(width));
    EXPECT_EQ(sequence, (std::vector<int> {0, 0, 1, 2, 3, 4, 4, 3, 2, 1, 0}));
    // The shown text is the chosen style's.
    column->setWidth(fits[2]);
    EXPECT_EQ(control_->cellText("mdate", 0), "  " + DetailsViewControl::formattedDate(date, 2));
    DetailsViewControl::setDateFormatLocale("", "");
}

TEST_F(ItemsViewControlTest, SelectionFollowsBothWays)
{
    selection_->setSelectedObjectsIndexes(IndexSet {1, 2});
    EXPECT_EQ(tableRows(), (std::vector<int> {1, 2}));

    table().selectRowIndexes({0}, false);
    EXPECT_EQ(selection_->selectedObjectsIndexes(), IndexSet {0});

    // Selecting all (validated only while something is left to select).
    ActionItem item("Select All", "selectAll:");
    EXPECT_TRUE(control_->validateUserInterfaceItem(static_cast<QObject*>(&item)));
    EXPECT_TRUE(control_->performAction("selectAll:", &item));
    EXPECT_EQ(tableRows(), (std::vector<int> {0, 1, 2}));
    EXPECT_FALSE(control_->validateUserInterfaceItem(static_cast<QObject*>(&item)));
}

TEST_F(ItemsViewControlTest, ReturnOpensAndDoubleClickOnOneFolderGoesInside)
{
    table().setFocus();
    selection_->setSelectedObjectsIndexes(IndexSet {1});
    QTest::keyClick(&table(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(handler_.last("doubleClick"), nullptr);
    QTest::keyClick(&table(), Qt::Key_Return);
    ASSERT_TRUE(handler_.last("doubleClick"));
    EXPECT_EQ(handler_.last("doubleClick")->names, (std::vector<std::string> {"a2.jpg"}));
    QTest::keyClick(&table(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(handler_.whats(), (std::vector<std::string> {"doubleClick", "doubleClick"}));

    // One selected folder opens in place; two go to the handler.
    Ref<FileSystemItemMO> inner = folder(b_, "inner", {"i.jpg"});
    selection_->setSelectedFolders({root_});
    const ItemList shown = selection_->foldersObjects();
    if (std::find(shown.begin(), shown.end(), a_) == shown.end())
        GTEST_SKIP() << "folders are not listed with this items mask";
    IndexSet both;
    for (std::size_t i = 0; i < shown.size(); ++i)
        if (shown[i] == a_ || shown[i] == b_)
            both.addIndex(i);
    selection_->setSelectedObjectsIndexes(both);
    control_->itemsViewPerformDoubleClick(control_.get());
    EXPECT_EQ(handler_.last("doubleClick")->names, (std::vector<std::string> {"a", "b"}));
    selection_->setSelectedObjectsIndexes(IndexSet(both.lastIndex()));
    control_->itemsViewPerformDoubleClick(&table());
    EXPECT_EQ(names(selection_->selectedFolders()), (std::vector<std::string> {"b"}));
    EXPECT_EQ(handler_.whats().size(), 3u);
}

TEST_F(ItemsViewControlTest, RightClickSelectsAnUnselectedRowAloneThenAsksForTheMenu)
{
    selection_->setSelectedObjectsIndexes(IndexSet {0, 1});
    rightClickRow(1); // selected: the selection stays
    EXPECT_EQ(selection_->selectedObjectsIndexes(), (IndexSet {0, 1}));
    EXPECT_EQ(handler_.last("controlClick")->names, (std::vector<std::string> {"a1.jpg", "a2.jpg"}));

    rightClickRow(2);
    EXPECT_EQ(selection_->selectedObjectsIndexes(), IndexSet {2});
    EXPECT_EQ(tableRows(), (std::vector<int> {2}));
    EXPECT_EQ(handler_.last("controlClick")->names, (std::vector<std::string> {"a3.jpg"}));

    // Below the rows: the selection is cleared and no menu is asked for.
    handler_.calls.clear();
    QPoint below(10, table().rectOfRow(2).bottom() + 30);
    QContextMenuEvent event(QContextMenuEvent::Mouse, below, table().viewport()->mapToGlobal(below));
    QApplication::sendEvent(table().viewport(), &event);
    EXPECT_TRUE(selection_->selectedObjectsIndexes().empty());
    EXPECT_EQ(handler_.last("controlClick"), nullptr);
}

TEST_F(ItemsViewControlTest, SelectionNotificationsRedrawReloadOrAreIgnored)
{
    // Inactive: the view shows no data and selection changes do not reach it.
    table().selectRowIndexes({0}, false);
    control_->setIsViewActive(false);
    selection_->setSelectedFolders({b_});
    EXPECT_EQ(control_->objectValue(table(), table().tableColumnWithIdentifier("name"), 0), Value());
    selection_->setSelectedObjectsIndexes(IndexSet {});
    EXPECT_EQ(tableRows(), (std::vector<int> {0}));
    // Active again: reloaded.
    control_->setIsViewActive(true);
    EXPECT_EQ(table().numberOfRows(), 1);
    EXPECT_EQ(control_->cellText("name", 0), " b1.jpg");
    EXPECT_TRUE(tableRows().empty());

    // A notification without a bitmap counts as every kind of change: a reload.
    selection_->setSelectedFolders({a_});
    table().selectRowIndexes({}, false);
    control_->setIsViewActive(false);
    selection_->setSelectedObjectsIndexes(IndexSet {2});
    control_->setIsViewActive(true); // reload selects the selection's rows
    EXPECT_EQ(tableRows(), (std::vector<int> {2}));
    control_->handleBrowsingSelectionNotifications(
        {BrowsingSelectionNotification, Ref<Object>(selection_.get()), Value::dictionary()});
    EXPECT_EQ(tableRows(), (std::vector<int> {2}));
}

TEST_F(ItemsViewControlTest, NotificationsRedrawOldAndNewSelectionReloadOrRedrawChangedVisibleItems)
{
    RecordingControl control;
    control.setIsViewActive(true);
    control.setBrowsingSelection(selection_.get());
    const int base = control.reloads();
    auto notify = [&](Value info) {
        control.redrawn = IndexSet();
        control.handleBrowsingSelectionNotifications(
            {BrowsingSelectionNotification, Ref<Object>(selection_.get()), std::move(info)});
    };
    selection_->setSelectedObjectsIndexes(IndexSet {1});
    // Only the selection: old and new redrawn, nothing reloaded.
    notify(Value::dictionary({{kObjectsChangesBitmap, Value(1)},
                              {BrowsingSelectionObjectsSelectionChanged,
                               Value::dictionary({{kOldSelectedObjectsIndexes,
                                                   Value(Ref<Object>(IndexSetObject::create(IndexSet {2})))}})}}));
    EXPECT_EQ(control.redrawn, (IndexSet {1, 2}));
    EXPECT_EQ(control.reloads(), base);
    // The list changed (3), or no bitmap at all: a reload.
    notify(Value::dictionary({{kObjectsChangesBitmap, Value(3)}}));
    EXPECT_EQ(control.reloads(), base + 1);
    notify(Value::dictionary());
    EXPECT_EQ(control.reloads(), base + 2);
    EXPECT_TRUE(control.redrawn.empty());
    // Item changes: the visible items that changed are redrawn.
    Ref<FileSystemItemMO> a2 = selection_->foldersObjectAtIndex(1), a3 = selection_->foldersObjectAtIndex(2);
    control.visible = IndexSet {0, 1};
    notify(Value::dictionary({{kObjectsChangesBitmap, Value(0)},
                              {FSItemChangeNotification,
                               Value::dictionary({{a2->permanentObjectID().uriRepresentation(), Value(true)},
                                                  {a3->permanentObjectID().uriRepresentation(), Value(true)}})}}));
    EXPECT_EQ(control.redrawn, IndexSet {1});
    EXPECT_EQ(control.reloads(), base + 2);
    // Inactive: nothing at all.
    control.setIsViewActive(false);
    const int inactive = control.reloads();
    notify(Value::dictionary({{kObjectsChangesBitmap, Value(3)}}));
    EXPECT_EQ(control.reloads(), inactive);
    control.setBrowsingSelection(nullptr);
}

TEST_F(ItemsViewControlTest, ActionsGoToTheHandlerAndCutOrDeleteClearTheSelection)
{
    struct Case {
        const char* action;
        bool answer;
        bool clears;
    } cases[] = {
        {"copy:", true, false},
        {"delete:", false, false},
        {"delete:", true, true},
        {"cut:", true, true},
    };
    for (const Case& c : cases) {
        selection_->setSelectedObjectsIndexes(IndexSet {0, 2});
        handler_.processAnswer = c.answer;
        EXPECT_EQ(control_->processItems(selection_->selectedObjectsIndexes(), c.action, nullptr), c.answer) << c.action;
        const RecordingHandler::Call* call = handler_.last(std::string("process:") + c.action);
        ASSERT_TRUE(call) << c.action;
        EXPECT_EQ(call->names, (std::vector<std::string> {"a1.jpg", "a3.jpg"}));
        EXPECT_EQ(call->location, a_.get());
        EXPECT_EQ(selection_->selectedObjectsIndexes().empty(), c.clears) << c.action;
    }

    // Paste and Move Here pass no items, validating or performing: they take the clipboard's
    // names, never the selected pictures. Forwarding answers the handler's selectors only.
    selection_->setSelectedObjectsIndexes(IndexSet {1});
    for (const std::string action : {"paste:", "move:"}) {
        control_->processItems(IndexSet {1}, action, nullptr);
        EXPECT_TRUE(handler_.last("process:" + action)->names.empty()) << action;
        ActionItem item("Paste", action);
        control_->validateUserInterfaceItem(static_cast<QObject*>(&item));
        ASSERT_TRUE(handler_.last("validate:" + action));
        EXPECT_TRUE(handler_.last("validate:" + action)->names.empty()) << action;
    }
    EXPECT_TRUE(control_->respondsToAction("rotateLeft:"));
    EXPECT_FALSE(control_->respondsToAction("frobnicate:"));
    EXPECT_TRUE(control_->performAction("rotateLeft:", nullptr));
    EXPECT_EQ(handler_.last("process:rotateLeft:")->names, (std::vector<std::string> {"a2.jpg"}));

    // Without a handler nothing runs.
    control_->setBrowsingControlUserActionsDelegate(nullptr);
    EXPECT_FALSE(control_->processItems(IndexSet {1}, "copy:", nullptr));
    ActionItem item("Copy", "copy:");
    EXPECT_FALSE(control_->validateUserInterfaceItem(static_cast<QObject*>(&item)));
}

TEST_F(ItemsViewControlTest, RowDragsCarryTheFileNamesAndNeverDelete)
{
    handler_.processAnswer = true;
    QMimeData data;
    EXPECT_TRUE(control_->copyItemsToDrag(IndexSet {0, 1}, data));
    const RecordingHandler::Call* call = handler_.last("process:copy:");
    ASSERT_TRUE(call);
    EXPECT_EQ(call->names, (std::vector<std::string> {"a1.jpg", "a2.jpg"}));

    // A real drag of the selected rows (it ends at once offscreen): the names are copied into
    // the drag, and nothing is deleted whatever the drag's end.
    handler_.calls.clear();
    selection_->setSelectedObjectsIndexes(IndexSet {1, 2});
    const QPoint start = table().rectOfRow(1).center();
    QTest::mousePress(table().viewport(), Qt::LeftButton, {}, start);
    for (int step = 1; step <= 4; ++step)
        QTest::mouseMove(table().viewport(), start + QPoint(0, 10 * step));
    QTest::mouseRelease(table().viewport(), Qt::LeftButton, {}, start + QPoint(0, 40));
    ASSERT_TRUE(handler_.last("process:copy:"));
    EXPECT_EQ(handler_.last("process:copy:")->names, (std::vector<std::string> {"a2.jpg", "a3.jpg"}));
    EXPECT_EQ(handler_.last("process:delete:"), nullptr);
    EXPECT_EQ(handler_.last("process:move:"), nullptr);
}

TEST_F(ItemsViewControlTest, DropsGoToTheFolderUnderThePointerOrTheSelectedFolder)
{
    Ref<FileSystemItemMO> sub = folder(a_, "sub", {});
    selection_->setSelectedFolders({b_});
    selection_->setSelectedFolders({a_});
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile("/tmp/x.jpg")});
    QMimeData urlsOnly;
    urlsOnly.setUrls({QUrl("https://example.org/x.jpg")});

    // Over an empty part of the list: the selected folder, copy as the handler says.
    const QPoint empty = table().viewport()->mapTo(control_.get(), QPoint(10, table().viewport()->height() - 3));
    EXPECT_EQ(control_->dropFolderForDrop(empty), a_);
    EXPECT_EQ(control_->draggingEntered(files, empty), Qt::CopyAction);
    handler_.dragOperation = 16;
    EXPECT_EQ(control_->draggingEntered(files, empty), Qt::MoveAction);
    EXPECT_EQ(control_->draggingEntered(urlsOnly, empty), Qt::IgnoreAction);
    handler_.validateAnswer = false;
    EXPECT_EQ(control_->draggingEntered(files, empty), Qt::IgnoreAction);
    // Qt sends a drag's moves only to a widget that took its entry: a drag of file names entering
    // where it cannot drop (over the dragged pictures themselves) is still taken, so that it can
    // drop once it reaches a folder; anything else is refused at once.
    for (auto [data, taken] : {std::pair {&files, true}, {&urlsOnly, false}}) {
        QDragEnterEvent enter(empty, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(control_.get(), &enter);
        EXPECT_EQ(enter.isAccepted(), taken);
    }
    handler_.validateAnswer = true;

    const ItemList shown = selection_->foldersObjects();
    const auto at = std::find(shown.begin(), shown.end(), sub);
    if (at != shown.end()) {
        const int row = int(at - shown.begin());
        const QPoint over = table().viewport()->mapTo(control_.get(), table().rectOfRow(row).center());
        EXPECT_EQ(control_->dropFolderForDrop(over), sub);
        EXPECT_TRUE(control_->performDragOperation(files, over, Qt::MoveAction, nullptr));
        EXPECT_EQ(handler_.last("process:move:")->location, sub.get());
    }
    EXPECT_TRUE(control_->performDragOperation(files, empty, Qt::CopyAction, nullptr));
    EXPECT_EQ(handler_.last("process:paste:")->location, a_.get());
    EXPECT_FALSE(control_->performDragOperation(files, empty, Qt::IgnoreAction, nullptr));

    // What the drag's source allows bounds the operation: a move becomes a copy when only Copy
    // is offered, and a drag offering only Link drops nothing.
    handler_.dragOperation = 16;
    struct Case {
        Qt::DropActions offered;
        Qt::DropAction answered;
        const char* performed;
    } cases[] = {
        {Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::MoveAction, "process:move:"},
        {Qt::CopyAction | Qt::LinkAction, Qt::CopyAction, "process:paste:"},
        {Qt::LinkAction, Qt::IgnoreAction, nullptr},
    };
    for (const Case& c : cases) {
        handler_.calls.clear();
        QDragEnterEvent enter(empty, c.offered, &files, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(control_.get(), &enter);
        QDragMoveEvent move(empty, c.offered, &files, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(control_.get(), &move);
        EXPECT_EQ(move.isAccepted() ? move.dropAction() : Qt::IgnoreAction, c.answered) << int(c.offered);
        QDropEvent drop(empty, c.offered, &files, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(control_.get(), &drop);
        for (const char* what : {"process:move:", "process:paste:"})
            EXPECT_EQ(handler_.last(what) != nullptr, c.performed && std::string(what) == c.performed)
                << int(c.offered) << " " << what;
    }
}

TEST_F(ItemsViewControlTest, HoveringAFolderTwoSecondsWithoutMovingOpensIt)
{
    Ref<FileSystemItemMO> sub = folder(a_, "sub", {"s.jpg"});
    selection_->setSelectedFolders({b_});
    selection_->setSelectedFolders({a_});
    // The catalogue changes of the new folder come first (a reload ends any hover).
    spinEvents(1200);
    const ItemList shown = selection_->foldersObjects();
    const auto at = std::find(shown.begin(), shown.end(), sub);
    ASSERT_NE(at, shown.end());
    const std::uint64_t index = std::uint64_t(at - shown.begin());
    QPoint mouse(100, 100);
    ItemsViewControl::setMouseLocationFunction([&] { return mouse; });

    // The pointer moves in between: nothing opens.
    control_->setDropFolderIndex(index);
    EXPECT_EQ(control_->highlightedItemsIndexes(), IndexSet(index));
    mouse = QPoint(101, 100);
    spinEvents(2300);
    EXPECT_EQ(names(selection_->selectedFolders()), (std::vector<std::string> {"a"}));

    // Still: the folder opens.
    control_->setDropFolderIndex(ItemsViewNoDropFolder);
    control_->setDropFolderIndex(index);
    ASSERT_TRUE(spinUntil([&] { return selection_->selectedFolders().size() == 1 && selection_->selectedFolders()[0] == sub; },
                          5000));
    EXPECT_EQ(control_->highlightedItemsIndexes(), std::nullopt);
    ItemsViewControl::setMouseLocationFunction(nullptr);
}

TEST_F(ItemsViewControlTest, SelectedFolderIndexOutOfRangeIsLoggedAndNull)
{
    ScopedLogCapture log;
    EXPECT_EQ(control_->selectedFolderAtIndex(5), nullptr);
    EXPECT_TRUE(log.contains("ItemsViewControl::selectedFolderAtIndex invalid index 5"));
}

TEST_F(ItemsViewControlTest, NameCellsShowAnImageAndAPadlockForLockedItems)
{
    Ref<FileSystemItemMO> a2 = selection_->foldersObjectAtIndex(1);
    a2->setLocked(true);
    TableColumn* name = table().tableColumnWithIdentifier("name");
    for (long row : {0L, 1L}) {
        ImageAndTextCell cell;
        EXPECT_TRUE(control_->willDisplayCell(table(), cell, name, row));
        EXPECT_EQ(cell.showPadlock(), row == 1) << row;
        EXPECT_FALSE(cell.image().isNull()) << row; // the thumbnail, else the icon
        EXPECT_LE(std::max(cell.image().width(), cell.image().height()), 32) << row;
        EXPECT_EQ(cell.font(&table()), DetailsViewControl::cellFont());
    }
}

TEST_F(ItemsViewControlTest, TheColumnLayoutIsKeptUnderTheControlsName)
{
    EXPECT_EQ(table().autosaveName(), "DetailsViewControl");
    std::vector<std::string> identifiers;
    for (const auto& column : table().tableColumns())
        identifiers.push_back(column->identifier());
    EXPECT_EQ(identifiers, (std::vector<std::string> {"name", "size", "itemtype", "mdate"}));
    EXPECT_EQ(table().tableColumns()[3]->title().toStdString(), "Modification Date");
    EXPECT_TRUE(dynamic_cast<ImageAndTextCell*>(&table().tableColumns()[0]->dataCell()));
}

// With no widths kept, the name takes the width the other columns leave (and follows the
// window until the user sizes a column); the date column at its own width shows the medium
// style. Kept widths are used as they are.
TEST_F(ItemsViewControlTest, TheNameColumnTakesTheFreeWidthUntilTheUserSizesAColumn)
{
    QFont font = QFontDatabase::font("DejaVu Sans", "Book", 10);
    ASSERT_EQ(QFontInfo(font).family(), "DejaVu Sans");
    QApplication::setFont(font);
    DetailsViewControl::setDateFormatLocale("en_US", "UTC");
    const std::string kept = "NSOutlineView Columns DetailsViewControl";
    UserDefaults::standard().removeObjectForKey(kept);
    selection_->foldersObjectAtIndex(0)->setModificationDate(Date {1'765'365'385});
    auto list = std::make_unique<DetailsViewControl>();
    list->setBrowsingControlUserActionsDelegate(&handler_);
    list->setIsViewActive(true);
    list->setBrowsingSelection(selection_.get());
    list->resize(900, 300);
    list->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list.get()));
    QHeaderView& header = *list->tableView()->header();
    auto widths = [&] {
        std::vector<int> out;
        for (int i = 0; i < header.count(); ++i)
            out.push_back(header.sectionSize(i));
        return out;
    };
    const int date = header.sectionSize(3);
    EXPECT_GE(date, 160);
    auto freeWidth = [&] { return list->tableView()->viewport()->width() - 70 - 140 - date; };
    EXPECT_EQ(widths(), (std::vector<int> {freeWidth(), 70, 140, date}));
    EXPECT_GT(freeWidth(), 400);
    list->cellText("mdate", 0);
    EXPECT_EQ(list->cachedDateFormatIndex(), 2); // medium date and time

    list->resize(1100, 300);
    QCoreApplication::processEvents();
    EXPECT_EQ(widths(), (std::vector<int> {freeWidth(), 70, 140, date}));

    header.resizeSection(2, 100); // the user's
    const std::vector<int> chosen = widths();
    list->resize(700, 300);
    QCoreApplication::processEvents();
    EXPECT_EQ(widths(), chosen);
    list.reset();

    DetailsViewControl again;
    again.resize(900, 300);
    again.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&again));
    EXPECT_EQ(again.tableView()->header()->sectionSize(0), chosen[0]);
    EXPECT_EQ(again.tableView()->header()->sectionSize(2), 100);
    UserDefaults::standard().removeObjectForKey(kept);
    DetailsViewControl::setDateFormatLocale("", "");
}

// Wide, tall and square pictures are drawn in one square, so every name starts at one place.
TEST_F(ItemsViewControlTest, NameCellPicturesOfEveryShapeTakeOneSquare)
{
    const QSize shapes[] = {{64, 16}, {10, 40}, {32, 32}};
    for (long row = 0; row < 3; ++row) {
        QImage picture(shapes[row], QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::blue);
        selection_->foldersObjectAtIndex(unsigned(row))
            ->setThumbnailImage(MultiImage::createWithPlatformImage(PlatformImage::fromQImage(picture)));
    }
    TableColumn* name = table().tableColumnWithIdentifier("name");
    const QRectF bounds(0, 0, 300, 20);
    std::vector<double> titleStarts;
    for (long row = 0; row < 3; ++row) {
        ImageAndTextCell cell;
        control_->willDisplayCell(table(), cell, name, row);
        EXPECT_EQ(cell.image().size(), QSize(32, 32)) << row;
        // The picture keeps its shape inside the square.
        const QImage& square = cell.image();
        const bool wide = shapes[row].width() > shapes[row].height();
        const bool tall = shapes[row].width() < shapes[row].height();
        EXPECT_EQ(qAlpha(square.pixel(16, 1)) == 0, wide) << row;
        EXPECT_EQ(qAlpha(square.pixel(1, 16)) == 0, tall) << row;
        titleStarts.push_back(cell.titleRectForBounds(bounds, &table()).x());
    }
    EXPECT_EQ(titleStarts[0], titleStarts[1]);
    EXPECT_EQ(titleStarts[0], titleStarts[2]);
}

} // namespace
} // namespace vistel::test
