// The table of block formats and their runs on each path, and the decoders of one block.

#include "BlockDecoders.h"

namespace sorvane::dds {

namespace {

// The best path of the build: SSE2 wherever the compiler targets it (both Windows builds ask
// for it), else plain C++.
#if defined(__SSE2__)
constexpr BlockRun Best(BlockRun portableRun, BlockRun sse2Run) { return sse2Run != nullptr ? sse2Run : portableRun; }
#define SORVANE_SSE2_RUN(run) run
#else
constexpr BlockRun Best(BlockRun portableRun, BlockRun) { return portableRun; }
#define SORVANE_SSE2_RUN(run) nullptr
#endif

constexpr BlockRuns Row(const char* name, uint8_t blockBytes, BlockRun portableRun, BlockRun sse2Run) {
    return {name, blockBytes, Best(portableRun, sse2Run), {portableRun, sse2Run}};
}

// In the order of BlockFormat.
constexpr BlockRuns kRuns[kBlockFormats] = {
    Row("BC1", 8, portable::Bc1, SORVANE_SSE2_RUN(sse2::Bc1)),
    Row("BC2", 16, portable::Bc2, SORVANE_SSE2_RUN(sse2::Bc2)),
    Row("BC3", 16, portable::Bc3, SORVANE_SSE2_RUN(sse2::Bc3)),
    Row("BC4", 8, portable::Bc4<false>, SORVANE_SSE2_RUN(sse2::Bc4<false>)),
    Row("BC4 signed", 8, portable::Bc4<true>, SORVANE_SSE2_RUN(sse2::Bc4<true>)),
    Row("BC5", 16, portable::Bc5<false>, SORVANE_SSE2_RUN(sse2::Bc5<false>)),
    Row("BC5 signed", 16, portable::Bc5<true>, SORVANE_SSE2_RUN(sse2::Bc5<true>)),
    Row("BC6H", 16, portable::Bc6h<false>, SORVANE_SSE2_RUN(sse2::Bc6h<false>)),
    Row("BC6H signed", 16, portable::Bc6h<true>, SORVANE_SSE2_RUN(sse2::Bc6h<true>)),
    Row("BC7", 16, portable::Bc7, SORVANE_SSE2_RUN(sse2::Bc7)),
};

void DecodeOne(BlockFormat format, const uint8_t* block, uint8_t* bgra) {
    kRuns[static_cast<int>(format)].best(block, 1, bgra, 16);
}

}  // namespace

const BlockRuns& RunsOf(BlockFormat format) noexcept { return kRuns[static_cast<int>(format)]; }

void DecodeBc1Block(const uint8_t* block, uint8_t* bgra) noexcept { DecodeOne(BlockFormat::Bc1, block, bgra); }
void DecodeBc2Block(const uint8_t* block, uint8_t* bgra) noexcept { DecodeOne(BlockFormat::Bc2, block, bgra); }
void DecodeBc3Block(const uint8_t* block, uint8_t* bgra) noexcept { DecodeOne(BlockFormat::Bc3, block, bgra); }
void DecodeBc4Block(const uint8_t* block, bool isSigned, uint8_t* bgra) noexcept {
    DecodeOne(isSigned ? BlockFormat::Bc4Signed : BlockFormat::Bc4, block, bgra);
}
void DecodeBc5Block(const uint8_t* block, bool isSigned, uint8_t* bgra) noexcept {
    DecodeOne(isSigned ? BlockFormat::Bc5Signed : BlockFormat::Bc5, block, bgra);
}
void DecodeBc6hBlock(const uint8_t* block, bool isSigned, uint8_t* bgra) noexcept {
    DecodeOne(isSigned ? BlockFormat::Bc6hSigned : BlockFormat::Bc6h, block, bgra);
}
void DecodeBc7Block(const uint8_t* block, uint8_t* bgra) noexcept { DecodeOne(BlockFormat::Bc7, block, bgra); }

}  // namespace sorvane::dds
