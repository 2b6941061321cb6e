// TouchDeviceManager against the simulated driver and the PnP fixture, and the device access
// services (privilege, error texts).
#include "device/DeviceAccess.h"
#include "device/DeviceSelectResource.h"
#include "device/TouchDeviceManager.h"
#include "framework/App.h"
#include "tests/support/WineTestSupport.h"
#include "tests/wine/device/ListDriving.h"
#include "tests/wine/device/SimulatedControllers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace qelvo::test;
using namespace touch;

namespace {

const wchar_t kName1[] = L"\\Device\\TouchSim1";
const wchar_t kName2[] = L"\\Device\\TouchSim2";
const wchar_t kName3[] = L"\\Device\\TouchSim3";
const wchar_t kNode1[] = L"USB\\VID_0EEF&PID_0001\\SIM1";
const wchar_t kNode2[] = L"USB\\VID_0EEF&PID_0001\\SIM2";
const wchar_t kNode3[] = L"USB\\VID_0EEF&PID_0001\\SIM3";

void ExpectEmpty(const TouchDeviceManager& manager)
{
    EXPECT_FALSE(manager.IsInitialized());
    EXPECT_EQ(manager.EntryCount(), 0u);
    EXPECT_EQ(manager.Entries(), nullptr);
    EXPECT_EQ(manager.SelectedIndex(), -1);
    uint32_t id = 0;
    EXPECT_FALSE(manager.GetSelectedDeviceId(&id));
    EXPECT_EQ(manager.GetSelectedDeviceName(), nullptr);
}

const TouchDeviceEntry* EntryNamed(const TouchDeviceManager& manager, const wchar_t* name)
{
    for (uint32_t i = 0; i < manager.EntryCount(); ++i) {
        if (lstrcmpW(manager.Entries()[i].objectName, name) == 0)
            return &manager.Entries()[i];
    }
    return nullptr;
}

bool IsMatched(const TouchDeviceManager& manager, const wchar_t* name)
{
    const TouchDeviceEntry* entry = EntryNamed(manager, name);
    return entry != nullptr && entry->instanceId[0] != L'\0';
}

// Instance ids of the fixture's nodes in the order the USB enumeration walks them.
std::vector<std::wstring> WalkOrder(const std::vector<std::wstring>& ours)
{
    std::vector<std::wstring> order;
    HDEVINFO set = ::SetupDiGetClassDevsW(nullptr, L"USB", nullptr, DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE)
        return order;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        wchar_t id[200] = {};
        if (!::SetupDiGetDeviceInstanceIdW(set, &device, id, 200, nullptr))
            continue;
        for (const std::wstring& mine : ours) {
            if (lstrcmpiW(mine.c_str(), id) == 0)
                order.push_back(mine);
        }
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return order;
}

std::wstring ReadDriverKeyText(const wchar_t* instanceId, const wchar_t* value)
{
    HKEY key = nullptr;
    DWORD error = 0;
    if (!touchsim::OpenDriverKey(instanceId, KEY_QUERY_VALUE, &key, &error))
        return L"<no key>";
    wchar_t text[100] = {};
    DWORD size = sizeof(text) - sizeof(wchar_t);
    DWORD type = 0;
    const LONG rc = ::RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    ::RegCloseKey(key);
    return rc == ERROR_SUCCESS && type == REG_SZ ? std::wstring(text) : L"<no value>";
}

bool WriteText(HKEY key, const wchar_t* name, const wchar_t* text)
{
    return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                            static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

class DeviceManagerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(fw::InitCommonControlClasses()); }
    void SetUp() override { ASSERT_TRUE(sim.Start()) << "simulated driver: error " << sim.sim.LastError(); }
    void TearDown() override { EXPECT_TRUE(sim.Clear()); }

