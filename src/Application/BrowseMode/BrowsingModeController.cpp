#include "Application/BrowseMode/BrowsingModeController.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QMouseEvent>
#include <QPixmap>
#include <QTabBar>
#include <QToolButton>
#include <QWidgetAction>

#include "Application/BrowseMode/BrowserPanel.h"
#include "Application/BrowseMode/WindowStatusBarPanel.h"
#include "Application/BrowseMode/ItemsPanel.h"
#include "Application/BrowseMode/ItemsViewControl.h"
#include "Application/MainWindow.h"
#include "Application/Viewer/ImageInformation.h"
#include "Common/Layout/ZovMainWindowLayout.h"
#include "Common/Views/ZovMainWindow.h"
#include "Platform/Gui/View.h"
#include "Platform/Gui/Window.h"
#include "Preferences/Preferences.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/Layout/ZovSizePolicy.h"
#include "Common/Strings/Gui/NSImageNamedImageExtended.h"
#include "Common/Views/GTBottomToolbarStyle.h" // ZovMainWindow.h holds pointers to its tool bar, tab bars, windows
#include "Common/Views/ZovMainWindow.h"
#include "Platform/Exception.h"
#include "Platform/Formatter.h"
#include "Platform/Gui/EventTracking.h"
#include "Platform/Gui/Responder.h"
#include "Platform/Gui/Window.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

QImage named(const char* name, std::optional<QSize> size = QSize(10, 10))
{
    return size ? NSImageNamedImageExtended::imageNamed(name, "images", *size)
                : NSImageNamedImageExtended::imageNamed(name, "images");
}

QIcon iconOf(const QImage& image) { return image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image)); }

// A plain tool bar item: label, palette label and tool tip `title`.
ActionItem* plainItem(const std::string& identifier, const std::string& title, const char* image, const char* action,
                      int tag = 0)
{
    auto* item = new ActionItem(QString::fromStdString(title), action);
    item->setToolTip(QString::fromStdString(title));
    item->setIcon(iconOf(named(image, std::nullopt)));
    item->setTag(tag);
    item->setProperty("itemIdentifier", QString::fromStdString(identifier));
    return item;
}

// The tool bar's navigation control as the history drives it.
class NavigationSegmentsCell : public NavigationToolbarCell {
public:
    explicit NavigationSegmentsCell(std::vector<QPointer<ActionButton>> segments)
        : segments_(std::move(segments))
    {
    }
    void setToolTipForSegment(const std::string& toolTip, int segment) override
    {
        if (ActionButton* button = at(segment))
            button->setToolTip(QString::fromStdString(toolTip));
    }
    void setEnabledForSegment(bool enabled, int segment) override
    {
        if (ActionButton* button = at(segment))
            button->setEnabled(enabled);
    }

private:
    ActionButton* at(int segment) const
    {
        return segment >= 0 && std::size_t(segment) < segments_.size() ? segments_[std::size_t(segment)].data() : nullptr;
    }
    std::vector<QPointer<ActionButton>> segments_;
};

// The mouse's Back and Forward buttons pressed over the mode's views.
class MouseNavigationFilter : public QObject {
public:
    MouseNavigationFilter(QWidget* container, std::function<void(const char*)> send)
        : QObject(container)
        , container_(container)
        , send_(std::move(send))
    {
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::MouseButtonPress)
            return false;
        const Qt::MouseButton button = static_cast<QMouseEvent*>(event)->button();
        if (button != Qt::BackButton && button != Qt::ForwardButton)
            return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || !container_ || (widget != container_ && !container_->isAncestorOf(widget)))
            return false;
        send_(button == Qt::BackButton ? "backward:" : "forward:");
        return true;
    }

private:
    QPointer<QWidget> container_;
    std::function<void(const char*)> send_;
};

} // namespace

void BrowsingModeController::registerMode()
{
    MainWindow::registerModeFactory([](MainWindow& owner) -> std::unique_ptr<BasicModeController> {
        auto mode = std::make_unique<BrowsingModeController>(&owner);
        mode->setUp();
        return mode;
    });
}

BrowsingModeController::BrowsingModeController(MainWindow* mainWindowController)
    : BasicModeController(mainWindowController)
{
}

