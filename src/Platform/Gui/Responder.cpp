#include "Platform/Gui/Responder.h"

#include <algorithm>

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QWidget>

#include <unordered_map>

namespace vistel {

namespace {

WeakResponder& applicationResponderLink()
{
    static WeakResponder link;
    return link;
}

// A chain that loops back on itself ends where it would repeat.
constexpr std::size_t MaximumChainLength = 256;

// A menu bar, a menu or a part of either: where focus goes while the menus are used from the
// keyboard, never the view the user works in.
bool isMenuWidget(const QWidget* widget)
{
    for (; widget; widget = widget->parentWidget())
        if (qobject_cast<const QMenuBar*>(widget) || qobject_cast<const QMenu*>(widget))
            return true;
    return false;
}

// The last view of each window that had the focus, menus left out.
std::unordered_map<const QWidget*, QPointer<QWidget>>& focusedViews()
{
    static std::unordered_map<const QWidget*, QPointer<QWidget>> views;
    return views;
}

void trackFocusedViews()
{
    static bool connected = false;
    auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (connected || !application)
        return;
    connected = true;
    QObject::connect(application, &QApplication::focusChanged, application, [](QWidget*, QWidget* now) {
        if (!now || isMenuWidget(now))
            return;
        auto& views = focusedViews();
        // Entries of windows that are gone go as others come.
        for (auto it = views.begin(); it != views.end();)
            it = it->second ? std::next(it) : views.erase(it);
        views[now->window()] = now;
    });
}

// The view the window's chain starts from: its focus widget, or, while the menu bar holds the
// focus, the view that had it before.
QWidget* focusedView(QWidget* window)
{
    QWidget* focus = window ? window->focusWidget() : QApplication::focusWidget();
    if (!focus || !isMenuWidget(focus))
        return focus;
    QWidget* owner = window ? window : focus->window();
    auto found = focusedViews().find(owner);
    if (found != focusedViews().end() && found->second && found->second->window() == owner && !isMenuWidget(found->second))
        return found->second;
    return nullptr;
}

} // namespace

WeakResponder::WeakResponder(Responder* responder)
{
    if (responder)
        link_ = responder->self_;
}

Responder* WeakResponder::get() const
{
    auto strong = link_.lock();
    return strong ? *strong : nullptr;
}

Responder::Responder()
    : self_(std::make_shared<Responder*>(this))
{
}

Responder::~Responder() = default;

void Responder::setActionHandler(std::string action, ActionFunction function)
{
    actions_[std::move(action)] = std::move(function);
}

bool Responder::respondsToAction(const std::string& action) const
{
    return actions_.find(action) != actions_.end();
}

bool Responder::performAction(const std::string& action, QObject* sender)
{
    auto found = actions_.find(action);
    if (found == actions_.end())
        return false;
    // A copy: the action may replace or remove itself.
    ActionFunction function = found->second;
    function(sender);
    return true;
}

bool Responder::validateUserInterfaceItem(const UserInterfaceItem&)
{
    return true;
}

Responder* Responder::applicationResponder()
{
    return applicationResponderLink().get();
}

void Responder::setApplicationResponder(Responder* responder)
{
    applicationResponderLink() = responder;
}

std::vector<Responder*> Responder::responderChain(QWidget* window)
{
    std::vector<Responder*> chain;
    auto append = [&chain](Responder* responder) {
        if (!responder || chain.size() >= MaximumChainLength)
            return false;
        if (std::find(chain.begin(), chain.end(), responder) != chain.end())
            return false;
        chain.push_back(responder);
        return true;
    };
    trackFocusedViews();
    if (!window)
        window = QApplication::activeWindow();
    QWidget* first = focusedView(window);
    if (!first)
        first = window;
    for (QWidget* widget = first; widget; widget = widget->parentWidget())
        append(dynamic_cast<Responder*>(widget));
    if (!chain.empty()) {
        for (Responder* next = chain.back()->nextResponder(); next && append(next); next = next->nextResponder()) { }
    }
    append(applicationResponder());
    return chain;
}

Responder* Responder::targetForAction(const std::string& action, Responder* target, QWidget* window)
{
    if (target)
        return target->respondsToAction(action) ? target : nullptr;
    for (Responder* responder : responderChain(window)) {
        if (responder->respondsToAction(action))
            return responder;
    }
    return nullptr;
}

bool Responder::sendAction(const std::string& action, Responder* target, QObject* sender, QWidget* window)
{
    if (action.empty())
        return false;
    Responder* responder = targetForAction(action, target, window);
    return responder && responder->performAction(action, sender);
}

bool Control::sendActionFrom(QObject* sender, QWidget* window) const
{
    // An item meant for one object does not wander to another: a gone target sends nothing.
    if (hasTarget_ && !target_)
        return false;
    return Responder::sendAction(action_, target_.get(), sender, window);
}

bool Control::validateFrom(QWidget* window) const
{
    if (action_.empty())
        return true;
    if (hasTarget_ && !target_)
        return false;
    Responder* responder = Responder::targetForAction(action_, target_.get(), window);
    return responder && responder->validateUserInterfaceItem(*this);
}

ActionItem::ActionItem(const QString& text, std::string action, QObject* parent)
    : QAction(text, parent)
{
    trackFocusedViews();
    setAction(std::move(action));
    connect(this, &QAction::triggered, this, [this] {
        QWidget* window = itemWindow();
        validate(window);
        if (isEnabled())
            sendActionFrom(this, window);
    });
}

QWidget* ActionItem::itemWindow() const
{
    for (QObject* object : associatedObjects()) {
        auto* widget = qobject_cast<QWidget*>(object);
        // A menu is a popup window of its own: its owner's window is the one meant.
        while (widget && qobject_cast<QMenu*>(widget) && widget->parentWidget())
            widget = widget->parentWidget();
        if (widget && !qobject_cast<QMenu*>(widget))
            return widget->window();
    }
    if (auto* widget = qobject_cast<QWidget*>(parent()))
        return widget->window();
    return QApplication::activeWindow();
}

void ActionItem::validate(QWidget* window)
{
    setEnabled(validateFrom(window ? window : itemWindow()));
}

ActionButton::ActionButton(QWidget* parent)
    : QToolButton(parent)
{
    connect(this, &QToolButton::clicked, this, [this] { sendActionFrom(this, window()); });
}

void validateWindowItems(QWidget* window)
{
    if (!window)
        return;
    for (QAction* action : window->findChildren<QAction*>()) {
        if (auto* item = dynamic_cast<ActionItem*>(action))
            item->validate(window);
    }
}

} // namespace vistel
