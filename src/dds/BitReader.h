#pragma once
// A cursor over one 16-byte block, read from the least significant bit of byte 0 upwards.
// The unread bits sit at the bottom of a 128-bit shift register, so a read is a mask and a
// shift whatever its length, and no read can leave the block: past the end it gives zeros.

#include <cstdint>

namespace sorvane::dds {

inline uint64_t LoadLe64(const uint8_t* p) noexcept {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

inline void StoreLe32(uint8_t* p, uint32_t v) noexcept {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

class BitReader {
public:
    explicit BitReader(const uint8_t* block) noexcept : lo_(LoadLe64(block)), hi_(LoadLe64(block + 8)) {}

    // The next `count` bits (0 to 63) as an integer whose bit 0 is the first bit read.
    uint64_t Read(int count) noexcept {
        const uint64_t value = lo_ & ((uint64_t{1} << count) - 1);
        Skip(count);
        return value;
    }

    // Shifting hi_ by 1 and then by 63 - count keeps a count of 0 from shifting by 64.
    void Skip(int count) noexcept {
        lo_ = lo_ >> count | (hi_ << 1) << (63 - count);
        hi_ >>= count;
    }

private:
    uint64_t lo_;
    uint64_t hi_;
};

}  // namespace sorvane::dds
