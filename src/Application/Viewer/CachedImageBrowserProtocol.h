#pragma once
// CachedImageBrowserProtocol: what the picture list (CachedPicturesViewController) asks of the
// picture view attached to it. Every call comes on the main thread.

#include <QSizeF>

#include "Platform/Object.h"

namespace vistel {

class ImageInformation;
class ImageZoomParameter;

class CachedImageBrowserProtocol {
public:
    // The reduced size drawn while the view is changed interactively (fastImageDraw()).
    virtual QSizeF convertFastImageDrawSize(QSizeF size) = 0;
    // The pixel size at which the entry is to be decoded; null when the view cannot say (an
    // entry whose size is not known yet).
    virtual Ref<ImageZoomParameter> zoomInformationForImageInformation(ImageInformation* information) = 0;
    // The entry at this list index has a new decoded bitmap (or its decode ended without one).
    virtual void imageUpdated(unsigned index) = 0;
    // Recompute zoom and frame and redraw.
    virtual void updateContent() = 0;
    // The coordinate orientation decoded images take (y down when true).
    virtual bool isFlipped() const = 0;
    // True while the view is being changed interactively and draws a reduced bitmap.
    virtual bool fastImageDraw() const = 0;

protected:
    ~CachedImageBrowserProtocol() = default;
};

} // namespace vistel
