// What the Setwell tests and the demo share: the program and its helpers started as processes,
// the main dialog and its pages as a user sees them, the six settings in a controller's driver key,
// the system's double-click settings, and a fault that only a process can be given from outside.
#pragma once

#include "tests/support/WineTestSupport.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace setwelltest {

// Texts as the user must see them.
// In the language of this process; inline, so that they are set before any table that uses them.
inline const wchar_t* const kCaption = qelvo::test::InLanguage(L"Qelvo设置程序", L"Qelvo Settings");  // main dialog
inline const wchar_t kProgramName[] = L"Setwell";  // message box caption, in both languages
inline const wchar_t* const kSelectCaption = qelvo::test::InLanguage(L"选择设备", L"Select Device");  // DeviceSelectDialog
const wchar_t* MessageText(int id);     // string table of the program, ids 1 to 17

// Control ids.
enum : int {
    kTab = 1000, kApply = 1001,
    kCalibrate = 1003, kLineTest = 1010,
    kModeFirst = 1064, kDragDelay = 1013, kRegion = 1006, kSpin = 1009,
    kBeepMode = 1012, kBeepFreq = 1077, kBeepTime = 1078,
};
const int kDescription[4] = {1007, 1008, 1010, 1011};

// Paths of the build (Windows form, on drive Z:).
std::wstring SetwellPath();
std::wstring MarksmanPath();
std::wstring ProbePath();
std::wstring ScribePath();

// A fresh folder under %TEMP% for one test; removed with its files on destruction.
class TempFolder {
public:
    explicit TempFolder(const std::wstring& name);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& Path() const { return path_; }
    bool Copy(const std::wstring& from, const wchar_t* name) const;
    bool WriteText(const wchar_t* name, const char* text) const;
    // A folder below this one whose full path has `length` characters.
    bool MakeDeep(size_t length, std::wstring* deep);

private:
    std::wstring path_;
    std::vector<std::wstring> made_;
};

// Setwell.exe as a process; terminated on destruction (or on a new Start) if still running.
class Setwell {
public:
    Setwell() : process_(new qelvo::test::Process) {}
    // The build's Setwell.exe, or `program` when given (e.g. an installed copy).
    bool Start(const std::wstring& currentDirectory = L"", const std::wstring& program = L"");
    qelvo::test::Process& Proc() { return *process_; }
    DWORD Id() const { return process_->Id(); }
    // The main dialog once it is visible; null on time-out.
    HWND WaitForDialog(DWORD timeoutMs = 90000);
    HWND WaitForSelection(DWORD timeoutMs = 90000);
    // A message box of this program (caption "Setwell").
    HWND WaitForMessage(DWORD timeoutMs = 90000);
    HWND FindMessage() const;
    bool Ended(DWORD timeoutMs = 90000);
    // Clicks button `id` of `page` until Setwell has started one more process or shows a message
    // (for a tool button); a lost click is repeated after 5 s while Setwell waits for input.
    bool PressToStart(HWND page, int id);

private:
    std::unique_ptr<qelvo::test::Process> process_;
};

struct Pages {
    HWND calibration = nullptr;
    HWND touchMode = nullptr;
    HWND sound = nullptr;
    HWND about = nullptr;
    HWND ByTab(int index) const;
};
// The four page windows, told apart by their controls.
bool FindPages(HWND dialog, Pages* pages);

// Selects tab `index` with real input: a click on its title. True once the tab control reports it.
bool SelectTab(HWND dialog, int index);
int SelectedTab(HWND dialog);
// The screen rectangle of a tab's title.
bool TabItemRect(HWND tab, int index, RECT* screen);

// Slider and list positions, checks and enabling, read across processes.
int SliderPos(HWND page, int id);
int ListIndex(HWND page, int id);
bool Checked(HWND page, int id);
bool Enabled(HWND page, int id);
bool Visible(HWND page, int id);
int CheckedMode(HWND touchModePage);  // -1 when no radio is checked

// Real input on controls of another process.
bool ClickItem(HWND page, int id);
// One click on the upper or lower arrow of an up-down control.
bool ClickSpin(HWND page, bool up);
// Picks row `index` of a drop-down list with two clicks: open the list, click the row.
bool PickListRow(HWND page, int id, int index);
// Gives `id` the focus by a click at its left end (for a slider: past the thumb at the
// minimum), then sends the keys.
bool FocusAndKeys(HWND page, int id, const std::vector<WORD>& keys);

// Repaints `window` (when given) at once, waits until the screen in `rect` (whole screen when null)
// stays the same between two looks 100 ms apart (at most 5 s), then saves it as CaptureScreenPng
// does. Returns the path, empty on failure.
std::wstring CaptureSettledPng(const std::wstring& fileName, HWND window, const RECT* rect = nullptr);

// Message box checks: its text; owner-less with the exclamation icon or owned without one.
bool MessageHasIcon(HWND box);
HWND MessageOwner(HWND box);
bool Dismiss(HWND box);
// Clicks item `id` of `window` (a dialog or one of its pages) until `done` holds; a lost click is
// repeated after 3 s, at most 30 s. Only for clicks that a repeat does not undo.
bool PressUntil(HWND window, int id, const std::function<bool()>& done);

// The six settings in a driver key, in stored order BeepMode, BeepFreq, BeepTime, MouseMode,
// DragDelay, DblClkRegion.
extern const wchar_t* const kValueNames[6];
struct StoredValue {
    bool present = false;
    DWORD type = 0;
    DWORD size = 0;
    uint32_t value = 0;
};
bool ReadSettings(const std::wstring& instanceId, StoredValue values[6], DWORD* error);
bool WriteValue(const std::wstring& instanceId, const wchar_t* name, DWORD type, const void* data, DWORD size,
                DWORD* error);
bool DeleteSettings(const std::wstring& instanceId, DWORD* error);
// Deletes the node's driver key (the node stays), so that opening it fails.
bool DeleteDriverKey(const std::wstring& instanceId, DWORD* error);

// The system's double-click width, height and time as a new process sees them.
struct DoubleClickSettings {
    int width = 0;
    int height = 0;
    unsigned time = 0;
};
bool ReadDoubleClick(DoubleClickSettings* now);
// Sets them (stored in the user's profile); false if a call failed.
bool SetDoubleClick(const DoubleClickSettings& to);

// Makes AdjustTokenPrivileges, as the running program imports it, report success with
// ERROR_NOT_ALL_ASSIGNED: the account then does not hold the privilege. The program must be
// past its loading (e.g. waiting in a dialog) and not yet have asked for the privilege.
bool DenyPrivileges(HANDLE process, std::string* why);

// The first line "key=value" of a UTF-8 file, by key; false if missing.
bool ReadProbeFile(const std::wstring& path, const wchar_t* key, std::wstring* value);

} // namespace setwelltest
