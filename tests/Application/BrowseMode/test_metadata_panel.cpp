// The Properties panel over a real catalogue whose file thread listed and read the items: the
// views offered for each kind of selection, the view each kind keeps, which selection
// notifications refill the provider, and changes made elsewhere reloading only their rows.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QTest>

#include <fstream>
#include <string>
#include <vector>

#include "Application/BrowseMode/MetadataPanel.h"
#include "ItemsTestSupport.h"
#include "Metadata/MetadataBaseView.h"
#include "Metadata/MetadataDatabaseView.h"
#include "Metadata/MetadataFileView.h"
#include "Preferences/Preferences.h"

namespace vistel::test {
namespace {

using Names = std::vector<std::string>;

class MetadataPanelTest : public CatalogueTest {
protected:
    void SetUp() override
    {
        CatalogueTest::SetUp();
        openCatalogueForUpdates();
        previousShowFiles_ = ItemsViewPreferences::shared().showUndecodableFiles();
        previousShowFolders_ = ItemsViewPreferences::shared().showFolders();
        ItemsViewPreferences::shared().setShowUndecodableFiles(true);
        ItemsViewPreferences::shared().setShowFolders(true);

        writeJpeg(tree_ / "a.jpg");
        writeJpeg(tree_ / "b.jpg");
        std::ofstream(tree_ / "notes.txt") << "not a picture\n";
        ::mkdir((tree_ / "sub").c_str(), 0755);
        Ref<FileSystemItemMO> item = database_->createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
        for (const std::string& component : pathComponents(tree_.path()))
            if (component != "/")
                item = database_->createChildOf(item.get(), component, MediaDatabase::EntityFolder);
        folder_ = item;
        folder_->setRefreshStatus(kRefreshStatusNotVerified);
        folder_->enqueueRefresh();
        ASSERT_TRUE(spinUntil([&] { return folder_->refreshStatus() == 0 && folder_->numberOfChildren() == 4; }, 20000));
        for (const char* name : {"a.jpg", "b.jpg", "notes.txt"}) {
            Ref<FileSystemItemMO> child = folder_->childWithName(name);
            ASSERT_TRUE(child) << name;
            child->enqueueRefresh();
            ASSERT_TRUE(spinUntil([&] { return !child->hasPendingRefreshStatusRequests(); }, 30000)) << name;
        }
        ASSERT_TRUE(folder_->childWithName("a.jpg")->isDecodable());
        ASSERT_FALSE(folder_->childWithName("notes.txt")->isDecodable());

        folder_->setValid(true);
        selection_ = BrowsingSelection::create();
        selection_->setSelectedFolders({folder_});
        ASSERT_TRUE(spinUntil([&] { return selection_->foldersObjectsCount() == 4; }, 10000))
            << selection_->foldersObjectsCount() << " shown of " << folder_->numberOfChildren();
        panel_ = std::make_unique<MetadataPanel>();
        panel_->resize(280, 500);
        panel_->setSelection(selection_.get());
    }
    void TearDown() override
    {
        panel_.reset();
        selection_ = nullptr;
        folder_ = nullptr;
        database_->stopJobs();
        ItemsViewPreferences::shared().setShowUndecodableFiles(previousShowFiles_);
        ItemsViewPreferences::shared().setShowFolders(previousShowFolders_);
        CatalogueTest::TearDown();
    }

    Ref<FileSystemItemMO> child(const std::string& name) { return folder_->childWithName(name); }
    // Selects the named items as a click would; the panel hears it from the selection.
    void select(const Names& names)
    {
        IndexSet indexes;
        for (const std::string& name : names)
            indexes.addIndex(selection_->foldersObjectIndex(child(name).get()));
        selection_->setSelectedObjectsIndexes(indexes);
        spinEvents(50);
    }
    Names offered() const
    {
        Names titles;
        QComboBox* selector = panel_->metadataListSelector();
        for (int i = 0; i < selector->count(); ++i)
            titles.push_back(selector->itemText(i).toStdString());
        return titles;
    }
    // The user picks a view in the pop-up.
    void choose(const std::string& title)
    {
        QComboBox* selector = panel_->metadataListSelector();
        const int item = selector->findText(QString::fromStdString(title));
        ASSERT_GE(item, 0) << title;
        selector->setCurrentIndex(item);
        emit selector->activated(item);
    }
    MetadataProvider* provider() const { return panel_->currentViewsSet()->currentProvider(); }
    QWidget* hosted() const
    {
        const auto children = panel_->metadataViewContainer()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        return children.size() == 1 ? children.front() : nullptr;
    }
    std::string shownItem() const
    {
        MetadataProvider* current = provider();
        return current && !current->fileSystemItems().empty() ? current->fileSystemItems().front()->name() : "<none>";
    }

