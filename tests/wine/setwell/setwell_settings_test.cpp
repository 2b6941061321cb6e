// The shipped Setwell.exe on one or two simulated controllers: what it reads from the driver key,
// what Apply stores, sends and sets, the pages driven with real input, and pictures of them.
#include "simulator/SimProtocol.h"
#include "tests/support/WineTestSupport.h"
#include "tests/wine/device/ListDriving.h"
#include "tests/wine/device/SimulatedControllers.h"
#include "tests/wine/setwell/SetwellSession.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>
#include <vector>

using namespace qelvo::test;
using namespace setwelltest;

namespace {

const uint32_t kIdA = 0x21, kIdB = 0x22;
const wchar_t kNameA[] = L"\\Device\\SetwellSimA";
const wchar_t kNameB[] = L"\\Device\\SetwellSimB";
const wchar_t kNodeA[] = L"USB\\VID_0EEF&PID_0001\\SWSIMA";
const wchar_t kNodeB[] = L"USB\\VID_0EEF&PID_0001\\SWSIMB";
const uint32_t kReload = touchsim::SuiteCodeIndex(touch::IOCTL_TOUCH_RELOAD_SETTINGS);

// The six settings in stored order: BeepMode, BeepFreq, BeepTime, MouseMode, DragDelay, DblClkRegion.
struct Six {
    uint32_t v[6];
};

// The system's double-click settings that Apply must leave for a mode and region.
// The system gets the stored region only when it is a plausible size (1 to 32767), else 25.
DoubleClickSettings ExpectedDoubleClick(uint32_t mode, uint32_t region)
{
    if (mode == 3) {
        const int size = region >= 1 && region <= 32767 ? static_cast<int>(region) : 25;
        return DoubleClickSettings{size, size, 800};
    }
    return DoubleClickSettings{5, 5, 400};
}

class SetwellSettings : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim.Start()) << "simulated driver: error " << sim.sim.LastError();
        ASSERT_TRUE(ReadDoubleClick(&saved)) << "the system's double-click settings";
    }
    void TearDown() override
    {
        if (setwell.Proc().IsRunning())
            setwell.Proc().Terminate();
        EXPECT_TRUE(SetDoubleClick(saved));
        DoubleClickSettings now;
        EXPECT_TRUE(ReadDoubleClick(&now) && now.width == saved.width && now.height == saved.height &&
                    now.time == saved.time) << "restoring the double-click settings";
        EXPECT_TRUE(sim.Clear());
    }

    void Controllers(int n)
    {
        ASSERT_TRUE(sim.sim.AddController(kIdA, kNameA, touchsim::StraightPanel(touchsim::Rect32{0, 0, 1024, 768})));
        ASSERT_TRUE(sim.AddNode(kNodeA, kNameA, L"Qelvo Ltd", L"Qelvo USB Touch A"));
        if (n > 1) {
            ASSERT_TRUE(sim.sim.AddController(kIdB, kNameB, touchsim::StraightPanel(touchsim::Rect32{0, 0, 1024, 768})));
            ASSERT_TRUE(sim.AddNode(kNodeB, kNameB, L"Qelvo Ltd", L"Qelvo USB Touch B"));
        }
        ASSERT_TRUE(sim.sim.ClearHistory());
    }

    // Starts Setwell; with two controllers picks the row of `instanceId` in the selection dialog.
    void Open(const wchar_t* instanceId = nullptr)
    {
        ASSERT_TRUE(setwell.Start());
        if (instanceId != nullptr) {
            HWND select = setwell.WaitForSelection();
            ASSERT_NE(select, nullptr);
            HWND list = GetDlgItem(select, 1080);
            int row = -1;
            for (int i = 0; i < RowCount(list); ++i) {
                if (RowText(list, i) == instanceId)
                    row = i;
            }
            ASSERT_GE(row, 0);
            ASSERT_TRUE(ClickRow(select, list, row));
            ASSERT_TRUE(WaitFor([&] { return SelectedRow(list) == row; }, 10000));
            ASSERT_TRUE(PressUntil(select, IDOK, [&] { return !IsWindow(select); }));
        }
        dialog = setwell.WaitForDialog();
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(FindPages(dialog, &pages));
    }

    uint32_t Reloads(uint32_t id)
    {
        touchsim::SimControllerState state = {};
        return sim.sim.GetState(id, &state) ? state.requests[kReload] : 0xFFFFFFFFu;
    }

    void ExpectShown(const Six& s)
    {
        EXPECT_EQ(ListIndex(pages.sound, kBeepMode), static_cast<int>(s.v[0])) << "BeepMode";
        EXPECT_EQ(SliderPos(pages.sound, kBeepFreq), static_cast<int>(s.v[1])) << "BeepFreq";
        EXPECT_EQ(SliderPos(pages.sound, kBeepTime), static_cast<int>(s.v[2])) << "BeepTime";
        EXPECT_EQ(CheckedMode(pages.touchMode), static_cast<int>(s.v[3])) << "MouseMode";
        EXPECT_EQ(SliderPos(pages.touchMode, kDragDelay), static_cast<int>(s.v[4])) << "DragDelay";
        EXPECT_EQ(ItemText(pages.touchMode, kRegion), std::to_wstring(s.v[5])) << "DblClkRegion";
    }

    void ExpectStored(const wchar_t* node, const Six& s)
    {
        StoredValue values[6];
        DWORD error = 0;
        ASSERT_TRUE(ReadSettings(node, values, &error)) << error;
        for (int i = 0; i < 6; ++i) {
            SCOPED_TRACE(testing::Message() << "value " << i);
            EXPECT_TRUE(values[i].present);
            EXPECT_EQ(values[i].type, static_cast<DWORD>(REG_DWORD));
            EXPECT_EQ(values[i].size, 4u);
            EXPECT_EQ(values[i].value, s.v[i]);
        }
    }

    void ExpectDoubleClick(const DoubleClickSettings& expected)
    {
        DoubleClickSettings now;
        ASSERT_TRUE(ReadDoubleClick(&now));
        EXPECT_EQ(now.width, expected.width);
        EXPECT_EQ(now.height, expected.height);
        EXPECT_EQ(now.time, expected.time);
    }

    // Input is handled in order: once a tab change made after `something` shows, it was handled.
    void Settle(int tab) { ASSERT_TRUE(SelectTab(dialog, tab)); }

    void Close()
    {
        ASSERT_TRUE(PressUntil(dialog, IDCANCEL, [&] { return !setwell.Proc().IsRunning(); }));
    }

    SimulatedControllers sim;
    DoubleClickSettings saved;
    Setwell setwell;
    HWND dialog = nullptr;
    Pages pages;
};

