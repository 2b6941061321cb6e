#include "SmokeDialog.h"

#include "SmokeResource.h"

#include <string>

namespace {
const COLORREF kStatusColour = RGB(212, 222, 244);
}

SmokePage::SmokePage() : Dialog(IDD_SMOKE_PAGE) {}

bool SmokePage::PreTranslateMessage(MSG& msg)
{
    if (msg.message != WM_KEYDOWN)
        return false;
    ++keyDownsSeen;
    if (msg.wParam == VK_RETURN) {
        ++enterSwallowed;
        return true;
    }
    return false;
}

const fw::MessageMap& PokeStatic::Messages() const
{
    static const fw::MessageEntry entries[] = {
        fw::OnMessage(WM_LBUTTONDOWN, &PokeStatic::OnLeftButtonDown),
    };
    static const fw::MessageMap map(entries, &Control::Messages());
    return map;
}

LRESULT PokeStatic::OnLeftButtonDown(UINT, WPARAM, LPARAM, bool& handled)
{
    NMHDR header = {};
    header.hwndFrom = hwnd_;
    header.idFrom = static_cast<UINT_PTR>(::GetDlgCtrlID(hwnd_));
    header.code = SMOKE_NOTIFY_POKED;
    ::SendMessageW(::GetParent(hwnd_), WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
    handled = false;
    return 0;
}

bool TileButton::DrawItem(const DRAWITEMSTRUCT& item)
{
    if ((item.itemAction & ODA_DRAWENTIRE) == 0)
        return true;
    HBRUSH face = ::CreateSolidBrush(RGB(58, 110, 165));
    if (face != nullptr) {
        ::FillRect(item.hDC, &item.rcItem, face);
        ::DeleteObject(face);
    }
    const std::wstring text = std::to_wstring(number_);
    RECT rect = item.rcItem;
    ::SetTextColor(item.hDC, RGB(255, 255, 255));
    ::SetBkMode(item.hDC, TRANSPARENT);
    ::DrawTextW(item.hDC, text.c_str(), -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    ++draws;
    return true;
}

SmokeDialog::SmokeDialog(HWND parent) : Dialog(IDD_SMOKE, parent) {}

const fw::MessageMap& SmokeDialog::Messages() const
{
    static const fw::MessageEntry entries[] = {
        fw::OnMessage(WM_SHOWWINDOW, &SmokeDialog::OnShowWindow),
        fw::OnMessage(WM_SMOKE_END, &SmokeDialog::OnEndRequest),
        fw::OnCommand(IDC_SMOKE_COUNT, &SmokeDialog::OnCount),
        fw::OnCommandRange(IDC_SMOKE_TILE_FIRST, IDC_SMOKE_TILE_LAST, &SmokeDialog::OnTile),
        fw::OnControl(IDC_SMOKE_LIST, LBN_DBLCLK, &SmokeDialog::OnListDoubleClick),
        fw::OnNotify(IDC_SMOKE_POKE, SMOKE_NOTIFY_POKED, &SmokeDialog::OnPoked),
    };
    static const fw::MessageMap map(entries, &Dialog::Messages());
    return map;
}

bool SmokeDialog::OnInitDialog()
{
    if (endDuringInit) {
        EndDialog(77);
        return false;
    }
    statusBrush_ = ::CreateSolidBrush(kStatusColour);
    if (!list_.SubclassItem(*this, IDC_SMOKE_LIST) || !track_.SubclassItem(*this, IDC_SMOKE_TRACK)) {
        EndDialog(-1);
        return false;
    }
    for (const wchar_t* item : {L"第一项", L"第二项", L"第三项", L"第四项"})
        list_.Send(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    track_.SetRange(0, 20);
    Dialog::OnInitDialog();

    // The page covers the sunken area.
    RECT area = {};
    if (!page.CreatePage(*this) || !::GetWindowRect(Item(IDC_SMOKE_PAGE_AREA), &area)) {
        EndDialog(-1);
        return false;
    }
    ::MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&area), 2);
    ::InflateRect(&area, -2, -2);
    page.Move(area);
    page.Show(SW_SHOW);

    for (int i = 0; i < 3; ++i) {
        RECT units = {7 + i * 45, 180, 7 + i * 45 + 40, 204};
        ::MapDialogRect(hwnd_, &units);
        auto tile = std::make_unique<TileButton>(i + 1);
        if (!tile->Create(L"BUTTON", L"", WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, units, hwnd_, IDC_SMOKE_TILE_FIRST + i))
            continue;
        tiles.push_back(std::move(tile));
    }
    ::SetDlgItemTextW(hwnd_, IDC_SMOKE_STATUS, L"状态：就绪");
    return true;
}

void SmokeDialog::DoDataExchange(fw::DataExchange& dx)
{
    dx.Radio(IDC_SMOKE_MODE_FIRST, mode);
    dx.Int(IDC_SMOKE_NUMBER, number);
    dx.Bind(IDC_SMOKE_LIST, list_);
    dx.TrackbarPosition(IDC_SMOKE_TRACK, trackPosition);
    dx.Bind(IDC_SMOKE_POKE, poke_);
}

bool SmokeDialog::PreTranslateMessage(MSG& msg)
{
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN) {
        ++enterSwallowed;
        return true;
    }
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
        ++escapeSwallowed;
        return true;
    }
    return false;
}

HBRUSH SmokeDialog::OnCtlColor(HDC dc, HWND control, UINT type)
{
    if (type == CTLCOLOR_STATIC && control == Item(IDC_SMOKE_STATUS) && statusBrush_ != nullptr) {
        ::SetBkColor(dc, kStatusColour);
        return statusBrush_;
    }
    return Dialog::OnCtlColor(dc, control, type);
}

bool SmokeDialog::DestroyWindow()
{
    destroyCalled = true;
    const bool destroyed = Dialog::DestroyWindow();
    if (statusBrush_ != nullptr) {
        ::DeleteObject(statusBrush_);
        statusBrush_ = nullptr;
    }
    return destroyed;
}

void SmokeDialog::OnCount(UINT, UINT, HWND)
{
    ++countClicks;
    ::SetDlgItemTextW(hwnd_, IDC_SMOKE_STATUS, (L"状态：计数 " + std::to_wstring(countClicks.load())).c_str());
}

void SmokeDialog::OnTile(UINT id, UINT, HWND)
{
    ++tileClicks;
    lastTile = static_cast<int>(id);
}

void SmokeDialog::OnListDoubleClick(UINT, UINT, HWND)
{
    ++listDoubleClicks;
    const LRESULT row = list_.Send(LB_GETCURSEL);
    ::SetDlgItemTextW(hwnd_, IDC_SMOKE_STATUS, (L"状态：双击 " + std::to_wstring(row)).c_str());
}

LRESULT SmokeDialog::OnPoked(NMHDR&)
{
    ++pokes;
    return 1;
}

LRESULT SmokeDialog::OnShowWindow(UINT, WPARAM wParam, LPARAM, bool& handled)
{
    if (wParam)
        ++shows;
    handled = false;
    return 0;
}

LRESULT SmokeDialog::OnEndRequest(UINT, WPARAM wParam, LPARAM lParam, bool&)
{
    EndDialog(static_cast<INT_PTR>(wParam));
    if (lParam != 0)
        EndDialog(lParam);
    return 0;
}
