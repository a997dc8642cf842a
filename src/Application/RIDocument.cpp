#include "Application/RIDocument.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>

#include <QEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QPaintEvent>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolBar>

#include "Application/MainMenu.h"
#include "Common/Strings/Gui/NSImageNamedImageExtended.h"
#include "Common/Tools/Threads/NSThreadExt.h"
#include "Common/Tools/Threads/ThreadMessages.h"
#include "Imaging/ImageRepRegistry.h"
#include "Imaging/RIReperesentation.h"
#include "Application/ApplicationDocController.h"
#include "Platform/FilePaths.h"
#include "Platform/FolderListing.h"
#include "Platform/Gui/View.h"
#include "Platform/Gui/Window.h"
#include "Platform/Gui/WindowFrameAutosave.h"
#include "Platform/Imaging/PlatformImage.h"
#include "Platform/Log.h"
#include "Platform/UserDefaults.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

constexpr const char* ZoomInItem = "ZoomIn Item Identifier";
constexpr const char* ZoomOutItem = "ZoomOut Item Identifier";
constexpr const char* ZoomBestItem = "ZoomBest Item Identifier";
constexpr const char* SaveItem = "Save Document Item Identifier";

std::mutex decodeHookLock;
std::function<void()> decodeHook;
std::atomic<int> decodesRunning {0};

// The decoded pixels upright, in the layout the view paints fastest (opaque pictures without
// alpha); null when there are none.
QImage uprightPixels(RIReperesentation* rep)
{
    const Ref<PlatformImage> pixels = rep ? rep->cgImage() : nullptr;
    if (!pixels)
        return {};
    const QImage stored = pixels->toQImage();
    const QImage::Format format = stored.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    return RIReperesentation::uprightImage(stored.convertToFormat(format), rep->imageOrientation());
}

// The picture of `bytes` decoded to `side` pixels on its longer side (the whole picture when
// `side` is its longer side), upright.
QImage decodedPicture(const std::shared_ptr<const Value::Bytes>& bytes, int side, QSize pictureSize,
                      const std::string& name)
{
    const Ref<RIReperesentation> rep = side >= std::max(pictureSize.width(), pictureSize.height())
        ? RIReperesentation::imageRepWithData(bytes, true, name)
        : RIReperesentation::imageRepWithThumbnailForData(bytes, float(side), 0, name);
    return uprightPixels(rep.get());
}

} // namespace

// What a decode and its document share: the document is cleared (on the main thread) when the
// document goes, and the worker then skips its decode or the main thread drops its result.
struct RIDocument::DecodeTicket {
    RIDocument* document = nullptr; // main thread only
    std::atomic<bool> cancelled {false};
};

// --- the picture view ----------------------------------------------------------------------

NSImageViewWithGreyBack::NSImageViewWithGreyBack(QWidget* parent)
    : QWidget(parent)
{
}

void NSImageViewWithGreyBack::setImage(const QImage& image, QSize pictureSize)
{
    image_ = image;
    pictureSize_ = pictureSize.isEmpty() ? image.size() : pictureSize;
    update();
}

void NSImageViewWithGreyBack::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), QColor(GreyLevel, GreyLevel, GreyLevel));
    if (image_.isNull() || pictureSize_.isEmpty())
        return;
    const QSizeF scale = View::scale(this);
    const QSizeF shown(pictureSize_.width() * scale.width(), pictureSize_.height() * scale.height());
    const QRectF target((width() - shown.width()) / 2, (height() - shown.height()) / 2, shown.width(), shown.height());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, image_);
}

// Refits in best-fit mode whenever the visible area changes size.
class RIDocument::ViewportWatcher : public QObject {
public:
    ViewportWatcher(QWidget* viewport, RIDocument* document)
        : QObject(viewport)
        , document_(document)
    {
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Resize) {
            if (document_->isBestFit())
                document_->bestFit();
            else
                document_->adjustFrame();
        }
        return false;
    }

private:
    RIDocument* document_;
};

// --- the document --------------------------------------------------------------------------

