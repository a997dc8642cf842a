// The project file reader: header check, item grammar, typed access, and the project walk.

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <unistd.h>

#include "PbxProject.h"
#include "Platform/Exception.h"
#include "Platform/AtomicFileWriter.h"
#include "Platform/FilePaths.h"
#include "TranslatorFiles.h"
#include "Utf16.h"
#include "backends/ZovTranslatorPbxBackend.h"

using namespace vistel;

namespace {

class TempFolder {
public:
    TempFolder()
    {
        char pattern[] = "/tmp/vistel-pbx-XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~TempFolder() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    std::string write(const std::string& name, std::string_view bytes) const
    {
        const std::string path = path_ + "/" + name;
        std::system(("mkdir -p '" + parentFolderPath(path) + "'").c_str());
        EXPECT_TRUE(writeFileAtomically(path, bytes));
        return path;
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

std::optional<Value> body(std::string_view text)
{
    return PbxProject::parseBody(*utf16::fromUtf8(text));
}

} // namespace

TEST(PbxProject, HeaderCheck)
{
    TempFolder folder;
    struct Case {
        std::string text;
        bool ok;
    };
    const std::string root = "{ a = b; }";
    const Case cases[] = {
        {"// !$*UTF8*$!\n" + root, true},
        {"// !$*UTF8*$!\n{ a = b; }\n", true},
        {"// !$*UTF8*$!\n{}", true},                      // ends right after the closing brace
        {"// !$*UTF16*$!\n" + root, false},
        {"// !$*ASCII*$!\n" + root, false},
        {"// UTF8\n" + root, false},
        {"// *$!UTF8!$*\n" + root, false},                // the markers in the wrong order
        {"// !$*$!\n" + root, false},
        {"// !$*UTF8*$! " + std::string(1100, ' ') + "\n" + root, false}, // no line feed in the first 1024 bytes
        {"", false},
        {"// !$*UTF8*$!\n" + root + "\xC3\x28", false},   // not UTF-8
        {"// !$*UTF8*$!\n( a, )", false},                 // the root is not a dictionary
    };
    for (const Case& c : cases) {
        const std::string path = folder.write("project.pbxproj", c.text);
        EXPECT_EQ(PbxProject::projectWithFileName(path) != nullptr, c.ok) << c.text.substr(0, 40);
    }
    EXPECT_EQ(PbxProject::projectWithFileName(folder.path() + "/missing.pbxproj"), nullptr);
}

TEST(PbxProject, ItemGrammar)
{
    struct Case {
        const char* text;
        const char* description; // null: the parse fails
    };
    const Case cases[] = {
        {"{ list = ( a, b, ); }", "{list = (a, b);}"},
        {"{ list = ( a, b ); }", nullptr},              // a comma after every element
        {"{ list = (); empty = ; }", "{empty = \"\"; list = ();}"},
        {"{ q = \"a \\\" b\"; }", "{q = \"a \\\\\\\" b\";}"}, // escapes stay as written
        {"{ k = v; k = w; }", "{k = w;}"},              // a later entry replaces
        {"{ d = { isa = PBXGroup; }; }", "{d = {isa = PBXGroup;};}"},
        {"{ isa = ( a, ); }", nullptr},                  // "isa" must be a string
        {"{ k = v }", nullptr},
        {"{ k v; }", nullptr},
        {"{ k = \"open; }", nullptr},
        {"{ k = ( a, ; }", nullptr},
        {"{ = v; }", nullptr},
        {"{ k = (a,)(b,); }", nullptr},
        {"{", nullptr},
        {"", nullptr},
    };
    for (const Case& c : cases) {
        const auto parsed = body(c.text);
        if (!c.description) {
            EXPECT_FALSE(parsed) << c.text;
        } else {
            ASSERT_TRUE(parsed) << c.text;
            EXPECT_EQ(parsed->description(), c.description) << c.text;
        }
    }
}

TEST(PbxProject, NestingIsLimited)
{
    const auto nested = [](std::size_t depth) {
        std::string text = "{ k = ";
        for (std::size_t i = 1; i < depth; ++i)
            text += "( ";
        text += "x";
        for (std::size_t i = 1; i < depth; ++i)
            text += ", )";
        return text + "; }";
    };
    EXPECT_TRUE(body(nested(PbxProject::MaxNesting)));
    EXPECT_FALSE(body(nested(PbxProject::MaxNesting + 1)));
    EXPECT_FALSE(body(nested(100000)));
}

TEST(PbxItem, TypedAccess)
{
    const auto root = PbxItem::itemWithValue(*body("{ isa = PBXProject; name = n; list = ( a, ); }"));
    ASSERT_TRUE(root);
    EXPECT_TRUE(root->isDictionary());
    EXPECT_TRUE(root->isProject());
    EXPECT_FALSE(root->isGroup());
    EXPECT_EQ(root->isa(), "PBXProject");
    EXPECT_EQ(root->itemForKey("name")->string(), "n");
    EXPECT_EQ(root->itemForKey("list")->array().size(), 1u);
    EXPECT_FALSE(root->itemForKey("missing"));
    EXPECT_EQ(root->dictionary().size(), 3u);
    const PbxItem text = PbxItem::itemWithString("s");
    EXPECT_EQ(text.isa(), "");
    struct Case {
        std::function<void()> call;
        const char* reason;
    };
    const Case cases[] = {
        {[&] { (void)root->string(); }, "Not a string"},
        {[&] { (void)text.array(); }, "Not an array"},
        {[&] { (void)text.dictionary(); }, "Not a dictionary"},
        {[&] { (void)text.itemForKey("k"); }, "Not a dictionary"},
    };
    for (const Case& c : cases) {
        try {
            c.call();
            ADD_FAILURE() << "no exception for " << c.reason;
        } catch (const Exception& error) {
            EXPECT_EQ(error.reason(), c.reason);
        }
    }
    EXPECT_FALSE(PbxItem::itemWithDictionary({{"isa", Value(3)}}));
    EXPECT_TRUE(PbxItem::itemWithDictionary({{"isa", Value("PBXGroup")}})->isGroup());
    EXPECT_EQ(PbxPair::pairWithKey("k", text)->item().string(), "s");
}

TEST(ZovTranslatorPbxBackend, ProjectWalk)
{
    TempFolder folder;
    folder.write("Src/A.m", "@implementation A\n- (void)m { ZovTranslate(@\"a\"); }\n@end\n");
    folder.write("Dir/Src/B.m", "@implementation B\n- (void)m { ZovTranslate(@\"b\"); }\n@end\n");
    const auto project = [&](const std::string& objects, const std::string& dir = "") {
        folder.write("P.project/project.pbxproj",
                     "// !$*UTF8*$!\n{ objects = { P = { isa = PBXProject; mainGroup = G; projectDirPath = \"" + dir
                         + "\"; }; " + objects + " }; rootObject = P; }\n");
        Ref<ZovTranslatorData> data;
        const bool ok = ZovTranslatorPbxBackend::load(data, folder.path() + "/P.project", Value());
        std::string classes;
        for (const auto& cls : data->classes())
            classes += cls->name();
        return std::to_string(ok) + ":" + classes;
    };
    const std::string fileA = "FA = { isa = PBXFileReference; fileEncoding = 4; lastKnownFileType = sourcecode.c.objc; path = A.m; sourceTree = \"<group>\"; };";
    struct Case {
        std::string objects;
        std::string dir;
        const char* result;
    };
    const Case cases[] = {
        {"G = { isa = PBXGroup; children = ( S, ); sourceTree = \"<group>\"; }; S = { isa = PBXGroup; path = Src; children = ( FA, ); sourceTree = \"<group>\"; }; " + fileA, "", "1:A"},
        // project folder / project directory path / group paths / file path
        {"G = { isa = PBXGroup; children = ( S, ); sourceTree = \"<group>\"; }; S = { isa = PBXGroup; path = Src; children = ( FB, ); sourceTree = \"<group>\"; }; "
         "FB = { isa = PBXFileReference; fileEncoding = 4; lastKnownFileType = sourcecode.c.objc; path = B.m; sourceTree = \"<group>\"; };", "Dir", "1:B"},
        // an absolute project directory is not put under the project folder again
        {"G = { isa = PBXGroup; children = ( S, ); sourceTree = \"<group>\"; }; S = { isa = PBXGroup; path = Src; children = ( FB, ); sourceTree = \"<group>\"; }; "
         "FB = { isa = PBXFileReference; fileEncoding = 4; lastKnownFileType = sourcecode.c.objc; path = B.m; sourceTree = \"<group>\"; };", folder.path() + "/Dir", "1:B"},
        {"G = { isa = PBXGroup; children = ( S, ); sourceTree = \"<group>\"; }; S = { isa = PBXGroup; path = Src; children = ( FA, ); sourceTree = \"<group>\"; }; "
         "FA = { isa = PBXFileReference; lastKnownFileType = sourcecode.c.objc; path = A.m; sourceTree = \"<group>\"; };", "", "0:"},
        {"G = { isa = PBXGroup; children = ( S ); sourceTree = \"<group>\"; }; S = { isa = PBXGroup; children = ( ); sourceTree = \"<group>\"; };", "", "0:"},
        {"G = { isa = PBXGroup; children = ( X, ); sourceTree = \"<group>\"; };", "", "0:"},       // a child without an object
        {"G = { isa = PBXFileReference; };", "", "0:"},                                             // the main group is not a group
        {"G = { isa = PBXGroup; children = ( ); };", "", "0:"},                                    // no source tree
        {"G = { isa = PBXGroup; path = ( ); children = ( ); sourceTree = \"<group>\"; };", "", "0:"},
        {"G = { isa = PBXGroup; sourceTree = \"<group>\"; };", "", "0:"},                           // no children
        {"G = { isa = PBXGroup; children = ( FA, ); sourceTree = BUILT_PRODUCTS_DIR; }; " + fileA, "", "1:"},
        {"G = { isa = PBXGroup; children = ( ( nested, ), S, ); sourceTree = \"<group>\"; }; S = { isa = PBXGroup; path = Src; children = ( FA, G, S, ); sourceTree = \"<group>\"; }; " + fileA, "", "1:A"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(project(c.objects, c.dir), c.result) << c.objects;

    // Shared groups are read once: a lattice of groups does not multiply the work.
    std::string lattice = "G = { isa = PBXGroup; children = ( L0a, L0b, ); sourceTree = \"<group>\"; };";
    for (int level = 0; level < 40; ++level) {
        const std::string next = level == 39 ? "S" : "L" + std::to_string(level + 1);
        for (const char* side : {"a", "b"})
            lattice += " L" + std::to_string(level) + side + " = { isa = PBXGroup; children = ( " + next + "a, " + next
                + "b, ); sourceTree = \"<group>\"; };";
    }
    lattice += " Sa = { isa = PBXGroup; path = Src; children = ( FA, ); sourceTree = \"<group>\"; }; Sb = { isa = PBXGroup; children = ( ); sourceTree = \"<group>\"; }; " + fileA;
    EXPECT_EQ(project(lattice), "1:A");
}
