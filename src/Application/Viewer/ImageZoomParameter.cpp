#include "Application/Viewer/ImageZoomParameter.h"

namespace vistel {

namespace {
constexpr double MinimumScale = 0.1;
}

Ref<ImageZoomParameter> ImageZoomParameter::ImageZoomParameterWithSize(QSizeF size)
{
    Ref<ImageZoomParameter> parameter = Ref<ImageZoomParameter>::adopt(new ImageZoomParameter());
    parameter->size_ = size;
    return parameter;
}

Ref<ImageZoomParameter> ImageZoomParameter::initWithScale(float scale)
{
    Ref<ImageZoomParameter> parameter = Ref<ImageZoomParameter>::adopt(new ImageZoomParameter());
    parameter->setScale(scale);
    return parameter;
}

void ImageZoomParameter::setScale(float scale)
{
    scale_ = double(scale) < MinimumScale ? float(MinimumScale) : scale;
}

QSizeF ImageZoomParameter::imageRepresentationSize(QSizeF) const { return size_; }

} // namespace vistel
