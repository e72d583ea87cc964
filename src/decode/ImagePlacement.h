#pragma once
// Where the images of a laid-out picture stand ("Layout" 1 and 2): a cube map's cross, a row
// of array elements or volume slices, a mip chain. Sizes and places only; the pixels are the
// caller's.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "DdsReader.h"
#include "PluginResult.h"
#include "PluginSettings.h"

namespace sorvane {

struct ImageSize {
    uint32_t width, height;
};

// An image's top-left pixel in the whole picture, counted from its top-left pixel.
struct ImagePlace {
    uint64_t x, y;
};

enum class ImageArrangement {
    // Left to right, top-aligned: an array's elements, a volume's slices, a mip chain.
    Row,
    // Six faces a cube, in the file's order +X, -X, +Y, -Y, +Z, -Z, each cube a cross 4 cells
    // wide and 3 high (-X, +Z, +X, -Z in the middle row, +Y above +Z, -Y below it); the cubes
    // of a cube array left to right. A cell is as large as the cube's largest face; a face the
    // file lacks is given as 0 x 0 and leaves its cell empty.
    CubeCross,
};

// The size of the whole picture. In 64 bits: the caller refuses a size that a DIB cannot
// hold as it would a single picture of that size.
struct LaidOutSize {
    uint64_t width = 0, height = 0;
};

// Places `count` images (for CubeCross a multiple of 6) into `places` and gives the size of
// the picture that holds them; 0 x 0 for no images or a count CubeCross cannot take.
LaidOutSize LayOutImages(ImageArrangement arrangement, const ImageSize* sizes, size_t count,
                         ImagePlace* places) noexcept;

// One image of a laid-out file: which of the file's pictures it is (as LocateImage counts
// them), its size and its place.
struct LaidOutImage {
    uint64_t item;
    uint32_t mip;
    ImageSize size;
    ImagePlace place;
};

struct FileLayout {
    std::vector<LaidOutImage> images;  // the file's first picture first
    LaidOutSize size;
    bool gaps = false;  // some pixels lie in no image
};

// The images `layout` (EveryImage or MipChain) shows of the file whose header `image` is and
// whose bytes are `fileSize` long: those the file holds, up to the first it lacks (a mip
// count beyond the data, an odd level of a 4:2:0 format), where they stand, and the picture's
// size. 2 for a picture larger than a DIB's record holds (or none at all), 4 when memory
// cannot be had.
PluginResult LayOutFile(const dds::DdsImage& image, uint64_t fileSize, PictureLayout layout, FileLayout& out) noexcept;

}  // namespace sorvane
