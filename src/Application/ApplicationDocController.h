#pragma once
// ApplicationDocController: the program's document controller. Every picture file opens as an
// RIDocument in a window of its own; the document types are those the installed codecs read
// (the representation's registry), and the open panel offers their extensions in both cases.
//
// A picture file is read once for its type and its document: pictureFile() keeps the last file
// it read (its bytes and a representation with only the header read) until another is asked for
// or the document takes it, and reads it again when the file changed meanwhile.
//
// lastOpenFilePath is a path waiting for the main window to show it (taken, and cleared, as the
// main window is made).
//
// Thread rules: main thread only.

#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "Imaging/RIReperesentation.h"
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

    // A picture file read: its bytes and a representation of them with the header read (no
    // pixels decoded). Empty when the file cannot be read, is larger than
    // MaximumPictureFileBytes or is no picture the codecs read.
    struct PictureFile {
        std::shared_ptr<const Value::Bytes> bytes;
        Ref<RIReperesentation> header;
    };
    PictureFile pictureFile(const std::string& path);
    // Lets go of the kept file.
    void forgetPictureFile();
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
    struct KeptPicture {
        std::string path;
        struct stat status {};
        PictureFile file;
    };
    std::string lastOpenFilePath_;
    KeptPicture kept_;
};

} // namespace vistel
