#pragma once
// Helpers of the conversion panels' tests.

#include <gtest/gtest.h>

#include <QComboBox>

namespace vistel::test {

// Chooses the item of `popup` whose data is `tag`, which must be there.
inline void choose(QComboBox* popup, int tag)
{
    const int index = popup->findData(tag);
    ASSERT_GE(index, 0) << tag;
    popup->setCurrentIndex(index);
}

} // namespace vistel::test
