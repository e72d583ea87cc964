#!/usr/bin/env python3
"""A 16384 x 16384 BC1 picture, as a DX10 file and as a legacy DXT1 one, and the check of the
.bmp a host wrote of it.

Every block row differs from every other, so that a row of blocks decoded from the wrong place
of the file shows. Each block has two 5-6-5 colours, the first the larger (four-colour blocks),
and texel indices of 0 and 1 only, so each texel is exactly one of the two colours.

usage: bc1.py write DIR     writes DIR/dx10.dds and DIR/dxt1.dds
       bc1.py check BMP     checks the picture's size and some pixels
"""
import struct
import sys

SIZE = 16384
BLOCKS = SIZE // 4


def colours(bx):
    """The two colours of the blocks in column bx: the first always the larger."""
    first = (16 + bx % 16) << 11 | (bx // 16 % 64) << 5 | bx // 1024
    second = (bx % 16) << 11 | (63 - bx // 16 % 64) << 5 | (31 - bx // 1024)
    return first, second


def indices(by):
    """The 16 one-bit texel choices of the blocks in row by (distinct for every row)."""
    return by * 40503 & 0xFFFF


def index_word(by):
    word = 0
    for texel in range(16):
        word |= (indices(by) >> texel & 1) << (2 * texel)
    return word


def expand(c):
    r, g, b = c >> 11, c >> 5 & 63, c & 31
    return (b << 3 | b >> 2, g << 2 | g >> 4, r << 3 | r >> 2)


def expected(x, y):
    first, second = colours(x // 4)
    texel = (y % 4) * 4 + x % 4
    return expand(second if indices(y // 4) >> texel & 1 else first)


def header(dx10):
    flags = 0x1 | 0x2 | 0x4 | 0x1000 | 0x80000  # caps, height, width, pixel format, linear size
    pixel_format = struct.pack('<8I', 32, 0x4, 0x30315844 if dx10 else 0x31545844, 0, 0, 0, 0, 0)
    head = b'DDS ' + struct.pack('<7I', 124, flags, SIZE, SIZE, BLOCKS * BLOCKS * 8, 0, 1)
    head += b'\0' * 44 + pixel_format + struct.pack('<5I', 0x1000, 0, 0, 0, 0)
    if dx10:
        head += struct.pack('<5I', 71, 3, 0, 1, 0)  # BC1_UNORM, 2-D, one element
    return head


def write(folder):
    pairs = bytearray()
    for bx in range(BLOCKS):
        pairs += struct.pack('<HH', *colours(bx))
    for name, dx10 in (('dx10', True), ('dxt1', False)):
        with open(f'{folder}/{name}.dds', 'wb') as out:
            out.write(header(dx10))
            row = bytearray(BLOCKS * 8)
            for i in range(4):
                row[i::8] = pairs[i::4]
            for by in range(BLOCKS):
                word = struct.pack('<I', index_word(by))
                for i in range(4):
                    row[4 + i::8] = word[i:i + 1] * BLOCKS
                out.write(row)


def check(path):
    points = [(0, 0), (SIZE - 1, 0), (0, SIZE - 1), (SIZE - 1, SIZE - 1), (5, 511), (6, 512),
              (8191, 8192), (12345, 6789), (3, 2047), (16000, 2048), (77, 15999)]
    with open(path, 'rb') as bmp:
        head = bmp.read(54)
        offset, = struct.unpack_from('<I', head, 10)
        width, height, planes, bits = struct.unpack_from('<iiHH', head, 18)
        if (width, height, bits) != (SIZE, SIZE, 24):
            sys.exit(f'{path}: {width} x {height}, {bits} bits, not {SIZE} x {SIZE}, 24 bits')
        stride = (SIZE * 3 + 3) // 4 * 4
        wrong = 0
        for x, y in points:
            bmp.seek(offset + (SIZE - 1 - y) * stride + 3 * x)
            got = tuple(bmp.read(3))
            if got != expected(x, y):
                print(f'pixel ({x}, {y}): {got}, expected {expected(x, y)} (blue, green, red)')
                wrong += 1
    sys.exit(1 if wrong else 0)


if __name__ == '__main__':
    if len(sys.argv) != 3 or sys.argv[1] not in ('write', 'check'):
        sys.exit(__doc__)
    (write if sys.argv[1] == 'write' else check)(sys.argv[2])
