#include "Application/ViewMode/ViewModeController.h"

#include <QEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QScrollBar>
#include <QVBoxLayout>

#include "Application/BrowseMode/BrowsingModeController.h"
#include "Application/BrowseMode/MetadataPanel.h"
#include "Application/BrowseMode/ThumbnailsView.h"
#include "Application/BrowseMode/ThumbnailsViewControl.h"
#include "Application/MainWindow.h"
#include "Application/Viewer/CachedPicturesViewController.h"
#include "Application/Viewer/ImageInformation.h"
#include "Common/Icons/NSImageNameTemplatesLoader.h"
#include "Common/Layout/ZovMainWindowLayout.h"
#include "Common/Layout/ZovSizePolicy.h"
#include "Common/Strings/Gui/NSImageNamedImageExtended.h"
#include "Common/Views/SliderWithButtons.h"
#include "Common/Views/ZovMainWindow.h"
#include "Platform/Gui/Window.h"
#include "Platform/Log.h"
#include "Platform/RunLoop.h"
#include "Platform/UserDefaults.h"
#include "Preferences/Preferences.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

enum ControlID : std::uint32_t { RotateLeftControl = 0, RotateRightControl = 1, ZoomSliderControl = 2 };

constexpr double SliderMinimum = 0.1;
constexpr double SliderMaximum = 10.0;

struct ToolbarEntry {
    const char* identifier;
    const char* label;
    const char* image;
    const char* action;
};

const std::vector<ToolbarEntry>& toolbarEntries()
{
    static const std::vector<ToolbarEntry> entries {
        {"ViewModeConstrollerFirstImageIdentifier", "First image", "GoFirst.icns", "firstImage:"},
        {"ViewModeControllerPreviousImageIdentifier", "Previous image", "GoLeft.icns", "previousImage:"},
        {"ViewModeControllerNextImageIdentifier", "Next image", "GoRight.icns", "nextImage:"},
        {"ViewModeControllerLastImageIdentifier", "Last image", "GoLast.icns", "lastImage:"},
        {"ViewModeControllerZoomInIdentifier", "Zoom in(+)", "ZoomIn.icns", "zoomIn:"},
        {"ViewModeControllerZoomOutIdentifier", "Zoom out(-)", kImageNameRemove, "zoomOut:"},
        {"ViewModeControllerFullScreenIdentifier", "Full screen", kImageNameEnterFullScreen, "goFullScreen:"},
    };
    return entries;
}

QIcon iconNamed(const char* name)
{
    const QImage image = NSImageNamedImageExtended::imageNamed(name, "images");
    return image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image));
}

ActionItem* toolbarItem(const std::string& identifier, const std::string& label, const char* image, const char* action)
{
    auto* item = new ActionItem(QString::fromStdString(label), action);
    item->setToolTip(QString::fromStdString(label));
    item->setIcon(iconNamed(image));
    item->setProperty("itemIdentifier", QString::fromStdString(identifier));
    return item;
}

} // namespace

// --- the picture view ---------------------------------------------------------------------------

ViewModeImageView::ViewModeImageView(ViewModeController& controller, QScrollArea& scrollArea)
    : CachedImageView(controller.browsingCachedPicturesViewController())
    , controller_(controller)
    , scrollArea_(scrollArea)
{
}

QSizeF ViewModeImageView::enclosingScrollViewSize() const { return QSizeF(scrollArea_.maximumViewportSize()); }

QSizeF ViewModeImageView::superViewSize() const { return QSizeF(scrollArea_.maximumViewportSize()); }

