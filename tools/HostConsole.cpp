#include "HostConsole.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "Holders.h"

namespace spihost {

namespace {

void WriteLine(DWORD stream, const std::wstring& line) {
    const HANDLE handle = GetStdHandle(stream);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    const std::wstring text = line + L"\n";
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const std::string utf8 = Utf8(text);
    WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

}  // namespace

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                          nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr,
                        nullptr);
    return utf8;
}

std::wstring Format(const wchar_t* format, ...) {
    std::vector<wchar_t> buffer(256);
    for (;;) {
        va_list args;
        va_start(args, format);
        const int count = std::vswprintf(buffer.data(), buffer.size(), format, args);
        va_end(args);
        // vswprintf reports a too-small buffer only as a negative count.
        if (count >= 0 && static_cast<size_t>(count) < buffer.size()) {
            return std::wstring(buffer.data(), static_cast<size_t>(count));
        }
        if (buffer.size() >= 1u << 20) return std::wstring(buffer.data());
        buffer.resize(buffer.size() * 4);
    }
}

void Out(const std::wstring& line) { WriteLine(STD_OUTPUT_HANDLE, line); }

void Err(const std::wstring& line) { WriteLine(STD_ERROR_HANDLE, line); }

std::wstring DescribeWin32Error(unsigned long error) {
    // The message is allocated by LocalAlloc and comes back through the buffer argument.
    sorvane::LocalBlock message;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(message.put()), 0, nullptr);
    std::wstring text = std::to_wstring(error);
    if (length > 0 && message) {
        std::wstring body(static_cast<const wchar_t*>(message.get()), length);
        while (!body.empty() && (body.back() == L'\n' || body.back() == L'\r' || body.back() == L' ')) {
            body.pop_back();
        }
        // Messages were fetched without inserts; "%1" stands for the file concerned.
        for (size_t at = body.find(L"%1"); at != std::wstring::npos; at = body.find(L"%1", at)) {
            body.replace(at, 2, L"the file");
        }
        text += L" (" + body + L")";
    }
    return text;
}

}  // namespace spihost