struct StoredCase {
    const char* what;
    struct Value {
        DWORD type;
        std::vector<unsigned char> data;
    } values[6];  // type 0: absent
    Six shown;
};

std::vector<unsigned char> Dword(uint32_t v)
{
    return {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v >> 16),
            static_cast<unsigned char>(v >> 24)};
}

class SetwellReading : public SetwellSettings, public ::testing::WithParamInterface<StoredCase> {};

// What is stored shows on the pages (ranges and fallbacks as the store's table gives them), and a
// change of the beep mode alone writes all six back as shown, sends one reload and sets the
// system's double-click settings for the mode.
TEST_P(SetwellReading, PagesShowStoredValuesOrFallbacksAndApplyWritesThemBack)
{
    const StoredCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Controllers(1));
    for (int i = 0; i < 6; ++i) {
        if (c.values[i].type == 0)
            continue;
        DWORD error = 0;
        ASSERT_TRUE(WriteValue(kNodeA, kValueNames[i], c.values[i].type, c.values[i].data.data(),
                               static_cast<DWORD>(c.values[i].data.size()), &error)) << error;
    }
    ASSERT_NO_FATAL_FAILURE(Open());
    ExpectShown(c.shown);
    EXPECT_EQ(Reloads(kIdA), 0u);

    Six after = c.shown;
    after.v[0] = c.shown.v[0] == 1 ? 0 : 1;
    ASSERT_TRUE(SelectTab(dialog, 2));
    ASSERT_TRUE(PickListRow(pages.sound, kBeepMode, static_cast<int>(after.v[0])));
    ASSERT_TRUE(PressUntil(dialog, kApply, [&] { return Reloads(kIdA) >= 1; })) << "no reload code";
    Settle(0);
    EXPECT_EQ(Reloads(kIdA), 1u);
    ExpectStored(kNodeA, after);
    ExpectDoubleClick(ExpectedDoubleClick(after.v[3], after.v[5]));
    EXPECT_EQ(setwell.FindMessage(), nullptr);
    Close();
}

