#include "Common/Icons/NSImageExtention.h"

#include <QPainter>

namespace vistel {

namespace NSImageExtention {

std::uint64_t imageMemoryUsageInBytes(const MultiImage& image)
{
    std::uint64_t total = 0;
    for (const Ref<ImageRep>& rep : image.representations()) {
        const int bits = rep->bitsPerSample();
        if (bits <= 0)
            continue;
        const std::uint64_t bitCount = std::uint64_t(rep->pixelsWide()) * std::uint64_t(rep->pixelsHigh()) * 4u
            * std::uint64_t(bits);
        total += bitCount / 8u;
    }
    return total;
}

} // namespace NSImageExtention

namespace NSImageCGImageRef {

Ref<MultiImage> initWithCGImage(const Ref<PlatformImage>& picture)
{
    if (!picture || picture->width() == 0 || picture->height() == 0)
        return nullptr;
    const QImage source = picture->toQImage();
    if (source.isNull())
        return nullptr;
    QImage canvas(source.size(), QImage::Format_ARGB32_Premultiplied);
    if (canvas.isNull())
        return nullptr;
    canvas.fill(Qt::transparent);
    {
        QPainter painter(&canvas);
        painter.drawImage(QPointF(0, 0), source);
    }
    return MultiImage::createWithPlatformImage(PlatformImage::fromQImage(canvas));
}

} // namespace NSImageCGImageRef
} // namespace vistel
