#include "Platform/Gui/Document.h"

#include <algorithm>

#include <unistd.h>

#include <QFileDialog>
#include <QStringList>

#include "Platform/FilePaths.h"
#include "Platform/Gui/PlatformApplication.h"
#include "Platform/Gui/View.h"
#include "Platform/Gui/Window.h"
#include "Platform/NotificationCenter.h"
#include "Platform/RunLoop.h"

namespace vistel {

namespace {
DocumentController* sharedController = nullptr;
}

// The window's controller: passes what the window does not take on to the document.
class Document::WindowController : public Responder {
public:
    explicit WindowController(Document* document) { setNextResponder(document); }
};

Document::Document() = default;

Document::~Document()
{
    NotificationCenter::defaultCenter().removeObserver(this, {}, nullptr);
    closing_ = true;
    for (const QPointer<Window>& window : windows_)
        delete window.data();
}

void Document::addWindow(Window* window)
{
    auto controller = std::make_unique<WindowController>(this);
    window->setWindowController(controller.get());
    controllers_.push_back(std::move(controller));
    windows_.emplace_back(window);
    NotificationCenter::defaultCenter().addObserver(
        this, [this, window](const Notification&) { windowWillClose(window); }, NSWindowWillCloseNotification,
        View::viewObject(window));
}

Window* Document::firstWindow() const
{
    for (const QPointer<Window>& window : windows_)
        if (window)
            return window;
    return nullptr;
}

void Document::showWindows()
{
    for (const QPointer<Window>& window : windows_)
        if (window) {
            window->show();
            window->raise();
            window->activateWindow();
        }
}

void Document::close()
{
    for (const QPointer<Window>& window : windows_)
        if (window)
            window->close();
}

void Document::readDidFail(ErrorRecord error)
{
    const ErrorRecord shown = DocumentController::openFailure(filePath_, std::move(error));
    close();
    DocumentController::presentError(shown);
}

void Document::windowWillClose(Window* closing)
{
    if (closing_)
        return;
    bool anyOpen = false;
    for (const QPointer<Window>& window : windows_)
        anyOpen = anyOpen || (window && window != closing && window->isVisible());
    if (anyOpen || !controller_)
        return;
    closing_ = true;
    DocumentController* controller = controller_;
    RunLoop::main()->perform([controller, this] { controller->documentDidClose(this); }, {NSRunLoopCommonModes}, 0,
                             controller);
}

DocumentController* DocumentController::sharedDocumentController() { return sharedController; }

DocumentController::DocumentController()
{
    if (!sharedController)
        sharedController = this;
}

DocumentController::~DocumentController()
{
    if (sharedController == this)
        sharedController = nullptr;
    RunLoop::main()->cancelPerforms(this);
    documents_.clear();
}

Document* DocumentController::documentForFile(const std::string& path) const
{
    const std::string wanted = normalizedPath(absolutePath(path));
    for (const auto& document : documents_)
        if (document->filePath() == wanted)
            return document.get();
    return nullptr;
}

Document* DocumentController::openDocumentWithContentsOfFile(const std::string& path, bool display, ErrorRecord* error)
{
    if (error)
        *error = ErrorRecord();
    const std::string absolute = normalizedPath(absolutePath(path));
    if (Document* open = documentForFile(absolute)) {
        if (display)
            open->showWindows();
        return open;
    }
    ErrorRecord failure;
    std::unique_ptr<Document> document;
    const std::string type = typeForContentsOfFile(absolute);
    if (!type.empty())
        document = makeDocumentForType(type);
    if (document) {
        document->filePath_ = absolute;
        document->fileType_ = type;
        if (!document->readFromFile(absolute, type, &failure))
            document.reset();
    }
    if (!document) {
        if (error)
            *error = openFailure(absolute, std::move(failure));
        return nullptr;
    }
    document->controller_ = this;
    document->makeWindowControllers();
    Document* opened = document.get();
    documents_.push_back(std::move(document));
    if (display)
        opened->showWindows();
    return opened;
}

ErrorRecord DocumentController::openFailure(const std::string& path, ErrorRecord failure)
{
    if (failure.domain.empty()) {
        failure.domain = NSCocoaErrorDomain;
        failure.code = ::access(path.c_str(), R_OK) == 0 ? NSUserCancelledError : NSFileReadNoPermissionError;
    }
    return failure;
}

void DocumentController::documentDidClose(Document* document)
{
    auto it = std::find_if(documents_.begin(), documents_.end(),
                           [document](const std::unique_ptr<Document>& d) { return d.get() == document; });
    if (it != documents_.end())
        documents_.erase(it);
}

bool DocumentController::presentError(const ErrorRecord& error)
{
    if (error.domain == NSCocoaErrorDomain && error.code == NSUserCancelledError)
        return false;
    ErrorRecord shown = error;
    if (shown.localizedDescription().empty() && error.code == NSFileReadNoPermissionError) {
        if (!shown.userInfo.isDictionary())
            shown.userInfo = Value::dictionary();
        shown.userInfo.set(NSLocalizedDescriptionKey, Value("The file could not be opened because you don't have "
                                                           "permission to view it."));
    }
    return PlatformApplication::presentError(shown);
}

std::unique_ptr<QFileDialog> DocumentController::makeOpenPanel(const std::vector<std::string>& extensions)
{
    auto panel = std::make_unique<QFileDialog>();
    panel->setOption(QFileDialog::DontUseNativeDialog, true);
    panel->setFileMode(QFileDialog::ExistingFiles);
    panel->setAcceptMode(QFileDialog::AcceptOpen);
    if (!extensions.empty()) {
        QStringList patterns;
        for (const std::string& extension : extensions) {
            const QString lower = QString::fromStdString(extension).toLower();
            for (const QString& pattern : {"*." + lower, "*." + lower.toUpper()})
                if (!patterns.contains(pattern))
                    patterns << pattern;
        }
        panel->setNameFilter(QStringLiteral("Images (%1)").arg(patterns.join(' ')));
    }
    return panel;
}

std::vector<std::string> DocumentController::runModalOpenPanel(const std::vector<std::string>& extensions)
{
    std::unique_ptr<QFileDialog> panel = makeOpenPanel(extensions);
    std::vector<std::string> paths;
    if (panel->exec() == QDialog::Accepted)
        for (const QString& file : panel->selectedFiles())
            paths.push_back(file.toStdString());
    return paths;
}

} // namespace vistel