    // Controllers 1 and 2, each with a device node.
    void TwoMatched()
    {
        ASSERT_TRUE(sim.AddController(101, kName1));
        ASSERT_TRUE(sim.AddController(102, kName2));
        ASSERT_TRUE(sim.AddNode(kNode1, kName1, L"Qelvo Ltd", L"Qelvo USB Touch 1"));
        ASSERT_TRUE(sim.AddNode(kNode2, kName2, L"青尔沃科技", L"青尔沃触摸屏控制器"));
    }

    SimulatedControllers sim;
};

TEST_F(DeviceManagerTest, NoControllerFailsAndLeavesTheManagerEmpty)
{
    TouchDeviceManager manager;
    EXPECT_FALSE(manager.Initialize());
    ExpectEmpty(manager);
    HKEY key = reinterpret_cast<HKEY>(0x1234);
    EXPECT_FALSE(manager.OpenDeviceKey(&key));
    EXPECT_EQ(key, reinterpret_cast<HKEY>(0x1234));
    EXPECT_FALSE(manager.SelectInteractively());
    EXPECT_FALSE(manager.SelectByName(kName1));
}

TEST_F(DeviceManagerTest, ControllerWithoutDeviceNodeFails)
{
    ASSERT_TRUE(sim.AddController(101, kName1));
    ASSERT_TRUE(sim.AddNode(kNode2, kName2, L"Other", L"Other device"));
    TouchDeviceManager manager;
    EXPECT_FALSE(manager.Initialize());
    ExpectEmpty(manager);
}

TEST_F(DeviceManagerTest, OneControllerIsJoinedAndSelectedWithoutADialog)
{
    ASSERT_TRUE(sim.AddController(101, kName1));
    ASSERT_TRUE(sim.AddNode(kNode1, kName1, L"Qelvo Ltd", L"Qelvo USB Touch"));
    TouchDeviceManager manager;
    ASSERT_TRUE(manager.Initialize());
    ASSERT_EQ(manager.EntryCount(), 1u);
    const TouchDeviceEntry& entry = manager.Entries()[0];
    EXPECT_EQ(entry.deviceId, 101u);
    EXPECT_STREQ(entry.objectName, kName1);
    EXPECT_EQ(lstrcmpiW(entry.instanceId, kNode1), 0) << ::testing::PrintToString(entry.instanceId);
    EXPECT_STREQ(entry.manufacturer, L"Qelvo Ltd");
    EXPECT_STREQ(entry.description, L"Qelvo USB Touch");
    EXPECT_EQ(entry.devInfo.cbSize, sizeof(SP_DEVINFO_DATA));

    // On a thread of its own: a dialog would block it, and the test would see it.
    bool selected = false;
    UiThread ui([&] { selected = manager.SelectInteractively(); });
    ASSERT_TRUE(ui.Join(kDefaultTimeoutMs)) << "SelectInteractively showed a dialog for one controller";
    EXPECT_TRUE(selected);
    EXPECT_EQ(manager.SelectedIndex(), 0);
    uint32_t id = 0;
    ASSERT_TRUE(manager.GetSelectedDeviceId(&id));
    EXPECT_EQ(id, 101u);
    ASSERT_NE(manager.GetSelectedDeviceName(), nullptr);
    EXPECT_STREQ(manager.GetSelectedDeviceName(), kName1);
}

