#pragma once
// Small helpers shared by the tests.

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

} // namespace vistel::test
