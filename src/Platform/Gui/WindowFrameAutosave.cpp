#include "Platform/Gui/WindowFrameAutosave.h"

#include <algorithm>
#include <sstream>

#include <QEvent>
#include <QGuiApplication>
#include <QObject>
#include <QScreen>
#include <QWidget>

#include "Platform/UserDefaults.h"

namespace vistel {

namespace {

class AutosaveFilter : public QObject {
public:
    AutosaveFilter(QWidget* window, std::string name, UserDefaults& defaults)
        : QObject(window)
        , name_(std::move(name))
        , defaults_(defaults)
    {
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* window = static_cast<QWidget*>(watched);
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Close:
        case QEvent::Hide:
            if (window->isVisible() || event->type() != QEvent::Hide)
                WindowFrameAutosave::saveFrameUsingName(window, name_, defaults_);
            break;
        default:
            break;
        }
        return false;
    }

    const std::string& name() const { return name_; }

private:
    std::string name_;
    UserDefaults& defaults_;
};

QScreen* screenFor(const SavedWindowFrame& saved)
{
    for (QScreen* screen : QGuiApplication::screens())
        if (screen->availableGeometry() == saved.screenFrame)
            return screen;
    if (QScreen* screen = QGuiApplication::screenAt(saved.frame.center()))
        return screen;
    return QGuiApplication::primaryScreen();
}

} // namespace

std::optional<SavedWindowFrame> parseWindowFrame(std::string_view text)
{
    std::istringstream in {std::string(text)};
    int v[8];
    for (int& value : v)
        if (!(in >> value))
            return std::nullopt;
    std::string rest;
    if (in >> rest)
        return std::nullopt;
    SavedWindowFrame saved {QRect(v[0], v[1], v[2], v[3]), QRect(v[4], v[5], v[6], v[7])};
    if (saved.frame.width() <= 0 || saved.frame.height() <= 0)
        return std::nullopt;
    return saved;
}

std::string windowFrameText(const SavedWindowFrame& saved)
{
    std::ostringstream out;
    out << saved.frame.x() << ' ' << saved.frame.y() << ' ' << saved.frame.width() << ' ' << saved.frame.height() << ' '
        << saved.screenFrame.x() << ' ' << saved.screenFrame.y() << ' ' << saved.screenFrame.width() << ' '
        << saved.screenFrame.height();
    return out.str();
}

QRect clampedWindowFrame(const QRect& frame, const QRect& screen)
{
    if (screen.isEmpty())
        return frame;
    const int width = std::min(frame.width(), screen.width());
    const int height = std::min(frame.height(), screen.height());
    const int x = std::clamp(frame.x(), screen.x(), screen.x() + screen.width() - width);
    const int y = std::clamp(frame.y(), screen.y(), screen.y() + screen.height() - height);
    return QRect(x, y, width, height);
}

bool WindowFrameAutosave::setFrameAutosaveName(QWidget* window, const std::string& name)
{
    return setFrameAutosaveName(window, name, UserDefaults::standard());
}

bool WindowFrameAutosave::setFrameAutosaveName(QWidget* window, const std::string& name, UserDefaults& defaults)
{
    for (QObject* child : window->children())
        if (auto* filter = dynamic_cast<AutosaveFilter*>(child)) {
            window->removeEventFilter(filter);
            delete filter;
        }
    const bool applied = setFrameUsingName(window, name, defaults);
    window->installEventFilter(new AutosaveFilter(window, name, defaults));
    return applied;
}

void WindowFrameAutosave::saveFrameUsingName(const QWidget* window, const std::string& name, UserDefaults& defaults)
{
    if (name.empty() || window->isMinimized() || window->isFullScreen())
        return;
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    SavedWindowFrame saved {window->geometry(), screen ? screen->availableGeometry() : QRect()};
    if (saved.frame.isEmpty())
        return;
    const std::string text = windowFrameText(saved);
    if (defaults.stringForKey(defaultsKey(name)) != text)
        defaults.setObject(Value(text), defaultsKey(name));
}

bool WindowFrameAutosave::setFrameUsingName(QWidget* window, const std::string& name, const UserDefaults& defaults)
{
    std::optional<SavedWindowFrame> saved = parseWindowFrame(defaults.stringForKey(defaultsKey(name)));
    if (!saved)
        return false;
    QScreen* screen = screenFor(*saved);
    const QRect frame = clampedWindowFrame(saved->frame, screen ? screen->availableGeometry() : QRect());
    if (screen && window->isWindow() && window->screen() != screen)
        window->setScreen(screen);
    window->setGeometry(frame);
    return true;
}

} // namespace vistel
