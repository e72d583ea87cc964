#pragma once
// File names of the ANSI exports become UTF-16 in the system's ANSI code page.

#include <string>

namespace sorvane {

// A null or empty name, or one that does not convert, gives the empty string (a valid, empty
// name). Throws std::bad_alloc when memory runs out; the exports turn that into a code.
std::wstring AnsiToWide(const char* name);

}  // namespace sorvane