TEST_F(DeviceManagerTest, DeviceKeyIsTheSelectedNodesDriverKeyAndEachOpenIsIndependent)
{
    TwoMatched();
    TouchDeviceManager manager;
    ASSERT_TRUE(manager.Initialize());
    HKEY key = nullptr;
    EXPECT_FALSE(manager.OpenDeviceKey(&key)) << "no selection yet";
    EXPECT_EQ(key, nullptr);

    ASSERT_TRUE(manager.SelectByName(kName2));
    HKEY first = nullptr;
    HKEY second = nullptr;
    ASSERT_TRUE(manager.OpenDeviceKey(&first));
    ASSERT_TRUE(manager.OpenDeviceKey(&second));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    ASSERT_TRUE(WriteText(first, L"ProbeValue", L"written through the first key"));
    EXPECT_EQ(manager.CloseDeviceKey(first), ERROR_SUCCESS);
    // The second handle still works after the first is gone.
    ASSERT_TRUE(WriteText(second, L"ProbeValue2", L"written through the second key"));
    EXPECT_EQ(manager.CloseDeviceKey(second), ERROR_SUCCESS);

    EXPECT_EQ(ReadDriverKeyText(kNode2, L"ProbeValue"), L"written through the first key");
    EXPECT_EQ(ReadDriverKeyText(kNode2, L"ProbeValue2"), L"written through the second key");
    EXPECT_EQ(ReadDriverKeyText(kNode1, L"ProbeValue"), L"<no value>");
}

TEST_F(DeviceManagerTest, InitializeTwiceChangesNothingAndReleaseAllowsAnother)
{
    TwoMatched();
    TouchDeviceManager manager;
    ASSERT_TRUE(manager.Initialize());
    ASSERT_TRUE(manager.SelectByName(kName2));
    const TouchDeviceEntry* entries = manager.Entries();
    const int32_t selected = manager.SelectedIndex();

    EXPECT_FALSE(manager.Initialize());
    EXPECT_EQ(manager.Entries(), entries);
    EXPECT_EQ(manager.EntryCount(), 2u);
    EXPECT_EQ(manager.SelectedIndex(), selected);
    HKEY key = nullptr;
    ASSERT_TRUE(manager.OpenDeviceKey(&key));
    manager.CloseDeviceKey(key);

    manager.Release();
    ExpectEmpty(manager);
    manager.Release();
    ExpectEmpty(manager);
    ASSERT_TRUE(manager.Initialize());
    EXPECT_EQ(manager.EntryCount(), 2u);
    EXPECT_EQ(manager.SelectedIndex(), -1);
}

TEST_F(DeviceManagerTest, NamesAreComparedIgnoringCase)
{
    ASSERT_TRUE(sim.AddController(101, kName1));
    ASSERT_TRUE(sim.AddNode(kNode1, L"\\DEVICE\\TOUCHSIM1", L"Qelvo Ltd", L"Qelvo USB Touch"));
    TouchDeviceManager manager;
    ASSERT_TRUE(manager.Initialize()) << "the node's name differs from the driver's only in case";
    EXPECT_STREQ(manager.Entries()[0].manufacturer, L"Qelvo Ltd");

    EXPECT_FALSE(manager.SelectByName(L"\\Device\\TouchSim"));
    EXPECT_FALSE(manager.SelectByName(L"\\Device\\TouchSim11"));
    EXPECT_EQ(manager.SelectedIndex(), -1);
    ASSERT_TRUE(manager.SelectByName(L"\\device\\TOUCHSIM1"));
    EXPECT_EQ(manager.SelectedIndex(), 0);
}

TEST_F(DeviceManagerTest, SelectByNameTakesTheFirstOfEqualNames)
{
    ASSERT_TRUE(sim.AddController(101, kName1));
    ASSERT_TRUE(sim.AddController(102, L"\\DEVICE\\touchsim1"));
    ASSERT_TRUE(sim.AddNode(kNode1, kName1, L"Qelvo Ltd", L"Qelvo USB Touch"));
    TouchDeviceManager manager;
    ASSERT_TRUE(manager.Initialize());
    ASSERT_EQ(manager.EntryCount(), 2u);
    // Only the first entry of a name is joined.
    EXPECT_STREQ(manager.Entries()[0].manufacturer, L"Qelvo Ltd");
    EXPECT_STREQ(manager.Entries()[1].manufacturer, L"");
    ASSERT_TRUE(manager.SelectByName(L"\\device\\touchsim1"));
    uint32_t id = 0;
    ASSERT_TRUE(manager.GetSelectedDeviceId(&id));
    EXPECT_EQ(id, 101u);
}

