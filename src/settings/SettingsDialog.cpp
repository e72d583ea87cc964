#include "SettingsDialog.h"

namespace sorvane {

PluginResult ShowSettingsDialog(HWND parent) noexcept {
    return kNotImplemented;
}

}  // namespace sorvane
