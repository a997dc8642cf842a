#include "Application/BrowseMode/DynamicTabbedPanel.h"

#include <algorithm>
#include <set>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QResizeEvent>
#include <QTabBar>
#include <QToolButton>

#include "Common/Layout/ZovSizePolicy.h"
#include "Common/Views/GTBottomToolbarStyle.h" // ZovMainWindow.h holds pointers to its tool bar, tab bars, windows
#include "Common/Views/ZovMainWindow.h"
#include "Platform/Gui/View.h"
#include "Platform/Gui/Window.h"
#include "Platform/NotificationCenter.h"
#include "Platform/UserDefaults.h"

namespace vistel {

namespace {
// The caption bar's height: the bar holds the segments.
constexpr float CaptionHeight = 22;
} // namespace

DynamicTabbedPanel* DynamicTabbedPanel::create(ZovMainWindow& frame)
{
    auto* panel = new DynamicTabbedPanel;
    std::unique_ptr<ZovDock> dock = ZovDock::create(panel);
    panel->dock_ = dock.get();
    frame.adoptDock(std::move(dock));

    ZovDock* owned = panel->dock_;
    owned->dockItemLayout()->captionItem()->setVSizePolicy(MakeFixedSizePolicy(CaptionHeight));
    QWidget* caption = owned->captionView();
    auto* control = new QWidget(caption);
    auto* row = new QHBoxLayout(control);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    panel->segmentedControl_ = control;
    panel->segments_ = new QButtonGroup(control);
    panel->segments_->setExclusive(true);
    QObject::connect(panel->segments_, &QButtonGroup::idClicked, panel,
                     [panel](int segment) { panel->selectTabInDynamicTabbedPanel(segment); });
    control->hide();
    NotificationCenter::defaultCenter().addObserver(
        panel, [panel](const Notification&) { panel->segmentedControlFrameChanged(); }, NSViewFrameDidChangeNotification,
        View::viewObject(caption));
    panel->segmentedControlFrameChanged();
    return panel;
}

DynamicTabbedPanel::DynamicTabbedPanel()
{
    setGeometry(0, 0, 100, 100);
}

DynamicTabbedPanel::~DynamicTabbedPanel()
{
    NotificationCenter::defaultCenter().removeObserver(this);
}

void DynamicTabbedPanel::addTab(std::string name, QWidget* view, std::string showHideSelector, std::string menu, int index)
{
    if (view) {
        view->setParent(this);
        view->hide();
    }
    Tab tab {std::move(name), view, std::move(menu), index, std::move(showHideSelector)};
    const auto at = static_cast<std::size_t>(std::clamp(index, 0, static_cast<int>(allTabs_.size())));
    allTabs_.insert(allTabs_.begin() + static_cast<std::ptrdiff_t>(at), std::move(tab));
}

void DynamicTabbedPanel::setAutosaveTabs(bool autosave)
{
    saveToPrefs_ = autosave;
    if (!autosave)
        return;
    loadFromPrefs();
    saveToPrefs();
}

void DynamicTabbedPanel::loadFromPrefs()
{
    std::set<std::string> names;
    const Value saved = UserDefaults::standard().arrayForKey(PreferencesKey);
    if (saved.isArray())
        for (const Value& name : saved.asArray())
            if (name.isString())
                names.insert(name.asString());
    std::vector<Tab> visible;
    for (const Tab& tab : allTabs_)
        if (names.count(tab.name))
            visible.push_back(tab);
    if (!visible.empty()) {
        tabs_ = std::move(visible);
        applyInfo(tabs_);
        selectTabByIndex(0);
    } else if (tabs_.empty()) {
        tabs_ = allTabs_;
        applyInfo(tabs_);
        if (selectedSegment() < 0 && !tabs_.empty())
            selectTabByIndex(0);
    }
    setPanelHidden(tabs_.empty());
}

void DynamicTabbedPanel::saveToPrefs() const
{
    Value::ArrayType names;
    for (const Tab& tab : tabs_)
        names.emplace_back(tab.name);
    UserDefaults::standard().setObject(Value(std::move(names)), PreferencesKey);
}

int DynamicTabbedPanel::tabIndexBySelector(const std::string& selector) const
{
    for (std::size_t i = 0; i < allTabs_.size(); ++i)
        if (allTabs_[i].selector == selector)
            return static_cast<int>(i);
    return -1;
}

const DynamicTabbedPanel::Tab* DynamicTabbedPanel::tabBySelector(const std::string& selector) const
{
    const int index = tabIndexBySelector(selector);
    return index < 0 ? nullptr : &allTabs_[static_cast<std::size_t>(index)];
}

bool DynamicTabbedPanel::tabIsVisible(const Tab& tab) const
{
    return std::any_of(tabs_.begin(), tabs_.end(), [&](const Tab& shown) { return shown.selector == tab.selector; });
}

void DynamicTabbedPanel::setVisible(bool visible, const Tab& given)
{
    const Tab tab = given; // `given` may live in the lists changed below
    if (visible == tabIsVisible(tab))
        return;
    const int selected = selectedSegment();
    const std::string selectedSelector =
        selected >= 0 && selected < static_cast<int>(tabs_.size()) ? tabs_[static_cast<std::size_t>(selected)].selector : "";
    bool affected = false;
    int position = 0;
    if (visible) {
        auto after = std::find_if(tabs_.begin(), tabs_.end(), [&](const Tab& shown) { return shown.index > tab.index; });
        position = static_cast<int>(after - tabs_.begin());
        tabs_.insert(after, tab);
        affected = position == selected;
    } else {
        auto found = std::find_if(tabs_.begin(), tabs_.end(), [&](const Tab& shown) { return shown.selector == tab.selector; });
        position = static_cast<int>(found - tabs_.begin());
        tabs_.erase(found);
        affected = position == selected;
    }
    applyInfo(tabs_);
    const int count = static_cast<int>(tabs_.size());
    if (count == 0) {
        if (currentView_)
            currentView_->hide();
        currentView_ = nullptr;
        setPanelHidden(true);
        return;
    }
    if (selected < 0) {
        selectTabByIndex(0);
    } else if (affected) {
        selectTabByIndex(std::min(selected, count - 1));
    } else if (visible) {
        selectTabByIndex(position);
    } else {
        // Another tab was hidden: the one shown stays shown, at its new place.
        auto kept = std::find_if(tabs_.begin(), tabs_.end(), [&](const Tab& shown) { return shown.selector == selectedSelector; });
        selectTabByIndex(kept == tabs_.end() ? 0 : static_cast<int>(kept - tabs_.begin()));
    }
    setPanelHidden(false);
    if (saveToPrefs_)
        saveToPrefs();
}

bool DynamicTabbedPanel::showHideTabBySelector(const std::string& selector)
{
    const Tab* tab = tabBySelector(selector);
    if (!tab)
        return false;
    setVisible(!tabIsVisible(*tab), *tab);
    return true;
}

void DynamicTabbedPanel::removeTabBySelector(const std::string& selector)
{
    std::erase_if(tabs_, [&](const Tab& tab) { return tab.selector == selector; });
}

void DynamicTabbedPanel::selectTabByIndex(int index)
{
    if (index < 0 || index >= static_cast<int>(tabs_.size()))
        return;
    QWidget* view = tabs_[static_cast<std::size_t>(index)].view;
    for (const Tab& tab : allTabs_)
        if (tab.view && tab.view != view)
            tab.view->hide();
    currentView_ = view;
    if (view) {
        view->setGeometry(rect());
        view->show();
    }
    setSelectedSegment(index);
}

void DynamicTabbedPanel::selectTabInDynamicTabbedPanel(int segment)
{
    selectTabByIndex(segment);
}

void DynamicTabbedPanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (currentView_)
        currentView_->setGeometry(rect());
}

