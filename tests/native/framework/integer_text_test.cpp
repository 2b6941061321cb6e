#include "framework/IntegerText.h"

#include <gtest/gtest.h>

namespace {

TEST(IntegerText, AcceptsSignedDecimalsWithSurroundingBlanksAndBothEndsOfTheRange)
{
    struct Row {
        const wchar_t* text;
        int32_t value;
    };
    for (const Row& row : {Row{L"0", 0}, Row{L"  -7 ", -7}, Row{L"+15", 15}, Row{L"\t0042", 42},
                           Row{L"2147483647", INT32_MAX}, Row{L"-2147483648", INT32_MIN}}) {
        int32_t value = 1234;
        EXPECT_TRUE(fw::ParseInt32(row.text, value)) << row.value;
        EXPECT_EQ(value, row.value);
    }
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

// Data exchange writes an integer as std::to_wstring does.
TEST(IntegerText, ParsesTheDecimalTextOfEveryValue)
{
    for (int32_t v : {0, 1, -1, 640, -32768, INT32_MAX, INT32_MIN}) {
        int32_t back = 0;
        ASSERT_TRUE(fw::ParseInt32(std::to_wstring(v), back));
        EXPECT_EQ(back, v);
    }
}

} // namespace
