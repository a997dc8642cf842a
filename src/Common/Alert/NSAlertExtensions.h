#pragma once
// NSAlert(Extensions): the question that asks the user for one line of text (a new name).
//
// input() shows an alert with a single-line text field as its accessory, holding the default
// value with its text selected; the accepting button answers Return, the cancelling button
// Escape. The caller's formatter filters what may be typed. The accepting button starts enabled
// whatever the default value; after the first edit it is enabled only while the text is not
// empty.
//
// Thread rules: the main thread.

#include <optional>
#include <string>

class QString;
class QValidator;

namespace vistel {

class Alert;

namespace NSAlertExtensions {

// The entered text, or nullopt when the user cancelled. `filter` may be null (no filter); the
// caller keeps ownership of it.
std::optional<std::string> input(const std::string& message, const std::optional<std::string>& informativeText,
                                 const std::string& defaultValue, const std::string& defaultButton,
                                 const std::string& alternateButton, const QValidator* filter);

// Enables the alert's first button when the edited text is not empty, disables it when it is.
void handleTextValueChanged(Alert& alert, const QString& editedText);

} // namespace NSAlertExtensions
} // namespace vistel
