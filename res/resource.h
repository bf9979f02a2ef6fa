// Resource identifiers of Lumivane, grouped by kind and number range. Shared by
// the resource script and the C++ code; a test checks that none repeats.
#pragma once

// Dialogs
#define IDD_ABOUTBOX 100
#define IDD_LUMIVANE_DIALOG 102
#define IDD_QUILLPANE 138
#define IDD_REMOVED_ENTRIES 139

// Icons and bitmaps
#define IDR_MAINFRAME 128
#define IDB_ABOUT 129
#define IDI_BACKUP 132
#define IDI_EXIT 133
#define IDI_REFRESH 134
#define IDI_REMOVE 135
#define IDI_FOLDER_ENTRY 136
#define IDI_REGISTRY_ENTRY 137
#define IDI_APP_TASK_ENTRY 140
#define IDI_LOGON_ENTRY 141
#define IDI_TASK_ENTRY 142

// Menu and accelerator table
#define IDR_MAIN_MENU 130
#define IDR_MAIN_ACCELERATORS 131

// Controls of the main window
#define IDC_REMOVE 1000
#define IDC_BACKUP 1001
#define IDC_REFRESH 1002
#define IDC_EXIT 1003
#define IDC_ENTRY_LIST 1004

// Controls of the line editor
#define IDC_LINES 1004
#define IDC_SAVE_FILE 1005
#define IDC_MOVE_LINE_UP 1007
#define IDC_MOVE_LINE_DOWN 1008
#define IDC_SAVE_FILE_AS 1010
#define IDC_ADD_LINE 1011
#define IDC_SWAP_LINE 1012
#define IDC_LINE_TEXT 1013
#define IDC_REMOVE_LINE 1000
#define IDC_EXIT_EDITOR 1003

// Controls of the Removed Entries dialog
#define IDC_REMOVED_LIST 1020
#define IDC_RESTORE_REMOVED 1021
#define IDC_DELETE_REMOVED 1022

// Commands
#define ID_FILE_EXIT 32771
#define ID_HELP_MANUAL 32772
#define ID_HELP_ABOUT 32773
#define ID_TASK_REFRESH 32774
#define ID_TASK_REMOVE 32776
#define ID_TASK_BACKUP 32777
#define ID_FILE_SAVE_LIST 32778
#define ID_TASK_DISABLE 32780
#define ID_TASK_JUMP_TO_ENTRY 32781
#define ID_TASK_OPEN_FILE_LOCATION 32782
#define ID_TASK_COPY 32783
#define ID_TASK_WATCH 32784
#define ID_FILE_REMOVED_ENTRIES 32785
#define ID_EDIT_UNDO_REMOVE 32786
#define ID_EXTRAS_SYSTEM_INI 32789
#define ID_EXTRAS_WIN_INI 32790
#define ID_EXTRAS_BOOT_INI 32791
#define ID_EXTRAS_AUTOEXEC_BAT 32792
#define ID_EXTRAS_AUTOEXEC_NT 32793
#define ID_EXTRAS_CONFIG_SYS 32794
#define ID_EXTRAS_CONFIG_NT 32795
