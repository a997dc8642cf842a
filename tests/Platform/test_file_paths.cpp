// Paths taken apart and put together as text.

#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>

#include "Platform/FilePaths.h"

using namespace vistel;

TEST(FilePaths, JoinFoldsSlashesAndDropsATrailingOne)
{
    struct Case {
        const char* folder;
        const char* name;
        const char* expected;
    };
    const Case cases[] = {
        {"/tmp", "scratch.tiff", "/tmp/scratch.tiff"}, {"/tmp/", "scratch.tiff", "/tmp/scratch.tiff"},
        {"/", "scratch.tiff", "/scratch.tiff"},        {"", "scratch.tiff", "scratch.tiff"},
        {"a", "", "a"},                                {"a/", "", "a"},
        {"", "", ""},                                  {"a", "/b", "a/b"},
        {"a//", "//b//", "a/b"},                       {"proj", "/abs/path", "proj/abs/path"},
        {"a", "b/c", "a/b/c"},                         {"/", "", "/"},
        {"", "/abs", "/abs"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(joinPath(c.folder, c.name), c.expected) << c.folder << " + " << c.name;
}

TEST(FilePaths, ComponentsParentsAndExtensions)
{
    struct Case {
        const char* path;
        const char* last;
        const char* parent;
        const char* extension;
    };
    const Case cases[] = {
        {"/tmp/scratch.tiff", "scratch.tiff", "/tmp", "tiff"},
        {"/tmp/lock/", "lock", "/tmp", ""},
        {"/tmp/", "tmp", "/", ""},
        {"/tmp", "tmp", "/", ""},
        {"/", "/", "/", ""},
        {"//", "/", "/", ""},
        {"scratch.TIFF", "scratch.TIFF", ".", "TIFF"},
        {"a/b/", "b", "a", ""},
        {"", "", ".", ""},
        {"a//b", "b", "a", ""},
        {"/x/archive.tar.gz", "archive.tar.gz", "/x", "gz"},
        {"/home/u/.profile", ".profile", "/home/u", ""},
        {"/home/u/name.", "name.", "/home/u", ""},
        {"/a.b/c", "c", "/a.b", ""},
        {"//a//b//c//", "c", "/a/b", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(lastPathComponent(c.path), c.last) << c.path;
        EXPECT_EQ(parentFolderPath(c.path), c.parent) << c.path;
        EXPECT_EQ(pathExtension(c.path), c.extension) << c.path;
    }
}

TEST(FilePaths, NormalisingIsLexical)
{
    struct Case {
        const char* path;
        const char* expected;
    };
    const Case cases[] = {
        {"/a/b/../c/", "/a/c"}, {"a/../../b", "../b"}, {"/../a", "/a"}, {"a/..", "."},
        {"./a/./b", "a/b"},     {"//a///b", "/a/b"},   {"/", "/"},      {"", ""},
        {"../..", "../.."},     {"/a/b/../../..", "/"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(normalizedPath(c.path), c.expected) << c.path;
    EXPECT_EQ(pathComponents("/a/./../b/"), (std::vector<std::string> {"a", "..", "b"}));
}

TEST(FilePaths, PathsUnderAFolder)
{
    struct Case {
        const char* path;
        const char* folder;
        bool under;
    };
    const Case cases[] = {
        {"/media/card", "/media/card", true}, {"/media/card/DCIM", "/media/card", true},
        {"/media/cards", "/media/card", false}, {"/media", "/media/card", false},
        {"/anything", "/", true},              {"relative", "/", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isPathUnder(c.path, c.folder), c.under) << c.path << " in " << c.folder;
}

TEST(FilePaths, PlainFileNamesStayInTheirFolder)
{
    for (const char* name : {"a.jpg", ".hidden", "...", "name with spaces", "a\\b"})
        EXPECT_TRUE(isPlainFileName(name)) << name;
    for (const char* name : {"", ".", "..", "a/b", "/", "../x"})
        EXPECT_FALSE(isPlainFileName(name)) << name;
}

TEST(FilePaths, AbsolutePathsKeepDotDotForTheDisk)
{
    char folder[PATH_MAX];
    ASSERT_NE(::getcwd(folder, sizeof folder), nullptr);
    EXPECT_EQ(absolutePath("/x/../y/"), "/x/../y");
    EXPECT_EQ(absolutePath("sub/../file"), joinPath(folder, "sub/../file"));
}

TEST(FilePaths, FileURLsNeverDecodeToANulByte)
{
    EXPECT_EQ(pathForFileURL("file:///a%00b"), std::nullopt);
    EXPECT_EQ(pathForFileURL("file:///a%2500b"), "/a%00b");
    EXPECT_EQ(percentEncoded("a b/(c)", "/()"), "a%20b/(c)");
}
