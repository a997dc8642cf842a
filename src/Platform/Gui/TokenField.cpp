#include "Platform/Gui/TokenField.h"

#include <algorithm>
#include <cmath>

#include <QAbstractItemView>
#include <QCompleter>
#include <QFocusEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStringListModel>

namespace vistel {

namespace {

constexpr int kMargin = 3;        // around the flow
constexpr int kSpacing = 3;       // between chips, and between lines
constexpr int kChipPadding = 7;   // left and right of a chip's text
constexpr int kEditorMinimum = 40; // the editor's least width after the last chip

} // namespace

TokenField::TokenField(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_InputMethodEnabled, false);
    // The editor takes the focus (the field hands it on), so Tab leaves the field at once.
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    editor_ = new QLineEdit(this);
    editor_->setFrame(false);
    editor_->installEventFilter(this);
    setFocusProxy(editor_);
    QObject::connect(editor_, &QLineEdit::textEdited, this, [this] { typedTextEdited(); });

    completions_ = new QStringListModel(this);
    completer_ = new QCompleter(completions_, this);
    completer_->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    completer_->setCaseSensitivity(Qt::CaseInsensitive);
    completer_->setWidget(editor_);
    QObject::connect(completer_, qOverload<const QString&>(&QCompleter::activated), this,
                     [this](const QString& completion) { completionChosen(completion); });
}

TokenField::~TokenField()
{
    // The editor goes first with its filter removed: its last focus change reports nothing.
    editor_->removeEventFilter(this);
}

// ---- value ---------------------------------------------------------------------------------

void TokenField::setTokens(const QStringList& tokens)
{
    tokens_.clear();
    for (const QString& token : tokens)
        if (!token.trimmed().isEmpty())
            tokens_.push_back(token.trimmed());
    selected_.clear();
    editor_->clear();
    if (completer_->popup())
        completer_->popup()->hide();
    placeEditor();
    updateGeometry();
    update();
}

QString TokenField::stringValue() const
{
    return tokens_.join(tokenizingCharacters_.left(1));
}

void TokenField::setStringValue(const QString& text)
{
    setTokens(tokensOfString(text));
}

QStringList TokenField::tokensOfString(const QString& text) const
{
    QStringList parts {QString()};
    for (QChar c : text) {
        if (tokenizingCharacters_.contains(c))
            parts.push_back(QString());
        else
            parts.back().push_back(c);
    }
    QStringList tokens;
    for (const QString& part : parts)
        if (!part.trimmed().isEmpty())
            tokens.push_back(part.trimmed());
    return tokens;
}

QAbstractItemView* TokenField::completionPopup() const
{
    return completer_->popup();
}

QStringList TokenField::offeredCompletions() const
{
    return completions_->stringList();
}

void TokenField::selectAllTokens()
{
    selected_.clear();
    for (int i = 0; i < tokens_.size(); ++i)
        selected_.push_back(i);
    update();
}

// ---- layout --------------------------------------------------------------------------------

int TokenField::lineHeight() const
{
    return std::max(fontMetrics().height() + 4, editor_->sizeHint().height());
}

int TokenField::chipWidth(const QString& token) const
{
    // A pixel of slack each side: the outline is drawn inside the chip.
    return static_cast<int>(std::ceil(QFontMetricsF(font()).horizontalAdvance(token))) + 2 * kChipPadding + 2;
}

TokenField::Layout TokenField::layoutForWidth(int width) const
{
    Layout layout;
    const int line = lineHeight();
    const int right = std::max(width - kMargin, kMargin + 1);
    int x = kMargin, y = kMargin;
    for (const QString& token : tokens_) {
        const int w = std::min(chipWidth(token), right - kMargin);
        if (x > kMargin && x + w > right) {
            x = kMargin;
            y += line + kSpacing;
        }
        layout.chips.emplace_back(x, y, w, line);
        x += w + kSpacing;
    }
    if (x > kMargin && x + kEditorMinimum > right) {
        x = kMargin;
        y += line + kSpacing;
    }
    layout.editor = QRect(x, y, std::max(right - x, 1), line);
    layout.height = y + line + kMargin;
    return layout;
}

QSize TokenField::sizeForWidth(int width) const
{
    return {width, layoutForWidth(width).height};
}

QSize TokenField::sizeHint() const
{
    const int w = std::max(width(), 120);
    return sizeForWidth(w);
}

QSize TokenField::minimumSizeHint() const
{
    return {kEditorMinimum + 2 * kMargin, lineHeight() + 2 * kMargin};
}

QRect TokenField::tokenRect(int index) const
{
    const Layout layout = layoutForWidth(width());
    if (index < 0 || index >= static_cast<int>(layout.chips.size()))
        return {};
    return layout.chips[static_cast<std::size_t>(index)];
}

void TokenField::placeEditor()
{
    editor_->setGeometry(layoutForWidth(width()).editor);
}

void TokenField::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeEditor();
}

