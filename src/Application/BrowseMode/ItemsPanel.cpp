#include "Application/BrowseMode/ItemsPanel.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QIcon>
#include <QPixmap>
#include <QToolButton>

#include "Application/BrowseMode/BrowsingModeController.h"
#include "Application/BrowseMode/DetailsViewControl.h"
#include "Application/BrowseMode/ThumbnailsViewControl.h"
#include "Common/Layout/ZovBoxLayout.h"
#include "Common/Strings/Gui/NSImageNamedImageExtended.h"
#include "Common/Views/SliderWithButtons.h"
#include "Common/Views/ZovViewLayout.h"
#include "Platform/Gui/View.h"
#include "Preferences/Preferences.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

ZovSizePolicy expanding() { return MakeExpandingSizePolicy(0, ZovSizeUnbounded); }

QIcon iconNamed(const char* name)
{
    const QImage image = NSImageNamedImageExtended::imageNamed(name, "images", QSize(10, 10));
    return image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image));
}

} // namespace

// --- the slider panel ---------------------------------------------------------------------------------

ScaleThumbnailsPanel* ScaleThumbnailsPanel::scaleThumbnailsPanel()
{
    return new ScaleThumbnailsPanel(QRect(0, 0, 50, 20));
}

ScaleThumbnailsPanel::ScaleThumbnailsPanel(const QRect& frame, QWidget* parent) : QWidget(parent)
{
    setGeometry(frame);
    slider_ = GTBottomToolbarStyle::newSliderWithWidth(frame.width(), nullptr, nullptr);
    slider_->setParent(this);
    slider_->setGeometry(0, 0, frame.width(), frame.height());
    slider_->setRange(32, 320);
    Value options = Value::dictionary({{NSContinuouslyUpdatesValueBindingOption, Value(true)}});
    Preferences::sharedPreferences().bind(*slider_->slider(), NSValueBinding, "ThumbnailStyle.Size", options);
}

void ScaleThumbnailsPanel::setSliderHidden(bool hidden) { slider_->setHidden(hidden); }

bool ScaleThumbnailsPanel::isSliderHidden() const { return slider_->isHidden(); }

void ScaleThumbnailsPanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    slider_->setGeometry(0, 0, width(), height());
}

// --- the panel ------------------------------------------------------------------------------------------

ItemsPanel* ItemsPanel::itemsPanel() { return new ItemsPanel; }

ItemsPanel::ItemsPanel()
{
    setGeometry(0, 0, 1, 1);
    auto box = ZovBoxLayout::createVertical();
    layout_ = box.get();
    auto nullItem = ZovLayoutItem::create();
    nullItem->setHSizePolicy(expanding());
    nullItem->setVSizePolicy(expanding());
    modeLayoutItem_ = nullItem.get();
    itemForMode_[""] = nullItem.get();
    layout_->addItem(std::move(nullItem));
    ZovViewLayout::attachLayout(std::unique_ptr<ZovLayout>(std::move(box)), this);
    createBottomToolbar();
    relayout();
    FolderProgressStrip::Placement placement;
    placement.show = [this](FolderProgressPanel* panel) { showProgressView(panel); };
    placement.close = [this](FolderProgressPanel* panel) {
        if (progressView_ != panel)
            return;
        progressView_ = nullptr; // the strip deletes it
        showProgressView(nullptr);
    };
    progressStrip_ = FolderProgressStrip::create(std::move(placement));
}

ItemsPanel::~ItemsPanel()
{
    if (FolderProgressPanel* panel = progressStrip_->progressPanel())
        progressStrip_->closeProgress(panel);
    progressStrip_ = nullptr;
    setSelectionAndHandler(nullptr, nullptr);
    buttonsUpdater_.reset();
    // The layout goes first; the spare items and the widgets after it.
    ZovViewLayout::detachLayoutFromView(this);
    layout_ = nullptr;
    spareItems_.clear();
}

