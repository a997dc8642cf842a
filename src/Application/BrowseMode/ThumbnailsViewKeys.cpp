// ThumbnailsView: keyboard movement of the selection.
//
// No anchor: a movement starts from the lowest selected index (left, up, line start) or the
// highest (right, down, line end); an extension grows the selection from that end and never
// removes anything. Nothing wraps, and the line actions need columns.

#include <QKeyEvent>
#include <QScrollArea>
#include <QScrollBar>

#include "Application/BrowseMode/ThumbnailsView.h"

namespace vistel {

namespace {

struct KeyAction {
    int key;
    const char* plain;
    const char* shifted;
};

constexpr KeyAction kKeyActions[] = {
    {Qt::Key_Left, "moveLeft:", "moveLeftAndModifySelection:"},
    {Qt::Key_Right, "moveRight:", "moveRightAndModifySelection:"},
    {Qt::Key_Up, "moveUp:", "moveUpAndModifySelection:"},
    {Qt::Key_Down, "moveDown:", "moveDownAndModifySelection:"},
    {Qt::Key_Home, "moveToBeginningOfDocument:", "moveToBeginningOfDocumentAndModifySelection:"},
    {Qt::Key_End, "moveToEndOfDocument:", "moveToEndOfDocumentAndModifySelection:"},
    {Qt::Key_PageUp, "scrollPageUp:", "scrollPageUp:"},
    {Qt::Key_PageDown, "scrollPageDown:", "scrollPageDown:"},
};

} // namespace

void ThumbnailsView::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && modifiers == Qt::NoModifier) {
        if (userActionsDelegate_)
            userActionsDelegate_->itemsViewPerformDoubleClick(this);
        event->accept();
        return;
    }
    if (modifiers & ~Qt::ShiftModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    for (const KeyAction& action : kKeyActions)
        if (event->key() == action.key) {
            const bool shift = modifiers & Qt::ShiftModifier;
            performKeyAction(shift ? action.shifted : action.plain, shift);
            event->accept();
            return;
        }
    QWidget::keyPressEvent(event);
}

bool ThumbnailsView::performKeyAction(const std::string& action, bool shiftDown)
{
    static const char* const known[] = {
        "moveLeft:", "moveRight:", "moveUp:", "moveDown:", "moveLeftAndModifySelection:",
        "moveRightAndModifySelection:", "moveUpAndModifySelection:", "moveDownAndModifySelection:",
        "moveToBeginningOfLine:", "moveToEndOfLine:", "moveToBeginningOfLineAndModifySelection:",
        "moveToEndOfLineAndModifySelection:", "moveToBeginningOfDocument:", "moveToEndOfDocument:",
        "moveToBeginningOfDocumentAndModifySelection:", "moveToEndOfDocumentAndModifySelection:",
        "scrollToBeginningOfDocument:", "scrollToEndOfDocument:", "scrollPageUp:", "scrollPageDown:"};
    for (const char* name : known)
        if (action == name) {
            moveSelection(action, shiftDown);
            return true;
        }
    return false;
}

