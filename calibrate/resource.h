#ifndef QELVO_CALIBRATE_RESOURCE_H
#define QELVO_CALIBRATE_RESOURCE_H

// Resource ids of Marksman.exe, grouped by the dialog or object that uses them.
// DeviceSelectDialog's ids live in device/DeviceSelectResource.h.

// Program icon; also the calibration window's and the range dialog's window icon.
#define IDI_MARKSMAN                128

// CalibrationDialog
#define IDD_CALIBRATION             102
#define IDC_TARGET                  1000
#define IDC_UPPER_PROMPT            1003
#define IDC_LOWER_PROMPT            1004
#define IDR_TARGET_ANIMATION        129
#define IDCUR_BLANK                 106

// DisplaySelectDialog
#define IDD_DISPLAY_SELECT          1091
#define IDC_DISPLAY_NAME            1092
#define IDC_DISPLAY_RESOLUTION      1093
#define IDC_IDENTIFY                1094
#define IDC_DISPLAY_PREVIEW         1095
#define IDC_CUSTOM_RANGE            1120
#define IDC_MONITOR_BUTTON_FIRST    5100
#define IDC_MONITOR_BUTTON_LAST     5200

// CalibrationRangeDialog and its DragIcon controls
#define IDD_CALIBRATION_RANGE       1100
#define IDI_DRAG_WINDOW             1101
#define IDI_DRAG_TARGET             1102
#define IDCUR_DRAG_TARGET           1104
#define IDC_TOP_LEFT_ICON           1105
#define IDC_BOTTOM_RIGHT_ICON       1106
#define IDC_RANGE_LEFT              1107
#define IDC_RANGE_RIGHT             1108
#define IDC_RANGE_TOP               1109
#define IDC_RANGE_BOTTOM            1110
#define IDC_SHOW_RANGE              1111

// String table: start-up, worker failures, prompts and the range check.
#define IDS_NO_PRIVILEGE            1
#define IDS_DRIVER_NOT_LOADED       2
#define IDS_SET_SCREEN_RANGE_FAILED 4
#define IDS_SET_MODE_FAILED         5
#define IDS_GET_MODE_FAILED         6
#define IDS_PROMPT_CANCEL           7
#define IDS_PROMPT_TOP_LEFT         8
#define IDS_PROMPT_BOTTOM_RIGHT     9
#define IDS_PROMPT_TOP_RIGHT        10
#define IDS_RESET_CAL_STATE_FAILED  11
#define IDS_GET_CAL_STATE_FAILED    12
#define IDS_WAIT_FAILED             14
#define IDS_PROMPT_MOVING           15
#define IDS_PROMPT_ACCEPT           16
#define IDS_PROMPT_CHECK            17
#define IDS_SAVE_FAILED             18
#define IDS_ALREADY_RUNNING         19
#define IDS_DEVICE_INIT_FAILED      20
#define IDS_DISPLAY_INIT_FAILED     21
#define IDS_RANGE_TOO_SMALL         22

#endif
