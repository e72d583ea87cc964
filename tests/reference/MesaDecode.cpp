// Mesa's software renderer as an independent decoder of BC blocks and of float and SNORM
// pixels, shown under our picture rules: mesa_decode KIND WIDTH HEIGHT FILE OFFSET OUT.raw
// writes rows of blue, green, red, alpha decoded from the data at OFFSET of FILE; the kinds
// ending in "-floats" write Mesa's red, green, blue, alpha floats instead, for HDR formats.
#define GL_GLEXT_PROTOTYPES
#include <GL/osmesa.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

enum class Shown { Bytes, Grey, SignedGrey, SignedRedGreen, Half, FloatTwin, Signed8, Signed16, Floats };

struct Kind {
    const char* name;
    GLenum format;  // the compressed format, or the internal format of pixels
    int blockBytes;  // 0 for pixels
    Shown shown;
    GLenum pixelFormat = 0, pixelType = 0;
    int pixelBytes = 0, channels = 0;
};

// BC5 unsigned comes back as red, green and blue 0, as we show it, so it needs no rule.
constexpr Kind kKinds[] = {
    {"bc1", GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 8, Shown::Bytes},
    {"bc2", GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 16, Shown::Bytes},
    {"bc3", GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 16, Shown::Bytes},
    {"bc4", GL_COMPRESSED_RED_RGTC1, 8, Shown::Grey},
    {"bc4s", GL_COMPRESSED_SIGNED_RED_RGTC1, 8, Shown::SignedGrey},
    {"bc5", GL_COMPRESSED_RG_RGTC2, 16, Shown::Bytes},
    {"bc5s", GL_COMPRESSED_SIGNED_RG_RGTC2, 16, Shown::SignedRedGreen},
    {"bc6h", GL_COMPRESSED_RGB_BPTC_UNSIGNED_FLOAT, 16, Shown::Half},
    {"bc6hs", GL_COMPRESSED_RGB_BPTC_SIGNED_FLOAT, 16, Shown::Half},
    {"bc7", GL_COMPRESSED_RGBA_BPTC_UNORM, 16, Shown::Bytes},
    // Pixels. Three float channels are opaque; two are shown as their D3D9 twins (blue 255).
    {"r11g11b10f", GL_R11F_G11F_B10F, 0, Shown::Half, GL_RGB, GL_UNSIGNED_INT_10F_11F_11F_REV, 4, 3},
    {"rgb9e5", GL_RGB9_E5, 0, Shown::Half, GL_RGB, GL_UNSIGNED_INT_5_9_9_9_REV, 4, 3},
    {"rgb32f", GL_RGB32F, 0, Shown::Half, GL_RGB, GL_FLOAT, 12, 3},
    {"rg16f", GL_RG16F, 0, Shown::FloatTwin, GL_RG, GL_HALF_FLOAT, 4, 2},
    {"rg32f", GL_RG32F, 0, Shown::FloatTwin, GL_RG, GL_FLOAT, 8, 2},
    {"r8s", GL_R8_SNORM, 0, Shown::Signed8, GL_RED, GL_BYTE, 1, 1},
    {"rg8s", GL_RG8_SNORM, 0, Shown::Signed8, GL_RG, GL_BYTE, 2, 2},
    {"rgba8s", GL_RGBA8_SNORM, 0, Shown::Signed8, GL_RGBA, GL_BYTE, 4, 4},
    {"r16s", GL_R16_SNORM, 0, Shown::Signed16, GL_RED, GL_SHORT, 2, 1},
    {"rg16s", GL_RG16_SNORM, 0, Shown::Signed16, GL_RG, GL_SHORT, 4, 2},
    {"rgba16s", GL_RGBA16_SNORM, 0, Shown::Signed16, GL_RGBA, GL_SHORT, 8, 4},
    // BC6H's halves as they are, for the tone-mapping check.
    {"bc6h-floats", GL_COMPRESSED_RGB_BPTC_UNSIGNED_FLOAT, 16, Shown::Floats},
    {"bc6hs-floats", GL_COMPRESSED_RGB_BPTC_SIGNED_FLOAT, 16, Shown::Floats},
};

// A signed value of maximum m read back as x / m, shown as (x + 1) / 2 x 255, halves up.
uint8_t ShowSignedOf(float f, long m) {
    const long x = std::lround(f * static_cast<float>(m));
    return static_cast<uint8_t>(((x + m) * 510 + 2 * m) / (4 * m));
}

// A signed value read back as x / 127, shown as round((x / 127 + 1) / 2 * 255).
uint8_t ShowSigned(float f) {
    const long x = std::lround(f * 127.0f);
    return static_cast<uint8_t>(((x + 127) * 510 + 254) / 508);
}

// A half read back exactly as a float: [0, 1] times 255, halves up; negatives and NaN 0.
uint8_t ShowHalf(float f) {
    if (!(f > 0.0f)) return 0;
    if (f >= 1.0f) return 255;
    return static_cast<uint8_t>(std::floor(double{f} * 255.0 + 0.5));
}

}  // namespace