RIDocument::RIDocument()
{
    setActionHandler("zoomIn:", [this](QObject*) { zoomIn(); });
    setActionHandler("zoomOut:", [this](QObject*) { zoomOut(); });
    setActionHandler("bestFit:", [this](QObject*) { bestFitAction(); });
    setActionHandler("printDocument:", [this](QObject*) { printDocument(); });
    setActionHandler("performClose:", [this](QObject*) { close(); });
}

RIDocument::~RIDocument()
{
    if (ticket_) {
        ticket_->document = nullptr;
        ticket_->cancelled = true;
    }
}

bool RIDocument::readFromFile(const std::string& path, const std::string&, ErrorRecord*)
{
    ApplicationDocController& controller = ApplicationDocController::shared();
    const ApplicationDocController::PictureFile file = controller.pictureFile(path);
    controller.forgetPictureFile(); // the document keeps the bytes from now on
    // Whole pixels, upright (the representation's pixel counts are oriented).
    const QSize size(file.header ? static_cast<int>(file.header->pixelsWide()) : 0,
                     file.header ? static_cast<int>(file.header->pixelsHigh()) : 0);
    if (size.width() <= 0 || size.height() <= 0)
        return false;
    bytes_ = file.bytes;
    pictureSize_ = size;
    return true;
}

void RIDocument::setDecodeHookForTesting(std::function<void()> hook)
{
    std::lock_guard guard(decodeHookLock);
    decodeHook = std::move(hook);
}

int RIDocument::decodesInFlight() { return decodesRunning.load(); }

int RIDocument::shownSide(double scale) const
{
    QScreen* screen = QGuiApplication::primaryScreen();
    const double ratio = documentView_ ? documentView_->devicePixelRatioF() : screen ? screen->devicePixelRatio() : 1.0;
    return static_cast<int>(std::ceil(std::max(pictureSize_.width(), pictureSize_.height()) * scale * ratio - 1e-6));
}

int RIDocument::decodeSideFor(int needed) const
{
    const int longest = std::max(pictureSize_.width(), pictureSize_.height());
    for (int eighths = 1; eighths < 8; ++eighths) {
        const int side = (longest * eighths + 7) / 8;
        if (side >= needed)
            return side;
    }
    return longest;
}

void RIDocument::ensureResolution()
{
    if (pictureSize_.isEmpty() || !documentView_)
        return;
    requestDecode(decodeSideFor(shownSide(View::scale(documentView_).width())));
}

void RIDocument::requestDecode(int side)
{
    if (side <= requestedSide_ || !bytes_)
        return;
    requestedSide_ = side;
    ++pendingDecodes_;
    if (!ticket_) {
        ticket_ = std::make_shared<DecodeTicket>();
        ticket_->document = this;
    }
    ++decodesRunning;
    Ref<NSThreadExt> worker = NSThreadExt::create(
        [ticket = ticket_, bytes = bytes_, side, size = pictureSize_, name = filePath()] {
            std::function<void()> hook;
            {
                std::lock_guard guard(decodeHookLock);
                hook = decodeHook;
            }
            if (hook)
                hook();
            QImage picture;
            try {
                if (!ticket->cancelled)
                    picture = decodedPicture(bytes, side, size, name);
            } catch (const std::exception& e) { // the result still goes back: the window waits for it
                ZovLog("RIDocument decode " + name + ": " + e.what());
            }
            ThreadMessages::performSelectorOnMainThread(
                [ticket, side, picture = std::move(picture)]() mutable {
                    --decodesRunning;
                    if (ticket->document)
                        ticket->document->decodeDidEnd(side, std::move(picture));
                },
                false);
        });
    worker->setName("picture decode");
    worker->start();
}

