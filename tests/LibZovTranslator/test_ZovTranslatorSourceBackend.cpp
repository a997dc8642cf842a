// The source file backend: implementations, selectors, marker calls and load errors.

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

#include "Preprocessor.h"
#include "Platform/AtomicFileWriter.h"
#include "TranslatorFiles.h"
#include "Utf16.h"
#include "backends/ZovTranslatorSourceBackend.h"

using namespace vistel;

namespace {

std::string dump(const ZovTranslatorData& data)
{
    std::string out;
    for (const auto& cls : data.classes())
        for (const auto& category : cls->categories()) {
            out += cls->name() + "(" + category->name() + ")";
            for (const auto& method : category->methods()) {
                out += " " + method->name() + "{";
                for (const auto& s : method->sources())
                    out += "[" + s->string() + (s->comment().empty() ? "" : "|" + s->comment()) + "]";
                out += "}";
            }
            out += ";";
        }
    return out;
}

struct Parsed {
    bool ok;
    std::string tree;
};

Parsed parse(std::string_view source)
{
    auto data = ZovTranslatorData::translatorData();
    const auto text = Preprocessor::preprocessor().createPreprocessedString(*utf16::fromUtf8(source));
    const bool ok = ZovTranslatorSourceBackend::parsePreprocessedSourceString(*data, text);
    return {ok, dump(*data)};
}

} // namespace

TEST(ZovTranslatorSourceBackend, Parser)
{
    struct Case {
        const char* source;
        bool ok;
        const char* tree;
    };
    const Case cases[] = {
        {"#import \"x.h\"\n@implementation Panel : NSObject\n- (void)awakeFromNib { t = ZovTranslate(@\"Places\"); }\n@end\n",
         true, "Panel() awakeFromNib{[Places]};"},
        {"@implementation A\n- (void)setValue:(id)value forKey:(NSString *)key { ZovTranslate(@\"x\"); }\n@end",
         true, "A() setValue:forKey:{[x]};"},
        {"@implementation A\n+ (id)a:(int)x :(int)y { }\n@end", true, "A() a::{};"},
        {"@implementation A\n- (void)head; { ZovTranslate(@\"s\"); }\n- (void)p:(int)v; { }\n@end", true,
         "A() head{[s]} p:{};"},
        {"@implementation A\n- (void)log:(NSString*)format, ... { }\n@end", true, "A() log:{};"},
        {"@implementation A <P, Q<R>>\n- (void)m { }\n@end", true, "A() m{};"},
        {"@implementation A (Extras)\n- (void)m { ZovTranslate(@\"c\"); }\n@end", true, "A(Extras) m{[c]};"},
        {"@implementation A\nstatic int f(void) { return 1; }\nint table[] = { 1, 2 };\n- (void)m { }\n@end", true,
         "A() m{};"},
        // marker arguments
        {"@implementation A\n- (void)m { ZovTranslate(@\"\"); ZovTranslate(name); ZovTranslate ( @\"spaced\" ); }\n@end",
         true, "A() m{[spaced]};"},
        {"@implementation A\n- (void)m { ZovTranslate(@\"Say \\\"hi\\\"\"); }\n@end", true, "A() m{[Say \\\"hi\\\"]};"},
        {"@implementation A\n- (void)m { MyZovTranslate(@\"prefixed\"); ZovTranslateLater(@\"not a marker\"); }\n@end",
         true, "A() m{[prefixed]};"},
        {"@implementation A\n- (void)m { s = @\"ZovTranslate(\"; }\n@end", true, "A() m{};"},
        {"@implementation A\n- (void)m { ZovTranslateWithComment(@\"Text\", @\"Hint\"); ZovTranslate(@\"First\"); }\n@end",
         true, "A() m{[First][Text|Hint]};"},
        {"@implementation A\n- (void)m { ZovTranslateWithComment(@\"Text\"); ZovTranslateWithComment(@\"Later\", @\"c\"); }\n@end",
         true, "A() m{};"},
        {"@implementation A\n- (void)m { ZovTranslate(@\"a\" @\"b\"); }\n@end", false, "A() m{};"},
        {"@implementation A\n- (void)m { ZovTranslate; }\n@end", false, "A() m{};"},
        {"@implementation A\n- (void)m { ZovTranslate(  ); }\n@end", false, "A() m{};"},
        {"@implementation A\n- (void)m { ZovTranslate(@\"open); }\n@end", false, "A();"}, // the body never closes
        // malformed heads and members
        {"@implementation A\n- m { }\n@end", false, "A();"},
        {"@implementation A\n- (void) :(int)x { }\n@end", false, "A();"},
        {"@implementation A\n- (void)a:(int)x b { }\n@end", false, "A();"},
        {"@implementation A\n- (void)a b { }\n@end", false, "A();"},
        {"@implementation A\n- (void)a:x { }\n@end", false, "A();"},
        {"@implementation A\n- (void)a:(int)x", false, "A();"},
        {"@implementation A\n- (void)m { \n@end", false, "A();"},
        {"@implementation A\n- (void)log:(id)f, ... \n@end", false, "A();"},
        {"@implementation A\n@synthesize value;\n- (void)m { }\n@end", false, "A();"},
        {"@implementation A\n@en", false, "A();"},
        {"@implementation A\n- (void)m { ZovTranslate(@\"x\"); }\n", false, "A() m{[x]};"},
        // after an error the later implementations are entered but not read
        {"@implementation A\n@property\n@end\n@implementation B\n- (void)m { }\n@end", false, "A();B();"},
        {"@implementation A\n- (void)m { }\n@end\n@implementation B\n- (void)n { }\n@end", true, "A() m{};B() n{};"},
        {"@implementation", false, ""},
        {"@implementation A <P\n", true, ""},
        {"@implementation A (Cat\n", true, ""},
        {"no implementation at all", true, ""},
        {"\"@implementation X\" @implementation Y\n@end", true, "Y();"},
    };
    for (const Case& c : cases) {
        const Parsed parsed = parse(c.source);
        EXPECT_EQ(parsed.ok, c.ok) << c.source;
        EXPECT_EQ(parsed.tree, c.tree) << c.source;
    }
}

