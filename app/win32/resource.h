// Resource and control ids of the Windows program, for the resource script
// and the code alike (the code checks them against the shared control ids).
#pragma once

#define IDD_ABOUT 100
#define IDD_MAIN 102
#define IDD_CABLE_WARNING 135

#define IDI_APPLICATION_ICON 128
#define IDI_CLOSE 131
#define IDI_BROWSE 132
#define IDI_START 133
#define IDI_HELP 134
#define IDI_CANCEL 138
#define IDI_SAVE 140
#define IDI_TRACE_OFF 141
#define IDI_TRACE_ON 142
#define IDI_CLEAR 143
#define IDB_CABLE_PICTURE 136
#define IDB_ABOUT_PICTURE 137

#define CTL_IMAGE_PATH 1000
#define CTL_BROWSE 1001
#define CTL_PORT 1002
#define CTL_START 1004
#define CTL_LOG 1005
#define CTL_PROGRESS 1006
#define CTL_CLEAR 1007
#define CTL_TRACE 1008
#define CTL_SAVE 1009
#define CTL_DOWNLOAD_BOOT 1010
#define CTL_HELP_BUTTON 1011
#define CTL_PERCENT 1012
#define IDC_CABLE_TEXT 1013
