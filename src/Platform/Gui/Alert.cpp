#include "Platform/Gui/Alert.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <mutex>
#include <utility>

#include "Platform/Exception.h"
#include "Platform/Gui/PlatformApplication.h"
#include "Platform/Qt/QtRunLoopAdapter.h"
#include "Platform/RunLoop.h"

namespace vistel {

namespace {

constexpr int IconSize = 64;
constexpr int IconSpacing = 16;
constexpr int MinimumButtonWidth = 84;
// The text column is never narrower than this; a wider accessory view widens it.
constexpr int MinimumTextWidth = 360;
// A responder that keeps answering without ending the alert is a broken script.
constexpr int MaximumScriptedAttempts = 16;

struct ScriptState {
    std::mutex mutex;
    Alert::Responder responder;
    std::vector<AlertRecord> log;
};

ScriptState& scriptState()
{
    static ScriptState state;
    return state;
}

} // namespace

// --- AlertButton ---------------------------------------------------------------------------

AlertButton::AlertButton(const QString& title, int returnCode, QWidget* parent)
    : QPushButton(title, parent)
    , returnCode_(returnCode)
{
    // Return is handled by the alert through the key equivalents, not by focus.
    setAutoDefault(false);
    // The desktop's convention: a button titled "Cancel" answers Escape.
    if (title == QStringLiteral("Cancel"))
        keyEquivalent_.assign(1, AlertEscapeKey[0]);
}

// --- AlertResponse -------------------------------------------------------------------------

AlertResponse AlertResponse::pressButton(int index, std::optional<int> suppression)
{
    AlertResponse response;
    response.buttonIndex = index;
    response.suppressionState = suppression;
    return response;
}

AlertResponse AlertResponse::pressTitled(std::string title, std::optional<int> suppression)
{
    AlertResponse response;
    response.buttonTitle = std::move(title);
    response.suppressionState = suppression;
    return response;
}

AlertResponse AlertResponse::pressKey(Key key)
{
    AlertResponse response;
    response.key = key;
    return response;
}

// --- the dialog ----------------------------------------------------------------------------

class Alert::Dialog : public QDialog {
public:
    explicit Dialog(Alert& alert)
        : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
        , alert_(alert)
    {
    }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        const auto modifiers = event->modifiers() & ~Qt::KeypadModifier;
        if (modifiers == Qt::NoModifier) {
            switch (event->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                alert_.pressKeyEquivalent(AlertReturnKey);
                event->accept();
                return;
            case Qt::Key_Escape:
                alert_.pressKeyEquivalent(AlertEscapeKey);
                event->accept();
                return;
            default:
                break;
            }
        }
        QDialog::keyPressEvent(event);
    }

    // Closing the window counts as Escape; without an escape button the alert stays open.
    void reject() override { alert_.pressKeyEquivalent(AlertEscapeKey); }

private:
    Alert& alert_;
};

// --- Alert ---------------------------------------------------------------------------------

Alert::Alert()
    : dialog_(new Dialog(*this))
{
    dialog_->setWindowTitle(QGuiApplication::applicationDisplayName());

    icon_ = new QLabel(dialog_);
    icon_->setFixedSize(IconSize, IconSize);
    icon_->setAlignment(Qt::AlignCenter);

    message_ = new QLabel(dialog_);
    message_->setTextFormat(Qt::PlainText);
    message_->setWordWrap(true);
    QFont bold = message_->font();
    bold.setBold(true);
    message_->setFont(bold);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    informative_ = new QLabel(dialog_);
    informative_->setTextFormat(Qt::PlainText);
    informative_->setWordWrap(true);
    QFont small = informative_->font();
    if (small.pointSizeF() > 0)
        small.setPointSizeF(small.pointSizeF() * 0.9);
    informative_->setFont(small);
    informative_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    buttonRow_ = new QWidget(dialog_);
    auto* buttonLayout = new QHBoxLayout(buttonRow_);
    buttonLayout->setContentsMargins(0, 0, 0, 0);
    buttonLayout->setSpacing(12);
    buttonLayout->addStretch(1);

    auto* textColumn = new QVBoxLayout;
    textColumn->setSpacing(8);
    textColumn->addWidget(message_);
    textColumn->addWidget(informative_);
    textColumn->addStretch(1);

    auto* grid = new QGridLayout(dialog_);
    grid->setContentsMargins(20, 16, 20, 18);
    grid->setHorizontalSpacing(IconSpacing);
    grid->setVerticalSpacing(18);
    grid->addWidget(icon_, 0, 0, Qt::AlignTop);
    grid->addLayout(textColumn, 0, 1);
    grid->addWidget(buttonRow_, 1, 0, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);
}

