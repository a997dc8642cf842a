#pragma once
// Small helpers shared by the tests.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace vistel::test {

// Stress and soak scenarios run small by default (CI) and at full size when VISTEL_FULL_SIZE=1
// (scripts/stress). Pick sizes with scaled(small, full).
inline bool fullSizeRun()
{
    const char* value = std::getenv("VISTEL_FULL_SIZE");
    return value && std::string(value) == "1";
}

template <class T>
T scaled(T small, T full)
{
    return fullSizeRun() ? full : small;
}

// CI=true: the continuous-integration run, as root on a machine prepared by scripts/deps.
inline bool ciRun()
{
    const char* value = std::getenv("CI");
    return value && std::string(value) == "true";
}

// What a test that cannot run here does: skip, or fail under CI=true, where every privilege,
// file system, locale and tool the tests ask for is present, so a skip there would hide a test
// that never ran.
inline ::testing::TestPartResult::Type unavailableOutcome()
{
    return ciRun() ? ::testing::TestPartResult::kFatalFailure : ::testing::TestPartResult::kSkip;
}

} // namespace vistel::test

// For a test that needs a privilege, a second file system, a locale or an installed tool:
//     if (!volume.mounted())
//         VISTEL_SKIP_UNAVAILABLE() << "cannot mount a tmpfs here";
// Skips like GTEST_SKIP(), except under CI=true, where it fails. Leaves the test at once.
#define VISTEL_SKIP_UNAVAILABLE()                                                                     \
    return GTEST_MESSAGE_AT_(__FILE__, __LINE__, ::vistel::test::ciRun() ? "Needed under CI=true" : "", \
                             ::vistel::test::unavailableOutcome())
