// Runs the framework's demonstration dialog in this process (its modal loop on a thread of its
// own) and drives it with real input, the way a user would.
#include "SmokeDialog.h"
#include "SmokeResource.h"

#include "framework/Framework.h"
#include "tests/support/WineTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace qelvo::test;

namespace {

constexpr DWORD kWindowTimeout = 60000;
constexpr DWORD kStepTimeout = 20000;

// A SmokeDialog whose modal run happens on its own user-interface thread.
class DialogRun {
public:
    ~DialogRun()
    {
        if (thread_ == nullptr)
            return;
        if (::WaitForSingleObject(thread_, 0) == WAIT_TIMEOUT && hwnd_ != nullptr)
            ::PostMessageW(hwnd_, WM_SMOKE_END, IDABORT, 0);
        ::WaitForSingleObject(thread_, kStepTimeout);
        ::CloseHandle(thread_);
    }

    SmokeDialog dialog;

    // Starts the run and waits for the dialog window to be visible.
    HWND Start()
    {
        thread_ = ::CreateThread(nullptr, 0, &DialogRun::Main, this, 0, &threadId_);
        if (thread_ == nullptr)
            return nullptr;
        hwnd_ = WaitForWindow({L"#32770", L"框架演示", ::GetCurrentProcessId()}, kWindowTimeout);
        return hwnd_;
    }
    bool WaitEnded(DWORD timeoutMs = kStepTimeout)
    {
        return thread_ != nullptr && ::WaitForSingleObject(thread_, timeoutMs) == WAIT_OBJECT_0;
    }
    INT_PTR Result() const { return result_; }
    DWORD ThreadId() const { return threadId_; }
    HWND Item(int id) const { return ::GetDlgItem(hwnd_, id); }
    HWND FocusedWindow() const
    {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        return ::GetGUIThreadInfo(threadId_, &info) ? info.hwndFocus : nullptr;
    }
    // Returns once the dialog's thread has handled everything queued before.
    void Sync() const { ::SendMessageW(hwnd_, WM_NULL, 0, 0); }

private:
    static DWORD WINAPI Main(void* parameter)
    {
        DialogRun* self = static_cast<DialogRun*>(parameter);
        self->result_ = self->dialog.RunModal();
        return 0;
    }

    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    HWND hwnd_ = nullptr;
    std::atomic<INT_PTR> result_{0};
};

class FrameworkDialog : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(fw::InitCommonControlClasses()); }

    // Clicks the dialog's count button and waits for its handler: everything sent to the dialog
    // before has been handled by then.
    static void ClickCountAndWait(DialogRun& run, int expected)
    {
        ASSERT_TRUE(ClickWindow(run.Item(IDC_SMOKE_COUNT)));
        ASSERT_TRUE(WaitFor([&] { return run.dialog.countClicks == expected; }, kStepTimeout));
    }
};

TEST_F(FrameworkDialog, ExchangesDataBothWaysAndEndsWithOk)
{
    DialogRun run;
    run.dialog.number = -123;
    run.dialog.mode = 2;
    run.dialog.trackPosition = 15;
    HWND dialog = run.Start();
    ASSERT_NE(dialog, nullptr);

    EXPECT_EQ(ItemText(dialog, IDC_SMOKE_NUMBER), L"-123");
    EXPECT_EQ(::IsDlgButtonChecked(dialog, IDC_SMOKE_MODE_FIRST), BST_UNCHECKED);
    EXPECT_EQ(::IsDlgButtonChecked(dialog, IDC_SMOKE_MODE_THIRD), BST_CHECKED);
    EXPECT_EQ(::SendDlgItemMessageW(dialog, IDC_SMOKE_TRACK, TBM_GETPOS, 0, 0), 15);

    ASSERT_TRUE(BringToFront(dialog));
    ::SetDlgItemTextW(dialog, IDC_SMOKE_NUMBER, L" 2147483647 ");
    ASSERT_TRUE(ClickUntil(run.Item(IDC_SMOKE_MODE_FIRST),
                           [&] { return ::IsDlgButtonChecked(dialog, IDC_SMOKE_MODE_FIRST) == BST_CHECKED; }));
    ::SendDlgItemMessageW(dialog, IDC_SMOKE_TRACK, TBM_SETPOS, TRUE, 4);
    ASSERT_TRUE(ClickUntil(run.Item(IDOK), [&] { return run.WaitEnded(0); }));
    EXPECT_EQ(run.Result(), IDOK);
    EXPECT_EQ(run.dialog.number, 2147483647);
    EXPECT_EQ(run.dialog.mode, 0);
    EXPECT_EQ(run.dialog.trackPosition, 4);
    EXPECT_EQ(run.dialog.shows, 1);
    EXPECT_TRUE(run.dialog.destroyCalled);
    EXPECT_FALSE(::IsWindow(dialog));
    EXPECT_EQ(run.dialog.Handle(), nullptr);
}