TEST_F(DeviceManagerTest, TwoReportedOneMatchedListsBothAndTheEmptyRowHasNoKey)
{
    ASSERT_TRUE(sim.AddController(101, kName1));
    ASSERT_TRUE(sim.AddController(102, kName2));
    ASSERT_TRUE(sim.AddNode(kNode1, kName1, L"Qelvo Ltd", L"Qelvo USB Touch"));
    TouchDeviceManager manager;
    ASSERT_TRUE(manager.Initialize());
    ASSERT_EQ(manager.EntryCount(), 2u);
    EXPECT_TRUE(IsMatched(manager, kName1));
    const TouchDeviceEntry* unmatched = EntryNamed(manager, kName2);
    ASSERT_NE(unmatched, nullptr);
    EXPECT_STREQ(unmatched->instanceId, L"");
    EXPECT_STREQ(unmatched->manufacturer, L"");
    EXPECT_STREQ(unmatched->description, L"");

    bool selected = false;
    UiThread ui([&] { selected = manager.SelectInteractively(); });
    HWND dialog = WaitForThreadDialog(ui.Id(), kSelectDeviceCaption, kDefaultTimeoutMs);
    ASSERT_NE(dialog, nullptr);
    HWND list = ::GetDlgItem(dialog, IDC_DEVICE_LIST);
    ASSERT_EQ(RowCount(list), 2);
    // The empty instance id sorts first.
    EXPECT_EQ(RowText(list, 0), L"");
    EXPECT_EQ(RowText(list, 1), std::wstring(EntryNamed(manager, kName1)->instanceId));
    ASSERT_TRUE(ClickRow(dialog, list, 0));
    ASSERT_TRUE(WaitFor([&] { return SelectedRow(list) == 0; }));
    ASSERT_TRUE(ClickUntil(::GetDlgItem(dialog, IDOK), [&] { return ui.Join(0); }, kDefaultTimeoutMs));
    ASSERT_TRUE(selected);
    ASSERT_STREQ(manager.GetSelectedDeviceName(), kName2);
    uint32_t id = 0;
    ASSERT_TRUE(manager.GetSelectedDeviceId(&id));
    EXPECT_EQ(id, 102u);
    HKEY key = nullptr;
    EXPECT_FALSE(manager.OpenDeviceKey(&key));
    EXPECT_EQ(key, nullptr);
}

TEST_F(DeviceManagerTest, DialogShowsThePickedControllerAndOkSelectsIt)
{
    TwoMatched();
    TouchDeviceManager manager;
    ASSERT_TRUE(manager.Initialize());
    bool selected = false;
    UiThread ui([&] { selected = manager.SelectInteractively(); });
    HWND dialog = WaitForThreadDialog(ui.Id(), kSelectDeviceCaption, kDefaultTimeoutMs);
    ASSERT_NE(dialog, nullptr);
    HWND list = ::GetDlgItem(dialog, IDC_DEVICE_LIST);
    ASSERT_EQ(RowCount(list), 2);
    ASSERT_TRUE(ClickRow(dialog, list, 1));
    const TouchDeviceEntry& picked = manager.Entries()[RowData(list, 1)];
    ASSERT_TRUE(WaitFor([&] { return ItemText(dialog, IDC_DEVICE_MANUFACTURER) == L"青尔沃科技"; }));
    EXPECT_EQ(ItemText(dialog, IDC_DEVICE_DESCRIPTION), L"青尔沃触摸屏控制器");
    EXPECT_STREQ(picked.objectName, kName2);
    RECT rect = {};
    ASSERT_TRUE(::GetWindowRect(dialog, &rect));
    EXPECT_FALSE(CaptureScreenPng(L"device-select-two-controllers.png", &rect).empty());

    ASSERT_TRUE(ClickUntil(::GetDlgItem(dialog, IDOK), [&] { return ui.Join(0); }, kDefaultTimeoutMs));
    EXPECT_TRUE(selected);
    EXPECT_STREQ(manager.GetSelectedDeviceName(), kName2);
}

