// Ids of the program's resources, shared by the resource script and the code.
#pragma once

// Dialog templates.
#define IDD_ABOUTBOX 100
#define IDD_VELMORA_SETUP_DIALOG 102
#define IDD_DOWNLOAD_PAGE 205

// Header bitmap and program icon share one id.
#define IDR_MAINFRAME 128
#define IDB_HEADER 128

// System-menu command of the About box.
#define IDM_ABOUTBOX 0x0010

// Controls of the two pages.
#define IDC_INFO_TEXT 1000
#define IDC_PROGRESS 1001
#define IDC_HOST 1006
#define IDC_ADDRESS_GROUP 1007
#define IDC_NEXT 1008
#define IDC_PREV 1010
#define IDC_SCHEME_HTTP 1011
#define IDC_SCHEME_HTTPS 1012
#define IDC_SCHEME_PREFIX 1013
#define IDC_PORT 1014

// Strings that this build shows: the Velmora brand's Japanese column, and the About item.
#define IDS_ABOUTBOX 101
#define IDS_LAUNCHER_DOWNLOADING 122
#define IDS_ADDRESS_GROUP 134
#define IDS_CANCEL 146
#define IDS_LAUNCHER_INSTALLING 158
#define IDS_AGENT_INSTALLING 164
#define IDS_SETUP_TITLE 170
#define IDS_ADDRESS_HEADER_TITLE 176
#define IDS_ADDRESS_HEADER_SUBTITLE 182
#define IDS_ADDRESS_INFO 188
#define IDS_NEXT 195
#define IDS_SERVER_UNREACHABLE 201
#define IDS_DOWNLOAD_INFO 208
#define IDS_PREV 214
#define IDS_DOWNLOAD_HEADER_TITLE 220
#define IDS_DOWNLOAD_HEADER_SUBTITLE 226
#define IDS_COMPLETED 232
// Outside the six-column table: only this build's language carries it.

// Controls without an id of their own.
#define IDC_STATIC -1
