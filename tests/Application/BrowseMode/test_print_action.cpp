// File ▸ Print… (Ctrl+P) in the browse mode: the items view validates "printPictures:" with its
// selection (pictures only) and performing it opens the print window on the selected pictures
// with the remembered layout and paper.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QMenuBar>

#include "../ShellTestSupport.h"
#include "Application/BrowseMode/BrowsingUAHandler.h"
#include "Application/BrowseMode/DetailsViewControl.h"
#include "Application/MainMenu.h"
#include "Application/Printing/PrintLayoutList.h"
#include "Application/Printing/PrintPreview.h"
#include "Application/Printing/PrintWindow.h"
#include "ItemsTestSupport.h"
#include "Preferences/Preferences.h"

namespace vistel::test {
namespace {

const bool privateFolders = usePrivateShellFolders();

class PrintActionTest : public ItemsCatalogueTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(privateFolders);
        ItemsCatalogueTest::SetUp();
        pictures_ = folder(root_, "pictures", {"p1.jpg", "p2.jpg", "p3.jpg", "p4.jpg", "p5.jpg"});
        inner_ = folder(pictures_, "inner", {});
        damaged_ = file(pictures_, "damaged.jpg");
        damaged_->setDecodable(false);
        handler_ = BrowsingUAHandler::create(nullptr);
        control_ = std::make_unique<DetailsViewControl>();
        control_->setBrowsingControlUserActionsDelegate(handler_.get());
        control_->setIsViewActive(true);
        control_->setBrowsingSelection(selection_.get());
        selection_->setSelectedFolders({pictures_});
        Preferences& preferences = Preferences::sharedPreferences();
        preferences.setValue(Value("US Letter"), prefs::DefaultPaperName);
        preferences.setValue(Value("4-up"), prefs::DefaultLayoutName);
    }
    void TearDown() override
    {
        delete handler_->printWindow();
        control_.reset();
        handler_ = nullptr;
        ItemsCatalogueTest::TearDown();
    }
    // Selects the listed items with these names.
    void select(const std::vector<std::string>& wanted)
    {
        IndexSet indexes;
        const ItemList shown = selection_->foldersObjects();
        for (std::size_t i = 0; i < shown.size(); ++i)
            if (std::find(wanted.begin(), wanted.end(), shown[i]->name()) != wanted.end())
                indexes.addIndex(i);
        ASSERT_EQ(indexes.count(), wanted.size());
        selection_->setSelectedObjectsIndexes(indexes);
    }

    Ref<FileSystemItemMO> pictures_, damaged_, inner_;
    Ref<BrowsingUAHandler> handler_;
    std::unique_ptr<DetailsViewControl> control_;
};

TEST_F(PrintActionTest, PrintIsOfferedForPicturesOnlyAndOpensTheWindowOnTheRememberedChoices)
{
    // The main window's File menu sends printPictures: for Print… and Ctrl+P.
    QMenuBar bar;
    MainMenu::install(&bar, MainMenu::WindowKind::Main);
    ActionItem* print = nullptr;
    for (QAction* top : bar.actions())
        for (QAction* action : top->menu() ? top->menu()->actions() : QList<QAction*>())
            if (action->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_P))
                print = dynamic_cast<ActionItem*>(action);
    ASSERT_NE(print, nullptr);
    EXPECT_EQ(print->action(), "printPictures:");
    EXPECT_EQ(print->text().toStdString(), "Print…");
    ASSERT_TRUE(control_->respondsToAction("printPictures:"));

    const std::vector<std::string> five {"p1.jpg", "p2.jpg", "p3.jpg", "p4.jpg", "p5.jpg"};
    // The items view validates with its selection.
    select(five);
    EXPECT_TRUE(control_->validateUserInterfaceItem(static_cast<QObject*>(print)));
    select({});
    EXPECT_FALSE(control_->validateUserInterfaceItem(static_cast<QObject*>(print)));
    // A folder or a file that is no picture in the selection.
    const Ref<Object> p1(pictures_->childWithName("p1.jpg"));
    const BrowsingUAHandler::Items withFolder {p1, Ref<Object>(inner_)};
    const BrowsingUAHandler::Items withDamaged {p1, Ref<Object>(damaged_)};
    const BrowsingUAHandler::Items alone {p1};
    EXPECT_FALSE(handler_->validateUserAction("printPictures:", nullptr, &withFolder, nullptr, nullptr));
    EXPECT_FALSE(handler_->validateUserAction("printPictures:", nullptr, &withDamaged, nullptr, nullptr));
    EXPECT_TRUE(handler_->validateUserAction("printPictures:", nullptr, &alone, nullptr, nullptr));

    select(five);
    EXPECT_TRUE(control_->performAction("printPictures:", print));
    PrintWindow* window = handler_->printWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->objectName().toStdString(), "PrintingWindow");
    ASSERT_EQ(window->items().size(), 5u);
    EXPECT_EQ(window->items()[0]->name(), "p1.jpg");
    EXPECT_EQ(window->currentLayout()->layoutCaption(), "4-up");
    EXPECT_EQ(window->documentSize(), QSizeF(8.5f, 11.0f));
    EXPECT_EQ(window->printPreview()->pageCount(), 2);
    // Previous and Next page move through the two pages and stop at the ends.
    QAction* previous = window->toolbarItem(PrintWindow::PreviousPageItemIdentifier);
    QAction* next = window->toolbarItem(PrintWindow::NextPageItemIdentifier);
    EXPECT_FALSE(previous->isEnabled());
    ASSERT_TRUE(next->isEnabled());
    next->trigger();
    EXPECT_EQ(window->printPreview()->currentPage(), 1);
    EXPECT_TRUE(previous->isEnabled());
    EXPECT_FALSE(next->isEnabled());
    previous->trigger();
    EXPECT_EQ(window->printPreview()->currentPage(), 0);
    // Closing the window lets the handler forget it.
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(handler_->printWindow(), nullptr);
}

} // namespace
} // namespace vistel::test
