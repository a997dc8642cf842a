#include "Application/Printing/PrintLayoutList.h"

#include <QHeaderView>

#include "Common/Strings/Gui/NSImageNamedImageExtended.h"
#include "Platform/Bundle.h"
#include "Platform/Log.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

std::string& pathOverride()
{
    static std::string path;
    return path;
}

} // namespace

PrintLayoutList::PrintLayoutList(QWidget* parent)
    : TableView(parent)
{
    ZOVPrintLayout::registerWrapperClass();
    setTableDataSource(this);
    setTableDelegate(this);
    setRowHeight(65);
    setSelectionMode(QAbstractItemView::SingleSelection);
}

PrintLayoutList::~PrintLayoutList()
{
    setTableDataSource(nullptr);
    setTableDelegate(nullptr);
}

void PrintLayoutList::setLayoutsPathOverride(std::string path) { pathOverride() = std::move(path); }

std::string PrintLayoutList::layoutsPath()
{
    if (!pathOverride().empty())
        return pathOverride();
    const Ref<Bundle> bundle = Bundle::main();
    return bundle ? bundle->pathForResource("VistelPrintLayouts", "xml") : std::string();
}

int PrintLayoutList::loadLayoutsFromXML()
{
    layouts_.clear();
    validLayouts_.clear();
    const std::string path = layoutsPath();
    int result = XMLResult::Done;
    if (path.empty()) {
        ZovLog("PrintLayoutList::loadLayoutsFromXML invalid file path " + path);
        result = XMLResult::BadPath;
    } else if (document_.ReadXMLFile(path) != XMLResult::Done) {
        ZovLog("PrintLayoutList::loadLayoutsFromXML can't open file path " + path);
        result = XMLResult::NotParseable;
    } else if (const Ref<XMLNodeEnumerator> layouts = document_.getXMLNodeEnumerator(XMLNodeType::PrintLayout)) {
        while (const Ref<XMLNode> node = layouts->nextObject())
            if (auto* layout = dynamic_cast<ZOVPrintLayout*>(node.get()))
                layouts_.push_back(Ref<ZOVPrintLayout>(layout));
    }
    validLayouts_ = layouts_;

    while (!tableColumns().empty())
        removeTableColumn(*tableColumns().front());
    auto column = std::make_unique<TableColumn>(ColumnIdentifier);
    column->setMinWidth(100);
    column->setWidth(std::max(100, width() - 4));
    column->setTitle(QString::fromStdString(ZOV_TRANSLATE("Print layout", "loadLayoutsFromXML")));
    column->setEditable(false);
    column->setDataCell(std::make_unique<ImageAndTextCellLayouts>());
    addTableColumn(std::move(column));
    header()->setStretchLastSection(true);
    setRowHeight(65);
    reloadData();
    return result;
}

ZOVPrintLayout* PrintLayoutList::layoutAtIndex(std::size_t index) const
{
    return index < validLayouts_.size() ? validLayouts_[index].get() : nullptr;
}

int PrintLayoutList::currentLayoutIndex()
{
    if (selectedRow() < 0 && numberOfRows() > 0)
        selectRowIndexes({0}, false);
    return selectedRow();
}

void PrintLayoutList::setCurrentLayoutIndex(std::size_t index)
{
    if (index >= layoutsCount()) {
        ZovLog("PrintLayoutList::setCurrentLayoutIndex invalid layout index " + std::to_string(index));
        return;
    }
    selectRowIndexes({int(index)}, false);
    scrollTo(indexOfRow(int(index)));
}

ZOVPrintLayout* PrintLayoutList::currentLayout()
{
    const int index = currentLayoutIndex();
    return index >= 0 ? layoutAtIndex(std::size_t(index)) : nullptr;
}

void PrintLayoutList::loadLayoutsForPrintSize(QSizeF printSize, QSizeF documentSize)
{
    validLayouts_.clear();
    for (const Ref<ZOVPrintLayout>& layout : layouts_)
        if (printSize.width() == 0 || printSize.height() == 0 || layout->isPictureSizeSupported(printSize, documentSize))
            validLayouts_.push_back(layout);
    reloadData();
}

std::optional<Value> PrintLayoutList::objectValue(TableView&, TableColumn*, long row)
{
    const ZOVPrintLayout* layout = row >= 0 ? layoutAtIndex(std::size_t(row)) : nullptr;
    if (!layout)
        return Value();
    return Value(layout->layoutCaption().value_or(""));
}

bool PrintLayoutList::willDisplayCell(TableView&, Cell& cell, TableColumn* column, long row)
{
    auto* layoutCell = dynamic_cast<ImageAndTextCellLayouts*>(&cell);
    const ZOVPrintLayout* layout = row >= 0 ? layoutAtIndex(std::size_t(row)) : nullptr;
    if (!layoutCell || !column || column->identifier() != ColumnIdentifier || !layout)
        return false;
    const std::string icon = layout->layoutIcon().value_or("");
    layoutCell->setImage(icon.empty() ? QImage() : NSImageNamedImageExtended::imageNamed(icon, "images/printing"));
    layoutCell->setSubTitle(QString::fromStdString(layout->layoutDescription().value_or("")));
    return true;
}

bool PrintLayoutList::selectionDidChange(const Notification&)
{
    if (selectionChanged_)
        selectionChanged_();
    return true;
}

} // namespace vistel
