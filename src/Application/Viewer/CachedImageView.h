#pragma once
// CachedImageView: the view that shows the current picture of a CachedPicturesViewController.
// It chooses the zoom, tells the list at which size pictures are to be decoded, and draws the
// decoded bitmap centred, scaled and turned by the picture's view rotation on black, with a
// grey checkerboard (10-pixel squares at every zoom) behind transparent pictures.
//
// Zoom: the zoom value ("zoomValue") is the scale of the whole picture, at least 0.1. The zoom
// mode picks it: fit image (0: the whole picture in the view), fit width (1), fit height (2),
// actual size (3); a direct change of the value (zoomIn, zoomOut, setZoomValue) switches to
// user zoom (4) until the current picture changes, when the stored mode applies again. Fit
// modes follow every change of picture, rotation, decode or size. With no picture nothing is
// drawn and every item the view validates is disabled.
//
// Sizes asked of the decoder: the current picture at the zoom, never wider than the picture and
// never above 2^26 pixels (a larger zoom draws that bitmap scaled); a neighbour at the fit of
// the current mode, halved when it would exceed 1,638,400 pixels; a quarter while the view draws
// fast (fastImageDraw, a subclass's choice).
//
// The view keeps its list alive and observes it while it exists; a view that goes while attached
// stops the list first.
//
// Thread rules: main thread. The bitmap is drawn under the picture's mutex, so a decoder never
// swaps it half-way through a draw.

#include <functional>
#include <map>

#include <QRectF>
#include <QSizeF>
#include <QWidget>

#include "Application/Viewer/CachedImageBrowserProtocol.h"
#include "Application/Viewer/CachedImageGeometry.h"
#include "Application/Viewer/ImageInformationArrayController.h"
#include "Platform/Gui/Responder.h"
#include "Platform/Object.h"

class QPainter;

namespace vistel {

class CachedImage;
class CachedPicturesViewController;
class ImageZoomParameter;

class CachedImageView : public QWidget,
                        public Responder,
                        public CachedImageBrowserProtocol,
                        public ArrayControllerObserver {
public:
    explicit CachedImageView(CachedPicturesViewController* controller, QWidget* parent = nullptr);
    ~CachedImageView() override;

    CachedPicturesViewController* cachedPicturesDataSource() const { return controller_.get(); }
    // Whether this view is the one attached to the list.
    bool isImageViewIsActive() const;

    // --- zoom -------------------------------------------------------------------------------
    double zoomValue() const;
    // A value other than the current one switches to user zoom; below 0.1 is taken as 0.1.
    void setZoomValue(double value);
    void zoomIn();
    void zoomOut();
    // User zoom (4) after a direct change, else the stored mode.
    ImageZoomMode zoomMode() const;
    void setZoomMode(ImageZoomMode mode);
    // Sets the zoom of the current mode for the current picture; false when it did not change.
    bool updateZoomValue(bool redraw);
    double imageScale(QSizeF upright) const;
    // The sizes the fit modes fit into: the view's own here.
    virtual QSizeF enclosingScrollViewSize() const;
    virtual QSizeF superViewSize() const;
    // Told of every change of the zoom value ("zoomValue"), with the new value. Answers a key
    // for removeZoomValueObserver.
    int addZoomValueObserver(std::function<void(double)> observer);
    void removeZoomValueObserver(int key);

    // --- geometry ---------------------------------------------------------------------------
    // The current picture turned and zoomed; zero without one.
    QSizeF drawImageSizeWithAngel() const;
    // Where that goes in the view: centred, its origin on whole pixels.
    QRectF drawImageRect() const;
    // Fits the view's frame to the picture; false when nothing changed (nothing here).
    virtual bool updateFrame() { return false; }

    // --- the list's view --------------------------------------------------------------------
    QSizeF convertFastImageDrawSize(QSizeF size) override;
    Ref<ImageZoomParameter> zoomInformationForImageInformation(ImageInformation* information) override;
    void imageUpdated(unsigned index) override;
    void updateContent() override;
    bool isFlipped() const override { return true; }
    bool fastImageDraw() const override { return false; }
    void observeValueForKeyPath(const std::string& keyPath, ImageInformationArrayController& controller,
                                const ArrayControllerChange& change) override;

    // Disabled without pictures; the mode actions' menu items are checked by the mode.
    bool validateUserInterfaceItem(const UserInterfaceItem& item) override;

    // Draws `image` into the view's canvas (drawImageRect) with the current zoom and rotation.
    void drawImage(QPainter& painter, const CachedImage& image, const QRectF& dirty) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void setScale(double value);
    unsigned currentAngle() const;

    Ref<CachedPicturesViewController> controller_;
    Ref<ImageZoomParameter> currentImageZoom_;
    bool customUserZoom_ = false;
    ImageZoomMode zoomMode_ = ImageZoomMode::FitImage;
    std::map<int, std::function<void(double)>> zoomObservers_;
    int nextObserverKey_ = 0;
};

} // namespace vistel
