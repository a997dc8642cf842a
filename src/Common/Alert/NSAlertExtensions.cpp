#include "Common/Alert/NSAlertExtensions.h"

#include <QDialog>

#include "Common/Alert/SingleLineTextField.h"
#include "Platform/Exception.h"
#include "Platform/Formatter.h"
#include "Platform/Gui/Alert.h"
#include "Platform/RunLoop.h"

namespace vistel::NSAlertExtensions {

namespace {

constexpr int FieldWidth = 400;
constexpr int FieldHeight = 24;

} // namespace

void handleTextValueChanged(Alert& alert, const QString& editedText)
{
    if (!alert.buttons().empty())
        alert.buttons().front()->setEnabled(!editedText.isEmpty());
}

std::optional<std::string> input(const std::string& message, const std::optional<std::string>& informativeText,
                                 const std::string& defaultValue, const std::string& defaultButton,
                                 const std::string& alternateButton, const QValidator* filter)
{
    ZOV_ASSERT(RunLoop::isMainThread(), "Alerts run on the main thread");
    Alert alert;
    alert.addButtonWithTitle(defaultButton)->setKeyEquivalent(AlertReturnKey);
    alert.addButtonWithTitle(alternateButton)->setKeyEquivalent(AlertEscapeKey);
    alert.setMessageText(message);
    if (informativeText)
        alert.setInformativeText(*informativeText);
    alert.setAlertStyle(AlertStyle::Informational);

    auto* field = new SingleLineTextField(QString::fromStdString(defaultValue));
    field->setFixedSize(FieldWidth, FieldHeight);
    alert.setAccessoryView(field);
    alert.layout();

    // The window ends 20 points right of the field.
    QDialog* window = alert.window();
    const int fieldRight = field->mapTo(window, QPoint(field->width(), 0)).x();
    window->setFixedWidth(fieldRight + 20);

    field->setValidator(filter);
    field->selectAll();
    QObject::connect(field, &QLineEdit::textEdited,
                     [&alert](const QString& text) { handleTextValueChanged(alert, text); });

    const int answer = alert.runModal();
    if (answer == NSAlertFirstButtonReturn)
        return field->text().toStdString();
    if (answer == NSAlertSecondButtonReturn)
        return std::nullopt;
    ZOV_RAISE(vistel::format("Invalid input dialog button %d", answer).c_str());
}

} // namespace vistel::NSAlertExtensions