Alert::~Alert()
{
    delete dialog_;
}

std::unique_ptr<Alert> Alert::alertWithMessageText(const std::optional<std::string>& message,
                                                   const std::optional<std::string>& defaultButton,
                                                   const std::optional<std::string>& alternateButton,
                                                   const std::optional<std::string>& otherButton,
                                                   const std::string& informativeText)
{
    auto alert = std::make_unique<Alert>();
    alert->legacyForm_ = true;
    alert->setMessageText(message.value_or(std::string()));
    alert->setInformativeText(informativeText);
    alert->addButton(defaultButton.value_or("OK"), NSAlertDefaultReturn);
    if (alternateButton)
        alert->addButton(*alternateButton, NSAlertAlternateReturn);
    if (otherButton)
        alert->addButton(*otherButton, NSAlertOtherReturn);
    return alert;
}

AlertButton* Alert::addButtonWithTitle(const std::string& title)
{
    if (legacyForm_)
        return addButton(title, NSAlertThirdButtonReturn + 1 + addedAfterLegacy_++);
    return addButton(title, NSAlertFirstButtonReturn + static_cast<int>(buttons_.size()));
}

AlertButton* Alert::addButton(const std::string& title, int returnCode)
{
    auto* button = new AlertButton(QString::fromStdString(title), returnCode, buttonRow_);
    if (buttons_.empty())
        button->setKeyEquivalent(AlertReturnKey);
    // Each new button goes left of the ones before it: the first stays rightmost.
    static_cast<QHBoxLayout*>(buttonRow_->layout())->insertWidget(1, button);
    QObject::connect(button, &QPushButton::clicked, [this, button] { buttonPressed(button); });
    buttons_.push_back(button);
    return button;
}

void Alert::setMessageText(const std::string& text)
{
    message_->setText(QString::fromStdString(text));
}

std::string Alert::messageText() const
{
    return message_->text().toStdString();
}

void Alert::setInformativeText(const std::string& text)
{
    informative_->setText(QString::fromStdString(text));
}

std::string Alert::informativeText() const
{
    return informative_->text().toStdString();
}

QCheckBox* Alert::suppressionButton()
{
    if (!suppression_) {
        suppression_ = new QCheckBox(QStringLiteral("Do not show this message again"), dialog_);
        suppression_->setVisible(false);
        auto* grid = static_cast<QGridLayout*>(dialog_->layout());
        auto* textColumn = static_cast<QVBoxLayout*>(grid->itemAtPosition(0, 1)->layout());
        // Below the texts and the accessory, above the stretch.
        textColumn->insertWidget(textColumn->count() - 1, suppression_);
    }
    return suppression_;
}

void Alert::setAccessoryView(QWidget* view)
{
    if (view == accessory_)
        return;
    auto* grid = static_cast<QGridLayout*>(dialog_->layout());
    auto* textColumn = static_cast<QVBoxLayout*>(grid->itemAtPosition(0, 1)->layout());
    delete accessory_;
    accessory_ = view;
    if (view) {
        view->setParent(dialog_);
        textColumn->insertWidget(2, view); // after message and informative text
        view->show();
    }
}

