// Resource ids shared by the resource script and the program.
#pragma once

#define IDD_UPDATE_DIALOG 102
#define IDR_MAINFRAME 128
#define IDB_BANNER 131
// A brand's banner at twice the size, drawn from at a DPI above 96; present
// only when the brand supplies one.
#define IDB_BANNER_2X 132

#define IDC_BANNER 1000
// The banner's panel in dialog units: the left edge, the dialog's full height.
#define BANNER_PANEL_WIDTH 112
#define BANNER_PANEL_HEIGHT 185
// The banner's own size in pixels, as 96 DPI shows it.
#define BANNER_WIDTH 163
#define BANNER_HEIGHT 278
#define IDC_PROGRESS 1002
#define IDC_LIST 1011
#define IDC_STATUS 1012

// String table ids 103..125 and the framework's file-error texts.
#define IDS_SOCKET_INIT_FAILED 103
#define IDS_URL_NOT_HTTP 104
#define IDS_CLICK_NEXT 105
#define IDS_UPDATE_CAPTION 106
#define IDS_FINISH_CAPTION 107
#define IDS_CONNECTING 108
#define IDS_CONNECT_FAILED 109
#define IDS_READING_VERSION 110
#define IDS_ALREADY_NEWEST 111
#define IDS_NEW_VERSION_FOUND 112
#define IDS_PRODUCT_RUNNING 113
#define IDS_FILE_FAILED 114
#define IDS_FILE_UPDATED 115
#define IDS_UPDATE_FINISHED 116
#define IDS_DOWNLOADING 117
#define IDS_NOT_ON_SERVER 118
#define IDS_CANNOT_WRITE_FILE 119
// Shown only by builds with the vendor's public key: a manifest whose signature fails.
#define IDS_SIGNATURE_INVALID 120
// A whole release that failed or was refused: nothing was changed.
#define IDS_RELEASE_NOT_DONE 121
// A whole release's commit was cut short and the program directory cannot be written.
#define IDS_RECOVERY_NEEDS_RIGHTS 122
// The program directory cannot be written and no elevated copy took the run over.
#define IDS_NO_RIGHTS_TO_INSTALL 123
// A cut commit that a file in use keeps from being recovered; Next tries again.
#define IDS_RECOVERY_FILES_IN_USE 124
// A file a whole release removed, listed after the updated ones.
#define IDS_FILE_REMOVED 125
// The vendor's public key (65 bytes: 04 || X || Y), present in keyed builds only.
#define IDR_UPDATE_PUBLIC_KEY 140
// A brand's tables only (cmake/UpdaterTexts.cmake): the dialog's own texts
// and the product's display name, per language.
#define IDS_DIALOG_TITLE 200
#define IDS_DIALOG_HEADING 201
#define IDS_DIALOG_INSTALLED 202
#define IDS_DIALOG_STATUS 203
#define IDS_DIALOG_NEXT 204
#define IDS_DIALOG_CANCEL 205
#define IDS_DISPLAY_NAME 206
#define IDS_FILE_ACCESS_ERROR 61857
#define IDS_DISK_FULL 61869
#define IDS_INTERNAL_ERROR 61704
