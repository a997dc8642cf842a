#pragma once
// Responder: actions by name and the chain that finds who performs them.
//
// An action is a selector string with its colons ("toMin:", "openDocument:"). A Responder keeps
// a table of the actions it performs (setActionHandler) and may override respondsToAction /
// performAction to decide for itself (a window mode passes its actions on to its handler).
// validateUserInterfaceItem answers whether a menu item, toolbar item or control that sends an
// action should be enabled now (yes unless overridden).
//
// Controls, menu items and toolbar items hold an action, a tag and a weak target (Control,
// ActionItem, ActionButton). With a target, the action goes to that responder (when it is still
// alive). Without one, it travels the chain, and the first responder that takes it performs it:
//   the focused widget of the sender's window (while its menu bar has the focus, as after a
//   menu closed with Escape, the view that had it before), its ancestors that are responders (the window
//   among them), then from the last of those each nextResponder() in turn (window -> window
//   controller -> whatever the shell sets as its next responder, the current mode), and last
//   the application's responder.
// sendAction answers false when nobody took the action.
//
// Validation: after every input event each visible window validates its menu and toolbar items
// (EventTracking.h); a menu validates its items when it opens, and a triggered item validates
// itself once more before it sends, so an item validated off never acts (a shortcut included).
//
// Thread rules: main thread only.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QAction>
#include <QToolButton>

class QObject;
class QWidget;

namespace vistel {

class Responder;

// What validation is asked about: the sending item.
class UserInterfaceItem {
public:
    virtual ~UserInterfaceItem() = default;
    virtual std::string action() const = 0;
    virtual int tag() const = 0;
};

// A weak link to a responder: answers null once the responder is gone.
class WeakResponder {
public:
    WeakResponder() = default;
    WeakResponder(Responder* responder); // NOLINT: a link is made from a pointer
    Responder* get() const;
    explicit operator bool() const { return get() != nullptr; }

private:
    std::weak_ptr<Responder*> link_;
};

class Responder {
public:
    using ActionFunction = std::function<void(QObject* sender)>;

    Responder();
    virtual ~Responder();
    Responder(const Responder&) = delete;
    Responder& operator=(const Responder&) = delete;

    // The table of actions; setting an action again replaces it. (Not addAction: QWidget has one.)
    void setActionHandler(std::string action, ActionFunction function);
    virtual bool respondsToAction(const std::string& action) const;
    // Performs the action from the table; false when the table has none.
    virtual bool performAction(const std::string& action, QObject* sender);
    virtual bool validateUserInterfaceItem(const UserInterfaceItem& item);

    virtual Responder* nextResponder() const { return nextResponder_.get(); }
    void setNextResponder(Responder* responder) { nextResponder_ = responder; }

    // The responder of last resort (the application's), or null.
    static Responder* applicationResponder();
    static void setApplicationResponder(Responder* responder);

    // The chain for a window (its focus widget first), or for the active window when null.
    static std::vector<Responder*> responderChain(QWidget* window);
    // The explicit target when it is alive and takes the action; else, without a target, the
    // first responder of the chain that takes it; else null.
    static Responder* targetForAction(const std::string& action, Responder* target, QWidget* window);
    static bool sendAction(const std::string& action, Responder* target, QObject* sender, QWidget* window);

private:
    friend class WeakResponder;
    std::shared_ptr<Responder*> self_;
    std::map<std::string, ActionFunction, std::less<>> actions_;
    WeakResponder nextResponder_;
};

// The action, tag and weak target of a control or item.
class Control : public UserInterfaceItem {
public:
    std::string action() const override { return action_; }
    int tag() const override { return tag_; }
    void setAction(std::string action) { action_ = std::move(action); }
    void setTag(int tag) { tag_ = tag; }
    Responder* target() const { return target_.get(); }
    // Null sends along the responder chain.
    void setTarget(Responder* target)
    {
        target_ = target;
        hasTarget_ = target != nullptr;
    }

    // Sends the action from `sender`, found from `window`'s chain when there is no target.
    bool sendActionFrom(QObject* sender, QWidget* window) const;
    // Whether the item should be enabled: the target found for its action validates it.
    bool validateFrom(QWidget* window) const;

private:
    std::string action_;
    int tag_ = 0;
    WeakResponder target_;
    bool hasTarget_ = false;
};

// A menu or toolbar item that sends an action. It validates itself before it sends.
class ActionItem : public QAction, public Control {
public:
    explicit ActionItem(const QString& text, std::string action = {}, QObject* parent = nullptr);

    // Enables the item by validation against the chain of `window` (its own window when null).
    void validate(QWidget* window = nullptr);
    // The window whose chain the item uses: that of its first widget, else the active one.
    QWidget* itemWindow() const;
};

// A small button that sends an action (toolbar and panel buttons).
class ActionButton : public QToolButton, public Control {
public:
    explicit ActionButton(QWidget* parent = nullptr);
};

// Validates every ActionItem in the window's menus and tool bars.
void validateWindowItems(QWidget* window);

} // namespace vistel