QDialog* Alert::window() const
{
    return dialog_;
}

void Alert::updateIcon()
{
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull()) {
        QStyle::StandardPixmap standard = QStyle::SP_MessageBoxWarning;
        if (style_ == AlertStyle::Informational)
            standard = QStyle::SP_MessageBoxInformation;
        else if (style_ == AlertStyle::Critical)
            standard = QStyle::SP_MessageBoxCritical;
        icon = dialog_->style()->standardIcon(standard, nullptr, dialog_);
    }
    icon_->setPixmap(icon.pixmap(IconSize, IconSize));
}

void Alert::layout()
{
    updateIcon();
    informative_->setVisible(!informative_->text().isEmpty());
    if (suppression_)
        suppression_->setVisible(showsSuppression_);
    else if (showsSuppression_)
        suppressionButton()->setVisible(true);

    for (AlertButton* button : buttons_) {
        button->setDefault(button->keyEquivalent() == AlertReturnKey);
        button->setMinimumWidth(std::max(button->sizeHint().width(), MinimumButtonWidth));
    }
    // The texts use the width the buttons or the accessory need, when that is more.
    int textWidth = MinimumTextWidth;
    if (accessory_)
        textWidth = std::max({textWidth, accessory_->sizeHint().width(), accessory_->minimumWidth()});
    textWidth = std::max(textWidth, buttonRow_->sizeHint().width() - IconSize - IconSpacing);
    textWidth += extraTextWidth_;
    // Word-wrapped labels get their height for the column's width; the layout alone would
    // guess a width of its own for them.
    for (QLabel* label : {message_, informative_}) {
        label->setFixedWidth(textWidth);
        label->setFixedHeight(label->text().isEmpty() ? 0 : label->heightForWidth(textWidth));
    }
    dialog_->layout()->activate();
    dialog_->adjustSize();
}

bool Alert::pressKeyEquivalent(const std::string& key)
{
    for (AlertButton* button : buttons_) {
        if (button->keyEquivalent() == key && button->isEnabled()) {
            button->click();
            return true;
        }
    }
    return false;
}

void Alert::buttonPressed(AlertButton* button)
{
    if (ended_)
        return;
    ended_ = true;
    result_ = button->returnCode();
    if (dialog_->isVisible())
        dialog_->done(result_);
}

QLineEdit* Alert::accessoryLineEdit() const
{
    if (!accessory_)
        return nullptr;
    if (auto* field = qobject_cast<QLineEdit*>(accessory_))
        return field;
    return accessory_->findChild<QLineEdit*>();
}

AlertRecord Alert::record() const
{
    AlertRecord record;
    record.messageText = messageText();
    record.informativeText = informativeText();
    record.style = style_;
    for (AlertButton* button : buttons_)
        record.buttons.push_back({button->text().toStdString(), button->isEnabled(), button->returnCode()});
    record.showsSuppressionButton = showsSuppression_;
    if (suppression_) {
        record.suppressionTitle = suppression_->text().toStdString();
        record.suppressionState = suppression_->isChecked() ? 1 : 0;
    }
    if (QLineEdit* field = accessoryLineEdit())
        record.accessoryText = field->text().toStdString();
    return record;
}

int Alert::runModal()
{
    ZOV_ASSERT(RunLoop::isMainThread(), "Alerts run on the main thread");
    ended_ = false;
    result_ = NSAlertErrorReturn;
    layout();

    // While the alert runs, the main loop serves the modal-panel mode only.
    std::optional<QtRunLoopAdapter::ModeScope> modal;
    if (QtRunLoopAdapter* adapter = PlatformApplication::runLoopAdapter())
        modal.emplace(*adapter, NSModalPanelRunLoopMode);

    if (hasResponder())
        return runScripted();

    dialog_->setWindowModality(Qt::ApplicationModal);
    if (QLineEdit* field = accessoryLineEdit())
        field->setFocus(Qt::OtherFocusReason);
    else if (!buttons_.empty())
        buttons_.front()->setFocus(Qt::OtherFocusReason);
    dialog_->exec();
    return ended_ ? result_ : NSAlertErrorReturn;
}

