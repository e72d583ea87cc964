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
// The views, each showing one stored value.
#define IDC_VIEW_CHECKERBOARD 1020
#define IDC_VIEW_ALPHA_CHANNEL 1021
#define IDC_VIEW_NORMAL_Z 1022
#define IDC_VIEW_32_BITS 1023
#define IDC_VIEW_LAYOUT 1024
// In the views group too: "Reader", "ToneMap" and "Exposure", with the exposure's value.
#define IDC_READER 1025
#define IDC_TONE_MAP 1026
#define IDC_EXPOSURE 1027
#define IDC_EXPOSURE_VALUE 1028

// The layout list's entries, in the order of the numbers stored in "Layout".
#define IDS_LAYOUT_FIRST_IMAGE 201
#define IDS_LAYOUT_EVERY_IMAGE 202
#define IDS_LAYOUT_MIP_CHAIN 203
