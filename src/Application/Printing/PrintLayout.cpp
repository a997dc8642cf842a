#include "Application/Printing/PrintLayout.h"

#include <cmath>
#include <cstdio>
#include <mutex>
#include <vector>

#include <QPainter>

#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/XML/XMLNodeEnumerator.h"
#include "Platform/Log.h"

namespace vistel {

namespace {

bool sameName(const char* name, std::string_view wanted)
{
    std::string_view have(name);
    if (have.size() != wanted.size())
        return false;
    for (std::size_t i = 0; i < have.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(have[i])) != std::tolower(static_cast<unsigned char>(wanted[i])))
            return false;
    return true;
}

// A decimal number of the slot element as a 32-bit float; nil when missing or not a number.
std::optional<float> floatParameter(const XMLNode& node, std::string_view name)
{
    const std::optional<std::string> text = node.getParameterByName(name);
    if (!text)
        return std::nullopt;
    char* end = nullptr;
    const float value = std::strtof(text->c_str(), &end);
    if (end == text->c_str())
        return std::nullopt;
    return value;
}

} // namespace

// --- sizes --------------------------------------------------------------------------------

int SizeExtensions::compareSizes(QSizeF a, QSizeF b)
{
    if (a.width() != b.width())
        return a.width() > b.width() ? -1 : 1;
    if (a.height() != b.height())
        return a.height() > b.height() ? -1 : 1;
    return 0;
}

Value SizeExtensions::serrializeToDictionary(QSizeF size)
{
    return Value::dictionary({{WidthKey, Value(double(float(size.width())))}, {HeightKey, Value(double(float(size.height())))}});
}

QSizeF SizeExtensions::loadFromDictionary(const Value& dictionary)
{
    return QSizeF(float(dictionary.get(WidthKey).toDouble()), float(dictionary.get(HeightKey).toDouble()));
}

QSizeF SizeExtensions::asFloats(QSizeF size) { return QSizeF(float(size.width()), float(size.height())); }

// --- the canvas ---------------------------------------------------------------------------

QSizeF PrintCanvas::defaultPageSize() { return QSizeF(8.27f, 11.69f); }

QPointF PrintCanvas::convertPointCoordinates(const QRectF& rect, const QRectF& canvasRect, QPointF point)
{
    return QPointF(rect.x() + rect.width() / canvasRect.width() * point.x(),
                   rect.y() + rect.height() / canvasRect.height() * point.y());
}

QRectF PrintCanvas::convertRectCoordinates(const QRectF& rect, const QRectF& canvasRect, const QRectF& target)
{
    const QPointF origin = convertPointCoordinates(rect, canvasRect, target.topLeft());
    const QPointF corner = convertPointCoordinates(rect, canvasRect, target.topLeft() + QPointF(target.width(), target.height()));
    return QRectF(origin, corner);
}

// --- layouts ------------------------------------------------------------------------------

Ref<ZOVPrintLayout> ZOVPrintLayout::create(XMLDocumentPtr document, pugi::xml_node node)
{
    if (!document || !node)
        return nullptr;
    return Ref<ZOVPrintLayout>::adopt(new ZOVPrintLayout(std::move(document), node));
}

void ZOVPrintLayout::registerWrapperClass()
{
    static std::once_flag once;
    std::call_once(once, [] {
        XMLNodeEnumerator::registerWrapperClass(XMLNodeType::PrintLayout,
                                                [](XMLDocumentPtr document, pugi::xml_node node) -> Ref<XMLNode> {
                                                    return ZOVPrintLayout::create(std::move(document), node);
                                                });
    });
}

Ref<ZOVLayoutObjectsEnumerator> ZOVPrintLayout::objectsEnumerator() { return ZOVLayoutObjectsEnumerator::create(this); }

std::size_t ZOVPrintLayout::objectsCount()
{
    std::size_t count = 0;
    const Ref<ZOVLayoutObjectsEnumerator> slotList = objectsEnumerator();
    while (slotList->nextObject())
        ++count;
    return count;
}

std::size_t ZOVPrintLayout::imagesCount()
{
    std::size_t count = 0;
    const Ref<ZOVLayoutObjectsEnumerator> slotList = objectsEnumerator();
    while (const Ref<ZOVLayoutImage> slot = slotList->nextObject())
        if (slot->isPictureObject())
            ++count;
    return count;
}

