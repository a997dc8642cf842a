// The print window offscreen: its pop-ups' texts in millimetres, inches and another locale, how
// a print size and a paper move the layout and the print size, what a new window restores, the
// Options item, and the sizes dialog ("Customize…") editing both lists.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QLocale>

#include "../ShellTestSupport.h"
#include "Application/Application.h"
#include "Application/PreferencesController.h"
#include "Application/Printing/ManageSizesDialog.h"
#include "Application/Printing/PrintLayoutList.h"
#include "Application/Printing/PrintPreview.h"
#include "Application/Printing/PrintWindow.h"
#include "Preferences/Preferences.h"

namespace vistel::test {
namespace {

const bool privateFolders = usePrivateShellFolders();
const std::string fixture = std::string(VISTEL_TEST_DATA_DIR) + "/layouts.xml";

// Fixture layouts, in order.
enum { TwoUpright, OneSlot, Touching, Landscape };
// Items of the print size pop-up: 0 "Best for layout", then the built-in sizes.
enum { BestForLayout = 0, Print88x127 = 2, Print127x177 = 4 };

int indexOfText(const QComboBox* popUp, const QString& text) { return popUp->findText(text); }

class PrintWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(privateFolders);
        Preferences& preferences = Preferences::sharedPreferences();
        preferences.setValue(Value(false), prefs::MeasurementInInches);
        preferences.setValue(Value("A4"), prefs::DefaultPaperName);
        preferences.setValue(Value(), prefs::DefaultPrintSize);
        preferences.setValue(Value(), prefs::DefaultLayoutName);
        preferences.setValue(PrintSizeLists::predefindedDocumentSizes(), prefs::DocumentSizes);
        preferences.setValue(PrintSizeLists::predefindedPrintSizes(), prefs::PrintSizes);
        PrintLayoutList::setLayoutsPathOverride(fixture);
    }
    void TearDown() override
    {
        ManageSizesDialog::setResponder({});
        PrintLayoutList::setLayoutsPathOverride({});
        QLocale::setDefault(QLocale::c());
    }
    std::unique_ptr<PrintWindow> openWindow()
    {
        auto window = std::make_unique<PrintWindow>();
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->setSelectedItems({});
        return window;
    }
    // Chooses an item of a pop-up as the user does.
    static void choose(QComboBox* popUp, int index)
    {
        popUp->setCurrentIndex(index);
        emit popUp->activated(index);
    }
    static QSizeF stored(const char* key) { return SizeExtensions::loadFromDictionary(Preferences::sharedPreferences().valueForKey(key)); }
};

TEST_F(PrintWindowTest, PaperTitlesFollowTheMeasurementAndTheLocale)
{
    struct Case {
        bool inches;
        const char* locale;
        const char* a4;
        const char* print;
    } cases[] = {
        {false, "C", "A4 (210.8mm x 297.2mm)", "88.0mm x 127.0mm"},
        {true, "C", "A4 (8.3\" x 11.7\")", "3.5\" x 5.0\""},
        {false, "de_DE", "A4 (210,8mm x 297,2mm)", "88,0mm x 127,0mm"},
    };
    for (const Case& c : cases) {
        QLocale::setDefault(QLocale(c.locale));
        Preferences::sharedPreferences().setValue(Value(c.inches), prefs::MeasurementInInches);
        const std::unique_ptr<PrintWindow> window = openWindow();
        EXPECT_EQ(window->documentSizePopUp()->itemText(1).toStdString(), c.a4);
        EXPECT_EQ(window->documentSizePopUp()->currentText().toStdString(), c.a4); // the remembered paper
        EXPECT_EQ(window->printSizePopUp()->itemText(Print88x127).toStdString(), c.print);
        EXPECT_EQ(window->printSizePopUp()->itemText(BestForLayout).toStdString(), "Best for layout");
        EXPECT_EQ(window->documentSizePopUp()->itemText(window->documentSizePopUp()->count() - 1).toStdString(), "Customize…");
    }
}

