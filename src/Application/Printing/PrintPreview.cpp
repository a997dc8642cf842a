#include "Application/Printing/PrintPreview.h"

#include <algorithm>
#include <cmath>

#include <QLineF>
#include <QPaintEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

#include "Application/Printing/PaperInfo.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Imaging/RIReperesentation.h"
#include "Platform/Imaging/MultiImage.h"
#include "Platform/Imaging/PlatformImage.h"
#include "Platform/Log.h"
#include "Platform/NotificationCenter.h"
#include "Preferences/Preferences.h"

namespace vistel {

namespace {

constexpr const char* ThumbnailChangedNotification = "MDFileThumbnailChanged";
// Pictures are decoded for at most this many pixels per inch of paper: more shows nothing.
constexpr double MaximumPrintResolution = 300;

// How many device pixels one unit of the painter's coordinates covers.
double deviceScale(const QPainter& painter)
{
    const QTransform transform = painter.deviceTransform();
    return QLineF(transform.map(QPointF(0, 0)), transform.map(QPointF(1, 0))).length();
}

} // namespace

PrintPreview::PrintPreview(QWidget* parent)
    : QWidget(parent)
{
    setMinimumSize(200, 200);
    // A thumbnail that arrives for one of the pictures shows at once.
    NotificationCenter::defaultCenter().addObserver(
        this,
        [this](const Notification& n) {
            for (const Ref<FileSystemItemMO>& picture : pictures_)
                if (picture.get() == n.object.get()) {
                    update();
                    return;
                }
        },
        ThumbnailChangedNotification);
}

PrintPreview::~PrintPreview() { NotificationCenter::defaultCenter().removeObserver(this); }

void PrintPreview::setPicturesArray(std::vector<Ref<FileSystemItemMO>> pictures)
{
    pictures_ = std::move(pictures);
    changed();
}

void PrintPreview::setPrintLayout(ZOVPrintLayout* layout)
{
    layout_ = Ref<ZOVPrintLayout>(layout);
    changed();
}

void PrintPreview::setDocumentSize(QSizeF size)
{
    documentSize_ = SizeExtensions::asFloats(size);
    changed();
}

void PrintPreview::setPrintSize(QSizeF size)
{
    printSize_ = SizeExtensions::asFloats(size);
    changed();
}

DrawAttributes PrintPreview::drawAttributes() const
{
    Preferences& preferences = Preferences::sharedPreferences();
    return DrawAttributes {preferences.boolForKey(prefs::PrintingCrop), preferences.boolForKey(prefs::PrintingAutorotate),
                           printSize_, documentSize_};
}

QSizeF PrintPreview::sheetSize() const
{
    return documentSize_.width() > 0 && documentSize_.height() > 0 ? documentSize_ : PrintCanvas::defaultPageSize();
}

int PrintPreview::pageCount() const
{
    const std::size_t slotList = layout_ ? layout_->imagesCount() : 0;
    if (slotList == 0 || pictures_.empty())
        return 1;
    return int((pictures_.size() + slotList - 1) / slotList);
}

void PrintPreview::setCurrentPage(int page)
{
    currentPage_ = std::clamp(page, 0, pageCount() - 1);
    update();
    if (pageChanged_)
        pageChanged_();
}

void PrintPreview::previousPage() { setCurrentPage(currentPage_ - 1); }
void PrintPreview::nextPage() { setCurrentPage(currentPage_ + 1); }

void PrintPreview::changed() { setCurrentPage(currentPage_); }

QRectF PrintPreview::sheetRect() const
{
    constexpr double margin = 16;
    const QSizeF room = QSizeF(width(), height()) - QSizeF(2 * margin, 2 * margin);
    if (room.width() <= 0 || room.height() <= 0)
        return QRectF();
    const QSizeF sheet = sheetSize().scaled(room, Qt::KeepAspectRatio);
    return QRectF(QPointF((width() - sheet.width()) / 2, (height() - sheet.height()) / 2), sheet);
}

QImage PrintPreview::screenImage(FileSystemItemMO* item, QSizeF deviceSize)
{
    Ref<MultiImage> image = item->thumbnailImageLarge();
    if (!image || image->representations().empty())
        image = item->thumbnailImage();
    const Ref<ImageRep> rep = image ? image->bestRepresentationForSize(deviceSize) : nullptr;
    const Ref<PlatformImage> pixels = rep ? rep->cgImage() : nullptr;
    return pixels ? pixels->toQImage() : QImage();
}

QImage PrintPreview::decodedPicture(const std::string& path, const std::function<QSizeF(QSizeF)>& drawnSizeFor)
{
    const RIReperesentation::Data data = RIReperesentation::dataAtPath(path);
    if (!data || data->empty()) {
        ZovLog("PrintPreview " + path + ": cannot be read");
        return {};
    }
    const Ref<RIReperesentation> header = RIReperesentation::imageRepWithData(data, true, path);
    if (!header) {
        ZovLog("PrintPreview " + path + ": " + RIReperesentation::lastOpenFailure());
        return {};
    }
    // The representation's pixel size is the picture's upright size.
    const QSizeF upright(double(header->pixelsWide()), double(header->pixelsHigh()));
    const QSizeF drawn = drawnSizeFor(upright);
    const double side = std::ceil(std::max(drawn.width(), drawn.height()));
    if (side <= 0)
        return {};
    const Ref<RIReperesentation> rep = side >= std::max(upright.width(), upright.height())
        ? header
        : RIReperesentation::imageRepWithThumbnailForData(data, float(side), 0, path);
    const Ref<PlatformImage> pixels = rep ? rep->cgImage() : nullptr;
    if (!pixels) {
        ZovLog("PrintPreview " + path + ": " + (rep ? rep->lastFailure() : RIReperesentation::lastOpenFailure()));
        return {};
    }
    return RIReperesentation::uprightImage(pixels->toQImage(), rep->imageOrientation());
}

void PrintPreview::paintPage(QPainter& painter, const QRectF& pageRect, int page, PictureSource source)
{
    painter.save();
    painter.fillRect(pageRect, Qt::white);
    const std::size_t slotsPerPage = layout_ ? layout_->imagesCount() : 0;
    if (slotsPerPage == 0 || page < 0) {
        painter.restore();
        return;
    }
    const DrawAttributes attributes = drawAttributes();
    const QRectF canvas(QPointF(), sheetSize());
    // Printing decodes no more pixels than the device shows, and at most 300 per inch.
    const double scale = deviceScale(painter);
    const double dpi = painter.device() ? painter.device()->logicalDpiX() : 0;
    const double pixelsPerUnit = dpi > 0 ? std::min(scale, MaximumPrintResolution / dpi * scale) : scale;
    std::size_t index = std::size_t(page) * slotsPerPage;
    const Ref<ZOVLayoutObjectsEnumerator> slotList = layout_->objectsEnumerator();
    while (const Ref<ZOVLayoutImage> slot = slotList->nextObject()) {
        if (index >= pictures_.size())
            break;
        FileSystemItemMO* item = pictures_[index++].get();
        if (!item)
            continue;
        if (source == PictureSource::Screen) {
            slot->setCurrentImage(item, screenImage(item, slot->deviceRect(pageRect, canvas, attributes).size() * scale));
            slot->draw(painter, pageRect, canvas, attributes, slot->currentImage());
        } else {
            slot->setCurrentImage(item);
            // One picture at a time: it goes before the next one is decoded.
            const QImage picture = decodedPicture(item->fullPath(), [&](QSizeF size) {
                return slot->drawnSize(pageRect, canvas, attributes, size) * pixelsPerUnit;
            });
            slot->draw(painter, pageRect, canvas, attributes, picture);
        }
    }
    painter.restore();
}

void PrintPreview::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(128, 128, 128));
    const QRectF sheet = sheetRect();
    if (sheet.isEmpty())
        return;
    painter.fillRect(sheet.translated(3, 3), QColor(60, 60, 60));
    paintPage(painter, sheet, currentPage_, PictureSource::Screen);
}

bool PrintPreview::printToPrinter(QPrinter& printer)
{
    printer.setFullPage(true);
    if (!printer.setPageLayout(pageLayoutForDocumentSize(documentSize_)))
        ZovLog("PrintPreview::printToPrinter the printer refused the page");
    const int pages = pageCount();
    int first = 1;
    int last = pages;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        first = std::max(1, printer.fromPage());
        last = std::min(pages, printer.toPage() > 0 ? printer.toPage() : pages);
    }
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    for (int page = first; page <= last; ++page) {
        if (page > first)
            printer.newPage();
        paintPage(painter, printer.paperRect(QPrinter::DevicePixel), page - 1, PictureSource::Print);
    }
    return painter.end();
}

void PrintPreview::print(QWidget* sender)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(pageLayoutForDocumentSize(documentSize_));
    QPrintDialog dialog(&printer, sender ? sender->window() : window());
    dialog.setMinMax(1, pageCount());
    if (dialog.exec() == QDialog::Accepted)
        printToPrinter(printer);
}

} // namespace vistel
