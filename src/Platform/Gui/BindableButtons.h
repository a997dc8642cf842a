#pragma once
// CheckBox and RadioGroup: buttons whose "value" binds to a preference (UserDefaultsController).
//
// CheckBox: the value is a boolean; a click (or toggle by keyboard) by the user writes it; a
// value from the binding only moves the box. A non-boolean value reads as a number (non-zero
// is on).
// RadioGroup: a column of radio buttons, each standing for a value; the value is the checked
// button's. A choice by the user writes it; a value the group has no button for checks none.
//
// Thread rules: main thread only.
#include <string>
#include <vector>

#include <QCheckBox>
#include <QWidget>

#include "Platform/Gui/UserDefaultsController.h"

class QButtonGroup;
class QRadioButton;

namespace vistel {

class CheckBox : public QCheckBox, public BindableControl {
public:
    explicit CheckBox(const QString& title, QWidget* parent = nullptr);

    Value bindingValue(std::string_view binding) const override;
    void setBindingValue(std::string_view binding, const Value& value) override;

private:
    bool settingFromBinding_ = false;
};

class RadioGroup : public QWidget, public BindableControl {
public:
    explicit RadioGroup(QWidget* parent = nullptr);

    QRadioButton* addChoice(const QString& title, Value value);
    QRadioButton* button(std::size_t index) const;
    // The checked button's index, -1 when none is.
    int selectedIndex() const;

    Value bindingValue(std::string_view binding) const override;
    void setBindingValue(std::string_view binding, const Value& value) override;

private:
    QButtonGroup* group_;
    std::vector<Value> values_;
};

} // namespace vistel
