// What the calibration tests share: a simulated controller with its device node, the panel
// kinds, the calibration window's target and prompts as a user sees them, an independent
// computation of the record from the raw points, and the read-back of the stored values.
#pragma once

#include "tests/support/WineTestSupport.h"

#include "simulator/client/SimClient.h"

#include <windows.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace caltest {

constexpr uint32_t kDeviceId = 0x51;
constexpr uint32_t kInitialMode = 1;  // the user's mode before a calibration
extern const wchar_t kObjectName[];
extern const wchar_t kInstanceId[];

// Message and prompt texts as the user must see them, in the language of this process. Inline,
// so that they are set before the tables of any file that includes this header.
inline const wchar_t* const kTextNoPrivilege =
    qelvo::test::InLanguage(L"权限不够，请以管理员登陆！", L"Not enough rights. Please log on as an administrator!");
inline const wchar_t* const kTextNoDriver =
    qelvo::test::InLanguage(L"不能加载驱动程序，请重新安装！", L"Cannot load the driver. Please reinstall it!");
inline const wchar_t* const kTextWaitFailed = qelvo::test::InLanguage(L"等待事件出错！", L"Waiting for an event failed!");
inline const wchar_t* const kTextSetRange = qelvo::test::InLanguage(L"设置校准参数失败：", L"Failed to set the calibration values: ");
inline const wchar_t* const kTextSetMode = qelvo::test::InLanguage(L"设置触摸模式失败：", L"Failed to set the touch mode: ");
inline const wchar_t* const kTextGetMode = qelvo::test::InLanguage(L"取触摸模式失败：", L"Failed to read the touch mode: ");
inline const wchar_t* const kTextReset = qelvo::test::InLanguage(L"重置校准数据状态失败:", L"Failed to reset the calibration state: ");
inline const wchar_t* const kTextGetState = qelvo::test::InLanguage(L"取校准数据状态失败:", L"Failed to read the calibration state: ");
inline const wchar_t* const kTextSave =
    qelvo::test::InLanguage(L"保存注册表校准参数失败：", L"Failed to save the calibration values in the registry: ");
inline const wchar_t* const kPromptCancel = qelvo::test::InLanguage(L"一定时间不操作 或 按 <ESC> 键，将取消校准",
                                                L"Do nothing for a while or press <ESC> to cancel the calibration");
inline const wchar_t* const kPromptTarget[3] = {
    qelvo::test::InLanguage(L"请用手指触摸屏幕左上角的目标靶\n手指离开屏幕以前可以移动以便准确触摸靶心",
               L"Touch the centre of the target at the top left of the screen\nYou may move your finger until you lift it"),
    qelvo::test::InLanguage(L"请用手指触摸屏幕右下角的目标靶\n手指离开屏幕以前可以移动以便准确触摸靶心",
               L"Touch the centre of the target at the bottom right of the screen\n"
               L"You may move your finger until you lift it"),
    qelvo::test::InLanguage(L"请用手指触摸屏幕右上角的目标靶\n手指离开屏幕以前可以移动以便准确触摸靶心",
               L"Touch the centre of the target at the top right of the screen\nYou may move your finger until you lift it"),
};
inline const wchar_t* const kPromptMoving = qelvo::test::InLanguage(L"正在移动目标靶，请稍候......", L"Moving the target, please wait......");
inline const wchar_t* const kPromptAccept =
    qelvo::test::InLanguage(L"双击屏幕 或 按<Enter> 键，将保存校准数据\n一定时间不操作 或 按 <ESC> 键，将重新校准",
               L"Double-tap the screen or press <Enter> to save the calibration\n"
               L"Do nothing for a while or press <ESC> to calibrate again");
inline const wchar_t* const kPromptCheck = qelvo::test::InLanguage(L"请触摸屏幕，观察光标位置，检查校准结果。",
                                               L"Touch the screen and watch the cursor to check the calibration.");
