#pragma once
// Shared by the codec host tests: a check that no host object outlives a test, and temporary
// plug-in folders.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

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

class TemporaryFolder {
public:
    TemporaryFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vistel-codec-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~TemporaryFolder()
    {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

} // namespace vistel::test
