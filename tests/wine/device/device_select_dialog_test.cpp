// DeviceSelectDialog over entries made here, run on a thread of its own and driven with real input.
#include "device/DeviceSelectDialog.h"
#include "device/DeviceSelectResource.h"
#include "framework/App.h"
#include "tests/support/WineTestSupport.h"
#include "tests/wine/device/ListDriving.h"
#include "tests/wine/device/SimulatedControllers.h"

#include <gtest/gtest.h>

#include <set>
#include <string.h>

using namespace qelvo::test;
using namespace touch;

namespace {

void Fill(TouchDeviceEntry& entry, uint32_t id, const wchar_t* instanceId, const wchar_t* manufacturer,
          const wchar_t* description)
{
    memset(&entry, 0, sizeof(entry));
    entry.deviceId = id;
    lstrcpynW(entry.instanceId, instanceId, touch::kObjectNameUnits);
    lstrcpynW(entry.manufacturer, manufacturer, touch::kObjectNameUnits);
    lstrcpynW(entry.description, description, touch::kObjectNameUnits);
}

class DeviceSelectDialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(fw::InitCommonControlClasses()); }

    void SetUp() override
    {
        // Array order differs from the sorted order: rows SIM1, SIM2, SIM3 are entries 1, 2, 0.
        Fill(entries[0], 30, L"USB\\VID_0EEF&PID_0001\\SIM3", L"第三制造商", L"第三触摸屏");
        Fill(entries[1], 10, L"USB\\VID_0EEF&PID_0001\\SIM1", L"Maker A", L"Panel A");
        Fill(entries[2], 20, L"USB\\VID_0EEF&PID_0001\\SIM2", L"Maker B", L"Panel B");
    }

    // Starts the dialog; the test drives it through `dialog` and `list`.
    void Open()
    {
        ui.reset(new UiThread([this] {
            DeviceSelectDialog dialog(entries, 3);
            result = dialog.RunModal();
            chosen = dialog.ChosenIndex();
        }));
        ASSERT_TRUE(ui->Started());
        dialog = WaitForThreadDialog(ui->Id(), kSelectDeviceCaption, kDefaultTimeoutMs);
        ASSERT_NE(dialog, nullptr);
        list = ::GetDlgItem(dialog, IDC_DEVICE_LIST);
        ASSERT_NE(list, nullptr);
    }

    void Press(int id)
    {
        ASSERT_TRUE(ClickUntil(::GetDlgItem(dialog, id), [&] { return ui->Join(0); }, kDefaultTimeoutMs))
            << "the dialog did not end";
    }

    // Clicks a row and waits until the dialog shows that entry's texts.
    void Pick(int row, const TouchDeviceEntry& expected, bool twice = false)
    {
        ASSERT_TRUE(ClickRow(dialog, list, row, twice));
        EXPECT_TRUE(WaitFor([&] {
            return ItemText(dialog, IDC_DEVICE_MANUFACTURER) == expected.manufacturer &&
                   ItemText(dialog, IDC_DEVICE_DESCRIPTION) == expected.description;
        })) << "row " << row << " shows '" << ::testing::PrintToString(ItemText(dialog, IDC_DEVICE_MANUFACTURER))
            << "'";
    }

    TouchDeviceEntry entries[3];
    std::unique_ptr<UiThread> ui;
    HWND dialog = nullptr;
    HWND list = nullptr;
    INT_PTR result = -7;
    int32_t chosen = -7;
};

TEST_F(DeviceSelectDialogTest, RowsAreSortedByInstanceIdAndLeadBackToTheirEntries)
{
    Open();
    ASSERT_EQ(RowCount(list), 3);
    std::set<LPARAM> seen;
    for (int row = 0; row < 3; ++row) {
        const LPARAM data = RowData(list, row);
        ASSERT_GE(data, 0);
        ASSERT_LT(data, 3);
        seen.insert(data);
        EXPECT_EQ(RowText(list, row), std::wstring(entries[data].instanceId)) << "row " << row;
    }
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_EQ(RowText(list, 0), L"USB\\VID_0EEF&PID_0001\\SIM1");
    EXPECT_EQ(RowText(list, 2), L"USB\\VID_0EEF&PID_0001\\SIM3");
    EXPECT_EQ(SelectedRow(list), LB_ERR);
    EXPECT_EQ(ItemText(dialog, IDC_DEVICE_MANUFACTURER), L"");
    EXPECT_EQ(ItemText(dialog, IDC_DEVICE_DESCRIPTION), L"");

    Press(IDCANCEL);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(chosen, -1);
}

TEST_F(DeviceSelectDialogTest, PickingShowsThatEntryAndOkChoosesTheEntryNotTheRowPosition)
{
    Open();
    Pick(0, entries[1]);
    Pick(2, entries[0]);
    Press(IDOK);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(chosen, 0);
}

TEST_F(DeviceSelectDialogTest, OkWithoutASelectionChoosesNothing)
{
    Open();
    Press(IDOK);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(chosen, -1);
}

TEST_F(DeviceSelectDialogTest, DoubleClickEnterAndEscOnlySelect)
{
    Open();
    Pick(1, entries[2], /*twice=*/true);
    ASSERT_TRUE(SendKey(VK_RETURN));
    ASSERT_TRUE(SendKey(VK_ESCAPE));
    // Input is handled in order: once this click shows, the keys before it have been seen.
    Pick(0, entries[1]);
    EXPECT_TRUE(::IsWindowVisible(dialog));
    EXPECT_TRUE(ui->Running());
    EXPECT_EQ(SelectedRow(list), 0);

    Press(IDCANCEL);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(chosen, -1);
}

TEST_F(DeviceSelectDialogTest, CloseBoxCancelsEvenWithASelection)
{
    Open();
    Pick(2, entries[0]);
    ASSERT_TRUE(::PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0));
    ASSERT_TRUE(ui->Join(kDefaultTimeoutMs));
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(chosen, -1);
}

} // namespace
