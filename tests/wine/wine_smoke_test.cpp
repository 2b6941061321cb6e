#include "device/TouchProtocol.h"

#include <windows.h>
#include <gtest/gtest.h>

TEST(WineSmoke, RunsUnderWine)
{
    EXPECT_NE(GetModuleHandleW(L"ntdll.dll"), nullptr);
}
