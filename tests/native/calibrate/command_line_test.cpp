#include "calibrate/CommandLine.h"

#include <gtest/gtest.h>

using namespace calibrate;

TEST(CommandLine, NoArgumentsAskForNothing)
{
    const CommandLineOptions o = ParseCommandLine({});
    EXPECT_FALSE(o.hasDeviceName);
    EXPECT_TRUE(o.deviceName.empty());
    EXPECT_FALSE(o.customRange);
}

TEST(CommandLine, FirstPlainArgumentNamesTheDevice)
{
    const CommandLineOptions o = ParseCommandLine({L"\\Device\\USBPDO-5"});
    EXPECT_TRUE(o.hasDeviceName);
    EXPECT_EQ(o.deviceName, L"\\Device\\USBPDO-5");

    const CommandLineOptions more = ParseCommandLine({L"-x", L"first", L"/pt", L"second"});
    EXPECT_EQ(more.deviceName, L"first");
    EXPECT_TRUE(more.customRange);

    // An empty argument names nothing; the next plain one does.
    const CommandLineOptions empty = ParseCommandLine({L"", L"name"});
    EXPECT_TRUE(empty.hasDeviceName);
    EXPECT_EQ(empty.deviceName, L"name");
}

TEST(CommandLine, OnlyPtInExactCaseSetsTheCustomRange)
{
    EXPECT_TRUE(ParseCommandLine({L"/pt"}).customRange);
    EXPECT_TRUE(ParseCommandLine({L"-pt"}).customRange);
    for (const wchar_t* other : {L"/PT", L"-Pt", L"/pT", L"/pt2", L"-p", L"/", L"-", L"//pt", L"/ pt"})
        EXPECT_FALSE(ParseCommandLine({other}).customRange) << other;
    // Switches never become the device name.
    EXPECT_FALSE(ParseCommandLine({L"/PT", L"-name"}).hasDeviceName);
}

TEST(CommandLine, PlainPtIsANameNotTheSwitch)
{
    const CommandLineOptions o = ParseCommandLine({L"pt"});
    EXPECT_FALSE(o.customRange);
    EXPECT_EQ(o.deviceName, L"pt");
}
