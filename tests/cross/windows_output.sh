#!/usr/bin/env bash
# The Windows host (under wine) writes its files whole: an image replaces an older file, a
# scene is saved over the file it was read from, and a write that fails (the target is a
# folder, so the final rename fails) exits 1 naming the file, with no temporary file left.
# On Windows a rename does not replace an existing file, so the host's writer has its own
# path there.
#
#   windows_output.sh WINDOWS_HOST PLUGINS SCENE OUT
set -uo pipefail
[ $# -eq 4 ] || { echo "usage: $0 WINDOWS_HOST PLUGINS SCENE OUT" >&2; exit 2; }
host=$1 plugins=$2 scene=$3 out=$4
. "$(dirname "$0")/emulated.sh"
failures=0
check() {  # check WHAT COMMAND... (true when the command succeeds)
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
status=0
run() {  # run ARGS...: the Windows host with the plug-ins; output in $out/log, exit code in $status
  run_program windows "$out/log" "$host" "$@" --plugins "$plugins"
}
no_temporary() { ! ls -A "$out" | grep -q '\.tmp-'; }

rm -rf "$out"
mkdir -p "$out"
echo previous >"$out/out.png"
run render "$scene" -o "$out/out.png" --width 16 --height 8
check "an image replaces an older file ($(explain_status "$status"))" test "$status" -eq 0
check "the file is the new PNG" test "$(head -c 4 "$out/out.png" | tail -c 3)" = PNG

cp "$scene" "$out/scene.json"
run save "$out/scene.json" -o "$out/scene.json"
check "a scene is saved over the file it was read from ($(explain_status "$status"))" test "$status" -eq 0
run render "$out/scene.json" -o "$out/again.png" --width 8 --height 8
check "the saved scene renders ($(explain_status "$status"))" test "$status" -eq 0

mkdir -p "$out/folder.png/inside"
run render "$scene" -o "$out/folder.png" --width 8 --height 8
check "a failed write exits 1 ($(explain_status "$status"))" test "$status" -eq 1
check "the message names the file" grep -q "folder.png: cannot write PNG file: " "$out/log"
check "the folder in the way is untouched" test -d "$out/folder.png/inside"
check "no temporary file is left" no_temporary
[ "$failures" -eq 0 ] || sed 's/^/  log: /' "$out/log"
echo "windows_output: $failures failures"
[ "$failures" -eq 0 ]