int main(int argc, char** argv) {
    const Kind* kind = nullptr;
    for (const Kind& k : kKinds) {
        if (argc == 7 && std::strcmp(argv[1], k.name) == 0) kind = &k;
    }
    if (kind == nullptr) {
        std::fprintf(stderr, "usage: mesa_decode KIND WIDTH HEIGHT FILE OFFSET OUT.raw\n");
        return 2;
    }
    const int width = std::stoi(argv[2]), height = std::stoi(argv[3]);
    std::ifstream in(argv[4], std::ios::binary);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), {});
    const size_t offset = std::stoul(argv[5]);
    const size_t size = kind->blockBytes != 0 ? size_t((width + 3) / 4) * ((height + 3) / 4) * kind->blockBytes
                                              : size_t(width) * height * kind->pixelBytes;
    if (file.size() < offset + size) {
        std::fprintf(stderr, "mesa_decode: %s is shorter than its blocks\n", argv[4]);
        return 1;
    }
    uint8_t* blocks = file.data() + offset;
    if (kind->shown == Shown::SignedGrey || kind->shown == Shown::SignedRedGreen) {
        // Mesa interpolates a stored -128 as -128; the format defines it as -1, the value
        // of -127, so Mesa is given -127 (our decoder keeps the file's -128).
        for (size_t i = 0; i < size; i += 8) {
            for (size_t e = i; e < i + 2; ++e) blocks[e] = blocks[e] == 0x80 ? 0x81 : blocks[e];
        }
    }

    // llvmpipe reads back RGTC through its sampler, whose interpolation is approximate (levels
    // 1 and 255 give 152 for 2:3, not 153); softpipe samples through Mesa's integer decoders.
    setenv("GALLIUM_DRIVER", "softpipe", 1);
    OSMesaContext context = OSMesaCreateContextExt(OSMESA_RGBA, 0, 0, 0, nullptr);
    uint8_t surface[4];
    if (context == nullptr || !OSMesaMakeCurrent(context, surface, GL_UNSIGNED_BYTE, 1, 1)) {
        std::fprintf(stderr, "mesa_decode: no OSMesa context\n");
        return 1;
    }
    GLuint texture;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (kind->blockBytes != 0) {
        glCompressedTexImage2D(GL_TEXTURE_2D, 0, kind->format, width, height, 0, GLsizei(size), blocks);
    } else {
        glTexImage2D(GL_TEXTURE_2D, 0, GLint(kind->format), width, height, 0, kind->pixelFormat, kind->pixelType, blocks);
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    const size_t pixels = size_t(width) * height;
    std::vector<uint8_t> bytes(pixels * 4), bgra(pixels * 4);
    std::vector<float> floats(pixels * 4);
    // Read back as bytes Mesa clamps signed values to 0, so those come back as floats.
    if (kind->shown == Shown::Bytes || kind->shown == Shown::Grey) {
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
    } else {
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, floats.data());
    }
    if (const GLenum error = glGetError(); error != GL_NO_ERROR) {
        std::fprintf(stderr, "mesa_decode: GL error 0x%x for %s %dx%d\n", error, kind->name, width, height);
        return 1;
    }
    if (kind->shown == Shown::Floats) {
        std::ofstream(argv[6], std::ios::binary).write(reinterpret_cast<const char*>(floats.data()), floats.size() * 4);
        OSMesaDestroyContext(context);
        return 0;
    }
    for (size_t p = 0; p < pixels; ++p) {
        const uint8_t* b = &bytes[4 * p];
        const float* f = &floats[4 * p];
        uint8_t* out = &bgra[4 * p];
        switch (kind->shown) {
        case Shown::Bytes: out[0] = b[2], out[1] = b[1], out[2] = b[0], out[3] = b[3]; break;
        case Shown::Grey: out[0] = out[1] = out[2] = b[0], out[3] = 255; break;
        case Shown::SignedGrey: out[0] = out[1] = out[2] = ShowSigned(f[0]), out[3] = 255; break;
        case Shown::SignedRedGreen: out[0] = 0, out[1] = ShowSigned(f[1]), out[2] = ShowSigned(f[0]), out[3] = 255; break;
        case Shown::Half: out[0] = ShowHalf(f[2]), out[1] = ShowHalf(f[1]), out[2] = ShowHalf(f[0]), out[3] = 255; break;
        case Shown::FloatTwin: out[0] = 255, out[1] = ShowHalf(f[1]), out[2] = ShowHalf(f[0]), out[3] = 255; break;
        case Shown::Floats: break;
        case Shown::Signed8:
        case Shown::Signed16: {
            const long m = kind->shown == Shown::Signed8 ? 127 : 32767;
            uint8_t c[4];
            for (int i = 0; i < 4; ++i) c[i] = ShowSignedOf(f[i], m);
            if (kind->channels == 1) {
                out[0] = out[1] = out[2] = c[0], out[3] = 255;
            } else if (kind->channels == 2) {
                out[0] = 0, out[1] = c[1], out[2] = c[0], out[3] = 255;
            } else {
                out[0] = c[2], out[1] = c[1], out[2] = c[0], out[3] = c[3];
            }
            break;
        }
        }
    }
    std::ofstream(argv[6], std::ios::binary).write(reinterpret_cast<const char*>(bgra.data()), bgra.size());
    OSMesaDestroyContext(context);
    return 0;
}