    TemporaryFolder tree_ {"vistel-properties"};
    Ref<FileSystemItemMO> folder_;
    Ref<BrowsingSelection> selection_;
    std::unique_ptr<MetadataPanel> panel_;
    bool previousShowFiles_ = false, previousShowFolders_ = false;
};

TEST_F(MetadataPanelTest, OffersTheViewsOfTheKindOfSelection)
{
    // Before anything is selected.
    EXPECT_EQ(offered(), Names {"No Selection"});
    EXPECT_TRUE(dynamic_cast<MetadataFileView*>(hosted()));

    struct Case {
        Names selected;
        Names views;
        std::string shown;
    };
    const Case cases[] = {
        {{"a.jpg"}, {"Database", "File", "EXIF", "IPTC"}, "a.jpg"},
        {{"sub"}, {"Database", "File"}, "sub"},
        {{"notes.txt"}, {"Database", "File"}, "notes.txt"},
        {{"b.jpg", "a.jpg"}, {"Database", "File"}, "a.jpg"},
        {{}, {"No Selection"}, "<none>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.selected.empty() ? "nothing" : c.selected.front());
        select(c.selected);
        EXPECT_EQ(offered(), c.views);
        EXPECT_EQ(panel_->metadataListSelector()->currentIndex(), 0);
        EXPECT_EQ(shownItem(), c.shown);
        // The shown view has the provider of the first view.
        auto* view = dynamic_cast<MetadataPanelDataViewProtocol*>(hosted());
        ASSERT_TRUE(view);
        EXPECT_EQ(view->dataProvider(), provider());
    }
    // The database view edits the picture.
    select({"a.jpg"});
    EXPECT_TRUE(dynamic_cast<MetadataDatabaseView*>(hosted()));
    // Several objects show the file list in a file view.
    select({"a.jpg", "b.jpg"});
    choose("File");
    EXPECT_TRUE(dynamic_cast<MetadataFileView*>(hosted()));
    EXPECT_EQ(provider()->ufName(), "File");
}

TEST_F(MetadataPanelTest, EachKindOfSelectionKeepsTheViewLastChosen)
{
    select({"a.jpg"});
    choose("EXIF");
    auto* exif = dynamic_cast<MetadataBaseView*>(hosted());
    ASSERT_TRUE(exif);
    EXPECT_EQ(exif->dataProvider()->ufName(), "EXIF");
    EXPECT_GT(exif->metadataList()->numberOfRows(), 0);

    select({"sub"});
    EXPECT_EQ(panel_->metadataListSelector()->currentText(), "Database");
    select({"b.jpg"});
    EXPECT_EQ(panel_->metadataListSelector()->currentText(), "EXIF");
    EXPECT_EQ(hosted(), exif);
    EXPECT_EQ(shownItem(), "b.jpg");
    // The views not shown hold no provider.
    for (QWidget* view : panel_->viewsSetForType(MetadataPanel::SelectionOneOther).allViews())
        EXPECT_EQ(MetadataPanelViewsSet::findDataSubviewOfView(view)->dataProvider(), nullptr);
}

TEST_F(MetadataPanelTest, OnlyAMovedSelectionRefillsTheProvider)
{
    select({"a.jpg"});
    ASSERT_FALSE(provider()->dataCache().empty());
    const IndexSet current = selection_->selectedObjectsIndexes();
    auto notification = [&](Value info) { return Notification {BrowsingSelectionNotification, selection_, std::move(info)}; };
    auto selectionChange = [&](const IndexSet& old) {
        return Value::dictionary({{kOldSelectedObjectsIndexes, Value(IndexSetObject::create(old))}});
    };
    struct Case {
        const char* name;
        Value info;
        bool refills;
    };
    const Case cases[] = {
        {"list changed", Value::dictionary({{kObjectsChangesBitmap, Value(2)}}), false},
        {"folders changed", Value::dictionary({{kObjectsChangesBitmap, Value(4)}}), false},
        {"same indexes",
         Value::dictionary({{kObjectsChangesBitmap, Value(1)}, {BrowsingSelectionObjectsSelectionChanged, selectionChange(current)}}),
         false},
        {"other indexes",
         Value::dictionary({{kObjectsChangesBitmap, Value(1)}, {BrowsingSelectionObjectsSelectionChanged, selectionChange(IndexSet())}}),
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MetadataValue* before = provider()->dataCache().front().get();
        panel_->handleBrowsingSelectionNotifications(notification(c.info));
        ASSERT_FALSE(provider()->dataCache().empty());
        EXPECT_EQ(provider()->dataCache().front().get() != before, c.refills);
    }
}

// Rows the shown view repainted and whether it reloaded everything.
struct Repaints {
    explicit Repaints(OutlineView& list)
    {
        QObject::connect(list.model(), &QAbstractItemModel::dataChanged, &guard,
                         [this, &list](const QModelIndex& first) { rows.push_back(list.rowOfIndex(first)); });
        QObject::connect(list.model(), &QAbstractItemModel::modelReset, &guard, [this] { ++resets; });
    }
    QObject guard;
    std::vector<int> rows;
    int resets = 0;
};

TEST_F(MetadataPanelTest, AChangeMadeElsewhereReloadsOnlyItsRow)
{
    select({"a.jpg"});
    auto* view = dynamic_cast<MetadataBaseView*>(hosted());
    ASSERT_TRUE(view);
    OutlineView& list = *view->metadataList();
    Repaints repaints(list);

    // Another editor of the same item (the grid's, a second window) sets the caption.
    auto elsewhere = MetadataProvider::providerWithName("Database", MetadataProfile::databaseProfile());
    elsewhere->updateWithItems({child("a.jpg")});
    Ref<MetadataValue> caption = elsewhere->categoryItems("Caption")->children().front();
    elsewhere->setObjectValue(Value(std::string("Low tide")), MetadataProvider::ColumnValue, caption.get());

    Ref<MetadataValue> shownCaption = provider()->categoryItems("Caption")->children().front();
    ASSERT_TRUE(spinUntil([&] { return !repaints.rows.empty(); }, 5000));
    spinEvents(100);
    EXPECT_EQ(repaints.rows, std::vector<int> {list.rowForItem(shownCaption.get())});
    EXPECT_EQ(repaints.resets, 0);
    EXPECT_EQ(provider()->objectValueForColumnID(MetadataProvider::ColumnValue, shownCaption.get()).toString(), "Low tide");
}

TEST_F(MetadataPanelTest, AChangeListIsWalkedUntilAnEntryWithoutItem)
{
    Ref<FileSystemItemMO> a = child("a.jpg");
    a->setDatabaseCaption(Value(std::string("High tide")));
    a->setDatabaseAuthor(Value(std::string("A. Roe")));
    select({"a.jpg"});
    auto* view = dynamic_cast<MetadataBaseView*>(hosted());
    ASSERT_TRUE(view);
    Repaints repaints(*view->metadataList());
    a->setDatabaseCaption(Value(std::string("Low tide")));
    a->setDatabaseAuthor(Value(std::string("J. Doe")));
    auto entry = [](Ref<FileSystemItemMO> item) { return Value::dictionary({{kItemValue, Value(item)}}); };
    auto changes = [&](Value list) {
        return Notification {BrowsingSelectionNotification, selection_,
                             Value::dictionary({{kObjectsChangesBitmap, Value(0)}, {FSItemChangeNotification, std::move(list)}})};
    };

    // An entry with no item ends the walk: the picture after it is not looked at.
    panel_->handleBrowsingSelectionNotifications(changes(Value::dictionary({{"1", Value::dictionary()}, {"2", entry(a)}})));
    EXPECT_TRUE(repaints.rows.empty());
    // A sibling that is not shown, then the shown picture: its two changed rows, once each.
    panel_->handleBrowsingSelectionNotifications(changes(Value::dictionary({{"1", entry(child("b.jpg"))}, {"2", entry(a)}})));
    EXPECT_EQ(repaints.rows.size(), 2u);
    // Again: nothing changed since.
    panel_->handleBrowsingSelectionNotifications(changes(Value::dictionary({{"1", entry(a)}})));
    EXPECT_EQ(repaints.rows.size(), 2u);
    EXPECT_EQ(repaints.resets, 0);
}

} // namespace
} // namespace vistel::test