Ref<ZOVLayoutImage> ZOVPrintLayout::imageAtIndex(std::size_t index)
{
    const Ref<ZOVLayoutObjectsEnumerator> slotList = objectsEnumerator();
    for (std::size_t i = 0;; ++i) {
        Ref<ZOVLayoutImage> slot = slotList->nextObject();
        if (!slot || i == index)
            return slot;
    }
}

bool ZOVPrintLayout::isPictureSizeSupported(QSizeF printSize, QSizeF documentSize)
{
    std::vector<QRectF> rects;
    const Ref<ZOVLayoutObjectsEnumerator> slotList = objectsEnumerator();
    while (const Ref<ZOVLayoutImage> slot = slotList->nextObject()) {
        const QRectF rect = slot->pictureRectWithSize(printSize, documentSize);
        char line[160];
        std::snprintf(line, sizeof line, "theRect: %d %d %d %d", int(rect.x()), int(rect.y()), int(rect.width()),
                      int(rect.height()));
        ZovLog(line);
        rects.push_back(rect);
    }
    for (std::size_t i = 0; i < rects.size(); ++i)
        for (std::size_t j = i + 1; j < rects.size(); ++j)
            if (rects[i].intersects(rects[j]))
                return false;
    return true;
}

// --- the slot enumerator ------------------------------------------------------------------

Ref<ZOVLayoutObjectsEnumerator> ZOVLayoutObjectsEnumerator::create(ZOVPrintLayout* layout)
{
    if (!layout)
        return nullptr;
    return Ref<ZOVLayoutObjectsEnumerator>::adopt(new ZOVLayoutObjectsEnumerator(layout));
}

Ref<ZOVLayoutImage> ZOVLayoutObjectsEnumerator::nextObject()
{
    pugi::xml_node node;
    if (!started_) {
        started_ = true;
        node = layout_->getXMLNode().first_child();
    } else if (current_) {
        node = current_->getXMLNode().next_sibling();
    }
    for (; node; node = node.next_sibling()) {
        if (node.type() == pugi::node_element && sameName(node.name(), "image")) {
            current_ = ZOVLayoutImage::create(node, layout_.get());
            return current_;
        }
    }
    current_ = nullptr;
    return nullptr;
}

// --- slotList --------------------------------------------------------------------------------

ZOVLayoutImage::ZOVLayoutImage(XMLDocumentPtr document, pugi::xml_node node, ZOVPrintLayout* layout)
    : ZOVLayoutObject(std::move(document), node)
    , layout_(layout)
{
}

Ref<ZOVLayoutImage> ZOVLayoutImage::create(pugi::xml_node node, ZOVPrintLayout* layout)
{
    if (!node || !layout || !layout->document())
        return nullptr;
    return Ref<ZOVLayoutImage>::adopt(new ZOVLayoutImage(layout->document(), node, layout));
}

QRectF ZOVLayoutImage::imageRect() const
{
    const std::optional<float> x = floatParameter(*this, "XPosition");
    const std::optional<float> y = floatParameter(*this, "YPosition");
    const std::optional<float> width = floatParameter(*this, "width");
    const std::optional<float> height = floatParameter(*this, "height");
    if (!x || !y || !width || !height)
        return QRectF();
    return QRectF(*x, *y, *width, *height);
}

QRectF ZOVLayoutImage::imageRectForDocumentSize(QSizeF documentSize) const
{
    const QRectF rect = imageRect();
    if (documentSize.width() == 0 || documentSize.height() == 0)
        return rect;
    const QSizeF page = PrintCanvas::defaultPageSize();
    const float xScale = float(documentSize.width()) / float(page.width());
    const float yScale = float(documentSize.height()) / float(page.height());
    return QRectF(float(rect.x()) * xScale, float(rect.y()) * yScale, float(rect.width()) * xScale,
                  float(rect.height()) * yScale);
}

QRectF ZOVLayoutImage::pictureRectWithSize(QSizeF printSize, QSizeF documentSize) const
{
    const QRectF slot = imageRectForDocumentSize(documentSize);
    // A slot without a rectangle holds no picture, and so never blocks a size.
    if (slot.isEmpty())
        return QRectF();
    double width = printSize.width();
    double height = printSize.height();
    if (slot.width() > slot.height())
        std::swap(width, height);
    if (width == 0)
        width = slot.width();
    if (height == 0)
        height = slot.height();
    return QRectF(slot.center().x() - width / 2, slot.center().y() - height / 2, width, height);
}

