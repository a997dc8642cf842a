// The built libraries: the program keeps the wrappers on its list of needed libraries, the
// wrappers need the component library by its versioned name, and loading either library runs no
// constructor of ours.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "NetComponentsRecorder.h"

namespace {

using vistel::test::runCommand;

std::string dynamicSection(const char* path)
{
    const auto run = runCommand(std::string("readelf -dW '") + path + "'");
    EXPECT_EQ(run.status, 0) << path;
    return run.output;
}

// The size in bytes of a section, 0 when the file has none.
long sectionSize(const char* path, const std::string& section)
{
    const auto run = runCommand(std::string("readelf -SW '") + path + "'");
    EXPECT_EQ(run.status, 0) << path;
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);) {
        const auto bracket = line.find(']');
        if (line.find('[') == std::string::npos || bracket == std::string::npos)
            continue;
        std::istringstream fields(line.substr(bracket + 1));
        std::string name, type, address, offset, size;
        if (fields >> name >> type >> address >> offset >> size && name == section)
            return std::stol(size, nullptr, 16);
    }
    return 0;
}

TEST(NetWrapperLibraries, ProgramLinkedWithTheHookNeedsTheWrappers)
{
    EXPECT_NE(dynamicSection(LINK_PROBE_PATH).find("(NEEDED)             Shared library: [libvistel_netwrappers.so]"),
              std::string::npos);
}

TEST(NetWrapperLibraries, WrappersNeedTheComponentLibraryByItsVersionedName)
{
    EXPECT_NE(dynamicSection(NETWRAPPERS_PATH).find("Shared library: [libNetComponents.so.1]"), std::string::npos);
    EXPECT_NE(dynamicSection(NET_COMPONENTS_PATH).find("Library soname: [libNetComponents.so.1]"), std::string::npos);
}

TEST(NetWrapperLibraries, LoadingRunsNoConstructorOfOurs)
{
    if (VISTEL_INSTRUMENTED)
        GTEST_SKIP() << "instrumented builds register their own module constructors";
    const long startUpFilesOnly = sectionSize(EMPTY_LIBRARY_PATH, ".init_array");
    for (const char* path : {NETWRAPPERS_PATH, NET_COMPONENTS_PATH}) {
        EXPECT_EQ(sectionSize(path, ".init_array"), startUpFilesOnly) << path;
        EXPECT_EQ(sectionSize(path, ".ctors"), 0) << path;
    }
}

// Loading costs nothing: libcurl and OpenSSL start with the first web component, once, socket
// components start nothing until they connect, and no socket is opened before a request.
TEST(NetWrapperLibraries, TransferLibrariesStartWithTheFirstWebComponentOnly)
{
    const auto run = runCommand(std::string("'") + INIT_PROBE_PATH + "'");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "loaded curl=0 ssl=0 socket=0\n"
                          "certmgr curl=0 ssl=0 socket=0\n"
                          "sockets curl=0 ssl=0 socket=0\n"
                          "first curl=1 ssl=1 socket=0\n"
                          "second curl=1 ssl=1 socket=0\n");
}

} // namespace
