// Resource ids of korvsetup: dialogs, their controls, the string table,
// the pictures and the icon, declared once for the resource script
// (app/res/korvsetup.rc), the program, its tests and korvsim. Kept in
// common/ so that every folder of the program can use them without reaching
// up into app/; plain defines, so that the resource compiler reads this
// file too.
#pragma once

// Icon and pictures.
#define IDI_APP 102                 // application icon (16, 32 and 48 px)
#define IDB_GEAR 112                // 67x67, the gear in the installer window
#define IDB_CONNECTION 113          // 490x122, printer joined by USB to a laptop

// Dialogs.
#define IDD_UNINSTALL 105
#define IDD_INSTALLER 106

// Controls of the installer window (IDD_INSTALLER).
#define IDC_INSTALLER_CANCEL 2      // "Cancel"; becomes "Done" (IDS_DONE)
#define IDC_WIZARD 3                // created hidden
#define IDC_PROGRESS 1003
#define IDC_LOG 1005                // multi-line read-only edit
#define IDC_STATUS 1006
#define IDC_CONNECTION_PICTURE 1007 // lies over the log
#define IDC_GEAR_PICTURE (-1)

// Controls of the uninstall window (IDD_UNINSTALL). IDC_PROGRESS as above.
#define IDC_REMOVE 1                // default button
#define IDC_CLOSE 2
#define IDC_TREE 1001
#define IDC_UNINSTALL_NOTE 1002

// String table. Arguments in the order the callers pass them.
#define IDS_DEVICE_NOT_FOUND 101    // no supported printer connected
#define IDS_MESSAGE_CAPTION 102     // caption of the final message box
#define IDS_PRINTER_INSTALLED 103   // printer name, port
#define IDS_INSTALL_FAILED 104      // last error (int)
#define IDS_NOTHING_TO_REMOVE 105
#define IDS_TREE_PACKAGE 106        // package name, version, store path, status
#define IDS_TREE_DRIVER_LIST 107
#define IDS_TREE_DRIVER 108         // name, manufacturer, 4 version parts (int), status
#define IDS_TREE_NO_DRIVER 109
#define IDS_TREE_PRINTER 110        // queue name, port, status
#define IDS_TREE_NO_PRINTER 111
#define IDS_STATUS_REMOVED 112
#define IDS_STATUS_FAILED 113       // error code (int)
#define IDS_UNINSTALL_FAILED 114
#define IDS_UNINSTALLED 115
#define IDS_TREE_FOLDER 116         // InstallDir
#define IDS_PRINTER_FOUND 117       // printer name, port
#define IDS_DONE 118
#define IDS_SEARCHING 119
