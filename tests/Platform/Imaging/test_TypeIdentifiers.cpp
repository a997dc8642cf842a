#include <gtest/gtest.h>

#include "Platform/Imaging/TypeIdentifiers.h"
#include "TestSupport.h"

using namespace vistel;

TEST(TypeIdentifiers, KnownTypesHaveTheirExtensionsAndMIMETypes)
{
    struct Case {
        const char* identifier;
        const char* preferredExtension;
        const char* mimeType;
    };
    const Case cases[] = {
        {"public.jpeg", "jpeg", "image/jpeg"},
        {"public.png", "png", "image/png"},
        {"public.tiff", "tiff", "image/tiff"},
        {"com.compuserve.gif", "gif", "image/gif"},
        {"com.adobe.pdf", "pdf", "application/pdf"},
        {"public.jpeg-2000", "jp2", "image/jp2"},
        {"com.microsoft.bmp", "bmp", "image/bmp"},
        {"org.webmproject.webp", "webp", "image/webp"},
        {"public.heic", "heic", "image/heic"},
        {"public.camera-raw-image", "", ""},
        {"public.folder", "", "inode/directory"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TypeIdentifiers::preferredExtension(c.identifier), c.preferredExtension) << c.identifier;
        EXPECT_EQ(TypeIdentifiers::preferredMIMEType(c.identifier), c.mimeType) << c.identifier;
    }
    EXPECT_EQ(TypeIdentifiers::extensions("public.jpeg"), (std::vector<std::string> {"jpeg", "jpg", "jpe"}));
    EXPECT_EQ(TypeIdentifiers::description("public.jpeg"), "JPEG image");
    EXPECT_TRUE(TypeIdentifiers::extensions("com.example.unknown").empty());
    EXPECT_FALSE(TypeIdentifiers::declaration("com.example.unknown"));
}

TEST(TypeIdentifiers, ExtensionsAndFileNamesGiveTypes)
{
    const std::pair<const char*, const char*> cases[] = {
        {"JPG", "public.jpeg"}, {"jpe", "public.jpeg"}, {"tif", "public.tiff"}, {"Png", "public.png"},
        {"CR2", "com.canon.cr2-raw-image"}, {"nef", "com.nikon.raw-image"}, {"dng", "com.adobe.raw-image"},
        {"heic", "public.heic"}, {"webp", "org.webmproject.webp"}, {"", ""},
    };
    for (const auto& [extension, type] : cases)
        EXPECT_EQ(TypeIdentifiers::typeForExtension(extension), type) << extension;
    EXPECT_EQ(TypeIdentifiers::typeForFileName("/Volumes/Card/DCIM/IMG_0001.JPG"), "public.jpeg");
    EXPECT_EQ(TypeIdentifiers::typeForFileName("archive.tar.gz.tiff"), "public.tiff");
    EXPECT_EQ(TypeIdentifiers::typeForFileName("README"), "");
    EXPECT_EQ(TypeIdentifiers::typeForFileName(".hidden"), "");
    EXPECT_EQ(TypeIdentifiers::typeForMIMEType("IMAGE/PNG"), "public.png");
}

TEST(TypeIdentifiers, ConformanceIsReflexiveAndTransitive)
{
    EXPECT_TRUE(TypeIdentifiers::conformsTo("public.jpeg", "public.image"));
    EXPECT_TRUE(TypeIdentifiers::conformsTo("public.jpeg", "public.data"));
    EXPECT_TRUE(TypeIdentifiers::conformsTo("public.jpeg", "public.item"));
    EXPECT_TRUE(TypeIdentifiers::conformsTo("public.jpeg", "public.jpeg"));
    EXPECT_TRUE(TypeIdentifiers::conformsTo("com.sony.arw-raw-image", "public.camera-raw-image"));
    EXPECT_TRUE(TypeIdentifiers::conformsTo("com.sony.arw-raw-image", "public.image"));
    EXPECT_TRUE(TypeIdentifiers::conformsTo("public.folder", "public.directory"));
    EXPECT_FALSE(TypeIdentifiers::conformsTo("public.image", "public.jpeg"));
    EXPECT_FALSE(TypeIdentifiers::conformsTo("com.adobe.pdf", "public.image"));
    EXPECT_FALSE(TypeIdentifiers::conformsTo("public.folder", "public.data"));
    EXPECT_FALSE(TypeIdentifiers::conformsTo("", "public.data"));
}

TEST(TypeIdentifiers, EveryTableTypeConformsToTheRoot)
{
    for (const auto& identifier : TypeIdentifiers::knownIdentifiers()) {
        if (identifier == "public.item" || identifier == "public.content")
            continue;
        EXPECT_TRUE(TypeIdentifiers::conformsTo(identifier, "public.item") || TypeIdentifiers::conformsTo(identifier, "public.content"))
            << identifier;
    }
}

TEST(TypeIdentifiers, UnknownExtensionsComeFromSharedMimeInfo)
{
    // "xcf" is in shared-mime-info but not in the table.
    const std::string type = TypeIdentifiers::typeForExtension("xcf");
    if (type.empty())
        VISTEL_SKIP_UNAVAILABLE() << "shared-mime-info is not installed";
    EXPECT_EQ(type.rfind("dyn.mime.", 0), 0u) << type;
    EXPECT_TRUE(TypeIdentifiers::conformsTo(type, "public.image"));
    EXPECT_TRUE(TypeIdentifiers::conformsTo(type, "public.data"));
    EXPECT_EQ(TypeIdentifiers::preferredExtension(type), "xcf");
    EXPECT_FALSE(TypeIdentifiers::preferredMIMEType(type).empty());
    EXPECT_EQ(TypeIdentifiers::typeForExtension("no-such-extension-here"), "");
}
