#include "Common/Icons/NSImageIconRef.h"

#include <algorithm>
#include <cmath>

#include <QImageReader>
#include <QPainter>

#include "Common/Icons/IconFamily.h"
#include "Common/Icons/IconTheme.h"

namespace vistel {
namespace {

int sizeClassOf(int pixels)
{
    for (int bit : {8, 16, 32, 64})
        if (pixels <= bit)
            return bit;
    return 128;
}

bool isIconFamilyFile(const std::string& path)
{
    if (path.size() < 5)
        return false;
    std::string extension = path.substr(path.size() - 5);
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return extension == ".icns";
}

// The pixel sizes of the drawings an icon file holds.
std::vector<int> fileImageSizes(const std::string& path)
{
    std::vector<int> sizes;
    if (isIconFamilyFile(path)) {
        if (Ref<IconFamily> family = IconFamily::iconFamilyWithContentsOfFile(path))
            if (Ref<MultiImage> image = family->imageWithAllReps())
                for (const Ref<ImageRep>& rep : image->representations())
                    sizes.push_back(int(std::max(rep->pixelsWide(), rep->pixelsHigh())));
        return sizes;
    }
    QImageReader reader(QString::fromStdString(path));
    const int count = std::max(1, reader.imageCount());
    for (int index = 0; index < count && index < 64; ++index) {
        if (index > 0 && !reader.jumpToImage(index))
            break;
        const QSize size = reader.size();
        if (size.isValid())
            sizes.push_back(std::max(size.width(), size.height()));
        else if (reader.format() == "svg" || reader.format() == "svgz")
            sizes.push_back(128);
    }
    return sizes;
}

// The icon drawn into a `size` square, from its drawing nearest to that size.
QImage iconImage(const IconRef& icon, int size)
{
    if (!icon.themeName.empty())
        return IconTheme::loadIcon(icon.themeName, size);
    if (icon.file.empty())
        return {};
    if (isIconFamilyFile(icon.file)) {
        Ref<IconFamily> family = IconFamily::iconFamilyWithContentsOfFile(icon.file);
        Ref<MultiImage> image = family ? family->imageWithAllReps() : nullptr;
        Ref<ImageRep> rep = image ? image->bestRepresentationForSize(QSizeF(size, size)) : nullptr;
        Ref<PlatformImage> pixels = rep ? rep->cgImage() : nullptr;
        if (!pixels)
            return {};
        return pixels->toQImage().scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return IconTheme::loadImageFile(icon.file, size);
}

} // namespace

namespace NSBitmapImageRepIconRef {

std::vector<int> iconSizeClasses(const IconRef& icon)
{
    std::vector<int> sizes;
    if (!icon.themeName.empty())
        sizes = IconTheme::availableSizes(icon.themeName);
    else if (!icon.file.empty())
        sizes = fileImageSizes(icon.file);
    std::vector<int> classes;
    for (int size : sizes)
        if (size > 0)
            classes.push_back(sizeClassOf(size));
    std::sort(classes.begin(), classes.end());
    classes.erase(std::unique(classes.begin(), classes.end()), classes.end());
    return classes;
}

Ref<BitmapImageRep> initWithIconRefExt(const IconRef& icon, double width, double height, IconAlignmentType align,
                                       IconTransformType transform, const RGBColor* color)
{
    if (!(width >= 1 && height >= 1) || width > 16384 || height > 16384)
        return nullptr;
    const int pixelsWide = int(width);
    const int pixelsHigh = int(height);
    const int side = std::min(pixelsWide, pixelsHigh);
    const QImage drawing = iconImage(icon, side);
    if (drawing.isNull())
        return nullptr;
    QImage bitmap(pixelsWide, pixelsHigh, QImage::Format_RGBA8888_Premultiplied);
    if (bitmap.isNull())
        return nullptr;
    bitmap.fill(Qt::transparent);

    int x = (pixelsWide - side) / 2;
    int y = (pixelsHigh - side) / 2;
    switch (align & 0x03) {
    case kAlignTop: y = 0; break;
    case kAlignBottom: y = pixelsHigh - side; break;
    default: break;
    }
    switch (align & 0x0C) {
    case kAlignLeft: x = 0; break;
    case kAlignRight: x = pixelsWide - side; break;
    default: break;
    }

    QPainter painter(&bitmap);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    if ((transform & 0x0F) == kTransformDisabled || (transform & 0x0F) == kTransformOffline)
        painter.setOpacity(0.5);
    const QRect target(x, y, side, side);
    painter.drawImage(target, drawing);
    painter.setOpacity(1.0);
    // Tints and the selected look change the colour of the icon's own pixels only.
    painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    if (color) {
        QColor tint = NSColorRGBColor::colorWithRGBColor(*color);
        tint.setAlphaF(0.5f);
        painter.fillRect(target, tint);
    }
    if (transform & kTransformSelected)
        painter.fillRect(target, QColor(0, 0, 0, 85));
    painter.end();

    Ref<PlatformImage> image = PlatformImage::fromQImage(bitmap);
    return image ? BitmapImageRep::create(std::move(image)) : nullptr;
}

std::vector<Ref<BitmapImageRep>> imageRepsWithIconRef(const IconRef& icon, IconAlignmentType align,
                                                      IconTransformType transform, const RGBColor* color)
{
    std::vector<Ref<BitmapImageRep>> reps;
    for (int bit : iconSizeClasses(icon))
        if (Ref<BitmapImageRep> rep = initWithIconRefExt(icon, bit, bit, align, transform, color))
            reps.push_back(std::move(rep));
    return reps;
}

} // namespace NSBitmapImageRepIconRef

namespace NSImageIconRef {

Ref<MultiImage> initWithIconRefExt(const IconRef& icon)
{
    std::vector<Ref<BitmapImageRep>> reps = NSBitmapImageRepIconRef::imageRepsWithIconRef(icon);
    if (reps.empty())
        return nullptr;
    Ref<MultiImage> image = MultiImage::create(QSizeF(32, 32));
    for (Ref<BitmapImageRep>& rep : reps)
        image->addRepresentation(std::move(rep));
    return image;
}

Ref<MultiImage> initWithIconRefExt(const IconRef& icon, IconTransformType style, const QColor* tint)
{
    RGBColor record;
    if (tint)
        record = NSColorRGBColor::approximateRGBColor(*tint);
    std::vector<Ref<BitmapImageRep>> reps
        = NSBitmapImageRepIconRef::imageRepsWithIconRef(icon, kAlignNone, style, tint ? &record : nullptr);
    if (reps.empty())
        return nullptr;
    Ref<MultiImage> image = MultiImage::create(QSizeF(512, 512));
    for (Ref<BitmapImageRep>& rep : reps)
        image->addRepresentation(std::move(rep));
    image->setScalesWhenResized(true);
    image->setDataRetained(true);
    return image;
}

} // namespace NSImageIconRef
} // namespace vistel
