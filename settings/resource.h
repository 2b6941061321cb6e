#ifndef QELVO_SETTINGS_RESOURCE_H
#define QELVO_SETTINGS_RESOURCE_H

// Resource ids of Setwell.exe, grouped by the dialog or page that uses them.
// DeviceSelectDialog's ids live in device/DeviceSelectResource.h.

// Program icon: the main dialog's window icon, drawn when minimised, the drag icon.
#define IDI_SETWELL                 142

// SettingsDialog
#define IDD_SETTINGS                102
#define IDC_TAB                     1000
#define IDC_APPLY                   1001

// CalibrationPage
#define IDD_CALIBRATION_PAGE        129
#define IDC_CALIBRATE               1003
#define IDC_LINE_TEST               1010
#define IDI_CALIBRATE               136
#define IDI_LINE_TEST               144

// AboutPage
#define IDD_ABOUT_PAGE              131
#define IDB_LOGO                    140
#define IDB_LOGO_MASK               143

// TouchModePage: the radio group 1064-1067 is MouseMode 0-3; one description per mode.
#define IDD_TOUCH_MODE_PAGE         132
#define IDC_MODE_TOUCH_CLICK        1064
#define IDC_MODE_RELEASE_CLICK      1065
#define IDC_MODE_DRAG               1066
#define IDC_MODE_DOUBLE_CLICK_DRAG  1067
#define IDC_DRAG_DELAY              1013
#define IDC_DBLCLK_REGION           1006
#define IDC_DBLCLK_SPIN             1009
#define IDC_DESCRIPTION_TOUCH_CLICK 1007
#define IDC_DESCRIPTION_RELEASE_CLICK 1008
#define IDC_DESCRIPTION_DRAG        1010
#define IDC_DESCRIPTION_DOUBLE_CLICK_DRAG 1011

// SoundPage: list index = BeepMode.
#define IDD_SOUND_PAGE              133
#define IDC_BEEP_MODE               1012
#define IDC_BEEP_FREQ               1077
#define IDC_BEEP_TIME               1078

// String table.
#define IDS_READ_SETTINGS_FAILED    1
#define IDS_ALREADY_RUNNING         2
#define IDS_NO_PRIVILEGE            3
#define IDS_DRIVER_NOT_LOADED       4
#define IDS_UPDATE_DRIVER_FAILED    5
#define IDS_CALIBRATOR_NOT_FOUND    6
#define IDS_CALIBRATOR_NOT_STARTED  7
#define IDS_PATH_TOO_DEEP           9
#define IDS_BEEP_DISABLED           10
#define IDS_BEEP_ON_TOUCH           11
#define IDS_BEEP_ON_RELEASE         12
#define IDS_TAB_CALIBRATION         13
#define IDS_TAB_SETTINGS            14
#define IDS_TAB_SOUND               15
#define IDS_TAB_ABOUT               16
#define IDS_DEVICE_INIT_FAILED      17

#endif
