#!/usr/bin/env python3
"""Compares two files of shader results written by ShaderValuesOverSettingsAndSamples (one
sample a line, three doubles in C's %a notation) value for value.

    compare_values.py [--expect-different] REFERENCE OTHER

Prints how many values (and samples) differ, by how much at most (as a number and in units
in the last place, ulps), and the first differing sample. Exits 0 when the files hold the same values (or, with
--expect-different, when at least one value differs), 1 otherwise, 2 on unreadable input.
"""
import argparse
import struct
import sys


def ordered_bits(x):
    """The double's bits as an integer that counts up with the value (ulps apart = distance)."""
    (bits,) = struct.unpack("<q", struct.pack("<d", x))
    return bits if bits >= 0 else -(bits & 0x7FFFFFFFFFFFFFFF)


def read_values(path):
    rows = []
    with open(path, encoding="ascii") as f:
        for number, line in enumerate(f, 1):
            fields = line.split()
            if len(fields) != 3:
                raise ValueError(f"{path}:{number}: expected three values, got {line.strip()!r}")
            rows.append([float.fromhex(v) for v in fields])
    if not rows:
        raise ValueError(f"{path}: no values")
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--expect-different", action="store_true")
    parser.add_argument("reference")
    parser.add_argument("other")
    args = parser.parse_args()
    try:
        reference, other = read_values(args.reference), read_values(args.other)
    except (OSError, ValueError) as e:
        print(f"compare_values: {e}", file=sys.stderr)
        return 2
    if len(reference) != len(other):
        print(f"compare_values: {args.reference} has {len(reference)} samples, {args.other} {len(other)}")
        return 1
    differing, samples, worst, largest, first = 0, 0, 0, 0.0, None
    for line, (a_row, b_row) in enumerate(zip(reference, other), 1):
        if a_row != b_row:
            samples += 1
        for a, b in zip(a_row, b_row):
            if a == b:
                continue
            differing += 1
            worst = max(worst, abs(ordered_bits(a) - ordered_bits(b)))
            largest = max(largest, abs(a - b))
            if first is None:
                first = (line, a_row, b_row)
    total = 3 * len(reference)
    if differing == 0:
        print(f"compare_values: all {total} values are the same in {args.other}")
    else:
        line, a_row, b_row = first
        print(f"compare_values: {differing} of {total} values ({samples} of {len(reference)} samples) differ in "
              f"{args.other}, by at most {largest!r} ({worst} ulp{'s' if worst != 1 else ''}); first at sample {line}: "
              f"{' '.join(map(repr, a_row))} against {' '.join(map(repr, b_row))}")
    if args.expect_different:
        return 0 if differing else 1
    return 0 if differing == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
