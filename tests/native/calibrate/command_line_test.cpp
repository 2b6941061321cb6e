#include "calibrate/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

TEST(CommandLine, WholeLinesAreSplitTheWindowsWay)
{
    struct Row {
        const wchar_t* line;
        std::vector<std::wstring> texts;
        std::vector<bool> quoted;
    };
    const Row rows[] = {
        {L"", {}, {}},
        {L" \\Device\\TouchSim1", {L"\\Device\\TouchSim1"}, {false}},
        {L"Marksman.exe  a\tb ", {L"a", L"b"}, {false, false}},
        {L"\"C:\\Program Files\\Marksman.exe\" /pt", {L"/pt"}, {false}},
        {L"M \"a b\" c", {L"a b", L"c"}, {true, false}},
        {L"M a\"b c\"d", {L"ab cd"}, {false}},
        {L"M \"\"", {L""}, {true}},
        {L"M a\\\\b", {L"a\\\\b"}, {false}},
        {L"M \"a\\\\\"", {L"a\\"}, {true}},
        {L"M \"a\\\"b\"", {L"a\"b"}, {true}},
        {L"M \"a\"\"b\"", {L"a\"b"}, {true}},
        {L"M \"-pt\" -pt", {L"-pt", L"-pt"}, {true, false}},
        {L"M \"open end", {L"open end"}, {true}},
    };
    for (const Row& row : rows) {
        const std::vector<CommandArgument> args = SplitCommandLine(row.line);
        ASSERT_EQ(args.size(), row.texts.size()) << testing::PrintToString(std::wstring(row.line));
        for (size_t i = 0; i < args.size(); ++i) {
            EXPECT_TRUE(args[i].text == row.texts[i]) << testing::PrintToString(std::wstring(row.line)) << " arg " << i;
            EXPECT_EQ(args[i].quoted, row.quoted[i]) << testing::PrintToString(std::wstring(row.line)) << " arg " << i;
        }
    }
}

TEST(CommandLine, AQuotedNameIsNeverASwitch)
{
    const CommandLineOptions dash = ParseWholeCommandLine(L" \"-pt\"");
    EXPECT_TRUE(dash.hasDeviceName);
    EXPECT_TRUE(dash.deviceName == L"-pt");
    EXPECT_FALSE(dash.customRange);

    const CommandLineOptions both = ParseWholeCommandLine(L"Marksman.exe /pt \"/Device\\A B\"");
    EXPECT_TRUE(both.customRange);
    EXPECT_TRUE(both.deviceName == L"/Device\\A B");

    const CommandLineOptions plain = ParseWholeCommandLine(L" \\Device\\TouchSim1");
    EXPECT_TRUE(plain.deviceName == L"\\Device\\TouchSim1");
    EXPECT_FALSE(ParseWholeCommandLine(L" ").hasDeviceName);
}
