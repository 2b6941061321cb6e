#include "scribe/ScribeWindow.h"

#include "framework/App.h"
#include "framework/PaintScope.h"
#include "scribe/resource.h"

#include <windowsx.h>

#include <cwchar>
#include <memory>
#include <new>
#include <string>

namespace scribe {

namespace {

const wchar_t kClassName[] = L"QelvoScribe";

constexpr COLORREF kStrokeColour = RGB(0, 0, 160);
constexpr COLORREF kCrossColour = RGB(200, 0, 0);
constexpr COLORREF kMarkerColour = RGB(0, 140, 0);
constexpr int kStrokeWidth = 3;
constexpr int kMarkerRadius = 4;

constexpr int kMargin = 8;
constexpr int kLineHeight = 18;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 24;
constexpr int kReadoutWidth = 200;

Point PointOf(LPARAM lParam)
{
    return Point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
}

// printf-style format from the string table; empty when the string is missing or does not fit.
template <class... Args>
std::wstring FormatText(UINT formatId, Args... args)
{
    const std::wstring format = fw::LoadText(formatId);
    if (format.empty())
        return std::wstring();
    wchar_t buffer[256];
    const int length = std::swprintf(buffer, sizeof buffer / sizeof buffer[0], format.c_str(), args...);
    return length < 0 ? std::wstring() : std::wstring(buffer, static_cast<size_t>(length));
}

} // namespace

bool ScribeWindow::CreateMaximised()
{
    RECT workArea = {0, 0, 640, 480};
    if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0))
        workArea = RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    const std::wstring title = fw::LoadText(IDS_TITLE);
    if (!Create(kClassName, title.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, workArea))
        return false;
    // Always maximised, whatever the starter asked for: the test needs the whole work area.
    ::ShowWindow(hwnd_, SW_SHOWMAXIMIZED);
    if (!::UpdateWindow(hwnd_))
        return false;
    return true;
}

bool ScribeWindow::PreCreateWindow(CREATESTRUCTW&)
{
    // No CS_DBLCLKS: the second press of a double click arrives as a plain press and draws.
    return RegisterWindowClass(kClassName, CS_HREDRAW | CS_VREDRAW, ::LoadCursorW(nullptr, IDC_CROSS), nullptr,
                               ::LoadIconW(nullptr, IDI_APPLICATION));
}

const fw::MessageMap& ScribeWindow::Messages() const
{
    static const fw::MessageEntry entries[] = {
        fw::OnMessage(WM_CREATE, &ScribeWindow::OnCreate),
        fw::OnMessage(WM_DESTROY, &ScribeWindow::OnDestroy),
        fw::OnMessage(WM_SIZE, &ScribeWindow::OnSize),
        fw::OnMessage(WM_ERASEBKGND, &ScribeWindow::OnEraseBackground),
        fw::OnMessage(WM_PAINT, &ScribeWindow::OnPaint),
        fw::OnMessage(WM_LBUTTONDOWN, &ScribeWindow::OnLeftDown),
        fw::OnMessage(WM_LBUTTONDBLCLK, &ScribeWindow::OnLeftDown),
        fw::OnMessage(WM_MOUSEMOVE, &ScribeWindow::OnMouseMove),
        fw::OnMessage(WM_LBUTTONUP, &ScribeWindow::OnLeftUp),
        fw::OnMessage(WM_CAPTURECHANGED, &ScribeWindow::OnCaptureChanged),
        fw::OnMessage(WM_RBUTTONUP, &ScribeWindow::OnRightUp),
        fw::OnMessage(WM_KEYDOWN, &ScribeWindow::OnKeyDown),
        fw::OnMessage(WM_CTLCOLORSTATIC, &ScribeWindow::OnControlColour),
        fw::OnCommand(IDC_CLEAR, &ScribeWindow::OnClear),
    };
    static const fw::MessageMap map(entries, &GenericWindow::Messages());
    return map;
}

