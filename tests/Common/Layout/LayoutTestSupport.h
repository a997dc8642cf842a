#pragma once
// Helpers shared by the layout engine's tests.

#include <gtest/gtest.h>

#include <string>

#include "Common/Layout/ZovLayoutItem.h"
#include "AssertionText.h"
#include "Platform/Exception.h"

namespace vistel::test {

inline void expectPolicy(const ZovSizePolicy& actual, const ZovSizePolicy& expected, const std::string& what = {})
{
    EXPECT_FLOAT_EQ(actual.minSize, expected.minSize) << what;
    EXPECT_FLOAT_EQ(actual.maxSize, expected.maxSize) << what;
    EXPECT_FLOAT_EQ(actual.preferredSize, expected.preferredSize) << what;
    EXPECT_EQ(actual.policy, expected.policy) << what;
}

inline void expectRect(const LayoutRect& actual, const LayoutRect& expected, const std::string& what = {})
{
    EXPECT_NEAR(actual.x, expected.x, 1e-3) << what;
    EXPECT_NEAR(actual.y, expected.y, 1e-3) << what;
    EXPECT_NEAR(actual.width, expected.width, 1e-3) << what;
    EXPECT_NEAR(actual.height, expected.height, 1e-3) << what;
}

// Records what a delegate is told.
struct RecordingDelegate : ZovLayoutItemDelegate {
    ZovSizePolicy hAnswer = MakeNullSizePolicy();
    ZovSizePolicy vAnswer = MakeNullSizePolicy();
    std::string events;
    int deallocs = 0;

    ZovSizePolicy hSizePolicyRequested(ZovLayoutItem&) override { return hAnswer; }
    ZovSizePolicy vSizePolicyRequested(ZovLayoutItem&) override { return vAnswer; }
    void frameChanged(ZovLayoutItem&) override { events += "frame;"; }
    void visibilityChanged(ZovLayoutItem&) override { events += "visibility;"; }
    void reparented(ZovLayoutItem&) override { events += "reparented;"; }
    void rootLayoutReparented(ZovLayoutItem&) override { events += "root;"; }
    void dealloc(ZovLayoutItem&) override { ++deallocs; }
};

} // namespace vistel::test
