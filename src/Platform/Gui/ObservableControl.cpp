#include "Platform/Gui/ObservableControl.h"

#include <algorithm>

namespace vistel {

void ObservableControl::addObserver(QObject* context, std::function<void()> changed, std::function<void()> ended)
{
    observers_.push_back({context, std::move(changed), std::move(ended)});
}

void ObservableControl::notifyValueChanged()
{
    notify(&Observer::changed);
}

void ObservableControl::notifyEditingEnded()
{
    notify(&Observer::ended);
}

void ObservableControl::notify(std::function<void()> Observer::*which)
{
    std::erase_if(observers_, [](const Observer& observer) { return !observer.context; });
    // A copy: an observer may add or drop observers (or its context) while it runs.
    const std::vector<Observer> observers = observers_;
    for (const Observer& observer : observers)
        if (observer.context && observer.*which)
            (observer.*which)();
}

} // namespace vistel
