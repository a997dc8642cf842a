#pragma once
// Alert: the modal question dialog of the program.
//
// Laid out as desktop alerts are: the application's icon on the left; on the right a bold
// message, a smaller informative text, an optional accessory view (a text field, ...) and an
// optional suppression check box ("Apply to all"); the buttons in a row at the bottom right, the
// first button rightmost. Return presses the button whose key equivalent is "\r" (the first
// button unless changed), Escape the one whose key equivalent is "\033" (by default a button
// titled "Cancel"); a disabled button cannot be pressed either way. Texts are shown as plain
// text, never interpreted as markup (file names reach alerts).
//
// Answers (runModal):
//   - buttons added with addButtonWithTitle() answer 1000, 1001, 1002, ... in the order added;
//   - an alert made with alertWithMessageText() (the three-button form) answers 1 for its
//     default button, 0 for its alternate and -1 for its other button, and 1003, 1004, ... for
//     buttons added after them;
//   - NSAlertErrorReturn when the dialog ended without any button (the application went away).
//
// Modal running: runModal() shows the dialog application-modal and, while it runs, holds the
// main RunLoop in NSModalPanelRunLoopMode (through the PlatformApplication's adapter): work
// scheduled only for the default mode waits until the alert has ended; work in the common or
// modal-panel modes goes on.
//
// Scripted answers: with a responder set (tests, headless runs), runModal() shows no window. It
// makes one pass of the main loop in the modal-panel mode, then hands the responder a record of
// the alert (texts, buttons with their enabled state, suppression box, the accessory's text)
// and carries the response out as a user would: types the text into the accessory's line edit
// key by key, sets the suppression box, presses the button or key. When that ended nothing (a
// disabled button, Escape without an escape button), the responder is asked again with a fresh
// record. Every scripted run is kept in a log (answeredAlerts()).
//
// Thread rules: the main thread only (ZovThreadSafeAlert carries questions of other threads).

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QPushButton>

class QCheckBox;
class QDialog;
class QLabel;
class QLineEdit;
class QWidget;

namespace vistel {

inline constexpr int NSAlertFirstButtonReturn = 1000;
inline constexpr int NSAlertSecondButtonReturn = 1001;
inline constexpr int NSAlertThirdButtonReturn = 1002;
inline constexpr int NSAlertDefaultReturn = 1;
inline constexpr int NSAlertAlternateReturn = 0;
inline constexpr int NSAlertOtherReturn = -1;
inline constexpr int NSAlertErrorReturn = -2;

// Key equivalents of alert buttons.
inline constexpr const char* AlertReturnKey = "\r";
inline constexpr const char* AlertEscapeKey = "\033";

enum class AlertStyle { Warning = 0, Informational = 1, Critical = 2 };

class AlertButton : public QPushButton {
public:
    AlertButton(const QString& title, int returnCode, QWidget* parent = nullptr);

    int returnCode() const { return returnCode_; }
    // "\r", "\033" or "" (none).
    const std::string& keyEquivalent() const { return keyEquivalent_; }
    void setKeyEquivalent(std::string key) { keyEquivalent_ = std::move(key); }

private:
    int returnCode_;
    std::string keyEquivalent_;
};

// What a responder is shown of an alert, and (in the log) how the run ended.
struct AlertRecord {
    struct Button {
        std::string title;
        bool enabled = true;
        int returnCode = 0;
    };
    std::string messageText;
    std::string informativeText;
    AlertStyle style = AlertStyle::Warning;
    std::vector<Button> buttons;
    bool showsSuppressionButton = false;
    std::string suppressionTitle;
    int suppressionState = 0;
    // The text of the accessory's line edit, when the accessory has one.
    std::optional<std::string> accessoryText;
    // 0 when first asked in a run; counts the answers that ended nothing.
    int attempt = 0;
    // In the log only: what runModal() answered.
    int result = NSAlertErrorReturn;
};

// How a responder answers. Applied in this order: text, suppression, then the button or key.
struct AlertResponse {
    enum class Key { None, Return, Escape };

