#pragma once
// Builds 16-byte blocks for the decoder tests, bit by bit from the least significant bit of
// byte 0 up, and the arithmetic the expected texels are worked out with.

#include <array>
#include <cstdint>
#include <vector>

namespace sorvane::dds::blocktest {

class BlockWriter {
public:
    BlockWriter& Put(uint64_t value, int count) {
        for (int i = 0; i < count; ++i, ++pos_) {
            if (value >> i & 1) bytes_.at(pos_ / 8) |= static_cast<uint8_t>(1 << (pos_ % 8));
        }
        return *this;
    }

    // One index per texel, each anchor's one bit short (its top bit must be 0).
    BlockWriter& PutIndices(const std::array<int, 16>& index, int bits, const std::vector<int>& anchors) {
        for (int t = 0; t < 16; ++t) {
            bool anchor = false;
            for (int a : anchors) anchor |= a == t;
            Put(index[t], anchor ? bits - 1 : bits);
        }
        return *this;
    }

    int Position() const { return pos_; }
    const uint8_t* Data() const { return bytes_.data(); }

private:
    std::array<uint8_t, 16> bytes_{};
    int pos_ = 0;
};

inline constexpr int kWeights2[4] = {0, 21, 43, 64};
inline constexpr int kWeights3[8] = {0, 9, 18, 27, 37, 46, 55, 64};
inline constexpr int kWeights4[16] = {0, 4, 9, 13, 17, 21, 26, 30, 34, 38, 43, 47, 51, 55, 60, 64};

inline int Lerp(int e0, int e1, int weight) { return ((64 - weight) * e0 + weight * e1 + 32) >> 6; }

}  // namespace sorvane::dds::blocktest