bool ViewModeImageView::updateFrame()
{
    const QSizeF picture = drawImageSizeWithAngel();
    const QSize area = scrollArea_.maximumViewportSize();
    const bool wide = picture.width() > area.width(), tall = picture.height() > area.height();
    // A scroller on one axis takes room from the other.
    scrollArea_.setHorizontalScrollBarPolicy(wide ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    scrollArea_.setVerticalScrollBarPolicy(tall ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    const QSize viewport = scrollArea_.viewport()->size();
    const QSize wanted(wide ? int(std::ceil(picture.width())) : viewport.width(),
                       tall ? int(std::ceil(picture.height())) : viewport.height());
    if (wanted == size())
        return false;
    resize(wanted);
    return true;
}

bool ViewModeImageView::fastImageDraw() const
{
    ImageScrollView* scrollView = controller_.imageScrollView();
    SliderWithButtons* slider = scrollView ? scrollView->zoomSlider() : nullptr;
    return slider && slider->slider()->isSliderDown();
}

void ViewModeImageView::keyPressEvent(QKeyEvent* event)
{
    if (!controller_.keyDownEvent(*event))
        CachedImageView::keyPressEvent(event);
}

void ViewModeImageView::mouseDoubleClickEvent(QMouseEvent* event)
{
    controller_.itemsViewPerformDoubleClick(this);
    event->accept();
}

// --- the central view ---------------------------------------------------------------------------

ImageScrollView::ImageScrollView(ViewModeController& controller)
{
    scrollArea_ = new QScrollArea(this);
    scrollArea_->setFrameShape(QFrame::NoFrame);
    scrollArea_->setWidgetResizable(false);
    scrollArea_->setAlignment(Qt::AlignCenter);
    scrollArea_->setBackgroundRole(QPalette::Shadow);
    imageView_ = new ViewModeImageView(controller, *scrollArea_);
    scrollArea_->setWidget(imageView_);
    scrollArea_->installEventFilter(this);
    toolbar_ = GTBottomToolbarStyle::newToolbarViewWithFrame(QRect(0, 0, 300, GTBottomToolbarStyle::toolbarHeight()));
    toolbar_->setFixedHeight(GTBottomToolbarStyle::toolbarHeight());
    toolbar_->installEventFilter(this);
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
    box->addWidget(scrollArea_, 1);
    box->addWidget(toolbar_);
    buttonsStatusUpdater_ = std::make_unique<ZovButtonsStatusUpdater>(controller, controller, toolbar_);
    // The slider and the view's zoom follow each other.
    zoomObserver_ = imageView_->addZoomValueObserver([this](double value) {
        if (SliderWithButtons* slider = zoomSlider())
            slider->setDoubleValue(value);
    });
    if (SliderWithButtons* slider = zoomSlider()) {
        slider->setDoubleValue(imageView_->zoomValue());
        // Let go: the full picture again.
        QObject::connect(slider->slider(), &Slider::sliderReleased, imageView_, [this] { imageView_->updateContent(); });
    }
}

ImageScrollView::~ImageScrollView() { imageView_->removeZoomValueObserver(zoomObserver_); }

QWidget* ImageScrollView::controlPanelControlByID(std::uint32_t identifier) const
{
    return buttonsStatusUpdater_->controlWithID(identifier);
}

SliderWithButtons* ImageScrollView::zoomSlider() const
{
    return buttonsStatusUpdater_ ? dynamic_cast<SliderWithButtons*>(controlPanelControlByID(ZoomSliderControl)) : nullptr;
}

bool ImageScrollView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize) {
        if (watched == scrollArea_ && imageView_->isImageViewIsActive())
            imageView_->updateContent();
        // The slider keeps 10 pixels from the bar's right edge.
        if (watched == toolbar_)
            if (SliderWithButtons* slider = zoomSlider()) {
                const int width = GTBottomToolbarStyle::standardSliderWithButtonsWidth();
                slider->move(std::max(toolbar_->width() - 10, 0) - width,
                             (toolbar_->height() - slider->height()) / 2);
            }
    }
    return QWidget::eventFilter(watched, event);
}

// --- the mode -----------------------------------------------------------------------------------

ViewModeController::ViewModeController(MainWindow* mainWindowController)
    : BasicModeController(mainWindowController)
{
}

