#include "framework/Dialog.h"

#include "framework/App.h"
#include "framework/FrameworkResource.h"
#include "framework/IntegerText.h"
#include "framework/Language.h"
#include "framework/PaintScope.h"

#include <algorithm>
#include <cstring>

namespace fw {

namespace {

// A copy of a dialog template with WS_VISIBLE taken out, so that the dialog manager never shows
// the window by itself: a modal run shows it after a successful initialisation, a page stays
// hidden until its owner shows it. Words keep the copy DWORD-aligned as templates must be.
class HiddenTemplate {
public:
    explicit HiddenTemplate(UINT id)
    {
        HINSTANCE module = ProgramInstance();
        HRSRC resource = FindProgramResource(module, MAKEINTRESOURCEW(5) /* RT_DIALOG */, MAKEINTRESOURCEW(id));
        if (resource == nullptr)
            return;
        const DWORD size = ::SizeofResource(module, resource);
        HGLOBAL loaded = ::LoadResource(module, resource);
        const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
        if (data == nullptr || size < sizeof(DLGTEMPLATE))
            return;
        words_.assign((size + 3) / 4, 0);
        std::memcpy(words_.data(), data, size);
        // DLGTEMPLATEEX starts with dlgVer 1 and signature 0xFFFF (one little-endian DWORD), then
        // helpID, exStyle and style; DLGTEMPLATE starts with style.
        words_[words_[0] == 0xFFFF0001u ? 3 : 0] &= ~static_cast<DWORD>(WS_VISIBLE);
    }

