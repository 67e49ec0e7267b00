#!/usr/bin/env bash
# Renders every scene with the three module binaries and compares the images byte for byte:
# PNG from the Linux module (Linux host), the Windows module (Windows host under wine) and
# the macOS module (Linux host, Mach-O loader); EXR from the Linux and macOS modules (the
# Windows host writes no EXR). With CORVANE_SECOND_SHAPE_PLUGINS naming the plug-ins folder
# of the Linux module built in the other SDK API shape, its PNG and EXR are compared too.
# With CORVANE_ARM64_HOST naming the aarch64 host and CORVANE_ARM64_PLUGINS its plug-ins
# folder, the aarch64 host renders PNG under qemu-aarch64 from the macOS module's arm64
# slice (MACOS_PLUGINS holds the universal module) and from the aarch64 Linux module.
# Prints one row per scene and a summary line; exits 1 when any image differs or any render
# fails.
#
#   same_pixels.sh LINUX_HOST WINDOWS_HOST LINUX_PLUGINS WINDOWS_PLUGINS MACOS_PLUGINS OUT SCENE...
set -uo pipefail
[ $# -ge 7 ] || { echo "usage: $0 LINUX_HOST WINDOWS_HOST LINUX_PLUGINS WINDOWS_PLUGINS MACOS_PLUGINS OUT SCENE..." >&2; exit 2; }
linux_host=$1 windows_host=$2 linux_plugins=$3 windows_plugins=$4 macos_plugins=$5 out=$6
shift 6
. "$(dirname "$0")/emulated.sh"
mkdir -p "$out"

failures=0
render() {  # render HOST_KIND PLUGINS SCENE OUTPUT
  local host=$linux_host
  [ "$1" = windows ] && host=$windows_host
  [ "$1" = arm64 ] && host=$arm64_host
  run_program "$1" "$4.log" "$host" render "$3" -o "$4" --plugins "$2"
  if [ "$status" -ne 0 ]; then
    report_failure "render failed: $1 $3" "$1" "$4.log"
    failures=$((failures + 1))
  fi
}
verdict=""
same() {  # same A B: sets verdict to "identical" or "DIFFERENT"
  if cmp -s "$1" "$2"; then verdict=identical; else verdict=DIFFERENT; failures=$((failures + 1)); fi
}

second=${CORVANE_SECOND_SHAPE_PLUGINS:-}
arm64_host=${CORVANE_ARM64_HOST:-} arm64_plugins=${CORVANE_ARM64_PLUGINS:-}
columns=("windows png" "macos png" "macos exr")
[ -n "$second" ] && columns+=("shape png" "shape exr")
[ -n "$arm64_host" ] && columns+=("arm64 macos" "arm64 linux")
row() { printf '%-28s' "$1"; shift; printf ' %-12s' "$@"; printf '\n'; }
row scene "${columns[@]}"
for scene in "$@"; do
  name=$(basename "$(dirname "$scene")")-$(basename "${scene%.json}")
  render linux "$linux_plugins" "$scene" "$out/$name.linux.png"
  render linux "$linux_plugins" "$scene" "$out/$name.linux.exr"
  render windows "$windows_plugins" "$scene" "$out/$name.windows.png"
  render macos "$macos_plugins" "$scene" "$out/$name.macos.png"
  render macos "$macos_plugins" "$scene" "$out/$name.macos.exr"
  verdicts=()
  same "$out/$name.linux.png" "$out/$name.windows.png"; verdicts+=("$verdict")
  same "$out/$name.linux.png" "$out/$name.macos.png"; verdicts+=("$verdict")
  same "$out/$name.linux.exr" "$out/$name.macos.exr"; verdicts+=("$verdict")
  if [ -n "$second" ]; then
    render linux "$second" "$scene" "$out/$name.shape.png"
    render linux "$second" "$scene" "$out/$name.shape.exr"
    same "$out/$name.linux.png" "$out/$name.shape.png"; verdicts+=("$verdict")
    same "$out/$name.linux.exr" "$out/$name.shape.exr"; verdicts+=("$verdict")
  fi
  if [ -n "$arm64_host" ]; then
    render arm64 "$macos_plugins" "$scene" "$out/$name.arm64-macos.png"
    render arm64 "$arm64_plugins" "$scene" "$out/$name.arm64-linux.png"
    same "$out/$name.linux.png" "$out/$name.arm64-macos.png"; verdicts+=("$verdict")
    same "$out/$name.linux.png" "$out/$name.arm64-linux.png"; verdicts+=("$verdict")
  fi
  row "$name" "${verdicts[@]}"
done
echo "same_pixels: $# scenes, each against the Linux module's images; $failures differences or failures"
[ "$failures" -eq 0 ]
