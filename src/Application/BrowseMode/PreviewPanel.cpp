#include "Application/BrowseMode/PreviewPanel.h"

#include <QPainter>

#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/Layout/ZovBoxLayout.h"
#include "Common/Layout/ZovSizePolicy.h"
#include "Common/Views/DockView.h"
#include "Common/Views/ZovViewLayout.h"
#include "Platform/Imaging/ImageRep.h"
#include "Platform/Imaging/MultiImage.h"
#include "Platform/Imaging/PlatformImage.h"

namespace vistel {

PreviewPanelView::PreviewPanelView(PreviewPanel* panel)
    : panel_(panel)
{
    setGeometry(0, 0, 1, 1);
}

void PreviewPanelView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (panel_)
        panel_->drawViewRect(painter);
}

PreviewPanel* PreviewPanel::previewPanel()
{
    return new PreviewPanel;
}

PreviewPanel::PreviewPanel()
{
    setGeometry(0, 0, 1, 1);
    auto* view = new PreviewPanelView(this);
    view_ = view;
    auto layout = ZovBoxLayout::createVertical();
    std::unique_ptr<ZovLayoutItem> item =
        ZovViewLayoutItem::createLayoutItemForView(view, MakePreferredSizePolicy(80, 0, -1), MakePreferredSizePolicy(80, 0, -1));
    item->setHeightForWidthFactor(1.0f);
    layout->addItem(std::move(item));
    layout->addItem(ZovLayoutItem::createVerticalSpacer(MakeExpandingSizePolicy(0, -1)));
    ZovViewLayout::attachLayout(std::move(layout), this);
}

void PreviewPanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The square's height follows its width of the pass that ran for this size: a second pass
    // gives it the height for that width.
    if (ZovLayout* layout = ZovViewLayout::findLayoutForView(this)) {
        layout->setNeedsRelayout();
        layout->performRelayout();
    }
}

void PreviewPanel::setInfoWithItem(FileSystemItemMO* item)
{
    image_ = QImage();
    if (Ref<MultiImage> thumbnail = item ? item->thumbnailImage() : nullptr)
        if (Ref<ImageRep> rep = thumbnail->bestRepresentationForSize(thumbnail->size()))
            if (Ref<PlatformImage> pixels = rep->cgImage())
                image_ = pixels->toQImage();
    if (view_)
        view_->update();
}

void PreviewPanel::drawViewRect(QPainter& painter)
{
    if (!view_)
        return;
    const QRectF area(QPointF(0, 0), QSizeF(view_->size()));
    painter.fillRect(area, palette().color(QPalette::Window));
    if (image_.isNull())
        return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(MDObjectPreviewPanel::fittedRect(QSizeF(image_.size()), area), image_);
}

} // namespace vistel
