#include "device/PropertyText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Unit = char16_t;
constexpr size_t kFilled = 200;           // units the system may fill (400 bytes)
constexpr size_t kBuffer = kFilled + 1;   // one more for the terminator

std::u16string TextOf(const Unit* text)
{
    return std::u16string(text);
}

TEST(PropertyText, ValueFillingTheBufferWithoutTerminatorEndsInsideIt)
{
    // Heap-allocated to the exact size, so that AddressSanitizer sees any access past it.
    Unit* buffer = new Unit[kBuffer];
    for (size_t i = 0; i < kBuffer; ++i)
        buffer[i] = u'M';
    ASSERT_TRUE(touch::TerminatePropertyText(buffer, kBuffer, 400));
    EXPECT_EQ(buffer[200], 0);
    EXPECT_EQ(TextOf(buffer), std::u16string(200, u'M'));

    Unit field[200];
    touch::CopyTerminatedText(field, buffer);
    EXPECT_EQ(TextOf(field), std::u16string(199, u'M'));
    delete[] buffer;
}

TEST(PropertyText, ShorterValueDoesNotPickUpWhatAnEarlierOneLeft)
{
    Unit buffer[kBuffer] = {};
    for (size_t i = 0; i < 150; ++i)
        buffer[i] = u'A';
    // The system writes "Short" without a terminator over the earlier value and reports 10 bytes.
    const std::u16string next = u"Short";
    next.copy(buffer, next.size());
    ASSERT_TRUE(touch::TerminatePropertyText(buffer, kBuffer, 10));
    EXPECT_EQ(TextOf(buffer), u"Short");
}

TEST(PropertyText, OddByteCountDropsTheHalfUnit)
{
    Unit buffer[kBuffer] = {u'a', u'b', u'c', u'd'};
    ASSERT_TRUE(touch::TerminatePropertyText(buffer, kBuffer, 5));
    EXPECT_EQ(TextOf(buffer), u"ab");
}

TEST(PropertyText, SizesOutsideTheBufferAreRefused)
{
    struct Row {
        size_t bufferUnits;
        uint32_t bytes;
    };
    for (const Row& row : {Row{kBuffer, 0}, Row{kBuffer, 1}, Row{kBuffer, 402}, Row{kBuffer, 0xFFFFFFFFu}, Row{0, 2}}) {
        Unit buffer[kBuffer] = {u'x', u'y'};
        EXPECT_FALSE(touch::TerminatePropertyText(buffer, row.bufferUnits, row.bytes))
            << row.bytes << " bytes in " << row.bufferUnits << " units";
        EXPECT_EQ(buffer[0], u'x');
        EXPECT_EQ(buffer[1], u'y');
    }
    Unit buffer[kBuffer] = {u'x', u'y'};
    EXPECT_TRUE(touch::TerminatePropertyText(buffer, kBuffer, 2));
    EXPECT_EQ(TextOf(buffer), u"x");
}

TEST(PropertyText, CopyZeroesTheRestOfTheField)
{
    Unit field[8];
    for (Unit& u : field)
        u = u'#';
    const Unit text[] = u"abc";
    touch::CopyTerminatedText(field, text);
    EXPECT_EQ(TextOf(field), u"abc");
    for (size_t i = 3; i < 8; ++i)
        EXPECT_EQ(field[i], 0) << i;

    const Unit exact[] = u"12345678";
    touch::CopyTerminatedText(field, exact);
    EXPECT_EQ(TextOf(field), u"1234567");
}

} // namespace
