#pragma once
// Resource and control ids shared by the resource script and the code.

#define IDD_SETTINGS 101

#define IDC_ALPHA_REMOVE 1002
#define IDC_ALPHA_COMPOSITE 1003
#define IDC_CHOOSE_COLOR 1004
#define IDC_HISTORY_1 1005
#define IDC_HISTORY_2 1006
#define IDC_HISTORY_3 1007
#define IDC_HISTORY_4 1008
#define IDC_HISTORY_5 1009
#define IDC_HISTORY_6 1010
#define IDC_HISTORY_7 1011
#define IDC_HISTORY_8 1012
#define IDC_CURRENT_COLOR 1016
#define IDC_USE_EXIF_ORIENTATION 1018