BrowsingModeController::~BrowsingModeController()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    fullScreenController_.reset();
    if (cachedPictures_)
        cachedPictures_->stop();
    storeItemsViewMode();
    if (navigationHistory_)
        navigationHistory_->detachBrowserPanel();
    // The panel outlives this object (the frame deletes it): it lets go of the selection and
    // the handler now.
    if (itemsPanel_)
        itemsPanel_->setBrowsingModeController(nullptr);
    if (metadataPanel_)
        metadataPanel_->setSelection(nullptr);
    if (BrowserPanel* panel = browserPanel()) {
        Preferences& preferences = Preferences::sharedPreferences();
        preferences.setValue(Value(vistel::format("%f", static_cast<double>(panel->width()))), prefs::BrowserPanelWidth);
        if (panel->browsingModeController() == this)
            panel->setBrowsingModeController(nullptr);
    }
    for (auto& [identifier, item] : toolbarItemForIdentifier)
        if (item && !item->parent())
            delete item.data();
}

std::string BrowsingModeController::controllerUIName() const { return ZOV_TRANSLATE("Manage", "controllerUIName"); }

QAction* BrowsingModeController::controllerToolbarItem()
{
    const std::string browsing = ZOV_TRANSLATE_CLASS("Browsing", "controllerToolbarItem");
    ActionItem* item = plainItem(ControllerID, browsing, "QuickLook.icns", "selectController:", 0);
    return item;
}

ItemsPanel* BrowsingModeController::itemsPanel() const { return itemsPanel_.data(); }

void BrowsingModeController::setActive(bool active)
{
    BasicModeController::setActive(active);
    if (!active)
        return;
    // The sidebar may have chosen its folder before it was in the window: the caption follows now.
    if (BrowserPanel* panel = browserPanel(); panel && parentWindow())
        panel->reloadWindowCaption();
    if (!itemsPanel_)
        return;
    if (ItemsViewControl* control = itemsPanel_->currentViewControl())
        if (QWidget* view = control->itemsViewWidget(); view && parentWindow())
            view->setFocus(Qt::OtherFocusReason);
}

void BrowsingModeController::onViewModeChanged(const Notification& notification)
{
    checkViewModeSegment(notification.userInfo.get("currentMode").toString());
}

void BrowsingModeController::checkViewModeSegment(std::optional<std::string> mode)
{
    if (!mode)
        mode = itemsPanel_ ? itemsPanel_->browsingModeTag() : std::string(ItemsPanelNullMode);
    auto cached = toolbarItemForIdentifier.find("thumbViewMode");
    if (cached == toolbarItemForIdentifier.end() || !cached->second)
        return;
    auto* item = dynamic_cast<QWidgetAction*>(cached->second.data());
    const auto buttons = item && item->defaultWidget() ? item->defaultWidget()->findChildren<ActionButton*>()
                                                       : QList<ActionButton*> {};
    if (buttons.size() != 2)
        return;
    buttons[1]->setChecked(*mode == ItemsPanelThumbnailsMode);
    buttons[0]->setChecked(*mode == ItemsPanelDetailsMode);
}

const ItemList& BrowsingModeController::browsingSelectedFolders() const
{
    static const ItemList none;
    return browsingSelection_ ? browsingSelection_->selectedFolders() : none;
}

