#pragma once
// NSImageNamedImageExtended: images looked up by name, with a fallback into a folder of the
// program's resources (callers pass "images").
//
// Images found once stay registered under their name for the rest of the process, so every
// later lookup answers the same image without touching the disk. Any thread may look up; the
// registry is shared.
//
// Our artwork ships as PNG: a name that ends in ".icns", ".tiff" or ".tif" and has no file of
// its own in the folder is served by the ".png" file of the same stem ("LockLocked.icns" →
// "LockLocked.png").

#include <string_view>

#include <QImage>
#include <QSize>

#include "Platform/Bundle.h"

namespace vistel::NSImageNamedImageExtended {

// The image registered under `name`; otherwise the file `name` in `folder` of the main bundle's
// resources, loaded and registered under `name`. A null image when neither exists or the file
// cannot be decoded (nothing is registered then).
QImage imageNamed(std::string_view name, std::string_view folder);
// The same image scaled smoothly to `size` (in pixels). The registered image keeps its own
// size: other users of the name are not affected.
QImage imageNamed(std::string_view name, std::string_view folder, QSize size);

// Registers `image` under `name`, replacing an earlier one; a null image removes the name.
void setImageName(std::string_view name, const QImage& image);

} // namespace vistel::NSImageNamedImageExtended
