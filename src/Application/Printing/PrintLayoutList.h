#pragma once
// PrintLayoutList: the print window's one-column list of layouts (a TableView that is its own
// data source and delegate). Each row shows the layout's icon ("images/printing"), caption and
// description in an ImageAndTextCell, 65 pixels high.
//
// The layouts come from the resource "VistelPrintLayouts.xml" (or a file given for tests),
// enumerated by the XML layer's print-layout node type, which yields "layout" elements only.
// layoutsArray() are the layouts shown: all of them, or after loadLayoutsForPrintSize those
// that hold the print size.
//
// Thread rules: main thread only.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Application/Printing/PrintLayout.h"
#include "Common/XML/XMLFrameManager.h"
#include "Common/Views/ImageAndTextCell.h"
#include "Platform/Gui/OutlineView.h"
#include "ZovClass.h"

namespace vistel {

// The layout list's cell; the shared source-list cell drawing its background.
class ImageAndTextCellLayouts : public ImageAndTextCell {
public:
    std::unique_ptr<Cell> clone() const override { return std::make_unique<ImageAndTextCellLayouts>(*this); }
};

class PrintLayoutList : public TableView, public TableViewDataSource, public TableViewDelegate {
public:
    ZOV_ROOT_CLASS(PrintLayoutList)
    static constexpr const char* ColumnIdentifier = "PrintLayoutColumnIdentifier";

    explicit PrintLayoutList(QWidget* parent = nullptr);
    ~PrintLayoutList() override;

    // The file the layouts are read from: the bundle's "VistelPrintLayouts.xml" unless set.
    static void setLayoutsPathOverride(std::string path);
    static std::string layoutsPath();

    // 0 loaded; 2 no file path; 3 the file cannot be parsed (the list is empty then).
    int loadLayoutsFromXML();
    const std::vector<Ref<ZOVPrintLayout>>& allLayouts() const { return layouts_; }
    const std::vector<Ref<ZOVPrintLayout>>& layoutsArray() const { return validLayouts_; }
    std::size_t layoutsCount() const { return validLayouts_.size(); }
    ZOVPrintLayout* layoutAtIndex(std::size_t index) const;
    // The selected row; with none, row 0 is selected first (when there are rows). -1: no rows.
    int currentLayoutIndex();
    void setCurrentLayoutIndex(std::size_t index);
    ZOVPrintLayout* currentLayout();
    // Shows the layouts that hold `printSize` on `documentSize` (all for a zero side).
    void loadLayoutsForPrintSize(QSizeF printSize, QSizeF documentSize);

    // Called when the selected row changes.
    void setSelectionChangedHandler(std::function<void()> handler) { selectionChanged_ = std::move(handler); }

    // Data source and delegate.
    std::optional<long> numberOfRowsInTableView(TableView&) override { return long(validLayouts_.size()); }
    std::optional<Value> objectValue(TableView&, TableColumn*, long row) override;
    bool willDisplayCell(TableView&, Cell& cell, TableColumn* column, long row) override;
    bool selectionDidChange(const Notification&) override;

private:
    XMLFrameManager document_;
    std::vector<Ref<ZOVPrintLayout>> layouts_;
    std::vector<Ref<ZOVPrintLayout>> validLayouts_;
    std::function<void()> selectionChanged_;
};

} // namespace vistel