void BrowsingModeController::initWindowLayout()
{
    handler_ = BrowsingUAHandler::create(this);
    setUIHandler(handler_);
    browsingSelection_ = BrowsingSelection::create();
    if (auto* bar = dynamic_cast<WindowStatusBarPanel*>(statusPanel()))
        bar->setDataSourceDelegate(browsingSelection_.get());
    // The picture viewer: its list over the selection, and full screen.
    cachedPictures_ = CachedPicturesViewController::initWithDataSource(browsingSelection_);
    fullScreenController_ = std::make_unique<FullScreenController>(*this);
    setActionHandler("goFullScreen:", [this](QObject*) {
        setFullScreenModeState(*fullScreenController_, !fullScreenController_->fullScreenIsActive());
    });
    // The navigation control's clicks, with the control as sender.
    setActionHandler("actionBrowse:", [this](QObject* sender) {
        if (handler_)
            handler_->actionBrowse(sender);
    });
    installNavigationKeys();

    // The right tabbed panel with its "Organize" and "Properties" tabs; docked while a tab is
    // visible.
    metadataPanel_ = MetadataPanel::metadataPanel();
    organizePanel_ = new OrganizePanel;
    rightTabbedPanel_ = DynamicTabbedPanel::create(*layoutController());
    rightTabbedPanel_->addTab(ZOV_TRANSLATE("Organize", "initWindowLayout"), organizePanel_, "showHideOrganizePanel:",
                              ZOV_TRANSLATE("Organize Panel", "initWindowLayout"), 0);
    rightTabbedPanel_->addTab(ZOV_TRANSLATE("Properties", "initWindowLayout"), metadataPanel_, "showHidePropertiesPanel:",
                              ZOV_TRANSLATE("Properties Panel", "initWindowLayout"), 1);
    rightTabbedPanel_->setAutosaveTabs(true);
    if (!rightTabbedPanel_->isPanelHidden())
        insertRightDynamicTabbedPanel();
    metadataPanel_->setSelection(browsingSelection_.get());
    organizePanel_->setSelection(browsingSelection_.get());

    ItemsPanel* items = ItemsPanel::itemsPanel();
    itemsPanel_ = items;
    items->setBrowsingModeController(this);
    if (ZovMainWindow* frame = layoutController()) {
        frame->setCentralView(items);
        if (ZovLayoutItem* content = frame->mainWindowLayout()->contentItem()) {
            content->setHSizePolicy(MakePreferredSizePolicy(400, 160, ZovSizeUnbounded));
            content->setVSizePolicy(MakePreferredSizePolicy(400, 160, ZovSizeUnbounded));
        }
        frame->relayout();
    }
    NotificationCenter::defaultCenter().addObserver(
        this, [this](const Notification& notification) { onViewModeChanged(notification); },
        ItemsPanelSelectionChangedNotification, View::viewObject(items));
    const std::string mode = Preferences::sharedPreferences().stringForKey(prefs::ItemsViewDefaultMode);
    items->setMode(mode.empty() ? ItemsPanelThumbnailsMode : mode);

    // The sidebar, docked on the left.
    BrowserPanel* panel = BrowserPanel::create();
    browserPanel_ = panel;
    browserPanelView_ = panel;
    std::unique_ptr<ZovDock> dock = ZovDock::create(panel);
    const double width = Preferences::sharedPreferences().doubleForKey(prefs::BrowserPanelWidth);
    dock->dockItemLayout()->contentItem()->setHSizePolicy(MakePreferredSizePolicy(static_cast<float>(static_cast<int>(width)), 200, -1));
    dock->dockItemLayout()->contentItem()->setVSizePolicy(MakePreferredSizePolicy(200, 80, -1));
    dock->setCaption(ZOV_TRANSLATE("Browse", "initWindowLayout"));
    dock->setCaptionTextAlignment(2);
    // The caption bar shows the title above the sidebar.
    dock->dockItemLayout()->captionItem()->setVSizePolicy(MakeFixedSizePolicy(22));
    if (ZovMainWindow* frame = layoutController())
        frame->dockAreaForPosition(ZovDockAreaPositionLeft)->splitBy(ZovLayoutOrientationVertical, std::move(dock), false);
    panel->setBrowsingModeController(this);

    // The navigation history follows the sidebar's selection.
    if (IBrowserPanelHistorySource* sidebar = historySidebar())
        navigationHistory_ = BrowserPanelHistory::create(sidebar);
    // The segments follow the chain's answers whenever the window updates.
    NotificationCenter::defaultCenter().addObserver(
        this, [this](const Notification&) { validateSegments(); }, NSWindowDidUpdateNotification);
}

void BrowsingModeController::installNavigationKeys()
{
    QWidget* container = containerView();
    if (!container)
        return;
    auto send = [this](const char* action) {
        if (handler_)
            handler_->processItems({}, nullptr, action, nullptr, nullptr);
    };
    // Alt+Left / Alt+Right are the main menu's Back and Forward: a second shortcut here would
    // make both ambiguous, and neither would act.
    qApp->installEventFilter(new MouseNavigationFilter(container, send));
}

// --- full screen ------------------------------------------------------------------------------------

void BrowsingModeController::setFullScreenModeState(FullScreenController& controller, bool isStarted)
{
    if (isStarted) {
        cachedPictures_->startWithBrowser(controller.fullScreenView());
        controller.startFullScreen();
        return;
    }
    // The picture shown last, by its place among the listed items (folders count too).
    Ref<FileSystemItemMO> shown;
    if (ImageInformation* current = cachedPictures_->currentImageInformation())
        shown = Ref<FileSystemItemMO>(current->imageItem());
    controller.stopFullScreen();
    if (shown && itemsPanel_) {
        const ItemList& listed = browsingSelection_->foldersObjects();
        for (std::size_t i = 0; i < listed.size(); ++i)
            if (listed[i].get() == shown.get()) {
                if (ItemsViewControl* control = itemsPanel_->currentViewControl())
                    control->scrollToItemWithIndex(unsigned(i));
                break;
            }
    }
    cachedPictures_->stop();
}