INSTANTIATE_TEST_SUITE_P(
    Stored, SetwellReading,
    ::testing::Values(
        StoredCase{"empty_key", {}, Six{{2, 1000, 32, 3, 0, 25}}},
        // Each out of range by one (or far), so that clamping would show another number than the
        // fallback; BeepMode as 8 bytes of REG_BINARY counts as missing.
        StoredCase{"out_of_range",
                   {{REG_BINARY, {1, 0, 0, 0, 0, 0, 0, 0}},
                    {REG_DWORD, Dword(5001)},
                    {REG_DWORD, Dword(9)},
                    {REG_DWORD, Dword(4)},
                    {REG_DWORD, Dword(1501)},
                    {REG_DWORD, Dword(500)}},
                   Six{{2, 1000, 32, 3, 0, 500}}},
        StoredCase{"below_range",
                   {{REG_DWORD, Dword(0xFFFFFFFFu)},
                    {REG_DWORD, Dword(999)},
                    {REG_DWORD, Dword(201)},
                    {REG_DWORD, Dword(0xFFFFFFFDu)},
                    {REG_DWORD, Dword(0x80000000u)},
                    {REG_DWORD, Dword(0)}},
                   Six{{2, 1000, 32, 3, 0, 0}}},
        // Any 32-bit region is shown and written back; the system gets 25 for it.
        StoredCase{"garbage_region",
                   {{REG_DWORD, Dword(1)},
                    {REG_DWORD, Dword(3000)},
                    {REG_DWORD, Dword(100)},
                    {REG_DWORD, Dword(3)},
                    {REG_DWORD, Dword(300)},
                    {REG_DWORD, Dword(0x7FFFFFFFu)}},
                   Six{{1, 3000, 100, 3, 300, 0x7FFFFFFFu}}},
        StoredCase{"range_ends",
                   {{REG_DWORD, Dword(0)},
                    {REG_DWORD, Dword(5000)},
                    {REG_DWORD, Dword(200)},
                    {REG_DWORD, Dword(2)},
                    {REG_DWORD, Dword(1500)},
                    {REG_DWORD, Dword(100)}},
                   Six{{0, 5000, 200, 2, 1500, 100}}},
        StoredCase{"low_ends",
                   {{REG_DWORD, Dword(1)},
                    {REG_DWORD, Dword(1000)},
                    {REG_DWORD, Dword(10)},
                    {REG_DWORD, Dword(0)},
                    {REG_DWORD, Dword(0)},
                    {REG_DWORD, Dword(25)}},
                   Six{{1, 1000, 10, 0, 0, 25}}}),
    [](const ::testing::TestParamInfo<StoredCase>& info) { return std::string(info.param.what); });

