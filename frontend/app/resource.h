// Resource and control identifiers of ZOLP.exe, shared by ZOLP.rc and the code.
// The numbers are part of the program's outside face: the test driver and the
// option dialogs find controls by them.
#pragma once

// Dialog templates.
#define IDD_ABOUTBOX 100
#define IDD_ZOLP_DISK1 101
#define IDD_ZOLP_STANDARD 102
#define IDD_ZOLP_VORTALIS 103
#define IDD_ZOLP_TIRANDOL 104
#define IDD_IMAGE 106
#define IDD_DISKETTE 107
#define IDD_RELEASE 108
#define IDD_CD 109
#define IDD_DISKX 110
#define IDD_PROGRESS 111
#define IDD_BURN 112
#define IDD_README 141
#define IDD_BUILDIMG 142
#define IDD_UPDATE 144

// Icons, bitmaps, the animation and the two embedded tools.
#define IDI_ZOLP 130
#define IDI_USB 131
#define IDI_DISKETTE 132
#define IDI_DISK 133
#define IDA_COPY 134
#define IDB_LOGO 135
#define IDB_CD 136
#define IDB_DISKETTE 138
#define IDB_FINISHED 139
#define IDB_USB 140
#define IDB_UPDATE 143
#define IDI_PARTITION 145
#define IDB_IMAGE 146
#define IDB_LOGO_CYAN 147
#define IDR_TORBEL 149
#define IDR_VELLIX 150

// Main dialog.
#define IDC_USB 1000
#define IDC_IMAGE 1001
#define IDC_CD 1002
#define IDC_DISKETTE 1003
#define IDC_UPDATE 1005
#define IDC_README_LINK 1007
#define IDC_VERSION_LABEL 1008
#define IDC_RELEASE_LINK 1009
#define IDC_LOGO 1025
#define IDC_FINISHED 1045
// Description texts under the option buttons.
#define IDC_USB_TEXT 1050
#define IDC_CD_TEXT 1051
#define IDC_DISKETTE_TEXT 1052
#define IDC_IMAGE_TEXT 1053
#define IDC_UPDATE_TEXT 1054
#define IDC_FINISHED_TEXT 1055

// Image file dialog.
#define IDC_IMAGE_BROWSE 1014
#define IDC_IMAGE_PATH 1015
#define IDC_IMAGE_HDD 1041
#define IDC_IMAGE_DISKETTE 1043

// Diskette set: the drive choice and the dialog of one diskette.
#define IDC_DISKETTE_DRIVES 1006
#define IDC_DISKX_WARNING 1018
#define IDC_DISKX_TEXT 1021
#define IDC_DISKX_TITLE 1022

// USB flash drive dialog: its template, the drive list and the warning label.
#define IDD_USB 105
#define IDC_USB_DRIVES 1004
#define IDC_USB_WARNING 1019
// CD image dialog (CCDDlg) and the burn dialog (CBurnCD).
#define IDC_CD_PATH 1016
#define IDC_CD_BROWSE 1017
#define IDC_CD_BURN 1029
#define IDC_BURN_WRITERS 1032
#define IDC_BURN_PROGRESS 1033
#define IDC_BURN_PERCENT 1034
#define IDC_BURN_STATUS 1035
#define IDC_BURN_ANIMATION 1036
#define IDC_BURN_WARNING 1037

// Release viewer.
#define IDC_RELEASE_VERSION 1010
#define IDC_RELEASE_HEADING 1012
#define IDC_RELEASE_INFO_HEADING 1013
#define IDC_RELEASE_TEXT 1028

// Copy progress window and build window.
#define IDC_PROGRESS_BAR 1020
#define IDC_PROGRESS_ANIMATION 1023
#define IDC_PROGRESS_TARGET 1024
#define IDC_PROGRESS_PERCENT 1027
#define IDC_BUILDING_TEXT 1040

// Readme viewer.
#define IDC_README_TEXT 1038

// About box.
#define IDC_ABOUT_VERSION 1060
#define IDC_ABOUT_PACKAGE 1061

// Diagnostic partition update.
#define IDC_UP_TEXT 1042
#define IDC_UP_WARNING 1044

// System menu commands (the low four bits are ignored when matching).
#define IDM_ABOUTBOX 0x0010
#define IDM_VIEWREADME 0x0020
#define IDM_RELEASEINFO 0x0030
