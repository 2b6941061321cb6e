#include "settings/CalibrationPage.h"

#include "framework/App.h"
#include "settings/SettingsApp.h"
#include "settings/ToolLauncher.h"
#include "settings/ToolPath.h"
#include "settings/resource.h"

#include <string>

namespace settings {

CalibrationPage::CalibrationPage() : SettingsPage(IDD_CALIBRATION_PAGE, kCalibrationTab, IDS_TAB_CALIBRATION) {}

const fw::MessageMap& CalibrationPage::Messages() const
{
    static const fw::MessageEntry entries[] = {
        fw::OnCommand(IDC_CALIBRATE, &CalibrationPage::OnCalibrate),
        fw::OnCommand(IDC_LINE_TEST, &CalibrationPage::OnLineTest),
    };
    static const fw::MessageMap map(entries, &SettingsPage::Messages());
    return map;
}

void CalibrationPage::DoDataExchange(fw::DataExchange& dx)
{
    SettingsPage::DoDataExchange(dx);
    dx.Bind(IDC_CALIBRATE, calibrateButton_);
    dx.Bind(IDC_LINE_TEST, lineTestButton_);
}

bool CalibrationPage::OnInitDialog()
{
    SettingsPage::OnInitDialog();
    // Shared icons from the program's resources: never destroyed.
    const HINSTANCE module = fw::ProgramInstance();
    calibrateButton_.Send(BM_SETIMAGE, IMAGE_ICON,
                          reinterpret_cast<LPARAM>(::LoadIconW(module, MAKEINTRESOURCEW(IDI_CALIBRATE))));
    lineTestButton_.Send(BM_SETIMAGE, IMAGE_ICON,
                         reinterpret_cast<LPARAM>(::LoadIconW(module, MAKEINTRESOURCEW(IDI_LINE_TEST))));
    return true;
}

void CalibrationPage::OnCalibrate(UINT, UINT, HWND)
{
    const wchar_t* name = TheApp().deviceManager.GetSelectedDeviceName();
    const std::wstring commandLine = CalibrationCommandLine(name != nullptr ? name : L"");
    LaunchTool(hwnd_, ToolStart{L"Marksman*.exe", commandLine.c_str(), SW_SHOW});
}

void CalibrationPage::OnLineTest(UINT, UINT, HWND)
{
    LaunchTool(hwnd_, ToolStart{L"Scribe.exe", nullptr, SW_SHOWMAXIMIZED});
}

} // namespace settings
