"""What a Cinema 4D SDK folder is: its API version and release, its build system, and how
Corvane's sources are compiled against it. Shared by scripts/c4d-sdk-build and the sdk test
stage (tests/c4d_sdk/). Everything here reads the SDK folder; nothing writes to it."""

import json
import os
import platform
import re
import shutil
import subprocess
from dataclasses import dataclass, field
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]

# The frameworks the module declares, in its order; the geometry framework is named by the
# SDK (geom.framework up to 2023, modeling_geom.framework from 2024 on).
FRAMEWORKS = ["cinema", "command", "core", "crypt", "@geom", "image", "math", "mesh_misc", "python"]

# Include folders below a framework's source/ that the SDK's own build adds as well.
FRAMEWORK_SUBFOLDERS = {
    "cinema": ["c4d_customgui", "c4d_gv", "c4d_libs", "c4d_misc", "c4d_misc/utilities", "description"],
    "core": ["maxon/math", "maxon/utilities"],
    "image": ["maxon/utilities"],
    "modeling_geom": ["maxon/convexdecomposition"],
}

OLDEST_API_VERSION = 23000  # R23


class SdkError(Exception):
    """A problem with the SDK or the tools, in one line; code is the exit code (2 or 1)."""

    def __init__(self, message, code=2):
        super().__init__(message)
        self.code = code


def release_name(api_version):
    """The release an API_VERSION belongs to: 23100 -> R23, 2024000 -> 2024.0, 2024900 ->
    2025.0 (the 2025.0 SDK still counts in 2024), 2026100 -> 2026.1."""
    if api_version < 100000:
        major = api_version // 1000
        return ("S" if major % 2 == 0 else "R") + str(major)
    year, rest = divmod(api_version, 1000)
    if rest >= 900:
        return f"{year + 1}.0"
    return f"{year}.{rest // 100}"


@dataclass
class Sdk:
    root: Path
    api_version: int
    release: str
    cmake: bool                     # builds with its own CMake (else the Project Tool's)
    geom_framework: str             # geom or modeling_geom
    cmake_minimum: tuple = (0, 0)   # from the SDK's CMakeLists.txt
    cxx_standard: str = "17"        # the language standard its build system targets
    migrate_legacy_projects: bool = False  # its CMake converts projectdefinition files on request
    presets: list = field(default_factory=list)

    @property
    def label(self):
        return f"{self.release} (API_VERSION {self.api_version})"

    def frameworks(self):
        return [self.geom_framework if f == "@geom" else f for f in FRAMEWORKS]

    def project_definition(self):
        """The project definition of this repository whose framework list fits the SDK."""
        name = "projectdefinition.txt" if self.geom_framework == "geom" else "projectdefinition_2024.txt"
        return REPO / "project" / name

    def preset(self):
        """The SDK's configure preset for this platform."""
        system = platform.system()
        wanted = {"Linux": "linux_ninja", "Darwin": "macos_universal_xcode"}.get(system, "windows_vs2022_v143")
        if wanted not in self.presets:
            raise SdkError(f"the SDK {self.label} has no configure preset {wanted} for {system} "
                           f"(it has: {', '.join(self.presets) or 'none'})")
        return wanted


def read_api_version(root):
    header = root / "frameworks" / "cinema.framework" / "source" / "operatingsystem.h"
    try:
        text = header.read_text(encoding="utf-8", errors="replace")
    except OSError as e:
        raise SdkError(f"cannot read the SDK's API_VERSION: {header}: {e.strerror} "
                       "(a half-unpacked SDK? unzip sdk.zip again)")
    m = re.search(r"^\s*#\s*define\s+API_VERSION\s+(\d+)\b", text, re.M)
    if not m:
        raise SdkError(f"cannot read the SDK's API_VERSION: {header} defines none "
                       "(a damaged or half-unpacked SDK? unzip sdk.zip again)")
    return int(m.group(1))


def sdk_lines(folder):
    """The SDKs directly below folder (the layout of ../shared/c4d-sdk/unpack), by name."""
    try:
        entries = sorted(p for p in Path(folder).iterdir() if p.is_dir())
    except OSError:
        return []
    return [p for p in entries if (p / "frameworks" / "cinema.framework").is_dir()]


