// The shipped Setwell.exe started as a process against the simulated driver: single instance,
// how many controllers there are, and the faults that end the program before its dialog shows.
#include "simulator/SimProtocol.h"
#include "tests/support/WineTestSupport.h"
#include "tests/wine/device/ListDriving.h"
#include "tests/wine/device/SimulatedControllers.h"
#include "tests/wine/setwell/SetwellSession.h"

#include <gtest/gtest.h>

#include <string>

using namespace qelvo::test;
using namespace setwelltest;

namespace {

const wchar_t kName1[] = L"\\Device\\TouchSim1";
const wchar_t kName2[] = L"\\Device\\TouchSim2";
const wchar_t kNode1[] = L"USB\\VID_0EEF&PID_0001\\SIM1";
const wchar_t kNode2[] = L"USB\\VID_0EEF&PID_0001\\SIM2";

class SetwellStartup : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sim.Start()) << "simulated driver: error " << sim.sim.LastError(); }
    void TearDown() override
    {
        for (Setwell* s : {&first, &second}) {
            if (s->Proc().IsRunning())
                s->Proc().Terminate();
        }
        EXPECT_TRUE(sim.Clear());
    }

    void Controllers(int n, bool driverKey = true)
    {
        ASSERT_TRUE(sim.AddController(101, kName1));
        touchsim::DeviceNodeSpec node;
        node.instanceId = kNode1;
        node.objectName = kName1;
        node.manufacturer = L"Qelvo Ltd";
        node.description = L"Qelvo USB Touch 1";
        node.driverKey = driverKey;
        ASSERT_TRUE(sim.AddNode(node));
        if (n > 1) {
            ASSERT_TRUE(sim.AddController(102, kName2));
            ASSERT_TRUE(sim.AddNode(kNode2, kName2, L"Qelvo Ltd", L"Qelvo USB Touch 2"));
        }
    }

    // Waits until the process ends, noting whether it showed a message box meanwhile.
    bool EndsWithoutMessage(Setwell& setwell, bool* sawMessage)
    {
        *sawMessage = false;
        return WaitFor(
            [&] {
                if (setwell.FindMessage() != nullptr)
                    *sawMessage = true;
                return !setwell.Proc().IsRunning();
            },
            90000);
    }

    SimulatedControllers sim;
    Setwell first;
    Setwell second;
};

void ExpectStartupMessage(HWND box, int id)
{
    ASSERT_NE(box, nullptr) << "no message " << id;
    EXPECT_EQ(MessageBoxText(box), MessageText(id));
    EXPECT_EQ(MessageOwner(box), nullptr) << "start-up messages have no owner";
    EXPECT_TRUE(MessageHasIcon(box)) << "start-up messages carry the exclamation icon";
}

TEST_F(SetwellStartup, SecondStartShowsMessage2AndTheFirstGoesOn)
{
    Controllers(1);
    ASSERT_TRUE(first.Start());
    HWND dialog = first.WaitForDialog();
    ASSERT_NE(dialog, nullptr);

    ASSERT_TRUE(second.Start());
    HWND box = second.WaitForMessage();
    ExpectStartupMessage(box, 2);
    EXPECT_EQ(second.WaitForDialog(0), nullptr);
    ASSERT_TRUE(Dismiss(box));
    EXPECT_TRUE(second.Ended()) << "the second start ends after its message";

    // The first is untouched: its dialog still answers and works.
    EXPECT_TRUE(first.Proc().IsRunning());
    EXPECT_TRUE(IsWindowVisible(dialog));
    DWORD_PTR result = 0;
    EXPECT_NE(SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result), 0);
    EXPECT_EQ(first.FindMessage(), nullptr);
    EXPECT_TRUE(SelectTab(dialog, 1));
    ASSERT_TRUE(PressUntil(dialog, IDCANCEL, [&] { return !first.Proc().IsRunning(); }));

    // The lock went with the first instance.
    Setwell third;
    ASSERT_TRUE(third.Start());
    dialog = third.WaitForDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(PressUntil(dialog, IDCANCEL, [&] { return !third.Proc().IsRunning(); }));
}

struct CountCase {
    const char* what;
    int controllers;
    enum { Message17, DialogAtOnce, SelectionThenCancel } outcome;
};

