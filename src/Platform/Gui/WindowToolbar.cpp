#include "Platform/Gui/WindowToolbar.h"

#include <algorithm>

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSizePolicy>
#include <QVBoxLayout>
#include <QWidgetAction>

#include "Platform/Gui/Responder.h"
#include "Platform/UserDefaults.h"

namespace vistel {

namespace {

bool isStandard(const std::string& identifier)
{
    return identifier == NSToolbarSeparatorItemIdentifier || identifier == NSToolbarSpaceItemIdentifier ||
           identifier == NSToolbarFlexibleSpaceItemIdentifier || identifier == NSToolbarCustomizeToolbarItemIdentifier;
}

QString standardLabel(const std::string& identifier)
{
    if (identifier == NSToolbarSeparatorItemIdentifier)
        return QStringLiteral("Separator");
    if (identifier == NSToolbarSpaceItemIdentifier)
        return QStringLiteral("Space");
    if (identifier == NSToolbarFlexibleSpaceItemIdentifier)
        return QStringLiteral("Flexible Space");
    return QStringLiteral("Customize");
}

} // namespace

WindowToolbar::WindowToolbar(std::string identifier, QWidget* parent)
    : QToolBar(parent)
    , identifier_(std::move(identifier))
{
    setObjectName(QString::fromStdString(identifier_));
    setMovable(false);
    setFloatable(false);
}

WindowToolbar::~WindowToolbar() = default;

void WindowToolbar::setDelegate(WindowToolbarDelegate* delegate)
{
    delegate_ = delegate;
    if (!configured_) {
        identifiers_ = defaultItemIdentifiers();
        configured_ = true;
    }
    rebuild();
}

void WindowToolbar::setDisplayMode(int mode)
{
    displayMode_ = mode;
    static const Qt::ToolButtonStyle styles[] = {Qt::ToolButtonTextUnderIcon, Qt::ToolButtonTextUnderIcon,
                                                 Qt::ToolButtonIconOnly, Qt::ToolButtonTextOnly};
    setToolButtonStyle(styles[std::clamp(mode, 0, 3)]);
    store();
}

void WindowToolbar::setSizeMode(int mode)
{
    sizeMode_ = mode;
    setIconSize(mode == 2 ? QSize(24, 24) : QSize(32, 32));
}

void WindowToolbar::setAutosavesConfiguration(bool autosaves, UserDefaults* defaults)
{
    autosaves_ = autosaves;
    defaults_ = defaults ? defaults : &UserDefaults::standard();
    if (!autosaves_)
        return;
    const Value stored = defaults_->dictionaryForKey(configurationKey(identifier_));
    if (stored.isNull())
        return;
    std::vector<std::string> identifiers;
    for (const Value& identifier : stored.get("TB Item Identifiers").asArray())
        if (identifier.isString())
            identifiers.push_back(identifier.asString());
    if (stored.get("TB Item Identifiers").isArray()) {
        identifiers_ = identifiers;
        configured_ = true;
    }
    if (stored.get("TB Display Mode").isNumber())
        setDisplayMode(static_cast<int>(stored.get("TB Display Mode").toInt64()));
    shown_ = stored.get("TB Is Shown").toBool(true);
    setVisible(shown_);
    rebuild();
}

void WindowToolbar::setShown(bool shown)
{
    shown_ = shown;
    setVisible(shown);
    store();
}

QAction* WindowToolbar::itemAt(std::size_t index) const { return index < items_.size() ? items_[index] : nullptr; }

std::vector<std::string> WindowToolbar::allowedItemIdentifiers()
{
    if (!delegate_)
        return {};
    return delegate_->toolbarAllowedItemIdentifiers(*this).value_or(std::vector<std::string> {});
}

std::vector<std::string> WindowToolbar::defaultItemIdentifiers()
{
    if (!delegate_)
        return {};
    return delegate_->toolbarDefaultItemIdentifiers(*this).value_or(std::vector<std::string> {});
}

QAction* WindowToolbar::makeItem(const std::string& identifier, bool willBeInserted)
{
    if (identifier == NSToolbarSeparatorItemIdentifier) {
        auto* action = new QAction(this);
        action->setSeparator(true);
        return action;
    }
    if (identifier == NSToolbarSpaceItemIdentifier || identifier == NSToolbarFlexibleSpaceItemIdentifier) {
        auto* action = new QWidgetAction(this);
        auto* space = new QWidget;
        if (identifier == NSToolbarSpaceItemIdentifier)
            space->setFixedWidth(16);
        else
            space->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        action->setDefaultWidget(space);
        return action;
    }
    if (identifier == NSToolbarCustomizeToolbarItemIdentifier) {
        auto* action = new QAction(standardLabel(identifier), this);
        connect(action, &QAction::triggered, this, [this] { runCustomizationPalette(); });
        return action;
    }
    QAction* item = delegate_ ? delegate_->toolbarItemForItemIdentifier(*this, identifier, willBeInserted) : nullptr;
    if (item && !item->parent())
        item->setParent(this);
    return item;
}

void WindowToolbar::rebuild()
{
    std::vector<QPointer<QAction>> old;
    old.swap(items_);
    for (const QPointer<QAction>& item : old)
        if (item)
            removeAction(item);
    if (delegate_) {
        std::vector<std::string> kept;
        for (const std::string& identifier : identifiers_) {
            QAction* item = makeItem(identifier, true);
            if (!item)
                continue; // an identifier nobody makes any more
            // An item the delegate hands back may be waiting to be deleted from an earlier pass.
            QCoreApplication::removePostedEvents(item, QEvent::DeferredDelete);
            delegate_->toolbarWillAddItem(*this, item);
            addAction(item);
            items_.emplace_back(item);
            kept.push_back(identifier);
        }
        identifiers_ = kept;
    }
    // The toolbar's own items that no longer show go (later: one may be sending its action now).
    for (const QPointer<QAction>& item : old)
        if (item && item->parent() == this && std::find(items_.begin(), items_.end(), item) == items_.end())
            item->deleteLater();
    showSelection();
}

void WindowToolbar::setSelectedItemIdentifier(const std::string& identifier)
{
    selected_ = identifier;
    showSelection();
}

void WindowToolbar::showSelection()
{
    const std::vector<std::string> selectable =
        delegate_ ? delegate_->toolbarSelectableItemIdentifiers(*this) : std::vector<std::string>();
    if (std::find(selectable.begin(), selectable.end(), selected_) == selectable.end())
        selected_.clear();
    for (std::size_t i = 0; i < items_.size() && i < identifiers_.size(); ++i) {
        if (!items_[i])
            continue;
        const bool isSelectable =
            std::find(selectable.begin(), selectable.end(), identifiers_[i]) != selectable.end();
        items_[i]->setCheckable(isSelectable);
        if (isSelectable)
            items_[i]->setChecked(identifiers_[i] == selected_);
    }
}

void WindowToolbar::store()
{
    // Before the list is known there is nothing shown to keep (and a stored one must stay).
    if (!autosaves_ || !defaults_ || !configured_)
        return;
    Value list = Value::array();
    for (const std::string& identifier : identifiers_)
        list.append(Value(identifier));
    defaults_->setObject(Value::dictionary({{"TB Item Identifiers", list},
                                            {"TB Is Shown", Value(shown_)},
                                            {"TB Display Mode", Value(static_cast<long long>(displayMode_))}}),
                         configurationKey(identifier_));
}

bool WindowToolbar::insertItemWithItemIdentifier(const std::string& identifier, std::size_t index)
{
    const std::vector<std::string> allowed = allowedItemIdentifiers();
    if (!isStandard(identifier) && std::find(allowed.begin(), allowed.end(), identifier) == allowed.end())
        return false;
    // Only the standard separators may appear more than once.
    if (!isStandard(identifier) || identifier == NSToolbarCustomizeToolbarItemIdentifier)
        if (std::find(identifiers_.begin(), identifiers_.end(), identifier) != identifiers_.end())
            return false;
    identifiers_.insert(identifiers_.begin() + static_cast<std::ptrdiff_t>(std::min(index, identifiers_.size())),
                        identifier);
    rebuild();
    store();
    return true;
}

void WindowToolbar::removeItemAtIndex(std::size_t index)
{
    if (index >= identifiers_.size())
        return;
    identifiers_.erase(identifiers_.begin() + static_cast<std::ptrdiff_t>(index));
    rebuild();
    store();
}

void WindowToolbar::moveItem(std::size_t from, std::size_t to)
{
    if (from >= identifiers_.size())
        return;
    std::string identifier = identifiers_[from];
    identifiers_.erase(identifiers_.begin() + static_cast<std::ptrdiff_t>(from));
    identifiers_.insert(identifiers_.begin() + static_cast<std::ptrdiff_t>(std::min(to, identifiers_.size())),
                        identifier);
    rebuild();
    store();
}

void WindowToolbar::resetToDefaults() { setItemIdentifiers(defaultItemIdentifiers()); }

void WindowToolbar::setItemIdentifiers(const std::vector<std::string>& identifiers)
{
    identifiers_ = identifiers;
    configured_ = true;
    rebuild();
    store();
}

void WindowToolbar::runCustomizationPalette()
{
    if (!allowsCustomization_)
        return;
    // On the heap: the window (and with it this tool bar and the dialog) may go while the dialog
    // runs, when the program quits.
    QPointer<QDialog> dialog = new QDialog(window());
    dialog->setWindowTitle(QStringLiteral("Customize Toolbar"));
    auto* available = new QListWidget;
    available->setObjectName(QStringLiteral("available"));
    auto* current = new QListWidget;
    current->setObjectName(QStringLiteral("current"));
    auto labelOf = [this](const std::string& identifier) {
        if (isStandard(identifier))
            return standardLabel(identifier);
        QAction* item = makeItem(identifier, false);
        QString text = item ? item->text() : QString::fromStdString(identifier);
        if (text.isEmpty())
            text = QString::fromStdString(identifier);
        // A delegate may hand out the item the toolbar shows: only a spare one of ours goes.
        if (item && item->parent() == this && std::find(items_.begin(), items_.end(), item) == items_.end())
            delete item;
        return text;
    };
    auto fill = [&] {
        current->clear();
        for (const std::string& identifier : identifiers_) {
            auto* row = new QListWidgetItem(labelOf(identifier), current);
            row->setData(Qt::UserRole, QString::fromStdString(identifier));
        }
    };
    for (const std::string& identifier : allowedItemIdentifiers()) {
        auto* row = new QListWidgetItem(labelOf(identifier), available);
        row->setData(Qt::UserRole, QString::fromStdString(identifier));
    }
    fill();
    auto* add = new QPushButton(QStringLiteral("Add"));
    auto* remove = new QPushButton(QStringLiteral("Remove"));
    auto* up = new QPushButton(QStringLiteral("Up"));
    auto* down = new QPushButton(QStringLiteral("Down"));
    auto* defaults = new QPushButton(QStringLiteral("Default Set"));
    connect(add, &QPushButton::clicked, dialog, [&] {
        if (QListWidgetItem* row = available->currentItem()) {
            const int at = current->currentRow() < 0 ? int(identifiers_.size()) : current->currentRow() + 1;
            insertItemWithItemIdentifier(row->data(Qt::UserRole).toString().toStdString(), std::size_t(at));
            fill();
        }
    });
    connect(remove, &QPushButton::clicked, dialog, [&] {
        if (current->currentRow() >= 0) {
            removeItemAtIndex(std::size_t(current->currentRow()));
            fill();
        }
    });
    auto move = [&](int delta) {
        const int row = current->currentRow();
        if (row < 0 || row + delta < 0 || row + delta >= int(identifiers_.size()))
            return;
        moveItem(std::size_t(row), std::size_t(row + delta));
        fill();
        current->setCurrentRow(row + delta);
    };
    connect(up, &QPushButton::clicked, dialog, [&] { move(-1); });
    connect(down, &QPushButton::clicked, dialog, [&] { move(1); });
    connect(defaults, &QPushButton::clicked, dialog, [&] {
        resetToDefaults();
        fill();
    });
    auto* buttons = new QVBoxLayout;
    for (QPushButton* button : {add, remove, up, down, defaults})
        buttons->addWidget(button);
    buttons->addStretch();
    auto* lists = new QHBoxLayout;
    lists->addWidget(available);
    lists->addLayout(buttons);
    lists->addWidget(current);
    auto* done = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(done, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    auto* column = new QVBoxLayout(dialog);
    column->addLayout(lists);
    column->addWidget(done);
    dialog->exec();
    // Nothing of this tool bar is touched here: it may be gone with the dialog.
    delete dialog.data();
}

} // namespace vistel
