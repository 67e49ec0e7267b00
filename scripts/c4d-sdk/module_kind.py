#!/usr/bin/env python3
"""Tells a module built by Maxon's SDK from one built on this repository's SDK stand-in.

  module_kind.py FILE      prints "maxon-sdk", "stand-in" or "unknown" and what decided it

A module of the stand-in is freestanding: it loads no shared library. A module made by
Maxon's frameworks links the C and C++ runtimes and carries the identifiers of the core
framework's error classes (corvane-host tells them apart the same way). Only ELF files (the Linux builds) are told apart here; the other formats are
"unknown". Exit code 0 whatever the kind, 2 when the file cannot be read."""

import re
import subprocess
import sys

# The C and C++ runtimes a Linux module of Maxon's SDK may load, and nothing else.
RUNTIMES = ("libstdc++.so", "libm.so", "libgcc_s.so", "libc.so", "ld-linux", "libpthread.so",
            "libdl.so", "librt.so")
# Compiled into every module by Maxon's core framework: its error classes' identifiers.
MAXON_MARK = b"net.maxon.error."


def elf_needed(path):
    """The shared libraries an ELF file names to load (readelf's DT_NEEDED entries), or None
    when it is no ELF file."""
    run = subprocess.run(["readelf", "-d", "-W", path], capture_output=True, text=True, errors="replace")
    if run.returncode != 0:
        return None
    return re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", run.stdout)


def module_kind(path):
    """(kind, reason) for the module file at path."""
    with open(path, "rb") as f:
        data = f.read()
    needed = elf_needed(path)
    if needed is None:
        return "unknown", "not an ELF file"
    if not needed:
        return "stand-in", "loads no shared library (a module of the SDK stand-in)"
    foreign = [n for n in needed if not n.startswith(RUNTIMES)]
    if MAXON_MARK in data and not foreign:
        return "maxon-sdk", f"built with Maxon's frameworks, loads {', '.join(needed)}"
    return "unknown", f"loads {', '.join(needed)}"


def main(argv):
    if len(argv) != 2:
        print("usage: module_kind.py FILE", file=sys.stderr)
        return 2
    try:
        kind, reason = module_kind(argv[1])
    except OSError as e:
        print(f"module_kind.py: {argv[1]}: {e.strerror}", file=sys.stderr)
        return 2
    print(f"{kind}: {reason}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
