#pragma once
// MetadataProfile: a read-only view of one metadata field table.
//
// The properties views and the organise panel never decide by themselves which metadata fields
// exist: fixed tables say, for every field, where its value lives (a dictionary key and a
// property key), the name shown for it, the group it is shown under, the converter that turns
// its raw value into text, and the control that edits it. A profile points at the first row of
// one table and knows how many rows it has; MetadataProfileEnumerator walks them.
//
// The five tables: database (7 fields the catalogue keeps for each item, the ones the database
// view edits), file (25 fields of the catalogue item and its picture), EXIF (169 fields of the
// picture's image-property dictionaries), IPTC (48 fields of its "{IPTC}" dictionary) and
// automatic categories (the same 48 fields, in a table of its own). Each table is built once per
// process, on the first call of its class function, into storage that lives until the process
// ends; every profile made for it points into the same rows, so row pointers and the texts they
// refer to stay valid for the whole run. A table's names are translated once, as it is built,
// under the table's own function ("databaseDictionary", "fileDictionary", "exifDictionary",
// "iptcDictionary", "autoCategoriesDictionary"), so each table can be translated apart.
//
// A table ends with a row of all zeros; the end is recognised by a null first key (every real
// row has one).
//
// Thread rules: main thread only (tables are built and read there; nothing is locked).

#include <cstddef>
#include <cstdint>

#include "Platform/Object.h"
#include "ZovClass.h"

namespace vistel {

// One field of a table.
struct MetadataProfileItemInfo {
    // The dictionary the value lives in ("{FileSystemItem}", "{RootPageMetadata}",
    // "{FSIKeywords}" or an image-property dictionary key); null only in the terminator.
    const char* sourcePath1 = nullptr;
    // The property inside that dictionary, or "*" for every name stored under the first key.
    const char* sourcePath2 = nullptr;
    // The translated name shown for the field.
    const char* name = nullptr;
    // The group the field is shown under: shown as it is, and the group's identity.
    const char* category = nullptr;
    // The converter of the value (null: shown as it is).
    const char* converterID = nullptr;
    // The control that edits the value (0: none, shown as text; 1 text field; 2 titled text
    // field; 3 date picker; 4 rating; 5 check box; 6 keyword tokens).
    std::int32_t uiType = 0;
};

class MetadataProfileEnumerator;

class MetadataProfile : public Object {
public:
    ZOV_ROOT_CLASS(MetadataProfile)

    // The group names rows use. They are shown as they are (never translated) and are the
    // groups' identities. "Canon Maker Notes" is used by no row.
    static constexpr const char* CategoryFileInformation = "File Information";
    static constexpr const char* CategoryImageAttributes = "Image Attributes";
    static constexpr const char* CategoryExifSummary = "EXIF Metadata Summary";
    static constexpr const char* CategoryCameraImageFileFormat = "Camera Image File Format";
    static constexpr const char* CategoryNikonMakerNotes = "Nikon Maker Notes";
    static constexpr const char* CategoryCanonMakerNotes = "Canon Maker Notes";
    static constexpr const char* CategoryCamera = "Camera";
    static constexpr const char* CategoryTIFF = "TIFF";
    static constexpr const char* CategoryJPEG = "JPEG";
    static constexpr const char* CategoryPNG = "PNG";
    static constexpr const char* CategoryGIF = "GIF";
    static constexpr const char* CategoryImage = "Image";
    static constexpr const char* CategoryFile = "File";
    static constexpr const char* CategoryMiscellaneous = "Miscellaneous";
    static constexpr const char* CategoryGPS = "GPS";
    static constexpr const char* CategoryOther = "Other";
    static constexpr const char* CategoryCategories = "Categories";
    static constexpr const char* CategoryCaption = "Caption";
    static constexpr const char* CategoryOrigin = "Origin";
    static constexpr const char* CategoryKeywords = "Keywords";
    static constexpr const char* CategoryCredit = "Credit";
    static constexpr const char* CategoryGeneral = "General";
    static constexpr const char* CategoryNotes = "Notes";

    // First keys that are not image-property dictionaries: the catalogue item's own properties,
    // the picture's page facts as the catalogue stores them, and the item's keyword set.
    static constexpr const char* SourceFileSystemItem = "{FileSystemItem}";
    static constexpr const char* SourceRootPageMetadata = "{RootPageMetadata}";
    static constexpr const char* SourceKeywords = "{FSIKeywords}";
    // The second key that stands for every name stored under the first key.
    static constexpr const char* SourceAllNames = "*";

    // New profiles over the tables.
    static Ref<MetadataProfile> databaseProfile();
    static Ref<MetadataProfile> fileProfile();
    static Ref<MetadataProfile> exifProfile();
    static Ref<MetadataProfile> iptcProfile();
    static Ref<MetadataProfile> autoCategoriesProfile();

    // The first row of each table; the first call builds it.
    static const MetadataProfileItemInfo* databaseDictionary();
    static const MetadataProfileItemInfo* fileDictionary();
    static const MetadataProfileItemInfo* exifDictionary();
    static const MetadataProfileItemInfo* iptcDictionary();
    static const MetadataProfileItemInfo* autoCategoriesDictionary();

    // A profile over the rows starting at `info` (counted up to the terminator).
    static Ref<MetadataProfile> profileWithInfo(const MetadataProfileItemInfo* info);

    std::size_t count() const { return specCount_; }
    // The row at `index`; an index at or past count() raises "Index out of range".
    const MetadataProfileItemInfo* infoAtIndex(std::size_t index) const;
    // An enumerator on the first row.
    Ref<MetadataProfileEnumerator> enumerator() const;

private:
    explicit MetadataProfile(const MetadataProfileItemInfo* info);
    template <class T, class... Args>
    friend Ref<T> makeRef(Args&&...);

    const MetadataProfileItemInfo* spec_;
    std::size_t specCount_ = 0;
};

// Walks a table's rows. The base yields nothing.
class MetadataProfileEnumerator : public Object {
public:
    // The current row, moving on; null at the terminator and at every later call.
    virtual const MetadataProfileItemInfo* nextObject() { return nullptr; }
};

class MetadataProfileEnumeratorImp final : public MetadataProfileEnumerator {
public:
    explicit MetadataProfileEnumeratorImp(const MetadataProfileItemInfo* first) : currSpec_(first) { }
    const MetadataProfileItemInfo* nextObject() override;

private:
    const MetadataProfileItemInfo* currSpec_;
};

} // namespace vistel
