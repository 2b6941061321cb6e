// The framework's demonstration dialog: every kind of data exchange, a child page, commands by id
// and by range, WM_NOTIFY from a subclassed static and owner-drawn buttons made at run time.
// The counters are read by the Wine test from another thread.
#pragma once

#include "framework/Framework.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#define WM_SMOKE_END (WM_APP + 1)   // wParam: the result EndDialog gets; lParam: a second end after it, if not 0

class SmokePage : public fw::Dialog {
public:
    SmokePage();
    bool PreTranslateMessage(MSG& msg) override;

    std::atomic<int> keyDownsSeen{0};
    std::atomic<int> enterSwallowed{0};
};

// Sends its parent WM_NOTIFY SMOKE_NOTIFY_POKED when clicked.
class PokeStatic : public fw::Control {
public:
    const fw::MessageMap& Messages() const override;

private:
    LRESULT OnLeftButtonDown(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
};

// Owner-drawn push button with a number on it, drawn by the button object (WM_DRAWITEM reflected).
class TileButton : public fw::Control {
public:
    explicit TileButton(int number) : number_(number) {}
    bool DrawItem(const DRAWITEMSTRUCT& item) override;

    std::atomic<int> draws{0};

private:
    int number_;
};

class SmokeDialog : public fw::Dialog {
public:
    explicit SmokeDialog(HWND parent = nullptr);

    // Exchanged with the controls, in this order.
    int mode = 1;
    int32_t number = 42;
    int trackPosition = 7;

    bool endDuringInit = false;   // the dialog ends itself with 77 in OnInitDialog
    std::atomic<int> shows{0};    // times the window was shown
    std::atomic<int> enterSwallowed{0};
    std::atomic<int> escapeSwallowed{0};
    std::atomic<int> countClicks{0};
    std::atomic<int> tileClicks{0};
    std::atomic<int> lastTile{0};
    std::atomic<int> pokes{0};
    std::atomic<int> listDoubleClicks{0};
    std::atomic<bool> destroyCalled{false};

    SmokePage page;
    std::vector<std::unique_ptr<TileButton>> tiles;

    bool PreTranslateMessage(MSG& msg) override;
    bool DestroyWindow() override;
    const fw::MessageMap& Messages() const override;

protected:
    bool OnInitDialog() override;
    void DoDataExchange(fw::DataExchange& dx) override;
    HBRUSH OnCtlColor(HDC dc, HWND control, UINT type) override;

private:
    void OnCount(UINT id, UINT code, HWND control);
    void OnTile(UINT id, UINT code, HWND control);
    void OnListDoubleClick(UINT id, UINT code, HWND control);
    LRESULT OnPoked(NMHDR& header);
    LRESULT OnShowWindow(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    LRESULT OnEndRequest(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);

    PokeStatic poke_;
    fw::Control list_;
    fw::Trackbar track_;
    HBRUSH statusBrush_ = nullptr;
};
