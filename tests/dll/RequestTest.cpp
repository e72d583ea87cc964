// The course of a GetPicture request: progress, cancellation, ownership, threads, leaks and
// hostile input.
#include <gtest/gtest.h>

#include "TestSupport.h"

#include <cstring>
#include <random>
#include <thread>
#include <vector>

namespace sorvane::test {
namespace {

struct Progress {
    std::vector<int> numerators;
    int cancelAt = -1;
    bool badDenominator = false;
};

int SPI_CALL Record(int numerator, int denominator, LONG_PTR data) {
    Progress& p = *reinterpret_cast<Progress*>(data);
    p.numerators.push_back(numerator);
    p.badDenominator |= denominator != 100;
    return numerator == p.cancelAt ? 1 : 0;
}

Bytes Picture() {
    return WriteDds(MakeUncompressed(DdsFormat::A8R8G8B8, 7, 5, [](uint32_t x, uint32_t y) { return 0x80000000u | (x * 40 + y); }));
}

class RequestTest : public testing::Test {
protected:
    void SetUp() override {
        SORVANE_REQUIRE_D3D();
        DeleteSettingsKey();
    }
    int Decode(bool memory, Progress* progress, HLOCAL& info, HLOCAL& bits) {
        const Plugin& p = LoadedPlugin();
        const auto callback = progress ? &Record : nullptr;
        const auto data = reinterpret_cast<LONG_PTR>(progress);
        if (memory) {
            return p.GetPicture(reinterpret_cast<const char*>(file_.data()), static_cast<LONG_PTR>(file_.size()), 1,
                                &info, &bits, callback, data);
        }
        return p.GetPictureW(path_.c_str(), 0, 0, &info, &bits, callback, data);
    }
    TempDir dir_;
    Bytes file_ = Picture();
    std::wstring path_ = dir_.Write(L"request.dds", file_);
};

// Progress and cancellation on both routes (D3DX's legacy file, our reader's DX10 file; without
// D3DX both are our reader's) and from both input forms.
TEST_F(RequestTest, ReportsProgressAndStopsWhenAsked) {
    Bytes blocks(4 * 8, 0);  // BC4_UNORM: opaque grey blocks
    for (size_t block = 0; block < 4; ++block) blocks[block * 8] = blocks[block * 8 + 1] = 0x10;
    // Tone mapping takes two passes over the file, and reports 50 between them.
    const struct {
        const char* what;
        Bytes file;
        bool toneMap;
    } kFiles[] = {{"legacy A8R8G8B8", file_, false},
                  {"DX10 BC4", WriteDx10Dds(Dx10(80, 7, 5, blocks)), false},
                  {"DX10 RGBA16F, tone-mapped", WriteDx10Dds(Dx10(10, 7, 5, Bytes(7 * 5 * 8, 0x3C))), true}};
    for (const auto& f : kFiles) {
        file_ = f.file;
        path_ = dir_.Write(L"progress.dds", file_);
        DeleteSettingsKey();
        if (f.toneMap) SetSettingsDword(L"ToneMap", 1);
        for (const bool memory : {false, true}) {
            std::vector<int> expected = {0, 20, 40, 60, 80, 100};
            if (memory) expected.erase(expected.begin() + 1);
            if (f.toneMap) expected.insert(expected.end() - 3, 50);
            SCOPED_TRACE(testing::Message() << f.what << (memory ? ", memory" : ", file"));
            Progress all;
            HLOCAL info = nullptr, bits = nullptr;
            ASSERT_EQ(Decode(memory, &all, info, bits), 0);
            EXPECT_EQ(all.numerators, expected);
            EXPECT_FALSE(all.badDenominator);
            LocalFree(info);
            LocalFree(bits);

            for (size_t stop = 0; stop < expected.size(); ++stop) {
                SCOPED_TRACE(testing::Message() << "cancel at " << expected[stop]);
                Progress cancelling;
                cancelling.cancelAt = expected[stop];
                HLOCAL info = reinterpret_cast<HLOCAL>(0x51), bits = reinterpret_cast<HLOCAL>(0x52);
                EXPECT_EQ(Decode(memory, &cancelling, info, bits), 1);
                EXPECT_EQ(cancelling.numerators, std::vector<int>(expected.begin(), expected.begin() + stop + 1));
                if (expected[stop] == 100) {
                    // Handed over before the last report: the host owns a complete picture.
                    ASSERT_NE(info, reinterpret_cast<HLOCAL>(0x51));
                    EXPECT_EQ(static_cast<BITMAPINFOHEADER*>(info)->biWidth, 7);
                    EXPECT_GE(LocalSize(bits), 5u * 24 + 4);
                    LocalFree(info);
                    LocalFree(bits);
                } else {
                    EXPECT_EQ(info, reinterpret_cast<HLOCAL>(0x51));
                    EXPECT_EQ(bits, reinterpret_cast<HLOCAL>(0x52));
                }
            }
        }
    }
}

TEST_F(RequestTest, CancellingAtZeroTouchesNothing) {
    const Plugin& p = LoadedPlugin();
    Progress progress;
    progress.cancelAt = 0;
    HLOCAL info = nullptr, bits = nullptr;
    // Neither the bytes (an address that cannot be read) nor the file (there is none) are used.
    EXPECT_EQ(p.GetPicture(reinterpret_cast<const char*>(16), 1000, 1, &info, &bits, &Record,
                           reinterpret_cast<LONG_PTR>(&progress)), 1);
    EXPECT_EQ(p.GetPictureW((dir_.path() + L"\\none.dds").c_str(), 0, 0, &info, &bits, &Record,
                            reinterpret_cast<LONG_PTR>(&progress)), 1);
    EXPECT_EQ(progress.numerators, (std::vector<int>{0, 0}));
    EXPECT_EQ(info, nullptr);
    EXPECT_EQ(bits, nullptr);
}

TEST_F(RequestTest, FailuresKeepTheHostsVariables) {
    const Plugin& p = LoadedPlugin();
    const Bytes junk = {'D', 'D', 'S', ' ', 0, 1, 2, 3};
    const std::wstring empty = dir_.Write(L"empty.dds", {});
    const struct {
        const char* what;
        int expected;
        bool memory;
        const Bytes* bytes;
        std::wstring path;
    } kCases[] = {
        {"not DDS", 2, true, &junk, L""},
        {"empty file", 2, false, nullptr, empty},
        {"missing file", 6, false, nullptr, dir_.path() + L"\\missing.dds"},
        {"a directory", 6, false, nullptr, dir_.path()},
    };
    for (const auto& c : kCases) {
        HLOCAL info = reinterpret_cast<HLOCAL>(0x61), bits = reinterpret_cast<HLOCAL>(0x62);
        const int result = c.memory ? p.GetPicture(reinterpret_cast<const char*>(c.bytes->data()),
                                                   static_cast<LONG_PTR>(c.bytes->size()), 1, &info, &bits, nullptr, 0)
                                    : p.GetPictureW(c.path.c_str(), 0, 0, &info, &bits, nullptr, 0);
        EXPECT_EQ(result, c.expected) << c.what;
        EXPECT_EQ(info, reinterpret_cast<HLOCAL>(0x61)) << c.what;
        EXPECT_EQ(bits, reinterpret_cast<HLOCAL>(0x62)) << c.what;
    }
}

// A file cut short between the host's GetPictureInfo and GetPicture: decoding measures it against
// its head again and refuses it with 2, on either route, leaving the host's variables alone.
TEST_F(RequestTest, AFileThatShrinksAfterItsInformationIsRefused) {
    const Bytes dx10 = WriteDx10Dds(Dx10(71, 64, 64, Bytes(16 * 16 * 8, 0x5A)));
    const Bytes dxt1 = WriteDds(MakeCompressed(DdsFormat::DXT1, 64, 64, [](uint32_t, uint32_t) { return Dxt1Block(0xF800, 0x1F, 0); }));
    const struct {
        const char* what;
        const Bytes& file;
        size_t kept;
    } kCases[] = {
        {"DX10, cut after its header", dx10, 148},
        {"DX10, cut in its picture", dx10, dx10.size() - 8},
        {"DXT1, cut after its header", dxt1, 128},
        {"DXT1, cut in its picture", dxt1, dxt1.size() - 8},
    };
    const Plugin& p = LoadedPlugin();
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        const std::wstring path = dir_.Write(L"shrinks.dds", c.file);
        PictureInfo info{};
        ASSERT_EQ(p.GetPictureInfoW(path.c_str(), 0, 0, &info), 0);
        dir_.Write(L"shrinks.dds", Bytes(c.file.begin(), c.file.begin() + c.kept));
        HLOCAL header = reinterpret_cast<HLOCAL>(0x61), bits = reinterpret_cast<HLOCAL>(0x62);
        EXPECT_EQ(p.GetPictureW(path.c_str(), 0, 0, &header, &bits, nullptr, 0), 2);
        EXPECT_EQ(std::vector<HLOCAL>({header, bits}), std::vector<HLOCAL>({reinterpret_cast<HLOCAL>(0x61), reinterpret_cast<HLOCAL>(0x62)}));
    }
}

struct Usage {
    DWORD handles = 0, gdi = 0, user = 0;
    uint64_t committed = 0;
};

Usage MeasureUsage() {
    Usage u;
    GetProcessHandleCount(GetCurrentProcess(), &u.handles);
    u.gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    u.user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    u.committed = CommittedPrivateBytes();
    return u;
}

TEST_F(RequestTest, DecodesLeaveNothingBehind) {
    // Large enough that a block left behind per request (the surface is 256 KiB, the DIB
    // 192 KiB) shows in the committed memory. Both routes: D3DX's and our reader's.
    const Bytes legacy = WriteDds(MakeUncompressed(DdsFormat::A8R8G8B8, 256, 256, [](uint32_t x, uint32_t y) {
        return (x * 7919u) ^ (y << 12) ^ 0x80000000u;
    }));
    Dx10Image bc7;
    bc7.dxgi = 98;
    bc7.width = bc7.height = 256;
    for (uint32_t i = 0; i < 64 * 64 * 16; ++i) bc7.data.push_back(static_cast<uint8_t>(i * 2654435761u >> 24));
    const Bytes own = WriteDx10Dds(bc7);
    const std::wstring legacyPath = dir_.Write(L"legacy.dds", legacy), ownPath = dir_.Write(L"own.dds", own);
    const Plugin& p = LoadedPlugin();
    std::thread([&] {  // a thread without windows: every D3DX request makes and destroys its own
        auto decodeOnce = [&](int i) {
            const Bytes& file = i % 2 == 0 ? legacy : own;
            const std::wstring& path = i % 2 == 0 ? legacyPath : ownPath;
            HLOCAL info = nullptr, bits = nullptr;
            const int result = i % 4 < 2 ? p.GetPicture(reinterpret_cast<const char*>(file.data()),
                                                        static_cast<LONG_PTR>(file.size()), 1, &info, &bits, nullptr, 0)
                                         : p.GetPictureW(path.c_str(), 0, 0, &info, &bits, nullptr, 0);
            ASSERT_EQ(result, 0);
            LocalFree(info);
            LocalFree(bits);
        };
        // The first requests set up what Wine keeps for the process (the class, the device's
        // caches, the thread pool); only growth after them counts.
        for (int i = 0; i < 8; ++i) decodeOnce(i);
        const Usage before = MeasureUsage();
        for (int i = 0; i < 48; ++i) decodeOnce(i);
        const Usage after = MeasureUsage();
        EXPECT_LE(after.handles, before.handles + 4);
        EXPECT_LE(after.gdi, before.gdi + 2);
        EXPECT_LE(after.user, before.user + 2);
        EXPECT_LE(after.committed, before.committed + 2 * 1024 * 1024);
        RecordProperty("committed_kib", static_cast<int>((int64_t(after.committed) - int64_t(before.committed)) / 1024));
    }).join();
}

TEST_F(RequestTest, ThreadsDecodingAtOnceGiveTheSameBytes) {
    // Four different pictures, each large enough for the row loops to spread over the pool.
    std::vector<Bytes> files;
    std::vector<std::vector<uint8_t>> alone;
    for (uint32_t k = 0; k < 4; ++k) {
        files.push_back(WriteDds(MakeUncompressed(DdsFormat::A8R8G8B8, 300 + k, 301, [k](uint32_t x, uint32_t y) {
            return (x * 7 + y * 13 + k) * 0x01030507u;
        })));
    }
    const Plugin& p = LoadedPlugin();
    auto decode = [&](const Bytes& f) {
        HLOCAL info = nullptr, bits = nullptr;
        std::vector<uint8_t> out;
        if (p.GetPicture(reinterpret_cast<const char*>(f.data()), static_cast<LONG_PTR>(f.size()), 1, &info, &bits,
                         nullptr, 0) == 0) {
            const size_t height = 301, stride = ((static_cast<const BITMAPINFOHEADER*>(info)->biWidth * 24 + 31) / 32) * 4;
            out.assign(static_cast<uint8_t*>(bits), static_cast<uint8_t*>(bits) + height * stride);
            LocalFree(info);
            LocalFree(bits);
        }
        return out;
    };
    for (const Bytes& f : files) alone.push_back(decode(f));
    for (const auto& a : alone) ASSERT_FALSE(a.empty());
    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 8; ++i) {
                const int k = (t + i) % 4;
                mismatches[t] += decode(files[k]) != alone[k];
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

// Headers that would make Direct3D or D3DX misbehave never reach them: a mip count no file can
// have (D3DX would walk it for minutes; our reader caps it) and a surface too large for 32-bit
// sizes (Direct3D would wrap its size and D3DX write past it).
TEST_F(RequestTest, HostileHeadersAreRefused) {
    const Plugin& p = LoadedPlugin();
    constexpr uint32_t kFlags = 0x1 | 0x2 | 0x4 | 0x1000 | 0x80000;  // as the writer sets them
    constexpr uint32_t kWithMipCount = kFlags | 0x20000;
    const struct {
        const char* what;
        std::vector<std::pair<size_t, uint32_t>> fields;  // offset in the file, new value
        int infoResult;     // -1: whatever D3DX reports
        int pictureResult;  // -1: any failure
    } kCases[] = {
        {"mip count 2^31 - 1", {{8, kWithMipCount}, {28, 0x7FFFFFFF}}, 0, 0},
        {"mip count 33", {{8, kWithMipCount}, {28, 33}}, 0, 0},
        // D3DX walks the count even where the header's flag says it is unused.
        {"unflagged mip count 2^32 - 1", {{28, 0xFFFFFFFF}}, 0, 0},
        {"mip count 32", {{8, kWithMipCount}, {28, 32}}, 0, 0},  // levels missing: D3DX refuses, ours caps
        // D3DX counts the file in 32 bits and describes it; our reader finds the picture is not there.
        {"2^31 - 1 square", {{12, 0x7FFFFFFF}, {16, 0x7FFFFFFF}}, D3dxPresent() ? 0 : 2, D3dxPresent() ? 4 : 2},
        // Sizes the record's signed fields cannot hold, or no size at all: no picture.
        {"2^31 square", {{12, 0x80000000}, {16, 0x80000000}}, 2, 2},
        {"1 x 2^31", {{12, 0x80000000}, {16, 1}}, 2, 2},
        {"2^32 - 1 square", {{12, 0xFFFFFFFF}, {16, 0xFFFFFFFF}}, 2, 2},
        {"width 0", {{16, 0}}, 2, 2},
        {"0 x 3", {{12, 3}, {16, 0}}, 2, 2},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        Bytes f = WriteDds(MakeCompressed(DdsFormat::DXT1, 4, 4, [](uint32_t, uint32_t) { return Dxt1Block(0xFFFF, 0, 0); }));
        for (const auto& [offset, value] : c.fields) std::memcpy(f.data() + offset, &value, 4);
        const std::wstring path = dir_.Write(L"hostile.dds", f);
        PictureInfo info{};
        const int fromMemory = p.GetPictureInfo(reinterpret_cast<const char*>(f.data()), static_cast<LONG_PTR>(f.size()), 1, &info);
        const int fromFile = p.GetPictureInfoW(path.c_str(), 0, 0, &info);
        if (c.infoResult >= 0) {
            EXPECT_EQ(fromMemory, c.infoResult);
            EXPECT_EQ(fromFile, c.infoResult);
        }
        HLOCAL header = nullptr, bits = nullptr;
        const DWORD start = GetTickCount();
        const int picture = p.GetPicture(reinterpret_cast<const char*>(f.data()), static_cast<LONG_PTR>(f.size()), 1, &header, &bits, nullptr, 0);
        if (c.pictureResult >= 0) {
            EXPECT_EQ(picture, c.pictureResult);
        } else {
            EXPECT_NE(picture, 0);
        }
        EXPECT_LT(GetTickCount() - start, 5000u);
        if (header) LocalFree(header);
        if (bits) LocalFree(bits);
    }
}

// A negative length names no image: it must not reach D3DX as a huge count. Information and
// decoding answer it alike.
TEST_F(RequestTest, NegativeLengthsAreRefused) {
    const Plugin& p = LoadedPlugin();
    PictureInfo info{};
    HLOCAL header = nullptr, bits = nullptr;
    const char* bytes = reinterpret_cast<const char*>(file_.data());
    EXPECT_EQ(p.GetPictureInfo(bytes, -1, 1, &info), 8);
    EXPECT_EQ(p.GetPicture(bytes, -1, 1, &header, &bits, nullptr, 0), 8);
    EXPECT_EQ(header, nullptr);
}

// Hostile files: truncations, flipped header fields, huge and zero sizes. The plug-in answers
// with a code and, for 0, a sane DIB.
TEST_F(RequestTest, MutatedFilesNeverCrash) {
    const Plugin& p = LoadedPlugin();
    std::mt19937 random(20261207);
    const Bytes seeds[] = {
        file_,
        WriteDds(MakeCompressed(DdsFormat::DXT5, 9, 6, [](uint32_t x, uint32_t y) { return Dxt5Block(200, 10, x * 0x1111 + y, 0xF800, 0x07E0, 0x1B1B1B1B); })),
        WriteDds(MakeUncompressed(DdsFormat::R5G6B5, 5, 3, [](uint32_t x, uint32_t y) { return x * 999 + y; })),
    };
    const uint32_t kFields[] = {0xFFFFFFFF, 0, 0x7FFFFFFF, 0x10000, 1, 0x80000000};
    int decoded = 0;
    for (int i = 0; i < 60; ++i) {
        Bytes f = seeds[i % 3];
        switch (random() % 4) {
        case 0: f.resize(random() % f.size()); break;  // truncation
        case 1: {  // a header field (offsets 4 to 124) replaced by an extreme value
            const size_t at = 4 + 4 * (random() % 31);
            const uint32_t v = kFields[random() % 6];
            std::memcpy(f.data() + at, &v, 4);
            break;
        }
        case 2: f[random() % std::min<size_t>(f.size(), 128)] ^= static_cast<uint8_t>(1u << (random() % 8)); break;
        default: {  // width and height both extreme
            const uint32_t h = kFields[random() % 6], w = kFields[random() % 6];
            std::memcpy(f.data() + 12, &h, 4);
            std::memcpy(f.data() + 16, &w, 4);
        }
        }
        SCOPED_TRACE(testing::Message() << "mutation " << i);
        PictureInfo info{};
        const int infoResult = p.GetPictureInfo(reinterpret_cast<const char*>(f.data()), static_cast<LONG_PTR>(f.size()), 1, &info);
        EXPECT_TRUE(infoResult == 0 || infoResult == 2 || infoResult == 4 || infoResult == 8) << infoResult;
        HLOCAL header = nullptr, bits = nullptr;
        int result;
        if (i % 4 == 0) {
            const std::wstring path = dir_.Write(L"mutated.dds", f);
            result = p.GetPictureW(path.c_str(), 0, 0, &header, &bits, nullptr, 0);
        } else {
            result = p.GetPicture(reinterpret_cast<const char*>(f.data()), static_cast<LONG_PTR>(f.size()), 1, &header, &bits, nullptr, 0);
        }
        EXPECT_TRUE(result == 0 || result == 2 || result == 4 || result == 6 || result == 8) << result;
        if (result == 0) {
            ++decoded;
            const auto* h = static_cast<const BITMAPINFOHEADER*>(header);
            EXPECT_GT(h->biWidth, 0);
            EXPECT_GT(h->biHeight, 0);
            const uint64_t stride = ((uint64_t(h->biWidth) * h->biBitCount + 31) / 32) * 4;
            EXPECT_GE(LocalSize(bits), stride * h->biHeight + 4);
            LocalFree(header);
            LocalFree(bits);
        }
    }
    RecordProperty("decoded", decoded);
}

// Legacy files whose first picture is not in the file although D3DX's 32-bit count of their
// length wraps to what is there: decoding refuses them with 2 before D3DX reads past the bytes.

struct WrappedCase {
    const char* name;
    DdsFormat format;
    uint32_t width, height, depth;
    bool cube;
    int result;  // of GetPicture from memory and GetPictureW from the file
};

// Each wrapping size next to one row fewer, which D3DX's own check refuses.
const WrappedCase kWrappedCases[] = {
    {"A16B16G16R16F, 2^32 bytes", DdsFormat::A16B16G16R16F, 16384, 32768, 0, false, 2},
    {"A16B16G16R16F, one row fewer", DdsFormat::A16B16G16R16F, 16384, 32767, 0, false, 2},
    {"A32B32G32R32F, 2^32 bytes", DdsFormat::A32B32G32R32F, 16384, 16384, 0, false, 2},
    {"X8R8G8B8 into 24 bits, 2^32 bytes", DdsFormat::X8R8G8B8, 16384, 65536, 0, false, 2},
    {"X8R8G8B8 into 24 bits, one row fewer", DdsFormat::X8R8G8B8, 16384, 65535, 0, false, 2},
    {"six R5G6B5 faces of 2^31 bytes, into 24 bits", DdsFormat::R5G6B5, 32768, 32768, 0, true, 2},
    {"two A8R8G8B8 slices of 2^31 bytes", DdsFormat::A8R8G8B8, 32768, 16384, 2, false, 2},
    {"a whole X8R8G8B8 picture", DdsFormat::X8R8G8B8, 4, 4, 0, false, 0},
};

TEST_F(RequestTest, DecodingRefusesAPictureThatIsNotThere) {
    TempDir& dir = dir_;
    for (const WrappedCase& c : kWrappedCases) {
        SCOPED_TRACE(c.name);
        DdsImage image;
        image.format = c.format;
        image.width = c.width;
        image.height = c.height;
        image.depth = c.depth;
        image.cube = c.cube;
        image.data = Bytes(64, 0x5A);  // all of the 4 x 4 picture, nothing of the others
        const Bytes file = WriteDds(image);
        EXPECT_EQ(DecodeMemory(file).result, c.result);
        EXPECT_EQ(DecodeFile(dir.Write(L"wrapped.dds", file)).result, c.result);
    }
}

}  // namespace
}  // namespace sorvane::test
