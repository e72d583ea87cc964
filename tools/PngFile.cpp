#include "PngFile.h"

#include <windows.h>
#include <wincodec.h>

#include <cstring>
#include <vector>

#include "HostConsole.h"

namespace spihost {

namespace {

bool Fail(std::wstring& problem, const wchar_t* step, HRESULT hr) {
    problem = HRESULT_FACILITY(hr) == FACILITY_WIN32
                  ? Format(L"%ls failed: %ls", step, DescribeWin32Error(HRESULT_CODE(hr)).c_str())
                  : Format(L"%ls failed: 0x%08lX", step, static_cast<unsigned long>(hr));
    return false;
}

}  // namespace

PngWriter::~PngWriter() {
    factory_.reset();
    if (comStarted_) CoUninitialize();
}

bool PngWriter::Start(std::wstring& problem) {
    const HRESULT started = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(started)) return Fail(problem, L"CoInitializeEx", started);
    comStarted_ = true;
    const HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_PPV_ARGS(factory_.put()));
    if (FAILED(hr)) return Fail(problem, L"making the imaging factory", hr);
    return true;
}

bool PngWriter::Write(const std::wstring& path, const void* info, const void* bits,
                      const DibLayout& layout, std::wstring& problem) const {
    // The DIB goes through WIC's own BMP decoder, which reads every layout a DIB may have
    // (palettes, bit fields, top-down rows), and a converter to 24-bit BGR.
    const BITMAPFILEHEADER header = BmpFileHeader(layout);
    const size_t infoBytes = layout.headerBytes + layout.colorTableBytes;
    std::vector<unsigned char> bmp(header.bfSize);
    std::memcpy(bmp.data(), &header, sizeof header);
    std::memcpy(bmp.data() + sizeof header, info, infoBytes);
    std::memcpy(bmp.data() + header.bfOffBits, bits, layout.imageBytes);

    sorvane::ComRef<IWICStream> source;
    sorvane::ComRef<IWICBitmapDecoder> decoder;
    sorvane::ComRef<IWICBitmapFrameDecode> picture;
    sorvane::ComRef<IWICFormatConverter> widened;
    sorvane::ComRef<IWICFormatConverter> converter;
    HRESULT hr = factory_->CreateStream(source.put());
    if (SUCCEEDED(hr)) hr = source->InitializeFromMemory(bmp.data(), static_cast<DWORD>(bmp.size()));
    if (FAILED(hr)) return Fail(problem, L"reading the picture", hr);
    hr = factory_->CreateDecoder(GUID_ContainerFormatBmp, nullptr, decoder.put());
    if (SUCCEEDED(hr)) hr = decoder->Initialize(source.get(), WICDecodeMetadataCacheOnDemand);
    if (SUCCEEDED(hr)) hr = decoder->GetFrame(0, picture.put());
    if (FAILED(hr)) return Fail(problem, L"reading the picture", hr);
    // By way of 32-bit BGR: Wine converts palette pictures to 32 bits but not to 24 directly.
    hr = factory_->CreateFormatConverter(widened.put());
    if (SUCCEEDED(hr)) {
        hr = widened->Initialize(picture.get(), GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone,
                                 nullptr, 0.0, WICBitmapPaletteTypeCustom);
    }
    if (SUCCEEDED(hr)) hr = factory_->CreateFormatConverter(converter.put());
    if (SUCCEEDED(hr)) {
        hr = converter->Initialize(widened.get(), GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone,
                                   nullptr, 0.0, WICBitmapPaletteTypeCustom);
    }
    if (FAILED(hr)) return Fail(problem, L"converting to 24-bit colour", hr);

    bool created = false;
    {
        sorvane::ComRef<IWICStream> target;
        sorvane::ComRef<IWICBitmapEncoder> encoder;
        sorvane::ComRef<IWICBitmapFrameEncode> frame;
        sorvane::ComRef<IPropertyBag2> properties;
        hr = factory_->CreateStream(target.put());
        if (SUCCEEDED(hr)) hr = target->InitializeFromFilename(path.c_str(), GENERIC_WRITE);
        if (FAILED(hr)) return Fail(problem, L"creating the file", hr);
        created = true;
        WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
        hr = factory_->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put());
        if (SUCCEEDED(hr)) hr = encoder->Initialize(target.get(), WICBitmapEncoderNoCache);
        if (SUCCEEDED(hr)) hr = encoder->CreateNewFrame(frame.put(), properties.put());
        if (SUCCEEDED(hr)) hr = frame->Initialize(properties.get());
        if (SUCCEEDED(hr)) {
            const UINT rows = static_cast<UINT>(layout.height < 0 ? -layout.height : layout.height);
            hr = frame->SetSize(static_cast<UINT>(layout.width), rows);
        }
        if (SUCCEEDED(hr)) hr = frame->SetPixelFormat(&format);
        // The PNG encoder takes 24-bit BGR as it is; anything else would need another step.
        if (SUCCEEDED(hr) && !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) hr = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
        if (SUCCEEDED(hr)) hr = frame->WriteSource(converter.get(), nullptr);
        if (SUCCEEDED(hr)) hr = frame->Commit();
        if (SUCCEEDED(hr)) hr = encoder->Commit();
        if (SUCCEEDED(hr)) return true;
    }
    // The stream is closed now, so a half-written file can go.
    if (created) DeleteFileW(path.c_str());
    return Fail(problem, L"writing the PNG", hr);
}

}  // namespace spihost