    // Press the button at this index of buttons() ...
    std::optional<int> buttonIndex;
    // ... or the button with this title ...
    std::optional<std::string> buttonTitle;
    // ... or this key.
    Key key = Key::None;
    // Tick (1) or clear (0) the suppression check box.
    std::optional<int> suppressionState;
    // Replace the accessory line edit's text by typing this, key by key (after selecting all
    // and deleting the selection), so filters see each key; "" only clears the field.
    std::optional<std::string> text;

    static AlertResponse pressButton(int index, std::optional<int> suppression = std::nullopt);
    static AlertResponse pressTitled(std::string title, std::optional<int> suppression = std::nullopt);
    static AlertResponse pressKey(Key key);
};

class Alert {
public:
    Alert();
    ~Alert();
    Alert(const Alert&) = delete;
    Alert& operator=(const Alert&) = delete;

    // The three-button form. A missing default title gives a button "OK"; missing alternate
    // and other titles give no button. The informative text is shown as given.
    static std::unique_ptr<Alert> alertWithMessageText(const std::optional<std::string>& message,
                                                       const std::optional<std::string>& defaultButton,
                                                       const std::optional<std::string>& alternateButton,
                                                       const std::optional<std::string>& otherButton,
                                                       const std::string& informativeText);

    AlertButton* addButtonWithTitle(const std::string& title);
    const std::vector<AlertButton*>& buttons() const { return buttons_; }

    void setMessageText(const std::string& text);
    std::string messageText() const;
    void setInformativeText(const std::string& text);
    std::string informativeText() const;
    void setAlertStyle(AlertStyle style) { style_ = style; }
    AlertStyle alertStyle() const { return style_; }

    void setShowsSuppressionButton(bool shows) { showsSuppression_ = shows; }
    bool showsSuppressionButton() const { return showsSuppression_; }
    // The check box: set its title before the run, read its state after.
    QCheckBox* suppressionButton();

    // The alert takes ownership of the view; it is shown between the texts and the buttons.
    void setAccessoryView(QWidget* view);
    QWidget* accessoryView() const { return accessory_; }

    // Lays the dialog out now (runModal does it too): sizes are known afterwards.
    void layout();
    // Makes the text column (and so the dialog) this many pixels wider than it would be.
    void setExtraTextWidth(int pixels) { extraTextWidth_ = std::max(0, pixels); }
    // The dialog window (for sizing and screenshots).
    QDialog* window() const;

    int runModal();

    // --- scripted answers ----------------------------------------------------------------
    using Responder = std::function<AlertResponse(const AlertRecord&)>;
    // An empty responder restores real dialogs. Answers the previous one.
    static Responder setResponder(Responder responder);
    static bool hasResponder();
    // The scripted runs so far, oldest first.
    static std::vector<AlertRecord> answeredAlerts();
    static void clearAnsweredAlerts();

    // What a responder would be shown of this alert now.
    AlertRecord record() const;

private:
    class Dialog;
    friend class Dialog;

    AlertButton* addButton(const std::string& title, int returnCode);
    void buttonPressed(AlertButton* button);
    // Presses the enabled button with this key equivalent; false when there is none.
    bool pressKeyEquivalent(const std::string& key);
    QLineEdit* accessoryLineEdit() const;
    void applyResponse(const AlertResponse& response);
    int runScripted();
    void updateIcon();

    Dialog* dialog_;
    QLabel* icon_;
    QLabel* message_;
    QLabel* informative_;
    QWidget* accessory_ = nullptr;
    QCheckBox* suppression_ = nullptr;
    QWidget* buttonRow_;
    std::vector<AlertButton*> buttons_;
    AlertStyle style_ = AlertStyle::Warning;
    bool showsSuppression_ = false;
    int extraTextWidth_ = 0;
    bool legacyForm_ = false;
    int addedAfterLegacy_ = 0;
    bool ended_ = false;
    int result_ = NSAlertErrorReturn;
};

} // namespace vistel
