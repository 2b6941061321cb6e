// What the calibration tests share: a simulated controller with its device node, the panel
// kinds, the calibration window's target and prompts as a user sees them, an independent
// computation of the record from the raw points, and the read-back of the stored values.
#pragma once

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

// Message and prompt texts as the user must see them.
extern const wchar_t kTextNoPrivilege[];
extern const wchar_t kTextNoDriver[];
extern const wchar_t kTextWaitFailed[];
extern const wchar_t kTextSetRange[];
extern const wchar_t kTextSetMode[];
extern const wchar_t kTextGetMode[];
extern const wchar_t kTextReset[];
extern const wchar_t kTextGetState[];
extern const wchar_t kTextSave[];
extern const wchar_t kPromptCancel[];
extern const wchar_t kPromptTarget[3][64];
extern const wchar_t kPromptMoving[];
extern const wchar_t kPromptAccept[];
extern const wchar_t kPromptCheck[];

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
