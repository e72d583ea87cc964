#include "NameConversion.h"

#include <windows.h>

#include <cstring>

namespace sorvane {

std::wstring AnsiToWide(const char* name) {
    if (name == nullptr || name[0] == '\0') return std::wstring();
    const size_t length = std::strlen(name);
    if (length > 0x7FFFFFFF) return std::wstring();
    const int bytes = static_cast<int>(length);
    const int needed = MultiByteToWideChar(CP_ACP, 0, name, bytes, nullptr, 0);
    if (needed <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(needed) + 4, L'\0');
    const int written = MultiByteToWideChar(CP_ACP, 0, name, bytes, wide.data(), needed + 4);
    if (written < 1) return std::wstring();
    wide.resize(static_cast<size_t>(written));
    return wide;
}

}  // namespace sorvane