void TokenField::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const Layout layout = layoutForWidth(width());
    for (std::size_t i = 0; i < layout.chips.size(); ++i) {
        const QRectF chip = QRectF(layout.chips[i]).adjusted(0.5, 1.5, -0.5, -1.5);
        const bool selected = std::find(selected_.begin(), selected_.end(), static_cast<int>(i)) != selected_.end();
        QPainterPath path;
        path.addRoundedRect(chip, chip.height() / 2, chip.height() / 2);
        painter.fillPath(path, selected ? palette().color(QPalette::Highlight) : QColor(222, 231, 247));
        painter.setPen(selected ? palette().color(QPalette::Highlight).darker(120) : QColor(164, 189, 236));
        painter.drawPath(path);
        painter.setPen(palette().color(selected ? QPalette::HighlightedText : QPalette::Text));
        const QRectF text = QRectF(layout.chips[i]).adjusted(kChipPadding + 1, 0, -kChipPadding - 1, 0);
        painter.drawText(text, Qt::AlignVCenter | Qt::AlignLeft,
                         QFontMetricsF(font()).elidedText(tokens_[static_cast<int>(i)], Qt::ElideRight, text.width() + 1));
    }
}

// ---- editing -------------------------------------------------------------------------------

void TokenField::mousePressEvent(QMouseEvent* event)
{
    const Layout layout = layoutForWidth(width());
    const QPoint point = event->position().toPoint();
    const bool adding = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier);
    if (!adding)
        selected_.clear();
    for (std::size_t i = 0; i < layout.chips.size(); ++i)
        if (layout.chips[i].contains(point)) {
            const int index = static_cast<int>(i);
            if (std::find(selected_.begin(), selected_.end(), index) == selected_.end())
                selected_.push_back(index);
            break;
        }
    editor_->setFocus(Qt::MouseFocusReason);
    update();
}

bool TokenField::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != editor_)
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::FocusOut) {
        // The completion list takes the focus only for a moment; anything else ends the edit.
        if (static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
            endEditing();
        return false;
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const bool atStart = editor_->cursorPosition() == 0 && !editor_->hasSelectedText();
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!editor_->text().trimmed().isEmpty()) {
            if (takeTypedTokens(true))
                changed();
        } else {
            endEditing();
        }
        return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        endEditing(); // the focus moves on
        return false;
    case Qt::Key_Backspace:
        if (atStart && !tokens_.empty()) {
            if (selected_.empty())
                removeTokens({static_cast<int>(tokens_.size()) - 1});
            else
                removeTokens(selected_);
            return true;
        }
        break;
    case Qt::Key_Delete:
        if (!selected_.empty()) {
            removeTokens(selected_);
            return true;
        }
        break;
    case Qt::Key_A:
        if (key->modifiers() & Qt::ControlModifier && editor_->text().isEmpty()) {
            selectAllTokens();
            return true;
        }
        break;
    default: break;
    }
    if (!selected_.empty() && !key->text().isEmpty()) {
        selected_.clear();
        update();
    }
    return false;
}

bool TokenField::takeTypedTokens(bool all)
{
    const QString typed = editor_->text();
    qsizetype end = -1;
    for (qsizetype i = typed.size() - 1; i >= 0 && end < 0; --i)
        if (tokenizingCharacters_.contains(typed[i]))
            end = i;
    const QString taken = all ? typed : typed.left(std::max<qsizetype>(end, 0));
    if (!all && end < 0)
        return false;
    editor_->setText(all ? QString() : typed.mid(end + 1));
    const QStringList added = tokensOfString(taken);
    tokens_.append(added);
    selected_.clear();
    placeEditor();
    updateGeometry();
    update();
    return true;
}

void TokenField::removeTokens(std::vector<int> indexes)
{
    std::sort(indexes.begin(), indexes.end(), std::greater<>());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    for (int index : indexes)
        if (index >= 0 && index < tokens_.size())
            tokens_.removeAt(index);
    selected_.clear();
    placeEditor();
    updateGeometry();
    update();
    changed();
}

void TokenField::typedTextEdited()
{
    takeTypedTokens(false);
    changed();
    updateCompletions();
}

void TokenField::updateCompletions()
{
    const QString typed = editor_->text().trimmed();
    QStringList offered;
    int selectedIndex = -1;
    if (delegate_ && !typed.isEmpty())
        offered = delegate_->completionsForSubstring(*this, typed, static_cast<int>(tokens_.size()), selectedIndex);
    completions_->setStringList(offered);
    if (offered.isEmpty()) {
        completer_->popup()->hide();
        return;
    }
    completer_->setCompletionPrefix(QString());
    const bool focused = editor_->hasFocus();
    completer_->complete(QRect(0, 0, std::max(editor_->width(), 120), editor_->height()));
    // The list never takes the keyboard focus from the text being typed.
    if (focused && !editor_->hasFocus())
        editor_->setFocus(Qt::PopupFocusReason);
    if (selectedIndex >= 0 && selectedIndex < offered.size())
        completer_->popup()->setCurrentIndex(completions_->index(selectedIndex));
}

void TokenField::completionChosen(const QString& completion)
{
    editor_->setText(completion);
    if (takeTypedTokens(true))
        changed();
}

void TokenField::endEditing()
{
    if (completer_->popup()->isVisible())
        completer_->popup()->hide();
    if (!editor_->text().trimmed().isEmpty())
        takeTypedTokens(true);
    else
        editor_->clear();
    if (!editedSinceEnd_)
        return;
    editedSinceEnd_ = false;
    notifyEditingEnded();
}

void TokenField::changed()
{
    editedSinceEnd_ = true;
    notifyValueChanged();
}

} // namespace vistel
