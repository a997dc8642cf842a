#include "Application/BrowseMode/BrowsingModeController.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QToolButton>
#include <QWidgetAction>

#include "Application/BrowseMode/BrowserPanel.h"
#include "Application/MainWindow.h"
#include "Common/Views/ZovMainWindow.h"
#include "Platform/Gui/Window.h"
#include "Preferences/Preferences.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/Strings/Gui/NSImageNamedImageExtended.h"
#include "Platform/Exception.h"
#include "Platform/Formatter.h"
#include "Platform/Gui/EventTracking.h"
#include "Platform/Gui/Responder.h"
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
    // The segments follow the chain's answers whenever the window updates.
    NotificationCenter::defaultCenter().addObserver(
        this, [this](const Notification&) { validateSegments(); }, NSWindowDidUpdateNotification);
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

QAction* BrowsingModeController::toolbarItemForItemIdentifier(WindowToolbar& toolbar, const std::string& identifier,
                                                              bool willBeInserted)
{
    if (toolbar.identifier() != controllerID())
        return nullptr;
    auto cached = toolbarItemForIdentifier.find(identifier);
    if (cached != toolbarItemForIdentifier.end() && cached->second)
        return cached->second;
    if (QAction* base = BasicModeController::toolbarItemForItemIdentifier(toolbar, identifier, willBeInserted))
        return base;
    QAction* item = makeItem(identifier);
    if (!item)
        throw Exception("NSInternalInconsistencyException",
                        vistel::format("Cannot construct toolbar item with identifier '%@' for toolbar '%@'", identifier,
                                       toolbar.identifier()));
    toolbarItemForIdentifier[identifier] = item;
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
        return item;
    }
    if (identifier == "thumbViewMode") {
        QAction* item = makeSegmentedItem(identifier, tr("View"),
                                          {{named("ListView.icns"), tr("Show images in a list"), "asList:"},
                                           {named("IconView.icns"), tr("Show thumbnails"), "asThumbnails:"}});
        // Each segment's tag is the items panel's mode it stands for.
        const auto buttons = static_cast<QWidgetAction*>(item)->defaultWidget()->findChildren<ActionButton*>();
        if (buttons.size() == 2) {
            buttons[0]->setProperty("modeTag", "ItemsPanelDetailsMode");
            buttons[1]->setProperty("modeTag", "ItemsPanelThumbnailsMode");
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
