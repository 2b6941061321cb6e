#include "settings/ToolPath.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Paths of MAX_PATH (260) characters with their terminator: 259 characters fit, 260 do not.
TEST(ToolPath, JoinsWithinMaxPath)
{
    struct Row {
        std::wstring directory;
        std::wstring name;
        bool fits;
        std::wstring expected;
    };
    const std::wstring deep245 = L"C:\\" + std::wstring(242, L'd');  // 245 characters
    const Row rows[] = {
        {L"C:\\Program Files\\Qelvo", L"Marksman*.exe", true, L"C:\\Program Files\\Qelvo\\Marksman*.exe"},
        {L"C:\\", L"Scribe.exe", true, L"C:\\Scribe.exe"},
        // 245 + "\Marksman*.exe" (14) = 259: just fits; one more does not.
        {deep245, L"Marksman*.exe", true, deep245 + L"\\Marksman*.exe"},
        {deep245 + L"d", L"Marksman*.exe", false, L""},
        // 248 + "\Scribe.exe" (11) = 259 fits, 249 does not.
        {deep245 + L"ddd", L"Scribe.exe", true, deep245 + L"ddd\\Scribe.exe"},
        {deep245 + L"dddd", L"Scribe.exe", false, L""},
        // A found name longer than the pattern may not fit where the pattern did.
        {deep245, L"Marksman-2004.exe", false, L""},
    };
    for (const Row& row : rows) {
        std::wstring path = L"unchanged";
        EXPECT_EQ(settings::JoinToolPath(row.directory, row.name, path), row.fits)
            << row.directory.size() << " + " << row.name.size();
        if (row.fits)
            EXPECT_TRUE(path == row.expected);
        else
            EXPECT_TRUE(path == L"unchanged");
    }
}

TEST(ToolPath, CalibrationCommandLineIsASpaceAndTheDeviceName)
{
    // Plain names go as they are; names with a space, tab or quote, or that would read as a
    // switch, go between quotes with the Windows escapes (\" for a quote, backslashes before a
    // quote or the closing quote doubled).
    struct Row {
        const wchar_t* name;
        const wchar_t* line;
    };
    const Row rows[] = {
        {L"\\Device\\TouchSim1", L" \\Device\\TouchSim1"},
        {L"\\Device\\USBPDO-5", L" \\Device\\USBPDO-5"},
        {L"", L" "},
        {L"\\Device\\Touch Sim", L" \"\\Device\\Touch Sim\""},
        {L"a\tb", L" \"a\tb\""},
        {L"\\Device\\Sim\"1", L" \"\\Device\\Sim\\\"1\""},
        {L"\\Device\\Sim\\\"1", L" \"\\Device\\Sim\\\\\\\"1\""},
        {L"a b\\", L" \"a b\\\\\""},
        {L"-pt", L" \"-pt\""},
        {L"/Device", L" \"/Device\""},
        {L"x-/y", L" x-/y"},
    };
    for (const Row& row : rows)
        EXPECT_TRUE(settings::CalibrationCommandLine(row.name) == row.line) << testing::PrintToString(std::wstring(row.name));
}

} // namespace
