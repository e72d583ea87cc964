#!/usr/bin/python3
"""The demo's pictures of the newer format classes, all of one drawing so that they can be
compared: demo-formats.py OUT_DIR BC7ENC writes OUT_DIR/<format>.dds and prints a line a file,
its name and what its header holds. For the demo's row of the cube cross it also writes
OUT_DIR/cube.dds, six labelled faces, and for the row of tone mapping OUT_DIR/sky.dds, an HDR sky,
which it does not list. The pixel formats are encoded here with numpy; the Y'CbCr
ones by ffmpeg, BC5 by nvcompress and BC7 by bc7enc. No encoder on the machine writes BC6H, so
it comes from the one-mode encoder below.
"""

import struct
import subprocess
import sys
from pathlib import Path

import numpy as np
from PIL import Image

OUT, BC7ENC = Path(sys.argv[1]), sys.argv[2]
WIDTH, HEIGHT = 56, 36  # even, for the 4:2:0 layouts, and whole 4 x 4 blocks


def run(*command, data=None):
    return subprocess.run([str(c) for c in command], input=data, capture_output=True, check=True).stdout


def draw(png):
    """A rainbow from left to right (block encoders fit each block to one line of colours)
    with a dark disc, a white square, text and a transparent hole."""
    run("convert", "-size", f"{WIDTH}x{HEIGHT}", "xc:", "-channel", "R", "-fx", "i/w", "-channel", "G", "-fx", "1-abs(2*i/w-1)",
        "-channel", "B", "-fx", "1-i/w", "+channel", "-fill", "#203040", "-draw", "circle 40,18 40,6",
        "-fill", "white", "-draw", "rectangle 3,3 14,14", "-fill", "#ffd000", "-font", "DejaVu-Sans-Bold",
        "-pointsize", "11", "-draw", "text 29,22 'DDS'", "-alpha", "set", "-channel", "A",
        "-fx", "hypot(i-9,j-27) < 6 ? 0 : 1", "+channel", "-strip", png)
    with Image.open(png) as picture:
        return np.asarray(picture.convert("RGBA"), np.float64) / 255


def dx10(dxgi, width=WIDTH, height=HEIGHT, cube=False):
    caps, caps2, misc = (0x1008, 0xFE00, 0x4) if cube else (0x1000, 0, 0)  # all six faces, TEXTURECUBE
    return struct.pack("<4s7I44x2I4s20x5I5I", b"DDS ", 124, 0x1007, height, width, 0, 0, 1, 32, 0x4, b"DX10",
                       caps, caps2, 0, 0, 0, dxgi, 3, misc, 1, 0)


CUBE_FACES = [("+X", "#c83c3c"), ("\u2212X", "#6e1e1e"), ("+Y", "#3ca03c"), ("\u2212Y", "#1e5a1e"), ("+Z", "#3c64d2"),
              ("\u2212Z", "#1e3278")]  # in the file's order; the lighter face of each axis is its + side


def cube(png, side=32):
    """B8G8R8A8, a face after the other, each its colour and its name."""
    faces = []
    for name, colour in CUBE_FACES:
        run("convert", "-size", f"{side}x{side}", f"xc:{colour}", "-fill", "white", "-font", "DejaVu-Sans-Bold",
            "-pointsize", "14", "-gravity", "center", "-annotate", "0", name, "-alpha", "set", "-strip", png)
        with Image.open(png) as face:
            faces.append(np.asarray(face.convert("RGBA"))[..., [2, 1, 0, 3]])
    return dx10(87, side, side, cube=True) + np.concatenate(faces).tobytes()


def sky(width=96, height=64):
    """R16G16B16A16_FLOAT in linear light: a sky from 0.3 to 1.6 over dark ground, clouds near 3
    and a sun of 60, which clamping shows as a white sheet."""
    y, x = np.mgrid[0:height, 0:width].astype(np.float64)
    up = 1 - y / (0.75 * height)
    rgb = np.stack([0.25 + 0.5 * up, 0.45 + 0.7 * up, 0.9 + 0.7 * up], axis=-1)
    cloud = np.clip(1 - np.hypot((x - 28) / 18, (y - 30) / 5), 0, 1) + np.clip(1 - np.hypot((x - 62) / 14, (y - 18) / 4), 0, 1)
    rgb += 3 * np.clip(cloud, 0, 1)[..., None]
    sun = np.hypot(x - 72, y - 34)
    rgb += (60 * (sun < 5) + 6 * np.exp(-sun / 6))[..., None] * np.array([1.0, 0.9, 0.7])
    rgb[y >= 0.75 * height] = [0.08, 0.06, 0.03]
    rgba = np.concatenate([rgb, np.ones((height, width, 1))], axis=-1)
    return dx10(10, width, height) + rgba.astype("<f2").tobytes()


def ints(c, dtype, low, high):  # [0, 1] onto low..high
    return np.round(low + c * (high - low)).astype(dtype)


def luminance(p):
    return p[..., 0] * 0.299 + p[..., 1] * 0.587 + p[..., 2] * 0.114


def small_floats(p):  # R11G11B10: a half's top bits, as both share the exponent bias
    h = p[..., :3].astype("<f2").view("<u2").astype(np.uint32)
    return (h[..., 0] >> 4 | (h[..., 1] >> 4) << 11 | (h[..., 2] >> 5) << 22).astype("<u4")


def shared_exponent(p):  # R9G9B9E5: mantissas m x 2^(e - 24) under the largest channel
    rgb = p[..., :3]
    e = np.clip(np.floor(np.log2(np.maximum(rgb.max(-1), 2.0 ** -16))).astype(int) + 16, 0, 31)
    e += np.round(rgb.max(-1) / 2.0 ** (e - 24)) > 511
    m = np.round(rgb / 2.0 ** (e - 24)[..., None]).astype(np.uint32)
    return (m[..., 0] | m[..., 1] << 9 | m[..., 2] << 18 | e.astype(np.uint32) << 27).astype("<u4")


