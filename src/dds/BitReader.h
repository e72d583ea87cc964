#pragma once
// A cursor over one 16-byte block, read from the least significant bit of byte 0 upwards.
// The unread bits sit at the bottom of a 128-bit shift register, so a read is a mask and a
// shift whatever its length, and no read can leave the block: past the end it gives zeros.

#include <cstdint>
#include <cstring>

namespace sorvane::dds {

// Whole words, little-endian whatever the machine: one load or store on the machines we build
// for, a swap on the others.
inline uint64_t LoadLe64(const uint8_t* p) noexcept {
    uint64_t v;
    std::memcpy(&v, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    return v;
}

inline void StoreLe32(uint8_t* p, uint32_t v) noexcept {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap32(v);
#endif
    std::memcpy(p, &v, 4);
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