TEST_F(FrameworkDialog, EnterAndEscapeAreSwallowedBeforeDialogNavigation)
{
    DialogRun run;
    HWND dialog = run.Start();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(BringToFront(dialog));
    ASSERT_TRUE(ClickUntil(run.Item(IDC_SMOKE_NUMBER), [&] { return run.FocusedWindow() == run.Item(IDC_SMOKE_NUMBER); }));

    ASSERT_TRUE(SendKey(VK_RETURN));
    ASSERT_TRUE(WaitFor([&] { return run.dialog.enterSwallowed == 1; }, kStepTimeout));
    ASSERT_TRUE(SendKey(VK_ESCAPE));
    ASSERT_TRUE(WaitFor([&] { return run.dialog.escapeSwallowed == 1; }, kStepTimeout));
    ClickCountAndWait(run, 1);

    // Unswallowed, Enter would have pressed OK and Esc Cancel.
    EXPECT_TRUE(::IsWindowVisible(dialog));
    EXPECT_FALSE(run.WaitEnded(0));
    EXPECT_EQ(run.dialog.page.enterSwallowed, 0);

    ASSERT_TRUE(ClickUntil(run.Item(IDCANCEL), [&] { return run.WaitEnded(0); }));
    EXPECT_EQ(run.Result(), IDCANCEL);
}

TEST_F(FrameworkDialog, BadIntegerPromptsFocusesTheBoxAndStopsTheExchange)
{
    DialogRun run;
    HWND dialog = run.Start();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(BringToFront(dialog));
    ::SetDlgItemTextW(dialog, IDC_SMOKE_NUMBER, L"12x");
    ::SendDlgItemMessageW(dialog, IDC_SMOKE_TRACK, TBM_SETPOS, TRUE, 19);
    ASSERT_TRUE(ClickUntil(run.Item(IDC_SMOKE_MODE_THIRD),
                           [&] { return ::IsDlgButtonChecked(dialog, IDC_SMOKE_MODE_THIRD) == BST_CHECKED; }));
    // Once the prompt shows, the dialog is disabled: a repeated click cannot press OK twice.
    HWND box = nullptr;
    ASSERT_TRUE(ClickUntil(run.Item(IDOK), [&] {
        box = FindTopWindow({L"#32770", fw::ProgramName().c_str(), ::GetCurrentProcessId()});
        return box != nullptr;
    }, kWindowTimeout));
    EXPECT_EQ(MessageBoxText(box), L"请输入一个整数。");
    EXPECT_EQ(::GetWindow(box, GW_OWNER), dialog);
    CaptureScreenPng(L"framework-integer-prompt.png");
    ASSERT_TRUE(ClickUntil(::GetDlgItem(box, IDOK), [&] { return !::IsWindow(box); }));

    HWND number = run.Item(IDC_SMOKE_NUMBER);
    ASSERT_TRUE(WaitFor([&] { return run.FocusedWindow() == number; }, kStepTimeout));
    run.Sync();
    DWORD start = 99, end = 99;
    ::SendMessageW(number, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 3u);
    EXPECT_TRUE(::IsWindowVisible(dialog));
    // The mode comes before the number in the exchange and was taken over; the rest was not.
    EXPECT_EQ(run.dialog.mode, 2);
    EXPECT_EQ(run.dialog.number, 42);
    EXPECT_EQ(run.dialog.trackPosition, 7);

    ::SetDlgItemTextW(dialog, IDC_SMOKE_NUMBER, L"-7");
    ASSERT_TRUE(ClickUntil(run.Item(IDOK), [&] { return run.WaitEnded(0); }));
    EXPECT_EQ(run.Result(), IDOK);
    EXPECT_EQ(run.dialog.number, -7);
    EXPECT_EQ(run.dialog.mode, 2);
    EXPECT_EQ(run.dialog.trackPosition, 19);
}

TEST_F(FrameworkDialog, PageSeesKeysBeforeItsDialog)
{
    DialogRun run;
    HWND dialog = run.Start();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(BringToFront(dialog));
    HWND pageEdit = ::GetDlgItem(run.dialog.page.Handle(), IDC_PAGE_EDIT);
    ASSERT_NE(pageEdit, nullptr);
    EXPECT_EQ(::GetParent(run.dialog.page.Handle()), dialog);
    ASSERT_TRUE(ClickUntil(pageEdit, [&] { return run.FocusedWindow() == pageEdit; }));

    ASSERT_TRUE(SendKey(VK_RETURN));
    ASSERT_TRUE(WaitFor([&] { return run.dialog.page.enterSwallowed == 1; }, kStepTimeout));
    // The page does not take Esc: the dialog gets it next.
    ASSERT_TRUE(SendKey(VK_ESCAPE));
    ASSERT_TRUE(WaitFor([&] { return run.dialog.escapeSwallowed == 1; }, kStepTimeout));
    ClickCountAndWait(run, 1);
    EXPECT_EQ(run.dialog.enterSwallowed, 0);
    EXPECT_EQ(run.dialog.page.keyDownsSeen, 2);
    EXPECT_TRUE(::IsWindowVisible(dialog));

    ::PostMessageW(dialog, WM_CLOSE, 0, 0);
    ASSERT_TRUE(run.WaitEnded());
    EXPECT_EQ(run.Result(), IDCANCEL);
}