TEST_F(DeviceManagerTest, OkWithoutASelectionAndCancelFail)
{
    TwoMatched();
    TouchDeviceManager manager;
    ASSERT_TRUE(manager.Initialize());
    for (int button : {IDOK, IDCANCEL}) {
        bool selected = true;
        UiThread ui([&] { selected = manager.SelectInteractively(); });
        HWND dialog = WaitForThreadDialog(ui.Id(), kSelectDeviceCaption, kDefaultTimeoutMs);
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(ClickUntil(::GetDlgItem(dialog, button), [&] { return ui.Join(0); }, kDefaultTimeoutMs));
        EXPECT_FALSE(selected) << "button " << button;
        EXPECT_EQ(manager.SelectedIndex(), -1);
        EXPECT_TRUE(manager.IsInitialized());
    }
}

struct DriverFault {
    const char* what;
    uint32_t code;
    touchsim::SimFaultKind kind;
    uint32_t value;
    DWORD error = 0;     // not 0: the error Initialize must leave, and no list may be asked for
};

class DriverFaultTest : public DeviceManagerTest, public ::testing::WithParamInterface<DriverFault> {};

TEST_P(DriverFaultTest, DiscoveryRejectsIt)
{
    TwoMatched();
    const DriverFault& fault = GetParam();
    ASSERT_TRUE(sim.sim.InjectFault(fault.code, fault.kind, 1, fault.value));
    TouchDeviceManager manager;
    EXPECT_FALSE(manager.Initialize()) << fault.what;
    const DWORD error = ::GetLastError();
    ExpectEmpty(manager);
    touchsim::SimSummary summary = {};
    ASSERT_TRUE(sim.sim.GetSummary(&summary));
    EXPECT_EQ(summary.pendingFaults, 0u) << "the fault was never reached";
    if (fault.error != 0) {
        EXPECT_EQ(error, fault.error);
        EXPECT_EQ(summary.requests[touchsim::SuiteCodeIndex(touch::IOCTL_TOUCH_GET_DEVICE_LIST)], 0u);
    }
    // The fault was the only reason: the next discovery succeeds.
    EXPECT_TRUE(manager.Initialize());
    EXPECT_EQ(manager.EntryCount(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DriverFaultTest,
    ::testing::Values(
        DriverFault{"count fails", touch::IOCTL_TOUCH_GET_DEVICE_COUNT, touchsim::kFaultError, ERROR_ACCESS_DENIED},
        DriverFault{"count returns 3 bytes", touch::IOCTL_TOUCH_GET_DEVICE_COUNT, touchsim::kFaultByteCount, 3},
        DriverFault{"count returns 0 bytes", touch::IOCTL_TOUCH_GET_DEVICE_COUNT, touchsim::kFaultByteCount, 0},
        DriverFault{"list fails", touch::IOCTL_TOUCH_GET_DEVICE_LIST, touchsim::kFaultError, ERROR_GEN_FAILURE},
        DriverFault{"list one byte short", touch::IOCTL_TOUCH_GET_DEVICE_LIST, touchsim::kFaultByteCount,
                    touch::DeviceListBytes(2) - 1},
        DriverFault{"list header only", touch::IOCTL_TOUCH_GET_DEVICE_LIST, touchsim::kFaultByteCount, 8},
        DriverFault{"list count above request", touch::IOCTL_TOUCH_GET_DEVICE_LIST, touchsim::kFaultListCount, 1},
        // Two controllers reported as 257 or 4294967295: above the ceiling of 256.
        DriverFault{"count 257", touch::IOCTL_TOUCH_GET_DEVICE_COUNT, touchsim::kFaultListCount, 255, ERROR_INVALID_DATA},
        DriverFault{"count 10631106", touch::IOCTL_TOUCH_GET_DEVICE_COUNT, touchsim::kFaultListCount, 10631104,
                    ERROR_INVALID_DATA},
        DriverFault{"count 4294967295", touch::IOCTL_TOUCH_GET_DEVICE_COUNT, touchsim::kFaultListCount,
                    0xFFFFFFFDu, ERROR_INVALID_DATA}),
    [](const ::testing::TestParamInfo<DriverFault>& info) {
        std::string name;
        for (const char* p = info.param.what; *p != '\0'; ++p)
            name += isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name;
    });

// Three controllers, three nodes; `fault` applies to node 2. Returns the nodes in walk order.
std::vector<std::wstring> ThreeNodes(SimulatedControllers& sim, const touchsim::DeviceNodeSpec& fault)
{
    EXPECT_TRUE(sim.AddController(101, kName1));
    EXPECT_TRUE(sim.AddController(102, kName2));
    EXPECT_TRUE(sim.AddController(103, kName3));
    EXPECT_TRUE(sim.AddNode(kNode1, kName1, L"M1", L"D1"));
    EXPECT_TRUE(sim.AddNode(fault));
    EXPECT_TRUE(sim.AddNode(kNode3, kName3, L"M3", L"D3"));
    return WalkOrder({kNode1, kNode2, kNode3});
}

touchsim::DeviceNodeSpec Node2()
{
    touchsim::DeviceNodeSpec node;
    node.instanceId = kNode2;
    node.objectName = kName2;
    node.manufacturer = L"M2";
    node.description = L"D2";
    return node;
}

// Which controllers a walk that ends at node 2 has joined: those whose node comes before it.
void ExpectWalkEndedAtNode2(const TouchDeviceManager& manager, const std::vector<std::wstring>& order)
{
    bool before = true;
    for (const std::wstring& node : order) {
        if (node == kNode2) {
            before = false;
            continue;
        }
        const wchar_t* name = node == kNode1 ? kName1 : kName3;
        EXPECT_EQ(IsMatched(manager, name), before) << "node " << ::testing::PrintToString(node);
    }
}

TEST_F(DeviceManagerTest, UnreadableManufacturerEndsTheWalk)
{
    touchsim::DeviceNodeSpec node = Node2();
    node.manufacturerError = ERROR_ACCESS_DENIED;
    const std::vector<std::wstring> order = ThreeNodes(sim, node);
    ASSERT_EQ(order.size(), 3u);
    TouchDeviceManager manager;
    const bool first = order[0] == kNode2;
    ASSERT_EQ(manager.Initialize(), !first);
    if (!first) {
        EXPECT_FALSE(IsMatched(manager, kName2));
        ExpectWalkEndedAtNode2(manager, order);
    }
}

TEST_F(DeviceManagerTest, UnreadableDescriptionEndsTheWalkKeepingTheManufacturer)
{
    touchsim::DeviceNodeSpec node = Node2();
    node.descriptionError = ERROR_FILE_NOT_FOUND;
    const std::vector<std::wstring> order = ThreeNodes(sim, node);
    ASSERT_EQ(order.size(), 3u);
    TouchDeviceManager manager;
    const bool first = order[0] == kNode2;
    ASSERT_EQ(manager.Initialize(), !first);
    if (!first) {
        const TouchDeviceEntry* entry = EntryNamed(manager, kName2);
        ASSERT_NE(entry, nullptr);
        EXPECT_STREQ(entry->manufacturer, L"M2");
        EXPECT_STREQ(entry->description, L"");
        EXPECT_STREQ(entry->instanceId, L"");
        ExpectWalkEndedAtNode2(manager, order);
    }
}

TEST_F(DeviceManagerTest, ObjectNameTooLargeEndsTheWalk)
{
    touchsim::DeviceNodeSpec node = Node2();
    node.objectNameError = ERROR_INSUFFICIENT_BUFFER;
    const std::vector<std::wstring> order = ThreeNodes(sim, node);
    ASSERT_EQ(order.size(), 3u);
    TouchDeviceManager manager;
    const bool first = order[0] == kNode2;
    ASSERT_EQ(manager.Initialize(), !first);
    if (!first) {
        EXPECT_FALSE(IsMatched(manager, kName2));
        ExpectWalkEndedAtNode2(manager, order);
    }
}

TEST_F(DeviceManagerTest, ObjectNameOtherwiseUnusableSkipsTheDevice)
{
    for (int unusable = 0; unusable < 2; ++unusable) {
        ASSERT_TRUE(sim.Clear());
        touchsim::DeviceNodeSpec node = Node2();
        if (unusable == 0)
            node.objectNameError = ERROR_INVALID_DATA;
        else
            node.objectNameType = REG_MULTI_SZ;
        ASSERT_EQ(ThreeNodes(sim, node).size(), 3u);
        TouchDeviceManager manager;
        ASSERT_TRUE(manager.Initialize()) << "case " << unusable;
        EXPECT_TRUE(IsMatched(manager, kName1)) << "case " << unusable;
        EXPECT_FALSE(IsMatched(manager, kName2)) << "case " << unusable;
        EXPECT_TRUE(IsMatched(manager, kName3)) << "case " << unusable;
    }
}

TEST_F(DeviceManagerTest, NodeWithoutDriverKeyIsMatchedButHasNoKey)
{
    ASSERT_TRUE(sim.AddController(101, kName1));
    touchsim::DeviceNodeSpec node;
    node.instanceId = kNode1;
    node.objectName = kName1;
    node.manufacturer = L"Qelvo Ltd";
    node.description = L"Qelvo USB Touch";
    node.driverKey = false;
    ASSERT_TRUE(sim.AddNode(node));
    TouchDeviceManager manager;
    ASSERT_TRUE(manager.Initialize());
    ASSERT_TRUE(manager.SelectByName(kName1));
    HKEY key = nullptr;
    EXPECT_FALSE(manager.OpenDeviceKey(&key)) << "the key is opened, never created";
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(ReadDriverKeyText(kNode1, L"Anything"), L"<no key>");
}

// The longest text that fits the 400-byte property buffer comes whole; a shorter one stored
// without a terminator ends where its value ends; one unit more ends the walk.
TEST_F(DeviceManagerTest, PropertyTextsAtTheBufferLimit)
{
    ASSERT_TRUE(sim.AddController(101, kName1));
    ASSERT_TRUE(sim.AddNode(kNode1, kName1, std::wstring(199, L'M'), L"placeholder"));
    HDEVINFO set = ::SetupDiGetClassDevsW(nullptr, L"USB", nullptr, DIGCF_ALLCLASSES);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    ASSERT_TRUE(::SetupDiOpenDeviceInfoW(set, kNode1, nullptr, 0, &device));
    const std::wstring shortText = L"Short";
    ASSERT_TRUE(::SetupDiSetDeviceRegistryPropertyW(set, &device, SPDRP_DEVICEDESC,
                                                    reinterpret_cast<const BYTE*>(shortText.data()), 10));

    {
        TouchDeviceManager manager;
        ASSERT_TRUE(manager.Initialize());
        EXPECT_EQ(std::wstring(manager.Entries()[0].manufacturer), std::wstring(199, L'M'));
        EXPECT_EQ(std::wstring(manager.Entries()[0].description), L"Short");
    }

    const std::wstring tooLong(200, L'M');
    ASSERT_TRUE(::SetupDiSetDeviceRegistryPropertyW(set, &device, SPDRP_MFG,
                                                    reinterpret_cast<const BYTE*>(tooLong.c_str()), 402));
    ::SetupDiDestroyDeviceInfoList(set);
    TouchDeviceManager manager;
    EXPECT_FALSE(manager.Initialize()) << "a manufacturer that cannot be read ends the walk unmatched";
}

TEST(DeviceAccess, SystemProfilePrivilegeIsEnabled)
{
    EXPECT_TRUE(EnableSystemProfilePrivilege());
    HANDLE token = nullptr;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token));
    LUID luid = {};
    ASSERT_TRUE(::LookupPrivilegeValueW(nullptr, L"SeSystemProfilePrivilege", &luid));
    PRIVILEGE_SET query = {};
    query.PrivilegeCount = 1;
    query.Control = PRIVILEGE_SET_ALL_NECESSARY;
    query.Privilege[0].Luid = luid;
    BOOL held = FALSE;
    ASSERT_TRUE(::PrivilegeCheck(token, &query, &held));
    ::CloseHandle(token);
    EXPECT_TRUE(held);
}