ViewModeController::~ViewModeController()
{
    if (zoomModeObserver_)
        UserDefaults::standard().removeObserver(zoomModeObserver_);
    RunLoop::main()->cancelPerforms(this);
    fullScreenController_.reset();
    if (auto* panel = dynamic_cast<MetadataPanel*>(metadataPanel_.data()))
        panel->setSelection(nullptr);
    if (metadataPanel_ && !metadataDock_)
        delete metadataPanel_.data(); // never docked: nothing else owns it
    if (CachedPicturesViewController* list = browsingCachedPicturesViewController()) {
        if (observingList_)
            list->removeGetSelectionObserver(this);
        if (imageScrollView_ && list->isBrowserIsActive(imageScrollView_->imageView()))
            list->stop();
    }
    if (thumbnailsView_) {
        thumbnailsView_->setDataSource(nullptr);
        thumbnailsView_->setUserActionsDelegate(nullptr);
        for (const auto& binding : ThumbnailsViewControl::preferenceBindings())
            UserDefaultsController::unbind(*thumbnailsView_, binding.binding);
    }
    for (auto& [identifier, item] : toolbarItemForIdentifier)
        if (item && !item->parent())
            delete item.data();
}

std::string ViewModeController::controllerUIName() const { return ZOV_TRANSLATE("View", "controllerUIName"); }

QAction* ViewModeController::controllerToolbarItem()
{
    const std::string view = ZOV_TRANSLATE_CLASS("View", "controllerToolbarItem");
    return toolbarItem(ControllerID, view, kImageNameSlideshow, "selectController:");
}

CachedPicturesViewController* ViewModeController::browsingCachedPicturesViewController() const
{
    auto* browse = dynamic_cast<BrowsingModeController*>(browsingModeController());
    return browse ? browse->browsingCachedPicturesViewController() : nullptr;
}

QWidget* ViewModeController::fullScreenReferenceWindow() const { return parentWindow(); }

ViewModeImageView* ViewModeController::imageView() const
{
    return imageScrollView_ ? imageScrollView_->imageView() : nullptr;
}

CachedImageView* ViewModeController::activeView() const
{
    if (fullScreenController_ && fullScreenController_->fullScreenIsActive())
        return fullScreenController_->fullScreenView();
    return imageView();
}

void ViewModeController::initWindowLayout()
{
    fullScreenController_ = std::make_unique<FullScreenController>(*this);
    setUIHandler(Ref<BasicUIHandler>::adopt(new ViewUIHandler(this)));
    installActions();
    imageScrollView_ = new ImageScrollView(*this);
    applyZoomModePreference();
    // Changes may come from any thread; the view changes on the main thread.
    zoomModeObserver_ = UserDefaults::standard().addObserver(prefs::DefaultZoomMode, [this](const std::string&, const Value&) {
        RunLoop::main()->perform([this] { applyZoomModePreference(); }, {NSRunLoopCommonModes}, 0, this);
    });

    // The strip: one row of the same pictures.
    auto* strip = new QScrollArea;
    strip->setFrameShape(QFrame::NoFrame);
    strip->setWidgetResizable(false);
    strip->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    strip->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto* thumbnails = new ThumbnailsView;
    strip->setWidget(thumbnails);
    thumbnails->setItemsVerticalSpacing(1.0f);
    thumbnails->setDataSource(this);
    thumbnails->setUserActionsDelegate(this);
    const Value continuous = Value::dictionary({{NSContinuouslyUpdatesValueBindingOption, Value(true)}});
    for (const auto& binding : ThumbnailsViewControl::preferenceBindings())
        if (std::string_view(binding.key).rfind("ThumbnailInfo.", 0) == 0)
            Preferences::sharedPreferences().bind(*thumbnails, binding.binding, binding.key, continuous);
    thumbnailsView_ = thumbnails;
    strip_ = strip;
    setMetadataPanel(new MetadataPanel);

    if (ZovMainWindow* frame = layoutController()) {
        frame->setCentralView(imageScrollView_);
        std::unique_ptr<ZovDock> dock = ZovDock::create(strip);
        dock->setCaption(ZOV_TRANSLATE("View", "initWindowLayout"));
        dock->setCaptionTextAlignment(2);
        dock->dockItemLayout()->contentItem()->setHSizePolicy(MakePreferredSizePolicy(200, 80, -1));
        dock->dockItemLayout()->contentItem()->setVSizePolicy(MakePreferredSizePolicy(145, 80, -1));
        dock->dockItemLayout()->captionItem()->setVSizePolicy(MakeFixedSizePolicy(0));
        dockForPanel[ControllerID] = strip;
        frame->dockAreaForPosition(ZovDockAreaPositionBottom)->splitBy(ZovLayoutOrientationVertical, std::move(dock), false);
        frame->relayout();
    }
}