// Every value changed with the mouse and keys, on the second of two controllers.
TEST_F(SetwellSettings, RealInputAppliedToTheChosenControllerOnceAndCancelDropsAChange)
{
    ASSERT_NO_FATAL_FAILURE(Controllers(2));
    ASSERT_NO_FATAL_FAILURE(Open(kNodeB));
    ExpectShown(Six{{2, 1000, 32, 3, 0, 25}});

    ASSERT_TRUE(SelectTab(dialog, 1));
    for (int region = 26; region <= 40; ++region) {
        ASSERT_TRUE(ClickSpin(pages.touchMode, true));
        ASSERT_TRUE(WaitFor([&] { return ItemText(pages.touchMode, kRegion) == std::to_wstring(region); }, 10000))
            << "spin click to " << region;
    }
    ASSERT_TRUE(PressUntil(pages.touchMode, kModeFirst + 2, [&] { return CheckedMode(pages.touchMode) == 2; }));
    ASSERT_TRUE(FocusAndKeys(pages.touchMode, kDragDelay, {VK_END, VK_LEFT, VK_LEFT}));
    ASSERT_TRUE(WaitFor([&] { return SliderPos(pages.touchMode, kDragDelay) == 1498; }, 10000))
        << SliderPos(pages.touchMode, kDragDelay);

    ASSERT_TRUE(SelectTab(dialog, 2));
    ASSERT_TRUE(PickListRow(pages.sound, kBeepMode, 0));
    EXPECT_EQ(ItemText(pages.sound, kBeepMode), MessageText(10));
    ASSERT_TRUE(FocusAndKeys(pages.sound, kBeepFreq, {VK_HOME, VK_RIGHT, VK_RIGHT, VK_RIGHT}));
    ASSERT_TRUE(WaitFor([&] { return SliderPos(pages.sound, kBeepFreq) == 1003; }, 10000))
        << SliderPos(pages.sound, kBeepFreq);
    ASSERT_TRUE(FocusAndKeys(pages.sound, kBeepTime, {VK_END, VK_LEFT, VK_LEFT, VK_LEFT, VK_LEFT, VK_LEFT}));
    ASSERT_TRUE(WaitFor([&] { return SliderPos(pages.sound, kBeepTime) == 195; }, 10000))
        << SliderPos(pages.sound, kBeepTime);
    // Nothing is stored before Apply.
    StoredValue values[6];
    DWORD error = 0;
    ASSERT_TRUE(ReadSettings(kNodeB, values, &error));
    EXPECT_FALSE(values[3].present);

    ASSERT_TRUE(PressUntil(dialog, kApply, [&] { return Reloads(kIdB) >= 1; })) << "no reload code";
    Settle(0);
    const Six applied = {{0, 1003, 195, 2, 1498, 40}};
    ExpectStored(kNodeB, applied);
    EXPECT_EQ(Reloads(kIdB), 1u);
    EXPECT_EQ(Reloads(kIdA), 0u) << "the other controller was told";
    ASSERT_TRUE(ReadSettings(kNodeA, values, &error));
    EXPECT_FALSE(values[0].present) << "the other controller's key was written";
    touchsim::SimSummary summary = {};
    ASSERT_TRUE(sim.sim.GetSummary(&summary));
    EXPECT_EQ(summary.requests[kReload], 1u);
    ExpectDoubleClick(ExpectedDoubleClick(2, 40));

    // A second Apply without a change writes, sets and sends nothing: values changed behind the
    // program's back stay as they are.
    const uint32_t marker = 7;
    ASSERT_TRUE(WriteValue(kNodeB, L"DragDelay", REG_DWORD, &marker, 4, &error));
    const DoubleClickSettings sentinel = {11, 12, 654};
    ASSERT_TRUE(SetDoubleClick(sentinel));
    ASSERT_TRUE(ClickItem(dialog, kApply));
    Settle(1);
    ASSERT_TRUE(ReadSettings(kNodeB, values, &error));
    EXPECT_EQ(values[4].value, marker) << "the second Apply wrote the key";
    EXPECT_EQ(Reloads(kIdB), 1u) << "the second Apply sent a reload";
    ExpectDoubleClick(sentinel);

    // Back to mode 3: the region counts now.
    ASSERT_TRUE(PressUntil(pages.touchMode, kModeFirst + 3, [&] { return CheckedMode(pages.touchMode) == 3; }));
    ASSERT_TRUE(PressUntil(dialog, kApply, [&] { return Reloads(kIdB) >= 2; }));
    Settle(0);
    ExpectStored(kNodeB, Six{{0, 1003, 195, 3, 1498, 40}});
    ExpectDoubleClick(ExpectedDoubleClick(3, 40));

    // Cancel drops a change that was not applied.
    ASSERT_TRUE(SelectTab(dialog, 1));
    ASSERT_TRUE(PressUntil(pages.touchMode, kModeFirst + 0, [&] { return CheckedMode(pages.touchMode) == 0; }));
    Close();
    ExpectStored(kNodeB, Six{{0, 1003, 195, 3, 1498, 40}});
    EXPECT_EQ(Reloads(kIdB), 2u);
    EXPECT_EQ(setwell.FindMessage(), nullptr);
}