TEST(DeviceAccess, ErrorTextsFromTheSystemOrAsCode)
{
    ErrorTextHolder holder;
    EXPECT_EQ(holder.Text(), nullptr);

    const wchar_t* denied = holder.FormatErrorText(ERROR_ACCESS_DENIED);
    ASSERT_NE(denied, nullptr);
    wchar_t* reference = nullptr;
    ASSERT_NE(::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5,
                               MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&reference), 0,
                               nullptr),
              0u);
    EXPECT_STREQ(denied, reference);
    ::LocalFree(reference);
    EXPECT_EQ(holder.Text(), denied);

    EXPECT_STREQ(holder.FormatErrorText(0x00ABCDEFu), L"Code=(0x00abcdef)");
    EXPECT_STREQ(holder.FormatErrorText(0xE000FFFFu), L"Code=(0xe000ffff)");
    EXPECT_STREQ(holder.Text(), L"Code=(0xe000ffff)");

    holder.Free();
    EXPECT_EQ(holder.Text(), nullptr);
}

// No arguments are passed: a system text with inserts comes as it stands, not as a code.
TEST(DeviceAccess, ErrorTextWithInsertsComesAsItStands)
{
    DWORD code = 0;
    std::wstring expected;
    for (DWORD candidate = 1; candidate < 16000 && code == 0; ++candidate) {
        wchar_t* text = nullptr;
        if (::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, candidate, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                             reinterpret_cast<wchar_t*>(&text), 0, nullptr) != 0 &&
            text != nullptr && wcsstr(text, L"%1") != nullptr) {
            code = candidate;
            expected = text;
        }
        if (text != nullptr)
            ::LocalFree(text);
    }
    if (code == 0)
        GTEST_SKIP() << "the system has no error text with inserts";
    ErrorTextHolder holder;
    const wchar_t* text = holder.FormatErrorText(code);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::wstring(text), expected) << "code " << code;
}

// Busy blocks of the process heap, where LocalAlloc takes its blocks.
size_t BusyHeapBlocks()
{
    HANDLE heap = ::GetProcessHeap();
    size_t busy = 0;
    if (!::HeapLock(heap))
        return 0;
    PROCESS_HEAP_ENTRY entry = {};
    while (::HeapWalk(heap, &entry)) {
        if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0)
            ++busy;
    }
    ::HeapUnlock(heap);
    return busy;
}

TEST(DeviceAccess, EachErrorTextFreesThePreviousOne)
{
    ErrorTextHolder holder;
    holder.FormatErrorText(0x00ABCDEFu);
    holder.FormatErrorText(ERROR_ACCESS_DENIED);
    const size_t before = BusyHeapBlocks();
    ASSERT_GT(before, 0u);
    for (int i = 0; i < 500; ++i) {
        holder.FormatErrorText(i % 2 == 1 ? 0x00ABCDEFu : ERROR_ACCESS_DENIED);
    }
    const size_t after = BusyHeapBlocks();
    EXPECT_LT(after, before + 50) << "texts were not freed";
    EXPECT_STREQ(holder.Text(), L"Code=(0x00abcdef)") << "the last text made is held";
}

} // namespace
