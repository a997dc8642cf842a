#include "Application/PreferencesController.h"

#include <QAction>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>
#include <QWidget>

#include <algorithm>

#include "Application/Application.h"
#include "Application/MainWindow.h"
#include "Application/PreferencePanes.h"
#include "Platform/Exception.h"
#include "Platform/Gui/Window.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

std::map<std::string, PreferencesController::Provider>& providers()
{
    static std::map<std::string, PreferencesController::Provider> table = {
        {"GeneralPreferencePanesController", &GeneralPreferencePanesController::preferencePanes}};
    return table;
}

} // namespace

QRect preferencesWindowFrame(const QRect& frame, QSize chrome, QSize paneSize, bool firstShow, const QRect& visible)
{
    const QSize size = paneSize + chrome;
    QRect result(frame.topLeft(), size);
    if (firstShow) {
        result.moveTopLeft(visible.topLeft() +
                           QPoint((visible.width() - size.width()) / 2, (visible.height() - size.height()) / 2));
        return result;
    }
    if (result.x() + result.width() > visible.x() + visible.width())
        result.moveLeft(visible.x() + visible.width() - result.width());
    result.moveLeft(std::max(result.x(), visible.x()));
    if (result.y() + result.height() > visible.y() + visible.height())
        result.moveTop(visible.y() + visible.height() - result.height());
    result.moveTop(std::max(result.y(), visible.y()));
    return result;
}

// The window: it goes while the program is inactive and comes back with it.
class PreferencesController::Window : public QWidget {
public:
    explicit Window(PreferencesController& controller, QWidget* parent)
        : QWidget(parent, Qt::Tool)
        , controller_(controller)
    {
        setWindowOpacity(0.9);
        setAttribute(Qt::WA_DeleteOnClose, false);
        connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            if (state != Qt::ApplicationActive && isVisible()) {
                controller_.hiddenWhileInactive_ = true;
                hide();
            } else if (state == Qt::ApplicationActive && controller_.hiddenWhileInactive_) {
                controller_.hiddenWhileInactive_ = false;
                show();
            }
        });
    }

private:
    PreferencesController& controller_;
};

void PreferencesController::registerPanesProvider(const std::string& name, Provider provider)
{
    providers()[name] = provider;
}

PreferencesController::PreferencesController()
{
    const auto found = providers().find("GeneralPreferencePanesController");
    ZOV_ASSERT(found != providers().end(), "No general preferences class found");
    ZOV_ASSERT(addPreferencePanes(found->first), "General preference panes cannot be added");
}

PreferencesController::~PreferencesController()
{
    if (!window_)
        return;
    // The panes keep their views.
    if (PreferencePane* shown = pane(currentPaneKey_); shown && shown->paneView())
        shown->paneView()->setParent(nullptr);
    delete window_;
}

bool PreferencesController::addPreferencePanes(const std::string& providerName)
{
    const auto found = providers().find(providerName);
    if (found == providers().end())
        return false;
    for (PreferencePane* pane : found->second())
        if (!pane || !addPreferencePane(pane))
            return false;
    return true;
}

bool PreferencesController::addPreferencePane(PreferencePane* pane)
{
    const std::string key = pane->paneKey();
    if (panes_.count(key))
        return false;
    panesOrder_.push_back(key);
    panes_[key] = pane;
    return true;
}

PreferencePane* PreferencesController::pane(const std::string& key) const
{
    const auto found = panes_.find(key);
    return found == panes_.end() ? nullptr : found->second;
}

