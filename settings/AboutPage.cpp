#include "settings/AboutPage.h"

#include "framework/App.h"
#include "framework/Handle.h"
#include "framework/PaintScope.h"
#include "settings/resource.h"

namespace settings {

namespace {

// A bitmap selected into a memory context for as long as the object lives.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
    ~Selection()
    {
        if (previous_ != nullptr && previous_ != HGDI_ERROR)
            ::SelectObject(dc_, previous_);
    }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    bool Valid() const { return previous_ != nullptr && previous_ != HGDI_ERROR; }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

} // namespace

AboutPage::AboutPage() : SettingsPage(IDD_ABOUT_PAGE) {}

const fw::MessageMap& AboutPage::Messages() const
{
    static const fw::MessageEntry entries[] = {
        fw::OnMessage(WM_PAINT, &AboutPage::OnPaint),
    };
    static const fw::MessageMap map(entries, &SettingsPage::Messages());
    return map;
}

// The logo goes where the mask is white and the page stays where it is black; both bitmaps are
// loaded and freed on every paint. Owners release them in reverse order of acquisition:
// selections first, then the bitmaps and the contexts.
LRESULT AboutPage::OnPaint(UINT, WPARAM, LPARAM, bool&)
{
    fw::PaintScope paint(hwnd_);
    if (paint.Dc() == nullptr)
        return 0;
    fw::DeviceContext logoDc(::CreateCompatibleDC(paint.Dc()));
    fw::DeviceContext maskDc(::CreateCompatibleDC(paint.Dc()));
    const HINSTANCE module = fw::ProgramInstance();
    fw::GdiObject<HBITMAP> logo(::LoadBitmapW(module, MAKEINTRESOURCEW(IDB_LOGO)));
    fw::GdiObject<HBITMAP> mask(::LoadBitmapW(module, MAKEINTRESOURCEW(IDB_LOGO_MASK)));
    if (!logoDc || !maskDc || !logo || !mask)
        return 0;
    Selection logoSelected(logoDc.Get(), logo.Get());
    Selection maskSelected(maskDc.Get(), mask.Get());
    BITMAP size = {};
    if (!logoSelected.Valid() || !maskSelected.Valid() || ::GetObjectW(logo.Get(), sizeof size, &size) == 0)
        return 0;

    const RECT window = WindowRect();
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    const int x = (width - size.bmWidth) / 2;
    const int y = (height / 2 - size.bmHeight) / 2;
    ::BitBlt(logoDc.Get(), 0, 0, size.bmWidth, size.bmHeight, maskDc.Get(), 0, 0, MERGEPAINT);
    ::BitBlt(paint.Dc(), x, y, size.bmWidth, size.bmHeight, maskDc.Get(), 0, 0, NOTSRCERASE);
    ::BitBlt(paint.Dc(), x, y, size.bmWidth, size.bmHeight, logoDc.Get(), 0, 0, SRCINVERT);
    return 0;
}

} // namespace settings
