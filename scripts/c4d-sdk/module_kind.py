#!/usr/bin/env python3
"""Tells a module built by Maxon's SDK from one built on this repository's SDK stand-in.

  module_kind.py FILE      prints "maxon-sdk", "stand-in" or "unknown" and what decided it

A module of the stand-in is freestanding: it loads no shared library. A module made by
Maxon's frameworks links the C and C++ runtimes and carries the identifiers of the core
framework's error classes (corvane-host tells them apart the same way). Only ELF files (the Linux builds) are told apart here; the other formats are
"unknown". Exit code 0 whatever the kind, 2 when the file cannot be read."""

import struct
import sys

# The C and C++ runtimes a Linux module of Maxon's SDK may load, and nothing else.
RUNTIMES = ("libstdc++.so", "libm.so", "libgcc_s.so", "libc.so", "ld-linux", "libpthread.so",
            "libdl.so", "librt.so")
# Compiled into every module by Maxon's core framework: its error classes' identifiers.
MAXON_MARK = b"net.maxon.error."


def elf_needed(data):
    """The DT_NEEDED names of a 64-bit little-endian ELF file, or None when it is no such file."""
    if data[:4] != b"\x7fELF" or data[4] != 2 or data[5] != 1:
        return None
    e_phoff, = struct.unpack_from("<Q", data, 0x20)
    e_phentsize, e_phnum = struct.unpack_from("<HH", data, 0x36)
    loads, dynamic = [], None
    for i in range(e_phnum):
        off = e_phoff + i * e_phentsize
        if off + 56 > len(data):
            return None
        p_type, _, p_offset, p_vaddr, _, p_filesz = struct.unpack_from("<IIQQQQ", data, off)
        if p_type == 1:
            loads.append((p_vaddr, p_offset, p_filesz))
        elif p_type == 2:
            dynamic = (p_offset, p_filesz)
    if dynamic is None:
        return []
    entries, strtab = [], None
    for i in range(dynamic[1] // 16):
        tag, value = struct.unpack_from("<qQ", data, dynamic[0] + 16 * i)
        if tag == 0:
            break
        if tag == 1:
            entries.append(value)
        elif tag == 5:
            strtab = value
    if strtab is None:
        return []
    base = next((off + strtab - vaddr for vaddr, off, size in loads if vaddr <= strtab < vaddr + size), None)
    if base is None:
        return []
    names = []
    for offset in entries:
        end = data.find(b"\0", base + offset)
        names.append(data[base + offset:end].decode("utf-8", "replace"))
    return names


def module_kind(path):
    """(kind, reason) for the module file at path."""
    with open(path, "rb") as f:
        data = f.read()
    needed = elf_needed(data)
    if needed is None:
        return "unknown", "not a 64-bit ELF file"
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