struct ApplyFailure {
    const char* what;
    enum { ReloadRefused, ReloadStalled, KeyGone } fault;
    int message;
    bool secondTriesAgain;  // the change did not reach the registry and is still pending
};

// Apply's failures: the message is the dialog's and what was done before the failure stays done.
// A change that reached the registry is committed: a second Apply without a change does nothing.
// One that did not is still pending: a second Apply tries it again rather than dropping it.
TEST_F(SetwellSettings, ApplyFailuresShowTheirMessageAndOnlyAPendingChangeIsTriedAgain)
{
    const ApplyFailure cases[] = {
        {"the driver refuses the reload", ApplyFailure::ReloadRefused, 5, false},
        {"the driver holds the reload for a minute", ApplyFailure::ReloadStalled, 5, false},
        {"the driver key is gone", ApplyFailure::KeyGone, 1, true},
    };
    for (const ApplyFailure& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(sim.Clear());
        ASSERT_NO_FATAL_FAILURE(Controllers(1));
        ASSERT_NO_FATAL_FAILURE(Open());
        const DoubleClickSettings sentinel = {11, 12, 654};
        ASSERT_TRUE(SetDoubleClick(sentinel));
        DWORD error = 0;
        if (c.fault == ApplyFailure::ReloadRefused) {
            ASSERT_TRUE(sim.sim.InjectFault(touch::IOCTL_TOUCH_RELOAD_SETTINGS, touchsim::kFaultError, 1,
                                            ERROR_GEN_FAILURE));
        } else if (c.fault == ApplyFailure::ReloadStalled) {
            ASSERT_TRUE(sim.sim.StallRequests(touch::IOCTL_TOUCH_RELOAD_SETTINGS, 60000));
        } else {
            ASSERT_TRUE(DeleteDriverKey(kNodeA, &error)) << "error " << error;
        }
        ASSERT_TRUE(SelectTab(dialog, 1));
        ASSERT_TRUE(PressUntil(pages.touchMode, kModeFirst + 0, [&] { return CheckedMode(pages.touchMode) == 0; }));
        for (int apply = 1; apply <= 2; ++apply) {
            SCOPED_TRACE(testing::Message() << "Apply " << apply);
            const bool acts = apply == 1 || c.secondTriesAgain;
            ASSERT_TRUE(ClickItem(dialog, kApply));
            if (acts) {
                // A held reload must not hold the dialog: its message comes long before the minute.
                HWND box = setwell.WaitForMessage(c.fault == ApplyFailure::ReloadStalled ? 30000 : 90000);
                ASSERT_NE(box, nullptr);
                EXPECT_EQ(MessageBoxText(box), MessageText(c.message));
                EXPECT_FALSE(MessageHasIcon(box));
                EXPECT_EQ(GetAncestor(MessageOwner(box), GA_ROOT), dialog);
                ASSERT_TRUE(Dismiss(box));
            }
            if (c.fault == ApplyFailure::ReloadStalled && apply == 1) {
                // The driver answers at last: the held reload is taken, once.
                ASSERT_TRUE(sim.sim.ClearFaults());
                ASSERT_TRUE(WaitFor([&] {
                    touchsim::SimSummary summary = {};
                    return sim.sim.GetSummary(&summary) && summary.requests[kReload] == 1 && summary.stalledRequests == 0;
                }, 10000));
            }
            Settle(apply == 1 ? 0 : 1);
            EXPECT_EQ(setwell.FindMessage(), nullptr) << "a message of its own";
            touchsim::SimSummary summary = {};
            ASSERT_TRUE(sim.sim.GetSummary(&summary));
            EXPECT_EQ(summary.requests[kReload], c.secondTriesAgain ? static_cast<uint32_t>(apply) : 1u)
                << "reloads asked for";
            if (c.fault != ApplyFailure::KeyGone) {
                ExpectStored(kNodeA, Six{{2, 1000, 32, 0, 0, 25}});
                ExpectDoubleClick(ExpectedDoubleClick(0, 25));
            } else {
                EXPECT_EQ(Reloads(kIdA), static_cast<uint32_t>(apply)) << "the reload is sent although the key could not be written";
                ExpectDoubleClick(sentinel);
            }
        }
        Close();
    }
}

