#pragma once
// Identifiers of the installer's dialog templates and of their controls, shared by the resource
// scripts in dialogs/ and the wizard's code.

// ---- Dialog templates ----
#define IDD_ABOUT 100
#define IDD_WIZARD 102
#define IDD_START_PAGE 132
#define IDD_FOLDER_PAGE 133
#define IDD_SHORTCUT_PAGE 134
#define IDD_INSTALL_PAGE 135
#define IDD_MODE_PAGE 136
#define IDD_END_PAGE 137

// ---- The wizard frame ----
// Next (Install on the installation page) is IDOK, Exit or Cancel is IDCANCEL.
#define IDC_BACK 3
#define IDC_SEPARATOR 1002
#define IDC_PICTURE_PANEL 1005
// The system-menu command that opens the About box.
#define IDM_ABOUTBOX 16

// ---- Controls of the pages ----
// Every page has a status line at its bottom.
#define IDC_STATUS 1003
#define IDC_BROWSE 1006
#define IDC_FOLDER 1007
#define IDC_FOLDER_GROUP 1008
#define IDC_FOLDER_LABEL 1009
#define IDC_DESKTOP_SHORTCUT 1010
#define IDC_MENU_SHORTCUT 1011
#define IDC_START_MENU_GROUP 1012
#define IDC_PROGRESS 1014
#define IDC_LOG 1015
#define IDC_INFO 1016
#define IDC_QUICK_MODE 1018
#define IDC_ADVANCED_MODE 1019
#define IDC_COPYRIGHT 1020
#define IDC_MODE_GROUP 1021
#define IDC_LANGUAGE_LABEL 1022
#define IDC_LANGUAGE 1023

// ---- Controls of the About box ----
#define IDC_ABOUT_NAME 1019
#define IDC_ABOUT_LEGAL 1020