QWidget* BrowsingModeController::fullScreenReferenceWindow() const { return parentWindow(); }

// --- the right tabbed panel ------------------------------------------------------------------------

void BrowsingModeController::insertRightDynamicTabbedPanel()
{
    ZovDock* dock = rightTabbedPanel_ ? rightTabbedPanel_->dock() : nullptr;
    if (!dock)
        return;
    // A dock's size is its content's (the caption bar adds its fixed height).
    dock->dockItemLayout()->contentItem()->setHSizePolicy(MakePreferredSizePolicy(280, 80, -1));
    dock->dockItemLayout()->contentItem()->setVSizePolicy(MakePreferredSizePolicy(560, 300, -1));
    layoutController()->dockAreaForPosition(ZovDockAreaPositionRight)->splitBy(ZovLayoutOrientationVertical, *dock, true);
}

namespace {

// The sidebar's frame actions, answered whatever view has the focus (menus and tool bar).
bool isSidebarFrameAction(const std::string& action)
{
    return action == "newPictureFrame:" || action == "editPictureFrame:" || action == "resetPictureFrame:";
}

} // namespace

bool BrowsingModeController::respondsToAction(const std::string& action) const
{
    if (isSidebarFrameAction(action) && browserPanel())
        return true;
    return (rightTabbedPanel_ && rightTabbedPanel_->respondsToAction(action)) || BasicModeController::respondsToAction(action);
}

bool BrowsingModeController::performAction(const std::string& action, QObject* sender)
{
    if (isSidebarFrameAction(action))
        if (BrowserPanel* panel = browserPanel())
            return panel->performAction(action, sender);
    if (!rightTabbedPanel_ || !rightTabbedPanel_->respondsToAction(action))
        return BasicModeController::performAction(action, sender);
    rightTabbedPanel_->performAction(action);
    // The dock follows the panel: on the right while a tab is visible, out when none is.
    ZovDock* dock = rightTabbedPanel_->dock();
    const bool docked = dock->state() == ZovDockStateDocked;
    if (!rightTabbedPanel_->isPanelHidden() && dock->state() == ZovDockStateNotPlaced)
        insertRightDynamicTabbedPanel();
    else if (rightTabbedPanel_->isPanelHidden() && docked)
        dock->dockArea()->removeDock(*dock);
    return true;
}

bool BrowsingModeController::validateUserInterfaceItem(const UserInterfaceItem& item)
{
    if (isSidebarFrameAction(item.action()))
        if (BrowserPanel* panel = browserPanel())
            return panel->validateUserInterfaceItem(item);
    if (rightTabbedPanel_ && rightTabbedPanel_->respondsToAction(item.action()))
        return rightTabbedPanel_->validateUserInterfaceItem(item);
    return BasicModeController::validateUserInterfaceItem(item);
}

IBrowserPanelHistorySource* BrowsingModeController::historySidebar()
{
    return browserPanel();
}

void BrowsingModeController::windowWillClose()
{
    storeItemsViewMode();
}

void BrowsingModeController::storeItemsViewMode()
{
    if (!itemsPanel_)
        return;
    const std::string mode = itemsPanel_->browsingModeTag();
    if (mode != ItemsPanelNullMode)
        Preferences::sharedPreferences().setValue(Value(mode), prefs::ItemsViewDefaultMode);
}

void BrowsingModeController::selectDefaultItem()
{
    if (BrowserPanel* panel = browserPanel())
        panel->selectDefaultItem();
}

// --- the tool bar ------------------------------------------------------------------------------------

std::optional<std::vector<std::string>> BrowsingModeController::toolbarDefaultItemIdentifiers(WindowToolbar& toolbar)
{
    std::optional<std::vector<std::string>> base = BasicModeController::toolbarDefaultItemIdentifiers(toolbar);
    if (!base)
        return std::nullopt;
    std::vector<std::string> identifiers {"historyNavigator", NSToolbarSeparatorItemIdentifier, "newPhotoFrame",
                                          "editPhotoFrame", "resetPhotoFrame"};
    if (!base->empty()) {
        identifiers.push_back(NSToolbarFlexibleSpaceItemIdentifier);
        identifiers.insert(identifiers.end(), base->begin(), base->end());
    }
    return identifiers;
}