def packed_rgb(p):  # R8G8_B8G8: a pair's red and blue are the average of both
    b = ints(p[..., :3], np.uint8, 0, 255).astype(int)
    pair = (b[:, 0::2] + b[:, 1::2] + 1) // 2
    return np.stack([pair[..., 0], b[:, 0::2, 1], pair[..., 2], b[:, 1::2, 1]], -1).astype(np.uint8)


def ffmpeg(p, pix_fmt, matrix="bt601"):
    return run("ffmpeg", "-v", "error", "-f", "rawvideo", "-pix_fmt", "rgba", "-s", f"{WIDTH}x{HEIGHT}", "-i", "-",
               "-vf", f"scale=out_color_matrix={matrix}:out_range=tv", "-f", "rawvideo", "-pix_fmt", pix_fmt, "-",
               data=ints(p, np.uint8, 0, 255).tobytes())


def ayuv(p):  # V, U, Y, A from ffmpeg's planes
    planes = np.frombuffer(ffmpeg(p, "yuva444p"), np.uint8).reshape(4, -1)
    return planes[[2, 1, 0, 3]].T.copy()


def bc6h_block(texels):
    """Mode 11 (one region, 10-bit endpoints, 4-bit indices), the endpoints at both ends of the
    texels along their principal axis. Endpoint e gives the half 31 x e + 15, and texels
    interpolate between those bit patterns."""
    x = (texels.astype("<f2").view("<u2").astype(float) - 15) / 31
    mean = x.mean(0)
    axis = np.linalg.svd(x - mean)[2][0]
    along = (x - mean) @ axis
    ends = np.clip(np.round(mean + np.outer([along.min(), along.max()], axis)), 0, 1023).astype(int)
    span = ends[1] - ends[0]
    index = np.clip(np.round((x - ends[0]) @ span / max(span @ span, 1) * 15), 0, 15).astype(int)
    if index[0] > 7:  # the anchor's top bit is implied 0
        ends, index = ends[::-1], 15 - index
    bits, position = 3, 5
    for value in list(ends[0]) + list(ends[1]):
        bits, position = bits | int(value) << position, position + 10
    for t, i in enumerate(index):
        bits, position = bits | int(i) << position, position + (3 if t == 0 else 4)
    return bits.to_bytes(16, "little")


def bc6h(p):
    blocks = p[..., :3].reshape(HEIGHT // 4, 4, WIDTH // 4, 4, 3).swapaxes(1, 2).reshape(-1, 16, 3)
    return b"".join(bc6h_block(b) for b in blocks)


class Tool(tuple):
    """A command that writes the whole file from the drawing."""


def header_format(dds):  # the FourCC, or the DXGI number of the DX10 header
    data = dds.read_bytes()
    return struct.unpack_from("<I", data, 128)[0] if data[84:88] == b"DX10" else data[84:88].decode()


# File, label, the DXGI number (or FourCC) of the header, the data or the tool that writes it.
FORMATS = [
    ("snorm", "R8G8B8A8_SNORM", 31, lambda p: ints(p, np.int8, -127, 127)),
    ("uint", "R16G16_UINT: red, green", 36, lambda p: ints(p[..., :2], "<u2", 0, 65535)),
    ("sint", "R16G16B16A16_SINT", 14, lambda p: ints(p, "<i2", -32767, 32767)),
    ("half", "R16G16B16A16_FLOAT", 10, lambda p: p.astype("<f2")),
    ("r11g11b10", "R11G11B10_FLOAT", 26, small_floats),
    ("rgb9e5", "R9G9B9E5_SHAREDEXP", 67, shared_exponent),
    ("depth24", "D24_UNORM_S8_UINT: depth", 45, lambda p: ints(luminance(p), "<u4", 0, 0xFFFFFF) | 0x5A << 24),
    ("depth32", "D32_FLOAT: depth", 40, lambda p: luminance(p).astype("<f4")),
    ("rgbg", "R8G8_B8G8_UNORM", 68, packed_rgb),
    ("yuy2", "YUY2 (BT.601)", 107, lambda p: ffmpeg(p, "yuyv422")),
    ("nv12", "NV12 (BT.601)", 103, lambda p: ffmpeg(p, "nv12")),
    ("ayuv", "AYUV (BT.601)", 100, ayuv),
    ("p010", "P010 (BT.2020)", 104, lambda p: ffmpeg(p, "p010le", "bt2020")),
    ("bc5", "ATI2 (BC5): red, green", "ATI2", Tool(("nvcompress", "-nocuda", "-bc5", "-nomips"))),
    ("bc6h", "BC6H_UF16", 95, bc6h),
    ("bc7", "BC7_UNORM", 98, Tool((BC7ENC, "-q", "-g"))),
]


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    (OUT / "cube.dds").write_bytes(cube(OUT / "face.png"))
    (OUT / "sky.dds").write_bytes(sky())
    png = OUT / "drawing.png"
    picture = draw(png)
    for name, label, header, make in FORMATS:
        dds = OUT / f"{name}.dds"
        if isinstance(make, Tool):
            run(*make, png, dds)
            if header_format(dds) != header:
                sys.exit(f"demo-formats: {make[0]} wrote {header_format(dds)} in {dds.name}, not {header}")
        else:
            dds.write_bytes(dx10(header) + np.asarray(make(picture)).tobytes())
        print(f"{dds.name}\t{label}, {WIDTH}x{HEIGHT}")


if __name__ == "__main__":
    main()
