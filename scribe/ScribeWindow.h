// The line-drawing test window: covers the work area maximised, draws while the left button is
// pressed, keeps its strokes for repainting, and runs the accuracy check on its nine crosshairs.
// The read-outs are child statics, so their texts can be read from outside with WM_GETTEXT.
#pragma once

#include "framework/GenericWindow.h"
#include "framework/Handle.h"
#include "scribe/AccuracyCheck.h"
#include "scribe/StrokeStore.h"

#include <windows.h>

#include <string>

namespace scribe {

class ScribeWindow : public fw::GenericWindow {
public:
    // Creates the window and shows it maximised; the program ends when it is destroyed.
    // False (with the error in GetLastError) when it could not be made.
    bool CreateMaximised();

    const fw::MessageMap& Messages() const override;

private:
    bool PreCreateWindow(CREATESTRUCTW& cs) override;

    LRESULT OnCreate(UINT, WPARAM, LPARAM, bool&);
    LRESULT OnDestroy(UINT, WPARAM, LPARAM, bool&);
    LRESULT OnSize(UINT, WPARAM, LPARAM, bool&);
    LRESULT OnEraseBackground(UINT, WPARAM, LPARAM, bool&);
    LRESULT OnPaint(UINT, WPARAM, LPARAM, bool&);
    LRESULT OnLeftDown(UINT, WPARAM, LPARAM, bool&);
    LRESULT OnMouseMove(UINT, WPARAM, LPARAM, bool&);
    LRESULT OnLeftUp(UINT, WPARAM, LPARAM, bool&);
    LRESULT OnCaptureChanged(UINT, WPARAM, LPARAM, bool&);
    LRESULT OnRightUp(UINT, WPARAM, LPARAM, bool&);
    LRESULT OnKeyDown(UINT, WPARAM, LPARAM, bool&);
    LRESULT OnControlColour(UINT, WPARAM, LPARAM, bool&);
    void OnClear(UINT, UINT, HWND);

    bool CreateChildren();
    void LayOut();
    void ClearAll();
    void UpdateReadout(int index) const;
    int TextWidth(const std::wstring& text) const;
    void UpdateSummary() const;
    void DrawCrosshairs(HDC dc) const;
    void DrawStrokes(HDC dc) const;
    // Draws the segment from `from` to `to` (a dot when they are equal) at once.
    void DrawSegment(Point from, Point to) const;
    RECT MarkerRect(int index) const;

    StrokeStore strokes_;
    AccuracyCheck check_;
    Point lastPoint_ = {0, 0};
    fw::GdiObject<HFONT> font_;
    fw::GdiObject<HBRUSH> pageBrush_;
    fw::GdiObject<HPEN> strokePen_;
    fw::GdiObject<HBRUSH> strokeBrush_;
    fw::GdiObject<HPEN> crossPen_;
    fw::GdiObject<HPEN> markerPen_;
};

} // namespace scribe
