#!/usr/bin/env python3
"""Packs a folder into a zip archive whose bytes depend only on the files' names and contents.

    zip_folder.py ARCHIVE FOLDER

Entries are stored in sorted order (folders before their contents), every entry carries the
time SOURCE_DATE_EPOCH (clamped to the zip format's 1980..2107 range), files have mode 0644
and folders 0755, and no extra fields or comments are written. The archive's entries are named
FOLDER's last path part followed by the relative path, as `zip -r ARCHIVE corvane` names them.
"""
import os
import stat
import sys
import time
import zipfile


def entry_time():
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", "315532800"))
    # The zip format keeps local times from 1980 to 2107 with 2-second steps.
    epoch = max(315532800, min(epoch, 4354819198))
    return time.gmtime(epoch)[:6]


def entry(name, mode, stamp):
    info = zipfile.ZipInfo(name, date_time=stamp)
    info.create_system = 3  # Unix, so that the permission bits below are read
    info.external_attr = mode << 16
    if name.endswith("/"):
        info.external_attr |= 0x10  # MS-DOS directory flag
        info.compress_type = zipfile.ZIP_STORED
    else:
        info.compress_type = zipfile.ZIP_DEFLATED
    return info


def main(argv):
    if len(argv) != 3:
        print("usage: zip_folder.py ARCHIVE FOLDER", file=sys.stderr)
        return 2
    archive, folder = argv[1], os.path.normpath(argv[2])
    if not os.path.isdir(folder):
        print(f"zip_folder.py: {folder}: not a folder", file=sys.stderr)
        return 1
    top = os.path.basename(folder)
    stamp = entry_time()
    names = [(top + "/", None)]
    for root, dirs, files in os.walk(folder):
        dirs.sort()
        rel = os.path.relpath(root, folder)
        prefix = top + "/" if rel == "." else top + "/" + rel.replace(os.sep, "/") + "/"
        for d in dirs:
            names.append((prefix + d + "/", None))
        for f in files:
            path = os.path.join(root, f)
            if not stat.S_ISREG(os.lstat(path).st_mode):
                print(f"zip_folder.py: {path}: not a regular file", file=sys.stderr)
                return 1
            names.append((prefix + f, path))
    names.sort(key=lambda n: n[0])
    tmp = archive + ".tmp"
    with zipfile.ZipFile(tmp, "w") as z:
        for name, path in names:
            if path is None:
                z.writestr(entry(name, stat.S_IFDIR | 0o755, stamp), b"")
            else:
                with open(path, "rb") as f:
                    z.writestr(entry(name, stat.S_IFREG | 0o644, stamp), f.read(), compresslevel=9)
    os.replace(tmp, archive)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
