#include "Platform/Gui/UserDefaultsController.h"

#include "Platform/RunLoop.h"

namespace vistel {

struct BindableControl::Binding {
    UserDefaults* defaults = nullptr;
    std::string key;
    std::string name;
    bool continuous = false;
    BindableControl* control = nullptr;
    UserDefaults::ObserverToken token = 0;
    bool writing = false;  // the binding is writing the preference
    bool applying = false; // the binding is setting the control

    ~Binding()
    {
        if (token)
            defaults->removeObserver(token);
    }

    // Main thread: the control takes the preference's current value.
    void apply()
    {
        if (writing)
            return;
        const Value value = defaults->objectForKey(key);
        if (value.isNull())
            return;
        applying = true;
        try {
            control->setBindingValue(name, value);
        } catch (...) {
            applying = false;
            throw;
        }
        applying = false;
    }
};

BindableControl::~BindableControl() = default;

bool BindableControl::isBound(std::string_view binding) const
{
    return bindings_.find(binding) != bindings_.end();
}

void BindableControl::bindingValueChanged(std::string_view binding, bool finished)
{
    auto found = bindings_.find(binding);
    if (found == bindings_.end())
        return;
    // Hold the binding: an observer may unbind while the preference is written.
    std::shared_ptr<Binding> bound = found->second;
    if (bound->applying || (!finished && !bound->continuous))
        return;
    const Value value = bindingValue(binding);
    if (value == bound->defaults->objectForKey(bound->key))
        return;
    bound->writing = true;
    bound->defaults->setObject(value, bound->key);
    bound->writing = false;
}

UserDefaultsController& UserDefaultsController::shared()
{
    static UserDefaultsController controller(UserDefaults::standard());
    return controller;
}

std::string UserDefaultsController::keyOfKeyPath(std::string_view keyPath)
{
    constexpr std::string_view prefix = "values.";
    if (keyPath.size() <= prefix.size() || keyPath.substr(0, prefix.size()) != prefix)
        return {};
    return std::string(keyPath.substr(prefix.size()));
}

Value UserDefaultsController::valueForKeyPath(std::string_view keyPath) const
{
    const std::string key = keyOfKeyPath(keyPath);
    return key.empty() ? Value() : defaults_.objectForKey(key);
}

void UserDefaultsController::setValueForKeyPath(Value value, std::string_view keyPath)
{
    const std::string key = keyOfKeyPath(keyPath);
    if (!key.empty())
        defaults_.setObject(std::move(value), key);
}

void UserDefaultsController::bind(BindableControl& control, std::string binding, std::string_view keyPath, const Value& options)
{
    unbind(control, binding);
    const std::string key = keyOfKeyPath(keyPath);
    if (key.empty())
        return;
    auto bound = std::make_shared<BindableControl::Binding>();
    bound->defaults = &defaults_;
    bound->key = key;
    bound->name = binding;
    bound->control = &control;
    if (options.isDictionary()) {
        const Value continuous = options.get(NSContinuouslyUpdatesValueBindingOption);
        bound->continuous = continuous.toBool();
    }
    std::weak_ptr<BindableControl::Binding> weak = bound;
    bound->token = defaults_.addObserver(key, [weak](const std::string&, const Value&) {
        if (RunLoop::isMainThread()) {
            if (auto strong = weak.lock())
                strong->apply();
            return;
        }
        if (RunLoop* main = RunLoop::main()) {
            main->perform([weak] {
                if (auto strong = weak.lock())
                    strong->apply();
            });
        }
    });
    control.bindings_[std::move(binding)] = bound;
    bound->apply();
}

void UserDefaultsController::unbind(BindableControl& control, std::string_view binding)
{
    if (auto found = control.bindings_.find(binding); found != control.bindings_.end())
        control.bindings_.erase(found);
}

} // namespace vistel
