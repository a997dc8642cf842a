#pragma once
// Document and DocumentController: files opened in windows of their own.
//
// One document per file: opening a file that is already open brings its window to the front.
// The controller makes a document for a file's type (makeDocumentForType), has it read the
// file, lets it make its windows and shows them. Each window's controller is a small responder
// whose next responder is the document, so actions a window does not take reach its document.
// Closing a document's last window closes the document: it leaves the controller's list and is
// deleted at the next pass of the main loop.
//
// The first controller made is the shared one. Failures are ErrorRecords; presentError shows
// one as an alert (the user-cancelled code 3072 is never shown).
//
// Thread rules: main thread only.

#include <memory>
#include <string>
#include <vector>

#include <QPointer>

#include "Platform/ErrorRecord.h"
#include "Platform/Gui/Responder.h"

class QFileDialog;

namespace vistel {

class DocumentController;
class Window;

inline constexpr long NSUserCancelledError = 3072;
inline constexpr long NSFileReadNoPermissionError = 257;

class Document : public Responder {
public:
    Document();
    ~Document() override;

    const std::string& filePath() const { return filePath_; }
    const std::string& fileType() const { return fileType_; }
    // Reads the file; false (error filled when there is one to tell) when it cannot.
    virtual bool readFromFile(const std::string& path, const std::string& type, ErrorRecord* error) = 0;
    // Makes the document's windows and hands them over with addWindow().
    virtual void makeWindowControllers() = 0;

    // The document takes the window (deleted with the document).
    void addWindow(Window* window);
    const std::vector<QPointer<Window>>& windows() const { return windows_; }
    Window* firstWindow() const;
    void showWindows();
    // Closes every window and the document.
    void close();
    // For a document that finishes reading its file after its windows show: the reading
    // failed after all. Closes the document and shows the error its opening would have given
    // (`error`, or the controller's for the file). The document may be gone when it returns.
    void readDidFail(ErrorRecord error);

private:
    friend class DocumentController;
    class WindowController;
    void windowWillClose(Window* window);

    std::string filePath_;
    std::string fileType_;
    std::vector<QPointer<Window>> windows_;
    std::vector<std::unique_ptr<WindowController>> controllers_;
    DocumentController* controller_ = nullptr;
    bool closing_ = false;
};

class DocumentController : public Responder {
public:
    // The first controller made; null before.
    static DocumentController* sharedDocumentController();

    DocumentController();
    ~DocumentController() override;

    // The type of the file's contents; empty when it has none this controller opens.
    virtual std::string typeForContentsOfFile(const std::string& path) = 0;
    virtual std::unique_ptr<Document> makeDocumentForType(const std::string& type) = 0;

    // Opens (or brings forward) the document of the file. Null on failure, with `error` set:
    // the file's type unknown or its reading failed. Without an error of its own: 3072 for a
    // readable file, 257 for one that cannot be read.
    Document* openDocumentWithContentsOfFile(const std::string& path, bool display, ErrorRecord* error = nullptr);
    Document* documentForFile(const std::string& path) const;
    const std::vector<std::unique_ptr<Document>>& documents() const { return documents_; }

    // Shows the error unless it is the user-cancelled one; answers what the alert's recovery
    // attempter answers.
    static bool presentError(const ErrorRecord& error);
    // The error of a file that could not be opened: `failure` when it says something, else
    // 3072 (user cancelled, never shown) for a readable file and 257 for one that cannot be read.
    static ErrorRecord openFailure(const std::string& path, ErrorRecord failure);

    // The open panel: a file dialog for `extensions` (empty: every file). Tests look into it.
    static std::unique_ptr<QFileDialog> makeOpenPanel(const std::vector<std::string>& extensions);
    // Runs it modally; the chosen paths.
    static std::vector<std::string> runModalOpenPanel(const std::vector<std::string>& extensions);

private:
    friend class Document;
    void documentDidClose(Document* document);

    std::vector<std::unique_ptr<Document>> documents_;
};

} // namespace vistel
