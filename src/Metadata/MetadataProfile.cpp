#include "Metadata/MetadataProfile.h"

#include <deque>
#include <string>
#include <vector>

#include "Platform/Exception.h"
#include "Platform/Imaging/ImageProperties.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

// A field as the tables below list it, with its English name.
struct FieldSpec {
    const char* sourcePath1;
    const char* sourcePath2;
    const char* name;
    const char* category;
    const char* converterID;
    std::int32_t uiType;
};

// A built table: its rows (terminator included) and the translated names they point at.
struct BuiltTable {
    std::deque<std::string> names;
    std::vector<MetadataProfileItemInfo> rows;
};

// Builds a table once: every name translated under `selector` of MetadataProfile.
const BuiltTable& buildTable(const std::vector<FieldSpec>& specs, const char* selector)
{
    // Never destroyed before the end of the process: profiles point into it for the whole run.
    auto* table = new BuiltTable;
    table->rows.reserve(specs.size() + 1);
    for (const FieldSpec& spec : specs) {
        table->names.push_back(ZOV_TRANSLATE_AS(MetadataProfile::staticZovClass(), spec.name, selector));
        table->rows.push_back({spec.sourcePath1, spec.sourcePath2, table->names.back().c_str(), spec.category,
                               spec.converterID, spec.uiType});
    }
    table->rows.push_back({}); // the terminator
    return *table;
}

// The 48 IPTC fields, in table order.
std::vector<FieldSpec> iptcFields()
{
    const char* D = kImagePropertyIPTCDictionary;
    const char* other = MetadataProfile::CategoryOther;
    const char* categories = MetadataProfile::CategoryCategories;
    const char* caption = MetadataProfile::CategoryCaption;
    const char* origin = MetadataProfile::CategoryOrigin;
    const char* keywords = MetadataProfile::CategoryKeywords;
    const char* credit = MetadataProfile::CategoryCredit;
    return {
        {D, kImagePropertyIPTCObjectTypeReference, "Object Type Reference", other, nullptr, 0},
        {D, kImagePropertyIPTCObjectAttributeReference, "Object Attribute Reference", other, nullptr, 0},
        {D, kImagePropertyIPTCObjectName, "Object Name", origin, nullptr, 0},
        {D, kImagePropertyIPTCEditStatus, "Edit Status", other, nullptr, 0},
        {D, kImagePropertyIPTCEditorialUpdate, "Editorial Update", other, nullptr, 0},
        {D, kImagePropertyIPTCUrgency, "Urgency", categories, nullptr, 0},
        {D, kImagePropertyIPTCSubjectReference, "Subject Reference", caption, nullptr, 0},
        {D, kImagePropertyIPTCCategory, "Category", categories, nullptr, 0},
        {D, kImagePropertyIPTCSupplementalCategory, "Supplemental Category", categories, nullptr, 0},
        {D, kImagePropertyIPTCFixtureIdentifier, "Fixture Identifier", other, nullptr, 0},
        {D, kImagePropertyIPTCKeywords, "Keywords", keywords, nullptr, 0},
        {D, kImagePropertyIPTCContentLocationCode, "Content Location Code", origin, nullptr, 0},
        {D, kImagePropertyIPTCContentLocationName, "Content Location Name", origin, nullptr, 0},
        {D, kImagePropertyIPTCReleaseDate, "Release Date", origin, nullptr, 0},
        {D, kImagePropertyIPTCReleaseTime, "Release Time", origin, nullptr, 0},
        {D, kImagePropertyIPTCExpirationDate, "Expiration Date", other, nullptr, 0},
        {D, kImagePropertyIPTCExpirationTime, "Expiration Time", other, nullptr, 0},
        {D, kImagePropertyIPTCSpecialInstructions, "Special Instructions", caption, nullptr, 0},
        {D, kImagePropertyIPTCActionAdvised, "Action Advised", other, nullptr, 0},
        {D, kImagePropertyIPTCReferenceService, "Reference Service", other, nullptr, 0},
        {D, kImagePropertyIPTCReferenceDate, "Reference Date", other, nullptr, 0},
        {D, kImagePropertyIPTCReferenceNumber, "Reference Number", other, nullptr, 0},
        {D, kImagePropertyIPTCDateCreated, "Date Created", origin, nullptr, 0},
        {D, kImagePropertyIPTCTimeCreated, "Time Created", origin, nullptr, 0},
        {D, kImagePropertyIPTCDigitalCreationDate, "Digital Creation Date", origin, nullptr, 0},
        {D, kImagePropertyIPTCDigitalCreationTime, "Digital Creation Time", origin, nullptr, 0},
        {D, kImagePropertyIPTCOriginatingProgram, "Originating Program", other, nullptr, 0},
        {D, kImagePropertyIPTCProgramVersion, "Program Version", other, nullptr, 0},
        {D, kImagePropertyIPTCObjectCycle, "Object Cycle", other, nullptr, 0},
        {D, kImagePropertyIPTCByline, "Byline", other, nullptr, 0},
        {D, kImagePropertyIPTCBylineTitle, "Byline Title", other, nullptr, 0},
        {D, kImagePropertyIPTCCity, "City", origin, nullptr, 0},
        {D, kImagePropertyIPTCSubLocation, "Sub-Location", origin, nullptr, 0},
        {D, kImagePropertyIPTCProvinceState, "Province / State", origin, nullptr, 0},
        {D, kImagePropertyIPTCCountryPrimaryLocationCode, "Country / Primary Location Code", origin, nullptr, 0},
        {D, kImagePropertyIPTCCountryPrimaryLocationName, "Country / Primary Location Name", origin, nullptr, 0},
        {D, kImagePropertyIPTCOriginalTransmissionReference, "Original Transmission Reference", origin, nullptr, 0},
        {D, kImagePropertyIPTCHeadline, "Headline", caption, nullptr, 0},
        {D, kImagePropertyIPTCCredit, "Credit", credit, nullptr, 0},
        {D, kImagePropertyIPTCSource, "Source", credit, nullptr, 0},
        {D, kImagePropertyIPTCCopyrightNotice, "Copyright Notice", credit, nullptr, 0},
        {D, kImagePropertyIPTCContact, "Contact", credit, nullptr, 0},
        {D, kImagePropertyIPTCCaptionAbstract, "Caption / Abstract", caption, nullptr, 0},
        {D, kImagePropertyIPTCWriterEditor, "Writer / Editor", caption, nullptr, 0},
        {D, kImagePropertyIPTCImageType, "Image Type", categories, nullptr, 0},
        {D, kImagePropertyIPTCImageOrientation, "Image Orientation", categories, nullptr, 0},
        {D, kImagePropertyIPTCLanguageIdentifier, "Language Identifier", categories, nullptr, 0},
        {D, kImagePropertyIPTCStarRating, "Star Rating", categories, nullptr, 0},
    };
}

} // namespace

