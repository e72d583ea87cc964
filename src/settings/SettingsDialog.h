#pragma once
// The modal settings dialog: alpha disposal and composite colour with a colour history.

#include <windows.h>

#include "PluginResult.h"

namespace sorvane {

// ConfigurationDlg's settings dialog: 8 when it could not be shown or could not save, else 0.
PluginResult ShowSettingsDialog(HWND parent) noexcept;

}  // namespace sorvane