LRESULT ScribeWindow::OnCreate(UINT, WPARAM, LPARAM, bool&)
{
    pageBrush_.Reset(::CreateSolidBrush(fw::kPageColour));
    strokeBrush_.Reset(::CreateSolidBrush(kStrokeColour));
    strokePen_.Reset(::CreatePen(PS_SOLID, kStrokeWidth, kStrokeColour));
    crossPen_.Reset(::CreatePen(PS_SOLID, 1, kCrossColour));
    markerPen_.Reset(::CreatePen(PS_SOLID, 2, kMarkerColour));
    if (!pageBrush_ || !strokeBrush_ || !strokePen_ || !crossPen_ || !markerPen_)
        return -1;
    // 10 points, as the suite's dialogs; when the face cannot be had the system font stays.
    LOGFONTW logFont = {};
    {
        fw::WindowDC dc(hwnd_, ::GetDC(hwnd_));
        const int dpi = dc.Get() != nullptr ? ::GetDeviceCaps(dc.Get(), LOGPIXELSY) : 96;
        logFont.lfHeight = -::MulDiv(10, dpi, 72);
    }
    logFont.lfWeight = FW_NORMAL;
    logFont.lfCharSet = GB2312_CHARSET;
    const std::wstring face = fw::LoadText(IDS_FONT_FACE);
    std::wcsncpy(logFont.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    font_.Reset(::CreateFontIndirectW(&logFont));
    return CreateChildren() ? 0 : -1;
}

bool ScribeWindow::CreateChildren()
{
    const HINSTANCE instance = fw::ProgramInstance();
    const DWORD staticStyle = WS_CHILD | WS_VISIBLE | SS_NOPREFIX;
    struct Child {
        const wchar_t* className;
        DWORD style;
        int id;
        UINT textId;
    };
    const Child children[] = {
        {L"STATIC", staticStyle | SS_LEFT, IDC_SUMMARY, IDS_HINT},
        {L"BUTTON", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, IDC_CLEAR, IDS_CLEAR},
    };
    for (const Child& child : children) {
        const std::wstring text = fw::LoadText(child.textId);
        HWND hwnd = ::CreateWindowExW(0, child.className, text.c_str(), child.style, 0, 0, 0, 0, hwnd_,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(child.id)), instance, nullptr);
        if (hwnd == nullptr)
            return false;
        if (font_)
            ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
    }
    const std::wstring waiting = fw::LoadText(IDS_POINT_WAITING);
    for (int i = 0; i < kCrosshairCount; ++i) {
        HWND hwnd = ::CreateWindowExW(0, L"STATIC", waiting.c_str(), staticStyle | SS_CENTER, 0, 0, 0, 0, hwnd_,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_READOUT_FIRST + i)),
                                      instance, nullptr);
        if (hwnd == nullptr)
            return false;
        if (font_)
            ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
    }
    return true;
}

LRESULT ScribeWindow::OnDestroy(UINT, WPARAM, LPARAM, bool&)
{
    ::PostQuitMessage(0);
    return 0;
}

LRESULT ScribeWindow::OnSize(UINT, WPARAM wParam, LPARAM, bool&)
{
    if (wParam != SIZE_MINIMIZED)
        LayOut();
    return 0;
}

void ScribeWindow::LayOut()
{
    const RECT client = ClientRect();
    check_.SetArea(Area{client.left, client.top, client.right, client.bottom});
    const int width = client.right - client.left;
    ::MoveWindow(Item(IDC_SUMMARY), kMargin, kMargin, width - 3 * kMargin - kButtonWidth, kLineHeight, TRUE);
    ::MoveWindow(Item(IDC_CLEAR), width - kMargin - kButtonWidth, kMargin - 3, kButtonWidth, kButtonHeight, TRUE);
    for (int i = 0; i < kCrosshairCount; ++i)
        UpdateReadout(i);
    UpdateSummary();
}

int ScribeWindow::TextWidth(const std::wstring& text) const
{
    fw::WindowDC dc(hwnd_, ::GetDC(hwnd_));
    if (dc.Get() == nullptr)
        return kReadoutWidth;
    fw::SelectedObject font(dc.Get(), font_.Get());
    SIZE size = {};
    if (!::GetTextExtentPoint32W(dc.Get(), text.c_str(), static_cast<int>(text.size()), &size))
        return kReadoutWidth;
    return size.cx;
}

