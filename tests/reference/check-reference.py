#!/usr/bin/python3
"""Our DDS decoder against independent decoders, Pillow and Mesa's softpipe (mesa_decode), on
files written by independent encoders (bc7enc, nvcompress) and on random blocks; and, for the
formats Mesa does not read, against ffmpeg's conversion of the 8-bit Y'CbCr layouts and a numpy
decoder of our picture rules, on random pixels. HDR formats are also tone-mapped, at several
exposures and over a mip chain, against a numpy implementation of the tone-mapping rules
(BC6H's values from Mesa), each channel within 1.

check-reference.py BUILD_DIR, BUILD_DIR being the native build (dds_decode, mesa_decode, and
npm/ with bc7enc); the files are made in BUILD_DIR/reference. Every decode must equal ours
under our picture rules, except for Pillow's deviations in PILLOW_ALLOWS and ffmpeg's rounding
(each channel within 2). Each disagreement is named by file, format, decoder, first pixel and
both values, and fails the run.
"""

import random
import shutil
import struct
import subprocess
import sys
from collections import Counter
from pathlib import Path

SETUP = "run scripts/setup.sh as root, then cmake --build build/native"
BUILD = Path(sys.argv[1]).resolve()
OUT = BUILD / "reference"
TOOLS = {
    "dds_decode": BUILD / "dds_decode",
    "mesa_decode (libosmesa6-dev)": BUILD / "mesa_decode",
    "bc7enc (npm @gpu-tex-enc/bc, installed by the native build)":
        BUILD / "npm/node_modules/@gpu-tex-enc/bc/bin/linux/bc7enc",
    "nvcompress (libnvtt-bin)": Path(shutil.which("nvcompress") or "/nonexistent"),
    "ffmpeg (ffmpeg)": Path(shutil.which("ffmpeg") or "/nonexistent"),
}
for what, path in TOOLS.items():
    if not path.exists():
        sys.exit(f"check-reference: {what} is missing: {SETUP}")
try:
    import numpy as np
    from PIL import Image
except ImportError as missing:
    sys.exit(f"check-reference: {missing.name} (python3-pil, python3-numpy) is missing: {SETUP}")
OURS, MESA, BC7ENC, NVCOMPRESS, FFMPEG = TOOLS.values()