double ZOVLayoutImage::scaleByDrawAttributes(const DrawAttributes& attributes, double xScale, double yScale)
{
    return attributes.crop ? std::max(xScale, yScale) : std::min(xScale, yScale);
}

void ZOVLayoutImage::setCurrentImage(FileSystemItemMO* item) { setCurrentImage(item, QImage()); }

void ZOVLayoutImage::setCurrentImage(FileSystemItemMO* item, QImage image)
{
    item_ = Ref<FileSystemItemMO>(item);
    image_ = std::move(image);
}

QRectF ZOVLayoutImage::deviceRect(const QRectF& pageRect, const QRectF& canvasRect, const DrawAttributes& attributes) const
{
    const QRectF picture = pictureRectWithSize(attributes.printSize, attributes.documentSize);
    return PrintCanvas::convertRectCoordinates(pageRect, canvasRect, picture);
}

std::pair<double, bool> ZOVLayoutImage::placement(const QRectF& device, const DrawAttributes& attributes,
                                                  QSizeF pictureSize) const
{
    const double iw = pictureSize.width();
    const double ih = pictureSize.height();
    const double scale = scaleByDrawAttributes(attributes, device.width() / iw, device.height() / ih);
    if (attributes.autoRotate) {
        const double turned = scaleByDrawAttributes(attributes, device.width() / ih, device.height() / iw);
        if (scaleByDrawAttributes(attributes, scale, turned) == scale)
            return {turned, true};
    }
    return {scale, false};
}

QSizeF ZOVLayoutImage::drawnSize(const QRectF& pageRect, const QRectF& canvasRect, const DrawAttributes& attributes,
                                 QSizeF pictureSize) const
{
    if (pictureSize.isEmpty())
        return QSizeF();
    const QRectF device = deviceRect(pageRect, canvasRect, attributes);
    if (device.isEmpty())
        return QSizeF();
    const double scale = placement(device, attributes, pictureSize).first;
    return pictureSize * scale;
}

void ZOVLayoutImage::draw(QPainter& painter, const QRectF& pageRect, const QRectF& canvasRect,
                          const DrawAttributes& attributes, const QImage& picture) const
{
    if (!layout_ || picture.isNull())
        return;
    const QRectF device = deviceRect(pageRect, canvasRect, attributes).normalized();
    if (device.isEmpty())
        return;
    const QSizeF size = picture.size();
    const auto [scale, turned] = placement(device, attributes, size);
    painter.save();
    painter.setClipRect(device, Qt::IntersectClip);
    painter.translate(device.center());
    if (turned)
        painter.rotate(90);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setOpacity(1.0);
    const QSizeF drawn = size * scale;
    painter.drawImage(QRectF(-drawn.width() / 2, -drawn.height() / 2, drawn.width(), drawn.height()), picture);
    painter.restore();
}

void ZOVLayoutImage::drawNavigation(QPainter& painter)
{
    painter.fillRect(QRectF(0, -2, 8000, 4), Qt::green);
    painter.fillRect(QRectF(-2, 0, 4, 8000), Qt::red);
}

// --- icons --------------------------------------------------------------------------------

QImage renderLayoutIcon(ZOVPrintLayout& layout, QSize size)
{
    QImage icon(size, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    const QSizeF page = PrintCanvas::defaultPageSize();
    // The sheet, as large as the icon allows with a pixel of margin.
    const QSizeF sheetSize = page.scaled(QSizeF(size) - QSizeF(2, 2), Qt::KeepAspectRatio);
    const QRectF sheet(QPointF((size.width() - sheetSize.width()) / 2, (size.height() - sheetSize.height()) / 2), sheetSize);
    painter.setPen(QPen(QColor(120, 120, 120), 1));
    painter.setBrush(Qt::white);
    painter.drawRect(sheet.adjusted(0.5, 0.5, -0.5, -0.5));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(70, 120, 190));
    const QRectF canvas(QPointF(), page);
    const Ref<ZOVLayoutObjectsEnumerator> slotList = layout.objectsEnumerator();
    while (const Ref<ZOVLayoutImage> slot = slotList->nextObject())
        painter.drawRect(PrintCanvas::convertRectCoordinates(sheet, canvas, slot->imageRect()));
    painter.end();
    return icon;
}

} // namespace vistel
