#pragma once
// MultiImage: a picture with one or more representations (different sizes or depths of the
// same picture), a size in points, and the drawing and caching flags the views set.
//
// bestRepresentationForSize() picks what to draw at a size: the smallest representation that
// covers the size in pixels, or the largest one when none does. Thumbnails are made on updater
// threads, so every member is safe to call from any thread (one lock); representations are
// shared, reference-counted objects and stay valid while a caller holds them.

#include <cstdint>
#include <mutex>
#include <vector>

#include <QSizeF>

#include "Platform/Imaging/ImageRep.h"
#include "Platform/Object.h"

namespace vistel {

class MultiImage : public Object {
public:
    enum class CacheMode { Default, Always, BySize, Never };

    // An empty image of a size (representations are added later).
    static Ref<MultiImage> create(QSizeF size = {});
    // One bitmap representation; the size is the image's pixel size unless given.
    static Ref<MultiImage> createWithPlatformImage(Ref<PlatformImage> image, QSizeF size = {});

    // The size set, or the first representation's when none was set.
    QSizeF size() const;
    void setSize(QSizeF size);
    bool isFlipped() const;
    void setFlipped(bool flipped);
    CacheMode cacheMode() const;
    void setCacheMode(CacheMode mode);
    bool isDataRetained() const;
    void setDataRetained(bool retained);
    bool scalesWhenResized() const;
    void setScalesWhenResized(bool scales);
    bool cacheDepthMatchesImageDepth() const;
    void setCacheDepthMatchesImageDepth(bool matches);

    void addRepresentation(Ref<ImageRep> rep);
    void removeRepresentation(const Ref<ImageRep>& rep);
    std::vector<Ref<ImageRep>> representations() const;
    // Null when the image has no representation. `size` in points, one pixel per point.
    Ref<ImageRep> bestRepresentationForSize(QSizeF size) const;

    // The first representation's pixels as TIFF (compression 1 none, 5 LZW, 32773 PackBits);
    // empty when there is none or encoding fails.
    std::vector<std::uint8_t> tiffRepresentation(int compression = 1) const;

protected:
    // Subclasses (images that remember how they were drawn) are made by their own create().
    MultiImage() = default;
    ~MultiImage() override = default;

private:
    mutable std::mutex lock_;
    QSizeF size_;
    bool flipped_ = false;
    CacheMode cacheMode_ = CacheMode::Default;
    bool dataRetained_ = false;
    bool scalesWhenResized_ = false;
    bool cacheDepthMatchesImageDepth_ = false;
    std::vector<Ref<ImageRep>> reps_;
};

} // namespace vistel