int DynamicTabbedPanel::selectedSegment() const
{
    return segments_ ? segments_->checkedId() : -1;
}

void DynamicTabbedPanel::setSelectedSegment(int segment)
{
    if (!segments_)
        return;
    if (QAbstractButton* button = segments_->button(segment)) {
        button->setChecked(true);
        return;
    }
    // No segment: an exclusive group cannot uncheck its last button.
    segments_->setExclusive(false);
    for (QAbstractButton* button : segments_->buttons())
        button->setChecked(false);
    segments_->setExclusive(true);
}

void DynamicTabbedPanel::applyInfo(const std::vector<Tab>& tabs)
{
    if (!segments_ || !segmentedControl_)
        return;
    const int selected = selectedSegment();
    for (QAbstractButton* button : segments_->buttons()) {
        segments_->removeButton(button);
        delete button;
    }
    auto* row = static_cast<QHBoxLayout*>(segmentedControl_->layout());
    QFont font = QFontDatabase::systemFont(QFontDatabase::SmallestReadableFont);
    for (std::size_t i = 0; i < tabs.size(); ++i) {
        auto* segment = new QToolButton(segmentedControl_);
        const QString name = QString::fromStdString(tabs[i].name);
        segment->setText(name);
        segment->setToolTip(name);
        segment->setFont(font);
        segment->setCheckable(true);
        segment->setAutoRaise(false);
        segment->setFocusPolicy(Qt::NoFocus);
        row->addWidget(segment);
        segments_->addButton(segment, static_cast<int>(i));
    }
    if (selected >= 0 && selected < static_cast<int>(tabs.size()))
        segments_->button(selected)->setChecked(true);
    if (dock_) {
        if (tabs.size() >= 2) {
            dock_->setCaption({});
            segmentedControl_->show();
        } else {
            segmentedControl_->hide();
            dock_->setCaption(tabs.empty() ? std::string() : tabs.front().name);
            dock_->setCaptionTextAlignment(NSCenterTextAlignment);
        }
        if (QWidget* caption = dock_->captionView())
            caption->update();
    }
    segmentedControlFrameChanged();
}

