// The accuracy check of the line-drawing program: nine crosshairs over the window's work area and
// how far a touch meant for each of them landed. Portable (no <windows.h>), tested natively.
//
// Placement: the crosshairs stand at the corners, the edge middles and the centre of the area
// inset by a tenth of its width and height, so that the outer ones stay reachable on a panel
// whose edges are hard to touch. With the area's pixels 0..w-1, the columns are w/10, w/2 and
// (w-1)-w/10 (integer division; the outer two are mirror images), likewise the rows.
// A touch counts for the nearest crosshair within CaptureRadius of it; the point that counts is
// where the button is released (where a finger leaves the panel), and the latest touch wins.
#pragma once

#include <array>
#include <cstdint>

namespace scribe {

struct Point {
    int32_t x;
    int32_t y;
};

// right and bottom exclusive.
struct Area {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

constexpr int kCrosshairCount = 9;
// Half the length of a crosshair's lines in pixels; the read-out is placed below the lower arm.
constexpr int32_t kCrosshairArm = 20;

// Row by row from the top, left to right within a row: index 4 is the centre.
std::array<Point, kCrosshairCount> CrosshairPositions(const Area& area);

// A tenth of the shorter side, at least 8 pixels: far less than the crosshairs' spacing.
int32_t CaptureRadius(const Area& area);

// The crosshair that `p` is meant for (the nearest within the capture radius, the lower index on a
// tie), or -1.
int CrosshairAt(const Area& area, Point p);

struct Offset {
    int32_t dx;  // touch minus crosshair
    int32_t dy;
};

// The error of a touch in pixels: the straight distance.
double ErrorLength(Offset offset);

struct AccuracySummary {
    int measured;        // crosshairs touched
    double maxError;     // 0 when none
    double meanError;    // 0 when none
};

class AccuracyCheck {
public:
    // A new area moves the crosshairs: what was measured no longer applies and is forgotten.
    void SetArea(const Area& area);
    const Area& GetArea() const { return area_; }
    std::array<Point, kCrosshairCount> Crosshairs() const { return CrosshairPositions(area_); }

    // Records a touch released at `p`; the crosshair it counted for, or -1 (nothing recorded).
    int Record(Point p);
    bool Measured(int index) const;
    Offset OffsetOf(int index) const;
    AccuracySummary Summarise() const;
    void Clear();

private:
    Area area_ = {0, 0, 0, 0};
    std::array<bool, kCrosshairCount> measured_ = {};
    std::array<Offset, kCrosshairCount> offsets_ = {};
};

// Where the read-out of crosshair `index` goes: a box of the given size centred below the
// crosshair's lower arm, moved inside the area where it would stick out (above the crosshair
// when there is no room below).
Area ReadoutBox(const Area& area, int index, int32_t width, int32_t height);

} // namespace scribe
