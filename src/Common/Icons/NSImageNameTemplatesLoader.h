#pragma once
// The names of the eleven small interface images that toolbars and views show.
//
// Every name is looked up with NSImageNamedImageExtended::imageNamed(name, "images"). Ten of
// them are the system's template images, which on this platform are icons of the icon theme,
// registered under their theme names by NSImageNameTemplatesLoader::load(): the theme's drawing
// when the theme has one, otherwise the program's own artwork ("Add.icns" → images/Add.png),
// so no button is ever blank. The padlock is always the program's own "LockLocked.icns".

#include <string>

#include "Platform/FeatureSwitches.h"

namespace vistel {

// The system's template images: names of the icon theme.
inline constexpr const char* kNSImageNameAddTemplate = "list-add";
inline constexpr const char* kNSImageNameRemoveTemplate = "list-remove";
inline constexpr const char* kNSImageNameQuickLookTemplate = "document-print-preview";
inline constexpr const char* kNSImageNameGoLeftTemplate = "go-previous";
inline constexpr const char* kNSImageNameGoRightTemplate = "go-next";
inline constexpr const char* kNSImageNameListViewTemplate = "view-list";
inline constexpr const char* kNSImageNameIconViewTemplate = "view-grid";
inline constexpr const char* kNSImageNameInfo = "dialog-information";
inline constexpr const char* kNSImageNameSlideshowTemplate = "media-playback-start";
inline constexpr const char* kNSImageNameEnterFullScreenTemplate = "view-fullscreen";

inline constexpr const char* kImageNameAdd = IsLeopardOrLater() ? kNSImageNameAddTemplate : "Add.icns";
inline constexpr const char* kImageNameRemove = IsLeopardOrLater() ? kNSImageNameRemoveTemplate : "Remove.icns";
inline constexpr const char* kImageNameQuickLook = IsLeopardOrLater() ? kNSImageNameQuickLookTemplate : "QuickLook.icns";
inline constexpr const char* kImageNameGoLeft = IsLeopardOrLater() ? kNSImageNameGoLeftTemplate : "GoLeft.icns";
inline constexpr const char* kImageNameGoRight = IsLeopardOrLater() ? kNSImageNameGoRightTemplate : "GoRight.icns";
inline constexpr const char* kImageNameListView = IsLeopardOrLater() ? kNSImageNameListViewTemplate : "ListView.icns";
inline constexpr const char* kImageNameIconView = IsLeopardOrLater() ? kNSImageNameIconViewTemplate : "IconView.icns";
inline constexpr const char* kImageNameInfo = IsLeopardOrLater() ? kNSImageNameInfo : "Info.icns";
inline constexpr const char* kImageNameSlideshow = IsLeopardOrLater() ? kNSImageNameSlideshowTemplate : "Slideshow.icns";
inline constexpr const char* kImageNameEnterFullScreen
    = IsLeopardOrLater() ? kNSImageNameEnterFullScreenTemplate : "EnterFullScreen.icns";
inline constexpr const char* kImageNameLockLocked = "LockLocked.icns";

class NSImageNameTemplatesLoader {
public:
    // Registers the template images (see above). Call once at start-up, after the resources
    // folder is known; later calls do nothing. Safe on any thread.
    static void load();
    // The work of load(), done again on every call (a changed theme or resources folder).
    static void registerTemplateImages();
    // The program's own artwork that stands in for a template name ("Add.icns" for
    // kNSImageNameAddTemplate); empty for other names.
    static std::string fallbackImageName(const std::string& templateName);

    // A development aid: writes the eleven images, in the order above, as icon family files
    // into the resources' "images" folder. False when any could not be written.
    static bool dumpIcons();
    // The named image made into an icon family and written into `folder` as "<name>.icns" (a
    // name already ending in ".icns" keeps it). False when there is no such image, the name is
    // not a plain file name, or the file cannot be written.
    static bool dumpImageNamed(const std::string& name, const std::string& folder);

    NSImageNameTemplatesLoader() = delete;
};

} // namespace vistel