void ItemsPanel::createBottomToolbar()
{
    toolBar_ = ZovToolBar::toolBar();
    const float offset = GTBottomToolbarStyle::standardButtonOffset();
    toolBar_->toolBarLayout()->setSpacing(offset);
    // Buttons 24 high in a 28-point bar: 2 above and below.
    toolBar_->toolBarLayout()->setMargins((GTBottomToolbarStyle::toolbarHeight() - GTBottomToolbarStyle::standardButtonSize().height()) / 2.0f);

    rotateButtons_ = new QWidget;
    rotateButtons_->setGeometry(0, 0, 2 * GTBottomToolbarStyle::standardButtonSize().width() + offset + 4,
                                GTBottomToolbarStyle::standardButtonSize().height());
    buttonsUpdater_ = std::make_unique<ZovButtonsStatusUpdater>(*this, *this, rotateButtons_);
    toolBar_->addView(rotateButtons_, MakeFixedSizePolicy(float(rotateButtons_->width())),
                      MakeFixedSizePolicy(float(rotateButtons_->height())));
    toolBar_->toolBarLayout()->addItem(ZovLayoutItem::createHorizontalSpacer(expanding()));

    auto* switcher = new QWidget;
    auto* row = new QHBoxLayout(switcher);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    itemsViewSwitcher_ = new QButtonGroup(switcher);
    itemsViewSwitcher_->setExclusive(true);
    const std::pair<const char*, const char*> segments[] = {
        {ItemsPanelDetailsMode, "ListView.icns"},
        {ItemsPanelThumbnailsMode, "IconView.icns"},
    };
    const std::string tips[] = {ZOV_TRANSLATE("Show images in a list", "createBottomToolbar"),
                                ZOV_TRANSLATE("Show thumbnails", "createBottomToolbar")};
    for (int index = 0; index < 2; ++index) {
        auto* button = new QToolButton(switcher);
        button->setCheckable(true);
        button->setIcon(iconNamed(segments[index].second));
        button->setIconSize(QSize(10, 10));
        button->setToolTip(QString::fromStdString(tips[index]));
        button->setProperty("modeTag", QString::fromLatin1(segments[index].first));
        button->setFocusPolicy(Qt::NoFocus);
        itemsViewSwitcher_->addButton(button, index);
        row->addWidget(button);
        const std::string tag = segments[index].first;
        QObject::connect(button, &QToolButton::clicked, this, [this, tag] { setBrowsingModeTag(tag); });
    }
    switcher->resize(switcher->sizeHint());
    toolBar_->addView(switcher, MakeFixedSizePolicy(float(switcher->width())),
                      MakeFixedSizePolicy(float(switcher->height())));
    toolBar_->toolBarLayout()->addItem(ZovLayoutItem::createHorizontalSpacer(expanding()));

    scaleThumbnailsPanel_ = ScaleThumbnailsPanel::scaleThumbnailsPanel();
    toolBar_->addView(scaleThumbnailsPanel_, MakeFixedSizePolicy(float(GTBottomToolbarStyle::standardSliderWithButtonsWidth())),
                      MakeFixedSizePolicy(float(GTBottomToolbarStyle::standardButtonSize().height())));
    scaleThumbnailsPanel_->setSliderHidden(true);

    View::addSubview(this, toolBar_);
    layout_->addItem(ZovViewLayoutItem::createLayoutItemForView(
        toolBar_, expanding(), MakeFixedSizePolicy(float(GTBottomToolbarStyle::toolbarHeight()))));
    syncSwitcher();
}

std::vector<std::uint32_t> ItemsPanel::allowedControlsID(ZovButtonsStatusUpdater&) { return {0, 1}; }

QWidget* ItemsPanel::createControlWithID(std::uint32_t identifier, ZovButtonsStatusUpdater&)
{
    switch (identifier) {
    case 0: {
        ActionButton* button = GTBottomToolbarStyle::newBevelButton(
            0, "RotateLeft.icns", QString::fromStdString(ZOV_TRANSLATE("Rotate Left", "createControlWithID:")));
        button->setAction("rotateLeft:");
        return button;
    }
    case 1: {
        ActionButton* button = GTBottomToolbarStyle::newBevelButton(
            1, "RotateRight.icns", QString::fromStdString(ZOV_TRANSLATE("Rotate Right", "createControlWithID:")));
        button->setAction("rotateRight:");
        return button;
    }
    default:
        return nullptr;
    }
}

QToolButton* ItemsPanel::switcherButton(int segment) const
{
    return static_cast<QToolButton*>(itemsViewSwitcher_->button(segment));
}

void ItemsPanel::createViewControls()
{
    if (!viewForMode_.empty())
        return;
    auto add = [this](const std::string& mode, ItemsViewControl* control) {
        control->hide();
        auto item = ZovViewLayoutItem::createLayoutItemForView(control, expanding(), expanding());
        itemForMode_[mode] = item.get();
        spareItems_[mode] = std::move(item);
        viewForMode_[mode] = control;
    };
    add(ItemsPanelDetailsMode, new DetailsViewControl(this));
    add(ItemsPanelThumbnailsMode, new ThumbnailsViewControl(this));
}

void ItemsPanel::setBrowsingModeController(BrowsingModeController* controller)
{
    browsingModeController_ = controller;
    if (!controller) {
        setSelectionAndHandler(nullptr, nullptr);
        return;
    }
    setSelectionAndHandler(controller->browsingSelection(), controller->browsingHandler());
}

