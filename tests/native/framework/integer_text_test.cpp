#include "framework/IntegerText.h"

#include <gtest/gtest.h>

namespace {

TEST(IntegerText, AcceptsSignedDecimalsWithSurroundingBlanks)
{
    int32_t value = 0;
    EXPECT_TRUE(fw::ParseInt32(L"0", value));
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(fw::ParseInt32(L"  -7 ", value));
    EXPECT_EQ(value, -7);
    EXPECT_TRUE(fw::ParseInt32(L"+15", value));
    EXPECT_EQ(value, 15);
    EXPECT_TRUE(fw::ParseInt32(L"\t0042", value));
    EXPECT_EQ(value, 42);
}

TEST(IntegerText, AcceptsBothEndsOfTheRange)
{
    int32_t value = 0;
    EXPECT_TRUE(fw::ParseInt32(L"2147483647", value));
    EXPECT_EQ(value, INT32_MAX);
    EXPECT_TRUE(fw::ParseInt32(L"-2147483648", value));
    EXPECT_EQ(value, INT32_MIN);
}

TEST(IntegerText, RefusesEverythingElseAndKeepsTheValue)
{
    for (const wchar_t* text : {L"", L"   ", L"-", L"+", L"12x", L"x12", L"1 2", L"1.5", L"0x10", L"--1",
                                L"2147483648", L"-2147483649", L"99999999999999999999", L"１２"}) {
        int32_t value = 1234;
        EXPECT_FALSE(fw::ParseInt32(text, value)) << "a bad text was accepted";
        EXPECT_EQ(value, 1234);
    }
}

TEST(IntegerText, FormatsWhatItParses)
{
    for (int32_t v : {0, 1, -1, 640, -32768, INT32_MAX, INT32_MIN}) {
        int32_t back = 0;
        ASSERT_TRUE(fw::ParseInt32(fw::FormatInt32(v), back));
        EXPECT_EQ(back, v);
    }
    EXPECT_EQ(fw::FormatInt32(-2147483647 - 1), L"-2147483648");
}

} // namespace
