// A calibration is right when a touch made at a point lands on that point: nine points of a
// 1024 x 768 area, for a straight, an X-mirrored and a swapped panel, through the records sent
// with the suite's own control codes.
#include "SimTestSupport.h"

#include <cstdlib>

#include "calibrate/CalibrationMath.h"

namespace {

using namespace touch;
using simtest::Device;
using touchsim::PanelConfig;

const touchsim::Rect32 kArea = {0, 0, 1024, 768};
const touchsim::DesktopGeometry kDesktop = {kArea, 0x7FFF};
const uint32_t kId = 0x51;

struct PanelCase {
    const char* name;
    uint32_t mirrorX;
    uint32_t swapXY;
};

class LandingTest : public simtest::SimulatorTest, public ::testing::WithParamInterface<PanelCase> {
protected:
    void SetUp() override
    {
        simtest::SimulatorTest::SetUp();
        panel = touchsim::StraightPanel(kArea);
        panel.rawMinX = 150;
        panel.rawMaxX = 3950;
        panel.rawMinY = 260;
        panel.rawMaxY = 3840;
        panel.mirrorX = GetParam().mirrorX;
        panel.swapXY = GetParam().swapXY;
        ASSERT_TRUE(sim.AddController(kId, L"\\Device\\USBPDO-1", panel)) << sim.LastError();
        ASSERT_TRUE(device.Valid()) << device.OpenError();
    }

    void Send(const CalibrationRecord& cal, const ScreenRangeRecord& range)
    {
        DWORD bytes = 0;
        ASSERT_EQ(device.Control(IOCTL_TOUCH_SET_CALIBRATION, &cal, sizeof(cal), nullptr, 0, &bytes), 0u);
        ASSERT_EQ(device.Control(IOCTL_TOUCH_SET_SCREEN_RANGE, &range, sizeof(range), nullptr, 0, &bytes), 0u);
    }

    // Touches the nine points and returns how many landed more than 1 pixel away.
    int MissedPoints()
    {
        int missed = 0;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                int32_t x = 100 + i * 412;
                int32_t y = 80 + j * 304;
                touchsim::SimTouchResult r;
                EXPECT_TRUE(sim.TouchAt(kId, x, y, &r)) << sim.LastError();
                if (std::abs(r.landX - x) > 1 || std::abs(r.landY - y) > 1) {
                    ++missed;
                    ADD_FAILURE() << "touch at " << x << "," << y << " landed at " << r.landX << "," << r.landY;
                }
            }
        }
        return missed;
    }

    // The raw point the driver reports for a touch at a desktop point, polled as the calibration
    // program polls it.
    calibrate::RawPoint TouchTarget(int32_t x, int32_t y)
    {
        DWORD bytes = 0;
        DeviceIdRecord reset = {kId};
        EXPECT_EQ(device.Control(IOCTL_TOUCH_RESET_CAL_STATE, &reset, sizeof(reset), nullptr, 0, &bytes), 0u);
        EXPECT_TRUE(sim.TouchAt(kId, x, y));
        CalibrationStateRecord st = {kId, kCalStateWaiting, 0, 0};
        EXPECT_EQ(device.Control(IOCTL_TOUCH_GET_CAL_STATE, &st, sizeof(st), &st, sizeof(st), &bytes), 0u);
        EXPECT_EQ(st.state, kCalStateReady);
        return {st.rawX, st.rawY};
    }

    PanelConfig panel;
    Device device;
};

TEST_P(LandingTest, TouchesLandOnTheirPointsThroughTheMatchingRecord)
{
    CalibrationRecord cal = {};
    ScreenRangeRecord range = {};
    touchsim::MatchingCalibration(panel, kDesktop, &cal, &range);
    cal.deviceId = kId;
    range.deviceId = kId;
    Send(cal, range);
    EXPECT_EQ(MissedPoints(), 0);
}

TEST_P(LandingTest, TouchesLandOnTheirPointsThroughTheRecordComputedFromThreeTargets)
{
    auto targets = calibrate::ComputeTargets(1024, 768);
    calibrate::RawPoint p[3];
    for (int i = 0; i < 3; ++i)
        p[i] = TouchTarget(targets[i].x, targets[i].y);
    calibrate::CalibrationValues v = calibrate::ComputeCalibration(p[0], p[1], p[2]);
    EXPECT_EQ(v.SwapXY, panel.swapXY);
    CalibrationRecord cal = {kId, v.XLow, v.YLow, v.XHigh, v.YHigh, v.SwapXY};
    ScreenRangeRecord range = {kId, 0, 0x7FFF, 0, 0x7FFF};
    Send(cal, range);
    EXPECT_EQ(MissedPoints(), 0);
}

TEST_P(LandingTest, WithoutACalibrationOnlyAStraightFullRangePanelWouldLand)
{
    // The driver's default mapping takes the whole raw range; this panel's offsets (and its
    // mirror or swap) move every touch off its point.
    int missed = 0;
    for (int i = 0; i < 3; ++i) {
        touchsim::SimTouchResult r;
        ASSERT_TRUE(sim.MapAt(kId, 100 + i * 412, 80, &r));
        if (std::abs(r.landX - (100 + i * 412)) > 1 || std::abs(r.landY - 80) > 1)
            ++missed;
    }
    EXPECT_GT(missed, 0);
}

INSTANTIATE_TEST_SUITE_P(Panels, LandingTest,
                         ::testing::Values(PanelCase{"Straight", 0, 0}, PanelCase{"MirroredX", 1, 0},
                                           PanelCase{"Swapped", 0, 1}),
                         [](const ::testing::TestParamInfo<PanelCase>& info) { return std::string(info.param.name); });

} // namespace
