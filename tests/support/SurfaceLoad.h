#pragma once
// D3DX's route alone, for tests and measurements that link the D3DX room: a DDS file image
// described by D3DX and loaded into the decode surface of its format, as picture building does.

#include "D3dContext.h"
#include "D3dxImage.h"
#include "DdsReader.h"
#include "DdsWriter.h"

namespace sorvane::test {

inline PluginResult LoadWithD3dx(D3dContext& context, const Bytes& file, ComRef<IDirect3DSurface9>& surface) {
    D3DXIMAGE_INFO info;
    if (FAILED(DescribeImage(D3dxSource{file.data(), file.size(), nullptr}, info)) || !IsReadableDds(info)) {
        return kNotSupported;
    }
    dds::DdsImage image;
    dds::ReadDdsHeader(file.data(), file.size(), image);
    return context.LoadDdsSurface(
        SurfaceSource{file.data(), file.size(), image.header, info, DecodeSurfaceFor(info.Format)}, surface);
}

}  // namespace sorvane::test
