#include "Application/Viewer/CachedImageView.h"

#include <cmath>
#include <mutex>

#include <QAction>
#include <QMenu>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>

#include "Application/Viewer/CachedImage.h"
#include "Application/Viewer/CachedPicturesViewController.h"
#include "Application/Viewer/ImageInformation.h"
#include "Application/Viewer/ImageZoomParameter.h"
#include "Platform/IndexSet.h"

namespace vistel {

namespace G = CachedImageGeometry;

CachedImageView::CachedImageView(CachedPicturesViewController* controller, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , currentImageZoom_(ImageZoomParameter::initWithScale(1.0f))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    resize(enclosingScrollViewSize().toSize());
    if (controller_)
        controller_->addGetSelectionObserver(this);
    struct ModeAction {
        const char* action;
        ImageZoomMode mode;
    };
    for (const ModeAction& entry : {ModeAction {"zoomActualSize:", ImageZoomMode::ActualSize},
                                    ModeAction {"zoomFitImage:", ImageZoomMode::FitImage},
                                    ModeAction {"zoomFitHeight:", ImageZoomMode::FitHeight},
                                    ModeAction {"zoomFitWidth:", ImageZoomMode::FitWidth},
                                    ModeAction {"zoomZoomLock:", ImageZoomMode::UserZoom}})
        setActionHandler(entry.action, [this, mode = entry.mode](QObject*) { setZoomMode(mode); });
    setActionHandler("zoomIn:", [this](QObject*) { zoomIn(); });
    setActionHandler("zoomOut:", [this](QObject*) { zoomOut(); });
}

CachedImageView::~CachedImageView()
{
    if (!controller_)
        return;
    controller_->removeGetSelectionObserver(this);
    if (controller_->isBrowserIsActive(this))
        controller_->stop();
}

bool CachedImageView::isImageViewIsActive() const { return controller_ && controller_->isBrowserIsActive(this); }

// --- zoom ---------------------------------------------------------------------------------------

double CachedImageView::zoomValue() const { return currentImageZoom_->scale(); }

void CachedImageView::setScale(double value)
{
    currentImageZoom_->setScale(float(value));
    const double now = zoomValue();
    for (const auto& [key, observer] : std::map(zoomObservers_))
        observer(now);
}

void CachedImageView::setZoomValue(double value)
{
    if (float(value) == currentImageZoom_->scale())
        return;
    customUserZoom_ = true;
    setScale(value);
    updateFrame();
    update();
}

void CachedImageView::zoomIn() { setZoomValue(zoomValue() + 0.1); }

void CachedImageView::zoomOut() { setZoomValue(zoomValue() - 0.1); }

ImageZoomMode CachedImageView::zoomMode() const { return customUserZoom_ ? ImageZoomMode::UserZoom : zoomMode_; }

void CachedImageView::setZoomMode(ImageZoomMode mode)
{
    customUserZoom_ = false;
    zoomMode_ = mode;
    updateZoomValue(true);
}

bool CachedImageView::updateZoomValue(bool redraw)
{
    ImageInformation* current = controller_ ? controller_->currentImageInformation() : nullptr;
    const double scale = imageScale(current ? current->imageSizeWithAngel() : QSizeF());
    if (float(scale) == currentImageZoom_->scale())
        return false;
    setScale(scale);
    if (redraw) {
        updateFrame();
        update();
    }
    return true;
}

double CachedImageView::imageScale(QSizeF upright) const
{
    return G::imageScale(zoomMode(), upright, enclosingScrollViewSize(), superViewSize(), zoomValue());
}

QSizeF CachedImageView::enclosingScrollViewSize() const { return size(); }

QSizeF CachedImageView::superViewSize() const { return size(); }

int CachedImageView::addZoomValueObserver(std::function<void(double)> observer)
{
    zoomObservers_[nextObserverKey_] = std::move(observer);
    return nextObserverKey_++;
}

void CachedImageView::removeZoomValueObserver(int key) { zoomObservers_.erase(key); }

// --- geometry -----------------------------------------------------------------------------------

unsigned CachedImageView::currentAngle() const
{
    ImageInformation* current = controller_ ? controller_->currentImageInformation() : nullptr;
    return current ? current->imageAngel() : 0;
}

QSizeF CachedImageView::drawImageSizeWithAngel() const
{
    ImageInformation* current = controller_ ? controller_->currentImageInformation() : nullptr;
    const QSizeF size = current ? current->imageSizeWithAngel() : QSizeF();
    if (size.isEmpty())
        return QSizeF();
    return size * zoomValue();
}

QRectF CachedImageView::drawImageRect() const { return G::imageRectOnCanvas(QSizeF(size()), drawImageSizeWithAngel()); }

// --- the list's view ----------------------------------------------------------------------------

QSizeF CachedImageView::convertFastImageDrawSize(QSizeF size) { return G::convertFastImageDrawSize(size); }

Ref<ImageZoomParameter> CachedImageView::zoomInformationForImageInformation(ImageInformation* information)
{
    if (!information || information->imageSize().isEmpty())
        return nullptr;
    const QSizeF size = information->imageSize();
    if (controller_ && information == controller_->currentImageInformation()) {
        if (fastImageDraw())
            return ImageZoomParameter::ImageZoomParameterWithSize(convertFastImageDrawSize(size));
        const double scale = zoomValue();
        // Never wider than the picture, never above the bitmap limit.
        return ImageZoomParameter::ImageZoomParameterWithSize(G::limitBitmapSize(scale > 1 ? size : size * scale));
    }
    return ImageZoomParameter::ImageZoomParameterWithSize(
        G::neighbourDecodeSize(size, imageScale(information->imageSizeWithAngel())));
}

void CachedImageView::imageUpdated(unsigned index)
{
    if (controller_ && index == controller_->currentImageIndex())
        updateContent();
}

void CachedImageView::updateContent()
{
    updateZoomValue(false);
    updateFrame();
    update();
}

void CachedImageView::observeValueForKeyPath(const std::string& keyPath, ImageInformationArrayController&,
                                             const ArrayControllerChange&)
{
    if (!isImageViewIsActive() || keyPath != SelectionKeyPath)
        return;
    // A new picture starts in the chosen fit mode again.
    customUserZoom_ = false;
    updateZoomValue(false);
    ImageInformation* current = controller_->currentImageInformation();
    if (current && current->image())
        updateContent();
    else
        update();
}

bool CachedImageView::validateUserInterfaceItem(const UserInterfaceItem& item)
{
    if (!controller_ || controller_->imagesCount() == 0)
        return false;
    auto* action = dynamic_cast<const ActionItem*>(&item);
    static const std::map<std::string, ImageZoomMode> modes {
        {"zoomActualSize:", ImageZoomMode::ActualSize}, {"zoomFitImage:", ImageZoomMode::FitImage},
        {"zoomFitHeight:", ImageZoomMode::FitHeight},   {"zoomFitWidth:", ImageZoomMode::FitWidth},
        {"zoomZoomLock:", ImageZoomMode::UserZoom},
    };
    const auto mode = modes.find(item.action());
    if (mode != modes.end() && action && qobject_cast<QMenu*>(action->parent())) {
        auto* menuItem = const_cast<ActionItem*>(action);
        menuItem->setCheckable(true);
        menuItem->setChecked(mode->second == zoomMode());
    }
    return true;
}

// --- drawing ------------------------------------------------------------------------------------

void CachedImageView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRegion dirty = event->region();
    const bool active = isImageViewIsActive();
    const unsigned angle = currentAngle();
    QSizeF wanted = G::sizeWithAngle(drawImageRect().size(), angle);
    Ref<CachedImage> image;
    if (active) {
        if (ImageInformation* current = controller_->currentImageInformation()) {
            // Never wider than the picture, never above the bitmap limit.
            const QSizeF picture = current->imageSize();
            if (wanted.width() > picture.width())
                wanted = picture;
            wanted = G::limitBitmapSize(wanted);
        }
        // The bitmap there is drawn first; a decode at the size shown starts after the frame,
        // so that its thread does not compete with the drawing.
        image = controller_->currentImage();
        if (!image)
            image = controller_->currentImageWithSize(wanted, this, angle);
    }
    QRegion black = dirty;
    if (image) {
        {
            std::lock_guard<std::mutex> lock(image->mutex());
            const QImage& bitmap = image->bitmap();
            const QRectF canvas = drawImageRect();
            // An opaque picture covers its canvas: black goes only around it.
            if (!bitmap.isNull() && !bitmap.hasAlphaChannel() && !canvas.isEmpty())
                black -= canvas.toAlignedRect().adjusted(1, 1, -1, -1);
            for (const QRect& rect : black)
                painter.fillRect(rect, Qt::black);
            drawImage(painter, *image, dirty.boundingRect());
        }
        controller_->currentImageWithSize(wanted, this, angle);
        return;
    }
    for (const QRect& rect : black)
        painter.fillRect(rect, Qt::black);
}

