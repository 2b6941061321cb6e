#include "simulator/PanelModel.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using touchsim::DesktopGeometry;
using touchsim::PanelConfig;
using touchsim::Rect32;

const DesktopGeometry kSingle = {{0, 0, 1024, 768}, 0x7FFF};

// A touch at (x, y) through the panel and back through the matching calibration.
void Land(const PanelConfig& panel, const DesktopGeometry& desktop, int32_t x, int32_t y, int32_t* lx, int32_t* ly)
{
    touch::CalibrationRecord cal = {};
    touch::ScreenRangeRecord range = {};
    touchsim::MatchingCalibration(panel, desktop, &cal, &range);
    int32_t rx = 0, ry = 0;
    touchsim::DesktopToRaw(panel, x, y, 0, &rx, &ry);
    touchsim::RawToDesktop(cal, range, desktop, rx, ry, lx, ly);
}

void ExpectNinePointsLand(const PanelConfig& panel, const DesktopGeometry& desktop)
{
    const Rect32& a = panel.area;
    int32_t w = a.right - a.left, h = a.bottom - a.top;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            int32_t x = a.left + w / 10 + i * (w * 4 / 10);
            int32_t y = a.top + h / 10 + j * (h * 4 / 10);
            int32_t lx = 0, ly = 0;
            Land(panel, desktop, x, y, &lx, &ly);
            EXPECT_LE(std::abs(lx - x), 1) << "at " << x << "," << y;
            EXPECT_LE(std::abs(ly - y), 1) << "at " << x << "," << y;
        }
    }
}

TEST(PanelModel, StraightPanelRunsWithTheScreenAxes)
{
    PanelConfig p = touchsim::StraightPanel(kSingle.virtualScreen);
    int32_t rx = 0, ry = 0;
    touchsim::DesktopToRaw(p, 0, 0, 0, &rx, &ry);
    EXPECT_EQ(rx, 0);
    EXPECT_EQ(ry, 0);
    touchsim::DesktopToRaw(p, 1024, 768, 0, &rx, &ry);
    EXPECT_EQ(rx, 4095);
    EXPECT_EQ(ry, 4095);
    touchsim::DesktopToRaw(p, 512, 192, 0, &rx, &ry);
    EXPECT_EQ(rx, 2048);    // 4095 / 2 rounded
    EXPECT_EQ(ry, 1024);    // 4095 / 4 rounded
}

TEST(PanelModel, MirrorAndSwapChangeWhichRawAxisMovesAndWhichWay)
{
    PanelConfig p = touchsim::StraightPanel(kSingle.virtualScreen);
    p.rawMinX = 100;
    p.rawMaxX = 3900;
    p.rawMinY = 300;
    p.rawMaxY = 3700;
    p.mirrorX = 1;
    int32_t x0, y0, x1, y1;
    touchsim::DesktopToRaw(p, 0, 0, 0, &x0, &y0);
    touchsim::DesktopToRaw(p, 1024, 0, 0, &x1, &y1);
    EXPECT_EQ(x0, 3900);
    EXPECT_EQ(x1, 100);
    EXPECT_EQ(y0, 300);
    EXPECT_EQ(y1, 300);

    p.mirrorX = 0;
    p.swapXY = 1;
    // Swapped: moving along the screen's X moves the controller's Y, and the reverse.
    touchsim::DesktopToRaw(p, 0, 0, 0, &x0, &y0);
    touchsim::DesktopToRaw(p, 1024, 0, 0, &x1, &y1);
    EXPECT_EQ(x0, x1);
    EXPECT_EQ(y0, 300);
    EXPECT_EQ(y1, 3700);
    touchsim::DesktopToRaw(p, 0, 768, 0, &x1, &y1);
    EXPECT_EQ(x0, 100);
    EXPECT_EQ(x1, 3900);
    EXPECT_EQ(y1, y0);
}

TEST(PanelModel, MatchingCalibrationExpressesMirrorAndSwapAsTheCalibrationDoes)
{
    PanelConfig p = touchsim::StraightPanel(kSingle.virtualScreen);
    p.rawMinX = 100;
    p.rawMaxX = 3900;
    p.rawMinY = 300;
    p.rawMaxY = 3700;
    p.mirrorX = 1;
    touch::CalibrationRecord c = {};
    touch::ScreenRangeRecord r = {};
    touchsim::MatchingCalibration(p, kSingle, &c, &r);
    EXPECT_EQ(c.XLow, 3900);
    EXPECT_EQ(c.XHigh, 100);
    EXPECT_EQ(c.YLow, 300);
    EXPECT_EQ(c.YHigh, 3700);
    EXPECT_EQ(c.SwapXY, 0u);
    EXPECT_EQ(r.XMin, 0);
    EXPECT_EQ(r.XRange, 0x7FFF);

    p.mirrorX = 0;
    p.swapXY = 1;
    touchsim::MatchingCalibration(p, kSingle, &c, &r);
    // The X values belong to the raw axis along the screen's X: the controller's Y.
    EXPECT_EQ(c.XLow, 300);
    EXPECT_EQ(c.XHigh, 3700);
    EXPECT_EQ(c.YLow, 100);
    EXPECT_EQ(c.YHigh, 3900);
    EXPECT_EQ(c.SwapXY, 1u);
}

