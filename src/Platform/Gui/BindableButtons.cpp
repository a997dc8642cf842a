#include "Platform/Gui/BindableButtons.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vistel {

CheckBox::CheckBox(const QString& title, QWidget* parent)
    : QCheckBox(title, parent)
{
    // clicked is sent for the user's clicks and key presses only, never for setChecked.
    connect(this, &QCheckBox::clicked, this, [this] {
        if (!settingFromBinding_)
            bindingValueChanged(NSValueBinding, true);
    });
}

Value CheckBox::bindingValue(std::string_view) const
{
    return Value(isChecked());
}

void CheckBox::setBindingValue(std::string_view, const Value& value)
{
    settingFromBinding_ = true;
    setChecked(value.toBool());
    settingFromBinding_ = false;
}

RadioGroup::RadioGroup(QWidget* parent)
    : QWidget(parent)
    , group_(new QButtonGroup(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    group_->setExclusive(true);
    connect(group_, &QButtonGroup::idClicked, this, [this](int) { bindingValueChanged(NSValueBinding, true); });
}

QRadioButton* RadioGroup::addChoice(const QString& title, Value value)
{
    auto* button = new QRadioButton(title, this);
    group_->addButton(button, static_cast<int>(values_.size()));
    values_.push_back(std::move(value));
    layout()->addWidget(button);
    return button;
}

QRadioButton* RadioGroup::button(std::size_t index) const
{
    return static_cast<QRadioButton*>(group_->button(static_cast<int>(index)));
}

int RadioGroup::selectedIndex() const
{
    return group_->checkedId();
}

Value RadioGroup::bindingValue(std::string_view) const
{
    const int index = selectedIndex();
    return index < 0 ? Value() : values_[static_cast<std::size_t>(index)];
}

void RadioGroup::setBindingValue(std::string_view, const Value& value)
{
    for (std::size_t i = 0; i < values_.size(); ++i)
        if (values_[i] == value || (values_[i].isBoolean() && values_[i].toBool() == value.toBool() && !value.isNull())) {
            button(i)->setChecked(true);
            return;
        }
    // No button for the value: none is checked.
    group_->setExclusive(false);
    for (QAbstractButton* b : group_->buttons())
        b->setChecked(false);
    group_->setExclusive(true);
}

} // namespace vistel