void ViewModeController::applyZoomModePreference()
{
    if (ViewModeImageView* view = imageView())
        view->setZoomMode(static_cast<ImageZoomMode>(
            std::clamp<std::int64_t>(Preferences::sharedPreferences().integerForKey(prefs::DefaultZoomMode), 0, 4)));
}

void ViewModeController::installActions()
{
    auto list = [this] { return browsingCachedPicturesViewController(); };
    setActionHandler("firstImage:", [list](QObject*) {
        if (list() && list()->imagesCount() > 0)
            list()->firstImage();
    });
    setActionHandler("lastImage:", [list](QObject*) {
        if (list() && list()->imagesCount() > 0)
            list()->lastImage();
    });
    setActionHandler("nextImage:", [list](QObject*) {
        if (list())
            list()->nextImage();
    });
    setActionHandler("previousImage:", [list](QObject*) {
        if (list())
            list()->previousImage();
    });
    setActionHandler("rotateLeft:", [list](QObject*) {
        if (list())
            list()->rotateImageLeft(list()->currentImageInformation());
    });
    setActionHandler("rotateRight:", [list](QObject*) {
        if (list())
            list()->rotateImageRight(list()->currentImageInformation());
    });
    setActionHandler("goFullScreen:", [this](QObject*) {
        setFullScreenModeState(*fullScreenController_, !fullScreenController_->fullScreenIsActive());
    });
    setActionHandler("showHidePropertiesPanel:", [this](QObject*) { showHidePropertiesPanel(); });
    setActionHandler(TakeZoomAction, [this](QObject* sender) {
        auto* slider = dynamic_cast<Slider*>(sender);
        if (slider && imageView())
            imageView()->setZoomValue(slider->doubleValue());
    });
}

void ViewModeController::setActive(bool active)
{
    BasicModeController::setActive(active);
    CachedPicturesViewController* list = browsingCachedPicturesViewController();
    if (!list)
        return;
    if (active) {
        if (!observingList_) {
            list->addGetSelectionObserver(this);
            observingList_ = true;
        }
        list->startWithBrowser(activeView());
        return;
    }
    // The picture shown becomes the browsing selection, by its place among the listed items.
    if (ImageInformation* current = list->currentImageInformation())
        if (auto* browse = dynamic_cast<BrowsingModeController*>(browsingModeController()))
            if (BrowsingSelection* selection = browse->browsingSelection()) {
                const ItemList& listed = selection->foldersObjects();
                for (std::size_t i = 0; i < listed.size(); ++i)
                    if (listed[i].get() == current->imageItem()) {
                        selection->setSelectedObjectsIndexes(IndexSet(i));
                        break;
                    }
            }
    list->stop();
    if (observingList_) {
        list->removeGetSelectionObserver(this);
        observingList_ = false;
    }
}

// --- the metadata dock --------------------------------------------------------------------------

void ViewModeController::setMetadataPanel(QWidget* panel)
{
    if (metadataDock_) {
        if (metadataDock_->dockArea())
            metadataDock_->dockArea()->removeDock(*metadataDock_);
        metadataDock_->setView(nullptr);
    }
    metadataPanel_ = panel;
    if (panel)
        panel->hide();
}

