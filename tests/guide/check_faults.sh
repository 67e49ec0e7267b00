#!/usr/bin/env bash
# The faults that scripts/guide-images --check must report, on a copy of docs/guide:
# a changed picture, a missing one, a picture without a scene, a folder over 3 MB and a
# missing host. Each must name what is wrong and exit 1; the untouched copy must pass.
#   tests/guide/check_faults.sh HOST PLUGINS_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
host=$1
plugins=$2
script=${root}/scripts/guide-images

tmp=$(mktemp -d)
trap 'rm -rf "${tmp}"' EXIT
failed=0

fresh() {
  rm -rf "${tmp}/guide"
  cp -r "${root}/docs/guide" "${tmp}/guide"
}
# expect CODE PATTERN ARGS...: runs the check and wants that exit code and a line matching
# PATTERN in its output.
expect() {
  local code=$1 pattern=$2 got=0
  shift 2
  "${script}" --check --host "${host}" --plugins "${plugins}" --dir "${tmp}/guide" "$@" \
    >"${tmp}/out" 2>&1 || got=$?
  if [ "${got}" -ne "${code}" ] || ! grep -Eq -- "${pattern}" "${tmp}/out"; then
    echo "FAIL: wanted exit ${code} and /${pattern}/, got exit ${got}:" >&2
    sed 's/^/  /' "${tmp}/out" >&2
    failed=1
  fi
}

first=$(find "${root}/docs/guide/scenes" -name '*.json' | LC_ALL=C sort | head -n 1)
name=$(basename "${first}" .json)

fresh
expect 0 "^guide-images: all [0-9]+ pictures match"

# One byte changed near the end of the image data (the file keeps its size).
fresh
png=${tmp}/guide/${name}.png
offset=$(( $(stat -c %s "${png}") - 20 ))
printf '\x5a' | dd of="${png}" bs=1 seek="${offset}" conv=notrunc status=none
expect 1 "^differs: .*/${name}\.png"

fresh
rm "${tmp}/guide/${name}.png"
expect 1 "^missing: .*/${name}\.png"

fresh
cp "${tmp}/guide/${name}.png" "${tmp}/guide/left-over.png"
expect 1 "^no scene: .*/left-over\.png"

fresh
head -c $((3 * 1024 * 1024)) /dev/zero >"${tmp}/guide/scenes/padding.bin"
expect 1 "^too large: "

fresh
expect 1 "build first: cmake --preset release && cmake --build --preset release" \
  --host "${tmp}/no-such-host"

# A scene the host refuses is a failure, not a silent skip.
fresh
echo '{"version": 1, "nonsense": true}' >"${tmp}/guide/scenes/broken.json"
expect 1 "rendering .*/broken\.json failed"

if [ ${failed} -ne 0 ]; then exit 1; fi
echo "check_faults: every fault reported"
