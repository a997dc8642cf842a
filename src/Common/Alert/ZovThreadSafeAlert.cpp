#include "Common/Alert/ZovThreadSafeAlert.h"

#include <QCheckBox>

#include <exception>

#include "Common/Tools/Threads/ThreadMessages.h"
#include "Platform/Exception.h"
#include "Platform/Log.h"

namespace vistel {

// --- ZovThreadSafeButtonProps ----------------------------------------------------------------

Ref<ZovThreadSafeButtonProps> ZovThreadSafeButtonProps::zovThreadSafeButtonProps()
{
    return makeRef<ZovThreadSafeButtonProps>();
}

void ZovThreadSafeButtonProps::setTitle(std::optional<std::string> title)
{
    if (title)
        imp_.set("title", std::move(*title));
    else
        imp_.remove("title");
}

std::optional<std::string> ZovThreadSafeButtonProps::title() const
{
    const Value& title = imp_.get("title");
    if (!title.isString())
        return std::nullopt;
    return title.asString();
}

void ZovThreadSafeButtonProps::setState(int state)
{
    imp_.set("state", state);
}

int ZovThreadSafeButtonProps::state() const
{
    return static_cast<int>(imp_.get("state").toInt64(0));
}

// --- ZovThreadSafeAlert ----------------------------------------------------------------------

Ref<ZovThreadSafeAlert> ZovThreadSafeAlert::create()
{
    return makeRef<ZovThreadSafeAlert>();
}

Ref<ZovThreadSafeAlert> ZovThreadSafeAlert::alertWithMessageTextAndInformativeText(
    std::optional<std::string> message, std::optional<std::string> defaultButton,
    std::optional<std::string> alternateButton, std::optional<std::string> otherButton, std::string informativeText)
{
    Ref<ZovThreadSafeAlert> alert = create();
    alert->addButtonWithTitle(std::move(defaultButton));
    alert->addButtonWithTitle(std::move(alternateButton));
    alert->addButtonWithTitle(std::move(otherButton));
    alert->setMessageText(std::move(message));
    alert->setInformativeText(std::move(informativeText));
    return alert;
}

Ref<ZovThreadSafeButtonProps> ZovThreadSafeAlert::addButtonWithTitle(std::optional<std::string> title)
{
    Ref<ZovThreadSafeButtonProps> button = ZovThreadSafeButtonProps::zovThreadSafeButtonProps();
    button->setTitle(std::move(title));
    additionalButtons_.push_back(button);
    return button;
}

Ref<ZovThreadSafeButtonProps> ZovThreadSafeAlert::suppressionButton()
{
    if (!suppressionButton_)
        suppressionButton_ = ZovThreadSafeButtonProps::zovThreadSafeButtonProps();
    return suppressionButton_;
}

int ZovThreadSafeAlert::runModal()
{
    if (!RunLoop::main()) {
        ZovLog("ZovThreadSafeAlert::runModal no main thread to ask on");
        return NSAlertErrorReturn;
    }
    result_ = NSAlertErrorReturn; // stays so when the main thread drops the run
    Ref<ZovThreadSafeAlert> self(this);
    ThreadMessages::performSelectorOnMainThread([self] { self->runOnMainThread(); }, true);
    return result_;
}

// A run that fails must still let the waiting worker go on with an answer, and nothing may
// escape into the main loop's pass: failures are logged and answered with NSAlertErrorReturn.
void ZovThreadSafeAlert::runOnMainThread()
{
    try {
        auto titleAt = [this](std::size_t index) -> std::optional<std::string> {
            return index < additionalButtons_.size() ? additionalButtons_[index]->title() : std::nullopt;
        };
        std::unique_ptr<Alert> alert = Alert::alertWithMessageText(messageText_, titleAt(0), titleAt(1), titleAt(2),
                                                                   informativeText_.value_or(std::string()));
        for (std::size_t i = 3; i < additionalButtons_.size(); ++i)
            alert->addButtonWithTitle(additionalButtons_[i]->title().value_or(std::string()));
        alert->setShowsSuppressionButton(showSupressionButton_);
        if (suppressionButton_) {
            if (auto title = suppressionButton_->title())
                alert->suppressionButton()->setText(QString::fromStdString(*title));
        }
        result_ = alert->runModal();
        if (suppressionButton_)
            suppressionButton_->setState(alert->suppressionButton()->isChecked() ? 1 : 0);
    } catch (const Exception& e) {
        ZovLog("ZovThreadSafeAlert::runModal " + e.description());
        result_ = NSAlertErrorReturn;
    } catch (const std::exception& e) {
        ZovLog(std::string("ZovThreadSafeAlert::runModal ") + e.what());
        result_ = NSAlertErrorReturn;
    }
}

} // namespace vistel
