#pragma once
// ObservableControl: what a control of our own (not one of Qt's) tells those who watch its edits,
// so that code written for Qt's controls (the table kit's notificator) can watch it too.
//
// A value control reports each change the user makes (valueChanged). A text control reports
// each change while it is edited (valueChanged) and the end of an edit (editingEnded: focus
// lost, or the control's own end key); its observed value is then its text. Changes made by code
// (setters) are never reported.
//
// Observers are kept with a context object and dropped when the context goes.
//
// Thread rules: main thread only.

#include <functional>
#include <vector>

#include <QPointer>

#include "Platform/Value.h"

class QObject;

namespace vistel {

class ObservableControl {
public:
    enum class ObservedKind { Value, Text };

    virtual ~ObservableControl() = default;

    virtual ObservedKind observedKind() const = 0;
    // The control's value: a value control's object value, a text control's text (a string).
    virtual Value observedValue() const = 0;

    // `changed` and `ended` (either may be empty) are called while `context` lives.
    void addObserver(QObject* context, std::function<void()> changed, std::function<void()> ended);

protected:
    void notifyValueChanged();
    void notifyEditingEnded();

private:
    struct Observer {
        QPointer<QObject> context;
        std::function<void()> changed;
        std::function<void()> ended;
    };
    void notify(std::function<void()> Observer::*which);

    std::vector<Observer> observers_;
};

} // namespace vistel