std::optional<std::vector<std::string>> BrowsingModeController::toolbarAllowedItemIdentifiers(WindowToolbar& toolbar)
{
    std::optional<std::vector<std::string>> allowed = BasicModeController::toolbarAllowedItemIdentifiers(toolbar);
    if (!allowed)
        return std::nullopt;
    const std::vector<std::string> defaults = BasicModeController::toolbarDefaultItemIdentifiers(toolbar).value_or(
        std::vector<std::string> {});
    for (const char* identifier : {"historyNavigator", "thumbViewMode", NSToolbarSpaceItemIdentifier,
                                   NSToolbarSeparatorItemIdentifier, NSToolbarCustomizeToolbarItemIdentifier,
                                   "newPhotoFrame", "editPhotoFrame", "resetPhotoFrame"})
        allowed->push_back(identifier);
    if (!defaults.empty()) {
        allowed->push_back(NSToolbarFlexibleSpaceItemIdentifier);
        allowed->insert(allowed->end(), defaults.begin(), defaults.end());
    }
    return allowed;
}

QAction* BrowsingModeController::makeToolbarItem(const std::string& identifier)
{
    QAction* item = makeItem(identifier);
    if (!item)
        throw Exception("NSInternalInconsistencyException",
                        vistel::format("Cannot construct toolbar item with identifier '%@' for toolbar '%@'", identifier,
                                       controllerID()));
    return item;
}

void BrowsingModeController::toolbarWillAddItem(WindowToolbar&, QAction* item)
{
    // The standard print item prints the selected pictures.
    if (auto* control = dynamic_cast<ActionItem*>(item);
        control && item->property("itemIdentifier").toString() == "NSToolbarPrintItem")
        control->setAction("printPictures:");
}

QImage BrowsingModeController::upArrowImage()
{
    const QImage right = named("GoRight.icns", std::nullopt);
    if (right.isNull())
        return right;
    QImage up(right.size(), QImage::Format_ARGB32_Premultiplied);
    up.fill(Qt::transparent);
    QPainter painter(&up);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // Qt's y axis points down: a quarter turn against the clock turns "right" into "up".
    painter.translate(up.width() / 2.0, up.height() / 2.0);
    painter.rotate(-90);
    painter.translate(-right.width() / 2.0, -right.height() / 2.0);
    painter.drawImage(0, 0, right);
    return up;
}

QAction* BrowsingModeController::makeSegmentedItem(const std::string& identifier, const std::string& label,
                                                   const std::vector<std::tuple<QImage, std::string, std::string>>& segments)
{
    auto* item = new QWidgetAction(nullptr);
    item->setText(QString::fromStdString(label));
    item->setToolTip(QString::fromStdString(label));
    item->setProperty("itemIdentifier", QString::fromStdString(identifier));
    auto* control = new QWidget;
    control->setObjectName(QString::fromStdString(identifier));
    auto* row = new QHBoxLayout(control);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    for (const auto& [image, tip, action] : segments) {
        auto* segment = new ActionButton(control);
        segment->setIcon(iconOf(image));
        // One size for every segment: the turned arrow keeps its pixels and is drawn smaller.
        segment->setIconSize(QSize(10, 10));
        segment->setToolTip(QString::fromStdString(tip));
        segment->setAction(action);
        segment->setAutoRaise(false);
        segment->setEnabled(false); // until the chain says otherwise
        row->addWidget(segment);
        segments_.push_back(segment);
    }
    control->setMinimumSize(control->sizeHint());
    item->setDefaultWidget(control);
    return item;
}

