#include "Application/ApplicationDocController.h"


#include "Application/RIDocument.h"
#include "Imaging/ImageRepRegistry.h"
#include "Imaging/RIReperesentation.h"
#include "Platform/FolderListing.h"
#include "Platform/Imaging/TypeIdentifiers.h"

namespace vistel {

ApplicationDocController& ApplicationDocController::shared()
{
    static ApplicationDocController* controller = new ApplicationDocController;
    return *controller;
}

namespace {

// The same file, unchanged since `before` was taken.
bool sameFile(const struct stat& before, const struct stat& now)
{
    return before.st_dev == now.st_dev && before.st_ino == now.st_ino && before.st_size == now.st_size
        && before.st_mtim.tv_sec == now.st_mtim.tv_sec && before.st_mtim.tv_nsec == now.st_mtim.tv_nsec
        && before.st_ctim.tv_sec == now.st_ctim.tv_sec && before.st_ctim.tv_nsec == now.st_ctim.tv_nsec;
}

} // namespace

std::string ApplicationDocController::typeForContentsOfFile(const std::string& path)
{
    const PictureFile file = pictureFile(path);
    return file.header ? file.header->type() : std::string();
}

ApplicationDocController::PictureFile ApplicationDocController::pictureFile(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        forgetPictureFile();
        return {};
    }
    if (kept_.path == path && sameFile(kept_.status, status))
        return kept_.file;
    forgetPictureFile();
    auto bytes = std::make_shared<Value::Bytes>();
    if (readRegularFile(path, *bytes, MaximumPictureFileBytes) != 0 || bytes->empty())
        return {};
    PictureFile file;
    file.header = RIReperesentation::imageRepWithData(bytes, true, path);
    if (!file.header)
        return {};
    file.bytes = std::move(bytes);
    // Kept by the status taken before the read: a file changed meanwhile is read again.
    kept_ = KeptPicture {path, status, file};
    return file;
}

void ApplicationDocController::forgetPictureFile() { kept_ = KeptPicture(); }

std::unique_ptr<Document> ApplicationDocController::makeDocumentForType(const std::string&)
{
    return std::make_unique<RIDocument>();
}

std::string ApplicationDocController::typeFromFileExtension(const std::string& extension)
{
    const std::string type = TypeIdentifiers::typeForExtension(extension);
    return TypeIdentifiers::conformsTo(type, "public.image") ? type : std::string();
}

std::vector<std::string> ApplicationDocController::fileExtensionsFromType(const std::string& type)
{
    return TypeIdentifiers::extensions(type);
}

std::string ApplicationDocController::displayNameForType(const std::string& type)
{
    const std::string description = TypeIdentifiers::description(type);
    return description.empty() ? type : description;
}

std::vector<std::string> ApplicationDocController::openPanelExtensions()
{
    RIReperesentation::initialize();
    return ImageRepRegistry::imageUnfilteredFileTypes();
}

void ApplicationDocController::openDocument()
{
    for (const std::string& path : runModalOpenPanel(openPanelExtensions())) {
        ErrorRecord error;
        if (!openDocumentWithContentsOfFile(path, true, &error))
            presentError(error);
    }
}

} // namespace vistel
