// Dialogs from templates: modal (our own loop) or as child pages inside another dialog.
//
//   class MyDialog : public fw::Dialog {
//   public:
//       MyDialog() : Dialog(IDD_MY) {}
//   protected:
//       const fw::MessageMap& Messages() const override;   // see MessageMap.h
//       void DoDataExchange(fw::DataExchange& dx) override
//       {
//           dx.Int(IDC_COUNT, count_);
//           dx.Radio(IDC_MODE_FIRST, mode_);
//           dx.Bind(IDC_LIST, list_);
//       }
//       bool PreTranslateMessage(MSG& msg) override;   // true: the message is consumed
//   };
//   INT_PTR result = MyDialog().RunModal();   // IDOK, IDCANCEL, or what EndDialog was given
#pragma once

#include "framework/App.h"
#include "framework/Controls.h"
#include "framework/Window.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fw {

class Dialog;

// One pass of data exchange between a dialog's controls and its members, in one direction.
// The first failure stops the pass: later steps return false and touch neither side. A step fails
// when there is no child window with its id, when the control refuses the value or the binding,
// and when an edit box holds no signed 32-bit integer while saving: only that one is reported, by
// a message box with the framework's prompt, then the focus to that box with its text selected.
class DataExchange {
public:
    DataExchange(Dialog& dialog, bool save) : dialog_(dialog), save_(save) {}

    bool Failed() const { return failed_; }

    // Edit text <-> signed 32-bit integer. Saving refuses anything else (see IntegerText.h).
    bool Int(int id, int32_t& value);
    // Radio group starting at `firstId` (the button with WS_GROUP): index of the checked button,
    // -1 for none.
    bool Radio(int firstId, int& index);
    bool TrackbarPosition(int id, int& position);
    // Selection index of a combo box; -1 for none.
    bool ComboIndex(int id, int& index);
    // Binds a control object to child `id` (subclassed) on the first pass; later passes check it.
    bool Bind(int id, Control& control);

private:
    // Ends the pass as failed (the first failure only); `notAnInteger` shows the prompt.
    void Fail(int id, bool notAnInteger = false);
    // The control `id`; null (and the pass failed) when it is missing or the pass failed before.
    HWND Find(int id);
    // `ok`, or false with the pass failed for control `id`.
    bool Require(bool ok, int id);

    Dialog& dialog_;
    bool save_;
    bool failed_ = false;
};

class Dialog : public Window {
public:
    explicit Dialog(UINT templateId, HWND parent = nullptr) : templateId_(templateId), parent_(parent) {}
    ~Dialog() override;

    // Creates the dialog, disables its owner (the root window of `parent`, if any), runs the modal
    // loop and destroys the window through DestroyWindow(). Returns what EndDialog was given, or -1
    // if the window could not be created or was destroyed by someone else. A dialog ended during
    // OnInitDialog is never shown.
    INT_PTR RunModal();

    // Ends a modal run with `result` (from any handler on the dialog's thread, also during
    // OnInitDialog). Has no effect on a page, nor once the run was ended: the first result stands.
    void EndDialog(INT_PTR result);

    // Creates this dialog as a child page of `parent` (template with WS_CHILD, usually DS_CONTROL),
    // hidden until shown. The page takes part in the parent's PreTranslateMessage chain.
    bool CreatePage(Dialog& parent);

    // Runs DoDataExchange in one direction; false when a step failed (already reported).
    bool UpdateData(bool save);

    // Shows string `stringId` in a message box owned by this dialog (see App.h ShowMessage).
    int ShowMessage(UINT stringId, UINT iconFlags = 0) const { return fw::ShowMessage(hwnd_, stringId, iconFlags); }

    // Icon `iconId` of the program as the window's big and small icon, drawn centred while the
    // window is minimised and answered as its drag icon. False when the icon is missing.
    bool SetWindowIcon(UINT iconId);

    // Called by the modal loop for messages aimed at this dialog or its children, innermost page
    // first; return true to consume the message before dialog navigation (IsDialogMessage).
    virtual bool PreTranslateMessage(MSG&) { return false; }

protected:
    // Default: load the controls from the members (UpdateData(false)); returns true to let the
    // system set the focus. An EndDialog here ends the run before the dialog is ever shown.
    virtual bool OnInitDialog()
    {
        UpdateData(false);
        return true;
    }
    // Default OK: save the controls; end with IDOK only if that succeeded.
    virtual void OnOK()
    {
        if (UpdateData(true))
            EndDialog(IDOK);
    }
    // Default Cancel (also the close box and Esc through the dialog manager): end with IDCANCEL.
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    virtual void DoDataExchange(DataExchange&) {}
    // WM_CTLCOLOR*: return a brush to paint the control (or the dialog, for WM_CTLCOLORDLG) with,
    // null for the default. `type` is the CTLCOLOR_* value.
    virtual HBRUSH OnCtlColor(HDC /*dc*/, HWND /*control*/, UINT /*type*/) { return nullptr; }

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool Defaults(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool PreTranslateChain(MSG& msg);
    void RemovePage(Dialog* page);
    void PaintMinimised();

    UINT templateId_;
    HWND parent_;
    bool modal_ = false;
    bool ended_ = false;
    INT_PTR result_ = -1;
    HICON icon_ = nullptr;  // shared icon from LoadIconW: never destroyed
    Dialog* pageParent_ = nullptr;
    std::vector<Dialog*> pages_;
};

// Key-downs of Return and Escape: what the PreTranslateMessage of a dialog swallows when only its
// buttons and its close box may end it.
inline bool IsReturnOrEscape(const MSG& msg)
{
    return msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE);
}

} // namespace fw