def open_sdk(path):
    """The SDK at path, or SdkError naming what is wrong with the folder."""
    root = Path(path).expanduser()
    if not root.exists():
        raise SdkError(f"SDK folder {root} does not exist: give the folder unzipped from sdk.zip "
                       "of a Cinema 4D installation (it holds frameworks/)")
    if not root.is_dir():
        raise SdkError(f"{root} is a file, not an SDK folder: unzip it first (sdk.zip of a Cinema 4D "
                       "installation) and give the folder")
    root = root.resolve()
    if not (root / "frameworks" / "cinema.framework").is_dir():
        inner = sdk_lines(root)
        if inner:
            names = ", ".join(p.name for p in inner)
            raise SdkError(f"{root} holds several SDKs ({names}): give one of them")
        raise SdkError(f"{root} is not a Cinema 4D SDK: it has no frameworks/cinema.framework "
                       "(give the folder unzipped from sdk.zip, which holds frameworks/)")
    api = read_api_version(root)
    release = release_name(api)
    if api < OLDEST_API_VERSION:
        raise SdkError(f"the SDK is of {release} (API_VERSION {api}), older than R23: Corvane is "
                       "built with the SDK of R23 or later")

    fw = root / "frameworks"
    if (fw / "modeling_geom.framework").is_dir():
        geom = "modeling_geom"
    elif (fw / "geom.framework").is_dir():
        geom = "geom"
    else:
        raise SdkError(f"the SDK {release} (API_VERSION {api}) at {root} has neither geom.framework nor "
                       "modeling_geom.framework (a half-unpacked SDK? unzip sdk.zip again)")
    missing = [f for f in FRAMEWORKS if f != "@geom" and not (fw / f"{f}.framework").is_dir()]
    if missing:
        raise SdkError(f"the SDK {release} (API_VERSION {api}) at {root} lacks "
                       f"{', '.join(m + '.framework' for m in missing)} (a half-unpacked SDK? unzip sdk.zip again)")

    sdk = Sdk(root=root, api_version=api, release=release, cmake=False, geom_framework=geom)
    lists, presets = root / "CMakeLists.txt", root / "CMakePresets.json"
    if lists.is_file() or presets.is_file():
        for needed in (lists, presets, root / "cmake"):
            if not needed.exists():
                raise SdkError(f"the SDK {sdk.label} at {root} has a CMake build system without "
                               f"{needed.name} (a half-unpacked SDK? unzip sdk.zip again)")
        sdk.cmake = True
        text = lists.read_text(encoding="utf-8", errors="replace")
        m = re.search(r"cmake_minimum_required\s*\(\s*VERSION\s+(\d+)\.(\d+)", text, re.I)
        sdk.cmake_minimum = (int(m.group(1)), int(m.group(2))) if m else (3, 30)
        m = re.search(r'CMAKE_CXX_STANDARD\s+"?(\d+)', text)
        sdk.cxx_standard = m.group(1) if m else "20"
        try:
            sdk.presets = [p["name"] for p in json.loads(presets.read_text()).get("configurePresets", [])]
        except (OSError, ValueError, KeyError, TypeError) as e:
            raise SdkError(f"cannot read the SDK's presets {presets}: {e}")
        tooling = [lists] + sorted((root / "cmake").rglob("*.cmake"))
        sdk.migrate_legacy_projects = any(
            "MAXON_MIGRATE_LEGACY_PROJECTS" in p.read_text(encoding="utf-8", errors="replace") for p in tooling)
    return sdk


def include_folders(sdk, generated_root=None):
    """The SDK's include folders for the module, as its build gives them: each framework's
    source/ (and the subfolders its build adds) and generated headers, from the SDK itself
    (headers-only SDKs ship them) or from a build's generated/ folder."""
    folders = []
    for name in sdk.frameworks():
        fw = sdk.root / "frameworks" / f"{name}.framework"
        folders.append(fw / "source")
        folders += [fw / "source" / sub for sub in FRAMEWORK_SUBFOLDERS.get(name, [])]
        folders.append(fw / "generated" / "hxx")
        if generated_root is not None:
            folders.append(Path(generated_root) / f"{name}.framework" / "hxx")
    return [f for f in folders if f.is_dir()]


