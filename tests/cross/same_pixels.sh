#!/usr/bin/env bash
# Renders every scene with the three module binaries and compares the images byte for byte:
# PNG from the Linux module (Linux host), the Windows module (Windows host under wine) and
# the macOS module (Linux host, Mach-O loader); EXR from the Linux and macOS modules (the
# Windows host writes no EXR). With CORVANE_SECOND_SHAPE_PLUGINS naming the plug-ins folder
# of the Linux module built in the other SDK API shape, its PNG and EXR are compared too.
# Prints one row per scene and a summary line; exits 1 when any image differs or any render
# fails.
#
#   same_pixels.sh LINUX_HOST WINDOWS_HOST LINUX_PLUGINS WINDOWS_PLUGINS MACOS_PLUGINS OUT SCENE...
set -uo pipefail
[ $# -ge 7 ] || { echo "usage: $0 LINUX_HOST WINDOWS_HOST LINUX_PLUGINS WINDOWS_PLUGINS MACOS_PLUGINS OUT SCENE..." >&2; exit 2; }
linux_host=$1 windows_host=$2 linux_plugins=$3 windows_plugins=$4 macos_plugins=$5 out=$6
shift 6
export WINEDEBUG=-all
WINE64=${CORVANE_WINE:-/usr/lib/wine/wine64}
mkdir -p "$out"

failures=0
render() {  # render HOST_KIND PLUGINS SCENE OUTPUT
  local log="$4.log"
  if [ "$1" = windows ]; then
    "$WINE64" "$windows_host" render "$3" -o "$4" --plugins "$2" >"$log" 2>&1 </dev/null
  else
    "$linux_host" render "$3" -o "$4" --plugins "$2" >"$log" 2>&1
  fi || { echo "render failed: $1 $3 (see $log):"; sed 's/^/  /' "$log"; failures=$((failures + 1)); }
}
verdict=""
same() {  # same A B: sets verdict to "identical" or "DIFFERENT"
  if cmp -s "$1" "$2"; then verdict=identical; else verdict=DIFFERENT; failures=$((failures + 1)); fi
}

second=${CORVANE_SECOND_SHAPE_PLUGINS:-}
if [ -n "$second" ]; then
  printf '%-28s %-12s %-12s %-12s %-12s %-12s\n' scene "windows png" "macos png" "macos exr" "shape png" "shape exr"
else
  printf '%-28s %-12s %-12s %-12s\n' scene "windows png" "macos png" "macos exr"
fi
for scene in "$@"; do
  name=$(basename "$(dirname "$scene")")-$(basename "${scene%.json}")
  render linux "$linux_plugins" "$scene" "$out/$name.linux.png"
  render linux "$linux_plugins" "$scene" "$out/$name.linux.exr"
  render windows "$windows_plugins" "$scene" "$out/$name.windows.png"
  render macos "$macos_plugins" "$scene" "$out/$name.macos.png"
  render macos "$macos_plugins" "$scene" "$out/$name.macos.exr"
  same "$out/$name.linux.png" "$out/$name.windows.png"; windows=$verdict
  same "$out/$name.linux.png" "$out/$name.macos.png"; macos_png=$verdict
  same "$out/$name.linux.exr" "$out/$name.macos.exr"; macos_exr=$verdict
  if [ -n "$second" ]; then
    render linux "$second" "$scene" "$out/$name.shape.png"
    render linux "$second" "$scene" "$out/$name.shape.exr"
    same "$out/$name.linux.png" "$out/$name.shape.png"; shape_png=$verdict
    same "$out/$name.linux.exr" "$out/$name.shape.exr"; shape_exr=$verdict
    printf '%-28s %-12s %-12s %-12s %-12s %-12s\n' "$name" "$windows" "$macos_png" "$macos_exr" "$shape_png" "$shape_exr"
  else
    printf '%-28s %-12s %-12s %-12s\n' "$name" "$windows" "$macos_png" "$macos_exr"
  fi
done
echo "same_pixels: $# scenes, each against the Linux module's images; $failures differences or failures"
[ "$failures" -eq 0 ]
