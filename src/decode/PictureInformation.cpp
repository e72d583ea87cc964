#include "PictureInformation.h"

#include "DdsDescription.h"
#include "RequestPlan.h"

namespace sorvane {

namespace {

// The plan's picture: its size and the bit count of the DIB GetPicture delivers, which hosts
// show and allocate by.
PluginResult Answer(const DdsDescription& description, PictureInfo* info) {
    RequestPlan plan;
    PlanRequest(description, ReadPluginSettings(), plan);
    if (plan.result != kSuccess) return plan.result;
    ZeroMemory(info, sizeof *info);  // padding included
    info->width = static_cast<int32_t>(plan.width);
    info->height = static_cast<int32_t>(plan.height);
    info->bitsPerPixel = static_cast<int16_t>(plan.dibBits);
    return kSuccess;
}

}  // namespace

PluginResult PictureInfoFromMemory(const void* bytes, intptr_t size, PictureInfo* info) noexcept {
    // A negative length names no image, and would reach D3DX as a huge count.
    if (bytes == nullptr || info == nullptr || size < 0) return kInternalError;
    DdsDescription description;
    DescribeDds(bytes, static_cast<size_t>(size), static_cast<size_t>(size), description);
    return Answer(description, info);
}

PluginResult PictureInfoFromFile(const wchar_t* path, PictureInfo* info) noexcept {
    if (path == nullptr || info == nullptr) return kInternalError;
    // D3DX, where it takes the file, opens it by name itself.
    DdsDescription description;
    DescribeDdsFile(path, description);
    return Answer(description, info);
}

}  // namespace sorvane