inline const wchar_t* const kRangeCaption = qelvo::test::InLanguage(L"选择校准范围", L"Select Calibration Area");

enum class Panel { Straight, MirrorX, MirrorY, Swapped, SwappedMirrored };
const char* PanelName(Panel panel);
touchsim::PanelConfig MakePanel(Panel kind, const touchsim::Rect32& area);

struct Record {
    int32_t XLow, YLow, XHigh, YHigh;
    uint32_t SwapXY;
};
// Written from the description of the procedure, independently of the program's code.
Record ExpectedRecord(const std::array<POINT, 3>& raw);

// The simulated driver with one controller and its device node; the controller starts in
// kInitialMode with no history.
class Rig {
public:
    // `fullScale` 0 takes what this process's Windows version gives; a program that is made to
    // see another version (the x86 smoke run) needs the driver to map with that one.
    bool Prepare(Panel panel, bool driverKey = true, int32_t fullScale = 0);
    touchsim::SimClient& Sim() { return sim_; }
    bool State(touchsim::SimControllerState* state) { return sim_.GetState(kDeviceId, state); }
    // Taps the desktop point through the panel; the raw point the controller produced.
    bool Tap(POINT at, POINT* raw);

private:
    touchsim::SimClient sim_;
};

// A path of the build tree (a Linux path) as Windows programs under Wine reach it, on drive Z:.
std::wstring WinePath(const wchar_t* unixPath);

// The nine values of the driver key, in stored order; false when XLow is absent.
struct Stored {
    uint32_t value[9];
};
bool ReadStored(Stored* stored, DWORD* error);
// The same, value by value: present[i] tells whether value i exists as a REG_DWORD. False only
// when the key cannot be opened.
bool ReadStoredValues(Stored* stored, bool present[9], DWORD* error);
extern const wchar_t* const kStoredNames[9];

// The system's text for `code` as the programs append it, or "Code=(0x%08x)" when it has none;
// made here with FormatMessageW, independently of the programs.
std::wstring SystemText(DWORD code);

// The driver's accepted requests for the controller in order, consecutive requests of one code
// as one run (the simulator keeps the last kRequestRuns runs).
struct RequestRun {
    uint32_t code;
    uint32_t count;
};
std::vector<RequestRun> RequestSequence(const touchsim::SimControllerState& state);
bool NothingStored();

// Checks with GoogleTest that the driver key and the driver hold the record of the raw points and
// the whole desktop, 0..fullScale on both axes.
void ExpectStoredMatches(Rig& rig, const std::array<POINT, 3>& raw, int32_t fullScale);

// The calibration window's controls as seen from outside its thread.
bool TargetVisible(HWND dialog);
POINT TargetCentre(HWND dialog);  // the control's screen rectangle centre (its centre pixel)
// Waits until the upper prompt shows `upper` and is visible (the target is then in place).
// `pollMs` apart; an emulated run asks less often.
bool WaitForPrompt(HWND dialog, const wchar_t* upper, DWORD timeoutMs, DWORD pollMs = 20);
// For each of the three targets: waits for its prompt, taps its centre, keeps the raw point.
bool TapTargets(HWND dialog, Rig& rig, std::array<POINT, 3>* raw, std::array<POINT, 3>* centres = nullptr);

// The largest distance (in pixels, per axis) between nine points of `area` (corners, edge
// middles, centre) and where touches there land through the mapping the driver holds.
bool MaxLandingError(Rig& rig, const RECT& area, int* maxError);

// The worker shows the verification prompts before it resets the events and waits: an answer given
// in between is dropped, as the user's would be. So an answer is repeated until `done` holds, with
// 2 s for each try to take effect.
bool AnswerUntil(const std::function<bool()>& answer, const std::function<bool()>& done, DWORD timeoutMs);

// Reads the current mode / calibration from the simulator.
bool CurrentMode(Rig& rig, uint32_t* mode);

} // namespace caltest
