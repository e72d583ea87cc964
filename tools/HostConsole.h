#pragma once
// Text output of the host tool. Lines go to the console as UTF-16 when the stream is a
// console, and as UTF-8 bytes when it is a file or a pipe (a shell running the tool under
// Wine reads a pipe).

#include <cstdarg>
#include <string>

namespace spihost {

#if defined(_WIN64)
constexpr const wchar_t* kToolName = L"spihost64";
#else
constexpr const wchar_t* kToolName = L"spihost32";
#endif

// printf-style formatting into a wide string; %ls for wide strings.
std::wstring Format(const wchar_t* format, ...);

// Write one line, with its newline, to standard output or standard error.
void Out(const std::wstring& line);
void Err(const std::wstring& line);

// The text as UTF-8 bytes.
std::string Utf8(const std::wstring& text);

// The text of a Win32 error code: "2 (The system cannot find the file specified.)".
std::wstring DescribeWin32Error(unsigned long error);

}  // namespace spihost
