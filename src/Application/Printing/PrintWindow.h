#pragma once
// PrintWindow ("PrintingWindow", built in code): prints the pictures chosen in the browse mode
// on a page layout.
//
// The layout list (PrintLayoutList) on the left, the page preview (PrintPreview) on the right,
// and a tool bar ("PrintWindowToolbarIdentifier", icons and labels, small, not customisable):
// Print, the paper ("Document size") and picture ("Print size") pop-ups, Previous page, Next
// page and Options (the preferences' Print pane). Each pop-up ends with "Customize…", which runs
// the sizes dialog (ManageSizesDialog) and then fills the pop-up again.
//
// The last paper, print size and layout chosen are remembered in the preferences and chosen
// again by the next window. Choosing a print size that the current layout cannot hold without
// overlap moves to the nearest earlier layout that can (else the first later one); choosing a
// paper or a layout on which the print size no longer fits goes back to "Best for layout".
// Sizes are 32-bit floats and compared as such.
//
// Thread rules: main thread only.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include <QMainWindow>

#include "Application/Printing/PaperInfo.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Platform/Gui/WindowToolbar.h"
#include "Platform/Object.h"
#include "ZovClass.h"

class QComboBox;

namespace vistel {

class PrintLayoutList;
class PrintPreview;
class ZOVPrintLayout;

class PrintWindow : public QMainWindow, public WindowToolbarDelegate {
public:
    ZOV_ROOT_CLASS(PrintWindow)
    static constexpr const char* ToolbarIdentifier = "PrintWindowToolbarIdentifier";
    static constexpr const char* PrintItemIdentifier = "PrintWindowPrintToolbarIdentifier";
    static constexpr const char* DocumentSizeItemIdentifier = "PrintWindowDocumentSizeToolbarIdentifier";
    static constexpr const char* PrintSizeItemIdentifier = "PrintWindowPrintSizeToolbarIdentifier";
    static constexpr const char* PreviousPageItemIdentifier = "PrintWindowPreviousPageToolbarIdentifier";
    static constexpr const char* NextPageItemIdentifier = "PrintWindowNextPageToolbarIdentifier";
    static constexpr const char* PreferencesItemIdentifier = "PrintWindowPreferencesToolbarIdentifier";
    static constexpr const char* CurrentPageItemIdentifier = "PrintWindowCurrentPageToolbarIdentifier";
    static constexpr const char* RotateItemIdentifier = "PrintWindowDrawAttributesRotateToolbarIdentifier";
    static constexpr const char* CropItemIdentifier = "PrintWindowDrawAttributesCropToolbarIdentifier";
    // The preferences pane "Options" shows.
    static constexpr const char* PrintPaneKey = "Vistel::General::Print";

    explicit PrintWindow(QWidget* parent = nullptr);
    ~PrintWindow() override;

    // Hands over the pictures: loads the layouts and chooses the remembered paper, print size
    // and layout.
    void setSelectedItems(std::vector<Ref<FileSystemItemMO>> items);
    const std::vector<Ref<FileSystemItemMO>>& items() const { return items_; }

    PrintLayoutList* printLayoutList() const { return list_; }
    PrintPreview* printPreview() const { return preview_; }
    QComboBox* documentSizePopUp() const { return documentSizes_; }
    QComboBox* printSizePopUp() const { return printSizes_; }
    WindowToolbar* toolbar() const { return toolbar_; }
    QAction* toolbarItem(const std::string& identifier) const;

    QSizeF documentSize() const;
    void setDocumentSize(QSizeF size);
    QSizeF printSize() const;
    void setPrintSize(QSizeF size);
    ZOVPrintLayout* currentLayout() const;

    // Actions.
    void print();
    void onDocumentSizeChanged();
    void onPrintSizeChanged();
    void onPrintLayoutChanged();
    void onShowPreferences();

    // The pop-ups' contents from the preferences.
    void fillDocumentSizes();
    void fillPrintSizes();
    void loadDefaults();
    // Back to "Best for layout" when the current layout cannot hold the print size.
    void loadPerfectPrintSize();

    // Tool bar delegate.
    std::optional<std::vector<std::string>> toolbarAllowedItemIdentifiers(WindowToolbar& toolbar) override;
    std::optional<std::vector<std::string>> toolbarDefaultItemIdentifiers(WindowToolbar& toolbar) override;
    QAction* toolbarItemForItemIdentifier(WindowToolbar& toolbar, const std::string& identifier,
                                          bool willBeInsertedIntoToolbar) override;

private:
    // The paper an item of a pop-up carries (none for "Best for layout", separators, "Customize…").
    static std::optional<PaperInfo> paperAt(const QComboBox* popUp, const std::vector<PaperInfo>& papers, int index);
    // Runs the sizes dialog on list `type` and fills that pop-up again.
    void customizeSizes(int type);
    void updatePageItems();

    PrintLayoutList* list_ = nullptr;
    PrintPreview* preview_ = nullptr;
    QComboBox* documentSizes_ = nullptr;
    QComboBox* printSizes_ = nullptr;
    WindowToolbar* toolbar_ = nullptr;
    std::vector<PaperInfo> documentPapers_;
    std::vector<PaperInfo> printPapers_;
    std::vector<Ref<FileSystemItemMO>> items_;
    std::map<std::string, QAction*> toolbarItems_;
    bool customizing_ = false;
};

} // namespace vistel
