// The localizer tool on a fixture project: nested groups, SOURCE_ROOT, an absolute group, a
// group in another source tree, header / C / Objective-C / Objective-C++ references, each
// comment level, and a project whose source reference lacks its encoding.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "Platform/AtomicFileWriter.h"
#include "TestSupport.h"
#include "TranslatorFiles.h"

using namespace vistel;
using vistel::test::shellQuoted;

namespace {

const std::string kData = VISTEL_TEST_DATA_DIR;

std::string readAll(const std::string& path)
{
    return translator_files::readFile(path, 0, 1 << 20).value_or("<missing " + path + ">");
}

class LocalizerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vistel-localizer-XXXXXX";
        folder_ = ::mkdtemp(pattern);
        ASSERT_EQ(run("cp -r " + shellQuoted(kData + "/Fixture") + " " + shellQuoted(folder_)), 0);
        // The absolute group of the fixture points into the copy.
        const std::string project = folder_ + "/Fixture/Fixture.project/project.pbxproj";
        std::string text = readAll(project);
        const std::size_t at = text.find("@ABSOLUTE@");
        ASSERT_NE(at, std::string::npos);
        text.replace(at, 10, folder_ + "/Fixture");
        ASSERT_TRUE(writeFileAtomically(project, text));
    }
    void TearDown() override { run("rm -rf " + shellQuoted(folder_)); }

    static int run(const std::string& command)
    {
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Runs the tool with a fixed date and time zone; answers its exit status.
    int localizer(const std::string& arguments)
    {
        return run("SOURCE_DATE_EPOCH=1790000000 TZ=UTC " + shellQuoted(VISTEL_LOCALIZER_PATH) + " " + arguments
                   + " 2>" + shellQuoted(folder_ + "/stderr.txt"));
    }

    std::string projectPath() const { return shellQuoted(folder_ + "/Fixture/Fixture.project"); }

    std::string folder_;
};

} // namespace

TEST_F(LocalizerTest, WritesTheProjectAtEachCommentLevel)
{
    struct Case {
        const char* arguments;
        const char* expected;
    };
    const Case cases[] = {
        {"-c none", "none.strings"},
        {"", "minimum.strings"},
        {"-b pbx --comments minimum", "minimum.strings"},
        {"-c all", "all.strings"},
        {"-c all --categories", "all-categories.strings"},
    };
    for (const Case& c : cases) {
        const std::string output = folder_ + "/out.strings";
        ::unlink(output.c_str());
        ASSERT_EQ(localizer(std::string(c.arguments) + " -o " + shellQuoted(output) + " " + projectPath()), 0)
            << c.arguments << ": " << readAll(folder_ + "/stderr.txt");
        EXPECT_EQ(readAll(output), readAll(kData + "/expected/" + c.expected)) << c.arguments;
    }
}

TEST_F(LocalizerTest, KeepsTheTranslationsOfTheTableItReplaces)
{
    const std::string output = folder_ + "/Localizable.strings";
    ASSERT_TRUE(writeFileAtomically(output, readAll(kData + "/existing.strings")));
    ASSERT_EQ(localizer("-o " + shellQuoted(output) + " " + projectPath()), 0) << readAll(folder_ + "/stderr.txt");
    EXPECT_EQ(readAll(output), readAll(kData + "/expected/merged.strings"));
    // Reading the written table with the string-table backend and writing it again is stable.
    ASSERT_EQ(localizer("-b cocoa -c minimum -o " + shellQuoted(output) + " " + shellQuoted(output)), 0);
    ASSERT_EQ(localizer("-o " + shellQuoted(output) + " " + projectPath()), 0);
    EXPECT_EQ(readAll(output), readAll(kData + "/expected/merged.strings"));
}

TEST_F(LocalizerTest, FailuresWriteNothing)
{
    const std::string output = folder_ + "/out.strings";
    struct Case {
        std::string arguments;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {"-o " + shellQuoted(output) + " " + shellQuoted(kData + "/Broken/Broken.project"), 1, "cannot load"},
        {"-b source -o " + shellQuoted(output) + " " + shellQuoted(folder_ + "/Missing.m"), 1, "Cannot open source file"},
        {"-b self -o " + shellQuoted(output) + " " + projectPath(), 1, "cannot load"},
        {"-b xml -o " + shellQuoted(output) + " " + projectPath(), 2, "unknown backend"},
        {"-c verbose -o " + shellQuoted(output) + " " + projectPath(), 2, "unknown comment level"},
        {projectPath(), 2, "an output file"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(localizer(c.arguments), c.status) << c.arguments;
        EXPECT_NE(readAll(folder_ + "/stderr.txt").find(c.message), std::string::npos) << c.arguments;
        EXPECT_FALSE(translator_files::fileSize(output)) << c.arguments;
    }
}

TEST_F(LocalizerTest, RefusesAnEpochBeyondTheClocksRange)
{
    const std::string output = folder_ + "/out.strings";
    for (const char* epoch : {"99999999999999", "-99999999999999", "99999999999999999999"}) {
        EXPECT_EQ(run(std::string("SOURCE_DATE_EPOCH=") + epoch + " " + shellQuoted(VISTEL_LOCALIZER_PATH) + " -o "
                      + shellQuoted(output) + " " + projectPath() + " 2>" + shellQuoted(folder_ + "/stderr.txt")),
                  2)
            << epoch;
        EXPECT_NE(readAll(folder_ + "/stderr.txt").find("SOURCE_DATE_EPOCH"), std::string::npos) << epoch;
        EXPECT_FALSE(translator_files::fileSize(output)) << epoch;
    }
}

TEST_F(LocalizerTest, ReadsSingleSourceFilesAndMergesInputsInOrder)
{
    const std::string output = folder_ + "/out.strings";
    ASSERT_EQ(localizer("-b source -c none -o " + shellQuoted(output) + " " + shellQuoted(folder_ + "/Fixture/Shared/Common.m")
                        + " " + shellQuoted(folder_ + "/Fixture/Absolute/Abs.m")),
              0);
    EXPECT_EQ(readAll(output),
              "\"[class]Common__[category]__[method]unitName:__[context]__[source]bytes\" = \"bytes\";\n"
              "\"[class]Common__[category]__[method]unitName:__[context]__[source]KB\" = \"KB\";\n"
              "\"[class]AbsoluteThing__[category]__[method]m__[context]__[source]From an absolute group\" = \"From an absolute group\";\n");
}