    const DLGTEMPLATE* Get() const
    {
        return words_.empty() ? nullptr : reinterpret_cast<const DLGTEMPLATE*>(words_.data());
    }

private:
    std::vector<DWORD> words_;
};

// WM_CTLCOLORMSGBOX to WM_CTLCOLORSTATIC are one block of codes.
bool IsCtlColor(UINT message)
{
    return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC;
}

// Messages whose dialog-procedure result is the answer itself, not a handled flag.
bool ReturnsValueDirectly(UINT message)
{
    return IsCtlColor(message) || message == WM_COMPAREITEM || message == WM_VKEYTOITEM ||
           message == WM_CHARTOITEM || message == WM_QUERYDRAGICON || message == WM_INITDIALOG;
}

// Centres `dialog` over `relativeTo` when that is shown and not minimised, else over the work area,
// keeping the whole dialog on the work area where it fits.
void Center(const Window& dialog, HWND relativeTo)
{
    RECT area;
    if (relativeTo != nullptr && ::IsWindowVisible(relativeTo) && !::IsIconic(relativeTo)) {
        if (!::GetWindowRect(relativeTo, &area))
            return;
    } else if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0)) {
        return;
    }
    RECT work;
    if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0))
        work = area;
    const RECT own = dialog.WindowRect();
    const LONG width = own.right - own.left;
    const LONG height = own.bottom - own.top;
    LONG left = area.left + (area.right - area.left - width) / 2;
    LONG top = area.top + (area.bottom - area.top - height) / 2;
    left = std::max(work.left, std::min(left, work.right - width));
    top = std::max(work.top, std::min(top, work.bottom - height));
    ::SetWindowPos(dialog.Handle(), nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

void DataExchange::Fail(int id, bool notAnInteger)
{
    if (failed_)
        return;
    failed_ = true;
    HWND control = dialog_.Item(id);
    if (!notAnInteger || control == nullptr)
        return;
    dialog_.ShowMessage(IDS_FW_ENTER_INTEGER, MB_ICONEXCLAMATION);
    // Through the dialog manager, so the default button follows the focus.
    dialog_.Send(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    ::SendMessageW(control, EM_SETSEL, 0, -1);
}

bool DataExchange::Require(bool ok, int id)
{
    if (!ok)
        Fail(id);
    return ok;
}

HWND DataExchange::Find(int id)
{
    if (failed_)
        return nullptr;
    HWND control = dialog_.Item(id);
    if (control == nullptr)
        Fail(id);
    return control;
}

bool DataExchange::Int(int id, int32_t& value)
{
    HWND control = Find(id);
    if (control == nullptr)
        return false;
    if (save_) {
        if (!ParseInt32(Window(control).Text(), value))
            Fail(id, true);
        return !failed_;
    }
    return Require(::SetWindowTextW(control, std::to_wstring(value).c_str()) != FALSE, id);
}

bool DataExchange::Radio(int firstId, int& index)
{
    HWND first = Find(firstId);
    if (first == nullptr)
        return false;
    int found = -1;
    int position = 0;
    for (HWND button = first; button != nullptr; button = ::GetWindow(button, GW_HWNDNEXT)) {
        if (button != first && (::GetWindowLongW(button, GWL_STYLE) & WS_GROUP) != 0)
            break;
        if ((::SendMessageW(button, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) == 0)
            continue;
        if (save_) {
            if (found < 0 && ::SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED)
                found = position;
        } else {
            ::SendMessageW(button, BM_SETCHECK, position == index ? BST_CHECKED : BST_UNCHECKED, 0);
        }
        ++position;
    }
    if (save_)
        index = found;
    return true;
}

bool DataExchange::TrackbarPosition(int id, int& position)
{
    HWND control = Find(id);
    if (control == nullptr)
        return false;
    if (save_)
        position = static_cast<int>(::SendMessageW(control, TBM_GETPOS, 0, 0));
    else
        ::SendMessageW(control, TBM_SETPOS, TRUE, position);
    return true;
}

// A combo box answers CB_ERR (-1) for "no selection" and for failure.
bool DataExchange::ComboIndex(int id, int& index)
{
    HWND control = Find(id);
    if (control == nullptr)
        return false;
    if (save_) {
        const LRESULT selection = ::SendMessageW(control, CB_GETCURSEL, 0, 0);
        index = selection == CB_ERR ? -1 : static_cast<int>(selection);
        return true;
    }
    // Selecting -1 clears the selection and answers CB_ERR although it worked.
    return Require(::SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(index), 0) != CB_ERR || index == -1, id);
}

bool DataExchange::Bind(int id, Control& control)
{
    HWND item = Find(id);
    if (item == nullptr)
        return false;
    if (control.Handle() == item)
        return true;
    return Require(control.Handle() == nullptr && control.Subclass(item), id);
}

Dialog::~Dialog()
{
    for (Dialog* page : pages_)
        page->pageParent_ = nullptr;
    if (pageParent_ != nullptr)
        pageParent_->RemovePage(this);
    if (hwnd_ != nullptr && ::IsWindow(hwnd_)) {
        // The object goes first: cut the window loose so no message reaches a dead object.
        HWND hwnd = hwnd_;
        Unbind();
        ::DestroyWindow(hwnd);
    }
}

INT_PTR Dialog::RunModal()
{
    if (hwnd_ != nullptr)
        return -1;
    HiddenTemplate dialogTemplate(templateId_);
    if (dialogTemplate.Get() == nullptr)
        return -1;

    HWND owner = parent_ != nullptr ? ::GetAncestor(parent_, GA_ROOT) : nullptr;
    const bool disableOwner = owner != nullptr && ::IsWindowEnabled(owner);
    modal_ = true;
    ended_ = false;
    result_ = -1;
    if (disableOwner)
        ::EnableWindow(owner, FALSE);

    HWND hwnd = ::CreateDialogIndirectParamW(ProgramInstance(), dialogTemplate.Get(), owner,
                                             &Dialog::DialogProc, reinterpret_cast<LPARAM>(this));
    if (hwnd != nullptr && !ended_) {
        ::ShowWindow(hwnd, SW_SHOWNORMAL);
        while (!ended_) {
            MSG msg;
            const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
            if (got == -1)
                break;
            if (got == 0) {
                // WM_QUIT ends this loop; put it back for the loops outside.
                ::PostQuitMessage(static_cast<int>(msg.wParam));
                break;
            }
            if (PreTranslateChain(msg))
                continue;
            if (hwnd_ != nullptr && ::IsDialogMessageW(hwnd_, &msg))
                continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }

    // The owner comes back before the dialog goes, so that activation returns to it.
    if (disableOwner)
        ::EnableWindow(owner, TRUE);
    if (hwnd_ != nullptr) {
        ::SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
        if (owner != nullptr && ::GetActiveWindow() == nullptr)
            ::SetActiveWindow(owner);
        DestroyWindow();
    }
    modal_ = false;
    const INT_PTR result = ended_ ? result_ : -1;
    ended_ = false;
    return result;
}

void Dialog::EndDialog(INT_PTR result)
{
    // The first end stands: a cancel is never turned into another result afterwards.
    if (!modal_ || ended_)
        return;
    result_ = result;
    ended_ = true;
    // GetMessage only returns for posted messages: wake the loop when the end came from a
    // message sent by another thread.
    if (hwnd_ != nullptr)
        ::PostMessageW(hwnd_, WM_NULL, 0, 0);
}

bool Dialog::CreatePage(Dialog& parent)
{
    if (hwnd_ != nullptr || parent.hwnd_ == nullptr)
        return false;
    HiddenTemplate pageTemplate(templateId_);
    if (pageTemplate.Get() == nullptr)
        return false;
    modal_ = false;
    HWND hwnd = ::CreateDialogIndirectParamW(ProgramInstance(), pageTemplate.Get(), parent.hwnd_,
                                             &Dialog::DialogProc, reinterpret_cast<LPARAM>(this));
    if (hwnd == nullptr)
        return false;
    pageParent_ = &parent;
    parent.pages_.push_back(this);
    return true;
}

void Dialog::RemovePage(Dialog* page)
{
    pages_.erase(std::remove(pages_.begin(), pages_.end(), page), pages_.end());
}

bool Dialog::UpdateData(bool save)
{
    if (hwnd_ == nullptr)
        return false;
    DataExchange dx(*this, save);
    DoDataExchange(dx);
    return !dx.Failed();
}

bool Dialog::SetWindowIcon(UINT iconId)
{
    icon_ = ::LoadIconW(ProgramInstance(), MAKEINTRESOURCEW(iconId));
    if (icon_ == nullptr)
        return false;
    Send(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    Send(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    return true;
}

void Dialog::PaintMinimised()
{
    const PaintScope paint(hwnd_);
    if (paint.Dc() == nullptr)
        return;
    Send(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.Dc()), 0);
    const RECT client = ClientRect();
    const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(paint.Dc(), x, y, icon_);
}

bool Dialog::PreTranslateChain(MSG& msg)
{
    if (hwnd_ == nullptr || (msg.hwnd != hwnd_ && !::IsChild(hwnd_, msg.hwnd)))
        return false;
    for (Dialog* page : pages_) {
        if (page->hwnd_ != nullptr && (msg.hwnd == page->hwnd_ || ::IsChild(page->hwnd_, msg.hwnd))) {
            if (page->PreTranslateChain(msg))
                return true;
            break;
        }
    }
    return PreTranslateMessage(msg);
}

bool Dialog::Defaults(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    result = 0;
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDOK)
        OnOK();
    else if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDCANCEL)
        OnCancel();
    else if (IsCtlColor(message))
        result = reinterpret_cast<LRESULT>(OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam),
                                                      message - WM_CTLCOLORMSGBOX));
    else if (message == WM_DRAWITEM)
        result = ReflectDrawItem(lParam) ? TRUE : 0;
    else if (message == WM_PAINT && icon_ != nullptr && ::IsIconic(hwnd_))
        PaintMinimised();
    else if (message == WM_QUERYDRAGICON)
        result = reinterpret_cast<LRESULT>(icon_);
    else
        return false;
    // A control colour or drag icon of null and an item nobody drew leave it to the system.
    return result != 0 || (message != WM_DRAWITEM && message != WM_QUERYDRAGICON && !IsCtlColor(message));
}

