#pragma once
// IconFamily: one icon family in the published ".icns" format, and its making from any image.
//
// The family is the file's bytes taken apart: the 'icns' header with its big-endian total
// length, then elements, each a four-character type, a big-endian length (header included) and
// the element's data as the format stores it. Element data is read and written here in its
// plain form and stored in the file's form:
//   32-bit elements 'is32' 'il32' 'ih32' 'it32'   A R G B bytes, size² × 4 (alpha is kept in the
//       mask elements; reading answers alpha 0), stored run-length encoded per colour channel
//       ('it32' after four zero bytes);
//   'ic07' 'ic08' 'ic09' 'ic10'                   A R G B bytes (not premultiplied), stored as
//       PNG;
//   masks 's8mk' 'l8mk' 'h8mk' 't8mk', colour-index elements 'ics8' 'icl8' 'ich8', and the
//       1-bit image-and-mask elements 'ics#' 'ICN#' 'ich#'        stored as they are.
// Other element types (a table of contents, a version) are kept as they are; the table of
// contents is dropped as soon as an element changes, since it would no longer be true.
//
// Files are parsed strictly: a length that runs past the data, an element shorter than its
// header or a run that overflows its channel fails the read; nothing is read out of bounds.
//
// Custom icons of files and folders (resource forks, Finder flags), system icons by creator
// code and the clipboard flavour of the original have no counterpart here.
//
// A family is not thread-safe: one thread at a time. The converters are pure functions.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QImage>

#include "Platform/Imaging/ImageRep.h"
#include "Platform/Imaging/MultiImage.h"
#include "Platform/Object.h"
#include "Platform/StatusCodes.h"

namespace vistel {

using OSType = std::uint32_t;

constexpr OSType makeOSType(const char (&code)[5]) noexcept
{
    return (OSType(std::uint8_t(code[0])) << 24) | (OSType(std::uint8_t(code[1])) << 16)
        | (OSType(std::uint8_t(code[2])) << 8) | OSType(std::uint8_t(code[3]));
}
std::string osTypeString(OSType type);

// Image interpolation as the drawing code names it.
enum class ImageInterpolation { Default = 0, None = 1, Low = 2, High = 3 };

// The layout of a bitmap handed to the converters: what a bitmap image representation
// describes about its pixels. Samples are meshed R, G, B (and A, last unless alphaFirst), or one
// grey sample; rows are `bytesPerRow` apart. The bytes are not owned.
struct IconBitmapSource {
    int pixelsWide = 0;
    int pixelsHigh = 0;
    int bitsPerSample = 8;
    int samplesPerPixel = 4;
    int bitsPerPixel = 32;
    std::size_t bytesPerRow = 0;
    bool planar = false;
    bool alphaFirst = false;
    bool premultiplied = true;
    const std::uint8_t* data = nullptr;

    // The bitmap of a QImage: grey images as one 8-bit sample, images without alpha as 24-bit
    // RGB, others as premultiplied RGBA. `storage` keeps the converted pixels.
    static IconBitmapSource fromQImage(const QImage& image, QImage& storage);
};

class IconFamily : public Object {
public:
    // An empty family.
    static Ref<IconFamily> iconFamily();
    // The family of an ".icns" file; null when it cannot be read or is damaged.
    static Ref<IconFamily> iconFamilyWithContentsOfFile(const std::string& path);
    // The family of ".icns" bytes (takes them over); null when they are damaged.
    static Ref<IconFamily> iconFamilyWithIconFamilyHandle(std::vector<std::uint8_t> bytes);
    // A family made from the icon the desktop shows for a file or folder; null when it has none.
    static Ref<IconFamily> iconFamilyWithIconOfFile(const std::string& path);
    // A complete family made from any image (see the .cpp for the steps); null when the 512
    // pixel master cannot be made.
    static Ref<IconFamily> iconFamilyWithThumbnailsOfImage(const Ref<MultiImage>& image,
        ImageInterpolation interpolation = ImageInterpolation::High);

    // The family's bytes, as written to a file; empty when they would exceed the 4 GiB the
    // format can describe.
    std::vector<std::uint8_t> data() const;
    // The element types, in file order.
    std::vector<OSType> elementTypes() const;
    // An element in its plain form (see the class comment); nullopt when the family has none or
    // its stored data is damaged.
    std::optional<std::vector<std::uint8_t>> iconFamilyData(OSType type) const;
    // Sets an element from its plain form: 0, or -50 when the size does not fit the type.
    StatusCode setIconFamilyData(OSType type, const std::vector<std::uint8_t>& plain);

    // All readable elements as representations of one image (largest first); null when none.
    Ref<MultiImage> imageWithAllReps() const;
    // An alpha-first, not premultiplied, 8-bit ARGB bitmap of a 32-bit element ('ic09', 'ic08',
    // 'it32', 'ih32', 'il32', 'is32') with its mask as alpha; null for other types or missing data.
    Ref<BitmapImageRep> bitmapImageRepWithAlphaForIconFamilyElement(OSType type) const;
    // Converts the bitmap into the element's layout and sets it. False for a type that cannot be
    // set from a bitmap, a bitmap the converter refuses, or a failed set (logged).
    bool setIconFamilyElement(OSType type, const IconBitmapSource& bitmap);
    bool setIconFamilyElement(OSType type, const Ref<ImageRep>& bitmap);
    // Writes the bytes to the file with writeFileAtomically: an existing file is replaced only
    // by a complete new one, never cut short. False, with the cause logged, when the file
    // cannot be written.
    bool writeToFile(const std::string& path) const;

    // Converters: each answers nullopt unless the bitmap has exactly the required size and a
    // layout it takes (failures other than the size are logged).
    static std::optional<std::vector<std::uint8_t>> get32BitDataFromBitmapImageRep(const IconBitmapSource& bitmap,
                                                                                   int requiredPixelSize);
    static std::optional<std::vector<std::uint8_t>> get8BitDataFromBitmapImageRep(const IconBitmapSource& bitmap,
                                                                                  int requiredPixelSize);
    static std::optional<std::vector<std::uint8_t>> get8BitMaskFromBitmapImageRep(const IconBitmapSource& bitmap,
                                                                                  int requiredPixelSize);
    static std::optional<std::vector<std::uint8_t>> get1BitMaskFromBitmapImageRep(const IconBitmapSource& bitmap,
                                                                                  int requiredPixelSize);
    // The image drawn, fitted and centred, into a transparent `width` square (ARGB32
    // premultiplied); null when the image has nothing to draw.
    static QImage resampleImage(const Ref<MultiImage>& image, int width, ImageInterpolation interpolation);

    // The 256-colour system palette the colour-index elements use, as 0xRRGGBB.
    static const std::vector<std::uint32_t>& systemPalette();

private:
    IconFamily() = default;
    struct Element {
        OSType type;
        std::vector<std::uint8_t> stored;
    };
    const Element* find(OSType type) const;
    std::vector<Element> elements_;
};

} // namespace vistel
