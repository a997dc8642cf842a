#pragma once
// ExifLayout: where the metadata of an encoded file sits, read without a metadata library and
// with every offset and length checked against the bytes (files are untrusted input).
//
// - findMetadataBlocks: the first EXIF block (a TIFF structure) and the first XMP packet of a
//   JPEG file (APP1 segments before the picture data) or a WebP file (the "EXIF" and "XMP "
//   chunks).
// - TiffBlock: a view over a TIFF structure (an EXIF block): byte order, directories and their
//   entries. It holds a pointer into the caller's bytes, which must outlive it.
//
// Used by the in-place orientation rewrite and by the JPEG codec's EXIF thumbnail reader. Pure
// functions over bytes: any thread.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace vistel {

// A range of bytes: its offset from the start of the bytes it was found in, and its length.
struct ByteSpan {
    std::size_t offset = 0;
    std::size_t size = 0;
};

struct MetadataBlocks {
    std::optional<ByteSpan> exif; // the TIFF structure, after any "Exif\0\0" header
    std::optional<ByteSpan> xmp;  // the packet text
};

// The blocks of a JPEG or WebP file; none for other bytes or where the structure is damaged
// before them.
MetadataBlocks findMetadataBlocks(const std::uint8_t* bytes, std::size_t size);

class TiffBlock {
public:
    // TIFF field types this reader knows by name.
    static constexpr std::uint16_t kShort = 3;
    static constexpr std::uint16_t kLong = 4;

    struct Entry {
        std::uint16_t tag = 0;
        std::uint16_t type = 0;
        std::uint32_t count = 0;
        std::size_t valueAt = 0; // offset of the 4-byte value field within the block
    };

    // Null when the bytes do not start with a TIFF header ("II" or "MM", 42).
    static std::optional<TiffBlock> open(const std::uint8_t* bytes, std::size_t size);

    bool littleEndian() const { return little_; }
    std::size_t size() const { return size_; }
    const std::uint8_t* bytes() const { return bytes_; }
    std::uint16_t read16(std::size_t at) const; // the caller checks at + 2 <= size()
    std::uint32_t read32(std::size_t at) const; // the caller checks at + 4 <= size()

    // The offset of IFD0; of the directory after the one at `directory` (IFD1 after IFD0). Null
    // when there is none or it lies outside the block.
    std::optional<std::size_t> firstDirectory() const;
    std::optional<std::size_t> nextDirectory(std::size_t directory) const;
    // The entries of the directory at `directory`; null when the directory runs past the block.
    std::optional<std::vector<Entry>> entries(std::size_t directory) const;
    // The first value of a SHORT or LONG entry; null for other types, no value, or values
    // outside the block.
    std::optional<std::uint32_t> firstValue(const Entry& entry) const;
    // The values of a SHORT or LONG entry, stored in the entry or at the offset it gives; null
    // when they lie outside the block or there are more than `maxCount`.
    std::optional<std::vector<std::uint32_t>> values(const Entry& entry, std::uint32_t maxCount) const;

private:
    TiffBlock(const std::uint8_t* bytes, std::size_t size, bool little) : bytes_(bytes), size_(size), little_(little) { }
    std::optional<std::size_t> directoryAt(std::uint64_t offset) const;
    // Where the entry's values start, when all of them lie in the block.
    std::optional<std::size_t> valuesAt(const Entry& entry) const;
    std::uint32_t valueAt(const Entry& entry, std::size_t first, std::uint32_t index) const;

    const std::uint8_t* bytes_;
    std::size_t size_;
    bool little_;
};

} // namespace vistel
