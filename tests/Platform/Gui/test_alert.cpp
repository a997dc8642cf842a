// The alert dialog: answers, keys, layout, modal run-loop mode and scripted answers.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdlib>
#include <string>

#include "../../Common/Alert/AlertTestSupport.h"
#include "Platform/Exception.h"
#include "Platform/Gui/Alert.h"
#include "Platform/Gui/PlatformApplication.h"
#include "Platform/Qt/QtRunLoopAdapter.h"
#include "Platform/RunLoop.h"

using namespace vistel;

namespace {

using test::ScopedResponder;
using test::spinEvents;
using test::spinUntil;

void sendKey(QWidget* target, int key, const QString& text)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &press);
}

std::unique_ptr<Alert> duplicateNameQuestion()
{
    auto alert = Alert::alertWithMessageText("An item named \"IMG_0042.JPG\" already exists in this location.",
                                             "Replace", "Stop", "Don't Replace",
                                             "Do you want to replace it with the one you're moving?");
    alert->addButtonWithTitle("Rename");
    alert->setShowsSuppressionButton(true);
    alert->suppressionButton()->setText("Apply to all");
    return alert;
}

} // namespace

TEST(Alert, ButtonsAnswerTheirCodesInBothForms)
{
    struct Case {
        bool legacy;
        int pressed;
        int expected;
    };
    const Case cases[] = {
        {true, 0, NSAlertDefaultReturn},  {true, 1, NSAlertAlternateReturn}, {true, 2, NSAlertOtherReturn},
        {true, 3, 1003},                  {true, 4, 1004},                   {false, 0, NSAlertFirstButtonReturn},
        {false, 1, NSAlertSecondButtonReturn}, {false, 2, NSAlertThirdButtonReturn}, {false, 3, 1003},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.legacy) + " button " + std::to_string(c.pressed));
        std::unique_ptr<Alert> alert;
        if (c.legacy) {
            alert = Alert::alertWithMessageText("Message", "A", "B", "C", "");
        } else {
            alert = std::make_unique<Alert>();
            for (const char* title : {"A", "B", "C"})
                alert->addButtonWithTitle(title);
        }
        alert->addButtonWithTitle("D");
        alert->addButtonWithTitle("E");
        ScopedResponder responder([&](const AlertRecord&) { return AlertResponse::pressButton(c.pressed); });
        EXPECT_EQ(alert->runModal(), c.expected);
    }
}

TEST(Alert, ThreeButtonFormWithoutTitlesHasOnlyAnOkButton)
{
    auto alert = Alert::alertWithMessageText(std::nullopt, std::nullopt, std::nullopt, std::nullopt, "info");
    ASSERT_EQ(alert->buttons().size(), 1u);
    EXPECT_EQ(alert->buttons()[0]->text(), "OK");
    ScopedResponder responder([](const AlertRecord& record) {
        EXPECT_EQ(record.messageText, "");
        EXPECT_EQ(record.informativeText, "info");
        return AlertResponse::pressKey(AlertResponse::Key::Return);
    });
    EXPECT_EQ(alert->runModal(), NSAlertDefaultReturn);
}

TEST(Alert, ReturnAndEscapeFollowKeyEquivalentsAndSkipDisabledButtons)
{
    Alert alert;
    alert.setMessageText("Save changes?");
    alert.addButtonWithTitle("Save");
    alert.addButtonWithTitle("Cancel"); // answers Escape by its title
    alert.addButtonWithTitle("Don't Save");
    EXPECT_EQ(alert.buttons()[0]->keyEquivalent(), AlertReturnKey);
    EXPECT_EQ(alert.buttons()[1]->keyEquivalent(), AlertEscapeKey);
    EXPECT_EQ(alert.buttons()[2]->keyEquivalent(), "");

    {
        ScopedResponder responder([](const AlertRecord&) { return AlertResponse::pressKey(AlertResponse::Key::Escape); });
        EXPECT_EQ(alert.runModal(), NSAlertSecondButtonReturn);
    }
    {
        // A disabled default button ignores Return: the responder is asked again.
        alert.buttons()[0]->setEnabled(false);
        ScopedResponder responder([](const AlertRecord& record) {
            if (record.attempt == 0) {
                EXPECT_FALSE(record.buttons[0].enabled);
                return AlertResponse::pressKey(AlertResponse::Key::Return);
            }
            return AlertResponse::pressTitled("Don't Save");
        });
        EXPECT_EQ(alert.runModal(), NSAlertThirdButtonReturn);
    }
}

TEST(Alert, EscapeWithoutAnEscapeButtonLeavesTheAlertOpen)
{
    auto alert = duplicateNameQuestion();
    ScopedResponder responder([](const AlertRecord& record) {
        return record.attempt == 0 ? AlertResponse::pressKey(AlertResponse::Key::Escape)
                                   : AlertResponse::pressTitled("Stop");
    });
    EXPECT_EQ(alert->runModal(), NSAlertAlternateReturn);
}