QAction* BrowsingModeController::makeItem(const std::string& identifier)
{
    auto tr = [this](const char* text) { return ZOV_TRANSLATE(text, "toolbar:itemForItemIdentifier:willBeInsertedIntoToolbar:"); };
    if (identifier == "historyNavigator") {
        const QImage up = upArrowImage();
        QAction* item = makeSegmentedItem(identifier, tr("Navigation History"),
                                          {{named("GoLeft.icns"), tr("Back"), "backward:"},
                                           {named("GoRight.icns"), tr("Forward"), "forward:"},
                                           {up, tr("Up"), "enclosingFolder:"}});
        // The text-only form: one entry per segment.
        auto* menu = new QMenu;
        for (auto [title, action] : {std::pair {"Back", "backward:"}, {"Forward", "forward:"}, {"Up", "enclosingFolder:"}})
            menu->addAction(new ActionItem(QString::fromStdString(tr(title)), action, menu));
        QObject::connect(item, &QObject::destroyed, menu, [menu] { delete menu; });
        item->setMenu(menu);
        if (navigationHistory_) {
            // The history drives the segments: clicks go to the handler as "actionBrowse:".
            std::vector<QPointer<ActionButton>> buttons(segments_.end() - 3, segments_.end());
            segments_.erase(segments_.end() - 3, segments_.end());
            for (std::size_t i = 0; i < buttons.size(); ++i) {
                buttons[i]->setAction("actionBrowse:");
                buttons[i]->setTarget(this);
                buttons[i]->setProperty("selectedSegment", int(i));
            }
            navigationHistory_->setNavigationToolbarCell(makeRef<NavigationSegmentsCell>(std::move(buttons)));
        }
        return item;
    }
    if (identifier == "thumbViewMode") {
        QAction* item = makeSegmentedItem(identifier, tr("View"),
                                          {{named("ListView.icns"), tr("Show images in a list"), "asList:"},
                                           {named("IconView.icns"), tr("Show thumbnails"), "asThumbnails:"}});
        // Each segment's tag is the items panel's mode it stands for.
        const auto buttons = static_cast<QWidgetAction*>(item)->defaultWidget()->findChildren<ActionButton*>();
        if (buttons.size() == 2) {
            buttons[0]->setProperty("modeTag", ItemsPanelDetailsMode);
            buttons[1]->setProperty("modeTag", ItemsPanelThumbnailsMode);
            // The segment of the panel's mode is shown pressed. A click sends the segment's
            // action; the state always comes back to the panel's mode.
            for (ActionButton* button : buttons) {
                button->setCheckable(true);
                QObject::connect(button, &QToolButton::clicked, button, [this] { checkViewModeSegment(); });
            }
            toolbarItemForIdentifier[identifier] = item;
            checkViewModeSegment();
        }
        return item;
    }
    if (identifier == "batch") {
        auto* item = new QWidgetAction(nullptr);
        const std::string label = tr("Batch operations");
        item->setText(QString::fromStdString(label));
        item->setToolTip(QString::fromStdString(label));
        item->setProperty("itemIdentifier", QString::fromStdString(identifier));
        auto* button = new QToolButton;
        button->setText(QString::fromStdString(tr("Batch")));
        button->setPopupMode(QToolButton::InstantPopup);
        button->setFixedSize(64, 32);
        auto* menu = new QMenu(button);
        for (auto [title, action] : {std::pair {"Batch Convert File Format…", "batchConvertFileFormat:"},
                                     {"Batch Resize…", "batchResize:"},
                                     {"Batch Rename…", "batchRename:"}})
            menu->addAction(new ActionItem(QString::fromStdString(tr(title)), action, menu));
        // Entries validate as the menu opens.
        QObject::connect(menu, &QMenu::aboutToShow, menu, [menu] {
            for (QAction* entry : menu->actions())
                if (auto* control = dynamic_cast<ActionItem*>(entry))
                    control->validate(menu->parentWidget() ? menu->parentWidget()->window() : nullptr);
        });
        button->setMenu(menu);
        item->setDefaultWidget(button);
        return item;
    }
    if (identifier == "deviceInfo") {
        ActionItem* item = plainItem(identifier, tr("Show/Hide Device Properties"), "Info.icns", "showHideDeviceProperties:");
        item->setTarget(this);
        return item;
    }
    struct Plain {
        const char* identifier;
        const char* title;
        const char* image;
        const char* action;
        int tag;
    } plain[] = {
        {"newPhotoFrame", "New Frame", "NewPictureFrame.icns", "newPictureFrame:", 0},
        {"editPhotoFrame", "Configure Frame", "ConfigurePictureFrame.icns", "editPictureFrame:", 0},
        {"resetPhotoFrame", "Reset Frame", "RemovePictureFrame.icns", "resetPictureFrame:", 0},
        {"rotateLeft", "Rotate Left", "RotateLeft.icns", "rotateLeft:", 1},
        {"rotateRight", "Rotate Right", "RotateRight.icns", "rotateRight:", 0},
    };
    for (const Plain& p : plain)
        if (identifier == p.identifier)
            return plainItem(identifier, tr(p.title), p.image, p.action, p.tag);
    return nullptr;
}

void BrowsingModeController::validateSegments()
{
    for (const QPointer<ActionButton>& segment : segments_)
        if (segment && segment->isVisible())
            segment->setEnabled(segment->validateFrom(segment->window()));
}

} // namespace vistel
