// Every resource and command id of Velmora, named once; shared by Velmora.rc
// and the code, so it holds nothing but #define lines.
#pragma once

#define IDC_STATIC -1

// Dialogs and their controls
#define IDD_ABOUT 103
#define IDD_SETTINGS 130
#define IDC_OK 1008
#define IDC_CLOSE 1009
#define IDC_LAUNCH_ON_STARTUP 1015
#define IDC_MOUSE_DRAG 1016
#define IDC_REVERSE_MOUSE 1017
#define IDC_SETTINGS_PICTURE 1018
#define IDC_ABOUT_ICON 2

// Pictures
#define IDI_VELMORA 107        // joystick, big window icon
#define IDI_JOYSTICK_SMALL 108 // joystick, small window icon and tray picture
#define IDI_MOUSE 147          // tray picture while the mouse map is in force
// The Settings window's picture, drawn for 100, 150 and 200 % display scaling
#define IDB_JOYSTICK 131     // 128 x 128
#define IDB_JOYSTICK_192 132 // 192 x 192
#define IDB_JOYSTICK_256 133 // 256 x 256

// The tray icon's id, which is also its popup menu
#define IDR_TRAYMENU 109

// Positions in the tray menu's popup (Velmora.rc), greyed by position when
// no stick of that kind is attached
#define IDM_POS_U360_SUBMENU 0
#define IDM_POS_SERVO_SUBMENU 1

// Menu commands
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_SETTINGS 32773
#define IDM_U360_MOUSE 32774
#define IDM_U360_ANALOG 32775
#define IDM_U360_JOY8WAY 32776
#define IDM_U360_EASYJOY8WAY 32777
#define IDM_U360_JOY4WAY 32778
#define IDM_U360_DJOY4WAY 32779
#define IDM_U360_RDJOY4WAY 32780
#define IDM_U360_JOY2WAY 32781
#define IDM_U360_VJOY2WAY 32782
#define IDM_SERVO_8WAY 32783
#define IDM_SERVO_4WAY 32784
