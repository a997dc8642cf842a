#include "Common/Views/GTBottomToolbarStyle.h"

#include <algorithm>

#include <QIcon>
#include <QPainter>
#include <QPaintEvent>
#include <QPixmap>

#include "Common/Strings/Gui/NSImageNamedImageExtended.h"
#include "Common/Views/SliderWithButtons.h"
#include "Common/Views/ZovViewLayout.h"
#include "Platform/Gui/EventTracking.h"
#include "Platform/Gui/Slider.h"
#include "Platform/NotificationCenter.h"

namespace vistel {

QColor GTBottomToolbarStyle::standardBackgroundColor()
{
    return QColor::fromRgbF(0.85f, 0.85f, 0.85f);
}

QRect GTBottomToolbarStyle::bevelButtonFrameForIndex(int index)
{
    const QSize button = standardButtonSize();
    return QRect(standardButtonOffset() + index * (button.width() + standardButtonOffset()),
                 (toolbarHeight() - button.height()) / 2, button.width(), button.height());
}

ActionButton* GTBottomToolbarStyle::newBevelButton(int index, const std::string& imageName, const QString& tooltip)
{
    auto* button = new ActionButton;
    button->setGeometry(bevelButtonFrameForIndex(index));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setToolTip(tooltip);
    const QImage image = NSImageNamedImageExtended::imageNamed(imageName, "images");
    if (!image.isNull()) {
        const QSize limit = standardButtonSize() - QSize(8, 8);
        const QSize shown(std::min(image.width(), limit.width()), std::min(image.height(), limit.height()));
        button->setIcon(QIcon(QPixmap::fromImage(image)));
        button->setIconSize(shown);
    }
    return button;
}

SliderWithButtons* GTBottomToolbarStyle::newSliderWithWidth(int width, const char* imageMin, const char* imageMax)
{
    return new SliderWithButtons(QRect(0, 0, width, 24), imageMin, imageMax);
}

Slider* GTBottomToolbarStyle::newSlider()
{
    auto* slider = new Slider(Qt::Horizontal);
    slider->setGeometry(0, 0, standardSliderWidth(), 24);
    return slider;
}

QWidget* GTBottomToolbarStyle::newToolbarViewWithFrame(const QRect& frame)
{
    auto* view = new GTBottomToolbarViewTemplate;
    view->setGeometry(frame);
    return view;
}

void GTBottomToolbarViewTemplate::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), GTBottomToolbarStyle::standardBackgroundColor());
}

ZovButtonsStatusUpdater::ZovButtonsStatusUpdater(ZovButtonsStatusUpdaterDataSource& dataSource, Responder& responder,
                                                 QWidget* parentView)
    : responder_(responder)
    , parentView_(parentView)
{
    for (std::uint32_t identifier : dataSource.allowedControlsID(*this)) {
        QWidget* control = dataSource.createControlWithID(identifier, *this);
        if (!control)
            continue;
        // Without a target the action travels the responder chain.
        if (auto* sender = dynamic_cast<Control*>(control))
            sender->setTarget(nullptr);
        View::addSubview(parentView_, control);
        buttons_[identifier] = control;
    }
    // Every window's updates: the parent view may move into another window later.
    NotificationCenter::defaultCenter().addObserver(this, [this](const Notification& notification) {
        QWidget* window = View::widgetOf(notification.object.get());
        if (window && parentView_ && parentView_->window() == window)
            updateControls();
    }, NSWindowDidUpdateNotification);
}

ZovButtonsStatusUpdater::~ZovButtonsStatusUpdater()
{
    NotificationCenter::defaultCenter().removeObserver(this);
}

QWidget* ZovButtonsStatusUpdater::controlWithID(std::uint32_t identifier) const
{
    auto found = buttons_.find(identifier);
    return found == buttons_.end() ? nullptr : found->second.data();
}

void ZovButtonsStatusUpdater::updateControls()
{
    for (const auto& [identifier, control] : buttons_) {
        if (!control)
            continue;
        if (auto* item = dynamic_cast<const UserInterfaceItem*>(control.data()))
            control->setEnabled(responder_.validateUserInterfaceItem(*item));
    }
}

ZovToolBar* ZovToolBar::toolBar()
{
    return new ZovToolBar;
}

ZovToolBar::ZovToolBar()
{
    setGeometry(0, 0, 1, 1);
    auto box = ZovBoxLayoutExt::create(ZovLayoutOrientationHorizontal);
    layout_ = box.get();
    ZovViewLayout::attachLayout(std::unique_ptr<ZovLayout>(std::move(box)), this);
}

void ZovToolBar::addView(QWidget* view)
{
    View::addSubview(this, view);
    layout_->addItem(ZovViewLayoutItem::createLayoutItemForView(view));
    layout_->performRelayout();
}

void ZovToolBar::addView(QWidget* view, const ZovSizePolicy& hPolicy, const ZovSizePolicy& vPolicy)
{
    View::addSubview(this, view);
    layout_->addItem(ZovViewLayoutItem::createLayoutItemForView(view, hPolicy, vPolicy));
    layout_->performRelayout();
}

void ZovToolBar::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), GTBottomToolbarStyle::standardBackgroundColor());
    // The frame's outlines are drawn on the host, which the bar covers: its own bottom line
    // closes them at the top.
    if (height() > 1)
        painter.fillRect(QRect(0, height() - 1, width(), 1), QColor::fromRgbF(0.741f, 0.741f, 0.741f));
}

} // namespace vistel
