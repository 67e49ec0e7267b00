#!/usr/bin/env python3
"""Checks a Linux plug-in folder made by scripts/c4d-sdk-build with Maxon's SDK, printing one
line per check ("ok ..." or "FAIL ..."):

  check_module.py FOLDER HOST [BUILD_DIR]

  - the module exports c4d_main and g_maxon and nothing else (the linker's own symbols aside);
  - it loads the C and C++ runtimes and no other shared library;
  - every symbol it leaves undefined is the runtimes' (versioned by them) or weak, and the
    dynamic loader finds them all;
  - res/ is beside it, with the description and the string tables;
  - it is told apart from a module of the SDK stand-in;
  - corvane-host (HOST) refuses it in info, render and validate: one line, exit 2;
  - scripts/package makes the Cinema 4D archive from it (checksums and bills of materials
    valid), and refuses a stand-in module in its place (with BUILD_DIR, a build of the
    stand-in modules).
Exit code 0 when every check passed, 1 otherwise."""

import re
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts" / "c4d-sdk"))
import module_kind  # noqa: E402
import sdk as c4dsdk  # noqa: E402

RUNTIMES = {"libstdc++.so.6", "libm.so.6", "libc.so.6", "libgcc_s.so.1", "ld-linux-x86-64.so.2"}
LINKER_SYMBOLS = {"__bss_start", "_edata", "_end", "_init", "_fini"}
RUNTIME_VERSIONS = ("GLIBC_", "GLIBCXX_", "CXXABI_", "GCC_")
REFUSAL = "was built with Maxon's SDK; corvane-host runs modules built on its own SDK layer"

failures = 0


def check(ok, what, detail=""):
    global failures
    if ok:
        print(f"ok {what}", flush=True)
    else:
        failures += 1
        print(f"FAIL {what}{': ' + detail if detail else ''}", flush=True)


def run(command, **kw):
    return subprocess.run(command, capture_output=True, text=True, errors="replace", **kw)


def main():
    if len(sys.argv) not in (3, 4):
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    folder, host = Path(sys.argv[1]).resolve(), sys.argv[2]
    build_dir = sys.argv[3] if len(sys.argv) == 4 else None
    module = folder / "corvane.xso64"
    if not module.is_file():
        check(False, f"module {module}", "not found")
        return 1
    size = module.stat().st_size

    exports = set(run(["nm", "-D", "--defined-only", "--format=just-symbols", str(module)]).stdout.split())
    exports -= LINKER_SYMBOLS
    check(exports == {"c4d_main", "g_maxon"}, f"exports: {' '.join(sorted(exports))} ({size} bytes)",
          "expected exactly c4d_main and g_maxon")

    dynamic = run(["readelf", "-d", "-W", str(module)]).stdout
    needed = re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", dynamic)
    check(needed and set(needed) <= RUNTIMES, f"shared libraries: {', '.join(needed)}",
          f"only the C and C++ runtimes ({', '.join(sorted(RUNTIMES))}) may be loaded")

    undefined = run(["nm", "-D", "--undefined-only", str(module)]).stdout.splitlines()
    foreign = []
    for line in undefined:
        parts = line.split()
        if len(parts) < 2:
            continue
        kind, symbol = parts[-2], parts[-1]
        if kind in ("w", "v"):
            continue
        if "@" not in symbol or not symbol.split("@")[-1].startswith(RUNTIME_VERSIONS):
            foreign.append(symbol)
    ldd = run(["ldd", "-r", str(module)])
    unresolved = [l.strip() for l in (ldd.stdout + ldd.stderr).splitlines() if "undefined symbol" in l]
    check(not foreign and not unresolved,
          f"undefined symbols: {len(undefined)}, all the runtimes' and found by the dynamic loader",
          "; ".join((foreign + unresolved)[:10]))

    res = folder / "res"
    wanted = [res / "c4d_symbols.h", res / "description" / "xcorvane.res", res / "description" / "xcorvane.h",
              res / "strings_en-US" / "c4d_strings.str", res / "strings_en-US" / "description" / "xcorvane.str"]
    missing = [str(p.relative_to(folder)) for p in wanted if not p.is_file()]
    check(not missing, "res/ beside the module", "missing " + ", ".join(missing))

    kind, reason = module_kind.module_kind(str(module))
    check(kind == "maxon-sdk", f"told apart from a stand-in module: {kind}: {reason}")

    line = f"{module}: {REFUSAL}"
    with tempfile.TemporaryDirectory(prefix="corvane-sdk-check-") as tmp:
        image = Path(tmp) / "x.png"
        scene = str(c4dsdk.REPO / "examples" / "default.json")
        for name, args, expected in (
                ("info", ["info", "--plugins", str(folder)], f"Refused module {line}"),
                ("render", ["render", scene, "-o", str(image), "--plugins", str(folder)], f"Refused module {line}"),
                ("validate", ["validate", str(module)], f"corvane-host: {line}")):
            r = subprocess.run([host, *args], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                               errors="replace", timeout=120)
            lines = r.stdout.splitlines()
            check(r.returncode == 2 and lines == [expected], f"corvane-host {name} refuses it in one line, exit 2",
                  f"exit {r.returncode}, output {lines[:3]}")
        check(not image.exists(), "nothing rendered with it")

        if build_dir:
            out = Path(tmp) / "package"
            p = run([str(c4dsdk.REPO / "scripts" / "package"), "--build-dir", build_dir, "--c4d-module", str(folder),
                     "--out", str(out)], cwd=c4dsdk.REPO)
            archives = sorted(f.name for f in out.glob("*.zip")) if out.is_dir() else []
            c4d = [a for a in archives if "-c4d" in a]
            sums = run(["sha256sum", "-c", "SHA256SUMS"], cwd=out) if out.is_dir() else None
            boms = sorted(out.glob("*.cdx.json")) if out.is_dir() else []
            valid = [run(["node", str(c4dsdk.REPO / "scripts" / "release" / "sbom.mjs"), "validate", str(b)]).returncode == 0
                     for b in boms]
            check(p.returncode == 0 and len(c4d) == 1 and c4d[0].endswith("-linux.zip") and sums and sums.returncode == 0
                  and len(boms) == 2 and all(valid),
                  f"scripts/package makes {', '.join(archives) or 'nothing'}, checksums hold, bills of materials valid",
                  (p.stderr or p.stdout).strip()[-300:])
            stand_in = Path(tmp) / "stand-in"
            stand_in.mkdir()
            manifest = Path(build_dir) / "corvane-package.txt"
            linux = next((l.split("=", 1)[1] for l in manifest.read_text().splitlines() if l.startswith("linux=")), "")
            if linux:
                (stand_in / "corvane.xso64").write_bytes(Path(linux).read_bytes())
                (stand_in / "res").symlink_to(folder / "res")
                (stand_in / "build-info.json").write_text((folder / "build-info.json").read_text())
            r = run([str(c4dsdk.REPO / "scripts" / "package"), "--build-dir", build_dir, "--c4d-module", str(stand_in),
                     "--out", str(Path(tmp) / "refused")], cwd=c4dsdk.REPO)
            check(r.returncode == 2 and "not a module built by Maxon's SDK" in r.stderr,
                  "scripts/package refuses a stand-in module as the Cinema 4D module",
                  f"exit {r.returncode}: {r.stderr.strip()[:300]}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