INT_PTR Dialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        const RECT before = WindowRect();
        const BOOL focus = OnInitDialog() ? TRUE : FALSE;
        if (modal_ && !ended_ && hwnd_ != nullptr) {
            const LONG style = ::GetWindowLongW(hwnd_, GWL_STYLE);
            const RECT after = WindowRect();
            // A dialog that did not place itself during initialisation is centred over its
            // owner, or over the work area when it has none.
            if ((style & (WS_CHILD | WS_VISIBLE | DS_CENTER | DS_CENTERMOUSE | DS_ABSALIGN)) == 0 &&
                std::memcmp(&before, &after, sizeof before) == 0) {
                Center(*this, ::GetWindow(hwnd_, GW_OWNER));
            }
        }
        return focus;
    }
    LRESULT result = 0;
    bool handled = Route(message, wParam, lParam, result);
    if (!handled)
        handled = Defaults(message, wParam, lParam, result);
    if (!handled)
        return FALSE;
    if (ReturnsValueDirectly(message))
        return static_cast<INT_PTR>(result);
    if (hwnd_ != nullptr)
        ::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result);
    return TRUE;
}

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        reinterpret_cast<Dialog*>(lParam)->Bind(hwnd);
    Dialog* self = static_cast<Dialog*>(FromHandle(hwnd));
    if (self == nullptr)
        return FALSE;
    const INT_PTR answer = self->HandleMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        self->Unbind();
        if (self->pageParent_ != nullptr) {
            self->pageParent_->RemovePage(self);
            self->pageParent_ = nullptr;
        }
        if (self->modal_ && !self->ended_) {
            // Destroyed from outside: the modal run ends with -1.
            self->result_ = -1;
            self->ended_ = true;
        }
        self->OnFinalMessage();
    }
    return answer;
}

} // namespace fw
