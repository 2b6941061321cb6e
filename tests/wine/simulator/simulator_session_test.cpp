// Several handles and processes at once: what the settings program (holding a handle) and the
// calibration program it starts rely on.
#include "SimTestSupport.h"

namespace {

using namespace touch;
using simtest::Device;
using simtest::Field;
using simtest::RunProcess;
using simtest::ToolPath;

class SessionTest : public simtest::SimulatorTest {
protected:
    void SetUp() override
    {
        simtest::SimulatorTest::SetUp();
        ASSERT_TRUE(sim.AddController(5, L"\\Device\\USBPDO-9", touchsim::StraightPanel({0, 0, 1024, 768})));
    }
};

TEST_F(SessionTest, TwoHandlesOpenedWithShareModeZeroBothWork)
{
    Device first;
    Device second;
    ASSERT_TRUE(first.Valid()) << first.OpenError();
    ASSERT_TRUE(second.Valid()) << second.OpenError();
    TouchModeRecord set = {5, 2};
    DWORD bytes = 0;
    ASSERT_EQ(first.Control(IOCTL_TOUCH_SET_MODE, &set, sizeof(set), nullptr, 0, &bytes), 0u);
    TouchModeRecord get = {5, 0};
    ASSERT_EQ(second.Control(IOCTL_TOUCH_GET_MODE, &get, sizeof(get), &get, sizeof(get), &bytes), 0u);
    EXPECT_EQ(get.mode, 2u);

    touchsim::SimSummary summary;
    ASSERT_TRUE(sim.GetSummary(&summary));
    EXPECT_GE(summary.openHandles, 3u) << "the client's handle and the two above";
}

TEST_F(SessionTest, StateSetInOneProcessIsSeenByAnother)
{
    Device d;
    ASSERT_TRUE(d.Valid());
    TouchModeRecord set = {5, 1};
    DWORD bytes = 0;
    ASSERT_EQ(d.Control(IOCTL_TOUCH_SET_MODE, &set, sizeof(set), nullptr, 0, &bytes), 0u);
    DeviceIdRecord reset = {5};
    ASSERT_EQ(d.Control(IOCTL_TOUCH_RESET_CAL_STATE, &reset, sizeof(reset), nullptr, 0, &bytes), 0u);

    // Another process (the tool) reads what this one set, while this handle stays open.
    std::string out;
    ASSERT_EQ(RunProcess(ToolPath(), L"state 5", &out), 0u) << out;
    EXPECT_EQ(Field(out, "controller id=5 ", "mode"), "1") << out;
    EXPECT_EQ(Field(out, "controller id=5 ", "calstate"), "0x1667") << out;
    EXPECT_EQ(Field(out, "modes id=5 ", "history"), "1") << out;

    // And this process sees the touch the other one completes.
    ASSERT_EQ(RunProcess(ToolPath(), L"tap-raw 5 321 654", &out), 0u) << out;
    EXPECT_EQ(Field(out, "touch id=5 ", "raw"), "321,654") << out;
    CalibrationStateRecord st = {5, kCalStateWaiting, 0, 0};
    ASSERT_EQ(d.Control(IOCTL_TOUCH_GET_CAL_STATE, &st, sizeof(st), &st, sizeof(st), &bytes), 0u);
    EXPECT_EQ(st.state, kCalStateReady);
    EXPECT_EQ(st.rawX, 321);
    EXPECT_EQ(st.rawY, 654);

    // A fault injected by the tool hits this process's next request.
    ASSERT_EQ(RunProcess(ToolPath(), L"fault get-mode error 1 5", &out), 0u) << out;
    TouchModeRecord get = {5, 0};
    EXPECT_EQ(d.Control(IOCTL_TOUCH_GET_MODE, &get, sizeof(get), &get, sizeof(get), &bytes),
              static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(SessionTest, TheToolPrintsParsableStateAndRefusesBadUsage)
{
    std::string out;
    ASSERT_EQ(RunProcess(ToolPath(), L"panel 5 mirror=x swap=1 raw=100,3900,200,3800", &out), 0u) << out;
    ASSERT_EQ(RunProcess(ToolPath(), L"expect 5", &out), 0u) << out;
    EXPECT_EQ(Field(out, "expect-calibration id=5 ", "XLow"), "200") << out;
    EXPECT_EQ(Field(out, "expect-calibration id=5 ", "YLow"), "3900") << out;
    EXPECT_EQ(Field(out, "expect-calibration id=5 ", "SwapXY"), "1") << out;
    EXPECT_EQ(Field(out, "expect-range id=5 ", "XRange"), "32767") << out;
    ASSERT_EQ(RunProcess(ToolPath(), L"state", &out), 0u) << out;
    EXPECT_EQ(Field(out, "summary ", "controllers"), "1") << out;
    EXPECT_EQ(Field(out, "panel id=5 ", "mirror"), "x") << out;
    EXPECT_EQ(RunProcess(ToolPath(), L"tap 5 10", &out), 2u) << out;
    EXPECT_EQ(RunProcess(ToolPath(), L"tap 6 10 10", &out), 1u) << out;
    EXPECT_NE(out.find("error 55"), std::string::npos) << out;
    ASSERT_EQ(RunProcess(ToolPath(), L"--help", &out), 0u);
    EXPECT_NE(out.find("fault CODE KIND COUNT"), std::string::npos) << out;
}

} // namespace
