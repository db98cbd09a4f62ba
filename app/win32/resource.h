#pragma once
// The identifiers of the Win32 dialog's resources (trevasto.rc) and
// controls. Shared by the resource script and the code, so it holds
// #defines only.

#define IDD_TRANSFER 102
#define IDI_TREVASTO 133
#define IDC_DESTINATION 1000
#define IDC_PROGRESS 1002
#define IDC_STATUS 1003
#define IDC_OPEN_FOLDER 1004
#define IDC_FILE_LIST 1006
