#!/usr/bin/env python3
"""Writes the installer benchmark's inputs, once.
  make_inputs.py FOLDER: a 65,534-entry package for header inspection and a 1 GiB, 2,000-file
    application package for unpacking.
  make_inputs.py --versions FOLDER NAME BUNDLE_ID EXECUTABLE: FOLDER/1.0 and FOLDER/2.0, each a
    1 GiB, 2,000-file bundle "KESTRYN NAME.app" (unsealed); 2.0 changes 2% of the files."""
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


def text_pool(generator):
    """Pseudo-random text from a small vocabulary: compressible about 3:1, never repeating."""
    words = [
        "".join(generator.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(generator.randint(2, 9)))
        for _ in range(4096)
    ]
    return " ".join(generator.choice(words) for _ in range(1 << 20)).encode()


def write_application(path, files=2000, total=1 << 30):
    generator = random.Random(2026)
    pool = text_pool(generator)
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


INFO_PLIST = """<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>CFBundleIdentifier</key><string>{bundle_id}</string>
  <key>CFBundleName</key><string>{name}</string>
  <key>CFBundleShortVersionString</key><string>{version}</string>
  <key>CFBundleVersion</key><string>{build}</string>
  <key>CFBundleExecutable</key><string>{executable}</string>
  <key>LSMinimumSystemVersion</key><string>13.0</string>
</dict></plist>
"""


def write_versions(folder, name, bundle_id, executable, files=2000, total=1 << 30, changed=0.02):
    """The same text files in both versions but for a fixed sample of 2%, which 2.0 rewrites."""
    generator = random.Random(2026)
    pool = text_pool(generator)
    size = total // files
    starts = [generator.randrange(len(pool) - size) for _ in range(files)]
    rewritten = {index: generator.randrange(len(pool) - size)
                 for index in generator.sample(range(1, files), round(files * changed))}
    for version, build in (("1.0", "1"), ("2.0", "2")):
        app = folder / version / f"KESTRYN {name}.app"
        if (app / "Contents" / "Info.plist").exists():
            continue
        partial = app.with_name(app.name + ".partial")
        (partial / "Contents" / "MacOS").mkdir(parents=True, exist_ok=True)
        (partial / "Contents" / "Resources").mkdir(parents=True, exist_ok=True)
        (partial / "Contents" / "Info.plist").write_text(INFO_PLIST.format(
            bundle_id=bundle_id, name=name, version=version, build=build, executable=executable))
        for index in range(files):
            start = starts[index]
            if version == "2.0" and index in rewritten:
                start = rewritten[index]
            data = f"file {index}\n".encode() + pool[start : start + size]
            target = f"MacOS/{executable}" if index == 0 else f"Resources/data-{index:04}.txt"
            (partial / "Contents" / target).write_bytes(data)
        (partial / "Contents" / "MacOS" / executable).chmod(0o755)
        partial.rename(app)


if __name__ == "__main__":
    if sys.argv[1] == "--versions":
        write_versions(Path(sys.argv[2]), *sys.argv[3:6])
        sys.exit()
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
