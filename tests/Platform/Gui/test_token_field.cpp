// The token field: tokens typed and ended by "," or Return, removed with Backspace, completed
// from the delegate, growing in height with its chips, and reporting edits as a text control.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QTest>

#include <memory>

#include "Platform/Gui/TokenField.h"

using namespace vistel;

namespace {

struct Words : TokenFieldDelegate {
    QStringList known {"Beach", "beer", "Berlin", "boat"};
    std::vector<std::pair<QString, int>> asked;
    QStringList completionsForSubstring(TokenField& field, const QString& substring, int tokenIndex, int&) override
    {
        asked.emplace_back(substring, tokenIndex);
        QStringList found;
        for (const QString& word : known)
            if (word.startsWith(substring, Qt::CaseInsensitive) && !field.tokens().contains(word))
                found.push_back(word);
        return found;
    }
};

struct Reports {
    int changes = 0;
    std::vector<std::string> ends;
};

struct Fixture {
    QWidget window;
    TokenField* field = new TokenField(&window);
    QWidget* other = new QWidget(&window);
    QObject context;
    Reports reports;

    Fixture()
    {
        field->setGeometry(0, 0, 200, field->heightForWidth(200));
        other->setFocusPolicy(Qt::StrongFocus);
        other->setGeometry(0, 150, 10, 10);
        window.resize(220, 180);
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        field->addObserver(&context, [this] { ++reports.changes; },
                           [this] { reports.ends.push_back(field->observedValue().toString()); });
        field->setFocus();
    }
    void type(const char* text) { QTest::keyClicks(field->editor(), text); }
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) { QTest::keyClick(field->editor(), key, modifiers); }
};

TEST(TokenField, CommaAndReturnEndTokensTrimmedAndEmptyOnesAreDropped)
{
    Fixture f;
    f.type(" sea , ,sand");
    EXPECT_EQ(f.field->tokens(), (QStringList {"sea"}));
    EXPECT_EQ(f.field->editor()->text(), "sand");
    f.key(Qt::Key_Return);
    EXPECT_EQ(f.field->tokens(), (QStringList {"sea", "sand"}));
    EXPECT_EQ(f.field->stringValue(), "sea,sand");
    EXPECT_TRUE(f.field->editor()->text().isEmpty());
    EXPECT_TRUE(f.reports.ends.empty()); // Return ended a token, not the edit
    EXPECT_GT(f.reports.changes, 0);
    // Return with nothing typed ends the edit, once.
    f.key(Qt::Key_Return);
    EXPECT_EQ(f.reports.ends, (std::vector<std::string> {"sea,sand"}));
    f.key(Qt::Key_Return);
    EXPECT_EQ(f.reports.ends.size(), 1u);
}

TEST(TokenField, LosingTheFocusMakesTheTypedTextATokenAndEndsTheEdit)
{
    Fixture f;
    f.field->setStringValue("a, b");
    EXPECT_EQ(f.reports.changes, 0); // code's changes are not reported
    f.type("c");
    f.other->setFocus();
    EXPECT_EQ(f.field->tokens(), (QStringList {"a", "b", "c"}));
    EXPECT_EQ(f.reports.ends, (std::vector<std::string> {"a,b,c"}));
    // Nothing edited since: another focus change reports nothing.
    f.field->setFocus();
    f.other->setFocus();
    EXPECT_EQ(f.reports.ends.size(), 1u);
}

TEST(TokenField, BackspaceAtTheStartRemovesTheLastTokenAndSelectAllClears)
{
    Fixture f;
    f.field->setStringValue("one,two,three");
    f.type("x");
    f.key(Qt::Key_Backspace); // deletes the typed character only
    EXPECT_EQ(f.field->tokens().size(), 3);
    f.key(Qt::Key_Backspace);
    EXPECT_EQ(f.field->tokens(), (QStringList {"one", "two"}));
    // A chip clicked is selected; Backspace removes it rather than the last.
    QTest::mouseClick(f.field, Qt::LeftButton, {}, f.field->tokenRect(0).center());
    EXPECT_EQ(f.field->selectedTokens(), (std::vector<int> {0}));
    f.key(Qt::Key_Backspace);
    EXPECT_EQ(f.field->tokens(), (QStringList {"two"}));
    f.field->setStringValue("one,two,three");
    f.key(Qt::Key_A, Qt::ControlModifier);
    f.key(Qt::Key_Backspace);
    EXPECT_TRUE(f.field->tokens().isEmpty());
    f.other->setFocus();
    EXPECT_EQ(f.reports.ends, (std::vector<std::string> {""}));
}

TEST(TokenField, CompletionsComeFromTheDelegateAndAChoiceBecomesTheToken)
{
    Fixture f;
    Words words;
    f.field->setDelegate(&words);
    f.field->setStringValue("beer");
    f.type("be");
    ASSERT_FALSE(words.asked.empty());
    EXPECT_EQ(words.asked.back(), (std::pair<QString, int> {"be", 1}));
    EXPECT_EQ(f.field->offeredCompletions(), (QStringList {"Beach", "Berlin"}));
    EXPECT_TRUE(f.field->completionPopup()->isVisible());
    QAbstractItemView* popup = f.field->completionPopup();
    QTest::mouseClick(popup->viewport(), Qt::LeftButton, {}, popup->visualRect(popup->model()->index(0, 0)).center());
    EXPECT_EQ(f.field->tokens(), (QStringList {"beer", "Beach"}));
    EXPECT_TRUE(f.field->editor()->text().isEmpty());
    // Nothing matches: no list.
    f.type("zz");
    EXPECT_TRUE(f.field->offeredCompletions().isEmpty());
    EXPECT_FALSE(f.field->completionPopup()->isVisible());
}

TEST(TokenField, HeightFollowsTheChips)
{
    Fixture f;
    const int one = f.field->heightForWidth(200);
    f.field->setStringValue("harbour");
    EXPECT_EQ(f.field->heightForWidth(200), one); // one line: chip and editor side by side
    QStringList many;
    for (int i = 0; i < 12; ++i)
        many.push_back(QString("keyword%1").arg(i));
    f.field->setTokens(many);
    const int tall = f.field->heightForWidth(200);
    EXPECT_GT(tall, 3 * one);
    EXPECT_LT(f.field->heightForWidth(600), tall);
    // Every chip lies inside the height the field asks for, none overlapping.
    f.field->resize(200, tall);
    for (int i = 0; i < many.size(); ++i) {
        EXPECT_TRUE(QRect(0, 0, 200, tall).contains(f.field->tokenRect(i))) << i;
        if (i > 0) {
            EXPECT_FALSE(f.field->tokenRect(i).intersects(f.field->tokenRect(i - 1))) << i;
        }
    }
    EXPECT_TRUE(QRect(0, 0, 200, tall).contains(f.field->editor()->geometry()));
}

} // namespace
