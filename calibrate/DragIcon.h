// The corner icons of the custom range dialog and what they tell their parent while dragged.
#pragma once

#include "framework/Controls.h"

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

// A static icon control whose target can be dragged out of it: while the left button is held
// the control shows the empty window picture and the cursor is the target.
class DragIcon : public fw::Control {
public:
    ~DragIcon() override;

    bool IsDragging() const { return dragging_; }

    const fw::MessageMap& Messages() const override;

private:
    LRESULT OnButtonDown(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    LRESULT OnMouseMove(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    LRESULT OnButtonUp(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    LRESULT OnCaptureChanged(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    void EndDrag(bool releaseCapture);
    void Notify(UINT code, const POINT* screen);

    bool dragging_ = false;
};

} // namespace calibrate
