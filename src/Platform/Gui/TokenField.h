#pragma once
// TokenField: a text field whose text is a list of tokens (keywords), each shown as a chip, the
// chips laid out in a flow that wraps onto as many lines as they need.
//
// Typing goes into a line edit after the last chip. A tokenising character (",") or Return ends
// the token being typed: its text, trimmed, becomes a chip (an empty one is dropped); text pasted
// with commas makes several. Return with nothing typed ends the edit. Backspace at the start of
// the typed text removes the selected chips, else the last one; Delete removes the selected
// chips; a click on a chip selects it (Shift or Ctrl adds it), and Ctrl+A with nothing typed
// selects every chip. Losing the keyboard focus makes the typed text a token and ends the edit.
//
// While a token is typed the delegate is asked for completions of the typed text; they are
// offered in a popup list, and choosing one makes it the token.
//
// The string value is the tokens joined by ","; setting it splits at "," (trimmed, empty parts
// dropped). The field's height follows its width (hasHeightForWidth, sizeForWidth): more chips,
// more lines.
//
// As an ObservableControl it is a text control: every change of its tokens or typed text is
// reported as a change, the end of an edit as the end; setters report nothing.
//
// Thread rules: main thread only.

#include <vector>

#include <QLineEdit>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "Platform/Gui/ObservableControl.h"

class QAbstractItemView;
class QCompleter;
class QStringListModel;

namespace vistel {

class TokenField;

class TokenFieldDelegate {
public:
    virtual ~TokenFieldDelegate() = default;
    // The completions of `substring`, typed as the token at `tokenIndex`; `selectedIndex` (-1 on
    // entry) may name the completion to preselect.
    virtual QStringList completionsForSubstring(TokenField& field, const QString& substring, int tokenIndex, int& selectedIndex) = 0;
};

class TokenField : public QWidget, public ObservableControl {
public:
    explicit TokenField(QWidget* parent = nullptr);
    ~TokenField() override;

    const QStringList& tokens() const { return tokens_; }
    void setTokens(const QStringList& tokens);
    // The tokens joined by the first tokenising character.
    QString stringValue() const;
    void setStringValue(const QString& text);
    // The characters that end a token (",").
    const QString& tokenizingCharacters() const { return tokenizingCharacters_; }
    // Splits a text at the tokenising characters: trimmed parts, empty ones dropped.
    QStringList tokensOfString(const QString& text) const;

    // Not owned.
    void setDelegate(TokenFieldDelegate* delegate) { delegate_ = delegate; }
    TokenFieldDelegate* delegate() const { return delegate_; }

    // The line edit that takes the typed text, and the completion list.
    QLineEdit* editor() const { return editor_; }
    QAbstractItemView* completionPopup() const;
    QStringList offeredCompletions() const;

    // Selected chips (indexes into tokens()).
    const std::vector<int>& selectedTokens() const { return selected_; }
    void selectAllTokens();
    // Where a chip is drawn (widget coordinates); empty for a bad index.
    QRect tokenRect(int index) const;

    // The size the field needs at a width (all chips and the editor shown).
    QSize sizeForWidth(int width) const;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return sizeForWidth(width).height(); }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    ObservedKind observedKind() const override { return ObservedKind::Text; }
    Value observedValue() const override { return Value(stringValue().toStdString()); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    struct Layout {
        std::vector<QRect> chips;
        QRect editor;
        int height = 0;
    };
    Layout layoutForWidth(int width) const;
    int chipWidth(const QString& token) const;
    int lineHeight() const;
    void placeEditor();
    // Makes tokens of what was typed up to its last tokenising character (all of it when
    // `all`); answers whether tokens changed.
    bool takeTypedTokens(bool all);
    void removeTokens(std::vector<int> indexes);
    void typedTextEdited();
    void updateCompletions();
    void completionChosen(const QString& completion);
    void endEditing();
    void changed();

    QStringList tokens_;
    QString tokenizingCharacters_ = QStringLiteral(",");
    std::vector<int> selected_;
    QLineEdit* editor_ = nullptr;
    QCompleter* completer_ = nullptr;
    QStringListModel* completions_ = nullptr;
    TokenFieldDelegate* delegate_ = nullptr;
    bool editedSinceEnd_ = false;
};

} // namespace vistel