void ThumbnailsView::moveSelection(const std::string& requested, bool shiftDown)
{
    const std::uint64_t n = itemsCount();
    IndexSet s = selectedItemsIndexes();
    const std::uint64_t c = columns();
    const std::uint64_t f = s.firstIndex(), l = s.lastIndex();
    std::string action = requested;
    // Shift with a plain arrow extends.
    if (shiftDown && !s.empty()) {
        for (const char* arrow : {"moveLeft:", "moveRight:", "moveUp:", "moveDown:"})
            if (action == arrow) {
                action = std::string(arrow, std::string(arrow).size() - 1) + "AndModifySelection:";
                break;
            }
    }
    auto choose = [&](std::uint64_t index) {
        setSelectedItemIndexes(IndexSet(index));
        scrollToItemWithIndex(index);
    };
    auto extend = [&](std::uint64_t from, std::uint64_t to, std::uint64_t shown) {
        s.addRange(from, to - from + 1);
        setSelectedItemIndexes(s);
        scrollRectToVisible(gridRectForItemIndex(shown));
    };
    auto scrollTo = [&](int value) {
        if (QScrollArea* area = enclosingScrollArea())
            area->verticalScrollBar()->setValue(value);
    };

    if (action == "moveLeft:") {
        if (!s.empty() && f > 0)
            choose(f - 1);
        else if (s.empty() && n > 0)
            choose(n - 1);
    } else if (action == "moveRight:") {
        if (!s.empty() && !s.containsIndex(n - 1) && l + 1 < n)
            choose(l + 1);
        else if (s.empty() && n > 0)
            choose(0);
    } else if (action == "moveUp:") {
        if (!s.empty() && c > 0 && f >= c)
            choose(f - c);
        else if (s.empty() && n > 0)
            choose(n - 1);
    } else if (action == "moveDown:") {
        if (!s.empty() && c > 0 && l + c <= n - 1)
            choose(l + c);
        else if (s.empty() && n > 0)
            choose(0);
    } else if (action == "moveLeftAndModifySelection:") {
        if (!s.empty() && f > 0)
            extend(f - 1, f - 1, f - 1);
    } else if (action == "moveRightAndModifySelection:") {
        if (!s.empty() && !s.containsIndex(n - 1) && l + 1 < n)
            extend(l + 1, l + 1, l + 1);
    } else if (action == "moveUpAndModifySelection:") {
        if (!s.empty() && c > 0 && f >= c)
            extend(f - c, f, f - c);
    } else if (action == "moveDownAndModifySelection:") {
        if (!s.empty() && c > 0 && l + c <= n - 1)
            extend(l + 1, l + c, l + c);
    } else if (action == "moveToBeginningOfLine:") {
        if (!s.empty() && c > 0) {
            const std::uint64_t first = f - f % c;
            setSelectedItemIndexes(IndexSet(first));
            scrollRectToVisible(gridRectForItemIndex(first));
        }
    } else if (action == "moveToEndOfLine:") {
        if (!s.empty() && c > 0) {
            const std::uint64_t last = std::min(l - l % c + c - 1, n - 1);
            setSelectedItemIndexes(IndexSet(last));
            scrollRectToVisible(gridRectForItemIndex(last));
        }
    } else if (action == "moveToBeginningOfLineAndModifySelection:") {
        if (!s.empty() && c > 0 && f % c > 0)
            extend(f - f % c, f - 1, f - f % c);
    } else if (action == "moveToEndOfLineAndModifySelection:") {
        if (!s.empty() && c > 0)
            extend(l, std::min(l - l % c + c, n) - 1, std::min(l - l % c + c, n) - 1);
    } else if (action == "moveToBeginningOfDocument:") {
        if (n > 0) {
            setSelectedItemIndexes(IndexSet(std::uint64_t(0)));
            scrollTo(0);
        }
    } else if (action == "moveToEndOfDocument:") {
        if (n > 0) {
            setSelectedItemIndexes(IndexSet(n - 1));
            scrollRectToVisible(gridRectForItemIndex(n - 1));
        }
    } else if (action == "moveToBeginningOfDocumentAndModifySelection:") {
        if (!s.empty() && f > 0) {
            s.addRange(0, f);
            setSelectedItemIndexes(s);
            scrollTo(0);
        }
    } else if (action == "moveToEndOfDocumentAndModifySelection:") {
        if (!s.empty())
            extend(l, n - 1, n - 1);
    } else if (action == "scrollToBeginningOfDocument:") {
        scrollTo(0);
    } else if (action == "scrollToEndOfDocument:") {
        if (n > 0)
            scrollRectToVisible(gridRectForItemIndex(n - 1));
    } else if (action == "scrollPageUp:" || action == "scrollPageDown:") {
        if (QScrollArea* area = enclosingScrollArea()) {
            QScrollBar* bar = area->verticalScrollBar();
            bar->setValue(bar->value() + (action == "scrollPageUp:" ? -bar->pageStep() : bar->pageStep()));
        }
    }
}

} // namespace vistel
