// main() of GUI tests: the test runner's thread is the main thread, with the program's
// application object, so Qt's event loop pumps the main run loop as in the program.
#include <gtest/gtest.h>

#include <cstdlib>

#include "Platform/Gui/PlatformApplication.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    // Listing the tests (ctest's discovery, which runs without the tests' environment) needs
    // no application, and no display.
    if (testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    // Run by hand without a display, the tests use the offscreen platform as under ctest.
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    vistel::PlatformApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
