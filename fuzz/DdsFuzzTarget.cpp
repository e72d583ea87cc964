// libFuzzer's entry point: every input goes through the checks that dds_tests also replays, and
// a broken promise aborts, so the input is kept as a finding like a fault the sanitizers see.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ReaderChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string fault = sorvane::dds::checks::CheckReader(data, size).fault;
    if (!fault.empty()) {
        std::fprintf(stderr, "DDS reader: %s\n", fault.c_str());
        std::abort();
    }
    return 0;
}