TEST_F(FrameworkDialog, MessageMapDispatchesByIdRangeAndNotifyCode)
{
    DialogRun run;
    HWND dialog = run.Start();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(BringToFront(dialog));
    ASSERT_EQ(run.dialog.tiles.size(), 3u);
    ASSERT_TRUE(WaitFor([&] { return run.dialog.tiles[2]->draws > 0; }, kStepTimeout));

    ClickCountAndWait(run, 1);
    EXPECT_EQ(ItemText(dialog, IDC_SMOKE_STATUS), L"状态：计数 1");

    ASSERT_TRUE(ClickWindow(run.Item(IDC_SMOKE_TILE_FIRST + 1)));
    ASSERT_TRUE(WaitFor([&] { return run.dialog.tileClicks == 1; }, kStepTimeout));
    EXPECT_EQ(run.dialog.lastTile, IDC_SMOKE_TILE_FIRST + 1);
    ASSERT_TRUE(ClickWindow(run.Item(IDC_SMOKE_TILE_FIRST + 2)));
    ASSERT_TRUE(WaitFor([&] { return run.dialog.tileClicks == 2; }, kStepTimeout));
    EXPECT_EQ(run.dialog.lastTile, IDC_SMOKE_TILE_FIRST + 2);

    ASSERT_TRUE(ClickWindow(run.Item(IDC_SMOKE_POKE)));
    ASSERT_TRUE(WaitFor([&] { return run.dialog.pokes == 1; }, kStepTimeout));
    EXPECT_EQ(run.dialog.countClicks, 1);

    // A notification code of WM_COMMAND: LBN_DBLCLK on the second row, and only that.
    RECT row = {};
    ASSERT_NE(::SendDlgItemMessageW(dialog, IDC_SMOKE_LIST, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&row)), LB_ERR);
    ::MapWindowPoints(run.Item(IDC_SMOKE_LIST), nullptr, reinterpret_cast<POINT*>(&row), 2);
    ASSERT_TRUE(DoubleClick(POINT{(row.left + row.right) / 2, (row.top + row.bottom) / 2}));
    ASSERT_TRUE(WaitFor([&] { return run.dialog.listDoubleClicks == 1; }, kStepTimeout));
    EXPECT_EQ(ItemText(dialog, IDC_SMOKE_STATUS), L"状态：双击 1");
    EXPECT_EQ(run.dialog.tileClicks, 2);

    // The status line is painted with the brush OnCtlColor returned (its right end has no text).
    RECT status = {};
    ASSERT_TRUE(::GetWindowRect(run.Item(IDC_SMOKE_STATUS), &status));
    RECT probe = {status.right - 6, (status.top + status.bottom) / 2, status.right - 4, (status.top + status.bottom) / 2 + 1};
    std::vector<unsigned char> rgb;
    ASSERT_TRUE(WaitFor([&] { return CaptureScreenRgb(probe, rgb) && rgb[0] == 212 && rgb[1] == 222 && rgb[2] == 244; },
                        kStepTimeout));

    ASSERT_TRUE(ClickUntil(run.Item(IDCANCEL), [&] { return run.WaitEnded(0); }));
}

TEST_F(FrameworkDialog, ScreenshotShowsTheChineseDialog)
{
    DialogRun run;
    HWND dialog = run.Start();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WaitFor([&] { return run.dialog.tiles.size() == 3 && run.dialog.tiles[2]->draws > 0; }, kStepTimeout));
    run.Sync();
    RECT rect = {};
    ASSERT_TRUE(::GetWindowRect(dialog, &rect));
    const std::wstring path = CaptureScreenPng(L"framework-smoke-dialog.png", &rect);
    ASSERT_FALSE(path.empty());
    EXPECT_NE(::GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    ::SendMessageW(dialog, WM_SMOKE_END, IDCANCEL, 0);
    ASSERT_TRUE(run.WaitEnded());
}

