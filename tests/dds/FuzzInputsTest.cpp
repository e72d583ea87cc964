#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "DdsReader.h"
#include "DdsWriter.h"
#include "ReaderChecks.h"

namespace sorvane::dds {
namespace {

namespace fs = std::filesystem;

// fuzz/ in the source tree this file was compiled from: CMake hands the compiler absolute
// paths, and Wine shows the Linux root as drive Z:.
fs::path FuzzRoot() {
    std::string source = __FILE__;
#ifdef _WIN32
    if (!source.empty() && source[0] == '/') source = "Z:" + source;
#endif
    return fs::path(source).parent_path().parent_path().parent_path() / "fuzz";
}

struct FuzzInput {
    std::string name;  // folder/file
    fs::path path;
    bool seed;  // made as a valid file by fuzz/MakeSeeds.cpp
};

void PrintTo(const FuzzInput& input, std::ostream* os) { *os << input.name; }

// The fuzzer's seeds, and every input it broke the reader with, once fixed (NAME.dds).
std::vector<FuzzInput> ListFuzzInputs() {
    std::vector<FuzzInput> inputs;
    for (const std::string folder : {"seeds", "regressions"}) {
        std::error_code error;
        for (const fs::directory_entry& entry : fs::directory_iterator(FuzzRoot() / folder, error)) {
            if (entry.is_regular_file() && entry.path().extension() == ".dds") {
                inputs.push_back({folder + "/" + entry.path().filename().string(), entry.path(), folder == "seeds"});
            }
        }
    }
    std::sort(inputs.begin(), inputs.end(), [](const FuzzInput& a, const FuzzInput& b) { return a.name < b.name; });
    return inputs;
}

std::vector<uint8_t> ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

// However large the picture a header describes, the checks stay within three canvases of
// kMaxCanvasBytes: whole when its rows fit, else its first and last band, else its header.
TEST(ReaderChecks, DecodeWithinTheirBudget) {
    const struct {
        const char* name;
        uint32_t dxgi, width, height;
        uint32_t rowsDecoded;
    } kCases[] = {
        {"7 x 3, whole", 61, 7, 3, 3},
        {"BC1 5 x 6, whole", 71, 5, 6, 6},
        // 36 bytes a row with the guard: 466,033 rows fit 16 MiB. The last band is one row.
        {"1 x 600,001, end bands", 61, 1, 600001, 16 + 1},
        {"BC1 4 x 600,000, end bands", 71, 4, 600000, 16 + 16},
        // A row of over 2^22 pixels takes over 16 MiB decoded, though 512 KiB in the file.
        {"2^22 + 8 x 2, header only", 66, (1u << 22) + 8, 2, 0},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        test::Bytes file = test::WriteDx10Dds(test::Dx10(c.dxgi, c.width, c.height, {}));
        DdsImage image;
        ASSERT_EQ(ReadDdsHeader(file.data(), file.size(), image), ReadResult::Ok);
        file.resize(file.size() + image.pictureBytes, 0x5A);
        const checks::CheckOutcome outcome = checks::CheckReader(file.data(), file.size());
        EXPECT_EQ(outcome.fault, "");
        EXPECT_EQ(outcome.rowsDecoded, c.rowsDecoded);
    }
}

TEST(FuzzInputFolders, HoldTheSeeds) {
    const std::vector<FuzzInput> inputs = ListFuzzInputs();
    EXPECT_GE(std::count_if(inputs.begin(), inputs.end(), [](const FuzzInput& i) { return i.seed; }), 50)
        << "under " << FuzzRoot().string();
}

class FuzzInputs : public testing::TestWithParam<FuzzInput> {};

// The fuzz target's checks without its sanitizers: here they find a broken promise, or a
// fault that shows without them, on every width the plug-in is built for.
TEST_P(FuzzInputs, KeepTheReadersPromises) {
    const std::vector<uint8_t> bytes = ReadFile(GetParam().path);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(checks::CheckReader(bytes.data(), bytes.size()).fault, "");
    if (GetParam().seed) {
        DdsImage image;
        EXPECT_EQ(ReadDds(bytes.data(), bytes.size(), image), ReadResult::Ok) << "a seed the reader refuses";
    }
}

INSTANTIATE_TEST_SUITE_P(Files, FuzzInputs, testing::ValuesIn(ListFuzzInputs()),
                         [](const testing::TestParamInfo<FuzzInput>& info) {
                             std::string name = info.param.name;
                             for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

}  // namespace
}  // namespace sorvane::dds
