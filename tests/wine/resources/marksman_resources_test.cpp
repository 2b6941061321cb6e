#include "resource.h"
#include "DeviceSelectResource.h"
#include "calibrate/CalibrationMath.h"

#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cwchar>
#include <set>
#include <vector>

namespace {

const COLORREF kBackground = RGB(212, 222, 244);

struct Brush {
    HBRUSH handle = CreateSolidBrush(kBackground);
    ~Brush() { if (handle) DeleteObject(handle); }
};

Brush& TheBrush()
{
    static Brush brush;
    return brush;
}

INT_PTR CALLBACK PaintedDialog(HWND, UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        SetBkColor(reinterpret_cast<HDC>(wParam), kBackground);
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<INT_PTR>(TheBrush().handle);
    }
    return FALSE;
}

struct Dialog {
    HWND hwnd;
    explicit Dialog(int id)
        : hwnd(CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), nullptr, PaintedDialog, 0)) {}
    ~Dialog() { if (hwnd) DestroyWindow(hwnd); }
};

void PumpMessages()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Pumps messages until pred() holds or timeoutMs passes; returns pred()'s last value.
template <class Pred>
bool WaitFor(Pred pred, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - start > timeoutMs) return false;
        PumpMessages();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

class MarksmanResources : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_ANIMATE_CLASS};
        ASSERT_TRUE(InitCommonControlsEx(&icc));
    }
};

TEST_F(MarksmanResources, TemplatesMakeDialogsWithTheirControls)
{
    const std::vector<std::pair<int, std::vector<int>>> templates = {
        {IDD_DEVICE_SELECT, {IDOK, IDCANCEL, IDC_DEVICE_LIST, IDC_DEVICE_MANUFACTURER, IDC_DEVICE_DESCRIPTION}},
        {IDD_CALIBRATION, {IDC_TARGET, IDC_UPPER_PROMPT, IDC_LOWER_PROMPT}},
        {IDD_DISPLAY_SELECT, {IDOK, IDCANCEL, IDC_DISPLAY_NAME, IDC_DISPLAY_RESOLUTION, IDC_IDENTIFY,
                              IDC_DISPLAY_PREVIEW, IDC_CUSTOM_RANGE}},
        {IDD_CALIBRATION_RANGE, {IDOK, IDCANCEL, IDC_TOP_LEFT_ICON, IDC_BOTTOM_RIGHT_ICON, IDC_RANGE_LEFT,
                                 IDC_RANGE_RIGHT, IDC_RANGE_TOP, IDC_RANGE_BOTTOM, IDC_SHOW_RANGE}},
    };
    for (const auto& [id, controls] : templates) {
        Dialog dialog(id);
        ASSERT_NE(dialog.hwnd, nullptr) << "template " << id << " error " << GetLastError();
        for (int control : controls)
            EXPECT_NE(GetDlgItem(dialog.hwnd, control), nullptr) << "template " << id << " control " << control;
    }
    Dialog range(IDD_CALIBRATION_RANGE);
    ASSERT_NE(range.hwnd, nullptr);
    for (int control : {IDC_TOP_LEFT_ICON, IDC_BOTTOM_RIGHT_ICON})
        EXPECT_NE(SendDlgItemMessageW(range.hwnd, control, STM_GETICON, 0, 0), 0) << control;
}

// Every row of the target table has a prompt of its own that names the corner the target sits in.
TEST_F(MarksmanResources, EachTargetPromptNamesItsCorner)
{
    const wchar_t* const corners[2][2] = {{L"左上角", L"左下角"}, {L"右上角", L"右下角"}};
    std::set<unsigned> prompts;
    for (const calibrate::TargetSpec& target : calibrate::kTargets) {
        wchar_t text[256] = {};
        ASSERT_GT(LoadStringW(GetModuleHandleW(nullptr), target.promptId, text, 256), 0) << target.promptId;
        EXPECT_NE(std::wcsstr(text, corners[target.right][target.bottom]), nullptr) << "prompt " << target.promptId;
        EXPECT_TRUE(prompts.insert(target.promptId).second) << "prompt " << target.promptId << " twice";
    }
    EXPECT_EQ(prompts.size(), 3u);
}

TEST_F(MarksmanResources, CursorsKeepTheirHotSpots)
{
    const struct { int id; DWORD x, y; } cursors[] = {{IDCUR_BLANK, 15, 15}, {IDCUR_DRAG_TARGET, 16, 16}};
    for (const auto& c : cursors) {
        HCURSOR cursor = LoadCursorW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(c.id));
        ASSERT_NE(cursor, nullptr) << c.id << " error " << GetLastError();
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(cursor, &info)) << c.id;
        EXPECT_FALSE(info.fIcon) << c.id;
        EXPECT_EQ(info.xHotspot, c.x) << c.id;
        EXPECT_EQ(info.yHotspot, c.y) << c.id;
        if (info.hbmMask) DeleteObject(info.hbmMask);
        if (info.hbmColor) DeleteObject(info.hbmColor);
    }
}

TEST_F(MarksmanResources, IconsLoadAtTheirSizes)
{
    const struct { int id; int size; } icons[] = {
        {IDI_MARKSMAN, 32}, {IDI_MARKSMAN, 16}, {IDI_DRAG_WINDOW, 32}, {IDI_DRAG_TARGET, 32}};
    for (const auto& i : icons) {
        HICON icon = static_cast<HICON>(
            LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(i.id), IMAGE_ICON, i.size, i.size, 0));
        ASSERT_NE(icon, nullptr) << i.id << " error " << GetLastError();
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(icon, &info)) << i.id;
        BITMAP bm = {};
        ASSERT_NE(GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bm), &bm), 0) << i.id;
        EXPECT_EQ(bm.bmWidth, i.size) << i.id;
        if (info.hbmMask) DeleteObject(info.hbmMask);
        if (info.hbmColor) DeleteObject(info.hbmColor);
        DestroyIcon(icon);
    }
}

// The clip opens in the calibration window's animation control, sizes it to 71 x 71, plays, and
// shows its white background in the window's colour.
TEST_F(MarksmanResources, TargetClipPlaysOnTheWindowColour)
{
    Dialog dialog(IDD_CALIBRATION);
    ASSERT_NE(dialog.hwnd, nullptr);
    ASSERT_TRUE(SetWindowPos(dialog.hwnd, HWND_TOP, 0, 0, 300, 200, SWP_SHOWWINDOW));
    HWND target = GetDlgItem(dialog.hwnd, IDC_TARGET);
    ASSERT_NE(target, nullptr);
    ASSERT_TRUE(SendMessageW(target, ACM_OPENW, 0, reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(IDR_TARGET_ANIMATION))));
    RECT rect = {};
    ASSERT_TRUE(GetWindowRect(target, &rect));
    EXPECT_EQ(rect.right - rect.left, 71);
    EXPECT_EQ(rect.bottom - rect.top, 71);
    ASSERT_TRUE(SendMessageW(target, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF)));

    HDC dc = GetDC(target);
    ASSERT_NE(dc, nullptr);
    COLORREF corner = CLR_INVALID, crossHair = CLR_INVALID;
    bool shown = WaitFor([&] {
        corner = GetPixel(dc, 1, 1);
        crossHair = GetPixel(dc, 2, 35);
        return corner == kBackground && crossHair == RGB(0, 0, 255);
    }, 20000);
    ReleaseDC(target, dc);
    EXPECT_TRUE(shown) << std::hex << "corner 0x" << corner << ", cross-hair 0x" << crossHair;
    EXPECT_TRUE(SendMessageW(target, ACM_STOP, 0, 0));
}

}  // namespace
