#include "Platform/Gui/Window.h"

#include <cfloat>
#include <cmath>

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
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

namespace {

class CloseKeys : public QObject {
public:
    explicit CloseKeys(QWidget* window)
        : QObject(window)
        , window_(window)
    {
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        const bool escape = key->key() == Qt::Key_Escape && modifiers == Qt::NoModifier;
        const bool closeKey = (key->key() == Qt::Key_W && modifiers == Qt::ControlModifier) ||
                              key->matches(QKeySequence::Close);
        if (!escape && !closeKey)
            return false;
        window_->close();
        return true;
    }

private:
    QWidget* window_;
};

} // namespace

void closeWithEscapeAndCloseKey(QWidget* window)
{
    if (window)
        window->installEventFilter(new CloseKeys(window));
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
