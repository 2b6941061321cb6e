// Message-map tables: one static table per window class, read top to bottom, then the base
// class's table, then the class's built-in defaults (see Window::Route).
//
//   const fw::MessageMap& MyDialog::Messages() const
//   {
//       static const fw::MessageEntry entries[] = {
//           fw::OnMessage(WM_TIMER, &MyDialog::OnTimer),
//           fw::OnCommand(IDC_APPLY, &MyDialog::OnApply),
//           fw::OnCommandRange(5100, 5200, &MyDialog::OnDisplayButton),
//           fw::OnControl(IDC_LIST, LBN_SELCHANGE, &MyDialog::OnListChange),
//           fw::OnNotify(IDC_TAB, TCN_SELCHANGE, &MyDialog::OnTabChange),
//       };
//       static const fw::MessageMap map(entries, &Dialog::Messages());
//       return map;
//   }
#pragma once

#include <windows.h>

#include <cstddef>

namespace fw {

class Window;

// Handler signatures. A message handler clears `handled` to let the class's default handling run
// as well (for a dialog: the dialog manager's; for a subclassed control: the control's own).
using MessageHandler = LRESULT (Window::*)(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
// Commands: id of the control (or menu item), its notification code, its window (may be null).
using CommandHandler = void (Window::*)(UINT id, UINT code, HWND control);
// WM_NOTIFY: the returned value is the notification's result.
using NotifyHandler = LRESULT (Window::*)(NMHDR& header);

// An entry handles `message`; WM_COMMAND and WM_NOTIFY entries made by OnCommand .. OnNotifyRange
// only when the control id lies in firstId..lastId (inclusive) and the notification code matches.
struct MessageEntry {
    UINT message;
    UINT firstId;
    UINT lastId;
    UINT code;
    MessageHandler onMessage;  // exactly one of the three is set
    CommandHandler onCommand;
    NotifyHandler onNotify;
};

class MessageMap {
public:
    template <size_t N>
    MessageMap(const MessageEntry (&entries)[N], const MessageMap* base)
        : entries_(entries), count_(N), base_(base)
    {
    }
    // A class without entries of its own.
    explicit MessageMap(const MessageMap* base) : entries_(nullptr), count_(0), base_(base) {}

    const MessageEntry* begin() const { return entries_; }
    const MessageEntry* end() const { return entries_ + count_; }
    const MessageMap* Base() const { return base_; }

private:
    const MessageEntry* entries_;
    size_t count_;
    const MessageMap* base_;
};

// Entry builders. T is the class that declares the handler; it must derive from fw::Window.
template <class T>
MessageEntry OnMessage(UINT message, LRESULT (T::*handler)(UINT, WPARAM, LPARAM, bool&))
{
    return {message, 0, 0, 0, static_cast<MessageHandler>(handler), nullptr, nullptr};
}

// WM_COMMAND with notification `code` (LBN_SELCHANGE, EN_CHANGE, ...) from control `id`.
template <class T>
MessageEntry OnControl(UINT id, UINT code, void (T::*handler)(UINT, UINT, HWND))
{
    return {WM_COMMAND, id, id, code, nullptr, static_cast<CommandHandler>(handler), nullptr};
}

// A button click or menu command: WM_COMMAND with code BN_CLICKED (0) from control `id`.
template <class T>
MessageEntry OnCommand(UINT id, void (T::*handler)(UINT, UINT, HWND))
{
    return OnControl(id, BN_CLICKED, handler);
}

// Clicks from any control whose id lies in first..last (inclusive).
template <class T>
MessageEntry OnCommandRange(UINT first, UINT last, void (T::*handler)(UINT, UINT, HWND))
{
    return {WM_COMMAND, first, last, BN_CLICKED, nullptr, static_cast<CommandHandler>(handler), nullptr};
}

// WM_NOTIFY with notification `code` from a control whose id lies in first..last (inclusive).
template <class T>
MessageEntry OnNotifyRange(UINT first, UINT last, UINT code, LRESULT (T::*handler)(NMHDR&))
{
    return {WM_NOTIFY, first, last, code, nullptr, nullptr, static_cast<NotifyHandler>(handler)};
}

template <class T>
MessageEntry OnNotify(UINT id, UINT code, LRESULT (T::*handler)(NMHDR&))
{
    return OnNotifyRange(id, id, code, handler);
}

} // namespace fw
