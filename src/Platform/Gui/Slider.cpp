#include "Platform/Gui/Slider.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "Platform/Formatter.h"

namespace vistel {

Slider::Slider(Qt::Orientation orientation, QWidget* parent)
    : QSlider(orientation, parent)
{
    QSlider::setRange(0, steps_);
    connect(this, &QSlider::valueChanged, this, [this](int position) { positionChanged(position); });
    connect(this, &QSlider::sliderReleased, this, [this] { bindingValueChanged(NSValueBinding, true); });
}

void Slider::setRange(double minValue, double maxValue)
{
    minValue_ = minValue;
    maxValue_ = std::max(minValue, maxValue);
    if (!store(value_))
        showValue();
    else
        sendActionFrom(this, window());
}

void Slider::setNumberOfSteps(int steps)
{
    steps_ = std::max(1, steps);
    showing_ = true;
    QSlider::setRange(0, steps_);
    showing_ = false;
    showValue();
}

bool Slider::store(double value)
{
    if (std::isnan(value))
        return false;
    value = std::clamp(value, minValue_, maxValue_);
    if (value == value_)
        return false;
    value_ = value;
    showValue();
    return true;
}

void Slider::showValue()
{
    const double span = maxValue_ - minValue_;
    const int position = span > 0 ? static_cast<int>(std::lround((value_ - minValue_) / span * steps_)) : 0;
    showing_ = true;
    QSlider::setValue(position);
    showing_ = false;
}

void Slider::setDoubleValue(double value)
{
    if (store(value))
        sendActionFrom(this, window());
}

void Slider::setObjectValue(const Value& value)
{
    if (value.isNumber())
        setDoubleValue(value.toDouble());
    else if (value.isString())
        setStringValue(value.asString());
}

std::string Slider::stringValue() const
{
    return vistel::format("%g", value_);
}

void Slider::setStringValue(const std::string& text)
{
    if (text == stringValue())
        return;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str())
        setDoubleValue(value);
}

void Slider::setUserValue(double value)
{
    if (!store(value))
        return;
    sendActionFrom(this, window());
    bindingValueChanged(NSValueBinding, true);
}

void Slider::positionChanged(int position)
{
    if (showing_)
        return;
    // The user moved the knob (mouse, keys, wheel): the value follows the step.
    const double value = minValue_ + (maxValue_ - minValue_) * position / steps_;
    if (value == value_)
        return;
    value_ = value;
    sendActionFrom(this, window());
    bindingValueChanged(NSValueBinding, !isSliderDown());
}

Value Slider::bindingValue(std::string_view) const
{
    return Value(value_);
}

void Slider::setBindingValue(std::string_view, const Value& value)
{
    setObjectValue(value);
}

} // namespace vistel