void CachedImageView::drawImage(QPainter& painter, const CachedImage& image, const QRectF& dirty) const
{
    const QImage& bitmap = image.bitmap();
    const QRectF canvas = drawImageRect();
    if (bitmap.isNull() || canvas.isEmpty() || dirty.isEmpty())
        return;
    const unsigned angle = currentAngle();
    const double zoom = zoomValue();
    const QSizeF picture = image.size();
    painter.save();
    // A bitmap decoded at the size shown goes on unscaled.
    if (angle == 0 && !bitmap.hasAlphaChannel() && std::abs(bitmap.width() - canvas.width()) < 1.0
        && std::abs(bitmap.height() - canvas.height()) < 1.0) {
        painter.drawImage(canvas.topLeft().toPoint(), bitmap);
        painter.restore();
        return;
    }
    painter.translate(canvas.x() + canvas.width() * 0.5, canvas.y() + canvas.height() * 0.5);
    painter.scale(zoom, zoom);
    // The view's y axis points down: a left turn (positive angle) turns against the clock.
    if (angle != 0)
        painter.rotate(-double(angle));
    const QRectF target(-picture.width() * 0.5, -picture.height() * 0.5, picture.width(), picture.height());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (bitmap.hasAlphaChannel())
        G::drawTransparentBackground(painter, target, zoom);
    painter.drawImage(target, bitmap);
    painter.restore();
}

void CachedImageView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (isImageViewIsActive())
        updateContent();
}

} // namespace vistel
