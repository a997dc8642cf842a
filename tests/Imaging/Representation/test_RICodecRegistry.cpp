// Codec bootstrap: the class-wide lists built from the fixture codecs' format descriptors, the
// document-type merge into Info.plist, and the desktop entry's MIME types.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

#include "Imaging/CodecPlugInHost.h"
#include "Imaging/DesktopEntry.h"
#include "Imaging/RICodecRegistry.h"
#include "Imaging/RIReperesentation.h"
#include "TestSupport.h"

using namespace vistel;

namespace {

std::vector<std::string> strings(const Value& array)
{
    std::vector<std::string> out;
    for (const Value& v : array.asArray())
        out.push_back(v.asString());
    return out;
}

const Value* typeNamed(const Value& types, std::string_view name)
{
    for (const Value& entry : types.asArray())
        if (entry.get("CFBundleTypeName").asString() == name)
            return &entry;
    return nullptr;
}

class TemporaryFolder {
public:
    TemporaryFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vistel-rep-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~TemporaryFolder() { std::filesystem::remove_all(path_); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

} // namespace

TEST(RICodecRegistry, ListsFollowTheFormatDescriptors)
{
    CodecPlugInHost host(REP_PLUGINS_FULL);
    const Ref<RICodecRegistry> registry = RICodecRegistry::create(host);
    ASSERT_TRUE(registry->hasCodecCore());

    // The codec whose format list fails and the one without formats are not used.
    EXPECT_EQ(registry->codecs().size(), 1u);
    EXPECT_EQ(registry->types(),
        (std::vector<std::string> {"public.jpeg", "public.camera-raw-image", "com.example.fixture",
            "com.example.alternative", "com.com"}));
    EXPECT_EQ(registry->fileTypes(),
        (std::vector<std::string> {"JPG", "jpg", "JPEG", "jpeg", "JPE", "jpe", "RAW", "raw", "VFX", "vfx", "ALT",
            "alt", "ZZZ", "zzz", "QQQ", "qqq"}));

    const Value& types = registry->fileTypesProperties();
    // jpg,jpeg,jpe has no single extension: no document type. The descriptor with neither
    // names nor type identifier adds none either.
    ASSERT_EQ(types.size(), 4u);
    EXPECT_EQ(typeNamed(types, "JPEG image"), nullptr);

    const Value* raw = typeNamed(types, "Public Camera Raw Image");
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(strings(raw->get("CFBundleTypeExtensions")), std::vector<std::string> {"raw"});
    EXPECT_FALSE(raw->contains("CFBundleTypeMIMETypes"));
    EXPECT_EQ(raw->get("CFBundleTypeRole").asString(), "Viewer");

    const Value* fixture = typeNamed(types, "Fixture picture");
    ASSERT_NE(fixture, nullptr);
    EXPECT_EQ(strings(fixture->get("CFBundleTypeMIMETypes")), std::vector<std::string> {"image/x-vistel-fixture"});

    EXPECT_NE(typeNamed(types, "Alternative picture"), nullptr);
    // "com.com" leaves no name: a document type without one.
    EXPECT_EQ(types.at(3).get("CFBundleTypeExtensions").at(0).asString(), "qqq");
    EXPECT_FALSE(types.at(3).contains("CFBundleTypeName"));
}

TEST(RICodecRegistry, NoCodecCoreMeansNothingIsDecodable)
{
    CodecPlugInHost host(REP_PLUGINS_NO_CORE);
    const Ref<RICodecRegistry> registry = RICodecRegistry::create(host);
    EXPECT_FALSE(registry->hasCodecCore());
    EXPECT_TRUE(registry->codecs().empty());
    EXPECT_TRUE(registry->types().empty());
    EXPECT_TRUE(registry->fileTypes().empty());
    EXPECT_EQ(registry->fileTypesProperties().size(), 0u);
    EXPECT_FALSE(registry->isDecodableByName("a.vfx"));
}

TEST(RICodecRegistry, DecodableByNameIgnoresCase)
{
    CodecPlugInHost host(REP_PLUGINS_FULL);
    const Ref<RICodecRegistry> registry = RICodecRegistry::create(host);
    const struct {
        const char* name;
        bool decodable;
    } cases[] = {
        {"IMG_0001.JPG", true}, {"/photos/a.jpeg", true}, {"scan.Vfx", true}, {"notes.txt", false},
        {"jpg", false}, {"folder.jpg/readme", false}, {"archive.tar.jpe", true}, {"trailing.", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(registry->isDecodableByName(c.name), c.decodable) << c.name;
}

TEST(RICodecRegistry, DocumentTypeNameRule)
{
    const struct {
        const char* identifier;
        const char* name;
    } cases[] = {
        {"public.camera-raw-image", "Public Camera Raw Image"},
        {"com.example.fixture", "Example Fixture"},
        {"org.webmproject.webp", "Org Webmproject Webp"},
        {"com.com", ""},
        {"COM.Canon.CR2-RAW", "Com Canon Cr2 Raw"}, // only the exact piece "com" is dropped
        {"a..b", "A B"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RICodecRegistry::documentTypeNameFromIdentifier(c.identifier), c.name) << c.identifier;
}

TEST(RIReperesentationDocumentTypes, MergeByNameKeepsNamelessEntriesAndExistingKeys)
{
    const Value existing = Value::array({
        Value::dictionary({{"CFBundleTypeName", "JPEG image"}, {"CFBundleTypeExtensions", Value::array({"jpg"})},
            {"LSHandlerRank", "Owner"}}),
        Value::dictionary({{"CFBundleTypeExtensions", Value::array({"hand"})}}), // nameless, kept
        Value::dictionary({{"CFBundleTypeName", "PNG image"}, {"CFBundleTypeRole", "Editor"}}),
        Value::dictionary({{"CFBundleTypeName", "PNG image"}, {"CFBundleTypeRole", "Viewer"}}), // replaces the above
    });
    const Value incoming = Value::array({
        Value::dictionary({{"CFBundleTypeName", "JPEG image"}, {"CFBundleTypeExtensions", Value::array({"jpeg"})},
            {"CFBundleTypeRole", "Viewer"}}),
        Value::dictionary({{"CFBundleTypeName", "WebP image"}, {"CFBundleTypeRole", "Viewer"}}),
        Value::dictionary({{"CFBundleTypeExtensions", Value::array({"qqq"})}}),
    });
    const Value merged = RIReperesentation::mergeDocumentTypes(existing, incoming);
    ASSERT_EQ(merged.size(), 5u);
    EXPECT_EQ(merged.at(0),
        Value::dictionary({{"CFBundleTypeName", "JPEG image"}, {"CFBundleTypeExtensions", Value::array({"jpeg"})},
            {"LSHandlerRank", "Owner"}, {"CFBundleTypeRole", "Viewer"}}));
    EXPECT_EQ(merged.at(1), existing.at(1));
    EXPECT_EQ(merged.at(2), existing.at(3));
    EXPECT_EQ(merged.at(3).get("CFBundleTypeName").asString(), "WebP image");
    EXPECT_EQ(merged.at(4), incoming.at(2));
    // Merging again changes nothing: no duplicate of the nameless new entry.
    EXPECT_EQ(RIReperesentation::mergeDocumentTypes(merged, incoming), merged);
}

TEST(RIReperesentationDocumentTypes, InfoPlistIsWrittenOnlyWhenItChanges)
{
    TemporaryFolder folder;
    const std::string plist = folder.path() + "/Info.plist";
    Value info = Value::dictionary({{"CFBundleName", "Vistel"},
        {"CFBundleDocumentTypes", Value::array({Value::dictionary({{"CFBundleTypeExtensions", Value::array({"x"})}})})}});
    writeText(plist, *info.toXmlPropertyList());

    CodecPlugInHost host(REP_PLUGINS_FULL);
    const Value types = RICodecRegistry::create(host)->fileTypesProperties();
    ASSERT_TRUE(RIReperesentation::tryToUpdateInfoPlistAtPath(plist, types));
    const std::optional<Value> written = Value::fromXmlPropertyList(readText(plist));
    ASSERT_TRUE(written);
    EXPECT_EQ(written->get("CFBundleName").asString(), "Vistel");
    EXPECT_EQ(written->get("CFBundleDocumentTypes").size(), 1u + types.size());

    struct stat before {};
    ASSERT_EQ(stat(plist.c_str(), &before), 0);
    EXPECT_FALSE(RIReperesentation::tryToUpdateInfoPlistAtPath(plist, types));
    struct stat after {};
    ASSERT_EQ(stat(plist.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino); // not replaced
    EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
}

TEST(RIReperesentationDocumentTypes, UnreadableInfoPlistIsLeftAlone)
{
    TemporaryFolder folder;
    const std::string plist = folder.path() + "/Info.plist";
    writeText(plist, "<plist><dict><key>broken");
    const Value types = Value::array({Value::dictionary({{"CFBundleTypeName", "A"}})});
    EXPECT_FALSE(RIReperesentation::tryToUpdateInfoPlistAtPath(plist, types));
    EXPECT_EQ(readText(plist), "<plist><dict><key>broken");
    EXPECT_FALSE(RIReperesentation::tryToUpdateInfoPlistAtPath(folder.path() + "/missing.plist", types));
    EXPECT_FALSE(std::filesystem::exists(folder.path() + "/missing.plist"));
}

TEST(DesktopEntry, MimeTypesComeFromTheDocumentTypes)
{
    CodecPlugInHost host(REP_PLUGINS_FULL);
    const Value types = RICodecRegistry::create(host)->fileTypesProperties();
    EXPECT_EQ(DesktopEntry::mimeTypeList(types), "image/x-vistel-fixture;image/x-alternative;");

    Value odd = Value::array({
        Value::dictionary({{"CFBundleTypeMIMETypes", Value::array({"image/png", "image/png"})}}),
        Value::dictionary({{"CFBundleTypeMIMETypes", Value::array({"bad;type/x", "noslash", "image/", "a/b c"})}}),
    });
    EXPECT_EQ(DesktopEntry::mimeTypes(odd), std::vector<std::string> {"image/png"});
    EXPECT_EQ(DesktopEntry::fillTemplate("A\nMimeType=@VISTEL_MIME_TYPES@\nB\n", odd), "A\nMimeType=image/png;\nB\n");
}

TEST(DesktopEntry, FilledTemplateValidates)
{
    const char* validator = "/usr/bin/desktop-file-validate";
    if (!std::filesystem::exists(validator))
        VISTEL_SKIP_UNAVAILABLE() << "desktop-file-validate is not installed";
    CodecPlugInHost host(REP_PLUGINS_FULL);
    const Value types = RICodecRegistry::create(host)->fileTypesProperties();
    TemporaryFolder folder;
    const std::string entry = folder.path() + "/vistel.desktop";
    writeText(entry, DesktopEntry::fillTemplate(readText(REP_DESKTOP_TEMPLATE), types));
    EXPECT_NE(readText(entry).find("MimeType=image/x-vistel-fixture;image/x-alternative;\n"), std::string::npos);
    const std::string command = std::string(validator) + " '" + entry + "' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0);
}