TEST(ZovTranslatorSourceBackend, LoadAndErrors)
{
    char pattern[] = "/tmp/vistel-source-XXXXXX";
    const std::string folder = ::mkdtemp(pattern);
    const auto write = [&](const std::string& name, std::string_view bytes) {
        EXPECT_TRUE(writeFileAtomically(folder + "/" + name, bytes));
        return folder + "/" + name;
    };
    Ref<ZovTranslatorData> data;
    const std::string good = write("Good.m", "@implementation G\n- (void)m { ZovTranslate(@\"Hello\"); }\n@end\n");
    EXPECT_TRUE(ZovTranslatorSourceBackend::load(data, good, Value()));
    EXPECT_EQ(dump(*data), "G() m{[Hello]};");

    struct Case {
        std::string path;
        const char* message;
    };
    const Case cases[] = {
        {folder + "/Missing.m", "Cannot open source file"},
        {write("Empty.m", ""), "File is too big"},
        {write("Latin1.m", "@implementation A\n- (void)m { ZovTranslate(@\"caf\xE9\"); }\n@end\n"),
         "Cannot load source file with encoding: 4"},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(ZovTranslatorSourceBackend::load(data, c.path, Value()));
        ASSERT_TRUE(data);
        EXPECT_TRUE(data->classes().empty());
        const auto error = ZovTranslatorSourceBackend::lastError();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->domain, "ZovTranslatorSourceBackend");
        EXPECT_EQ(error->code, 1);
        EXPECT_EQ(error->localizedDescription, c.message);
    }
    // A parse error answers NO and keeps the last error as it was.
    const std::string broken = write("Broken.m", "@implementation B\n- (void)m { }\n");
    EXPECT_FALSE(ZovTranslatorSourceBackend::load(data, broken, Value()));
    EXPECT_EQ(dump(*data), "B() m{};");
    EXPECT_EQ(ZovTranslatorSourceBackend::lastError()->localizedDescription, "Cannot load source file with encoding: 4");
    std::system(("rm -rf '" + folder + "'").c_str());
}
