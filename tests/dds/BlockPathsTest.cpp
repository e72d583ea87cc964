#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BlockDecoders.h"
#include "DdsWriter.h"

namespace sorvane::dds {
namespace {

// Every path of a block format gives the portable path's bytes for the same blocks: random
// ones of every valid mode, whose first two bytes then take each of their 65536 values where
// they hold no mode (every pair of channel endpoints, every first colour), decoded as one run
// into rows with room on both sides that must stay untouched.
struct PathCase {
    BlockFormat format;
    uint32_t dxgi;  // for the random blocks
    BlockPath path;
};

void PrintTo(const PathCase& c, std::ostream* os) {
    *os << RunsOf(c.format).name << (c.path == BlockPath::Portable ? " portable" : " SSE2");
}

std::vector<PathCase> AllCases() {
    const struct {
        BlockFormat format;
        uint32_t dxgi;
    } kFormats[] = {{BlockFormat::Bc1, 71},       {BlockFormat::Bc2, 74},  {BlockFormat::Bc3, 77},
                    {BlockFormat::Bc4, 80},       {BlockFormat::Bc4Signed, 81}, {BlockFormat::Bc5, 83},
                    {BlockFormat::Bc5Signed, 84}, {BlockFormat::Bc6h, 95}, {BlockFormat::Bc6hSigned, 96},
                    {BlockFormat::Bc7, 98}};
    static_assert(sizeof(kFormats) / sizeof(kFormats[0]) == kBlockFormats);
    std::vector<PathCase> cases;
    for (const auto& f : kFormats) {
        for (const BlockPath path : {BlockPath::Portable, BlockPath::Sse2}) cases.push_back({f.format, f.dxgi, path});
    }
    return cases;
}

class BlockPaths : public testing::TestWithParam<PathCase> {};

TEST_P(BlockPaths, GiveThePortableBytes) {
    const PathCase& c = GetParam();
    const BlockRuns& runs = RunsOf(c.format);
    const BlockRun run = runs.path[static_cast<int>(c.path)];
    if (run == nullptr) GTEST_SKIP() << "no such path in this build";
    ASSERT_TRUE(runs.best == runs.path[0] || runs.best == runs.path[1]);

    constexpr size_t kBlocks = 65536, kMargin = 16;
    test::Bytes blocks = test::RandomUnits(c.dxgi, kBlocks, runs.blockBytes);
    for (size_t i = 0; i < kBlocks && c.dxgi < 94; ++i) {
        blocks[i * runs.blockBytes] = static_cast<uint8_t>(i);
        blocks[i * runs.blockBytes + 1] = static_cast<uint8_t>(i >> 8);
    }
    const ptrdiff_t stride = static_cast<ptrdiff_t>(16 * kBlocks + 2 * kMargin);
    std::vector<uint8_t> want(4 * stride, 0xA5), got(4 * stride, 0xA5);
    runs.path[0](blocks.data(), kBlocks, want.data() + kMargin, stride);
    run(blocks.data(), kBlocks, got.data() + kMargin, stride);
    for (size_t i = 0; i < got.size(); ++i) {
        const size_t column = i % stride;
        if (column < kMargin || column >= kMargin + 16 * kBlocks) {
            ASSERT_EQ(got[i], 0xA5) << "written outside the run at row " << i / stride;
        } else {
            const size_t block = (column - kMargin) / 16;
            ASSERT_EQ(got[i], want[i]) << "block " << block << " texel " << (i / stride) * 4 + (column - kMargin) % 16 / 4;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(FormatsAndPaths, BlockPaths, testing::ValuesIn(AllCases()));

}  // namespace
}  // namespace sorvane::dds
