#pragma once
// Print layouts: page plans of picture slots read from the "VistelPrintLayouts.xml" resource.
//
// A "layout" element holds "icon", "caption", "description" and any number of "image" slots
// (child names compared regardless of case). A slot's "XPosition", "YPosition", "width" and
// "height" are inches on the reference page of 8.27 x 11.69 inches (PrintCanvas::defaultPageSize),
// read as 32-bit floats, y measured down from the top edge; a slot lacking one of the four has
// the zero rectangle, which never overlaps anything.
//
// Geometry: a slot scales with the sheet (x and width by documentWidth / 8.27, y and height by
// documentHeight / 11.69); a picture of a print size is centred in its slot, turned to a
// landscape slot's orientation; a layout supports a print size when no two of its centred
// pictures overlap (touching edges do not). Print size 0 x 0 ("best for layout") fills each slot.
//
// Drawing a slot maps the picture's rectangle from the sheet's inches into a device rectangle,
// clips to it and draws the upright picture there, fitted (or, with crop, filling), and turned a
// quarter when autoRotate finds the turned orientation at least as good.
//
// Thread rules: main thread only (the layouts are parsed once per list).

#include <optional>
#include <string>

#include <QImage>
#include <QRectF>
#include <QSizeF>

#include "Common/XML/XMLNode.h"
#include "Platform/Value.h"

class QPainter;

namespace vistel {

class FileSystemItemMO;
class ZOVLayoutImage;
class ZOVLayoutObjectsEnumerator;

// The draw attributes of a slot (sizes in inches).
struct DrawAttributes {
    bool crop = false;
    bool autoRotate = false;
    QSizeF printSize {0, 0};
    QSizeF documentSize {0, 0};
};

// Size values in the preferences' dictionary form ("NSValueDictionaryKeyWidth" / "...Height",
// numbers holding 32-bit floats) and their order.
namespace SizeExtensions {
inline constexpr const char* WidthKey = "NSValueDictionaryKeyWidth";
inline constexpr const char* HeightKey = "NSValueDictionaryKeyHeight";
// Larger width first, then larger height: -1 when `a` comes first, 1 when `b` does, 0 when equal.
int compareSizes(QSizeF a, QSizeF b);
Value serrializeToDictionary(QSizeF size);
// A missing or non-numeric entry reads as 0; both numbers come back as 32-bit floats.
QSizeF loadFromDictionary(const Value& dictionary);
// The size with both sides rounded to 32-bit floats, the precision every printing size has.
QSizeF asFloats(QSizeF size);
} // namespace SizeExtensions

class ZOVPrintLayout : public XMLNode {
public:
    static Ref<ZOVPrintLayout> create(XMLDocumentPtr document, pugi::xml_node node);
    // Makes the print-layout enumerator (XMLNodeType::PrintLayout) wrap its hits in this class.
    static void registerWrapperClass();

    std::optional<std::string> layoutIcon() const { return getParameterByName("icon"); }
    std::optional<std::string> layoutCaption() const { return getParameterByName("caption"); }
    std::optional<std::string> layoutDescription() const { return getParameterByName("description"); }

    Ref<ZOVLayoutObjectsEnumerator> objectsEnumerator();
    std::size_t objectsCount();
    std::size_t imagesCount();
    // The n-th slot in document order; null past the end.
    Ref<ZOVLayoutImage> imageAtIndex(std::size_t index);
    // Whether the pictures of `printSize`, centred in the slots of a sheet of `documentSize`,
    // keep clear of each other. Each rectangle is logged ("theRect: x y w h").
    bool isPictureSizeSupported(QSizeF printSize, QSizeF documentSize);

private:
    using XMLNode::XMLNode;
};

// What a layout holds; only picture slots are enumerated.
class ZOVLayoutObject : public XMLNode {
public:
    virtual bool isPictureObject() const { return false; }

protected:
    using XMLNode::XMLNode;
};

// The canvas: maps rectangles of a canvas (inches on the sheet) into a target rectangle.
class PrintCanvas {
public:
    explicit PrintCanvas(QSizeF size = defaultPageSize()) : canvasSize_(size) { }
    QSizeF canvasSize() const { return canvasSize_; }
    void setCanvasSize(QSizeF size) { canvasSize_ = size; }
    // The reference page of the layouts: the 32-bit floats 8.27 x 11.69 inches.
    static QSizeF defaultPageSize();
    // (R.x + R.width / C.width * P.x, R.y + R.height / C.height * P.y); C's origin is unused.
    static QPointF convertPointCoordinates(const QRectF& rect, const QRectF& canvasRect, QPointF point);
    static QRectF convertRectCoordinates(const QRectF& rect, const QRectF& canvasRect, const QRectF& target);

private:
    QSizeF canvasSize_;
};

class ZOVLayoutImage : public ZOVLayoutObject {
public:
    static Ref<ZOVLayoutImage> create(pugi::xml_node node, ZOVPrintLayout* layout);
    bool isPictureObject() const override { return true; }

