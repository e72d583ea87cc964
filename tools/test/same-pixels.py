#!/usr/bin/python3
"""Checks that every .png under PNG_DIR decodes, with Pillow, to the pixels of the .bmp at the
same path under BMP_DIR, and that both folders hold the same pictures.
usage: same-pixels.py PNG_DIR BMP_DIR"""
import pathlib
import sys

from PIL import Image


def pictures(root, suffix):
    return {p.relative_to(root).with_suffix("") for p in pathlib.Path(root).rglob("*" + suffix)}


def main(png_dir, bmp_dir):
    pngs, bmps = pictures(png_dir, ".png"), pictures(bmp_dir, ".bmp")
    problems = [f"only as .png: {p}" for p in sorted(pngs - bmps)]
    problems += [f"only as .bmp: {p}" for p in sorted(bmps - pngs)]
    for name in sorted(pngs & bmps):
        with Image.open(pathlib.Path(png_dir, name).with_suffix(".png")) as png, \
             Image.open(pathlib.Path(bmp_dir, name).with_suffix(".bmp")) as bmp:
            if png.format != "PNG":
                problems.append(f"{name}.png is {png.format}, not PNG")
            elif png.size != bmp.size:
                problems.append(f"{name}: {png.size} as PNG, {bmp.size} as BMP")
            elif png.convert("RGB").tobytes() != bmp.convert("RGB").tobytes():
                problems.append(f"{name}: the pixels differ")
    for p in problems:
        print(p)
    print(f"{len(pngs & bmps)} pictures compared, {len(problems)} problems")
    return 1 if problems or not pngs else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]))
