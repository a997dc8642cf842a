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

std::string ApplicationDocController::typeForContentsOfFile(const std::string& path)
{
    std::string contents;
    if (readRegularFile(path, contents, MaximumPictureFileBytes) != 0 || contents.empty())
        return {};
    Ref<RIReperesentation> rep = RIReperesentation::imageRepWithData(Value::Bytes(contents.begin(), contents.end()), true);
    return rep ? rep->type() : std::string();
}

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
