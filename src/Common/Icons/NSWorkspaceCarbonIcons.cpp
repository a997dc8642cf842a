#include "Common/Icons/NSWorkspaceCarbonIcons.h"

#include "Common/Icons/WorkspaceIcons.h"

namespace vistel::NSWorkspaceCarbonIcons {

Ref<MultiImage> iconForMIME(std::string_view mimeType, IconTransformType style, const QColor* tint)
{
    const auto icon = WorkspaceIcons::iconRefForMIMEType(mimeType);
    return icon ? NSImageIconRef::initWithIconRefExt(*icon, style, tint) : nullptr;
}

} // namespace vistel::NSWorkspaceCarbonIcons
