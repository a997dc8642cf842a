#pragma once
// ZovThreadSafeAlert: a question a worker asks the user.
//
// Built on any thread with the calls of the platform alert, it holds only plain values while it
// is built. runModal() makes the real Alert on the main thread, runs it modally there (the main
// loop serves the modal-panel mode meanwhile) while the calling thread waits, then hands back
// the pressed button and the state of the suppression check box. On the main thread it runs
// at once.
//
// The run always uses the alert's three-button form: the first three button entries are the
// default, alternate and other buttons (answers 1, 0, -1), further entries answer 1003, 1004...
//
// Thread rules: one thread builds, runs and reads an alert; during the run only the main thread
// touches it, while that thread waits.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Formatter.h"
#include "Platform/Gui/Alert.h"
#include "Platform/Object.h"
#include "Platform/Value.h"

namespace vistel {

// One button's properties: "title" and "state" in a dictionary.
class ZovThreadSafeButtonProps : public Object {
public:
    static Ref<ZovThreadSafeButtonProps> zovThreadSafeButtonProps();

    void setTitle(std::optional<std::string> title);
    std::optional<std::string> title() const;
    void setState(int state);
    // 0 when none was set.
    int state() const;

private:
    ZovThreadSafeButtonProps() = default;
    template <class T, class... Args>
    friend Ref<T> makeRef(Args&&...);

    Value imp_ = Value::dictionary();
};

class ZovThreadSafeAlert : public Object {
public:
    static Ref<ZovThreadSafeAlert> create();

    // The three buttons are added in this order (a missing title adds an entry without one);
    // the informative text is `informativeFormat` filled with the arguments.
    template <class... A>
    static Ref<ZovThreadSafeAlert> alertWithMessageText(std::optional<std::string> message,
                                                        std::optional<std::string> defaultButton,
                                                        std::optional<std::string> alternateButton,
                                                        std::optional<std::string> otherButton,
                                                        std::string_view informativeFormat, const A&... arguments)
    {
        return alertWithMessageTextAndInformativeText(std::move(message), std::move(defaultButton),
                                                      std::move(alternateButton), std::move(otherButton),
                                                      vistel::format(informativeFormat, arguments...));
    }
    // The same with the informative text already filled.
    static Ref<ZovThreadSafeAlert> alertWithMessageTextAndInformativeText(std::optional<std::string> message,
                                                                          std::optional<std::string> defaultButton,
                                                                          std::optional<std::string> alternateButton,
                                                                          std::optional<std::string> otherButton,
                                                                          std::string informativeText);

    Ref<ZovThreadSafeButtonProps> addButtonWithTitle(std::optional<std::string> title);
    const std::vector<Ref<ZovThreadSafeButtonProps>>& buttons() const { return additionalButtons_; }

    void setShowsSuppressionButton(bool shows) { showSupressionButton_ = shows; }
    bool showsSuppressionButton() const { return showSupressionButton_; }
    // Made on first request: set its title before the run, read its state after.
    Ref<ZovThreadSafeButtonProps> suppressionButton();

    void setMessageText(std::optional<std::string> text) { messageText_ = std::move(text); }
    const std::optional<std::string>& messageText() const { return messageText_; }
    void setInformativeText(std::optional<std::string> text) { informativeText_ = std::move(text); }
    const std::optional<std::string>& informativeText() const { return informativeText_; }

    // Runs the alert on the main thread and waits; answers the pressed button's code, or
    // NSAlertErrorReturn when the alert could not run (the main thread has gone, the run failed).
    int runModal();

private:
    ZovThreadSafeAlert() = default;
    template <class T, class... Args>
    friend Ref<T> makeRef(Args&&...);

    // The run proper, on the main thread.
    void runOnMainThread();

    Ref<ZovThreadSafeButtonProps> suppressionButton_;
    bool showSupressionButton_ = false;
    std::vector<Ref<ZovThreadSafeButtonProps>> additionalButtons_;
    std::optional<std::string> informativeText_;
    std::optional<std::string> messageText_;
    int result_ = NSAlertErrorReturn;
};

} // namespace vistel
