#pragma once
// NSWorkspaceCarbonIcons: the icon the desktop gives a MIME type, as an image.
//
// Icons looked up by creator and type codes have no counterpart on this platform. Safe on any
// thread.

#include <string_view>

#include <QColor>

#include "Common/Icons/NSImageIconRef.h"

namespace vistel::NSWorkspaceCarbonIcons {

// The MIME type's icon of the theme in a 512-point image (NSImageIconRef::initWithIconRefExt
// with the style and tint); null when the type or its icon is unknown.
Ref<MultiImage> iconForMIME(std::string_view mimeType, IconTransformType style = kTransformNone,
                            const QColor* tint = nullptr);

} // namespace vistel::NSWorkspaceCarbonIcons