TEST(PanelModel, TouchesLandWhereTheyWereMadeThroughAMatchingCalibration)
{
    PanelConfig p = touchsim::StraightPanel(kSingle.virtualScreen);
    p.rawMinX = 180;
    p.rawMaxX = 3950;
    p.rawMinY = 240;
    p.rawMaxY = 3890;
    SCOPED_TRACE("straight");
    ExpectNinePointsLand(p, kSingle);
    p.mirrorX = 1;
    SCOPED_TRACE("mirrored in X");
    ExpectNinePointsLand(p, kSingle);
    p.mirrorX = 0;
    p.swapXY = 1;
    SCOPED_TRACE("swapped");
    ExpectNinePointsLand(p, kSingle);
    p.mirrorY = 1;
    SCOPED_TRACE("swapped and mirrored in Y");
    ExpectNinePointsLand(p, kSingle);
}

TEST(PanelModel, APanelOnTheLeftDisplayOfATwoDisplayDesktopUnderWindows2000)
{
    const DesktopGeometry desktop = {{-1024, 0, 1024, 768}, 0x3FFF};
    PanelConfig p = touchsim::StraightPanel({-1024, 0, 0, 768});
    p.mirrorY = 1;
    ExpectNinePointsLand(p, desktop);
    touch::CalibrationRecord c = {};
    touch::ScreenRangeRecord r = {};
    touchsim::MatchingCalibration(p, desktop, &c, &r);
    EXPECT_EQ(r.XMin, 0);
    EXPECT_EQ(r.XRange, 8191);
    EXPECT_EQ(r.YRange, 0x3FFF);
}

TEST(PanelModel, AWrongCalibrationDoesNotLandOnThePoint)
{
    PanelConfig p = touchsim::StraightPanel(kSingle.virtualScreen);
    p.mirrorX = 1;
    touch::CalibrationRecord cal = {};
    touch::ScreenRangeRecord range = {};
    touchsim::DefaultCalibration(kSingle, &cal, &range);
    int32_t rx, ry, lx, ly;
    touchsim::DesktopToRaw(p, 204, 153, 0, &rx, &ry);
    touchsim::RawToDesktop(cal, range, kSingle, rx, ry, &lx, &ly);
    EXPECT_EQ(lx, 820);
    EXPECT_EQ(ly, 153);
}

TEST(PanelModel, LandingIsClampedToTheVirtualScreenAndSurvivesDegenerateRecords)
{
    touch::CalibrationRecord cal = {0, 1000, 1000, 3000, 3000, 0};
    touch::ScreenRangeRecord range = {0, 0, 0x7FFF, 0, 0x7FFF};
    int32_t lx, ly;
    touchsim::RawToDesktop(cal, range, kSingle, 0, 4095, &lx, &ly);
    EXPECT_EQ(lx, 0);
    EXPECT_EQ(ly, 767);
    // Three touches on one spot give equal low and high edges: every touch maps to the low edge.
    touch::CalibrationRecord flat = {0, 2000, 2000, 2000, 2000, 0};
    touchsim::RawToDesktop(flat, range, kSingle, 2500, 100, &lx, &ly);
    EXPECT_EQ(lx, 0);
    EXPECT_EQ(ly, 0);
    // A range that reaches beyond the desktop still lands on it.
    touch::ScreenRangeRecord wide = {0, -8000, 40000, -8000, 40000};
    touchsim::RawToDesktop(cal, wide, kSingle, 1000, 3000, &lx, &ly);
    EXPECT_EQ(lx, 0);
    EXPECT_EQ(ly, 767);
}

TEST(PanelModel, NoiseIsDeterministicBoundedAndPresent)
{
    PanelConfig p = touchsim::StraightPanel(kSingle.virtualScreen);
    p.noise = 3;
    p.seed = 42;
    int32_t cleanX, cleanY;
    PanelConfig quiet = p;
    quiet.noise = 0;
    touchsim::DesktopToRaw(quiet, 500, 400, 0, &cleanX, &cleanY);
    bool moved = false;
    for (uint32_t seq = 0; seq < 50; ++seq) {
        int32_t x1, y1, x2, y2;
        touchsim::DesktopToRaw(p, 500, 400, seq, &x1, &y1);
        touchsim::DesktopToRaw(p, 500, 400, seq, &x2, &y2);
        EXPECT_EQ(x1, x2);
        EXPECT_EQ(y1, y2);
        EXPECT_LE(std::abs(x1 - cleanX), 3);
        EXPECT_LE(std::abs(y1 - cleanY), 3);
        moved = moved || x1 != cleanX || y1 != cleanY;
    }
    EXPECT_TRUE(moved);
}

TEST(PanelModel, NormalisationTruncatesAsTheCalibrationProgramDoes)
{
    const DesktopGeometry two = {{0, 0, 2048, 768}, 0x7FFF};
    EXPECT_EQ(touchsim::NormaliseX(two, 512), 8191);
    EXPECT_EQ(touchsim::NormaliseX(two, 1536), 24575);
    EXPECT_EQ(touchsim::NormaliseY(two, 768), 32767);
}

} // namespace
