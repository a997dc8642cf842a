#pragma once
// Images of icon references.
//
// NSBitmapImageRepIconRef draws an icon into 8-bit RGBA bitmaps; NSImageIconRef makes images
// holding one such bitmap for each size class the icon has. An icon has a size class when it
// has its own drawing at that size (a theme folder or an image in its file):
//   8: up to 8 pixels, 16: up to 16, 32: up to 32, 64: up to 64 (48-pixel drawings land here),
//   128: anything larger, scalable drawings included;
// each class gives a square representation as wide as the class's number, drawn from the
// icon's file nearest to that size.
//
// Everything works on QImages: safe on any thread.

#include <cstdint>
#include <vector>

#include <QColor>

#include "Common/Icons/IconRef.h"
#include "Common/Icons/NSColorRGBColor.h"
#include "Platform/Imaging/ImageRep.h"
#include "Platform/Imaging/MultiImage.h"

namespace vistel {

using IconAlignmentType = std::int16_t;
using IconTransformType = std::int16_t;

// Alignment: the low two bits place the icon vertically, the next two horizontally; 0 centres.
inline constexpr IconAlignmentType kAlignNone = 0x00;
inline constexpr IconAlignmentType kAlignVerticalCenter = 0x01;
inline constexpr IconAlignmentType kAlignTop = 0x02;
inline constexpr IconAlignmentType kAlignBottom = 0x03;
inline constexpr IconAlignmentType kAlignHorizontalCenter = 0x04;
inline constexpr IconAlignmentType kAlignLeft = 0x08;
inline constexpr IconAlignmentType kAlignRight = 0x0C;

// Transforms: the look of an icon in a state.
inline constexpr IconTransformType kTransformNone = 0x00;
inline constexpr IconTransformType kTransformDisabled = 0x01; // half transparent
inline constexpr IconTransformType kTransformOffline = 0x02;  // half transparent
inline constexpr IconTransformType kTransformSelected = 0x4000; // darkened

namespace NSBitmapImageRepIconRef {

// The size classes (8, 16, 32, 64, 128) the icon has drawings for, ascending.
std::vector<int> iconSizeClasses(const IconRef& icon);

// An 8-bit RGBA bitmap (premultiplied, device RGB) of the size with the icon drawn in it: the
// largest square that fits, placed by the alignment, in the state of the transform and, with a
// colour, tinted by it. Null when the icon cannot be drawn or the size is not positive.
Ref<BitmapImageRep> initWithIconRefExt(const IconRef& icon, double width = 128, double height = 128,
                                       IconAlignmentType align = kAlignNone, IconTransformType transform = kTransformNone,
                                       const RGBColor* color = nullptr);

// One bitmap per size class of the icon, ascending; empty when it has none.
std::vector<Ref<BitmapImageRep>> imageRepsWithIconRef(const IconRef& icon, IconAlignmentType align = kAlignNone,
                                                      IconTransformType transform = kTransformNone,
                                                      const RGBColor* color = nullptr);

} // namespace NSBitmapImageRepIconRef

namespace NSImageIconRef {

// The icon's image: its representations in a 32 by 32 point image. Null when it has none.
Ref<MultiImage> initWithIconRefExt(const IconRef& icon);
// A 512 by 512 point image holding the representations drawn with `style` as transform and
// `tint` (may be null), scaling when resized and keeping its data. Null when it has none.
Ref<MultiImage> initWithIconRefExt(const IconRef& icon, IconTransformType style, const QColor* tint);

} // namespace NSImageIconRef
} // namespace vistel
