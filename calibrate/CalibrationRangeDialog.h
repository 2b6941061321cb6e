// The custom calibration range: two corners in virtual-screen pixels, typed or set by dragging
// a target out of one of two icons to the corner's place on the screen. DisplaySelectDialog's
// RunCustomRange runs it and checks the result.
#pragma once

#include "calibrate/Geometry.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"

#include <windows.h>

#include <cstdint>

namespace calibrate {

// Notifications a DragIcon sends its parent (WM_NOTIFY, synchronously).
constexpr UINT kDragStarted = 0x57C;  // NMHDR only
constexpr UINT kDragMoved = 0x57D;    // DragMoveNotification
constexpr UINT kDragEnded = 0x57E;    // NMHDR only

struct DragMoveNotification {
    NMHDR header;
    int32_t x;  // the mouse, in screen coordinates
    int32_t y;
};

// Inverts `rect` (virtual-screen pixels) on the whole desktop: the border drawn with `pen`'s
// width and the interior. Doing it twice with the same pen and rectangle restores the screen.
bool InvertRange(HPEN pen, const Rect& rect);

// A static icon control whose target can be dragged out of it: while the left button is held
// the control shows the empty window picture and the cursor is the target.
class DragIcon : public fw::Static {
public:
    ~DragIcon() override;

    bool IsDragging() const { return dragging; }

    const fw::MessageMap& Messages() const override;

private:
    LRESULT OnButtonDown(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    LRESULT OnMouseMove(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    LRESULT OnButtonUp(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    LRESULT OnCaptureChanged(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    void EndDrag(bool releaseCapture);
    void Notify(UINT code, const POINT* screen);

    bool dragging = false;
};

class CalibrationRangeDialog : public fw::Dialog {
public:
    explicit CalibrationRangeDialog(HWND parent);
    ~CalibrationRangeDialog() override;

    // The chosen area in virtual-screen pixels; kept between showings. After OK it holds what
    // the four boxes held.
    Rect range{};

    bool PreTranslateMessage(MSG& msg) override;
    const fw::MessageMap& Messages() const override;

protected:
    // Edit boxes <-> range, in the order bottom, left, right, top.
    void DoDataExchange(fw::DataExchange& dx) override;
    bool OnInitDialog() override;

private:
    LRESULT OnMove(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    LRESULT OnQueryDragIcon(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    LRESULT OnDestroy(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    LRESULT OnDragStarted(NMHDR& header);
    LRESULT OnDragMoved(NMHDR& header);
    LRESULT OnDragEnded(NMHDR& header);
    void OnShowRange(UINT id, UINT code, HWND control);

    // Takes back the rectangle inverted during a drag, if one is on the screen.
    void RestoreDragged();

    HICON icon = nullptr;
    DragIcon bottomRightIcon;
    DragIcon topLeftIcon;
    bool initialised = false;
    Rect lastDrawn{};
    bool lastDrawnShown = false;  // lastDrawn is inverted on the screen now
    HPEN thinPen = nullptr;
    HPEN thickPen = nullptr;
};

} // namespace calibrate
