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
    EXPECT_EQ(checks::CheckReader(bytes.data(), bytes.size()), "");
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