int Alert::runScripted()
{
    // One pass in the modal-panel mode, as a shown alert would make while it waits.
    if (RunLoop* loop = RunLoop::main()) {
        loop->runMode(NSModalPanelRunLoopMode, RunLoop::TimePoint::min());
        // That pass may have taken the loop's pending wake-up. Inside a pass Qt's adapter made
        // for its timer, the adapter re-arms only after its pass: without a wake-up it would not
        // drive the loop again while the responder spins Qt's events, and the loop's timers
        // would stop. Waking the loop lets the adapter make its own pass and re-arm.
        loop->wakeUp();
    }

    for (int attempt = 0; attempt < MaximumScriptedAttempts && !ended_; ++attempt) {
        Responder responder;
        {
            std::lock_guard lock(scriptState().mutex);
            responder = scriptState().responder;
        }
        ZOV_ASSERT(responder, "The alert responder went away during a run");
        AlertRecord asked = record();
        asked.attempt = attempt;
        applyResponse(responder(asked));
    }
    ZOV_ASSERT(ended_, "The scripted answers ended no alert");

    AlertRecord done = record();
    done.result = result_;
    {
        std::lock_guard lock(scriptState().mutex);
        scriptState().log.push_back(std::move(done));
    }
    return result_;
}

void Alert::applyResponse(const AlertResponse& response)
{
    if (response.text) {
        QLineEdit* field = accessoryLineEdit();
        ZOV_ASSERT(field, "The alert has no text field to type into");
        field->selectAll();
        if (field->hasSelectedText()) {
            QKeyEvent erase(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
            QCoreApplication::sendEvent(field, &erase);
        }
        const QString text = QString::fromStdString(*response.text);
        for (char32_t codePoint : text.toUcs4()) {
            QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString::fromUcs4(&codePoint, 1));
            QCoreApplication::sendEvent(field, &key);
        }
    }
    if (response.suppressionState) {
        ZOV_ASSERT(showsSuppression_, "The alert shows no suppression check box");
        suppressionButton()->setChecked(*response.suppressionState != 0);
    }
    if (response.buttonIndex) {
        ZOV_ASSERT(*response.buttonIndex >= 0 && *response.buttonIndex < static_cast<int>(buttons_.size()),
                   "Index out of range");
        buttons_[static_cast<std::size_t>(*response.buttonIndex)]->click();
    } else if (response.buttonTitle) {
        const QString title = QString::fromStdString(*response.buttonTitle);
        auto it = std::find_if(buttons_.begin(), buttons_.end(), [&](AlertButton* b) { return b->text() == title; });
        ZOV_ASSERT(it != buttons_.end(), "The alert has no button with that title");
        (*it)->click();
    } else if (response.key == AlertResponse::Key::Return) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QCoreApplication::sendEvent(dialog_, &key);
    } else if (response.key == AlertResponse::Key::Escape) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, QStringLiteral("\033"));
        QCoreApplication::sendEvent(dialog_, &key);
    }
}

Alert::Responder Alert::setResponder(Responder responder)
{
    std::lock_guard lock(scriptState().mutex);
    return std::exchange(scriptState().responder, std::move(responder));
}

bool Alert::hasResponder()
{
    std::lock_guard lock(scriptState().mutex);
    return static_cast<bool>(scriptState().responder);
}

std::vector<AlertRecord> Alert::answeredAlerts()
{
    std::lock_guard lock(scriptState().mutex);
    return scriptState().log;
}

void Alert::clearAnsweredAlerts()
{
    std::lock_guard lock(scriptState().mutex);
    scriptState().log.clear();
}

} // namespace vistel
