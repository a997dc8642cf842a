#pragma once
// UserDefaultsController: controls bound to preferences.
//
// The shared controller stands over UserDefaults::standard(); its key paths are
// "values.<key>" ("values.ThumbnailStyle.Size"). A control that can be bound (BindableControl,
// e.g. Slider) binds its "value" to a key path both ways:
//   - a change of the preference moves the control, whichever thread made it: changes from
//     other threads land on the main thread (in all common modes, so also during a drag or a
//     modal alert), where the control takes the newest value;
//   - a change the user makes writes the preference: at the end of the gesture, or on every
//     step with the option "NSContinuouslyUpdatesValue" = YES.
// A write the binding makes is not echoed back to the control, and a value the binding puts
// into the control is not written back.
//
// Thread rules: bind, unbind and the controls on the main thread; the preferences may change on
// any thread.

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "Platform/UserDefaults.h"
#include "Platform/Value.h"

namespace vistel {

inline constexpr const char* NSContinuouslyUpdatesValueBindingOption = "NSContinuouslyUpdatesValue";
inline constexpr const char* NSValueBinding = "value";

class UserDefaultsController;

// A control with bindable values ("value").
class BindableControl {
public:
    virtual ~BindableControl();
    virtual Value bindingValue(std::string_view binding) const = 0;
    // Sets the value from the binding.
    virtual void setBindingValue(std::string_view binding, const Value& value) = 0;

    bool isBound(std::string_view binding) const;

protected:
    BindableControl() = default;
    // The control tells its bindings that the user changed the value; `finished` is false for
    // the steps of a gesture still going on.
    void bindingValueChanged(std::string_view binding, bool finished);

private:
    friend class UserDefaultsController;
    struct Binding;
    std::map<std::string, std::shared_ptr<Binding>, std::less<>> bindings_;
};

class UserDefaultsController {
public:
    // Over UserDefaults::standard().
    static UserDefaultsController& shared();
    explicit UserDefaultsController(UserDefaults& defaults) : defaults_(defaults) { }

    UserDefaults& defaults() const { return defaults_; }

    // "values.<key>" → "<key>"; anything else → empty.
    static std::string keyOfKeyPath(std::string_view keyPath);
    Value valueForKeyPath(std::string_view keyPath) const;
    void setValueForKeyPath(Value value, std::string_view keyPath);

    // Binds (replacing an earlier binding of the same name) and moves the control to the
    // current value. `options` is a dictionary or null.
    void bind(BindableControl& control, std::string binding, std::string_view keyPath, const Value& options = {});
    static void unbind(BindableControl& control, std::string_view binding);

private:
    UserDefaults& defaults_;
};

} // namespace vistel
