// Numbers of the handheld monitor's resources, controls, commands and timer,
// shared by pocket.rc and the code.
#pragma once

#include "monitor/file_commands.h"
#include "ui/corrections_ids.h"  // the Corrections (109) and Open Network Receiver (110) dialogs

// Resources (language Chinese (Taiwan), 1028).
#define IDR_ACCELERATORS 1
#define IDI_TRELVANE 101
#define IDD_ABOUT 102
#define IDR_MENU 105
#define IDR_MENU_BAR 105  // RCDATA: the shell's menu-bar record
#define IDD_SETUP 106
#define IDD_INFO 107
#define IDD_ACCURACY 108
#define IDD_CORRECTIONS 109
#define IDD_NETWORK 110
#define IDD_CHARTS 112
#define IDD_HEALTH 113
#define IDB_SKY 120

// Strings.
#define IDS_APP_TITLE 1  // window class name and title
#define IDS_TAB_SETUP 3
#define IDS_TAB_INFO 4
#define IDS_TAB_ACCURACY 5
#define IDS_TAB_CHARTS 6
#define IDS_TAB_HEALTH 7
#define IDS_ABOUT_BUTTON 40007
#define IDS_RECEIVER_BUTTON 40008
#define IDS_FILE_BUTTON 40009

// Menu-bar and accelerator commands.
#define IDM_ABOUT 40001
#define IDM_EXIT 40002
#define IDM_RECEIVER 40003  // the menu bar's Receiver button: opens the Receiver menu
#define IDM_FILE 40004      // the menu bar's File button: opens the File menu
// The File menu's recording and playing back, numbered alike in both monitors.
#define IDM_RECORD TRELVANE_CMD_RECORD
#define IDM_PLAY_FILE TRELVANE_CMD_PLAY_FILE
#define IDM_PAUSE TRELVANE_CMD_PAUSE
#define IDM_STEP TRELVANE_CMD_STEP
#define IDM_FASTER TRELVANE_CMD_FASTER
#define IDM_SLOWER TRELVANE_CMD_SLOWER
#define IDM_STOP_PLAYING TRELVANE_CMD_STOP_PLAYING
#define IDM_EXPORT_TRACK TRELVANE_CMD_EXPORT_TRACK
// The Receiver menu: the family list's items in order, then Identify.
#define IDM_FAMILY_FIRST 40020
#define IDM_FAMILY_LAST 40026
#define IDM_IDENTIFY 40027

// The main window's tab control.
#define IDC_TABS 1

// Controls of the Setup page (dialog 106).
#define IDC_LOG 1020
#define IDC_SCAN 1025
#define IDC_COLD_START 1026
#define IDC_START_GPS 1027
#define IDC_COM_PORT 1040
#define IDC_BAUD_RATE 1041
#define IDC_POWER_SAVE 1043
#define IDC_WAAS 1044
#define IDC_VTG 1045
#define IDC_LINK_STATE 1050  // the link's health: its state
#define IDC_CORRECTIONS 1051  // the corrections' status line, empty while they are off

// Read-only value controls of the information page (dialog 107); the
// decoders address them through nmea/readout.hpp.
#define IDC_DATE 1021
#define IDC_UTC 1022
#define IDC_DIRECTION 1023
#define IDC_SPEED 1024
#define IDC_FIX_STATUS 1025
#define IDC_HDOP 1026
#define IDC_PDOP 1027
#define IDC_LON_HEMISPHERE 1028
#define IDC_LAT_HEMISPHERE 1029
#define IDC_LON 1031
#define IDC_LAT 1032

// The timer that keeps the device awake while the program runs.
#define KEEP_AWAKE_TIMER_ID 4096
#define LOG_FLUSH_TIMER_ID 4097  // the Setup page's
#define REPAINT_TIMER_ID 4098  // the information page's
#define IDENTIFY_TIMER_ID 4099  // the main window's: Identify's listening time
#define PLAYBACK_TIMER_ID 4102  // the main window's: the next bytes of a played file fall due
#define HEALTH_TIMER_ID 4101  // the main window's: the monitor session's clock, while the link is open
#define RATE_TIMER_ID 4103  // the main window's: the next step of following a port-rate change
#define AGE_TIMER_ID 4104  // the main window's: the data's age, for a receiver faster than 1 Hz
#define EXPORT_TIMER_ID 4105  // the main window's: the next slice of an export
#define CHARTS_TIMER_ID 4106  // the main window's: the next slice of a played file's history
