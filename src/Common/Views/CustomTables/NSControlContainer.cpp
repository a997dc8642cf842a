#include "Common/Views/CustomTables/NSControlContainer.h"

#include <QResizeEvent>

namespace vistel {

NSControlContainer::NSControlContainer(const QRect& frame, QWidget* parent) : QWidget(parent)
{
    setGeometry(frame);
}

void NSControlContainer::setNSControl(QWidget* control)
{
    control_ = control;
    setFocusProxy(control);
    setFocusPolicy(control ? control->focusPolicy() : Qt::NoFocus);
}

void NSControlContainer::addSubview(QWidget* view, bool widthSizable)
{
    if (!view)
        return;
    const QRect frame = view->geometry();
    view->setParent(this);
    view->setGeometry(frame);
    view->show();
    if (widthSizable)
        sizable_.push_back({view, width() - (frame.x() + frame.width())});
}

QWidget* NSControlContainer::controlOfView(QWidget* view)
{
    if (auto* provider = dynamic_cast<NSControlProviderProtocol*>(view))
        if (QWidget* control = provider->nsControl())
            return control;
    return view;
}

void NSControlContainer::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    for (const Sizable& sizable : sizable_)
        if (QWidget* view = sizable.view.data()) {
            QRect frame = view->geometry();
            frame.setWidth(std::max(0, width() - sizable.rightMargin - frame.x()));
            view->setGeometry(frame);
        }
}

} // namespace vistel