# Source pictures: odd sizes leave partial blocks at the right and bottom edges.
EDGE_COLOURS = [(0, 0, 0), (255, 255, 255), (255, 0, 0), (0, 160, 255), (250, 220, 0), (24, 16, 8)]
SOURCES = {
    "ramps": (37, 23, lambda x, y, w, h, rnd: (
        255 * x // (w - 1), 255 * y // (h - 1), 255 * (x + y) // (w + h - 2), 255 - 255 * x // (w - 1))),
    "noise": (29, 31, lambda x, y, w, h, rnd: tuple(rnd.randbytes(3)) + (255,)),
    "edges": (45, 19, lambda x, y, w, h, rnd: (
        EDGE_COLOURS[(x // 5 + y // 3) % 6] + (0 if (x + 2 * y) % 13 < 4 else 255,))),
    "glow": (19, 13, lambda x, y, w, h, rnd: (
        255 - 9 * abs(x - 9) - 9 * abs(y - 6), 120 + 6 * x, 200 - 12 * abs(y - 6), 255)),
    "dot": (3, 2, lambda x, y, w, h, rnd: (40 * x, 200, 90 * y, 128)),
}

# Encoder, its options, the format our reader must find, the Mesa kind, and whether Pillow reads
# the file (it reads the FourCC files, and DX10 only for BC5, BC6H and BC7).
ENCODED = [
    (BC7ENC, ["-1"], "BC1_UNORM", "bc1", True),  # dark texels as the transparent black index
    (BC7ENC, ["-1", "-f"], "BC1_UNORM", "bc1", False),
    (BC7ENC, ["-3"], "BC3_UNORM", "bc3", True),
    (BC7ENC, ["-4"], "BC4_UNORM", "bc4", True),  # ATI1
    (BC7ENC, ["-4", "-f"], "BC4_UNORM", "bc4", False),
    (BC7ENC, ["-5"], "BC5_UNORM", "bc5", True),  # ATI2
    (BC7ENC, ["-5", "-f"], "BC5_UNORM", "bc5", True),
    (BC7ENC, [], "BC7_UNORM", "bc7", True),  # all eight modes across the pictures
    (NVCOMPRESS, ["-bc1"], "BC1_UNORM", "bc1", True),  # with mipmaps after the first picture
    (NVCOMPRESS, ["-bc1a"], "BC1_UNORM", "bc1", True),  # 1-bit alpha
    (NVCOMPRESS, ["-bc2"], "BC2_UNORM", "bc2", True),
    (NVCOMPRESS, ["-bc3"], "BC3_UNORM", "bc3", True),
    (NVCOMPRESS, ["-bc4"], "BC4_UNORM", "bc4", True),  # ATI1
    (NVCOMPRESS, ["-bc5"], "BC5_UNORM", "bc5", True),  # ATI2
]

# Random blocks reach what encoders avoid: BC1's three colours, the six-level mode, reserved
# BC6H and BC7 modes, negative and -128 SNORM endpoints. FourCC (else DXGI number), format, Mesa
# kind, Pillow (which shows BC5_SNORM and BC6H_SF16 in ways of its own, so not for those).
RANDOM = [
    ("DXT1", "BC1_UNORM", "bc1", True), ("DXT3", "BC2_UNORM", "bc2", True),
    ("DXT5", "BC3_UNORM", "bc3", True), ("ATI1", "BC4_UNORM", "bc4", True),
    ("ATI2", "BC5_UNORM", "bc5", True), (81, "BC4_SNORM", "bc4s", False),
    (84, "BC5_SNORM", "bc5s", False), (95, "BC6H_UF16", "bc6h", True),
    (96, "BC6H_SF16", "bc6hs", False), (98, "BC7_UNORM", "bc7", True),
]
RANDOM_SIZE = (253, 251)


def halves_as_floats(rnd, size):
    """`size` bytes of floats with a half's precision (their x 255 is exact in a float, so no
    rounding tie depends on arithmetic), from random halves: negatives, above 1, Inf and NaN
    included."""
    count = size // 4
    halves = struct.unpack(f"<{count}e", rnd.randbytes(2 * count))
    return struct.pack(f"<{count}f", *halves)


# Float and SNORM pixels against Mesa, which reads these formats: DXGI number, format, Mesa
# kind, bytes of a pixel, and how to make the data (random bytes unless given).
RANDOM_PIXELS = [
    (26, "R11G11B10_FLOAT", "r11g11b10f", 4, None), (67, "R9G9B9E5_SHAREDEXP", "rgb9e5", 4, None),
    (34, "R16G16_FLOAT", "rg16f", 4, None), (16, "R32G32_FLOAT", "rg32f", 8, halves_as_floats),
    (6, "R32G32B32_FLOAT", "rgb32f", 12, halves_as_floats), (63, "R8_SNORM", "r8s", 1, None),
    (51, "R8G8_SNORM", "rg8s", 2, None), (31, "R8G8B8A8_SNORM", "rgba8s", 4, None),
    (58, "R16_SNORM", "r16s", 2, None), (37, "R16G16_SNORM", "rg16s", 4, None),
    (13, "R16G16B16A16_SNORM", "rgba16s", 8, None),
]
PIXELS_SIZE = (61, 37)


def within(tolerance):
    return lambda ours, theirs: all(abs(o - t) <= tolerance for o, t in zip(ours, theirs))


def ffmpeg(pix_fmt, planes=None):
    """ffmpeg's own conversion of the raw samples (rearranged by `planes` first) under BT.601
    limited range. Point sampling of full-resolution chroma takes each pixel's chroma from the
    sample of its pair or 2 x 2 block; ffmpeg's fixed-point rounding differs from the integer
    rule by at most 1."""
    def decode(data, width, height):
        data = planes(data, width, height) if planes else data
        return run_bytes(FFMPEG, "-v", "error", "-f", "rawvideo", "-pix_fmt", pix_fmt, "-s", f"{width}x{height}",
                         "-i", "-", "-vf", "scale=in_color_matrix=bt601:in_range=tv:flags=neighbor+full_chroma_int",
                         "-f", "rawvideo", "-pix_fmt", "bgra", "-", data=data)
    return "ffmpeg", decode, within(2)


# numpy decoders of our picture rules, written from the formats' documentation: each gives rows
# of blue, green, red, alpha bytes.
def samples(data, dtype, height, *shape):
    count = height * int(np.prod(shape))
    picture = np.frombuffer(data, dtype, count).reshape(height, *shape)
    return picture if picture.dtype.kind == "f" else picture.astype(np.int64)


def fields(p, *layout):
    return [p >> shift & (1 << bits) - 1 for shift, bits in layout]


def unorm(v, maximum):  # round(v x 255 / maximum), halves up
    return (v * 510 + maximum) // (2 * maximum)


def snorm(v, bits):  # (x + 1) / 2 x 255, x = max(v / m, -1), halves up
    m = 2 ** (bits - 1) - 1
    return ((np.maximum(v, -m) + m) * 510 + 2 * m) // (4 * m)


def unit_byte(x):  # [0, 1] x 255, halves up; NaN 0
    return np.floor(np.clip(np.where(np.isnan(x), 0, x), 0, 1) * 255 + 0.5).astype(np.int64)


def shown(*channels):
    """One channel is grey, two are red and green over blue 0, three are opaque."""
    channels = [np.broadcast_to(c, channels[0].shape) for c in channels]
    zero, opaque = np.zeros_like(channels[0]), np.full_like(channels[0], 255)
    r, g, b, a = {1: channels * 3 + [opaque], 2: channels + [zero, opaque], 3: channels + [opaque], 4: channels}[
        len(channels)]
    return np.stack([b, g, r, a], -1).astype(np.uint8)


def yuv16(y, u, v, alpha=255):  # BT.2020 limited range, samples scaled to 16 bits
    y, cb, cr = (y - 4096) / 56064, (u - 32768) / 57344, (v - 32768) / 57344
    return shown(unit_byte(y + 1.4746 * cr), unit_byte(y - 0.16455 * cb - 0.57135 * cr),
                 unit_byte(y + 1.8814 * cb), alpha)


def interleave(even, odd):
    return np.stack([even, odd], -1).reshape(even.shape[0], -1)


def y410(data, width, height):
    u, y, v, a = fields(samples(data, "<u4", height, width), (0, 10), (10, 10), (20, 10), (30, 2))
    return yuv16(y << 6, u << 6, v << 6, a * 255 // 3)


def y416(data, width, height):
    u, y, v, a = np.moveaxis(samples(data, "<u2", height, width, 4), -1, 0)
    return yuv16(y, u, v, unorm(a, 65535))


def y2x6(mask):  # Y210, Y216: Y0, U, Y1, V
    def decode(data, width, height):
        y0, u, y1, v = np.moveaxis(samples(data, "<u2", height, width // 2, 4) & mask, -1, 0)
        return yuv16(interleave(y0, y1), u.repeat(2, 1), v.repeat(2, 1))
    return decode


def p0x6(mask):  # P010, P016: the Y plane, then U, V pairs for each 2 x 2 block
    def decode(data, width, height):
        planes = samples(data, "<u2", 1, width * height * 3 // 2)[0] & mask
        uv = planes[width * height:].reshape(height // 2, width // 2, 2).repeat(2, 0).repeat(2, 1)
        return yuv16(planes[:width * height].reshape(height, width), uv[..., 0], uv[..., 1])
    return decode


def ten_bits(colour):  # R10G10B10A2 layouts: red in the low bits
    def decode(data, width, height):
        r, g, b, a = fields(samples(data, "<u4", height, width), (0, 10), (10, 10), (20, 10), (30, 2))
        return shown(*(colour(c) for c in (r, g, b)), a * 255 // 3)
    return decode


def packed_rgb(red, green0, blue, green1):  # byte positions in a pair of pixels
    def decode(data, width, height):
        s = samples(data, "u1", height, width // 2, 4)
        return shown(s[..., red].repeat(2, 1), interleave(s[..., green0], s[..., green1]), s[..., blue].repeat(2, 1))
    return decode


def nibbles(data, width, height):  # A4B4G4R4: red in the top nibble
    r, g, b, a = fields(samples(data, "<u2", height, width), (12, 4), (8, 4), (4, 4), (0, 4))
    return shown(r * 17, g * 17, b * 17, a * 17)


def ints(dtype, channels):  # UINT as UNORM, SINT as SNORM of the same width
    def decode(data, width, height):
        s, bits = samples(data, dtype, height, width, channels), 8 * np.dtype(dtype).itemsize
        scale = (lambda c: snorm(c, bits)) if np.dtype(dtype).kind == "i" else (lambda c: unorm(c, 2 ** bits - 1))
        return shown(*(scale(c) for c in np.moveaxis(s, -1, 0)))
    return decode


def depth(data, width, height):  # 24 bits of depth under the stencil byte
    return shown(unorm(samples(data, "<u4", height, width) & 0xFFFFFF, 0xFFFFFF))


def float_depth(words):  # the float in the first of `words` 32-bit words
    return lambda data, width, height: shown(unit_byte(samples(data, "<f4", height, width, words)[..., 0]))


def stencil(at, unit_bytes):  # the stencil byte at `at`, as grey
    return lambda data, width, height: shown(samples(data, "u1", height, width, unit_bytes)[..., at])


def by_numpy(decode):
    return "numpy", lambda *picture: decode(*picture).tobytes(), None


def video_range(rnd, size):
    """Samples in the 8-bit video range, 16 to 240: ffmpeg's full-chroma conversion wraps a
    blue far above 255 (some Y and U beyond the range) to 0."""
    return bytes(rnd.randint(16, 240) for _ in range(size))


def depth_stencil(rnd, size):
    """Depth floats as halves_as_floats makes them, each followed by 4 random bytes."""
    return b"".join(halves_as_floats(rnd, 4) + rnd.randbytes(4) for _ in range(size // 8))


# Formats Mesa does not read, against ffmpeg (8-bit Y'CbCr) or numpy: DXGI number (or FourCC),
# format, bytes of a pixel, how to make the data (random bytes unless given), decoder. The size
# is even: the 4:2:2 and 4:2:0 layouts take pairs of pixels.
INDEPENDENT = [
    (107, "YUY2", 2, video_range, ffmpeg("yuyv422")),
    ("UYVY", "UYVY", 2, video_range, ffmpeg("uyvy422")),
    (103, "NV12", 1.5, video_range, ffmpeg("nv12")),
    (106, "420_OPAQUE", 1.5, video_range, ffmpeg("nv12")),
    (100, "AYUV", 4, video_range, ffmpeg("yuva444p", lambda data, width, height: np.frombuffer(
        data, np.uint8, width * height * 4).reshape(-1, 4)[:, [2, 1, 0, 3]].T.tobytes())),  # V, U, Y, A
    (101, "Y410", 4, None, by_numpy(y410)),
    (102, "Y416", 8, None, by_numpy(y416)),
    (108, "Y210", 4, None, by_numpy(y2x6(0xFFC0))),
    (109, "Y216", 4, None, by_numpy(y2x6(0xFFFF))),
    (104, "P010", 3, None, by_numpy(p0x6(0xFFC0))),
    (105, "P016", 3, None, by_numpy(p0x6(0xFFFF))),
    (89, "R10G10B10_XR_BIAS_A2_UNORM", 4, None, by_numpy(ten_bits(lambda c: unorm(np.clip(c - 384, 0, 510), 510)))),
    (25, "R10G10B10A2_UINT", 4, None, by_numpy(ten_bits(lambda c: unorm(c, 1023)))),
    (68, "R8G8_B8G8_UNORM", 2, None, by_numpy(packed_rgb(0, 1, 2, 3))),
    (69, "G8R8_G8B8_UNORM", 2, None, by_numpy(packed_rgb(1, 0, 3, 2))),
    (191, "A4B4G4R4_UNORM", 2, None, by_numpy(nibbles)),
    (55, "D16_UNORM", 2, None, by_numpy(ints("<u2", 1))),
    (45, "D24_UNORM_S8_UINT", 4, None, by_numpy(depth)),
    (47, "X24_TYPELESS_G8_UINT", 4, None, by_numpy(stencil(3, 4))),
    (40, "D32_FLOAT", 4, halves_as_floats, by_numpy(float_depth(1))),
    (20, "D32_FLOAT_S8X24_UINT", 8, depth_stencil, by_numpy(float_depth(2))),
    (22, "X32_TYPELESS_G8X24_UINT", 8, None, by_numpy(stencil(4, 8))),
    (30, "R8G8B8A8_UINT", 4, None, by_numpy(ints("u1", 4))),
    (36, "R16G16_UINT", 4, None, by_numpy(ints("<u2", 2))),
    (42, "R32_UINT", 4, None, by_numpy(ints("<u4", 1))),
    (7, "R32G32B32_UINT", 12, None, by_numpy(ints("<u4", 3))),
    (64, "R8_SINT", 1, None, by_numpy(ints("i1", 1))),
    (52, "R8G8_SINT", 2, None, by_numpy(ints("i1", 2))),
    (14, "R16G16B16A16_SINT", 8, None, by_numpy(ints("<i2", 4))),
    (43, "R32_SINT", 4, None, by_numpy(ints("<i4", 1))),
    (4, "R32G32B32A32_SINT", 16, None, by_numpy(ints("<i4", 4))),
]
INDEPENDENT_SIZE = (62, 38)


def bc6h_truncated(ours, pillow):
    return all(0 <= o - p <= 1 for o, p in zip(ours, pillow))


# Pillow's known departures from the formats, as (ours, Pillow) pixels allowed to differ. Mesa
# decodes the same files exactly, so these never hide a fault of ours.
PILLOW_ALLOWS = {
    # Interpolates without the +32 rounding and truncates when scaling: never above ours, at
    # most 1 below.
    "BC6H_UF16": bc6h_truncated,
    # A reserved mode gives opaque black where the format gives 0 in all four channels.
    "BC7_UNORM": lambda ours, pillow: ours == (0, 0, 0, 0) and pillow == (0, 0, 0, 255),
}


class Disagreement(Exception):
    pass


def run_bytes(*command, data=None):
    done = subprocess.run([str(c) for c in command], input=data, capture_output=True)
    if done.returncode != 0:
        raise Disagreement(f"{' '.join(map(str, command))} failed: {done.stderr.decode().strip()}")
    return done.stdout


def run(*command):
    return run_bytes(*command).decode()


def write_dds(path, width, height, code, blocks, mips=1):
    """A DDS file of one picture (or of `mips` levels): a FourCC header (a number for a
    D3DFORMAT in bytes), or the DX10 one for a DXGI number."""
    fourcc = code.encode() if isinstance(code, str) else code if isinstance(code, bytes) else b"DX10"
    header = struct.pack("<4s7I44x", b"DDS ", 124, 0x81007 | (0x20000 if mips > 1 else 0), height, width,
                         len(blocks), 0, mips)
    header += struct.pack("<2I4s20x5I", 32, 0x4, fourcc, 0x1000 | (0x400008 if mips > 1 else 0), 0, 0, 0, 0)
    if fourcc == b"DX10":
        header += struct.pack("<5I", code, 3, 0, 1, 0)
    path.write_bytes(header + blocks)


def pillow_bgra(path):
    with Image.open(path) as picture:
        bands = picture.split()
    opaque = Image.new("L", bands[0].size, 255)
    if len(bands) == 1:
        bands = (bands[0], bands[0], bands[0], opaque)
    elif len(bands) == 3:
        bands = (bands[2], bands[1], bands[0], opaque)
    else:
        bands = (bands[2], bands[1], bands[0], bands[3])
    return Image.merge("RGBA", bands).tobytes()


def first_difference(ours, theirs, allows):
    """The first pixel that differs beyond what `allows`, and how many differ within it."""
    allowed = 0
    if ours != theirs:
        for i in range(0, len(ours), 4):
            o, t = tuple(ours[i:i + 4]), tuple(theirs[i:i + 4])
            if o != t:
                if not allows or not allows(o, t):
                    return i // 4, o, t, allowed
                allowed += 1
    return None, None, None, allowed


def check(origin, path, fmt, kind, pillow, pixels):
    width, height, found = run(OURS, path, path.with_suffix(".ours")).split()
    if found != fmt:
        raise Disagreement(f"{path.name}: our reader finds {found}, the file holds {fmt}")
    width, height = int(width), int(height)
    ours = path.with_suffix(".ours").read_bytes()
    offset = 148 if path.read_bytes()[84:88] == b"DX10" else 128
    if isinstance(kind, str):
        run(MESA, kind, width, height, path, offset, path.with_suffix(".mesa"))
        references = {"Mesa": (path.with_suffix(".mesa").read_bytes(), None)}
    else:
        name, decode, allows = kind
        references = {name: (decode(path.read_bytes()[offset:], width, height), allows)}
    if pillow:
        references["Pillow"] = (pillow_bgra(path), PILLOW_ALLOWS.get(fmt))
    disagreements = []
    for decoder, (theirs, allows) in references.items():
        if len(theirs) != len(ours):
            disagreements.append(f"{decoder} gives {len(theirs)} bytes, ours {len(ours)}")
            continue
        at, o, t, allowed = first_difference(ours, theirs, allows)
        if at is not None:
            disagreements.append(f"{decoder} disagrees at pixel ({at % width}, {at // width}):"
                                 f" ours BGRA {o}, {decoder} {t}")
            continue
        pixels[(origin, fmt, decoder)] += width * height
        pixels[(origin, fmt, decoder, "allowed")] += allowed
    if disagreements:
        raise Disagreement(f"{path.name} {fmt}: " + "; ".join(disagreements))


# Tone mapping: the rules written out again in numpy, over channels decoded from the formats'
# documentation (BC6H's by Mesa).
def tone_mapped(levels, exposure):
    """Blue, green, red, alpha bytes of the levels (red, green, blue, alpha float64 arrays),
    tone-mapped together, one after another."""
    with np.errstate(all="ignore"):
        colours = [np.where(np.isnan(p[..., :3]) | (p[..., :3] < 0), 0, p[..., :3]) * 2 ** (exposure / 10)
                   for p in levels]
        lum = np.concatenate([(0.3 * c[..., 0] + 0.59 * c[..., 1] + 0.11 * c[..., 2]).ravel() for c in colours])
        finite = lum[np.isfinite(lum)]
        lmax = finite.max() if finite.size and finite.max() > 0 else 1.0
        shown = []
        for c, p in zip(colours, levels):
            mapped = np.minimum(np.where(np.isinf(c), 1, c * (1 + c / lmax ** 2) / (1 + c)), 1)
            srgb = np.where(mapped <= 0.0031308, 12.92 * mapped, 1.055 * mapped ** (1 / 2.4) - 0.055)
            byte = np.floor(255 * srgb + 0.5).astype(np.int64)
            shown.append(np.stack([byte[..., 2], byte[..., 1], byte[..., 0], unit_byte(p[..., 3])], -1))
    return b"".join(p.astype(np.uint8).tobytes() for p in shown)


def as_rgba(*channels):
    """One channel is grey, two are red and green over blue 0; alpha 1 where there is none."""
    zero, one = np.zeros_like(channels[0]), np.ones_like(channels[0])
    return np.stack({1: list(channels) * 3 + [one], 2: list(channels) + [zero, one], 3: list(channels) + [one],
                     4: list(channels)}[len(channels)], -1).astype(np.float64)


def float_channels(dtype, channels):
    def decode(path, offset, width, height):
        s = samples(path.read_bytes()[offset:], dtype, height, width, channels)
        return as_rgba(*np.moveaxis(s.astype(np.float64), -1, 0))
    return decode, width_bytes(np.dtype(dtype).itemsize * channels)


def small_float(bits, mantissa_bits):  # R11G11B10's unsigned floats: 5 bits of exponent, bias 15
    e, m = bits >> mantissa_bits, (bits & (1 << mantissa_bits) - 1) / 2 ** mantissa_bits
    value = np.where(e == 0, m * 2.0 ** -14, (1 + m) * np.exp2(e - 15.0))
    return np.where(e == 31, np.where(m != 0, np.nan, np.inf), value)


def r11g11b10(path, offset, width, height):
    p = samples(path.read_bytes()[offset:], "<u4", height, width)
    return as_rgba(small_float(p & 0x7FF, 6), small_float(p >> 11 & 0x7FF, 6), small_float(p >> 22, 5))


def rgb9e5(path, offset, width, height):  # mantissa x 2^(exponent - 15 - 9)
    r, g, b, e = fields(samples(path.read_bytes()[offset:], "<u4", height, width), (0, 9), (9, 9), (18, 9), (27, 5))
    return as_rgba(*(c * np.exp2(e - 24.0) for c in (r, g, b)))


def mesa_floats(kind):
    def decode(path, offset, width, height):
        out = path.with_suffix(f".{offset}.mesa")
        run(MESA, kind, width, height, path, offset, out)
        return as_rgba(*np.moveaxis(np.frombuffer(out.read_bytes(), "<f4").reshape(height, width, 4)[..., :3], -1, 0))
    return decode, lambda width, height: 16 * -(-width // 4) * -(-height // 4)


def width_bytes(unit):
    return lambda width, height: unit * width * height


def spread(rnd, count, pack, top):
    """Values from top / 1024 to top, a tenth negative, with zeros, NaN, +Inf and -Inf."""
    specials = [0.0, float("nan"), float("inf"), -float("inf")]
    values = [specials[int(roll * 100)] if (roll := rnd.random()) < 0.04
              else top * 2 ** -rnd.uniform(0, 10) * (-1 if rnd.random() < 0.1 else 1) for _ in range(count)]
    return struct.pack(f"<{count}{pack}", *values)


def halves(rnd, size, top):
    return spread(rnd, size // 2, "e", top)


def floats(rnd, size, top):
    return spread(rnd, size // 4, "f", top)


def specials_only(rnd, size, top):
    """Nothing finite above 0: Lmax falls back to 1."""
    values = [rnd.choice([0.0, -top, float("nan"), float("inf"), -float("inf")]) for _ in range(size // 4)]
    return struct.pack(f"<{len(values)}f", *values)


def zeros(rnd, size, top):
    return bytes(size)


def packed_r11g11b10(rnd, size, top):
    """Exponents up to 17 (values to 8), some 31 (Inf, NaN)."""
    def channel(mantissa_bits):
        exponent = 31 if rnd.random() < 0.03 else rnd.randint(0, 14 + int(np.log2(top)))
        return exponent << mantissa_bits | rnd.getrandbits(mantissa_bits)
    return b"".join(struct.pack("<I", channel(6) | channel(6) << 11 | channel(5) << 22) for _ in range(size // 4))


def packed_rgb9e5(rnd, size, top):
    return b"".join(struct.pack("<I", rnd.getrandbits(27) | rnd.randint(5, 24 + int(np.log2(top)) - 9) << 27)
                    for _ in range(size // 4))


def bc6h_blocks(signed, random_share=0.05):
    """Mode 3 blocks (one region, 10-bit endpoints as stored) whose values stay below `top`,
    signed ones also negative; a share of random blocks reach the other modes (and values so
    high that Lmax hardly matters). An endpoint e becomes the half of bits e x 64 x 31 / 64
    unsigned, e x 64 x 31 / 32 signed."""
    def make(rnd, size, top):
        limit = int(np.float16(top).view(np.uint16)) // (62 if signed else 31)
        blocks = []
        for _ in range(size // 16):
            if rnd.random() < random_share:
                blocks.append(rnd.randbytes(16))
                continue
            bits, at = 3, 5
            for _ in range(6):
                value = rnd.randint(-limit // 2 if signed else 0, limit) & 1023
                bits |= value << at
                at += 10
            bits |= rnd.getrandbits(63) << at
            blocks.append(bits.to_bytes(16, "little"))
        return b"".join(blocks)
    return make


# Code (a DXGI number, or a legacy D3DFORMAT as bytes), what our reader names it, the data,
# how to decode its channels and the sizes of its levels, and the levels (with the one whose
# values reach 4 times higher: Lmax must come from it).
TONE_MAPPED = [
    (54, "R16_FLOAT", halves, float_channels("<f2", 1), 1),
    (34, "R16G16_FLOAT", halves, float_channels("<f2", 2), 1),
    (10, "R16G16B16A16_FLOAT", halves, float_channels("<f2", 4), 1),
    (10, "R16G16B16A16_FLOAT", halves, float_channels("<f2", 4), (6, 3)),
    (10, "R16G16B16A16_FLOAT", zeros, float_channels("<f2", 4), 1),
    (41, "R32_FLOAT", floats, float_channels("<f4", 1), 1),
    (41, "R32_FLOAT", specials_only, float_channels("<f4", 1), 1),
    (16, "R32G32_FLOAT", floats, float_channels("<f4", 2), 1),
    (6, "R32G32B32_FLOAT", floats, float_channels("<f4", 3), 1),
    (2, "R32G32B32A32_FLOAT", floats, float_channels("<f4", 4), 1),
    (39, "R32_TYPELESS", floats, float_channels("<f4", 1), 1),
    (15, "R32G32_TYPELESS", floats, float_channels("<f4", 2), 1),
    (5, "R32G32B32_TYPELESS", floats, float_channels("<f4", 3), 1),
    (1, "R32G32B32A32_TYPELESS", floats, float_channels("<f4", 4), 1),
    (26, "R11G11B10_FLOAT", packed_r11g11b10, (r11g11b10, width_bytes(4)), 1),
    (67, "R9G9B9E5_SHAREDEXP", packed_rgb9e5, (rgb9e5, width_bytes(4)), 1),
    (95, "BC6H_UF16", bc6h_blocks(False), mesa_floats("bc6h-floats"), 1),
    (95, "BC6H_UF16", bc6h_blocks(False, 0), mesa_floats("bc6h-floats"), (6, 2)),
    (96, "BC6H_SF16", bc6h_blocks(True), mesa_floats("bc6hs-floats"), 1),
    (94, "BC6H_TYPELESS", bc6h_blocks(False), mesa_floats("bc6h-floats"), 1),
    (struct.pack("<I", 111), "R16_FLOAT", halves, float_channels("<f2", 1), 1),
    (struct.pack("<I", 112), "R16G16_FLOAT", halves, float_channels("<f2", 2), 1),
    (struct.pack("<I", 113), "R16G16B16A16_FLOAT", halves, float_channels("<f2", 4), 1),
    (struct.pack("<I", 114), "R32_FLOAT", floats, float_channels("<f4", 1), 1),
    (struct.pack("<I", 115), "R32G32_FLOAT", floats, float_channels("<f4", 2), 1),
    (struct.pack("<I", 116), "R32G32B32A32_FLOAT", floats, float_channels("<f4", 4), 1),
]
EXPOSURES = (-25, 0, 15)
TONE_MAPPED_SIZE = (37, 23)


def check_tone_mapped(path, fmt, levels, decode, level_bytes, pixels):
    width, height = TONE_MAPPED_SIZE
    sizes = [(max(width >> m, 1), max(height >> m, 1)) for m in range(levels)]
    offset = 148 if path.read_bytes()[84:88] == b"DX10" else 128
    channels = []
    for w, h in sizes:
        channels.append(decode(path, offset, w, h))
        offset += level_bytes(w, h)
    failures = []
    for exposure in EXPOSURES:
        out = path.with_suffix(f".{exposure}.ours")
        found = run(OURS, "--tonemap", exposure, *(["--mips"] if levels > 1 else []), path, out).split()[2]
        if found != fmt:
            raise Disagreement(f"{path.name}: our reader finds {found}, the file holds {fmt}")
        ours, theirs = out.read_bytes(), tone_mapped(channels, exposure)
        if len(ours) != len(theirs):
            failures.append(f"exposure {exposure}: numpy gives {len(theirs)} bytes, ours {len(ours)}")
            continue
        at, o, t, _ = first_difference(ours, theirs, within(1))
        if at is not None:
            failures.append(f"exposure {exposure}: numpy disagrees at pixel {at} (of the levels in turn):"
                            f" ours BGRA {o}, numpy {t}")
            continue
        pixels[("tonemap", path.stem.removeprefix("tonemap-"), f"{exposure:+d}")] += len(ours) // 4
    if failures:
        raise Disagreement(f"{path.name} {fmt} tone-mapped: " + "; ".join(failures))


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    for stale in OUT.iterdir():
        stale.unlink()
    files = []
    for name, (width, height, texel) in SOURCES.items():
        rnd = random.Random(name)
        picture = Image.new("RGBA", (width, height))
        picture.putdata([texel(x, y, width, height, rnd) for y in range(height) for x in range(width)])
        source = OUT / f"{name}.png"
        picture.save(source)
        for tool, options, fmt, kind, pillow in ENCODED:
            dds = OUT / f"{name}-{tool.name}{''.join(options)}.dds"
            if tool == NVCOMPRESS:
                run(tool, "-nocuda", *options, source, dds)
            else:
                run(tool, "-q", "-g", *options, source, dds)
            files.append((tool.name, dds, fmt, kind, pillow))
    rnd = random.Random("blocks")
    blocks = -(-RANDOM_SIZE[0] // 4) * -(-RANDOM_SIZE[1] // 4)
    for code, fmt, kind, pillow in RANDOM:
        dds = OUT / f"random-{fmt}.dds"
        write_dds(dds, *RANDOM_SIZE, code, rnd.randbytes(blocks * (8 if kind in ("bc1", "bc4", "bc4s") else 16)))
        files.append(("random", dds, fmt, kind, pillow))
    rnd = random.Random("pixels")
    count = PIXELS_SIZE[0] * PIXELS_SIZE[1]
    for code, fmt, kind, unit, make in RANDOM_PIXELS:
        dds = OUT / f"random-{fmt}.dds"
        data = make(rnd, count * unit) if make else rnd.randbytes(count * unit)
        write_dds(dds, *PIXELS_SIZE, code, data)
        files.append(("random", dds, fmt, kind, False))
    rnd = random.Random("independent")
    count = INDEPENDENT_SIZE[0] * INDEPENDENT_SIZE[1]
    for code, fmt, unit_bytes, make, oracle in INDEPENDENT:
        dds = OUT / f"random-{fmt}.dds"
        size = int(count * unit_bytes)
        write_dds(dds, *INDEPENDENT_SIZE, code, make(rnd, size) if make else rnd.randbytes(size))
        files.append(("random", dds, fmt, oracle, False))

    rnd = random.Random("tone mapping")
    tone_mapped_files = []
    width, height = TONE_MAPPED_SIZE
    for code, fmt, make, (decode, level_bytes), levels in TONE_MAPPED:
        levels, bright = levels if isinstance(levels, tuple) else (levels, None)
        data = b"".join(make(rnd, level_bytes(max(width >> m, 1), max(height >> m, 1)), 8 if m == bright else 2)
                        for m in range(levels))
        label = (f"D3DFMT{struct.unpack('<I', code)[0]}" if isinstance(code, bytes) else fmt) + \
            {halves: "", floats: "", zeros: "-zero", specials_only: "-specials"}.get(make, "") + \
            (f"-mips{levels}" if levels > 1 else "")
        dds = OUT / f"tonemap-{label}.dds"
        write_dds(dds, width, height, code, data, levels)
        tone_mapped_files.append((dds, fmt, levels, decode, level_bytes))

    pixels, failures = Counter(), []
    for origin, path, fmt, kind, pillow in files:
        try:
            check(origin, path, fmt, kind, pillow, pixels)
        except Disagreement as disagreement:
            failures.append(str(disagreement))
    for path, *rest in tone_mapped_files:
        try:
            check_tone_mapped(path, *rest, pixels)
        except Disagreement as disagreement:
            failures.append(str(disagreement))
    files += tone_mapped_files
    for key in sorted(k for k in pixels if len(k) == 3):
        allowed = pixels[key + ("allowed",)]
        print(f"{key[0]:10} {key[1]:32} {key[2]:6} {pixels[key]:6} pixels agree"
              + (f" ({allowed} within the allowed deviation)" if allowed else ""))
    for failure in failures:
        print(f"FAIL {failure}")
    print(f"reference: {len(files)} files, {len(files) - len(failures)} agree, {len(failures)} disagree")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