void ItemsPanel::setSelectionAndHandler(BrowsingSelection* selection, BrowsingControlUserActionsProtocol* handler)
{
    if (selection || handler)
        createViewControls();
    for (auto& [mode, control] : viewForMode_)
        if (control) {
            control->setBrowsingControlUserActionsDelegate(handler);
            control->setBrowsingSelection(selection);
        }
    syncSwitcher();
}

ItemsViewControl* ItemsPanel::viewControlForMode(const std::string& mode) const
{
    auto found = viewForMode_.find(mode);
    return found == viewForMode_.end() ? nullptr : found->second.data();
}

ItemsViewControl* ItemsPanel::currentViewControl() const { return viewControlForMode(mode_); }

std::string ItemsPanel::browsingModeTag() const
{
    if (mode_ == ItemsPanelThumbnailsMode || mode_ == ItemsPanelDetailsMode)
        return mode_;
    return ItemsPanelNullMode;
}

void ItemsPanel::syncSwitcher()
{
    const std::string tag = browsingModeTag();
    // An exclusive group cannot be left with nothing checked: it is lifted for the null mode.
    itemsViewSwitcher_->setExclusive(false);
    for (QAbstractButton* button : itemsViewSwitcher_->buttons())
        button->setChecked(button->property("modeTag").toString().toStdString() == tag);
    itemsViewSwitcher_->setExclusive(true);
}

void ItemsPanel::setMode(const std::string& mode)
{
    if (mode == mode_)
        return;
    ItemsViewControl* old = currentViewControl();
    mode_ = mode;
    ItemsViewControl* control = viewControlForMode(mode);
    if (old && old != control)
        old->setIsViewActive(false);
    if (control)
        control->setIsViewActive(true);
    scaleThumbnailsPanel_->setSliderHidden(mode_ != ItemsPanelThumbnailsMode);
    if (!control) {
        mode_ = ItemsPanelNullMode;
        syncSwitcher();
        putInModeSlot("");
        return;
    }
    syncSwitcher();
    NotificationCenter::defaultCenter().postNotification(
        {ItemsPanelSelectionChangedNotification, Ref<Object>(View::viewObject(this)),
         Value::dictionary({{"currentMode", Value(mode_)}})});
    putInModeSlot(mode_);
    control->show();
    control->itemsViewWidget()->setFocus(Qt::OtherFocusReason);
}

void ItemsPanel::putInModeSlot(const std::string& key)
{
    ZovLayoutItem* wanted = itemForMode_[key];
    if (!wanted || wanted == modeLayoutItem_)
        return;
    std::string current;
    for (const auto& [mode, item] : itemForMode_)
        if (item == modeLayoutItem_)
            current = mode;
    // The item in the slot goes back to the spares; the wanted one leaves them.
    spareItems_[current] = layout_->removeItem(modeLayoutItem_);
    std::unique_ptr<ZovLayoutItem> owned = std::move(spareItems_[key]);
    spareItems_.erase(key);
    layout_->insertItem(std::move(owned), -1); // the front
    modeLayoutItem_ = wanted;
    for (auto& [mode, control] : viewForMode_)
        if (control && mode != key)
            control->hide();
    relayout();
}

void ItemsPanel::showProgressView(QWidget* strip)
{
    if (progressLayoutItem_) {
        std::unique_ptr<ZovLayoutItem> item = layout_->removeItem(progressLayoutItem_);
        progressLayoutItem_ = nullptr;
        item.reset();
        if (progressView_ && progressView_ != strip)
            delete progressView_.data();
        progressView_ = nullptr;
    }
    if (strip) {
        View::addSubview(this, strip);
        auto item = ZovViewLayoutItem::createLayoutItemForView(strip, expanding(), MakeFixedSizePolicy(50));
        progressLayoutItem_ = item.get();
        layout_->insertItem(std::move(item), 0); // after the mode slot
        progressView_ = strip;
        strip->show();
    }
    relayout();
}

void ItemsPanel::relayout()
{
    if (layout_)
        layout_->performRelayout();
}

// --- actions ---------------------------------------------------------------------------------------------

bool ItemsPanel::respondsToAction(const std::string& action) const
{
    ItemsViewControl* control = currentViewControl();
    return control && control->respondsToAction(action);
}

bool ItemsPanel::performAction(const std::string& action, QObject* sender)
{
    ItemsViewControl* control = currentViewControl();
    return control && control->performAction(action, sender);
}

bool ItemsPanel::validateUserInterfaceItem(const UserInterfaceItem& item)
{
    ItemsViewControl* control = currentViewControl();
    return control && control->validateUserInterfaceItem(item);
}

} // namespace vistel