    ZOVPrintLayout* printLayout() const { return layout_.get(); }
    // The slot as read (inches on the reference page).
    QRectF imageRect() const;
    // The slot on a sheet of `documentSize` (unchanged when a side of it is zero).
    QRectF imageRectForDocumentSize(QSizeF documentSize) const;
    // A picture of `printSize` centred in the slot, turned to a landscape slot's orientation; a
    // zero side keeps the slot's. A slot without a rectangle gives the zero rectangle.
    QRectF pictureRectWithSize(QSizeF printSize, QSizeF documentSize) const;
    // With crop the larger of the two scales (the picture fills), else the smaller (it fits).
    static double scaleByDrawAttributes(const DrawAttributes& attributes, double xScale, double yScale);

    // The picture placed in the slot and its screen image (null when it has none).
    FileSystemItemMO* currentItem() const { return item_.get(); }
    const QImage& currentImage() const { return image_; }
    void setCurrentImage(FileSystemItemMO* item);
    void setCurrentImage(FileSystemItemMO* item, QImage image);

    // The device rectangle of the slot's picture on a page drawn into `pageRect` whose canvas
    // (the sheet, in inches) is `canvasRect`.
    QRectF deviceRect(const QRectF& pageRect, const QRectF& canvasRect, const DrawAttributes& attributes) const;
    // Draws `picture` (upright) into the slot, clipped to deviceRect(). Nothing for a null picture.
    void draw(QPainter& painter, const QRectF& pageRect, const QRectF& canvasRect, const DrawAttributes& attributes,
              const QImage& picture) const;
    // The pixel size `picture` of `pictureSize` is drawn at in the slot (to decode no more).
    QSizeF drawnSize(const QRectF& pageRect, const QRectF& canvasRect, const DrawAttributes& attributes,
                     QSizeF pictureSize) const;
    // Axis markers for drawing checks: a green band 8000 x 4 at (0, -2), a red one 4 x 8000 at (-2, 0).
    static void drawNavigation(QPainter& painter);

private:
    ZOVLayoutImage(XMLDocumentPtr document, pugi::xml_node node, ZOVPrintLayout* layout);
    // The scale and whether the picture is turned.
    std::pair<double, bool> placement(const QRectF& device, const DrawAttributes& attributes, QSizeF pictureSize) const;

    Ref<ZOVPrintLayout> layout_;
    Ref<FileSystemItemMO> item_;
    QImage image_;
};

// The slots of a layout, in document order: walks the children of the layout element and then
// the following siblings of the slot last returned.
class ZOVLayoutObjectsEnumerator : public Object {
public:
    // Null without a layout.
    static Ref<ZOVLayoutObjectsEnumerator> create(ZOVPrintLayout* layout);
    Ref<ZOVLayoutImage> nextObject();
    ZOVPrintLayout* printLayout() const { return layout_.get(); }
    const Ref<ZOVLayoutImage>& currentObject() const { return current_; }

private:
    explicit ZOVLayoutObjectsEnumerator(ZOVPrintLayout* layout) : layout_(layout) { }
    Ref<ZOVPrintLayout> layout_;
    Ref<ZOVLayoutImage> current_;
    bool started_ = false;
};

// An icon of a layout: a white sheet with a grey border and each slot filled, drawn from the
// slots themselves (so the list's icons never disagree with them).
QImage renderLayoutIcon(ZOVPrintLayout& layout, QSize size);

} // namespace vistel
