#include "Application/Printing/PrintWindow.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QWidgetAction>

#include "Application/Application.h"
#include "Application/PreferencesController.h"
#include "Application/Printing/ManageSizesDialog.h"
#include "Application/Printing/PrintLayoutList.h"
#include "Application/Printing/PrintPreview.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/Strings/Gui/NSImageNamedImageExtended.h"
#include "Platform/Gui/Window.h"
#include "Platform/Log.h"
#include "Preferences/Preferences.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

// Items of the pop-ups carry the index of their paper; the others carry none.
constexpr int NoPaper = -1;

QString translated(const ZovClass& zovClass, const char* text, const char* selector)
{
    return QString::fromStdString(ZOV_TRANSLATE_AS(zovClass, text, selector));
}

void addCustomizeItem(QComboBox* popUp, const ZovClass& zovClass)
{
    popUp->insertSeparator(popUp->count());
    popUp->addItem(translated(zovClass, "Customize…", "fillSizes"), NoPaper);
}

} // namespace

PrintWindow::PrintWindow(QWidget* parent)
    : QMainWindow(parent)
{
    setObjectName("PrintingWindow");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(translated(staticZovClass(), "Print", "awakeFromNib"));

    auto* content = new QWidget(this);
    auto* row = new QHBoxLayout(content);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    list_ = new PrintLayoutList(content);
    list_->setFixedWidth(300);
    preview_ = new PrintPreview(content);
    row->addWidget(list_);
    row->addWidget(preview_, 1);
    setCentralWidget(content);
    preview_->setPageChangedHandler([this] { updatePageItems(); });

    documentSizes_ = new QComboBox(this);
    connect(documentSizes_, &QComboBox::activated, this, [this] { onDocumentSizeChanged(); });
    printSizes_ = new QComboBox(this);
    connect(printSizes_, &QComboBox::activated, this, [this] { onPrintSizeChanged(); });
    toolbar_ = new WindowToolbar(ToolbarIdentifier, this);
    toolbar_->setDisplayMode(1);
    toolbar_->setSizeMode(2);
    toolbar_->setAllowsUserCustomization(false);
    toolbar_->setDelegate(this);
    addToolBar(toolbar_);
    fillDocumentSizes();
    fillPrintSizes();
    updatePageItems();
    closeWithEscapeAndCloseKey(this);
    resize(900, 700);
}

PrintWindow::~PrintWindow()
{
    toolbar_->setDelegate(nullptr);
    list_->setSelectionChangedHandler({});
    preview_->setPageChangedHandler({});
}

QAction* PrintWindow::toolbarItem(const std::string& identifier) const
{
    const auto found = toolbarItems_.find(identifier);
    return found == toolbarItems_.end() ? nullptr : found->second;
}

// --- the tool bar -------------------------------------------------------------------------

std::optional<std::vector<std::string>> PrintWindow::toolbarAllowedItemIdentifiers(WindowToolbar& toolbar)
{
    return toolbarDefaultItemIdentifiers(toolbar);
}

std::optional<std::vector<std::string>> PrintWindow::toolbarDefaultItemIdentifiers(WindowToolbar& toolbar)
{
    if (toolbar.identifier() != ToolbarIdentifier)
        return std::nullopt;
    return std::vector<std::string> {PrintItemIdentifier,       DocumentSizeItemIdentifier, PrintSizeItemIdentifier,
                                     PreviousPageItemIdentifier, NextPageItemIdentifier,     PreferencesItemIdentifier,
                                     CurrentPageItemIdentifier,  RotateItemIdentifier,       CropItemIdentifier};
}

