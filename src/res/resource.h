// Resource, control, command and private message ids of the user interface.
// Plain #defines only: read by windres and by the Windows-only dialog code.
#pragma once

// Dialog templates (100-199).
#define IDD_ABOUTBOX 100
#define IDD_NORVANE_DIALOG 102

// Icons: the application icon and the ten frames of the busy animation.
#define IDR_MAINFRAME 128
#define IDI_BUSY_FIRST 256
#define IDI_BUSY_COUNT 10

// "DIB" resources: the banner for displays with 256 colours or more, and the
// one drawn from the 16 standard VGA colours for fewer.
#define IDB_BANNER 210
#define IDB_BANNER_LOWCOLOR 220

// Controls of the progress dialog (1000-1099).
#define IDC_STATUS 1000
#define IDC_BUSY_ICON 1001
#define IDC_BANNER 1005
#define IDC_BANNER_BACK 1007

// System-menu command (the low four bits of system commands are reserved).
#define IDM_ABOUTBOX 0x0010

// Private window messages.
#define WM_NORVANE_DONE (WM_USER + 1)