void ScribeWindow::UpdateReadout(int index) const
{
    std::wstring text;
    if (check_.Measured(index)) {
        const Offset offset = check_.OffsetOf(index);
        text = FormatText(IDS_POINT_ERROR, ErrorLength(offset), static_cast<int>(offset.dx),
                          static_cast<int>(offset.dy));
    } else {
        text = fw::LoadText(IDS_POINT_WAITING);
    }
    // Just as wide as its text, so that it hides as little of the strokes as it can.
    const HWND readout = Item(IDC_READOUT_FIRST + index);
    const Area box = ReadoutBox(check_.GetArea(), index, TextWidth(text) + 4, kLineHeight);
    ::MoveWindow(readout, box.left, box.top, box.right - box.left, box.bottom - box.top, TRUE);
    ::SetWindowTextW(readout, text.c_str());
}

void ScribeWindow::UpdateSummary() const
{
    const AccuracySummary summary = check_.Summarise();
    std::wstring text = summary.measured > 0
                            ? FormatText(IDS_SUMMARY, summary.maxError, summary.meanError, summary.measured)
                            : fw::LoadText(IDS_HINT);
    if (strokes_.Overflowed())
        text += L" " + fw::LoadText(IDS_STORE_FULL);
    ::SetDlgItemTextW(hwnd_, IDC_SUMMARY, text.c_str());
}

LRESULT ScribeWindow::OnEraseBackground(UINT, WPARAM wParam, LPARAM, bool&)
{
    const RECT client = ClientRect();
    ::FillRect(reinterpret_cast<HDC>(wParam), &client, pageBrush_.Get());
    return 1;
}

LRESULT ScribeWindow::OnPaint(UINT, WPARAM, LPARAM, bool&)
{
    const fw::PaintScope paint(hwnd_);
    if (paint.Dc() == nullptr)
        return 0;
    DrawCrosshairs(paint.Dc());
    DrawStrokes(paint.Dc());
    return 0;
}

void ScribeWindow::DrawCrosshairs(HDC dc) const
{
    const std::array<Point, kCrosshairCount> points = check_.Crosshairs();
    {
        fw::SelectedObject pen(dc, crossPen_.Get());
        fw::SelectedObject brush(dc, ::GetStockObject(NULL_BRUSH));
        for (const Point& p : points) {
            ::MoveToEx(dc, p.x - kCrosshairArm, p.y, nullptr);
            ::LineTo(dc, p.x + kCrosshairArm + 1, p.y);
            ::MoveToEx(dc, p.x, p.y - kCrosshairArm, nullptr);
            ::LineTo(dc, p.x, p.y + kCrosshairArm + 1);
            ::Ellipse(dc, p.x - kCrosshairArm / 2, p.y - kCrosshairArm / 2, p.x + kCrosshairArm / 2 + 1,
                      p.y + kCrosshairArm / 2 + 1);
        }
    }
    // Where each measured touch landed.
    fw::SelectedObject pen(dc, markerPen_.Get());
    fw::SelectedObject brush(dc, ::GetStockObject(NULL_BRUSH));
    for (int i = 0; i < kCrosshairCount; ++i) {
        if (!check_.Measured(i))
            continue;
        const RECT r = MarkerRect(i);
        ::Ellipse(dc, r.left, r.top, r.right, r.bottom);
    }
}

RECT ScribeWindow::MarkerRect(int index) const
{
    const Point centre = check_.Crosshairs()[index];
    const Offset offset = check_.OffsetOf(index);
    const int x = centre.x + offset.dx;
    const int y = centre.y + offset.dy;
    return RECT{x - kMarkerRadius, y - kMarkerRadius, x + kMarkerRadius + 1, y + kMarkerRadius + 1};
}

void ScribeWindow::DrawStrokes(HDC dc) const
{
    fw::SelectedObject pen(dc, strokePen_.Get());
    fw::SelectedObject brush(dc, strokeBrush_.Get());
    // Point is two 32-bit integers like POINT; drawn in pieces that every GDI accepts.
    const size_t kPiece = 4001;
    std::unique_ptr<POINT[]> piece(new (std::nothrow) POINT[kPiece]);
    if (piece == nullptr)
        return;
    for (size_t i = 0; i < strokes_.StrokeCount(); ++i) {
        size_t count = 0;
        const Point* points = strokes_.StrokePoints(i, &count);
        if (count == 1) {
            ::Ellipse(dc, points[0].x - 1, points[0].y - 1, points[0].x + 2, points[0].y + 2);
            continue;
        }
        for (size_t first = 0; first + 1 < count; first += kPiece - 1) {
            const size_t end = first + kPiece < count ? first + kPiece : count;
            for (size_t k = first; k < end; ++k)
                piece[k - first] = POINT{points[k].x, points[k].y};
            ::Polyline(dc, piece.get(), static_cast<int>(end - first));
        }
    }
}

