#pragma once
// SliderWithButtons: a slider between a button that moves it to its minimum (left) and one that
// moves it to its maximum (right), behaving as one slider: value, range, action, tag, target and
// the "value" binding are the inner slider's. A press of a button is a user change: the action
// is sent and the binding written, unless the slider is already there.
//
// Geometry: with the view w by h and s the slider's own height, the minimum button is
// {0, (h - s) / 2, s, s}, the slider {s, (h - s) / 2, w - 2s, s}, the maximum button
// {w - s, (h - s) / 2, s, s}.
//
// Thread rules: main thread only.

#include <QToolButton>
#include <QWidget>

#include "Platform/Gui/Slider.h"

namespace vistel {

class SliderWithButtons : public QWidget {
public:
    // Null image names take the remove (minimum) and add (maximum) images.
    SliderWithButtons(const QRect& frame, const char* imageMin, const char* imageMax, QWidget* parent = nullptr);

    Slider* slider() const { return slider_; }
    QToolButton* minimumButton() const { return button1_; }
    QToolButton* maximumButton() const { return button2_; }

    double doubleValue() const { return slider_->doubleValue(); }
    void setDoubleValue(double value) { slider_->setDoubleValue(value); }
    void setRange(double minValue, double maxValue) { slider_->setRange(minValue, maxValue); }
    void setAction(std::string action) { slider_->setAction(std::move(action)); }
    void setTarget(Responder* target) { slider_->setTarget(target); }
    void setTag(int tag) { slider_->setTag(tag); }
    void bind(UserDefaultsController& controller, std::string binding, std::string_view keyPath, const Value& options = {})
    {
        controller.bind(*slider_, std::move(binding), keyPath, options);
    }

    void toMin() { slider_->setUserValue(slider_->minValue()); }
    void toMax() { slider_->setUserValue(slider_->maxValue()); }

    // Places the buttons and the slider (done on every resize).
    void adjustButtonsToSliderCell();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    Slider* slider_;
    QToolButton* button1_;
    QToolButton* button2_;
};

} // namespace vistel
