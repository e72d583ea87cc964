#include <gtest/gtest.h>
#include <cstring>

#include "ReadWholeFile.h"
#include "TestSupport.h"

namespace sorvane {
namespace {

TEST(ReadWholeFile, ReadsEveryByte) {
    test::TempDir dir;
    test::Bytes bytes(70001);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 13);
    const std::wstring path = dir.Write(L"data.bin", bytes);
    LocalBlock block;
    size_t size = 0;
    ASSERT_EQ(ReadWholeFile(path.c_str(), block, size), kSuccess);
    ASSERT_EQ(size, bytes.size());
    EXPECT_EQ(LocalSize(block.get()), bytes.size());
    EXPECT_EQ(std::memcmp(block.get(), bytes.data(), size), 0);
}

TEST(ReadWholeFile, EmptyMissingAndLockedFiles) {
    test::TempDir dir;
    LocalBlock block;
    size_t size = 99;
    const std::wstring empty = dir.Write(L"empty.dds", {});
    EXPECT_EQ(ReadWholeFile(empty.c_str(), block, size), kSuccess);
    EXPECT_EQ(size, 0u);
    EXPECT_TRUE(block);

    size = 99;
    EXPECT_EQ(ReadWholeFile((dir.path() + L"\\missing.dds").c_str(), block, size), kFileError);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(ReadWholeFile(dir.path().c_str(), block, size), kFileError);  // a directory

    // Another handle holds the file open for writing: read sharing alone cannot open it.
    const std::wstring held = dir.Write(L"held.dds", {1, 2, 3});
    HANDLE writer = CreateFileW(held.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReadWholeFile(held.c_str(), block, size), kFileError);
    CloseHandle(writer);
    EXPECT_EQ(ReadWholeFile(held.c_str(), block, size), kSuccess);
    EXPECT_EQ(size, 3u);
}

}  // namespace
}  // namespace sorvane
