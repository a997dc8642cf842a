#pragma once
// A test binary whose mounts stay its own: add this environment, and the mounts its tests make
// live in the process's own mount namespace where the system allows one (as root without that,
// they are made, and removed, in the machine's).

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>

namespace vistel::test {

class PrivateMountNamespace : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (::unshare(CLONE_NEWNS) == 0)
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
    }
};

} // namespace vistel::test
