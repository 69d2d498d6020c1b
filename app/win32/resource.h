// Resource ids of the Windows program, shared by the resource script and the code.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_TARVEX_DIALOG 102
#define IDS_OPEN_FILTER 102
#define IDR_MAINFRAME 161
#define IDB_PICTURE 166

#define IDC_TEST 3
#define IDC_DOWNLOAD 1001
#define IDC_PORT_LIST 1002
#define IDC_IMAGE_PATH 1003
#define IDC_OPEN 1004
#define IDC_PROGRESS 1005
#define IDC_MODEL 1009
#define IDC_HIDDEN_PICTURE 1010
#define IDC_LOGO 1011

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// The window-menu entry that opens the about box.
#define IDM_ABOUTBOX 0x0010
