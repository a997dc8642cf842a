#pragma once
// ApplicationDocController: the program's document controller. Every picture file opens as an
// RIDocument in a window of its own; the document types are those the installed codecs read
// (the representation's registry), and the open panel offers their extensions in both cases.
//
// lastOpenFilePath is a path waiting for the main window to show it (taken, and cleared, as the
// main window is made).
//
// Thread rules: main thread only.

#include <string>
#include <vector>

#include "Platform/Gui/Document.h"
#include "ZovClass.h"

namespace vistel {

class ApplicationDocController : public DocumentController {
public:
    ZOV_ROOT_CLASS(ApplicationDocController)

    // Larger files are not opened as pictures.
    static constexpr std::size_t MaximumPictureFileBytes = std::size_t(2) << 30;

    // The program's controller, made on first use.
    static ApplicationDocController& shared();

    std::string typeForContentsOfFile(const std::string& path) override;
    std::unique_ptr<Document> makeDocumentForType(const std::string& type) override;

    // The preferred image type of a file-name extension (conforming to "public.image"), and
    // the extensions of a type (empty when it declares none).
    static std::string typeFromFileExtension(const std::string& extension);
    static std::vector<std::string> fileExtensionsFromType(const std::string& type);
    static std::string displayNameForType(const std::string& type);
    // Every extension the codecs read, both cases.
    static std::vector<std::string> openPanelExtensions();

    // The Open… command: the panel, then each chosen file (errors shown).
    void openDocument();

    const std::string& lastOpenFilePath() const { return lastOpenFilePath_; }
    void setLastOpenFilePath(std::string path) { lastOpenFilePath_ = std::move(path); }
    std::string takeLastOpenFilePath() { return std::exchange(lastOpenFilePath_, std::string()); }

private:
    std::string lastOpenFilePath_;
};

} // namespace vistel
