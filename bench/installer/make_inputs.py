#!/usr/bin/env python3
"""Writes the installer benchmark's packages, once: a 65,534-entry package for header inspection
and a 1 GiB, 2,000-file application package for unpacking. Usage: make_inputs.py FOLDER"""
import random
import sys
import zipfile
from pathlib import Path

FOLDER_MODE = 0o40755 << 16 | 0x10
FILE_MODE = 0o100644 << 16
EXECUTABLE_MODE = 0o100755 << 16


def entry(name, mode, method=zipfile.ZIP_STORED):
    info = zipfile.ZipInfo(name, date_time=(2026, 1, 1, 0, 0, 0))
    info.compress_type = method
    info.create_system = 3  # Unix, so the mode in the upper 16 bits counts
    info.external_attr = mode
    return info


def write_entries(path, count=65534):
    """Sample.app/ with 255 folders of small files: only headers matter here."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as package:
        package.writestr(entry("Sample.app/", FOLDER_MODE), b"")
        written = 1
        folders = 255
        for folder in range(folders):
            package.writestr(entry(f"Sample.app/Contents/Resources/group-{folder:03}/", FOLDER_MODE), b"")
        written += folders
        index = 0
        while written < count:
            name = f"Sample.app/Contents/Resources/group-{index % folders:03}/item-{index:05}.txt"
            package.writestr(entry(name, FILE_MODE), f"item {index}\n".encode())
            written += 1
            index += 1


def write_application(path, files=2000, total=1 << 30):
    """Pseudo-random text from a small vocabulary: compressible about 3:1, never repeating."""
    generator = random.Random(2026)
    words = [
        "".join(generator.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(generator.randint(2, 9)))
        for _ in range(4096)
    ]
    pool = " ".join(generator.choice(words) for _ in range(1 << 20)).encode()
    size = total // files
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as package:
        package.writestr(entry("Sample.app/", FOLDER_MODE), b"")
        package.writestr(entry("Sample.app/Contents/", FOLDER_MODE), b"")
        package.writestr(entry("Sample.app/Contents/MacOS/", FOLDER_MODE), b"")
        package.writestr(entry("Sample.app/Contents/Resources/", FOLDER_MODE), b"")
        for index in range(files):
            start = generator.randrange(len(pool) - size)
            data = f"file {index}\n".encode() + pool[start : start + size]
            if index == 0:
                package.writestr(entry("Sample.app/Contents/MacOS/Sample", EXECUTABLE_MODE, zipfile.ZIP_DEFLATED), data)
            else:
                package.writestr(entry(f"Sample.app/Contents/Resources/data-{index:04}.txt", FILE_MODE, zipfile.ZIP_DEFLATED), data)


if __name__ == "__main__":
    folder = Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)
    entries = folder / "entries-65534.zip"
    if not entries.exists():
        write_entries(entries.with_suffix(".partial"))
        entries.with_suffix(".partial").rename(entries)
    application = folder / "app-1GiB.zip"
    if not application.exists():
        write_application(application.with_suffix(".partial"))
        application.with_suffix(".partial").rename(application)
