#pragma once
// NSImageManualRescale: an icon image that keeps one sharp bitmap for each of four size classes
// instead of letting every drawing scale one picture.
//
// Size classes by the larger pixel dimension: 0 up to 16, 1 up to 32, 2 up to 128, 3 above.
// The icon's own representations are sorted into the classes once. Before each drawing the
// bitmap of the target's class is checked: when it does not have exactly the pixel size being
// drawn, it is replaced by a new RGBA bitmap of that size, drawn (without interpolation) from
// the icon's representation of the same class, or, when that class has none, from the nearest
// larger class, else the largest smaller one. Drawing again at the same size makes nothing new.
//
// Images made from icon references are shared, one per reference, for the whole process.
//
// Thread safety: an image may be drawn and validated from several threads; one lock guards the
// bitmaps. The process-wide cache has its own lock.

#include <array>
#include <cstdint>
#include <mutex>
#include <string>

#include <QPainter>
#include <QRectF>

#include "Common/Icons/IconRef.h"
#include "Platform/Imaging/ImageRep.h"
#include "Platform/Imaging/MultiImage.h"
#include "Platform/Object.h"

namespace vistel {

// A bitmap made by NSImageManualRescale; its class tells it apart from the icon's own
// representations.
class NSImageManualRescaleBitmap final : public ImageRep {
public:
    static Ref<NSImageManualRescaleBitmap> create(Ref<PlatformImage> image);
    Ref<PlatformImage> cgImage() override { return image_; }

private:
    explicit NSImageManualRescaleBitmap(Ref<PlatformImage> image) : image_(std::move(image)) { }
    const Ref<PlatformImage> image_;
};

class NSImageManualRescale : public Object {
public:
    static constexpr int kSizeClassCount = 4;

    // The shared image of an icon (128 by 128 points); null when the icon has no drawing.
    static Ref<NSImageManualRescale> iconImageWithIconRef(const IconRef& icon);
    // A new image of `size` over the icon's representations; null when the icon has none.
    static Ref<NSImageManualRescale> createWithSize(QSizeF size, const IconRef& icon);
    // A new image of `size` over the given representations (sorted into classes by width).
    static Ref<NSImageManualRescale> createWithRepresentations(QSizeF size, const std::vector<Ref<ImageRep>>& reps);

    static int sizeClassForPixels(int pixels) noexcept;

    // The image holding the original representations and the bitmaps made so far.
    const Ref<MultiImage>& image() const noexcept { return image_; }
    QSizeF size() const { return image_->size(); }
    void setSize(QSizeF size) { image_->setSize(size); }

    // Makes the bitmap for drawing `fromRect` of the image into `target` (see the class
    // comment). A zero-sized source means the whole image.
    void validateDrawInRect(QRectF target, QRectF fromRect);
    // Validates for the painter's device pixels, then draws the best representation with the
    // composition mode and opacity (fraction).
    void drawInRect(QPainter& painter, QRectF target, QRectF fromRect,
                    QPainter::CompositionMode operation = QPainter::CompositionMode_SourceOver, double fraction = 1.0);

    Ref<ImageRep> originalRep(int sizeClass) const;
    Ref<NSImageManualRescaleBitmap> bitmapRep(int sizeClass) const;

private:
    explicit NSImageManualRescale(Ref<MultiImage> image) : image_(std::move(image)) { }
    const Ref<MultiImage> image_;
    mutable std::mutex lock_;
    std::array<Ref<ImageRep>, kSizeClassCount> originalReps_;
    std::array<Ref<NSImageManualRescaleBitmap>, kSizeClassCount> bitmapReps_;
};

namespace NSWorkspaceCustomIcons {

// The icon of a file or folder as the desktop shows it (an NSImageManualRescale shared per
// icon), or null when the path names nothing or has no icon. Custom icons stored with files do
// not exist on this platform: with `onlyCustom` the answer is always null. The selector of
// wanted icon sizes is not used.
Ref<NSImageManualRescale> iconDataForPath(const std::string& path, bool onlyCustom, std::uint32_t iconSelector);

} // namespace NSWorkspaceCustomIcons
} // namespace vistel
