#!/usr/bin/env python3
"""Compiles every source of the plug-in to an object file against one of Maxon's SDKs, with
the SDK's defines and code flags and -Wall -Wextra, once with each compiler given, and
prints one line per file and compiler: "ok ..." or "FAIL ..." followed by the diagnostics.
Errors anywhere and warnings in the plug-in's own files (source/, res/) fail; the SDK's
headers are system headers here, as they are to a plug-in developer's build.

  compile_sources.py SDK_DIR [--compiler g++] [--compiler clang++] [--generated DIR] [--std 17]

--generated names a build's generated/ folder, for SDKs whose framework headers are made
by the build (the CMake SDKs). Exit code 0 when every compile passed, 1 otherwise, 2 when
the SDK cannot be read."""

import argparse
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts" / "c4d-sdk"))
import sdk as c4dsdk  # noqa: E402


def our_diagnostics(stderr, own_roots):
    """(errors, warnings in our files, the lines to show) of one compiler run."""
    errors, warnings, shown = 0, 0, []
    for line in stderr.splitlines():
        if ": error:" in line or ": fatal error:" in line:
            errors += 1
            shown.append(line)
        elif ": warning:" in line:
            where = line.split(":", 1)[0]
            if any(str(Path(where).resolve()).startswith(str(root)) for root in own_roots):
                warnings += 1
                shown.append(line)
    return errors, warnings, shown


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("sdk")
    parser.add_argument("--compiler", action="append", help="g++, clang++, ... (default: both)")
    parser.add_argument("--generated", help="a build's generated/ folder with the frameworks' headers")
    parser.add_argument("--std", help="the C++ standard (default: the SDK's: 17 for the Project Tool's, "
                                      "its CMake's for the others)")
    args = parser.parse_args()
    try:
        sdk = c4dsdk.open_sdk(args.sdk)
    except c4dsdk.SdkError as e:
        print(f"compile_sources: {e}")
        return 2

    repo = c4dsdk.REPO
    own = [repo / "source", repo / "res"]
    standard = args.std or sdk.cxx_standard
    includes = []
    for folder in [repo / "res", repo / "res" / "description", repo / "res" / "strings_en-US", repo / "source"]:
        includes += ["-I", str(folder)]
    for folder in c4dsdk.include_folders(sdk, args.generated):
        includes += ["-isystem", str(folder)]
    sources = sorted((repo / "source").glob("*.cpp"))
    failed = 0
    with tempfile.TemporaryDirectory(prefix="corvane-sdk-objects-") as objects:
        for compiler in args.compiler or ["g++", "clang++"]:
            for source in sources:
                obj = Path(objects) / f"{compiler}-{source.stem}.o"
                command = [compiler, *c4dsdk.module_compile_flags(standard), *includes, "-c", str(source), "-o", str(obj)]
                run = subprocess.run(command, capture_output=True, text=True, errors="replace", cwd=repo)
                errors, warnings, shown = our_diagnostics(run.stderr, own)
                what = f"{sdk.release} {compiler} C++{standard} {source.relative_to(repo)}"
                if run.returncode == 0 and errors == 0 and warnings == 0 and obj.is_file():
                    print(f"ok {what}: 0 errors, 0 warnings", flush=True)
                    continue
                failed += 1
                print(f"FAIL {what}: exit {run.returncode}, {errors} errors, {warnings} warnings in our files", flush=True)
                for line in (shown or run.stderr.splitlines())[:40]:
                    print(f"    {line}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