def module_compile_flags(standard):
    """The SDK's defines and code flags for a module on Linux (its CMake build's, which the
    Project Tool's Linux makefiles match), with -Wall -Wextra in place of the SDK's -w."""
    return [f"-std=gnu++{standard}", '-DMAXON_MODULE_ID="io.corvane.corvane"', "-DMAXON_TARGET_64BIT",
            "-DMAXON_TARGET_LINUX", "-DMAXON_TARGET_RELEASE", "-DUSE_API_MAXON", "-fPIC",
            "-fvisibility=hidden", "-fvisibility-inlines-hidden", "-fno-rtti", "-fno-exceptions",
            "-fno-strict-aliasing", "-fno-math-errno", "-ffp-contract=off", "-fno-delete-null-pointer-checks",
            "-mavx2", "-O2", "-Wall", "-Wextra", "-Wno-multichar", "-Wno-invalid-offsetof"]


def which(name):
    return shutil.which(name)


def tool_version(command):
    """First line of `command --version`, or None when it does not run."""
    try:
        out = subprocess.run([command, "--version"], capture_output=True, text=True, timeout=60)
    except (OSError, subprocess.TimeoutExpired):
        return None
    lines = (out.stdout or out.stderr).splitlines()
    return lines[0].strip() if out.returncode == 0 and lines else None


def find_cmake(minimum):
    """A CMake of at least `minimum`: CORVANE_CMAKE, the project's own (scripts/c4d-sdk,
    installed by scripts/setup --tests), then the PATH's. SdkError when none is new enough."""
    candidates = []
    if os.environ.get("CORVANE_CMAKE"):
        candidates.append(os.environ["CORVANE_CMAKE"])
    candidates.append(str(REPO / "scripts" / "c4d-sdk" / "node_modules" / ".bin" / "cmake"))
    if which("cmake"):
        candidates.append(which("cmake"))
    need = ".".join(map(str, minimum))
    found = []
    for c in dict.fromkeys(os.path.realpath(c) if os.path.exists(c) else c for c in candidates):
        line = tool_version(c)
        m = re.search(r"(\d+)\.(\d+)(?:\.(\d+))?", line or "")
        if not m:
            continue
        version = (int(m.group(1)), int(m.group(2)))
        if version >= tuple(minimum):
            return c, m.group(0)
        found.append(f"{m.group(0)} at {c}")
    had = f" (found only {'; '.join(found)})" if found else ""
    raise SdkError(f"the SDK needs CMake {need} or later{had}: run scripts/setup --tests, which installs CMake 4 "
                   "into scripts/c4d-sdk/node_modules, or set CORVANE_CMAKE to a CMake of your own")


def check_compiler(cxx, standard):
    """SdkError unless cxx can build the SDK: it runs, compiles the SDK's C++ standard, and
    is not a clang that stops on the SDK's own warnings-as-errors list."""
    path = which(cxx)
    if path is None:
        raise SdkError(f"compiler {cxx} (CXX) not found: install it, or unset CXX to use Debian's g++")
    line = tool_version(path) or ""
    m = re.search(r"clang version (\d+)", line)
    if m and int(m.group(1)) <= 14:
        raise SdkError(f"{cxx} is clang {m.group(1)}, which stops on the SDK's own warnings-as-errors list in one "
                       "of its Linux sources: unset CXX to use Debian's g++")
    probe = f"#include <concepts>\n#include <span>\nint main() {{ return 0; }}\n" if standard == "20" else "int main() { return 0; }\n"
    try:
        run = subprocess.run([path, f"-std=c++{standard}", "-x", "c++", "-fsyntax-only", "-"],
                             input=probe, capture_output=True, text=True, timeout=120)
    except (OSError, subprocess.TimeoutExpired) as e:
        raise SdkError(f"compiler {cxx} does not run: {e}")
    if run.returncode != 0:
        first = next((l for l in run.stderr.splitlines() if "error" in l), run.stderr.strip()[:200])
        raise SdkError(f"{cxx} ({line}) cannot compile C++{standard}, which the SDK needs ({first}): "
                       "use g++ 12 or later (Debian 12's g++)")
    return path, line