TEST_F(PrintWindowTest, APrintSizeTheLayoutCannotHoldMovesToTheNearestEarlierLayoutThatCan)
{
    const std::unique_ptr<PrintWindow> window = openWindow();
    PrintLayoutList* list = window->printLayoutList();
    ASSERT_EQ(list->layoutsCount(), 4u);
    list->setCurrentLayoutIndex(Touching);
    choose(window->printSizePopUp(), Print127x177);
    EXPECT_EQ(list->currentLayoutIndex(), OneSlot);
    EXPECT_EQ(window->printPreview()->printLayout(), list->layoutAtIndex(OneSlot));
    EXPECT_EQ(window->printSize(), QSizeF(5.0f, 6.96849f));
    EXPECT_EQ(stored(prefs::DefaultPrintSize), QSizeF(5.0f, 6.96849f));
    // None at or before the first: the first later layout that holds it.
    list->setCurrentLayoutIndex(TwoUpright);
    EXPECT_EQ(window->printSizePopUp()->currentIndex(), BestForLayout); // the layout could not hold it
    choose(window->printSizePopUp(), Print127x177);
    EXPECT_EQ(list->currentLayoutIndex(), OneSlot);
    EXPECT_EQ(Preferences::sharedPreferences().stringForKey(prefs::DefaultLayoutName), "One slot");
}

TEST_F(PrintWindowTest, APaperOnWhichTheSizeNoLongerFitsGoesBackToBestForLayout)
{
    const std::unique_ptr<PrintWindow> window = openWindow();
    window->printLayoutList()->setCurrentLayoutIndex(TwoUpright);
    choose(window->printSizePopUp(), Print88x127); // 3.46 in wide, centres 3.51 in apart on A4
    EXPECT_EQ(window->printLayoutList()->currentLayoutIndex(), TwoUpright);
    EXPECT_EQ(window->printSizePopUp()->currentIndex(), Print88x127);
    choose(window->documentSizePopUp(), indexOfText(window->documentSizePopUp(), "A6 (104.1mm x 147.3mm)"));
    EXPECT_EQ(window->documentSize(), QSizeF(4.1f, 5.8f));
    EXPECT_EQ(window->printSizePopUp()->currentIndex(), BestForLayout);
    EXPECT_EQ(window->printSize(), QSizeF(0, 0));
    EXPECT_EQ(Preferences::sharedPreferences().stringForKey(prefs::DefaultPaperName), "A6");
}

TEST_F(PrintWindowTest, ANewWindowRestoresPaperPrintSizeAndLayout)
{
    {
        const std::unique_ptr<PrintWindow> window = openWindow();
        choose(window->documentSizePopUp(), indexOfText(window->documentSizePopUp(), "US Letter (215.9mm x 279.4mm)"));
        window->printLayoutList()->setCurrentLayoutIndex(Landscape);
        choose(window->printSizePopUp(), Print88x127);
        ASSERT_EQ(window->printLayoutList()->currentLayoutIndex(), Landscape);
    }
    const std::unique_ptr<PrintWindow> window = openWindow();
    EXPECT_EQ(window->documentSizePopUp()->currentText().toStdString(), "US Letter (215.9mm x 279.4mm)");
    EXPECT_EQ(window->documentSize(), QSizeF(8.5f, 11.0f));
    EXPECT_EQ(window->printSizePopUp()->currentIndex(), Print88x127);
    EXPECT_EQ(window->printSize(), QSizeF(3.46456f, 5.0f));
    EXPECT_EQ(window->printLayoutList()->currentLayoutIndex(), Landscape);
    // A remembered paper that no longer exists leaves the pop-up as it is.
    Preferences::sharedPreferences().setValue(Value("Gone"), prefs::DefaultPaperName);
    const std::unique_ptr<PrintWindow> another = openWindow();
    EXPECT_EQ(another->documentSizePopUp()->currentIndex(), 0);
}

TEST_F(PrintWindowTest, PreviousAndNextPageStopAtTheEnds)
{
    const std::unique_ptr<PrintWindow> window = openWindow();
    PrintPreview* preview = window->printPreview();
    QAction* previous = window->toolbarItem(PrintWindow::PreviousPageItemIdentifier);
    QAction* next = window->toolbarItem(PrintWindow::NextPageItemIdentifier);
    ASSERT_TRUE(previous && next);
    EXPECT_EQ(preview->pageCount(), 1);
    EXPECT_FALSE(previous->isEnabled());
    EXPECT_FALSE(next->isEnabled());
    EXPECT_NE(window->toolbarItem(PrintWindow::PrintItemIdentifier), nullptr);
    EXPECT_EQ(window->toolbarItem(PrintWindow::CropItemIdentifier), nullptr);
}

TEST_F(PrintWindowTest, OptionsShowsThePrintPaneOfThePreferences)
{
    Application application;
    const std::unique_ptr<PrintWindow> window = openWindow();
    window->toolbarItem(PrintWindow::PreferencesItemIdentifier)->trigger();
    EXPECT_EQ(application.preferencesController().currentPaneKey(), PrintWindow::PrintPaneKey);
    ASSERT_NE(application.preferencesController().window(), nullptr);
    EXPECT_TRUE(application.preferencesController().window()->isVisible());
}

