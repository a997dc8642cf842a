#include "Common/Icons/NSImageManualRescale.h"

#include <algorithm>
#include <cmath>
#include <map>

#include <QPaintDevice>

#include "Common/Icons/NSImageIconRef.h"
#include "Common/Icons/WorkspaceIcons.h"

namespace vistel {

Ref<NSImageManualRescaleBitmap> NSImageManualRescaleBitmap::create(Ref<PlatformImage> image)
{
    if (!image)
        return nullptr;
    Ref<NSImageManualRescaleBitmap> rep = Ref<NSImageManualRescaleBitmap>::adopt(new NSImageManualRescaleBitmap(image));
    rep->setSize(QSizeF(double(image->width()), double(image->height())));
    rep->setPixelsWide(image->width());
    rep->setPixelsHigh(image->height());
    rep->setBitsPerSample(8);
    rep->setAlpha(true);
    rep->setColorSpaceName(kDeviceRGBColorSpace);
    return rep;
}

int NSImageManualRescale::sizeClassForPixels(int pixels) noexcept
{
    if (pixels <= 16)
        return 0;
    if (pixels <= 32)
        return 1;
    if (pixels <= 128)
        return 2;
    return 3;
}

Ref<NSImageManualRescale> NSImageManualRescale::createWithRepresentations(QSizeF size,
                                                                           const std::vector<Ref<ImageRep>>& reps)
{
    if (reps.empty())
        return nullptr;
    Ref<MultiImage> image = MultiImage::create(size);
    Ref<NSImageManualRescale> icon = Ref<NSImageManualRescale>::adopt(new NSImageManualRescale(image));
    for (const Ref<ImageRep>& rep : reps) {
        if (!rep)
            continue;
        image->addRepresentation(rep);
        // Representations come smallest first: a later one of the same class replaces the
        // earlier, so each class keeps its largest drawing (scaling down stays sharp).
        icon->originalReps_[std::size_t(sizeClassForPixels(int(rep->pixelsWide())))] = rep;
    }
    image->setCacheMode(MultiImage::CacheMode::Always);
    image->setDataRetained(true);
    icon->validateDrawInRect(QRectF(QPointF(), size), QRectF());
    return icon;
}

Ref<NSImageManualRescale> NSImageManualRescale::createWithSize(QSizeF size, const IconRef& icon)
{
    std::vector<Ref<ImageRep>> reps;
    for (Ref<BitmapImageRep>& rep : NSBitmapImageRepIconRef::imageRepsWithIconRef(icon))
        reps.push_back(std::move(rep));
    return createWithRepresentations(size, reps);
}

Ref<NSImageManualRescale> NSImageManualRescale::iconImageWithIconRef(const IconRef& icon)
{
    static std::mutex cacheLock;
    static auto* const cache = new std::map<IconRef, Ref<NSImageManualRescale>>; // lives for the process
    {
        std::lock_guard guard(cacheLock);
        if (const auto found = cache->find(icon); found != cache->end())
            return found->second;
    }
    // Made outside the lock (reading theme files); the first one stored wins.
    Ref<NSImageManualRescale> made = createWithSize(QSizeF(128, 128), icon);
    if (!made)
        return nullptr;
    std::lock_guard guard(cacheLock);
    return cache->emplace(icon, std::move(made)).first->second;
}

Ref<ImageRep> NSImageManualRescale::originalRep(int sizeClass) const
{
    std::lock_guard guard(lock_);
    return sizeClass >= 0 && sizeClass < kSizeClassCount ? originalReps_[std::size_t(sizeClass)] : nullptr;
}

Ref<NSImageManualRescaleBitmap> NSImageManualRescale::bitmapRep(int sizeClass) const
{
    std::lock_guard guard(lock_);
    return sizeClass >= 0 && sizeClass < kSizeClassCount ? bitmapReps_[std::size_t(sizeClass)] : nullptr;
}

void NSImageManualRescale::validateDrawInRect(QRectF target, QRectF fromRect)
{
    double wide = target.width();
    double high = target.height();
    if (fromRect.width() != 0 && fromRect.height() != 0) {
        const QSizeF size = image_->size();
        wide = size.width() * target.width() / fromRect.width();
        high = size.height() * target.height() / fromRect.height();
    }
    // Nothing to draw, or a size no bitmap can have (checked before the conversion to int,
    // which is undefined for values out of its range and for NaN).
    if (!(wide >= 1 && high >= 1 && wide < 16385 && high < 16385))
        return;
    const int pixelsWide = int(wide);
    const int pixelsHigh = int(high);
    const int sizeClass = sizeClassForPixels(std::max(pixelsWide, pixelsHigh));

    std::lock_guard guard(lock_);
    Ref<NSImageManualRescaleBitmap>& current = bitmapReps_[std::size_t(sizeClass)];
    if (current && int(current->pixelsWide()) == pixelsWide && int(current->pixelsHigh()) == pixelsHigh)
        return;
    // The drawing of this class; else the nearest larger class, else the largest smaller one.
    Ref<ImageRep> source;
    for (int c = sizeClass; c < kSizeClassCount && !source; ++c)
        source = originalReps_[std::size_t(c)];
    for (int c = sizeClass - 1; c >= 0 && !source; --c)
        source = originalReps_[std::size_t(c)];
    const Ref<PlatformImage> sourcePixels = source ? source->cgImage() : nullptr;
    if (!sourcePixels)
        return;

    QImage bitmap(pixelsWide, pixelsHigh, QImage::Format_RGBA8888_Premultiplied);
    if (bitmap.isNull())
        return;
    bitmap.fill(Qt::transparent);
    {
        QPainter painter(&bitmap);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(QRectF(0, 0, pixelsWide, pixelsHigh), sourcePixels->toQImage());
    }
    Ref<NSImageManualRescaleBitmap> made = NSImageManualRescaleBitmap::create(PlatformImage::fromQImage(bitmap));
    if (!made)
        return;
    if (current)
        image_->removeRepresentation(current);
    image_->addRepresentation(made);
    current = std::move(made);
}

void NSImageManualRescale::drawInRect(QPainter& painter, QRectF target, QRectF fromRect,
                                      QPainter::CompositionMode operation, double fraction)
{
    const qreal scale = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QRectF devicePixels(target.topLeft(), target.size() * scale);
    validateDrawInRect(devicePixels, fromRect);
    Ref<ImageRep> rep = image_->bestRepresentationForSize(devicePixels.size());
    const Ref<PlatformImage> pixels = rep ? rep->cgImage() : nullptr;
    if (!pixels)
        return;
    const QImage picture = pixels->toQImage();
    // The source rectangle is in the image's points; map it onto the representation's pixels.
    QRectF source(0, 0, picture.width(), picture.height());
    const QSizeF size = image_->size();
    if (fromRect.width() > 0 && fromRect.height() > 0 && size.width() > 0 && size.height() > 0) {
        const double sx = picture.width() / size.width();
        const double sy = picture.height() / size.height();
        source = QRectF(fromRect.x() * sx, fromRect.y() * sy, fromRect.width() * sx, fromRect.height() * sy);
    }
    painter.save();
    painter.setCompositionMode(operation);
    painter.setOpacity(painter.opacity() * std::clamp(fraction, 0.0, 1.0));
    painter.drawImage(target, picture, source);
    painter.restore();
}

namespace NSWorkspaceCustomIcons {

Ref<NSImageManualRescale> iconDataForPath(const std::string& path, bool onlyCustom, std::uint32_t)
{
    if (onlyCustom)
        return nullptr;
    const auto icon = WorkspaceIcons::iconRefForFile(path);
    return icon ? NSImageManualRescale::iconImageWithIconRef(*icon) : nullptr;
}

} // namespace NSWorkspaceCustomIcons
} // namespace vistel
