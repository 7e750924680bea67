// Resource identifiers of Zelvar_FW_Update_Tool (shared by the code and the
// resource script, so plain defines only).
#pragma once

#define IDD_UPDATE_POPUP 102
#define IDI_UPDATER 128
#define IDC_PROGRESS_TEXT 1000
