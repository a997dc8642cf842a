#pragma once
// CachedImage: a picture as the viewer holds it. Its size is the picture's full pixel size,
// upright; its bitmap is the picture decoded at the size last asked for (QImage RGB32, or
// ARGB32_Premultiplied when the picture has alpha), swapped in by a decoder's worker thread.
//
// Thread rules: size() and isFlipped() never change. bitmap() and setBitmap() are called with
// mutex() held: the worker swaps under it, the view draws under it (so a bitmap is never
// replaced half-way through a draw).

#include <mutex>

#include <QImage>
#include <QSizeF>

#include "Platform/Object.h"

namespace vistel {

class CachedImage : public Object {
public:
    static Ref<CachedImage> create(QSizeF pictureSize, bool flipped)
    {
        return Ref<CachedImage>::adopt(new CachedImage(pictureSize, flipped));
    }

    QSizeF size() const { return size_; }
    bool isFlipped() const { return flipped_; }
    std::mutex& mutex() const { return mutex_; }

    // --- with mutex() held ----------------------------------------------------------------
    // Null before the first bitmap.
    const QImage& bitmap() const { return bitmap_; }
    bool hasAlpha() const { return bitmap_.hasAlphaChannel(); }
    void setBitmap(QImage bitmap) { bitmap_ = std::move(bitmap); }

private:
    CachedImage(QSizeF size, bool flipped) : size_(size), flipped_(flipped) { }
    const QSizeF size_;
    const bool flipped_;
    mutable std::mutex mutex_;
    QImage bitmap_;
};

} // namespace vistel
