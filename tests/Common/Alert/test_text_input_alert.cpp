// The text-input alert.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPixmap>

#include <cstdlib>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

#include "AlertTestSupport.h"
#include "Common/Alert/FilteredInputFormatter.h"
#include "Common/Alert/NSAlertExtensions.h"
#include "Common/Alert/SingleLineTextField.h"

using namespace vistel;
using vistel::test::ScopedResponder;

namespace {

AlertResponse typing(std::string text, AlertResponse::Key key)
{
    AlertResponse response = AlertResponse::pressKey(key);
    response.text = std::move(text);
    return response;
}

} // namespace

TEST(TextInputAlert, ClearingTheFieldDisablesTheAcceptButton)
{
    std::vector<AlertRecord> asked;
    ScopedResponder responder([&](const AlertRecord& record) {
        asked.push_back(record);
        switch (record.attempt) {
        case 0: return typing("", AlertResponse::Key::Return);  // refused: the button went dim
        case 1: return typing("x", AlertResponse::Key::Return); // one character enables it again
        default: return AlertResponse::pressKey(AlertResponse::Key::Escape);
        }
    });
    const auto answer = NSAlertExtensions::input("Rename the item", std::nullopt, "IMG_1.JPG", "Rename", "Cancel", nullptr);
    EXPECT_EQ(answer, "x");
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_TRUE(asked[0].buttons[0].enabled);
    EXPECT_EQ(asked[0].accessoryText, "IMG_1.JPG");
    EXPECT_EQ(asked[0].style, AlertStyle::Informational);
    EXPECT_FALSE(asked[1].buttons[0].enabled);
    EXPECT_EQ(asked[1].accessoryText, "");
}

TEST(TextInputAlert, EscapeAnswersNothingAndReturnAnswersTheFilteredText)
{
    {
        ScopedResponder responder([](const AlertRecord&) { return typing("typed", AlertResponse::Key::Escape); });
        EXPECT_EQ(NSAlertExtensions::input("m", "i", "old", "OK", "Cancel", nullptr), std::nullopt);
    }
    {
        FilteredInputFormatter digits(CharacterSet::decimalDigitCharacterSet(), 0, 100);
        ScopedResponder responder([](const AlertRecord&) { return typing("1a01", AlertResponse::Key::Return); });
        EXPECT_EQ(NSAlertExtensions::input("Start at", std::nullopt, "1", "OK", "Cancel", &digits), "10");
    }
    {
        // An empty default value leaves the accept button enabled until the first edit.
        ScopedResponder responder([](const AlertRecord& record) {
            EXPECT_TRUE(record.buttons[0].enabled);
            return AlertResponse::pressButton(0);
        });
        EXPECT_EQ(NSAlertExtensions::input("m", std::nullopt, "", "OK", "Cancel", nullptr), "");
    }
}

TEST(TextInputAlert, WindowEndsRightOfTheFieldAndShrinksWithoutInformativeText)
{
    int heights[2] = {0, 0};
    bool textSelected = false;
    int widthBeyondField = 0;
    for (int withInformative = 0; withInformative < 2; ++withInformative) {
        ScopedResponder responder([&](const AlertRecord&) {
            QDialog* window = nullptr;
            for (QWidget* top : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<QDialog*>(top); dialog && dynamic_cast<SingleLineTextField*>(dialog->findChild<QLineEdit*>()))
                    window = dialog;
            EXPECT_NE(window, nullptr);
            if (window) {
                auto* field = window->findChild<QLineEdit*>();
                EXPECT_EQ(field->size(), QSize(400, 24));
                textSelected = field->selectedText() == "abc";
                widthBeyondField = window->width() - field->mapTo(window, QPoint(field->width(), 0)).x();
                heights[withInformative] = window->height();
            }
            return AlertResponse::pressButton(1);
        });
        NSAlertExtensions::input("Name", withInformative ? std::optional<std::string>("Enter a new name.") : std::nullopt,
                                 "abc", "OK", "Cancel", nullptr);
    }
    EXPECT_TRUE(textSelected);
    EXPECT_EQ(widthBeyondField, 20);
    EXPECT_GT(heights[1], heights[0]);
}

TEST(TextInputAlert, ShownAlertTakesTypingInTheSelectedField)
{
    ASSERT_FALSE(Alert::hasResponder());
    FilteredInputFormatter fileName(CharacterSet::characterSetWithCharactersInString("/").invertedSet(), 255, 0);
    QTimer::singleShot(0, [] {
        // The field gets the focus once the dialog's window is shown and active.
        QWidget* focused = nullptr;
        const bool fieldFocused = vistel::test::spinUntil([&] {
            focused = QApplication::focusWidget();
            return dynamic_cast<SingleLineTextField*>(focused) != nullptr;
        });
        if (!fieldFocused) {
            ADD_FAILURE() << "the text field never got the focus";
            if (QWidget* dialog = QApplication::activeModalWidget())
                dialog->close(); // answers Cancel: the run ends
            return;
        }
        EXPECT_EQ(static_cast<QLineEdit*>(focused)->selectedText(), "selected");
        if (const char* dir = std::getenv("VISTEL_SCREENSHOT_DIR"))
            focused->window()->grab().save(QString::fromUtf8(dir) + "/text-input-dialog.png");
        for (const char* key : {"a", "/", "b"}) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString::fromUtf8(key));
            QCoreApplication::sendEvent(focused, &press);
        }
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
        QCoreApplication::sendEvent(focused, &enter);
    });
    EXPECT_EQ(NSAlertExtensions::input("New name", "Enter a name.", "selected", "Rename", "Cancel", &fileName), "ab");
}