// --- the sizes dialog --------------------------------------------------------------------------

TEST_F(PrintWindowTest, TypedMillimetresAreStoredAsInches)
{
    ManageSizesDialog::setResponder([](ManageSizesDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle().toStdString(), "Document size");
        EXPECT_EQ(dialog.widthTextBox()->text().toStdString(), "297.18"); // A3, 11.7 in
        dialog.widthTextBox()->setText("210");
        dialog.textDidChange(dialog.widthTextBox());
        EXPECT_TRUE(dialog.isChanged());
        dialog.onOK();
        return dialog.result();
    });
    ManageSizesDialog dialog;
    EXPECT_EQ(dialog.loadSizesToList(0), 1);
    const std::vector<PaperInfo> papers =
        PaperInfo::listFromArray(Preferences::sharedPreferences().valueForKey(prefs::DocumentSizes));
    ASSERT_FALSE(papers.empty());
    EXPECT_EQ(float(papers[0].paperSize.width()), 8.267716f);
    EXPECT_EQ(float(papers[0].paperSize.height()), 16.5f);
    EXPECT_EQ(papers[0].paperName, "A3");
}

TEST_F(PrintWindowTest, RemovingEverySizeThenOKStoresAnEmptyList)
{
    ManageSizesDialog::setResponder([](ManageSizesDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle().toStdString(), "Print size");
        EXPECT_TRUE(dialog.nameTextBox()->isHidden());
        while (dialog.sizesCount() > 0) {
            const std::size_t before = dialog.sizesCount();
            dialog.onManageSizesList(ManageSizesDialog::Remove);
            if (dialog.sizesCount() == before)
                break; // nothing selected any more
        }
        EXPECT_EQ(dialog.sizesCount(), 0u);
        EXPECT_EQ(dialog.currentInfo(), nullptr);
        dialog.onOK();
        return dialog.result();
    });
    ManageSizesDialog dialog;
    dialog.loadSizesToList(1);
    const Value stored = Preferences::sharedPreferences().valueForKey(prefs::PrintSizes);
    EXPECT_TRUE(stored.isArray());
    EXPECT_EQ(stored.size(), 0u);
}

TEST_F(PrintWindowTest, DuplicateNamesTheCopyAndCancelStoresNothing)
{
    ManageSizesDialog::setResponder([](ManageSizesDialog& dialog) {
        dialog.onManageSizesList(ManageSizesDialog::Duplicate);
        EXPECT_EQ(dialog.sizesArray().back().paperName, "A3 copy");
        EXPECT_EQ(dialog.sizesArray().back().paperSize, QSizeF(11.7f, 16.5f));
        EXPECT_EQ(dialog.currentInfo(), &dialog.sizesArray().back());
        dialog.onManageSizesList(ManageSizesDialog::Add);
        EXPECT_EQ(dialog.sizesArray().back().paperName, "Noname");
        dialog.onCancel();
        return dialog.result();
    });
    ManageSizesDialog dialog;
    EXPECT_EQ(dialog.loadSizesToList(0), 0);
    EXPECT_EQ(Preferences::sharedPreferences().valueForKey(prefs::DocumentSizes).size(), 16u);
}

TEST_F(PrintWindowTest, CustomizeRefillsThePopUpWhetherConfirmedOrCancelled)
{
    const std::unique_ptr<PrintWindow> window = openWindow();
    QComboBox* papers = window->documentSizePopUp();
    const int count = papers->count();
    for (bool confirm : {false, true}) {
        ManageSizesDialog::setResponder([confirm](ManageSizesDialog& dialog) {
            dialog.onManageSizesList(ManageSizesDialog::Add);
            dialog.nameTextBox()->setText("Postcard");
            dialog.textDidChange(dialog.nameTextBox());
            dialog.widthTextBox()->setText("100");
            dialog.textDidChange(dialog.widthTextBox());
            dialog.heightTextBox()->setText("150");
            dialog.textDidChange(dialog.heightTextBox());
            confirm ? dialog.onOK() : dialog.onCancel();
            return dialog.result();
        });
        choose(papers, papers->count() - 1);
        EXPECT_EQ(papers->count(), confirm ? count + 1 : count);
        EXPECT_EQ(papers->currentText().toStdString(), "A4 (210.8mm x 297.2mm)"); // the remembered paper again
        EXPECT_EQ(window->documentSize(), QSizeF(8.3f, 11.7f));
    }
    EXPECT_GE(indexOfText(papers, "Postcard (100.0mm x 150.0mm)"), 0);
}

} // namespace
} // namespace vistel::test
