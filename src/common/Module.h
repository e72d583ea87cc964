#pragma once
// The plug-in module's own instance handle, recorded when the process attaches it. The dialog
// template and the hidden window class are found under it.

#include <windows.h>

namespace sorvane {

HINSTANCE ModuleInstance() noexcept;
void SetModuleInstance(HINSTANCE instance) noexcept;

}  // namespace sorvane
