#pragma once
// The modal settings dialog: alpha disposal and composite colour with a colour history, the
// views, which reader goes first, and tone mapping with its exposure.

#include <windows.h>

#include "PluginResult.h"

namespace sorvane {

// wParam: the COLORREF to make current; lParam: 0; result TRUE. The colour chooser and the
// history swatches all end in this message.
inline constexpr UINT UM_SELECTCOLOR = WM_USER + 1;

// The dialog procedure of template IDD_SETTINGS.
INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                    LPARAM lParam) noexcept;

// ConfigurationDlg's settings dialog: 8 when it could not be shown or could not save, else 0.
PluginResult ShowSettingsDialog(HWND parent) noexcept;

}  // namespace sorvane
