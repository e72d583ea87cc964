#!/usr/bin/python3
"""Builds the release archive into WORK_DIR with scripts/release.py and checks it: its names,
the documents as Windows text, the binaries stripped, the plug-ins' imports, and the stripped
tools and plug-ins still working under Wine (run inside wine-session.sh).
usage: check-release.py VERSION WORK_DIR"""
import pathlib
import shutil
import os
import subprocess
import sys
import zipfile

ROOT = pathlib.Path(__file__).resolve().parent.parent.parent
WINE = str(ROOT / "scripts" / "wine-exec.sh")
version, work = sys.argv[1], pathlib.Path(sys.argv[2])
folder = f"Sorvane-{version}"
# name in the archive: objdump of its width, width
BINARIES = {
    "Sorvane.spi": ("i686-w64-mingw32-objdump", "32"),
    "Sorvane.sph": ("x86_64-w64-mingw32-objdump", "64"),
    "spihost32.exe": ("i686-w64-mingw32-objdump", "32"),
    "spihost64.exe": ("x86_64-w64-mingw32-objdump", "64"),
}
# name: a line that it must hold
DOCUMENTS = {
    "README.txt": "[日本語](README.ja.txt)",
    "README.ja.txt": "[English](README.txt) · バージョン " + version,
    "CHANGES.txt": "## " + version,
    "LICENSE.txt": "Copyright (c) 2026 Sorvane developers",
}
problems = []


def check(condition, message):
    if not condition:
        problems.append(message)


shutil.rmtree(work, ignore_errors=True)
subprocess.run([sys.executable, str(ROOT / "scripts" / "release.py"), "--out", str(work)], check=True)
with zipfile.ZipFile(work / f"{folder}.zip") as archive:
    names = sorted(archive.namelist())
    expected = sorted(f"{folder}/{n}" for n in [*BINARIES, *DOCUMENTS, "docs/settings-dialog.png"])
    check(names == expected, f"archive holds {names}")
    for name, line in DOCUMENTS.items():
        data = archive.read(f"{folder}/{name}")
        check(data.startswith(b"\xef\xbb\xbf"), f"{name}: no UTF-8 byte order mark")
        check(data.count(b"\n") == data.count(b"\r\n") == data.count(b"\r") > 0, f"{name}: not CRLF lines")
        text = data.decode("utf-8", errors="replace")
        check("\ufffd" not in text, f"{name}: not UTF-8")
        check(line in text, f"{name}: lacks {line!r}")
    archive.extractall(work / "unpacked")

unpacked = work / "unpacked" / folder
for name, (objdump, width) in BINARIES.items():
    sections = subprocess.run([objdump, "-h", str(unpacked / name)], capture_output=True, text=True).stdout
    check(" .text " in sections and ".debug" not in sections, f"{name}: debug sections left, or unreadable")
    if name.startswith("Sorvane"):
        imports = subprocess.run([str(ROOT / "tests" / "check-imports.sh"), objdump, str(unpacked / name), width])
        check(imports.returncode == 0, f"{name}: check-imports.sh failed")

# The stripped tool of each width loads the stripped plug-in of its width and decodes a sample
# (32-bit programs only where this machine can run them).
pairs = [("spihost64.exe", "Sorvane.sph"), ("spihost32.exe", "Sorvane.spi")]
if os.environ.get("SORVANE_WINE32") == "0":
    pairs = pairs[:1]
for tool, plugin in pairs:
    out = work / f"decoded-{plugin}"
    run = subprocess.run([WINE, str(unpacked / tool), str(unpacked / plugin), "convert", "--format", "bmp",
                          "-o", str(out), str(ROOT / "samples" / "gradient-dxt1.dds")],
                         capture_output=True, text=True)
    check(run.returncode == 0 and (out / "gradient-dxt1.bmp").is_file(),
          f"{tool} with {plugin}: exit {run.returncode}\n{run.stdout}{run.stderr}")

for p in problems:
    print("FAIL", p)
print(f"release archive {folder}.zip: {len(problems)} problems")
sys.exit(1 if problems else 0)
