// Numbers of the desktop monitor's resources, controls, commands and timer,
// shared by desktop.rc and the code.
#pragma once

#include "monitor/file_commands.h"
#include "ui/corrections_ids.h"  // the Corrections (110) and Open Network Receiver (111) dialogs

// Resources (language Chinese (Taiwan), 1028).
#define IDD_ABOUT 101
#define IDB_SKY 102
#define IDI_TRELVANE 103
#define IDR_ACCELERATORS 104
#define IDR_MENU 105
#define IDD_SETUP 106
#define IDD_INFO 107
#define IDD_SCAN 108
#define IDD_ACCURACY 109
#define IDD_CORRECTIONS 110
#define IDD_NETWORK 111
#define IDD_CHARTS 112
#define IDD_HEALTH 113

// Strings.
#define IDS_APP_TITLE 104  // window class name and title
#define IDS_TAB_SETUP 105
#define IDS_TAB_INFO 106
#define IDS_TAB_ACCURACY 107
#define IDS_TAB_CHARTS 108
#define IDS_TAB_HEALTH 109

// Menu and accelerator commands.
#define IDM_ABOUT 40001
#define IDM_EXIT 40002
// The File menu's recording and playing back, numbered alike in both monitors.
#define IDM_RECORD TRELVANE_CMD_RECORD
#define IDM_PLAY_FILE TRELVANE_CMD_PLAY_FILE
#define IDM_PAUSE TRELVANE_CMD_PAUSE
#define IDM_STEP TRELVANE_CMD_STEP
#define IDM_FASTER TRELVANE_CMD_FASTER
#define IDM_SLOWER TRELVANE_CMD_SLOWER
#define IDM_STOP_PLAYING TRELVANE_CMD_STOP_PLAYING
#define IDM_EXPORT_TRACK TRELVANE_CMD_EXPORT_TRACK
#define IDM_SHARE 40020          // File: Share Receiver (checked while sharing)
#define IDM_ALLOW_OTHERS 40021   // File: Allow Other Computers (checked: every interface)

// Controls of the Setup page (dialog 106) and the Scan Ports dialog (108).
#define IDC_COM_PORT 1000
#define IDC_BAUD_RATE 1001
#define IDC_SCAN 1002
#define IDC_COLD_START 1003
#define IDC_START_GPS 1004
#define IDC_LOG 1005
#define IDC_SCAN_OK 1006
#define IDC_SCAN_LIST 1007
#define IDC_SCAN_STATUS 1008
#define IDC_VTG 1009
#define IDC_POWER_SAVE 1010
#define IDC_WAAS 1011
#define IDC_FAMILY 1012
#define IDC_IDENTIFY 1013
#define IDC_RECEIVER_NAME 1016
#define IDC_LINK_STATE 1014   // the link's health: its state
#define IDC_LINK_COUNTS 1015  // and its counts
#define IDC_SHARED 1030       // "Shared: N clients" while sharing
#define IDC_CORRECTIONS 1031  // the corrections' status line, empty while they are off

// The main window's strip below the tab control while a file plays.
#define IDC_PLAY_POSITION 1020  // the position bar, thousandths of the file's length
#define IDC_PLAY_TEXT 1021      // "NAME  P / L  xS"

// The main window's tab control.
#define IDC_TABS 1

// The timer a device arrival starts.
#define DEVICE_TIMER_ID 4096
#define LOG_FLUSH_TIMER_ID 4097  // the Setup page's
#define REPAINT_TIMER_ID 4098  // the information page's
#define IDENTIFY_TIMER_ID 4099  // the main window's: Identify's listening time
#define PLAYBACK_TIMER_ID 4102  // the main window's: the next bytes of a played file fall due
#define HEALTH_TIMER_ID 4101  // the main window's: the monitor session's clock, while the link is open
#define RATE_TIMER_ID 4103  // the main window's: the next step of following a port-rate change
#define AGE_TIMER_ID 4104  // the main window's: the data's age, for a receiver faster than 1 Hz
#define EXPORT_TIMER_ID 4105  // the main window's: the next slice of an export
#define CHARTS_TIMER_ID 4106  // the main window's: the next slice of a played file's history
