#pragma once
// Slider: a slider of double values, with an action and a bindable "value".
//
// The value is a double between minValue and maxValue; Qt's integer positions are only its
// steps on screen (numberOfSteps, 1000 by default), so the value set by code or a binding is kept
// exactly. The action (Control) is sent on every real change of the value: by the user, by code
// (setDoubleValue and the other setters) and by a binding; setting the current value again
// sends nothing. The "value" binding (UserDefaultsController) is written by the user's changes
// (setUserValue counts as one): on every step of a drag when bound continuously, else when the
// gesture ends.
//
// QSlider's own value()/setValue() stay the integer position: the double value has names of its
// own.
//
// Thread rules: main thread only.

#include <string>

#include <QSlider>

#include "Platform/Gui/Responder.h"
#include "Platform/Gui/UserDefaultsController.h"

namespace vistel {

class Slider : public QSlider, public Control, public BindableControl {
public:
    explicit Slider(Qt::Orientation orientation = Qt::Horizontal, QWidget* parent = nullptr);

    double minValue() const { return minValue_; }
    double maxValue() const { return maxValue_; }
    // Keeps the value inside the new range (a clamped value counts as a change).
    void setRange(double minValue, double maxValue);
    int numberOfSteps() const { return steps_; }
    void setNumberOfSteps(int steps);

    double doubleValue() const { return value_; }
    void setDoubleValue(double value);
    void setFloatValue(float value) { setDoubleValue(value); }
    void setIntValue(int value) { setDoubleValue(value); }
    // A number, or a string read as a number; other values are ignored.
    void setObjectValue(const Value& value);
    Value objectValue() const { return Value(value_); }
    // Does nothing for the text the slider already shows ("0.5"); otherwise reads a number.
    void setStringValue(const std::string& text);
    std::string stringValue() const;

    // Sets the value as the user would: the action, and the binding is written.
    void setUserValue(double value);

    Value bindingValue(std::string_view binding) const override;
    void setBindingValue(std::string_view binding, const Value& value) override;

private:
    bool store(double value);
    void showValue();
    void positionChanged(int position);

    double minValue_ = 0;
    double maxValue_ = 1;
    double value_ = 0;
    int steps_ = 1000;
    bool showing_ = false; // the slider is moving its knob to the value
};

} // namespace vistel
