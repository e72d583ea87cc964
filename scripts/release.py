#!/usr/bin/python3
"""Writes the release archive, Sorvane-<version>.zip, from both builds (make release).

The plug-ins and the host tools go in stripped with the MinGW strip of their width. The
documents go in as Windows text: CRLF line ends and UTF-8 with a byte order mark, which
Notepad before Windows 10 1903 needs to tell UTF-8 from the ANSI code page (on a Japanese
system, Shift_JIS would garble README.ja.txt).

usage: release.py [--out DIR]      (default DIR: dist/)
"""
import argparse
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

ROOT = pathlib.Path(__file__).resolve().parent.parent

# (built file, strip tool)
BINARIES = [
    ("build/x86/bin/Sorvane.spi", "i686-w64-mingw32-strip"),
    ("build/x64/bin/Sorvane.sph", "x86_64-w64-mingw32-strip"),
    ("build/x86/bin/spihost32.exe", "i686-w64-mingw32-strip"),
    ("build/x64/bin/spihost64.exe", "x86_64-w64-mingw32-strip"),
]
# (source, name in the archive); README links are renamed along with the files.
DOCUMENTS = [
    ("README.md", "README.txt"),
    ("README.ja.md", "README.ja.txt"),
    ("CHANGES.md", "CHANGES.txt"),
    ("LICENSE", "LICENSE.txt"),
]
PICTURES = ["docs/settings-dialog.png"]  # shown by the READMEs


def fail(message):
    sys.exit(f"release: {message}")


def build_version(width):
    header = ROOT / "build" / width / "generated" / "VersionInfo.h"
    if not header.is_file():
        fail(f"{header} is missing: run make first")
    found = re.search(r'#define SORVANE_VERSION_TEXT "([^"]+)"', header.read_text())
    if not found:
        fail(f"no version in {header}")
    return found.group(1)


def windows_text(text):
    text = text.replace("\r\n", "\n")
    for source, name in DOCUMENTS:
        text = text.replace(f"]({source})", f"]({name})")
    return "\ufeff" + text.replace("\n", "\r\n")


def archive_time():
    """The last commit's time, so that the same commit gives the same archive."""
    try:
        stamp = int(subprocess.run(["git", "-C", str(ROOT), "log", "-1", "--format=%ct"],
                                   capture_output=True, text=True, check=True).stdout)
    except (OSError, subprocess.CalledProcessError, ValueError):
        stamp = int(time.time())
    return max(time.gmtime(stamp)[:6], (1980, 1, 1, 0, 0, 0))


def add(archive, name, data, when):
    entry = zipfile.ZipInfo(name, when)
    entry.compress_type = zipfile.ZIP_DEFLATED
    entry.create_system = 0  # made on "Windows": no Unix permission bits
    archive.writestr(entry, data)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=str(ROOT / "dist"))
    out = pathlib.Path(parser.parse_args().out)

    versions = {build_version("x64"), build_version("x86")}
    if len(versions) != 1:
        fail(f"the two builds have different versions {sorted(versions)}: run make first")
    version = versions.pop()
    folder = f"Sorvane-{version}"
    when = archive_time()

    for built, _ in BINARIES:
        if not (ROOT / built).is_file():
            fail(f"{built} is missing: run make first")

    out.mkdir(parents=True, exist_ok=True)
    target = out / f"{folder}.zip"
    partial = out / f"{folder}.zip.partial"
    with tempfile.TemporaryDirectory() as scratch, zipfile.ZipFile(partial, "w") as archive:
        for built, strip in BINARIES:
            source = ROOT / built
            stripped = pathlib.Path(scratch, source.name)
            shutil.copyfile(source, stripped)
            subprocess.run([strip, "--strip-all", str(stripped)], check=True)
            print(f"{source.name:14} {source.stat().st_size:>9} bytes, stripped {stripped.stat().st_size:>9}")
            add(archive, f"{folder}/{source.name}", stripped.read_bytes(), when)
        for source, name in DOCUMENTS:
            text = (ROOT / source).read_text(encoding="utf-8")
            add(archive, f"{folder}/{name}", windows_text(text).encode("utf-8"), when)
        for picture in PICTURES:
            add(archive, f"{folder}/{picture}", (ROOT / picture).read_bytes(), when)
    os.replace(partial, target)
    print(f"wrote {target.relative_to(ROOT) if target.is_relative_to(ROOT) else target}")


if __name__ == "__main__":
    main()