QAction* PrintWindow::toolbarItemForItemIdentifier(WindowToolbar&, const std::string& identifier, bool)
{
    if (QAction* kept = toolbarItem(identifier))
        return kept;
    const ZovClass& cls = staticZovClass();
    const char* selector = "toolbar:itemForItemIdentifier:willBeInsertedIntoToolbar:";
    QAction* item = nullptr;
    auto button = [&](const char* label, const char* tip, const char* image, auto action) {
        item = new QAction(translated(cls, label, selector), this);
        item->setToolTip(translated(cls, tip, selector));
        if (image)
            item->setIcon(QIcon(QPixmap::fromImage(NSImageNamedImageExtended::imageNamed(image, "images"))));
        connect(item, &QAction::triggered, this, action);
    };
    auto popUp = [&](QComboBox* box, const char* label) {
        box->setFixedSize(200, 32);
        auto* widgetItem = new QWidgetAction(this);
        widgetItem->setDefaultWidget(box);
        widgetItem->setText(translated(cls, label, selector));
        widgetItem->setToolTip(translated(cls, label, selector));
        item = widgetItem;
    };
    if (identifier == PrintItemIdentifier) {
        button("Print", "Print", nullptr, [this] { print(); });
    } else if (identifier == PreviousPageItemIdentifier) {
        button("Previous page", "Previous page", "Left_Arrow.png", [this] { preview_->previousPage(); });
    } else if (identifier == NextPageItemIdentifier) {
        button("Next page", "Next page", "Right_Arrow.png", [this] { preview_->nextPage(); });
    } else if (identifier == PreferencesItemIdentifier) {
        button("Options", "Show options", "tools.png", [this] { onShowPreferences(); });
    } else if (identifier == DocumentSizeItemIdentifier) {
        popUp(documentSizes_, "Document size");
    } else if (identifier == PrintSizeItemIdentifier) {
        popUp(printSizes_, "Print size");
    }
    if (item)
        toolbarItems_[identifier] = item;
    return item;
}

void PrintWindow::updatePageItems()
{
    if (QAction* previous = toolbarItem(PreviousPageItemIdentifier))
        previous->setEnabled(preview_->canGoToPreviousPage());
    if (QAction* next = toolbarItem(NextPageItemIdentifier))
        next->setEnabled(preview_->canGoToNextPage());
}

// --- pop-ups ------------------------------------------------------------------------------

void PrintWindow::fillDocumentSizes()
{
    documentSizes_->clear();
    documentPapers_ = PaperInfo::listFromArray(Preferences::sharedPreferences().valueForKey(prefs::DocumentSizes));
    for (std::size_t i = 0; i < documentPapers_.size(); ++i)
        documentSizes_->addItem(PrintSizeTexts::paperSizeStringRepresentation(documentPapers_[i]), int(i));
    addCustomizeItem(documentSizes_, staticZovClass());
}

void PrintWindow::fillPrintSizes()
{
    printSizes_->clear();
    printSizes_->addItem(translated(staticZovClass(), "Best for layout", "fillPrintSizes"), NoPaper);
    printPapers_ = PaperInfo::listFromArray(Preferences::sharedPreferences().valueForKey(prefs::PrintSizes));
    for (std::size_t i = 0; i < printPapers_.size(); ++i)
        printSizes_->addItem(PrintSizeTexts::printSizeStringRepresentation(printPapers_[i]), int(i));
    addCustomizeItem(printSizes_, staticZovClass());
}

std::optional<PaperInfo> PrintWindow::paperAt(const QComboBox* popUp, const std::vector<PaperInfo>& papers, int index)
{
    if (index < 0 || index >= popUp->count())
        return std::nullopt;
    const QVariant data = popUp->itemData(index);
    const int paper = data.isValid() ? data.toInt() : NoPaper;
    if (paper < 0 || std::size_t(paper) >= papers.size())
        return std::nullopt;
    return papers[std::size_t(paper)];
}

// --- sizes and layouts --------------------------------------------------------------------

QSizeF PrintWindow::documentSize() const { return preview_->documentSize(); }
void PrintWindow::setDocumentSize(QSizeF size) { preview_->setDocumentSize(size); }
QSizeF PrintWindow::printSize() const { return preview_->printSize(); }
void PrintWindow::setPrintSize(QSizeF size) { preview_->setPrintSize(size); }
ZOVPrintLayout* PrintWindow::currentLayout() const { return list_->currentLayout(); }

void PrintWindow::setSelectedItems(std::vector<Ref<FileSystemItemMO>> items)
{
    items_ = std::move(items);
    list_->setSelectionChangedHandler({});
    list_->loadLayoutsFromXML();
    preview_->setPicturesArray(items_);
    if (list_->layoutsCount() > 0)
        preview_->setPrintLayout(list_->layoutAtIndex(0));
    list_->setSelectionChangedHandler([this] { onPrintLayoutChanged(); });
    loadDefaults();
}

