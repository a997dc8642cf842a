#pragma once
// ImageZoomParameter: the pixel size a picture is to be decoded at, and a zoom scale for the
// picture view. A parameter handed to a decode is not changed afterwards (the decoder copies
// its size when the decode starts). Main thread.

#include <QSizeF>

#include "Platform/Object.h"

namespace vistel {

class ImageZoomParameter : public Object {
public:
    // The size, scale 0. A zero size asks a decode to read the file and its header only.
    static Ref<ImageZoomParameter> ImageZoomParameterWithSize(QSizeF size);
    // The scale (at least 0.1), zero size.
    static Ref<ImageZoomParameter> initWithScale(float scale);

    float scale() const { return scale_; }
    // Values below 0.1 are stored as 0.1.
    void setScale(float scale);
    QSizeF size() const { return size_; }
    // The size the bitmap of a source of `sourceSize` pixels gets: the stored size, whatever
    // the source's.
    QSizeF imageRepresentationSize(QSizeF sourceSize) const;

private:
    ImageZoomParameter() = default;
    float scale_ = 0;
    QSizeF size_;
};

} // namespace vistel