bool ViewModeController::isMetadataPanelVisible() const
{
    return metadataPanel_ && metadataDock_ && metadataDock_->state() == ZovDockStateDocked;
}

void ViewModeController::insertMetadataPanel()
{
    ZovMainWindow* frame = layoutController();
    if (!metadataPanel_ || !frame)
        return;
    ZovDockArea* right = frame->dockAreaForPosition(ZovDockAreaPositionRight);
    if (!metadataDock_) {
        std::unique_ptr<ZovDock> dock = ZovDock::create(metadataPanel_);
        dock->setCaption(ZOV_TRANSLATE("Metadata", "insertMetadataPanel"));
        dock->setCaptionTextAlignment(2);
        dock->dockItemLayout()->contentItem()->setHSizePolicy(MakePreferredSizePolicy(280, 80, -1));
        dock->dockItemLayout()->contentItem()->setVSizePolicy(MakeExpandingSizePolicy(0, -1));
        metadataDock_ = dock.get();
        right->splitBy(ZovLayoutOrientationVertical, std::move(dock), true);
    } else {
        if (metadataDock_->view() != metadataPanel_)
            metadataDock_->setView(metadataPanel_);
        right->splitBy(ZovLayoutOrientationVertical, *metadataDock_, true);
    }
    dockForPanel["MetadataPanel"] = metadataPanel_;
    if (auto* panel = dynamic_cast<MetadataPanel*>(metadataPanel_.data()))
        panel->setSelection(browsingCachedPicturesViewController());
    metadataPanel_->show();
    frame->relayout();
}

void ViewModeController::showHidePropertiesPanel()
{
    if (!metadataPanel_)
        return;
    if (isMetadataPanelVisible()) {
        if (auto* panel = dynamic_cast<MetadataPanel*>(metadataPanel_.data()))
            panel->setSelection(nullptr);
        metadataPanel_->hide();
        metadataDock_->dockArea()->removeDock(*metadataDock_);
        if (ZovMainWindow* frame = layoutController())
            frame->relayout();
        return;
    }
    insertMetadataPanel();
}

// --- full screen --------------------------------------------------------------------------------

void ViewModeController::setFullScreenModeState(FullScreenController& controller, bool isStarted)
{
    CachedPicturesViewController* list = browsingCachedPicturesViewController();
    if (!list)
        return;
    if (isStarted) {
        list->startWithBrowser(controller.fullScreenView());
        controller.startFullScreen();
        return;
    }
    controller.stopFullScreen();
    scrollStripToCurrent();
    list->startWithBrowser(imageView());
}

void ViewModeController::scrollStripToCurrent()
{
    CachedPicturesViewController* list = browsingCachedPicturesViewController();
    if (thumbnailsView_ && list && list->currentImageIndex() != NSNotFound)
        thumbnailsView_->scrollToItemWithIndex(list->currentImageIndex());
}

// --- routing ------------------------------------------------------------------------------------

bool ViewModeController::respondsToAction(const std::string& action) const
{
    if (BasicModeController::respondsToAction(action))
        return true;
    CachedImageView* view = activeView();
    return view && view->respondsToAction(action);
}

bool ViewModeController::performAction(const std::string& action, QObject* sender)
{
    if (Responder::respondsToAction(action))
        return Responder::performAction(action, sender);
    if (uiHandler() && uiHandler()->respondsToUserActionSelector(action))
        return BasicModeController::performAction(action, sender);
    CachedImageView* view = activeView();
    return view && view->performAction(action, sender);
}

