// main() of the tests that need the program's main thread recorded (workers, thread messages,
// signals): the test runner's thread is the main thread, as in the program.
#include <gtest/gtest.h>

#include "Common/Tools/Threads/NSThreadExt.h"

int main(int argc, char** argv)
{
    vistel::NSThreadExt::recordMainThread();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