void DynamicTabbedPanel::segmentedControlFrameChanged()
{
    if (!dock_ || !segmentedControl_ || !dock_->captionView())
        return;
    const QSize bar = dock_->captionView()->size();
    segmentedControl_->adjustSize();
    const QSize wanted = segmentedControl_->sizeHint();
    const int width = std::min(bar.width(), wanted.width());
    segmentedControl_->setGeometry((bar.width() - width) / 2, 2, width, wanted.height());
}

bool DynamicTabbedPanel::respondsToAction(const std::string& action) const
{
    return tabIndexBySelector(action) >= 0;
}

bool DynamicTabbedPanel::performAction(const std::string& action)
{
    return showHideTabBySelector(action);
}

bool DynamicTabbedPanel::validateUserInterfaceItem(const UserInterfaceItem& item) const
{
    const Tab* tab = tabBySelector(item.action());
    if (!tab)
        return false;
    // The item itself is the control being validated: it shows the tab's state.
    if (auto* menuItem = dynamic_cast<const ActionItem*>(&item)) {
        auto* shown = const_cast<ActionItem*>(menuItem);
        shown->setText(QString::fromStdString(tab->menu));
        shown->setCheckable(true);
        shown->setChecked(tabIsVisible(*tab));
    }
    return true;
}

void DynamicTabbedPanel::setPanelHidden(bool hidden)
{
    if (panelHidden_ == hidden)
        return;
    panelHidden_ = hidden;
    if (!dock_)
        return;
    dock_->dockItemLayout()->setVisible(!hidden);
    // The dock's area is laid out again without (or with) the panel.
    if (ZovDockArea* area = dock_->dockArea()) {
        if (ZovDockAreaLayout* layout = area->layout())
            layout->setNeedsRelayout();
        if (ZovMainWindow* frame = area->mainWindow())
            frame->relayout();
    }
}

} // namespace vistel