void ScribeWindow::DrawSegment(Point from, Point to) const
{
    fw::WindowDC dc(hwnd_, ::GetDC(hwnd_));
    if (dc.Get() == nullptr)
        return;
    fw::SelectedObject pen(dc.Get(), strokePen_.Get());
    fw::SelectedObject brush(dc.Get(), strokeBrush_.Get());
    if (from.x == to.x && from.y == to.y) {
        ::Ellipse(dc.Get(), to.x - 1, to.y - 1, to.x + 2, to.y + 2);
        return;
    }
    ::MoveToEx(dc.Get(), from.x, from.y, nullptr);
    ::LineTo(dc.Get(), to.x, to.y);
}

LRESULT ScribeWindow::OnLeftDown(UINT, WPARAM, LPARAM lParam, bool&)
{
    const Point p = PointOf(lParam);
    ::SetFocus(hwnd_);
    ::SetCapture(hwnd_);
    const bool wasFull = strokes_.Overflowed();
    if (strokes_.Begin(p)) {
        lastPoint_ = p;
        DrawSegment(p, p);
    } else if (!wasFull) {
        UpdateSummary();
    }
    return 0;
}

LRESULT ScribeWindow::OnMouseMove(UINT, WPARAM wParam, LPARAM lParam, bool&)
{
    if ((wParam & MK_LBUTTON) == 0 || !strokes_.IsOpen())
        return 0;
    const Point p = PointOf(lParam);
    const bool wasFull = strokes_.Overflowed();
    if (strokes_.Extend(p)) {
        DrawSegment(lastPoint_, p);
        lastPoint_ = p;
    } else if (!wasFull && strokes_.Overflowed()) {
        UpdateSummary();
    }
    return 0;
}

LRESULT ScribeWindow::OnLeftUp(UINT, WPARAM, LPARAM lParam, bool&)
{
    const Point p = PointOf(lParam);
    if (strokes_.IsOpen()) {
        if (strokes_.Extend(p))
            DrawSegment(lastPoint_, p);
        strokes_.End();
    }
    if (::GetCapture() == hwnd_)
        ::ReleaseCapture();
    const int index = check_.Record(p);
    if (index >= 0) {
        UpdateReadout(index);
        UpdateSummary();
        // The old marker goes, the new one comes: the crosshair's neighbourhood is painted anew.
        ::InvalidateRect(hwnd_, nullptr, TRUE);
    } else if (strokes_.Overflowed()) {
        UpdateSummary();
    }
    return 0;
}

LRESULT ScribeWindow::OnCaptureChanged(UINT, WPARAM, LPARAM, bool&)
{
    strokes_.End();
    return 0;
}

LRESULT ScribeWindow::OnRightUp(UINT, WPARAM, LPARAM, bool&)
{
    ClearAll();
    return 0;
}

LRESULT ScribeWindow::OnKeyDown(UINT, WPARAM wParam, LPARAM, bool& handled)
{
    if (wParam != VK_ESCAPE) {
        handled = false;
        return 0;
    }
    DestroyWindow();
    return 0;
}

LRESULT ScribeWindow::OnControlColour(UINT, WPARAM wParam, LPARAM, bool&)
{
    HDC dc = reinterpret_cast<HDC>(wParam);
    ::SetBkColor(dc, fw::kPageColour);
    ::SetTextColor(dc, RGB(0, 0, 0));
    return reinterpret_cast<LRESULT>(pageBrush_.Get());
}

void ScribeWindow::OnClear(UINT, UINT, HWND)
{
    ClearAll();
    // Keys go to the window again, so that Esc still closes it.
    ::SetFocus(hwnd_);
}

void ScribeWindow::ClearAll()
{
    strokes_.Clear();
    check_.Clear();
    for (int i = 0; i < kCrosshairCount; ++i)
        UpdateReadout(i);
    UpdateSummary();
    ::InvalidateRect(hwnd_, nullptr, TRUE);
}

} // namespace scribe
