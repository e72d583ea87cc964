#include "HeaderProbe.h"

#include <windows.h>

#include "RequestPlan.h"

namespace sorvane {

namespace {

// 0 when a request on the described file would have a picture: our reader reads it, or D3DX
// describes it as DDS with a pixel format it names. The settings' views change no answer here.
PluginResult Judge(const DdsDescription& description) {
    if (description.ownReader == kSuccess) return kSuccess;
    RequestPlan plan;
    PlanRequest(description, PluginSettings{}, plan);
    return plan.result;
}

}  // namespace

PluginResult ProbeHeader(const void* bytes, ProbeCount count, const wchar_t* name) noexcept {
    if (bytes == nullptr || count < 0) return kInternalError;
#if defined(_WIN64)
    // D3DX takes a 32-bit count; a larger one would be cut, not refused.
    if (count > ProbeCount{0xFFFFFFFF}) return kInternalError;
#endif
    // Files our reader reads are claimed from their header alone.
    DdsDescription description;
    DescribeDds(bytes, static_cast<size_t>(count), 0, description);
    PluginResult result = Judge(description);
    if (result != kSuccess && name != nullptr && name[0] != L'\0') {
        // A name that is no file (a member of an archive, say) or that names a directory cannot
        // be examined further; its extension has matched, and that decides.
        const DWORD attributes = GetFileAttributesW(name);
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return kSuccess;
        }
        // The file's own head (the host may have handed over fewer bytes), then D3DX by name.
        DescribeDdsFile(name, description);
        result = Judge(description);
    }
    return result;
}

}  // namespace sorvane