bool ViewModeController::validateUserInterfaceItem(const UserInterfaceItem& item)
{
    const std::string action = item.action();
    CachedPicturesViewController* list = browsingCachedPicturesViewController();
    const unsigned count = list ? list->imagesCount() : 0;
    const unsigned current = list ? list->currentImageIndex() : unsigned(NSNotFound);
    if (action == "showHidePropertiesPanel:") {
        if (auto* menuItem = dynamic_cast<const ActionItem*>(&item); menuItem && qobject_cast<QMenu*>(menuItem->parent()))
            const_cast<ActionItem*>(menuItem)->setText(QString::fromStdString(ZOV_TRANSLATE(
                isMetadataPanelVisible() ? "Hide Metadata" : "Show Metadata", "validateUserInterfaceItem:")));
        return metadataPanel_ != nullptr;
    }
    if (action == "firstImage:" || action == "previousImage:")
        return count > 0 && current != NSNotFound && current != 0;
    if (action == "lastImage:" || action == "nextImage:")
        return count > 0 && current != NSNotFound && current != count - 1;
    if (action == "rotateLeft:" || action == "rotateRight:" || action == TakeZoomAction)
        return list && list->currentImageInformation();
    if (action.empty() || action == "goFullScreen:")
        return true;
    if (CachedImageView* view = activeView(); view && view->respondsToAction(action))
        return view->validateUserInterfaceItem(item);
    return BasicModeController::validateUserInterfaceItem(item);
}

bool ViewModeController::keyDownEvent(const QKeyEvent& event)
{
    ZovLog("ViewModeController::keyDown " + event.text().toStdString());
    switch (FullScreenController::actionForKey(event.key())) {
    case FullScreenController::KeyAction::Next:
        return performAction("nextImage:", nullptr);
    case FullScreenController::KeyAction::Previous:
        return performAction("previousImage:", nullptr);
    case FullScreenController::KeyAction::First:
        return performAction("firstImage:", nullptr);
    case FullScreenController::KeyAction::Last:
        return performAction("lastImage:", nullptr);
    case FullScreenController::KeyAction::None:
        break;
    }
    return false;
}

// --- tool bar -----------------------------------------------------------------------------------

std::optional<std::vector<std::string>> ViewModeController::toolbarAllowedItemIdentifiers(WindowToolbar& toolbar)
{
    std::optional<std::vector<std::string>> base = BasicModeController::toolbarAllowedItemIdentifiers(toolbar);
    if (!base)
        return std::nullopt;
    std::vector<std::string> allowed;
    for (const ToolbarEntry& entry : toolbarEntries())
        allowed.push_back(entry.identifier);
    if (!base->empty()) {
        allowed.push_back(NSToolbarFlexibleSpaceItemIdentifier);
        allowed.insert(allowed.end(), base->begin(), base->end());
    }
    return allowed;
}

std::optional<std::vector<std::string>> ViewModeController::toolbarDefaultItemIdentifiers(WindowToolbar& toolbar)
{
    std::optional<std::vector<std::string>> base = BasicModeController::toolbarDefaultItemIdentifiers(toolbar);
    if (!base)
        return std::nullopt;
    std::vector<std::string> defaults;
    for (std::size_t i = 0; i < 4; ++i)
        defaults.push_back(toolbarEntries()[i].identifier);
    defaults.push_back(NSToolbarSeparatorItemIdentifier);
    if (!base->empty()) {
        defaults.push_back(NSToolbarFlexibleSpaceItemIdentifier);
        defaults.insert(defaults.end(), base->begin(), base->end());
    }
    return defaults;
}

QAction* ViewModeController::makeToolbarItem(const std::string& identifier)
{
    for (const ToolbarEntry& entry : toolbarEntries())
        if (identifier == entry.identifier) {
            ActionItem* item = toolbarItem(entry.identifier,
                                           ZOV_TRANSLATE(entry.label, "toolbar:itemForItemIdentifier:willBeInsertedIntoToolbar:"),
                                           entry.image, entry.action);
            item->setTarget(this);
            return item;
        }
    return nullptr;
}

// --- the strip ----------------------------------------------------------------------------------

unsigned ViewModeController::foldersObjectsCount() const
{
    CachedPicturesViewController* list = browsingCachedPicturesViewController();
    return list ? list->imagesCount() : 0;
}