TEST_F(FrameworkDialog, EndDialogInInitialisationNeverShowsTheWindow)
{
    SmokeDialog dialog;
    dialog.endDuringInit = true;
    EXPECT_EQ(dialog.RunModal(), 77);
    EXPECT_EQ(dialog.shows, 0);
    EXPECT_TRUE(dialog.destroyCalled);
    EXPECT_EQ(dialog.Handle(), nullptr);
    EXPECT_EQ(FindTopWindow({L"#32770", L"框架演示", ::GetCurrentProcessId(), false}), nullptr);
}

TEST_F(FrameworkDialog, EndDialogFromAMessageSentByAnotherThreadEndsTheRun)
{
    DialogRun run;
    HWND dialog = run.Start();
    ASSERT_NE(dialog, nullptr);
    // The end comes from a sent message, which GetMessage handles without returning; a second end
    // in the same handler does not change the result (a cancel is never turned into OK).
    ::SendMessageW(dialog, WM_SMOKE_END, 5, IDOK);
    ASSERT_TRUE(run.WaitEnded());
    EXPECT_EQ(run.Result(), 5);
}

TEST(FrameworkSmokeProgram, RunsItsDialogFromTheApplicationObjectAndEndsOnClose)
{
    Process smoke;
    // Built beside this test program.
    const std::wstring path = ExecutableDirectory() + L"\\FrameworkSmoke.exe";
    ASSERT_TRUE(smoke.Start(L"\"" + path + L"\""));
    HWND dialog = WaitForWindow({L"#32770", L"框架演示", smoke.Id()}, kWindowTimeout);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(ItemText(dialog, IDC_SMOKE_NUMBER), L"42");
    EXPECT_EQ(WindowText(::GetDlgItem(dialog, IDC_SMOKE_STATUS)), L"状态：就绪");
    ::PostMessageW(dialog, WM_CLOSE, 0, 0);
    DWORD exitCode = 99;
    ASSERT_TRUE(smoke.WaitForExit(kWindowTimeout, &exitCode));
    EXPECT_EQ(exitCode, 0u);
}

TEST_F(FrameworkDialog, MissingStringShowsNoMessageBox)
{
    ::SetLastError(0);
    EXPECT_EQ(fw::ShowMessage(nullptr, 0xDEAD, MB_ICONEXCLAMATION), 0);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

// A top-level window that closes itself on a timer and frees itself once it is gone.
class SelfClosingWindow : public fw::GenericWindow {
public:
    explicit SelfClosingWindow(std::atomic<int>& finals, std::atomic<int>& creates)
        : finals_(finals), creates_(creates) {}

    const fw::MessageMap& Messages() const override
    {
        static const fw::MessageEntry entries[] = {
            fw::OnMessage(WM_CREATE, &SelfClosingWindow::OnCreate),
            fw::OnMessage(WM_TIMER, &SelfClosingWindow::OnTimer),
        };
        static const fw::MessageMap map(entries, &GenericWindow::Messages());
        return map;
    }

protected:
    bool PreCreateWindow(CREATESTRUCTW&) override
    {
        return RegisterWindowClass(L"QelvoSelfClosing", 0, ::LoadCursorW(nullptr, IDC_ARROW), nullptr, nullptr);
    }
    void OnFinalMessage() override
    {
        ++finals_;
        delete this;
    }

private:
    LRESULT OnCreate(UINT, WPARAM, LPARAM, bool&)
    {
        ++creates_;
        return ::SetTimer(hwnd_, 1, 50, nullptr) != 0 ? 0 : -1;
    }
    LRESULT OnTimer(UINT, WPARAM, LPARAM, bool&)
    {
        ::KillTimer(hwnd_, 1);
        DestroyWindow();
        return 0;
    }

    std::atomic<int>& finals_;
    std::atomic<int>& creates_;
};

TEST(GenericWindow, SelfDeletingWindowHearsOfItsEndExactlyOnce)
{
    std::atomic<int> finals{0}, creates{0};
    SelfClosingWindow* window = new SelfClosingWindow(finals, creates);
    ASSERT_TRUE(window->Create(L"QelvoSelfClosing", L"", WS_POPUP, RECT{0, 0, 50, 50}));
    EXPECT_EQ(creates, 1);
    HWND hwnd = window->Handle();
    ASSERT_TRUE(WaitFor([&] { return finals == 1; }, kStepTimeout));
    EXPECT_FALSE(::IsWindow(hwnd));

    // A class that does not exist: no window, and the object still hears of its end.
    std::atomic<int> lostFinals{0}, lostCreates{0};
    SelfClosingWindow* lost = new SelfClosingWindow(lostFinals, lostCreates);
    EXPECT_FALSE(lost->Create(L"QelvoNoSuchClass", L"", WS_POPUP, RECT{0, 0, 50, 50}));
    EXPECT_EQ(lostFinals, 1);
    EXPECT_EQ(lostCreates, 0);
}

} // namespace
