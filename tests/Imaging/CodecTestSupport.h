#pragma once
// Shared by the codec host tests: a check that no host object outlives a test, and temporary
// plug-in folders.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "TestSupport.h"

#include "Imaging/CodecAllocator.h"
#include "Imaging/CodecHostObjects.h"

namespace vistel::test {

// Makes the system allocator the default again, which also forgets the shared allocator
// object.
inline void restoreSystemDefaultAllocator()
{
    if (IAllocator* system = createAllocatorObject(CodecAllocator::system())) {
        system->vtbl->SetAsDefault(system);
        CodecRelease(system);
    }
}

// After each test: drops the shared allocator object and expects no host object to be left.
class HostObjectLeakCheck : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo&) override
    {
        restoreSystemDefaultAllocator();
        EXPECT_EQ(codecHostLiveObjectCount(), 0) << "host objects left alive";
    }
};

inline const bool leakCheckInstalled = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new HostObjectLeakCheck);
    return true;
}();

} // namespace vistel::test
