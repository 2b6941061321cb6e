// Resource ids of FrameworkSmoke, grouped by dialog.
#pragma once

#define IDS_SMOKE_TITLE        1

#define IDD_SMOKE              100
#define IDC_SMOKE_NUMBER       1002
#define IDC_SMOKE_MODE_FIRST   1003
#define IDC_SMOKE_MODE_SECOND  1004
#define IDC_SMOKE_MODE_THIRD   1005
#define IDC_SMOKE_LIST         1006
#define IDC_SMOKE_TRACK        1007
#define IDC_SMOKE_PAGE_AREA    1008
#define IDC_SMOKE_COUNT        1009
#define IDC_SMOKE_POKE         1010
#define IDC_SMOKE_STATUS       1011

#define IDD_SMOKE_PAGE         110
#define IDC_PAGE_TEXT          1101
#define IDC_PAGE_EDIT          1102

// Display-like buttons made at run time: one command range.
#define IDC_SMOKE_TILE_FIRST   5100
#define IDC_SMOKE_TILE_LAST    5200

// What the poke static sends its parent through WM_NOTIFY.
#define SMOKE_NOTIFY_POKED     0x57C
