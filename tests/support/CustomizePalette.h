#pragma once
// Drives a tool bar's customise dialog from inside its modal loop: pick rows of the two lists
// ("available" and "current"), press its buttons by title, read what it lists. After each press
// the deletions the dialog's edits left for later are carried out, as the next pass of the main
// loop would.

#include <functional>

#include <QApplication>
#include <QDialog>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

#include "Platform/Gui/WindowToolbar.h"

namespace vistel::test {

class CustomizePalette {
public:
    explicit CustomizePalette(QDialog& dialog)
        : dialog_(dialog)
    {
    }
    QDialog& dialog() { return dialog_; }
    // Selects the first row of that label; false when there is none.
    bool selectAvailable(const QString& label) { return select(list("available"), label); }
    bool selectCurrent(int row)
    {
        QListWidget* current = list("current");
        if (!current || row < 0 || row >= current->count())
            return false;
        current->setCurrentRow(row);
        return true;
    }
    bool press(const QString& title)
    {
        for (QPushButton* button : dialog_.findChildren<QPushButton*>())
            if (button->text() == title) {
                button->click();
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
                QCoreApplication::processEvents();
                return true;
            }
        return false;
    }
    QStringList currentLabels()
    {
        QStringList labels;
        if (QListWidget* current = list("current"))
            for (int i = 0; i < current->count(); ++i)
                labels << current->item(i)->text();
        return labels;
    }

private:
    QListWidget* list(const char* name) { return dialog_.findChild<QListWidget*>(QString::fromLatin1(name)); }
    static bool select(QListWidget* list, const QString& label)
    {
        if (!list)
            return false;
        const QList<QListWidgetItem*> found = list->findItems(label, Qt::MatchExactly);
        if (found.isEmpty())
            return false;
        list->setCurrentItem(found.first());
        return true;
    }
    QDialog& dialog_;
};

// Opens the toolbar's customise dialog, runs `steps` in it and closes it; false when no dialog
// came up.
inline bool runCustomizePalette(WindowToolbar& toolbar, const std::function<void(CustomizePalette&)>& steps)
{
    bool ran = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QDialog*>(widget);
            if (!dialog || !dialog->isVisible() || ran)
                continue;
            ran = true;
            poll.stop();
            QPointer<QDialog> alive(dialog);
            CustomizePalette palette(*dialog);
            steps(palette);
            if (alive) // the steps may have let the dialog go with its window
                alive->accept();
            return;
        }
    });
    poll.start();
    toolbar.runCustomizationPalette();
    poll.stop();
    return ran;
}

} // namespace vistel::test