TEST(Alert, ScriptThatEndsNothingIsAnError)
{
    Alert alert;
    alert.addButtonWithTitle("OK")->setEnabled(false);
    ScopedResponder responder([](const AlertRecord&) { return AlertResponse::pressButton(0); });
    EXPECT_THROW(alert.runModal(), Exception);
}

TEST(Alert, ScriptedRunsAreLoggedWithTextsAnswerAndSuppression)
{
    auto alert = duplicateNameQuestion();
    ScopedResponder responder([](const AlertRecord& record) {
        EXPECT_TRUE(record.showsSuppressionButton);
        EXPECT_EQ(record.suppressionTitle, "Apply to all");
        EXPECT_EQ(record.suppressionState, 0);
        return AlertResponse::pressTitled("Rename", 1);
    });
    EXPECT_EQ(alert->runModal(), 1003);
    EXPECT_TRUE(alert->suppressionButton()->isChecked());

    const auto log = Alert::answeredAlerts();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].messageText, "An item named \"IMG_0042.JPG\" already exists in this location.");
    EXPECT_EQ(log[0].informativeText, "Do you want to replace it with the one you're moving?");
    ASSERT_EQ(log[0].buttons.size(), 4u);
    const char* titles[] = {"Replace", "Stop", "Don't Replace", "Rename"};
    const int codes[] = {1, 0, -1, 1003};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(log[0].buttons[i].title, titles[i]);
        EXPECT_EQ(log[0].buttons[i].returnCode, codes[i]);
    }
    EXPECT_EQ(log[0].result, 1003);
    EXPECT_EQ(log[0].suppressionState, 1);
    EXPECT_FALSE(log[0].accessoryText.has_value());
}

TEST(Alert, ScriptedTextIsTypedKeyByKeyIntoTheAccessoryField)
{
    Alert alert;
    alert.addButtonWithTitle("OK");
    auto* field = new QLineEdit("old name");
    field->setMaxLength(4); // a filter that sees each key: the fifth character is refused
    alert.setAccessoryView(field);
    int edits = 0;
    QObject::connect(field, &QLineEdit::textEdited, [&edits] { ++edits; });
    ScopedResponder responder([](const AlertRecord& record) {
        EXPECT_EQ(record.accessoryText, "old ");
        AlertResponse response = AlertResponse::pressButton(0);
        response.text = "näme1";
        return response;
    });
    EXPECT_EQ(alert.runModal(), NSAlertFirstButtonReturn);
    EXPECT_EQ(field->text(), "näme");
    EXPECT_EQ(edits, 5); // the erase and four accepted keys
}

TEST(Alert, ScriptedRunPassesThroughTheModalPanelMode)
{
    ASSERT_NE(PlatformApplication::runLoopAdapter(), nullptr);
    bool defaultRan = false;
    bool modalRan = false;
    RunLoop::main()->perform([&] { defaultRan = true; }, {NSDefaultRunLoopMode});
    RunLoop::main()->perform([&] { modalRan = true; }, {NSModalPanelRunLoopMode});
    std::string modeSeen;
    Alert alert;
    alert.addButtonWithTitle("OK");
    ScopedResponder responder([&](const AlertRecord&) {
        modeSeen = PlatformApplication::runLoopAdapter()->currentMode();
        return AlertResponse::pressButton(0);
    });
    alert.runModal();
    EXPECT_EQ(modeSeen, NSModalPanelRunLoopMode);
    EXPECT_TRUE(modalRan);
    EXPECT_FALSE(defaultRan);
    EXPECT_EQ(PlatformApplication::runLoopAdapter()->currentMode(), NSDefaultRunLoopMode);
    EXPECT_TRUE(spinUntil([&] { return defaultRan; }));
}

// An alert asked from a main-loop timer runs inside a pass that Qt's adapter made for its own
// timer. The alert's pass must not leave the adapter blind: the loop's timers keep firing while
// the responder (the user) takes its time.
TEST(Alert, LoopTimersKeepFiringWhileAnAlertAskedFromATimerWaits)
{
    int ticks = 0;
    auto ticker = RunLoop::main()->scheduleTimer(0.02, true, [&](RunLoop::Timer&) { ++ticks; }, {NSRunLoopCommonModes});
    bool asked = false;
    bool tickedDuringAlert = false;
    auto opener = RunLoop::main()->scheduleTimer(0.001, false, [&](RunLoop::Timer&) {
        Alert alert;
        alert.addButtonWithTitle("OK");
        ScopedResponder responder([&](const AlertRecord&) {
            const int before = ticks;
            tickedDuringAlert = spinUntil([&] { return ticks >= before + 2; }, 5000);
            return AlertResponse::pressButton(0);
        });
        alert.runModal();
        asked = true;
    }, {NSDefaultRunLoopMode});
    EXPECT_TRUE(spinUntil([&] { return asked; }));
    ticker->invalidate();
    opener->invalidate();
    EXPECT_TRUE(tickedDuringAlert);
}

