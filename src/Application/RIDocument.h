#pragma once
// RIDocument: one picture file in a window of its own (read only).
//
// Opening reads the file once and only its header on the main thread (type, upright size,
// orientation); the window shows at once on light grey while a worker decodes the picture at
// the size the window shows it (a reduced decode: JPEG scales by eighths in the decoder),
// upright and ready to paint, and hands it to the main thread, which draws it. A zoom or a
// larger window that shows more pixels than were decoded asks for a larger decode (the whole
// picture at most); the smaller picture stays drawn, scaled, until it arrives. A first decode
// that fails closes the window with the error the opening would have given.
//
// The window holds a scroll area with the picture view (NSImageViewWithGreyBack: light grey
// behind the picture, the picture centred at the view's scale) and a small tool bar (zoom in,
// zoom out, best fit). Scales are those of the whole picture, whatever size was decoded.
// Best fit keeps the picture fitted to the visible area (never enlarged) and follows window
// resizing; a zoom leaves it. The window's frame is kept under "MyDocumentWindow"; without one
// the window opens at the picture's size, limited to the screen's available area. Printing
// decodes the whole picture and puts it on one page, fitted.
//
// Thread rules: main thread only; the decode runs on an NSThreadExt of its own, shares nothing
// with the document but the encoded bytes and a ticket, and its result is dropped when the
// document has gone.

#include <functional>
#include <memory>
#include <string>

#include <QImage>
#include <QPointer>
#include <QWidget>

#include "Platform/Gui/Document.h"
#include "Platform/Gui/WindowToolbar.h"
#include "Platform/Value.h"
#include "ZovClass.h"

class QMainWindow;
class QPrinter;
class QScrollArea;

namespace vistel {

class NSImageViewWithGreyBack : public QWidget {
public:
    static constexpr int GreyLevel = 170;
    explicit NSImageViewWithGreyBack(QWidget* parent = nullptr);
    // `image` stands for a picture of `pictureSize` pixels (it may have fewer: a reduced
    // decode); the view's scale applies to the picture. An empty size: the image's own.
    void setImage(const QImage& image, QSize pictureSize = {});
    const QImage& image() const { return image_; }
    QSize pictureSize() const { return pictureSize_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
    QSize pictureSize_;
};

class RIDocument : public Document, public WindowToolbarDelegate {
public:
    ZOV_ROOT_CLASS(RIDocument)

    static constexpr const char* ToolbarIdentifier = "My Document Toolbar Identifier";
    static constexpr const char* FrameAutosaveName = "MyDocumentWindow";

    RIDocument();
    ~RIDocument() override;

    bool readFromFile(const std::string& path, const std::string& type, ErrorRecord* error) override;
    void makeWindowControllers() override;

    // The picture's upright size in pixels (known once the file is read).
    QSize pictureSize() const { return pictureSize_; }
    // The decoded picture, upright: null until the first decode arrives, smaller than
    // pictureSize() when reduced.
    const QImage& image() const { return image_; }
    NSImageViewWithGreyBack* documentView() const { return documentView_; }
    // True while a decode asked for has not arrived.
    bool isDecoding() const { return pendingDecodes_ > 0; }
    bool isBestFit() const { return bestFit_; }

    void zoomIn();
    void zoomOut();
    void bestFitAction();
    void bestFit();
    void adjustFrame();

    // The picture on one page of `printer`, fitted to its page, from the whole picture
    // (decoded for the page when only a reduced one is at hand).
    bool printToPrinter(QPrinter& printer);
    // The Print… command: the print dialog, then printToPrinter.
    void printDocument();

    // Tool bar delegate.
    std::optional<std::vector<std::string>> toolbarAllowedItemIdentifiers(WindowToolbar& toolbar) override;
    std::optional<std::vector<std::string>> toolbarDefaultItemIdentifiers(WindowToolbar& toolbar) override;
    QAction* toolbarItemForItemIdentifier(WindowToolbar& toolbar, const std::string& identifier,
                                          bool willBeInserted) override;

    // Called on the decoding worker before each decode (tests hold a decode with it); empty
    // for none.
    static void setDecodeHookForTesting(std::function<void()> hook);
    // Decodes started and not yet handed to the main thread, in every document.
    static int decodesInFlight();

private:
    class ViewportWatcher;
    struct DecodeTicket;
    // Without a stored frame: the picture's upright size (with the bars and the scroll area's
    // frame), limited to the screen's available area.
    QSize firstWindowSize(QMainWindow& window) const;
    // The picture's longer side as shown at `scale` on this screen, in device pixels.
    int shownSide(double scale) const;
    // The side to decode to show `needed` pixels: the smallest eighth of the picture's longer
    // side that covers it, so a JPEG decodes at a scale of its own without resampling.
    int decodeSideFor(int needed) const;
    // Asks for a decode when the view shows more pixels than were decoded or asked for.
    void ensureResolution();
    void requestDecode(int side);
    void decodeDidEnd(int side, QImage image);
    // The whole picture, upright (decoded now unless at hand); null when it cannot be decoded.
    QImage fullPicture() const;

    std::shared_ptr<const Value::Bytes> bytes_;
    QSize pictureSize_;
    QImage image_;
    int requestedSide_ = 0;
    int decodedSide_ = 0;
    int pendingDecodes_ = 0;
    std::shared_ptr<DecodeTicket> ticket_;
    QPointer<NSImageViewWithGreyBack> documentView_;
    QPointer<QScrollArea> scrollArea_;
    bool bestFit_ = true;
};

} // namespace vistel
