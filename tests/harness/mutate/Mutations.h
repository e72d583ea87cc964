#pragma once
// The files the runner feeds the plug-in: seed DDS files, and file number N made from one of
// them by a fixed recipe of the run's seed and N, so that any file can be made again alone.

#include <cstdint>
#include <string>
#include <vector>

namespace mutate {

using Bytes = std::vector<uint8_t>;

struct Seed {
    std::string name;
    Bytes bytes;
};

// DDS files of both routes made with the test support's writer, in a fixed order.
std::vector<Seed> MakeSeeds();

struct MutatedFile {
    Bytes bytes;
    std::string recipe;     // "dx10-bc7 | width=0x80000000 | truncate 131"
    bool oversize = false;  // its header asks for 2^32 bytes or more
};

class Mutator {
public:
    Mutator(std::vector<Seed> seeds, uint64_t runSeed);

    // Even file numbers walk the edits every seed gets (every truncation inside the header,
    // every field at every edge value, the oversize pairs) in a spread order until all are
    // done; odd ones, and all after that, stack random edits.
    MutatedFile Make(uint64_t index) const;
    uint64_t SystematicCount() const { return seeds_.size() * edits_.size(); }
    size_t SeedCount() const { return seeds_.size(); }

    struct Edit {
        enum Kind { Truncate, SetField, Oversize } kind;
        uint32_t a, b;  // length; field and value; oversize row
    };

private:
    MutatedFile Systematic(uint64_t number) const;
    MutatedFile Random(uint64_t index) const;

    std::vector<Seed> seeds_;
    std::vector<Edit> edits_;
    uint64_t runSeed_;
    uint64_t stride_;  // coprime with SystematicCount()
};

}  // namespace mutate
