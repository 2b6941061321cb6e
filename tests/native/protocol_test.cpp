#include "device/TouchProtocol.h"

#include <gtest/gtest.h>

TEST(TouchProtocol, ListByteCountsFollowTheEntryCount)
{
    EXPECT_EQ(touch::DeviceListBytes(0), 8u);
    EXPECT_EQ(touch::DeviceListBytes(2), 816u);
}
