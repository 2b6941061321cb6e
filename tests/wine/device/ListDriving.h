// Reading and clicking the rows of a list box that another thread (or process) runs.
#pragma once

#include "tests/support/WineTestSupport.h"

#include <windows.h>

#include <string>

namespace qelvo::test {

inline int RowCount(HWND list)
{
    return static_cast<int>(::SendMessageW(list, LB_GETCOUNT, 0, 0));
}

inline std::wstring RowText(HWND list, int row)
{
    const LRESULT length = ::SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(row), 0);
    if (length == LB_ERR)
        return L"<no row>";
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    ::SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(length));
    return text;
}

inline LPARAM RowData(HWND list, int row)
{
    return ::SendMessageW(list, LB_GETITEMDATA, static_cast<WPARAM>(row), 0);
}

inline int SelectedRow(HWND list)
{
    return static_cast<int>(::SendMessageW(list, LB_GETCURSEL, 0, 0));
}

inline bool RowCentre(HWND list, int row, POINT* screen)
{
    RECT item = {};
    if (::SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)) == LB_ERR)
        return false;
    POINT p = {(item.left + item.right) / 2, (item.top + item.bottom) / 2};
    if (!::ClientToScreen(list, &p))
        return false;
    *screen = p;
    return true;
}

// A real click on the row, with the dialog brought to the front first.
inline bool ClickRow(HWND dialog, HWND list, int row, bool twice = false)
{
    POINT p = {};
    if (!RowCentre(list, row, &p) || !BringToFront(dialog))
        return false;
    return twice ? DoubleClick(p) : Click(p);
}

} // namespace qelvo::test
