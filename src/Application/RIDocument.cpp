#include "Application/RIDocument.h"

#include <algorithm>
#include <cmath>

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
#include "Imaging/ImageRepRegistry.h"
#include "Imaging/RIReperesentation.h"
#include "Application/ApplicationDocController.h"
#include "Platform/FilePaths.h"
#include "Platform/FolderListing.h"
#include "Platform/Gui/View.h"
#include "Platform/Gui/Window.h"
#include "Platform/Gui/WindowFrameAutosave.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

constexpr const char* ZoomInItem = "ZoomIn Item Identifier";
constexpr const char* ZoomOutItem = "ZoomOut Item Identifier";
constexpr const char* ZoomBestItem = "ZoomBest Item Identifier";
constexpr const char* SaveItem = "Save Document Item Identifier";

} // namespace

// --- the picture view ----------------------------------------------------------------------

NSImageViewWithGreyBack::NSImageViewWithGreyBack(QWidget* parent)
    : QWidget(parent)
{
}

void NSImageViewWithGreyBack::setImage(const QImage& image)
{
    image_ = image;
    update();
}

void NSImageViewWithGreyBack::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), QColor(GreyLevel, GreyLevel, GreyLevel));
    if (image_.isNull())
        return;
    const QSizeF scale = View::scale(this);
    const QSizeF shown(image_.width() * scale.width(), image_.height() * scale.height());
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

RIDocument::~RIDocument() = default;

bool RIDocument::readFromFile(const std::string& path, const std::string&, ErrorRecord*)
{
    std::string contents;
    if (readRegularFile(path, contents, ApplicationDocController::MaximumPictureFileBytes) != 0)
        return false;
    auto bytes = std::make_shared<const Value::Bytes>(contents.begin(), contents.end());
    RIReperesentation::initialize();
    Ref<MultiImage> picture = ImageRepRegistry::imageWithData(bytes);
    if (!picture)
        return false;
    Ref<ImageRep> best = picture->bestRepresentationForSize(picture->size());
    auto* rep = dynamic_cast<RIReperesentation*>(best.get());
    // Whole pixels, upright (the representation's pixel counts are oriented).
    const int width = rep ? static_cast<int>(rep->pixelsWide()) : 0;
    const int height = rep ? static_cast<int>(rep->pixelsHigh()) : 0;
    if (!rep || width <= 0 || height <= 0)
        return false;
    QImage copy(width, height, QImage::Format_ARGB32_Premultiplied);
    copy.fill(Qt::transparent);
    QPainter painter(&copy);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    const bool drawn = rep->drawInRect(painter, QRectF(0, 0, width, height));
    painter.end();
    if (!drawn)
        return false;
    setImage(std::move(copy));
    return true;
}

void RIDocument::setImage(QImage image)
{
    image_ = std::move(image);
    if (documentView_)
        documentView_->setImage(image_);
}

void RIDocument::makeWindowControllers()
{
    auto* window = new Window;
    window->setWindowTitle(QString::fromStdString(lastPathComponent(filePath())));
    scrollArea_ = new QScrollArea;
    scrollArea_->setWidgetResizable(false);
    scrollArea_->setAlignment(Qt::AlignCenter);
    documentView_ = new NSImageViewWithGreyBack;
    documentView_->setImage(image_);
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
    const QSize wanted = image_.size().expandedTo(QSize(1, 1)) + QSize(frame, frame + above);
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
    if (image_.isNull() || !documentView_ || !scrollArea_)
        return;
    const QSize visible = scrollArea_->viewport()->size();
    const double ratio = std::min(double(visible.width()) / image_.width(), double(visible.height()) / image_.height());
    View::setScalePercent(documentView_, ratio > 1 ? 100.0 : ratio * 100.0);
    adjustFrame();
}

void RIDocument::adjustFrame()
{
    if (image_.isNull() || !documentView_ || !scrollArea_)
        return;
    const QSizeF scale = View::scale(documentView_);
    const QSizeF scaled(image_.width() * scale.width(), image_.height() * scale.height());
    const QSize visible = scrollArea_->viewport()->size();
    const double width = scaled.width() >= visible.width() && !bestFit_ ? scaled.width() : visible.width();
    const double height = scaled.height() >= visible.height() && !bestFit_ ? scaled.height() : visible.height();
    documentView_->setGeometry(0, 0, static_cast<int>(width), static_cast<int>(height));
    documentView_->update();
}

bool RIDocument::printToPrinter(QPrinter& printer)
{
    if (image_.isNull())
        return false;
    printer.setFromTo(1, 1);
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const QRectF page = printer.pageRect(QPrinter::DevicePixel);
    const QSizeF fitted = QSizeF(image_.size()).scaled(page.size(), Qt::KeepAspectRatio);
    const QRectF target((page.width() - fitted.width()) / 2, (page.height() - fitted.height()) / 2, fitted.width(),
                        fitted.height());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, image_);
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
