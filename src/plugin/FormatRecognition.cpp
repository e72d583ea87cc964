#include "FormatRecognition.h"

namespace sorvane {

int IsSupportedCore(const wchar_t* name, ULONG_PTR source) {
    return 0;
}

}  // namespace sorvane