void RIDocument::decodeDidEnd(int side, QImage picture)
{
    --pendingDecodes_;
    if (picture.isNull()) {
        if (!image_.isNull())
            return; // a larger decode failed: the smaller picture stays (and is not asked again)
        ticket_->document = nullptr; // later results are dropped
        readDidFail(ErrorRecord()); // may end the document: nothing follows
        return;
    }
    if (side <= decodedSide_)
        return; // a larger one arrived first
    decodedSide_ = side;
    image_ = std::move(picture);
    if (documentView_)
        documentView_->setImage(image_, pictureSize_);
}

void RIDocument::makeWindowControllers()
{
    // The decode starts before the window is made, at the size the window will show: the
    // stored frame or the screen's available area bounds it (a window never covers more).
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QSize box = screen->availableGeometry().size();
        const std::string stored = UserDefaults::standard().stringForKey(WindowFrameAutosave::defaultsKey(FrameAutosaveName));
        if (const std::optional<SavedWindowFrame> frame = parseWindowFrame(stored))
            box = box.boundedTo(frame->frame.size());
        const double fit = std::min({1.0, double(box.width()) / pictureSize_.width(),
                                     double(box.height()) / pictureSize_.height()});
        requestDecode(decodeSideFor(shownSide(fit)));
    }
    auto* window = new Window;
    window->setWindowTitle(QString::fromStdString(lastPathComponent(filePath())));
    scrollArea_ = new QScrollArea;
    scrollArea_->setWidgetResizable(false);
    scrollArea_->setAlignment(Qt::AlignCenter);
    documentView_ = new NSImageViewWithGreyBack;
    documentView_->setImage(image_, pictureSize_);
    scrollArea_->setWidget(documentView_);
    scrollArea_->viewport()->installEventFilter(new ViewportWatcher(scrollArea_->viewport(), this));
    window->setContentView(scrollArea_);

    auto* toolbar = new WindowToolbar(ToolbarIdentifier);
    toolbar->setAllowsUserCustomization(true);
    toolbar->setAutosavesConfiguration(true);
    toolbar->setDisplayMode(2);
    toolbar->setDelegate(this);
    window->addToolBar(toolbar);
    MainMenu::install(window->menuBar(), MainMenu::WindowKind::Picture);
    window->resize(firstWindowSize(*window));
    WindowFrameAutosave::setFrameAutosaveName(window, FrameAutosaveName);
    addWindow(window);
    bestFitAction();
}

QSize RIDocument::firstWindowSize(QMainWindow& window) const
{
    // The menu bar and tool bar above the picture, and the scroll area's frame around it.
    window.ensurePolished();
    const int frame = scrollArea_ ? 2 * scrollArea_->frameWidth() : 0;
    int above = 0;
    if (QWidget* bar = window.menuWidget())
        above += bar->sizeHint().height();
    for (QToolBar* toolbar : window.findChildren<QToolBar*>(QString(), Qt::FindDirectChildrenOnly))
        above += toolbar->sizeHint().height();
    const QSize wanted = pictureSize_.expandedTo(QSize(1, 1)) + QSize(frame, frame + above);
    QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    return screen ? wanted.boundedTo(screen->availableGeometry().size()) : wanted;
}

std::optional<std::vector<std::string>> RIDocument::toolbarAllowedItemIdentifiers(WindowToolbar&)
{
    return std::vector<std::string> {ZoomInItem,
                                     ZoomOutItem,
                                     ZoomBestItem,
                                     NSToolbarCustomizeToolbarItemIdentifier,
                                     NSToolbarFlexibleSpaceItemIdentifier,
                                     NSToolbarSpaceItemIdentifier,
                                     NSToolbarSeparatorItemIdentifier};
}

std::optional<std::vector<std::string>> RIDocument::toolbarDefaultItemIdentifiers(WindowToolbar&)
{
    return std::vector<std::string> {ZoomInItem, ZoomOutItem, ZoomBestItem, NSToolbarFlexibleSpaceItemIdentifier};
}