TEST(Alert, ShownDialogHoldsDefaultModeWorkAndEndsOnReturn)
{
    ASSERT_FALSE(Alert::hasResponder());
    auto alert = Alert::alertWithMessageText("Message", "First", "Second", std::nullopt, "Informative");
    bool defaultRan = false;
    bool commonRan = false;
    bool defaultRanDuringAlert = true;
    bool commonRanDuringAlert = false;
    bool wasVisible = false;
    bool wasModal = false;
    RunLoop::main()->perform([&] { defaultRan = true; }, {NSDefaultRunLoopMode});
    RunLoop::main()->perform([&] { commonRan = true; }, {NSRunLoopCommonModes});
    QTimer::singleShot(0, [&] {
        // The common-mode work runs while the dialog is up; default-mode work must not.
        spinUntil([&] { return commonRan && alert->window()->isVisible(); });
        spinEvents(50); // more passes in which held default-mode work would wrongly run
        wasVisible = alert->window()->isVisible();
        wasModal = alert->window()->isModal();
        defaultRanDuringAlert = defaultRan;
        commonRanDuringAlert = commonRan;
        sendKey(alert->window(), Qt::Key_Return, "\r");
    });
    EXPECT_EQ(alert->runModal(), NSAlertDefaultReturn);
    EXPECT_TRUE(wasVisible);
    EXPECT_TRUE(wasModal);
    EXPECT_FALSE(defaultRanDuringAlert);
    EXPECT_TRUE(commonRanDuringAlert);
    EXPECT_FALSE(alert->window()->isVisible());
    EXPECT_TRUE(spinUntil([&] { return defaultRan; }));
}

TEST(Alert, ClosingTheWindowCountsAsEscape)
{
    Alert alert;
    alert.addButtonWithTitle("OK");
    alert.addButtonWithTitle("Cancel");
    QTimer::singleShot(0, [&] { alert.window()->close(); });
    EXPECT_EQ(alert.runModal(), NSAlertSecondButtonReturn);
}

TEST(Alert, LayoutPutsTheFirstButtonRightmostAndShowsTextsAsPlainText)
{
    auto alert = duplicateNameQuestion();
    alert->setMessageText("<b>not bold</b> & <i>x</i>");
    alert->layout();
    alert->window()->show();
    QCoreApplication::processEvents();

    const auto& buttons = alert->buttons();
    ASSERT_EQ(buttons.size(), 4u);
    for (std::size_t i = 1; i < buttons.size(); ++i)
        EXPECT_LT(buttons[i]->geometry().right(), buttons[i - 1]->geometry().left());
    EXPECT_TRUE(buttons[0]->isDefault());
    const int windowWidth = alert->window()->width();
    EXPECT_GT(buttons[0]->mapTo(alert->window(), QPoint(buttons[0]->width(), 0)).x(), windowWidth - 40);

    bool messageFound = false;
    for (QLabel* label : alert->window()->findChildren<QLabel*>()) {
        if (label->text() == "<b>not bold</b> & <i>x</i>") {
            messageFound = true;
            EXPECT_EQ(label->textFormat(), Qt::PlainText);
            EXPECT_TRUE(label->font().bold());
        }
    }
    EXPECT_TRUE(messageFound);
    EXPECT_TRUE(alert->suppressionButton()->isVisible());
    alert->window()->hide();
}

// Shows the duplicate-name question as a user sees it. With VISTEL_SCREENSHOT_DIR set the
// dialog (and, on a real display, the whole screen) is saved there as PNG for a look.
TEST(Alert, DuplicateNameQuestionRendersAsADialog)
{
    auto alert = duplicateNameQuestion();
    QImage dialogImage;
    QPixmap screenImage;
    QTimer::singleShot(0, [&] {
        spinEvents(300);
        dialogImage = alert->window()->grab().toImage();
        if (QGuiApplication::platformName() == "xcb")
            screenImage = QGuiApplication::primaryScreen()->grabWindow(0);
        alert->buttons()[3]->click();
    });
    EXPECT_EQ(alert->runModal(), 1003);
    ASSERT_FALSE(dialogImage.isNull());
    EXPECT_GE(dialogImage.width(), 400);
    EXPECT_GE(dialogImage.height(), 120);
    if (const char* dir = std::getenv("VISTEL_SCREENSHOT_DIR")) {
        dialogImage.save(QString::fromUtf8(dir) + "/duplicate-name-dialog.png");
        if (!screenImage.isNull())
            screenImage.save(QString::fromUtf8(dir) + "/duplicate-name-screen.png");
    }
}
