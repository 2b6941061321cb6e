// Resource ids of Scribe.exe.
#pragma once

#define IDS_TITLE           1
#define IDS_FONT_FACE       2
#define IDS_CLEAR           3
#define IDS_HINT            4
#define IDS_SUMMARY         5
#define IDS_POINT_WAITING   6
#define IDS_POINT_ERROR     7
#define IDS_STORE_FULL      8

// Child windows of the main window.
#define IDC_SUMMARY         1001
#define IDC_CLEAR           1002
// Read-outs of the nine crosshairs, IDC_READOUT_FIRST + index (row by row from the top left).
#define IDC_READOUT_FIRST   1100
