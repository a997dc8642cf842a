// Filtered text input: the formatter on any line edit, and the field that checks each edit.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QList>

#include <climits>

#include "Common/Alert/FilteredInputFormatter.h"
#include "Common/Alert/TextFieldWithFilteredInput.h"
#include "Platform/Gui/PlatformApplication.h"

using namespace vistel;

namespace {

void type(QWidget* field, const QString& text)
{
    for (char32_t c : text.toUcs4()) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString::fromUcs4(&c, 1));
        QCoreApplication::sendEvent(field, &key);
    }
}

void press(QWidget* field, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent event(QEvent::KeyPress, key, modifiers);
    QCoreApplication::sendEvent(field, &event);
}

class BeepCounter {
public:
    BeepCounter() { previous_ = PlatformApplication::setBeepHandler([this] { ++beeps; }); }
    ~BeepCounter() { PlatformApplication::setBeepHandler(std::move(previous_)); }
    int beeps = 0;

private:
    PlatformApplication::BeepHandler previous_;
};

} // namespace

TEST(FilteredInputFormatter, PartialStringValidity)
{
    struct Case {
        const char* name;
        std::optional<CharacterSet> set;
        int maxLength;
        int maxValue;
        const char* text;
        bool valid;
    };
    const auto digits = CharacterSet::decimalDigitCharacterSet();
    const Case cases[] = {
        {"no limits", std::nullopt, 0, 0, "anything at all: 99999999999 ✓", true},
        {"digits", digits, 0, 0, "0123", true},
        {"letter among digits", digits, 0, 0, "12a", false},
        {"empty text", digits, 3, 100, "", true},
        {"at max length", std::nullopt, 3, 0, "abc", true},
        {"over max length", std::nullopt, 3, 0, "abcd", false},
        {"length in UTF-16 units", std::nullopt, 3, 0, "a😀", true},
        {"astral over length", std::nullopt, 2, 0, "a😀", false},
        {"at max value", digits, 0, 100, "100", true},
        {"over max value", digits, 0, 100, "101", false},
        {"leading zeros", digits, 0, 100, "0099", true},
        {"value overflowing 32 bits", digits, 0, 100, "99999999999999999999", false},
        {"negative under max", std::nullopt, 0, 100, "-5000", true},
        {"value stops at first non-digit", std::nullopt, 0, 100, " 42abc999", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FilteredInputFormatter formatter(c.set, c.maxLength, c.maxValue);
        QString text = QString::fromUtf8(c.text);
        int position = 0;
        EXPECT_EQ(formatter.isPartialStringValid(text), c.valid);
        EXPECT_EQ(formatter.validate(text, position), c.valid ? QValidator::Acceptable : QValidator::Invalid);
    }
}

TEST(FilteredInputFormatter, IntegerValueOfText)
{
    const std::pair<const char*, int> cases[] = {
        {"", 0},      {"abc", 0},          {"  12", 12},        {"+7x", 7},
        {"-42", -42}, {"2147483647", INT_MAX}, {"2147483648", INT_MAX}, {"-2147483648", INT_MIN},
        {"-99999999999", INT_MIN}, {"1 2", 1},
    };
    for (auto [text, value] : cases)
        EXPECT_EQ(FilteredInputFormatter::intValue(QString::fromUtf8(text)), value) << text;
}

TEST(FilteredInputFormatter, ObjectValues)
{
    EXPECT_EQ(FilteredInputFormatter::stringForObjectValue(Value("abc")), "abc");
    EXPECT_EQ(FilteredInputFormatter::stringForObjectValue(Value(12)), std::nullopt);
    Value object;
    EXPECT_TRUE(FilteredInputFormatter::getObjectValue(object, "x1"));
    EXPECT_EQ(object, Value("x1"));
}

TEST(FilteredInputFormatter, LineEditRefusesTypingAndPastingThatBreakTheFilter)
{
    FilteredInputFormatter formatter(CharacterSet::decimalDigitCharacterSet(), 4, 0);
    QLineEdit field;
    field.setValidator(&formatter);
    type(&field, "12a3");
    EXPECT_EQ(field.text(), "123");
    QApplication::clipboard()->setText("99999");
    field.paste();
    EXPECT_EQ(field.text(), "123"); // refused whole, not cut to one digit
    QApplication::clipboard()->setText("4");
    field.paste();
    EXPECT_EQ(field.text(), "1234");
}

TEST(TextFieldWithFilteredInput, TypingPastMaximumValueBeepsAndKeepsTheText)
{
    BeepCounter counter;
    TextFieldWithFilteredInput field;
    field.setFilterCharacterSet(CharacterSet::decimalDigitCharacterSet());
    field.setMaxIntegerValue(100);
    type(&field, "101");
    EXPECT_EQ(field.text(), "10");
    EXPECT_EQ(counter.beeps, 1);
    type(&field, "x0");
    EXPECT_EQ(field.text(), "100");
    EXPECT_EQ(counter.beeps, 2);
}

TEST(TextFieldWithFilteredInput, OverlongPasteIsRefusedWhole)
{
    BeepCounter counter;
    TextFieldWithFilteredInput field;
    field.setMaxTextLength(8);
    type(&field, "name");
    QApplication::clipboard()->setText("-too-long");
    press(&field, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(field.text(), "name");
    EXPECT_EQ(counter.beeps, 1);
    // Replacing a selection counts the selection out.
    field.selectAll();
    QApplication::clipboard()->setText("new-name");
    press(&field, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(field.text(), "new-name");
    EXPECT_EQ(counter.beeps, 1);
}

TEST(TextFieldWithFilteredInput, OnlyTheReplacementMeetsTheCharacterSet)
{
    BeepCounter counter;
    TextFieldWithFilteredInput field;
    field.setFilterCharacterSet(CharacterSet::characterSetWithCharactersInString("/:").invertedSet());
    field.setText("a/b"); // the program's text is never refused
    EXPECT_EQ(field.text(), "a/b");
    EXPECT_EQ(counter.beeps, 0);
    field.end(false);
    type(&field, "c:");
    EXPECT_EQ(field.text(), "a/bc");
    press(&field, Qt::Key_Home);
    press(&field, Qt::Key_Delete);
    EXPECT_EQ(field.text(), "/bc"); // deleting is always allowed
    EXPECT_EQ(counter.beeps, 1);
}

TEST(TextFieldWithFilteredInput, WithoutFiltersEveryEditIsAccepted)
{
    BeepCounter counter;
    TextFieldWithFilteredInput field;
    type(&field, "Any text: 123 / é 😀");
    EXPECT_EQ(field.text(), "Any text: 123 / é 😀");
    EXPECT_EQ(counter.beeps, 0);
}
