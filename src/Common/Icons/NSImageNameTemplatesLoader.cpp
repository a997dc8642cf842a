#include "Common/Icons/NSImageNameTemplatesLoader.h"

#include <mutex>

#include "Common/Icons/IconFamily.h"
#include "Common/Icons/IconTheme.h"
#include "Common/Strings/Gui/NSImageNamedImageExtended.h"
#include "Platform/Bundle.h"
#include "Platform/FilePaths.h"
#include "Platform/Log.h"

namespace vistel {
namespace {

constexpr int kTemplateImageSize = 32;

struct TemplateName {
    const char* templateName;
    const char* ownImage;
};

constexpr TemplateName kTemplates[] = {
    {kNSImageNameAddTemplate, "Add.icns"},
    {kNSImageNameRemoveTemplate, "Remove.icns"},
    {kNSImageNameQuickLookTemplate, "QuickLook.icns"},
    {kNSImageNameGoLeftTemplate, "GoLeft.icns"},
    {kNSImageNameGoRightTemplate, "GoRight.icns"},
    {kNSImageNameListViewTemplate, "ListView.icns"},
    {kNSImageNameIconViewTemplate, "IconView.icns"},
    {kNSImageNameInfo, "Info.icns"},
    {kNSImageNameSlideshowTemplate, "Slideshow.icns"},
    {kNSImageNameEnterFullScreenTemplate, "EnterFullScreen.icns"},
};

} // namespace

std::string NSImageNameTemplatesLoader::fallbackImageName(const std::string& templateName)
{
    for (const TemplateName& entry : kTemplates)
        if (templateName == entry.templateName)
            return entry.ownImage;
    return {};
}

void NSImageNameTemplatesLoader::load()
{
    static std::once_flag once;
    std::call_once(once, &NSImageNameTemplatesLoader::registerTemplateImages);
}

void NSImageNameTemplatesLoader::registerTemplateImages()
{
    for (const TemplateName& entry : kTemplates) {
        QImage image = IconTheme::loadIcon(entry.templateName, kTemplateImageSize);
        if (image.isNull())
            image = NSImageNamedImageExtended::imageNamed(entry.ownImage, "images");
        if (image.isNull())
            ZovLog(std::string("NSImageNameTemplatesLoader::load no image for ") + entry.templateName);
        // A null image also removes an older registration that no longer has a source.
        NSImageNamedImageExtended::setImageName(entry.templateName, image);
    }
}

bool NSImageNameTemplatesLoader::dumpIcons()
{
    load();
    const std::string folder = Bundle::main()->resourcePath() + "/images";
    bool allWritten = true;
    for (const char* name : {kImageNameAdd, kImageNameRemove, kImageNameQuickLook, kImageNameGoLeft, kImageNameGoRight,
                             kImageNameListView, kImageNameIconView, kImageNameInfo, kImageNameSlideshow,
                             kImageNameEnterFullScreen, kImageNameLockLocked})
        allWritten = dumpImageNamed(name, folder) && allWritten;
    return allWritten;
}

bool NSImageNameTemplatesLoader::dumpImageNamed(const std::string& name, const std::string& folder)
{
    if (!isPlainFileName(name))
        return false;
    const QImage image = NSImageNamedImageExtended::imageNamed(name, "images");
    if (image.isNull())
        return false;
    Ref<IconFamily> family
        = IconFamily::iconFamilyWithThumbnailsOfImage(MultiImage::createWithPlatformImage(PlatformImage::fromQImage(image)));
    if (!family)
        return false;
    return family->writeToFile(joinPath(folder, pathExtension(name) == "icns" ? name : name + ".icns"));
}

} // namespace vistel
