// Randomised command lines for ParseCommandLine: odd switches ("/PT", "//pt", "-pt2", a lone "/"),
// empty, long and NUL-bearing arguments, surrogates. The rules are stated here again: a switch
// is an argument starting with '/' or '-'; only "/pt" and "-pt" exactly set the custom range; the
// device name is the first non-empty argument that is no switch, else there is none.
#include "calibrate/CommandLine.h"
#include "settings/ToolPath.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

using namespace calibrate;

namespace {

constexpr int kCommandLines = 20000;

struct Fuzzer {
    std::mt19937 random{20261208u};  // fixed: a failure repeats

    uint32_t Below(uint32_t n) { return random() % n; }

    std::wstring Argument()
    {
        static const wchar_t* const kPieces[] = {L"", L"/", L"-", L"pt", L"PT", L"Pt", L"p", L"t", L"/pt", L"-pt",
                                                 L"\\Device\\USBPDO-5", L" ", L"\"", L"\u8bbe\u5907", L"\xD83D",
                                                 L"\xDE00", L"x"};
        std::wstring arg;
        const uint32_t pieces = Below(4);
        for (uint32_t i = 0; i < pieces; ++i) {
            switch (Below(8)) {
            case 0: arg.push_back(static_cast<wchar_t>(Below(0x10000))); break;  // NUL included
            case 1: arg.append(Below(3) == 0 ? 5000 : Below(300), static_cast<wchar_t>(L'a' + Below(26))); break;
            default: arg += kPieces[Below(sizeof(kPieces) / sizeof(kPieces[0]))]; break;
            }
        }
        return arg;
    }
};

bool IsSwitch(const std::wstring& arg) { return !arg.empty() && (arg[0] == L'/' || arg[0] == L'-'); }

} // namespace

TEST(CommandLineFuzz, OnlyExactPtSwitchesCountAndTheFirstPlainArgumentNamesTheDevice)
{
    Fuzzer fuzz;
    int named = 0;
    int custom = 0;
    for (int n = 0; n < kCommandLines; ++n) {
        std::vector<std::wstring> args(fuzz.Below(9));
        for (std::wstring& arg : args)
            arg = fuzz.Argument();

        const CommandLineOptions o = ParseCommandLine(args);

        bool wantCustom = false;
        const std::wstring* wantName = nullptr;
        for (const std::wstring& arg : args) {
            wantCustom = wantCustom || arg == std::wstring(L"/pt") || arg == std::wstring(L"-pt");
            if (wantName == nullptr && !arg.empty() && !IsSwitch(arg))
                wantName = &arg;
        }
        ASSERT_EQ(o.customRange, wantCustom) << "command line " << n;
        ASSERT_EQ(o.hasDeviceName, wantName != nullptr) << "command line " << n;
        ASSERT_TRUE(o.deviceName == (wantName != nullptr ? *wantName : std::wstring())) << "command line " << n;
        named += o.hasDeviceName;
        custom += o.customRange;
    }
    std::printf("command lines: %d named a device, %d asked for a custom range\n", named, custom);
    EXPECT_GT(named, kCommandLines / 10);
    EXPECT_GT(custom, kCommandLines / 20);
    EXPECT_LT(custom, kCommandLines - kCommandLines / 20);
}

// The settings program's command line for any name is read back by the calibration program as
// that very name, and never as a switch.
TEST(CommandLineFuzz, AnyDeviceNameSurvivesTheSettingsProgramsCommandLine)
{
    Fuzzer fuzz;
    static const wchar_t kPieces[] = L" \t\"\\-/aZ\u8bbe";
    int quoted = 0;
    for (int n = 0; n < kCommandLines; ++n) {
        std::wstring name = n % 4 == 0 ? fuzz.Argument() : std::wstring();
        for (uint32_t i = fuzz.Below(12); i > 0; --i)
            name.push_back(kPieces[fuzz.Below(sizeof(kPieces) / sizeof(kPieces[0]) - 1)]);
        name.erase(std::remove(name.begin(), name.end(), L'\0'), name.end());
        const std::wstring line = settings::CalibrationCommandLine(name);
        quoted += line.size() > 1 && line[1] == L'"';
        const CommandLineOptions o = ParseWholeCommandLine(line);
        ASSERT_EQ(o.hasDeviceName, !name.empty()) << "name " << n;
        ASSERT_TRUE(o.deviceName == name) << "name " << n;
        ASSERT_FALSE(o.customRange) << "name " << n;
    }
    EXPECT_GT(quoted, kCommandLines / 4);
}
