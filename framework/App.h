// The application object: one per program, a global object of a class derived from App.
// The framework's wWinMain initialises common controls, then calls InitInstance; returning false
// ends the process (with ExitCode()), returning true runs a message loop until WM_QUIT.
//
//   class CalibrationApp : public fw::App { bool InitInstance() override; ... };
//   CalibrationApp theApp;
//   ... elsewhere: fw::App::Get<CalibrationApp>().displayRect
//
// Programs link qelvo_framework_app (adds the Unicode GUI entry point); test programs that only
// use dialogs link qelvo_framework and need no App object.
#pragma once

#include "framework/Handle.h"
#include "framework/Window.h"

#include <windows.h>

#include <string>

namespace fw {

class App {
public:
    App() { current_ = this; }
    // Out of line: App's key function, so that every application object pulls App.cpp, and with
    // it wWinMain, out of the static library.
    virtual ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // Null before the program's application object is constructed and after it is destroyed.
    static App* Current() { return current_; }
    // The program's own application class; only for the type the program actually defines.
    template <class T>
    static T& Get() { return static_cast<T&>(*Current()); }

    // Runs the program: what wWinMain does. Returns the process exit code.
    int Run();

protected:
    virtual bool InitInstance() = 0;
    // Exit code of the process; default 0.
    virtual int ExitCode() { return 0; }

private:
    static inline App* current_ = nullptr;
};

// The program's name: its executable's file name without the extension ("Marksman").
const std::wstring& ProgramName();

// The module whose resources are the program's (the executable).
inline HINSTANCE ProgramInstance() { return ::GetModuleHandleW(nullptr); }

// Registers the common control classes the programs use (animation, tab, trackbar, up-down and
// the standard ones). wWinMain calls it; tests that make dialogs without an App call it themselves.
bool InitCommonControlClasses();

// MessageBoxW with MB_OK | iconFlags, caption ProgramName(), text string `stringId` loaded now.
// Returns MessageBoxW's result, 0 if the string does not exist or the box could not be shown.
int ShowMessage(HWND owner, UINT stringId, UINT iconFlags);

// The single-instance lock of start-up: creates mutex `name`, owned by `mutex` from then on. False
// when another instance holds it (after an owner-less message `alreadyRunningId` with the
// exclamation icon, the mutex already closed) or when it could not be created at all (no message).
bool LockSingleInstance(const wchar_t* name, KernelHandle& mutex, UINT alreadyRunningId);

} // namespace fw