struct RadioCase {
    int mode;
    bool slider, edit, spin;
};

TEST_F(SetwellSettings, EachModeEnablesItsControlsAndShowsItsDescription)
{
    ASSERT_NO_FATAL_FAILURE(Controllers(1));
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_TRUE(SelectTab(dialog, 1));
    const HWND page = pages.touchMode;
    EXPECT_EQ(CheckedMode(page), 3);
    EXPECT_TRUE(Enabled(page, kDragDelay) && Enabled(page, kRegion) && Enabled(page, kSpin)) << "mode 3 at start";

    const RadioCase cases[] = {
        {0, false, false, false}, {1, false, false, false}, {2, true, false, false}, {3, true, true, true},
        {1, false, false, false}, {2, true, false, false},
    };
    for (const RadioCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode);
        ASSERT_TRUE(ClickItem(page, kModeFirst + c.mode));
        auto matches = [&] {
            bool ok = CheckedMode(page) == c.mode && Enabled(page, kDragDelay) == c.slider &&
                      Enabled(page, kRegion) == c.edit && Enabled(page, kSpin) == c.spin;
            for (int m = 0; m < 4; ++m)
                ok = ok && Visible(page, kDescription[m]) == (m == c.mode);
            return ok;
        };
        WaitFor(matches, 10000);
        EXPECT_EQ(CheckedMode(page), c.mode);
        EXPECT_EQ(Enabled(page, kDragDelay), c.slider);
        EXPECT_EQ(Enabled(page, kRegion), c.edit);
        EXPECT_EQ(Enabled(page, kSpin), c.spin);
        for (int m = 0; m < 4; ++m)
            EXPECT_EQ(Visible(page, kDescription[m]), m == c.mode) << "description of mode " << m;
        for (int m = 0; m < 4; ++m)
            EXPECT_EQ(ItemText(page, kDescription[m]), InLanguage(L"说明：", L"Notes:"));
    }
    Close();
    EXPECT_EQ(Reloads(kIdA), 0u);
}