const MetadataProfileItemInfo* MetadataProfile::iptcDictionary()
{
    static const BuiltTable& table = buildTable(iptcFields(), "iptcDictionary");
    return table.rows.data();
}

const MetadataProfileItemInfo* MetadataProfile::autoCategoriesDictionary()
{
    static const BuiltTable& table = buildTable(iptcFields(), "autoCategoriesDictionary");
    return table.rows.data();
}

Ref<MetadataProfile> MetadataProfile::iptcProfile() { return profileWithInfo(iptcDictionary()); }

Ref<MetadataProfile> MetadataProfile::autoCategoriesProfile() { return profileWithInfo(autoCategoriesDictionary()); }

Ref<MetadataProfile> MetadataProfile::profileWithInfo(const MetadataProfileItemInfo* info)
{
    return makeRef<MetadataProfile>(info);
}

MetadataProfile::MetadataProfile(const MetadataProfileItemInfo* info)
    : spec_(info)
{
    ZOV_ASSERT(info, "Must be");
    while (spec_[specCount_].sourcePath1)
        ++specCount_;
}

const MetadataProfileItemInfo* MetadataProfile::infoAtIndex(std::size_t index) const
{
    ZOV_ASSERT(index < specCount_, "Index out of range");
    return spec_ + index;
}

Ref<MetadataProfileEnumerator> MetadataProfile::enumerator() const
{
    return makeRef<MetadataProfileEnumeratorImp>(spec_);
}

const MetadataProfileItemInfo* MetadataProfileEnumeratorImp::nextObject()
{
    if (!currSpec_->sourcePath1)
        return nullptr;
    return currSpec_++;
}

} // namespace vistel
