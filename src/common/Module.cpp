#include "Module.h"

namespace sorvane {

namespace {
// Outside the plug-in (unit tests) the executable stands in for the module.
HINSTANCE g_instance = GetModuleHandleW(nullptr);
}  // namespace

HINSTANCE ModuleInstance() noexcept { return g_instance; }
void SetModuleInstance(HINSTANCE instance) noexcept { g_instance = instance; }

}  // namespace sorvane