QAction* RIDocument::toolbarItemForItemIdentifier(WindowToolbar&, const std::string& identifier, bool)
{
    struct Item {
        const char* identifier;
        const char* label;
        const char* tip;
        const char* image;
        const char* action;
    };
    static const Item items[] = {
        {SaveItem, "Save", "Save Your Document", "SaveDocument.tiff", "saveDocument:"},
        {ZoomInItem, "Zoom In", "Zoom in", "TBZoomIn.png", "zoomIn:"},
        {ZoomOutItem, "Zoom Out", "Zoom out", "TBZoomOut.png", "zoomOut:"},
        {ZoomBestItem, "Best Fit", "Scale image for best fit", "TBBestFit.png", "bestFit:"},
    };
    for (const Item& item : items) {
        if (identifier != item.identifier)
            continue;
        auto* action = new ActionItem(QString::fromStdString(ZOV_TRANSLATE(item.label, "toolbar:itemForItemIdentifier:willBeInsertedIntoToolbar:")),
                                      item.action);
        action->setToolTip(QString::fromStdString(
            ZOV_TRANSLATE(item.tip, "toolbar:itemForItemIdentifier:willBeInsertedIntoToolbar:")));
        const QImage icon = NSImageNamedImageExtended::imageNamed(item.image, "images");
        if (!icon.isNull())
            action->setIcon(QIcon(QPixmap::fromImage(icon)));
        if (identifier != SaveItem)
            action->setTarget(this);
        return action;
    }
    return nullptr;
}

void RIDocument::zoomIn()
{
    bestFit_ = false;
    if (documentView_)
        View::setScalePercent(documentView_, View::scalePercent(documentView_) * 1.1);
    adjustFrame();
}

void RIDocument::zoomOut()
{
    bestFit_ = false;
    if (documentView_)
        View::setScalePercent(documentView_, View::scalePercent(documentView_) / 1.1);
    adjustFrame();
}

void RIDocument::bestFitAction()
{
    bestFit_ = true;
    bestFit();
}

void RIDocument::bestFit()
{
    if (pictureSize_.isEmpty() || !documentView_ || !scrollArea_)
        return;
    const QSize visible = scrollArea_->viewport()->size();
    const double ratio = std::min(double(visible.width()) / pictureSize_.width(),
                                  double(visible.height()) / pictureSize_.height());
    View::setScalePercent(documentView_, ratio > 1 ? 100.0 : ratio * 100.0);
    adjustFrame();
}

void RIDocument::adjustFrame()
{
    if (pictureSize_.isEmpty() || !documentView_ || !scrollArea_)
        return;
    const QSizeF scale = View::scale(documentView_);
    const QSizeF scaled(pictureSize_.width() * scale.width(), pictureSize_.height() * scale.height());
    const QSize visible = scrollArea_->viewport()->size();
    const double width = scaled.width() >= visible.width() && !bestFit_ ? scaled.width() : visible.width();
    const double height = scaled.height() >= visible.height() && !bestFit_ ? scaled.height() : visible.height();
    documentView_->setGeometry(0, 0, static_cast<int>(width), static_cast<int>(height));
    documentView_->update();
    if (documentView_->isVisible())
        ensureResolution();
}

QImage RIDocument::fullPicture() const
{
    if (!image_.isNull() && image_.size() == pictureSize_)
        return image_;
    return bytes_ ? decodedPicture(bytes_, std::max(pictureSize_.width(), pictureSize_.height()), pictureSize_, filePath())
                  : QImage();
}

bool RIDocument::printToPrinter(QPrinter& printer)
{
    const QImage picture = fullPicture();
    if (picture.isNull())
        return false;
    printer.setFromTo(1, 1);
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const QRectF page = printer.pageRect(QPrinter::DevicePixel);
    const QSizeF fitted = QSizeF(picture.size()).scaled(page.size(), Qt::KeepAspectRatio);
    const QRectF target((page.width() - fitted.width()) / 2, (page.height() - fitted.height()) / 2, fitted.width(),
                        fitted.height());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, picture);
    return painter.end();
}

void RIDocument::printDocument()
{
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, firstWindow());
    dialog.setMinMax(1, 1);
    if (dialog.exec() == QDialog::Accepted)
        printToPrinter(printer);
}

} // namespace vistel
