// Resource identifiers of Varden's dialogs, icon and system-menu commands. Shared by the
// resource data, the dialog logic and the region logic (plain numbers, no platform header).
#pragma once

// Dialog templates.
#define IDD_ABOUTBOX 100
#define IDD_MAIN 102
#define IDD_PROGRESS 130

// Icon.
#define IDR_MAINFRAME 128

// Controls of IDD_MAIN.
#define IDC_APP_ICON 1000
#define IDC_TITLE 1001
#define IDC_REGION1 1002
#define IDC_DRIVE_REGION_GROUP 1003
#define IDC_DRIVE_LIST 1005
#define IDC_LOG 1006
#define IDC_DISC_REGION1 1007
#define IDC_REGION2 1008
#define IDC_REGION3 1009
#define IDC_REGION4 1010
#define IDC_REGION5 1011
#define IDC_REGION6 1012
#define IDC_DISC_REGION2 1013
#define IDC_DISC_REGION3 1014
#define IDC_DISC_REGION4 1015
#define IDC_DISC_REGION5 1016
#define IDC_DISC_REGION6 1017
#define IDC_DISC_REGION_GROUP 1018
#define IDC_SET_REGION 1019
#define IDC_EXIT 1020
#define IDC_GET_REGION 1021
#define IDC_CHANGES_LEFT 1022

// Controls of IDD_PROGRESS.
#define IDC_PROGRESS_TEXT 1009
#define IDC_PROGRESS 1015

// Controls of IDD_ABOUTBOX.
#define IDC_VERSION 1023

// System-menu commands of the main dialog.
#define IDM_ABOUTBOX 0x0010
#define IDM_HELP 0x0020

#ifdef __cplusplus
namespace varden {
// Region n (1 to 6): its drive-region radio button and its disc-region check box.
inline constexpr int kRegionButton[6] = {IDC_REGION1, IDC_REGION2, IDC_REGION3,
                                         IDC_REGION4, IDC_REGION5, IDC_REGION6};
inline constexpr int kDiscRegionBox[6] = {IDC_DISC_REGION1, IDC_DISC_REGION2, IDC_DISC_REGION3,
                                          IDC_DISC_REGION4, IDC_DISC_REGION5, IDC_DISC_REGION6};
}  // namespace varden
#endif
