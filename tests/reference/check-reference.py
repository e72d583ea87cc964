#!/usr/bin/python3
"""Our DDS decoder against independent decoders, Pillow and Mesa's softpipe (mesa_decode), on
files written by independent encoders (bc7enc, nvcompress) and on random blocks.

check-reference.py BUILD_DIR, BUILD_DIR being the native build (dds_decode, mesa_decode, and
npm/ with bc7enc); the files are made in BUILD_DIR/reference. Every decode must equal ours
under our picture rules, except for Pillow's deviations in PILLOW_ALLOWS. Each disagreement
is named by file, format, decoder, first pixel and both values, and fails the run.
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
}
for what, path in TOOLS.items():
    if not path.exists():
        sys.exit(f"check-reference: {what} is missing: {SETUP}")
try:
    from PIL import Image
except ImportError:
    sys.exit(f"check-reference: Pillow (python3-pil) is missing: {SETUP}")
OURS, MESA, BC7ENC, NVCOMPRESS = TOOLS.values()

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


def halves_as_floats(rnd, count):
    """Floats with a half's precision (their x 255 is exact in a float, so no rounding tie
    depends on arithmetic), from random halves: negatives, above 1, Inf and NaN included."""
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


def run(*command):
    done = subprocess.run([str(c) for c in command], capture_output=True, text=True)
    if done.returncode != 0:
        raise Disagreement(f"{' '.join(map(str, command))} failed: {done.stderr.strip()}")
    return done.stdout


def write_dds(path, width, height, code, blocks):
    """A DDS file of one picture: a FourCC header, or the DX10 one for a DXGI number."""
    fourcc = code.encode() if isinstance(code, str) else b"DX10"
    header = struct.pack("<4s7I44x", b"DDS ", 124, 0x81007, height, width, len(blocks), 0, 1)
    header += struct.pack("<2I4s20x5I", 32, 0x4, fourcc, 0x1000, 0, 0, 0, 0)
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
    run(MESA, kind, width, height, path, offset, path.with_suffix(".mesa"))
    references = {"Mesa": (path.with_suffix(".mesa").read_bytes(), None)}
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
        data = make(rnd, count * unit // 4) if make else rnd.randbytes(count * unit)
        write_dds(dds, *PIXELS_SIZE, code, data)
        files.append(("random", dds, fmt, kind, False))

    pixels, failures = Counter(), []
    for origin, path, fmt, kind, pillow in files:
        try:
            check(origin, path, fmt, kind, pillow, pixels)
        except Disagreement as disagreement:
            failures.append(str(disagreement))
    for key in sorted(k for k in pixels if len(k) == 3):
        allowed = pixels[key + ("allowed",)]
        print(f"{key[0]:10} {key[1]:10} {key[2]:6} {pixels[key]:6} pixels agree"
              + (f" ({allowed} within Pillow's known deviation)" if allowed else ""))
    for failure in failures:
        print(f"FAIL {failure}")
    print(f"reference: {len(files)} files, {len(files) - len(failures)} agree, {len(failures)} disagree")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