void PreferencesController::showPreferences()
{
    makeWindow();
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void PreferencesController::makeWindow()
{
    if (window_)
        return;
    // Over the main window (its transient parent), but not its child: the main window may go
    // before the controller does.
    window_ = new Window(*this, nullptr);
    if (Application* application = Application::instance(); application && application->mainWindow()) {
        window_->winId();
        if (QWidget* main = application->mainWindow()->window(); main && main->windowHandle())
            window_->windowHandle()->setTransientParent(main->windowHandle());
    }
    window_->setObjectName("Preferences");
    closeWithEscapeAndCloseKey(window_);
    window_->setWindowTitle(QString::fromStdString(ZOV_TRANSLATE("Preferences", "makeWindow")));
    auto* layout = new QVBoxLayout(window_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    toolbar_ = new WindowToolbar(ToolbarIdentifier, window_);
    toolbar_->setAllowsUserCustomization(false);
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar_->setMovable(false);
    toolbar_->setDelegate(this);
    layout->addWidget(toolbar_);
    paneHost_ = new QWidget(window_);
    auto* hostLayout = new QVBoxLayout(paneHost_);
    hostLayout->setContentsMargins(0, 0, 0, 0);
    paneHost_->setFixedSize(400, 400);
    layout->addWidget(paneHost_);
    // The window's size is always set here: the pane plus the toolbar above it.
    window_->setFixedSize(paneHost_->size() + QSize(0, toolbar_->sizeHint().height()));
    if (!panesOrder_.empty())
        setCurrentPaneKey(panesOrder_.front());
}

void PreferencesController::toolbarItemClicked(const std::string& identifier)
{
    ZOV_ASSERT(panes_.count(identifier), "Must be");
    setCurrentPaneKey(identifier);
}

void PreferencesController::setCurrentPaneKey(const std::string& key)
{
    makeWindow();
    PreferencePane* newPane = pane(key);
    ZOV_ASSERT(newPane, "Must be");
    PreferencePane* oldPane = pane(currentPaneKey_);
    const QSize chrome = window_->size() - paneHost_->size();
    const QSize oldSize = oldPane ? paneHost_->size() : QSize();
    if (oldPane && oldPane->paneView()) {
        paneHost_->layout()->removeWidget(oldPane->paneView());
        oldPane->paneView()->hide();
        oldPane->paneView()->setParent(nullptr);
    }
    currentPaneKey_ = key;
    QWidget* view = newPane->paneView();
    toolbar_->setSelectedItemIdentifier(key);
    view->setParent(paneHost_);
    paneHost_->layout()->addWidget(view);
    view->show();
    // Measured in place, once polished by the window's style. A pane is never narrower than
    // the toolbar, so every pane's item stays visible.
    view->ensurePolished();
    QSize newSize = view->layout() ? view->layout()->sizeHint() : view->size();
    newSize.setWidth(std::max(newSize.width(), toolbar_->sizeHint().width()));
    if (newSize == oldSize && oldPane)
        return;
    paneHost_->setFixedSize(newSize);
    const QScreen* screen = window_->screen() ? window_->screen() : QGuiApplication::primaryScreen();
    const QRect visible = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const QRect frame = preferencesWindowFrame(window_->geometry(), chrome, newSize, !shownOnce_, visible);
    shownOnce_ = true;
    window_->setFixedSize(frame.size());
    window_->setGeometry(frame);
}

std::optional<std::vector<std::string>> PreferencesController::toolbarAllowedItemIdentifiers(WindowToolbar&)
{
    return panesOrder_;
}

std::optional<std::vector<std::string>> PreferencesController::toolbarDefaultItemIdentifiers(WindowToolbar&)
{
    return panesOrder_;
}

std::vector<std::string> PreferencesController::toolbarSelectableItemIdentifiers(WindowToolbar&)
{
    return panesOrder_;
}

QAction* PreferencesController::toolbarItemForItemIdentifier(WindowToolbar& toolbar, const std::string& identifier,
                                                             bool)
{
    PreferencePane* itemPane = pane(identifier);
    if (!itemPane)
        return nullptr;
    auto* item = new QAction(itemPane->paneIcon(), QString::fromStdString(itemPane->paneName()), &toolbar);
    item->setObjectName(QString::fromStdString(identifier));
    if (const auto tip = itemPane->paneToolTip())
        item->setToolTip(QString::fromStdString(*tip));
    QObject::connect(item, &QAction::triggered, item, [this, identifier] {
        try {
            toolbarItemClicked(identifier);
        } catch (...) {
            logCaughtException("PreferencesController::toolbarItemClicked:");
        }
    });
    return item;
}

} // namespace vistel
