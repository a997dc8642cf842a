#include "Platform/Gui/Window.h"

#include <cfloat>
#include <cmath>

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

#include "Platform/Gui/View.h"
#include "Platform/NotificationCenter.h"

namespace vistel {

Window::Window(QWidget* parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags)
    , maxSize_(FLT_MAX, FLT_MAX)
{
}

int Window::pixelLimit(double value)
{
    if (!(value < QWIDGETSIZE_MAX))
        return QWIDGETSIZE_MAX;
    return value <= 0 ? 0 : static_cast<int>(std::lround(value));
}

void Window::setContentView(QWidget* view)
{
    setCentralWidget(view);
    applyContentLimits();
}

void Window::setContentMinSize(QSizeF size)
{
    minSize_ = size;
    applyContentLimits();
}

void Window::setContentMaxSize(QSizeF size)
{
    maxSize_ = size;
    applyContentLimits();
}

void Window::applyContentLimits()
{
    if (QWidget* content = centralWidget()) {
        content->setMinimumSize(pixelLimit(minSize_.width()), pixelLimit(minSize_.height()));
        content->setMaximumSize(pixelLimit(maxSize_.width()), pixelLimit(maxSize_.height()));
    }
}

void Window::setContentSize(QSizeF size)
{
    const QSize content(pixelLimit(size.width()), pixelLimit(size.height()));
    QWidget* view = centralWidget();
    const QSize extra = view && view->isVisible() ? this->size() - view->size() : QSize(0, 0);
    resize(content + extra);
}

std::optional<std::uint32_t> Window::screenNumber(const QScreen* screen)
{
    if (!screen)
        return std::nullopt;
    // FNV-1a over the screen's name: the same number for the same output in every run.
    const QByteArray name = screen->name().toUtf8();
    std::uint32_t hash = 2166136261u;
    for (char c : name) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return hash;
}

std::optional<std::uint32_t> Window::screenNumber() const
{
    return screenNumber(screen());
}

QScreen* Window::screenWithNumber(std::uint32_t number)
{
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screenNumber(screen) == number)
            return screen;
    }
    return nullptr;
}

void Window::closeEvent(QCloseEvent* event)
{
    QMainWindow::closeEvent(event);
    if (event->isAccepted()) {
        Ref<Object> object(View::viewObject(this));
        NotificationCenter::defaultCenter().postNotificationName(NSWindowWillCloseNotification, object);
    }
}

} // namespace vistel
