#pragma once
// Writing a DIB as a PNG file through the system's Windows Imaging Component.

#include <windows.h>
#include <wincodec.h>

#include <string>

#include "ComRef.h"
#include "DibFile.h"

namespace spihost {

// The imaging factory; COM stays initialised on the thread while the object lives.
class PngWriter {
public:
    PngWriter() = default;
    ~PngWriter();
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;

    // Initialises COM and makes the factory; false with the reason in `problem`.
    bool Start(std::wstring& problem);

    // Writes the picture as a 24-bit PNG, the colours a viewer shows for the DIB. A file that
    // could not be written whole is deleted. False with the reason in `problem`.
    bool Write(const std::wstring& path, const void* info, const void* bits,
               const DibLayout& layout, std::wstring& problem) const;

private:
    bool comStarted_ = false;
    sorvane::ComRef<IWICImagingFactory> factory_;
};

}  // namespace spihost