Ref<FileSystemItemMO> ViewModeController::foldersObjectAtIndex(unsigned index) const
{
    CachedPicturesViewController* list = browsingCachedPicturesViewController();
    return list ? list->imageItemAtIndex(index) : nullptr;
}

unsigned ViewModeController::selectedFoldersCount() const
{
    CachedPicturesViewController* list = browsingCachedPicturesViewController();
    return list ? list->selectedFoldersCount() : 0;
}

Ref<FileSystemItemMO> ViewModeController::selectedFolderAtIndex(unsigned index) const
{
    CachedPicturesViewController* list = browsingCachedPicturesViewController();
    return list ? list->selectedFolderAtIndex(index) : nullptr;
}

IndexSet ViewModeController::selectedItemsIndexes() const
{
    CachedPicturesViewController* list = browsingCachedPicturesViewController();
    return list ? list->selectedImagesIndexes() : IndexSet();
}

void ViewModeController::setSelectedItemsIndexes(const IndexSet& indexes)
{
    if (CachedPicturesViewController* list = browsingCachedPicturesViewController())
        list->setSelectedImagesIndexes(indexes);
}

bool ViewModeController::isViewActive() const
{
    return !fullScreenController_ || !fullScreenController_->fullScreenIsActive();
}

void ViewModeController::itemsViewPerformDoubleClick(QWidget*) { performAction("goFullScreen:", nullptr); }

// --- the bottom bar -----------------------------------------------------------------------------

std::vector<std::uint32_t> ViewModeController::allowedControlsID(ZovButtonsStatusUpdater&)
{
    return {RotateLeftControl, RotateRightControl, ZoomSliderControl};
}

QWidget* ViewModeController::createControlWithID(std::uint32_t identifier, ZovButtonsStatusUpdater& updater)
{
    auto tr = [this](const char* text) {
        return QString::fromStdString(ZOV_TRANSLATE(text, "createControlWithID:statusUpdater:"));
    };
    switch (identifier) {
    case RotateLeftControl:
    case RotateRightControl: {
        const bool left = identifier == RotateLeftControl;
        ActionButton* button = GTBottomToolbarStyle::newBevelButton(int(identifier), left ? "RotateLeft.icns" : "RotateRight.icns",
                                                                    tr(left ? "Rotate Left" : "Rotate Right"));
        button->setAction(left ? "rotateLeft:" : "rotateRight:");
        button->setTarget(this);
        return button;
    }
    case ZoomSliderControl: {
        const int width = GTBottomToolbarStyle::standardSliderWithButtonsWidth();
        SliderWithButtons* slider = GTBottomToolbarStyle::newSliderWithWidth(width, nullptr, nullptr);
        QWidget* parent = updater.parentView();
        slider->move(std::max(parent ? parent->width() - 10 : 0, 0) - width, 0);
        slider->setRange(SliderMinimum, SliderMaximum);
        slider->setToolTip(tr("Image Zoom"));
        slider->setAction(TakeZoomAction);
        slider->setTarget(this);
        return slider;
    }
    default:
        return nullptr;
    }
}

// --- the list -----------------------------------------------------------------------------------

void ViewModeController::observeValueForKeyPath(const std::string& keyPath, ImageInformationArrayController& controller,
                                                const ArrayControllerChange&)
{
    CachedPicturesViewController* list = browsingCachedPicturesViewController();
    if (!list || !list->isValidArrayController(&controller) || !thumbnailsView_)
        return;
    if (keyPath == ArrangedObjectsKeyPath) {
        thumbnailsView_->updateLayoutAndFrame();
        thumbnailsView_->reloadData();
        scrollStripToCurrent();
    } else if (keyPath == SelectionKeyPath) {
        if (list->oldSelectedIndex() != NSNotFound)
            thumbnailsView_->updateItemWithIndex(list->oldSelectedIndex());
        if (list->currentImageIndex() != NSNotFound) {
            thumbnailsView_->updateItemWithIndex(list->currentImageIndex());
            scrollStripToCurrent();
        }
    }
}

} // namespace vistel
