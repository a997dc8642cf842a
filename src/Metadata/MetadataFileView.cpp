#include "Metadata/MetadataFileView.h"

#include <QVBoxLayout>

namespace vistel {

namespace {

constexpr int ExtendedAttributesNameWidth = 140;

} // namespace

MetadataFileView::MetadataFileView(const QRect& frame, int firstColumnWidth, QWidget* parent)
    : MetadataBaseView(frame, firstColumnWidth, parent)
{
    OutlineView* first = metadataList();
    takeWidget(); // the first list moves into the container
    documentView_ = new QWidget;
    documentView_->setGeometry(0, 0, 1, 1);
    extendedAttributesList_ = newMetadataTable(ExtendedAttributesNameWidth);
    auto* column = new QVBoxLayout(documentView_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(first);
    column->addWidget(extendedAttributesList_);
    column->addStretch(1);
    setWidget(documentView_);
}

MetadataFileView::~MetadataFileView()
{
    MetadataFileView::setDelegate(nullptr);
    MetadataFileView::setDataSource(nullptr);
}

void MetadataFileView::setDataSource(OutlineViewDataSource* dataSource)
{
    MetadataBaseView::setDataSource(dataSource);
    if (extendedAttributesList_)
        extendedAttributesList_->setDataSource(dataSource);
}

void MetadataFileView::setDelegate(OutlineViewDelegate* delegate)
{
    MetadataBaseView::setDelegate(delegate);
    if (extendedAttributesList_)
        extendedAttributesList_->setDelegate(delegate);
}

void MetadataFileView::reloadData()
{
    MetadataBaseView::reloadData();
    if (extendedAttributesList_)
        extendedAttributesList_->reloadData();
}

void MetadataFileView::reloadItem(Object* item)
{
    MetadataBaseView::reloadItem(item);
    if (extendedAttributesList_)
        extendedAttributesList_->reloadItem(item);
}

void MetadataFileView::expand()
{
    MetadataBaseView::expand();
    if (extendedAttributesList_)
        extendedAttributesList_->expandItem(nullptr, true);
}

std::optional<long> MetadataFileView::numberOfChildrenOfItem(OutlineView& view, Object* item)
{
    const long count = MetadataBaseView::numberOfChildrenOfItem(view, item).value_or(0);
    if (item)
        return count;
    // The top level: the first category above, the others below.
    if (&view == metadataList())
        return std::min(count, 1L);
    return std::max(count - 1, 0L);
}

std::optional<Ref<Object>> MetadataFileView::child(OutlineView& view, long index, Object* item)
{
    if (!item && &view != metadataList())
        ++index;
    return MetadataBaseView::child(view, index, item);
}

std::optional<bool> MetadataFileView::selectionShouldChange(OutlineView& view)
{
    return &view != metadataList();
}

} // namespace vistel
