#pragma once
// WorkspaceIcons: the icons the desktop shows for files, folders and file types.
//
// A file's icon is its MIME type's icon in the icon theme (shared-mime-info names the icon,
// then its generic icon, then those of its parent types); a folder's is "folder", or the icon
// of a special folder (home, desktop, pictures, documents, downloads, music, videos); a
// dangling symbolic link's is "inode-symlink". What the theme does not have is skipped, so an
// answer always names an icon the theme can draw.
//
// Safe on any thread (QMimeDatabase and the theme lookup are).

#include <optional>
#include <string>
#include <string_view>

#include "Common/Icons/IconRef.h"
#include "Platform/Imaging/MultiImage.h"

namespace vistel {

class WorkspaceIcons {
public:
    // nullopt when the path names nothing or the theme has no icon for it.
    static std::optional<IconRef> iconRefForFile(const std::string& path);
    // `type` is a file name extension ("jpg"), a type identifier ("public.jpeg"), or the
    // quoted form of a four-character type code ("'fldr'" for folders).
    static std::optional<IconRef> iconRefForFileType(std::string_view type);
    static std::optional<IconRef> iconRefForMIMEType(std::string_view mimeType);

    // The icons as images (NSImageIconRef::initWithIconRefExt); null when there is none.
    static Ref<MultiImage> iconForFile(const std::string& path);
    static Ref<MultiImage> iconForFileType(std::string_view type);
};

} // namespace vistel
