#!/usr/bin/env bash
# A plug-ins folder holding one good module beside foreign and damaged ones: the host
# (Linux, then Windows under wine) names each refused file on one line with the reason,
# still loads and renders with the good module, and exits 0. With CORVANE_ARM64_HOST and
# CORVANE_ARM64_MODULE naming the aarch64 host and module, the aarch64 module is a foreign
# one for the Linux host, and the aarch64 host (under qemu-aarch64) is checked the same way
# with the x86-64 Linux and the Windows modules beside its own.
#
#   foreign_modules.sh LINUX_HOST WINDOWS_HOST LINUX_MODULE WINDOWS_MODULE MACOS_MODULE RES SCENE OUT
set -uo pipefail
[ $# -eq 8 ] || { echo "usage: $0 LINUX_HOST WINDOWS_HOST LINUX_MODULE WINDOWS_MODULE MACOS_MODULE RES SCENE OUT" >&2; exit 2; }
linux_host=$1 windows_host=$2 linux_module=$3 windows_module=$4 macos_module=$5 res=$6 scene=$7 out=$8
. "$(dirname "$0")/emulated.sh"
arm64_host=${CORVANE_ARM64_HOST:-} arm64_module=${CORVANE_ARM64_MODULE:-}
kinds="linux windows"
if [ -n "$arm64_host" ] && [ -n "$arm64_module" ]; then
  kinds="$kinds arm64"
  mkdir -p "$out/arm64-module"
  cp "$arm64_module" "$out/arm64-module/corvane-arm64.xso64"
fi
failures=0
check() {  # check WHAT COMMAND... (true when the command succeeds)
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

# folder GOOD_MODULE FOREIGN... : a plug-ins folder with the good module and its res/, each
# foreign module, a truncated copy of the good module and a file of text named like a module
folder() {
  local dir=$out/$1 good=$2
  shift 2
  rm -rf "$dir"
  mkdir -p "$dir/corvane" "$dir/foreign"
  cp "$good" "$dir/corvane/"
  cp -r "$res" "$dir/corvane/res"
  for f in "$@"; do cp "$f" "$dir/foreign/"; done
  local ext=".${good##*.}"
  head -c 3000 "$good" >"$dir/foreign/truncated$ext"
  echo "not a module" >"$dir/foreign/notes$ext"
  echo "$dir"
}

run_host() {  # run_host KIND ARGS... ; output in $out/KIND.log, status in $status
  local kind=$1 host=$linux_host
  shift
  [ "$kind" = windows ] && host=$windows_host
  [ "$kind" = arm64 ] && host=$arm64_host
  run_program "$kind" "$out/$kind.log" "$host" "$@"
}

expect_line() {  # expect_line KIND PATTERN: exactly one line of the log matches
  [ "$(grep -c -E "$2" "$out/$1.log")" -eq 1 ] || { echo "  expected one line matching: $2"; sed 's/^/  | /' "$out/$1.log"; return 1; }
}

mkdir -p "$out"
for kind in $kinds; do
  if [ "$kind" = linux ]; then
    if [ -n "$arm64_host" ]; then
      dir=$(folder linux "$linux_module" "$windows_module" "$out/arm64-module/corvane-arm64.xso64")
    else
      dir=$(folder linux "$linux_module" "$windows_module")
    fi
    foreign="corvane\.xdl64: not a loadable module: a PE \(Windows\) binary; this Linux host loads"
    loader=dlopen
  elif [ "$kind" = arm64 ]; then
    dir=$(folder arm64 "$arm64_module" "$windows_module")
    cp "$linux_module" "$dir/foreign/corvane-x86_64.xso64"
    foreign="corvane\.xdl64: not a loadable module: a PE \(Windows\) binary; this Linux host loads ELF \(Linux\) and arm64 Mach-O"
    loader=dlopen
  else
    dir=$(folder windows "$windows_module" "$macos_module" "$linux_module")
    foreign="corvane\.xlib: not a loadable module: a universal \(fat\) Mach-O \(macOS\) binary; this Windows host loads PE"
    loader=LoadLibraryW
  fi
  run_host "$kind" render "$scene" -o "$out/$kind.png" --plugins "$dir" --verbose
  check "$kind host renders with the good module beside foreign ones ($(explain_status "$status"))" test "$status" -eq 0
  [ "$status" -eq 0 ] || report_failure "$kind host" "$kind" "$out/$kind.log"
  check "$kind host: one line for the foreign module" expect_line "$kind" "Refused module .*foreign/$foreign"
  if [ "$kind" = windows ]; then
    check "$kind host: one line for the Linux module" expect_line "$kind" \
      "Refused module .*foreign/corvane\.xso64: not a loadable module: an ELF \(Linux\) binary; this Windows host"
  elif [ "$kind" = linux ] && [ -n "$arm64_host" ]; then
    check "$kind host: one line for the aarch64 module" expect_line "$kind" \
      "Refused module .*foreign/corvane-arm64\.xso64: not a loadable module: an ELF \(Linux\) module for aarch64; this host runs on x86-64$"
  elif [ "$kind" = arm64 ]; then
    check "$kind host: one line for the x86-64 module" expect_line "$kind" \
      "Refused module .*foreign/corvane-x86_64\.xso64: not a loadable module: an ELF \(Linux\) module for x86-64; this host runs on aarch64$"
  fi
  check "$kind host: one line for the truncated module" expect_line "$kind" "Refused module .*foreign/truncated\.[a-z0-9]+: "
  check "$kind host: one line for the text file" expect_line "$kind" \
    "Refused module .*foreign/notes\.[a-z0-9]+: not a loadable module: not a module binary"
  check "$kind host: the good module was loaded with $loader" expect_line "$kind" \
    "Loaded module io\.corvane\.corvane from .*corvane/corvane\.[a-z0-9]+ \($loader\)"
done
echo "foreign_modules: $failures failures"
[ "$failures" -eq 0 ]