TEST_F(SetwellSettings, TheRegionSpinStopsAt25And100)
{
    ASSERT_NO_FATAL_FAILURE(Controllers(1));
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_TRUE(SelectTab(dialog, 1));
    const HWND page = pages.touchMode;
    auto region = [&] { return ItemText(page, kRegion); };
    EXPECT_EQ(region(), L"25");
    // Down at the lower end: stays; then one up shows 26, not 24 + 1.
    ASSERT_TRUE(ClickSpin(page, false));
    ASSERT_TRUE(ClickSpin(page, false));
    ASSERT_TRUE(ClickSpin(page, true));
    ASSERT_TRUE(WaitFor([&] { return region() == L"26"; }, 10000)) << "at 25: " << testing::PrintToString(region());
    // Arrow keys in the edit, past the upper end; then one down shows 99.
    std::vector<WORD> ups(74 + 5, VK_UP);
    ASSERT_TRUE(FocusAndKeys(page, kRegion, ups));
    ASSERT_TRUE(SendKey(VK_DOWN));
    ASSERT_TRUE(WaitFor([&] { return region() == L"99"; }, 30000)) << "at 100: " << testing::PrintToString(region());
    ASSERT_TRUE(ClickSpin(page, true));
    ASSERT_TRUE(ClickSpin(page, true));
    ASSERT_TRUE(ClickSpin(page, false));
    ASSERT_TRUE(WaitFor([&] { return region() == L"99"; }, 10000));
    Settle(0);
    EXPECT_EQ(region(), L"99");
    Close();
}

TEST_F(SetwellSettings, TabsShowTheirOwnPageOnly)
{
    ASSERT_NO_FATAL_FAILURE(Controllers(1));
    ASSERT_NO_FATAL_FAILURE(Open());
    auto onlyShown = [&](int tab) {
        for (int i = 0; i < 4; ++i) {
            if ((IsWindowVisible(pages.ByTab(i)) != FALSE) != (i == tab))
                return false;
        }
        return true;
    };
    EXPECT_EQ(SelectedTab(dialog), 0);
    EXPECT_TRUE(onlyShown(0)) << "the calibration page at start";
    HWND tab = GetDlgItem(dialog, kTab);
    EXPECT_EQ(SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0), 4);
    for (int index : {1, 2, 3, 0, 2, 1}) {
        SCOPED_TRACE(testing::Message() << "tab " << index);
        ASSERT_TRUE(SelectTab(dialog, index));
        EXPECT_TRUE(WaitFor([&] { return onlyShown(index); }, 10000));
        // The page lies below the titles and inside the tab control.
        RECT t = {}, p = {};
        GetWindowRect(tab, &t);
        GetWindowRect(pages.ByTab(index), &p);
        EXPECT_TRUE(p.left > t.left && p.top > t.top + 10 && p.right < t.right && p.bottom < t.bottom);
    }
    Close();
}

TEST_F(SetwellSettings, ReturnAndEscapeDoNothingAnywhere)
{
    ASSERT_NO_FATAL_FAILURE(Controllers(1));
    ASSERT_NO_FATAL_FAILURE(Open());
    // A pending change: if Return pressed OK, it would be stored; if Escape cancelled, we'd see it end.
    ASSERT_TRUE(SelectTab(dialog, 1));
    ASSERT_TRUE(PressUntil(pages.touchMode, kModeFirst + 1, [&] { return CheckedMode(pages.touchMode) == 1; }));
    struct Place {
        const char* what;
        int tab;
        HWND page;
        int id;
    } places[] = {
        {"touch-mode radio", 1, pages.touchMode, kModeFirst + 1},
        {"sound slider", 2, pages.sound, kBeepTime},
        {"sound list", 2, pages.sound, kBeepMode},
        {"calibrate button", 0, pages.calibration, kCalibrate},
        {"Apply button", 3, dialog, kApply},
    };
    for (const Place& p : places) {
        SCOPED_TRACE(p.what);
        ASSERT_TRUE(SelectTab(dialog, p.tab));
        if (p.id == kCalibrate || p.id == kApply || p.id == kBeepMode) {
            // Focus without pressing: tab to it from the tab control would depend on order; give
            // the focus directly, as a user would by tabbing.
            ASSERT_TRUE(WaitFor([&] {
                PostMessageW(p.page == dialog ? dialog : p.page, WM_NEXTDLGCTL,
                             reinterpret_cast<WPARAM>(GetDlgItem(p.page, p.id)), TRUE);
                GUITHREADINFO info = {};
                info.cbSize = sizeof info;
                return GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) &&
                       info.hwndFocus == GetDlgItem(p.page, p.id);
            }, 10000));
        } else {
            ASSERT_TRUE(FocusAndKeys(p.page, p.id, {}));
        }
        ASSERT_TRUE(SendKey(VK_RETURN));
        ASSERT_TRUE(SendKey(VK_ESCAPE));
        Settle(p.tab == 0 ? 1 : 0);
        EXPECT_TRUE(setwell.Proc().IsRunning());
        EXPECT_TRUE(IsWindowVisible(dialog));
        EXPECT_EQ(setwell.FindMessage(), nullptr);
        EXPECT_EQ(Reloads(kIdA), 0u) << "Return applied";
        if (p.page == pages.sound && p.id == kBeepMode) {
            EXPECT_EQ(ListIndex(pages.sound, kBeepMode), 2);
        }
    }
    StoredValue values[6];
    DWORD error = 0;
    ASSERT_TRUE(ReadSettings(kNodeA, values, &error));
    EXPECT_FALSE(values[3].present) << "something was stored";
    Close();
}