void PrintWindow::loadDefaults()
{
    Preferences& preferences = Preferences::sharedPreferences();
    const std::string paperName = preferences.stringForKey(prefs::DefaultPaperName);
    const QSizeF printSize = SizeExtensions::loadFromDictionary(preferences.valueForKey(prefs::DefaultPrintSize));
    const std::string caption = preferences.stringForKey(prefs::DefaultLayoutName);
    if (!paperName.empty())
        for (int i = 0; i < documentSizes_->count(); ++i)
            if (const std::optional<PaperInfo> paper = paperAt(documentSizes_, documentPapers_, i);
                paper && paper->paperName == paperName) {
                documentSizes_->setCurrentIndex(i);
                break;
            }
    if (!caption.empty())
        for (std::size_t i = 0; i < list_->layoutsCount(); ++i)
            if (list_->layoutAtIndex(i)->layoutCaption() == caption) {
                list_->setCurrentLayoutIndex(i);
                break;
            }
    if (printSize.width() != 0 && printSize.height() != 0)
        for (int i = 0; i < printSizes_->count(); ++i)
            if (const std::optional<PaperInfo> paper = paperAt(printSizes_, printPapers_, i);
                paper && SizeExtensions::asFloats(paper->paperSize) == printSize) {
                printSizes_->setCurrentIndex(i);
                break;
            }
    onDocumentSizeChanged();
    onPrintSizeChanged();
}

void PrintWindow::customizeSizes(int type)
{
    if (customizing_)
        return;
    customizing_ = true;
    {
        ManageSizesDialog dialog(this);
        dialog.loadSizesToList(type);
    }
    customizing_ = false;
    if (type == 0)
        fillDocumentSizes();
    else
        fillPrintSizes();
    loadDefaults();
}

void PrintWindow::onDocumentSizeChanged()
{
    const int index = documentSizes_->currentIndex();
    const std::optional<PaperInfo> paper = paperAt(documentSizes_, documentPapers_, index);
    if (!paper && index == documentSizes_->count() - 1) {
        customizeSizes(0);
        return;
    }
    preview_->setDocumentSize(paper ? paper->paperSize : QSizeF(0, 0));
    if (paper)
        Preferences::sharedPreferences().setValue(Value(paper->paperName), prefs::DefaultPaperName);
    loadPerfectPrintSize();
}

void PrintWindow::loadPerfectPrintSize()
{
    ZOVPrintLayout* layout = list_->currentLayout();
    if (layout && !layout->isPictureSizeSupported(preview_->printSize(), preview_->documentSize())) {
        preview_->setPrintSize(QSizeF(0, 0));
        printSizes_->setCurrentIndex(0);
    }
}

void PrintWindow::onPrintSizeChanged()
{
    const int index = printSizes_->currentIndex();
    const std::optional<PaperInfo> paper = paperAt(printSizes_, printPapers_, index);
    if (!paper && index == printSizes_->count() - 1) {
        customizeSizes(1);
        return;
    }
    preview_->setPrintSize(paper ? paper->paperSize : QSizeF(0, 0));
    // The nearest layout at or before the current one that holds the size, else the first after it.
    const QSizeF printSize = preview_->printSize();
    const QSizeF documentSize = preview_->documentSize();
    const int current = list_->currentLayoutIndex();
    auto holds = [&](int i) { return list_->layoutAtIndex(std::size_t(i))->isPictureSizeSupported(printSize, documentSize); };
    std::optional<int> chosen;
    for (int i = current; i >= 0 && !chosen; --i)
        if (holds(i))
            chosen = i;
    for (int i = current + 1; i < int(list_->layoutsCount()) && !chosen; ++i)
        if (holds(i))
            chosen = i;
    if (chosen && *chosen != current)
        list_->setCurrentLayoutIndex(std::size_t(*chosen));
    Preferences::sharedPreferences().setValue(SizeExtensions::serrializeToDictionary(preview_->printSize()),
                                              prefs::DefaultPrintSize);
}

void PrintWindow::onPrintLayoutChanged()
{
    const int row = list_->selectedRow();
    if (row < 0 || std::size_t(row) >= list_->layoutsCount()) {
        ZovLog("PrintWindow::onPrintLayoutChanged printLayoutList index out of bounds");
        return;
    }
    ZOVPrintLayout* layout = list_->currentLayout();
    preview_->setPrintLayout(layout);
    preview_->setPicturesArray(items_);
    loadPerfectPrintSize();
    Preferences::sharedPreferences().setValue(Value(layout->layoutCaption().value_or("")), prefs::DefaultLayoutName);
}

void PrintWindow::onShowPreferences()
{
    Application* application = Application::instance();
    if (!application)
        return;
    application->showPreferences();
    application->preferencesController().setCurrentPaneKey(PrintPaneKey);
}

void PrintWindow::print() { preview_->print(this); }

} // namespace vistel