TEST_F(SetwellStartup, WhatStartUpDoesWithZeroOneAndTwoControllers)
{
    const CountCase cases[] = {
        {"no controller", 0, CountCase::Message17},
        {"one controller", 1, CountCase::DialogAtOnce},
        {"two controllers", 2, CountCase::SelectionThenCancel},
    };
    for (const CountCase& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(sim.Clear());
        if (c.controllers > 0)
            Controllers(c.controllers);
        Setwell setwell;
        ASSERT_TRUE(setwell.Start());
        switch (c.outcome) {
        case CountCase::Message17: {
            HWND box = setwell.WaitForMessage();
            ExpectStartupMessage(box, 17);
            ASSERT_TRUE(Dismiss(box));
            EXPECT_TRUE(setwell.Ended());
            break;
        }
        case CountCase::DialogAtOnce: {
            bool sawSelection = false;
            HWND dialog = nullptr;
            ASSERT_TRUE(WaitFor([&] {
                if (FindTopWindow({L"#32770", kSelectCaption, setwell.Id()}) != nullptr)
                    sawSelection = true;
                dialog = FindTopWindow({L"#32770", kCaption, setwell.Id()});
                return dialog != nullptr || sawSelection || !setwell.Proc().IsRunning();
            }, 90000));
            EXPECT_FALSE(sawSelection) << "one controller is taken without asking";
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(setwell.FindMessage(), nullptr);
            EXPECT_EQ(SelectedTab(dialog), 0);
            ASSERT_TRUE(PressUntil(dialog, IDCANCEL, [&] { return !setwell.Proc().IsRunning(); }));
            break;
        }
        case CountCase::SelectionThenCancel: {
            HWND select = setwell.WaitForSelection();
            ASSERT_NE(select, nullptr);
            EXPECT_EQ(RowCount(GetDlgItem(select, 1080)), 2);
            ASSERT_TRUE(PressUntil(select, IDCANCEL, [&] { return !IsWindow(select); }));
            bool sawMessage = false;
            ASSERT_TRUE(EndsWithoutMessage(setwell, &sawMessage));
            EXPECT_FALSE(sawMessage) << "a cancelled choice ends without a message";
            break;
        }
        }
        if (setwell.Proc().IsRunning())
            setwell.Proc().Terminate();
    }
}

// Faults that end the dialog's initialisation: the message is the dialog's (owned, no icon), the
// dialog never shows, and the program ends once the message is confirmed.
struct FaultCase {
    const char* what;
    enum { Open, Privilege, NoDriverKey } fault;
    int message;
};

TEST_F(SetwellStartup, FaultsAtTheDialogsStartShowTheirMessageAndEnd)
{
    const FaultCase cases[] = {
        {"control device cannot be opened", FaultCase::Open, 4},
        {"privilege not held", FaultCase::Privilege, 3},
        {"settings cannot be read (no driver key)", FaultCase::NoDriverKey, 1},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(sim.Clear());
        Setwell setwell;
        if (c.fault == FaultCase::NoDriverKey) {
            Controllers(1, /*driverKey=*/false);
            ASSERT_TRUE(setwell.Start());
        } else {
            // The selection dialog holds the program after discovery and before the dialog.
            Controllers(2);
            ASSERT_TRUE(setwell.Start());
            HWND select = setwell.WaitForSelection();
            ASSERT_NE(select, nullptr);
            if (c.fault == FaultCase::Open) {
                ASSERT_TRUE(sim.sim.SetDeviceLink(false)) << sim.sim.LastError();
            } else {
                std::string why;
                ASSERT_TRUE(DenyPrivileges(setwell.Proc().Handle(), &why)) << why;
            }
            HWND list = GetDlgItem(select, 1080);
            ASSERT_TRUE(ClickRow(select, list, 1));
            ASSERT_TRUE(WaitFor([&] { return SelectedRow(list) == 1; }, 10000));
            ASSERT_TRUE(PressUntil(select, IDOK, [&] { return !IsWindow(select); }));
        }
        HWND box = setwell.WaitForMessage();
        ASSERT_NE(box, nullptr) << (setwell.WaitForDialog(0) != nullptr ? "the dialog opened" : "nothing shown");
        EXPECT_EQ(MessageBoxText(box), MessageText(c.message));
        EXPECT_FALSE(MessageHasIcon(box)) << "a dialog's message carries no icon";
        HWND owner = MessageOwner(box);
        EXPECT_NE(owner, nullptr) << "a dialog's message is owned by it";
        if (owner != nullptr) {
            EXPECT_EQ(WindowText(owner), kCaption);
        }
        EXPECT_EQ(setwell.WaitForDialog(0), nullptr) << "the dialog must not show";
        ASSERT_TRUE(Dismiss(box));
        bool sawMessage = false;
        EXPECT_TRUE(EndsWithoutMessage(setwell, &sawMessage)) << "the program ends";
        EXPECT_FALSE(sawMessage) << "a second message";
        ASSERT_TRUE(sim.sim.SetDeviceLink(true));
        touchsim::SimSummary summary = {};
        ASSERT_TRUE(sim.sim.GetSummary(&summary));
        EXPECT_EQ(summary.openHandles, 1u) << "only the test's own handle is left open";
        EXPECT_EQ(summary.pendingFaults, 0u);
        EXPECT_EQ(summary.requests[touchsim::SuiteCodeIndex(touch::IOCTL_TOUCH_RELOAD_SETTINGS)], 0u);
        if (setwell.Proc().IsRunning())
            setwell.Proc().Terminate();
    }
}

} // namespace