// Pictures of the four pages, for a person to look at; the logo's
// surroundings must be the page's own background.
TEST_F(SetwellSettings, PicturesOfEveryPage)
{
    ASSERT_NO_FATAL_FAILURE(Controllers(1));
    ASSERT_NO_FATAL_FAILURE(Open());
    const wchar_t* names[4] = {L"setwell-calibration.png", L"setwell-touchmode.png", L"setwell-sound.png",
                               L"setwell-about.png"};
    RECT rect = {};
    for (int i : {0, 1, 2, 3}) {
        ASSERT_TRUE(SelectTab(dialog, i));
        ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(pages.ByTab(i)) != FALSE; }, 10000));
        // Park the cursor off the dialog; the picture is taken once the dialog has painted.
        SetCursorPos(1000, 740);
        GetWindowRect(dialog, &rect);
        EXPECT_FALSE(CaptureSettledPng(names[i], dialog, &rect).empty());
    }
    // The logo: 102 x 32, centred across the page and in its upper half.
    RECT page = {};
    GetWindowRect(pages.about, &page);
    const LONG w = page.right - page.left, h = page.bottom - page.top;
    const LONG x = page.left + (w - 102) / 2, y = page.top + (h / 2 - 32) / 2;
    std::vector<unsigned char> background, corners;
    ASSERT_TRUE(CaptureScreenRgb(RECT{page.left + 2, page.top + 2, page.left + 3, page.top + 3}, background));
    for (POINT p : {POINT{x, y}, POINT{x + 101, y}, POINT{x, y + 31}, POINT{x + 101, y + 31}}) {
        ASSERT_TRUE(CaptureScreenRgb(RECT{p.x, p.y, p.x + 1, p.y + 1}, corners));
        EXPECT_TRUE(corners[0] == background[0] && corners[1] == background[1] && corners[2] == background[2])
            << "logo corner " << p.x << "," << p.y << " is " << int(corners[0]) << "," << int(corners[1]) << ","
            << int(corners[2]) << ", the page " << int(background[0]) << "," << int(background[1]) << ","
            << int(background[2]);
    }
    std::printf("page background %d,%d,%d\n", background[0], background[1], background[2]);

    // Minimised and restored it comes back whole. Without a window manager Wine leaves the
    // window's last picture on the screen while it is minimised, so there is no picture of that.
    ShowWindow(dialog, SW_MINIMIZE);
    EXPECT_TRUE(WaitFor([&] { return IsIconic(dialog) != FALSE; }, 10000));
    ShowWindow(dialog, SW_RESTORE);
    EXPECT_TRUE(WaitFor([&] { return IsIconic(dialog) == FALSE && IsWindowVisible(pages.about) != FALSE; }, 10000));
    Close();
}

} // namespace
