# Shared by scripts/fuzz and scripts/fuzz-smoke: configures and builds the libFuzzer
# targets with clang in build/fuzz. Sourced, not run.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
FUZZ_BUILD="${FUZZ_BUILD:-${ROOT}/build/fuzz}"
FUZZ_JOBS="${FUZZ_JOBS:-2}"

# Builds the given fuzz targets (all when none are named).
fuzz_build() {
  local source="${ROOT}"
  cmake -S "${source}" -B "${FUZZ_BUILD}" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCORVANE_BUILD_FUZZERS=ON >/dev/null
  if [ $# -eq 0 ]; then set -- corvane_fuzzers; fi
  cmake --build "${FUZZ_BUILD}" -j "${FUZZ_JOBS}" --target "$@"
}

# Path of a built fuzz target.
fuzz_binary() {
  find "${FUZZ_BUILD}" -type f -name "$1" -perm -u+x | head -n 1
}

# Runs target $1 for $2 seconds on its seed corpus plus a working corpus; crashes go to
# $3 (default build/fuzz/artifacts). Leaks count as failures except for fuzz_module_main,
# which drives c4d_main in orders no host uses (its leaks are checked by tests instead).
fuzz_run() {
  local target="$1" seconds="$2" artifacts="${3:-${FUZZ_BUILD}/artifacts}"
  local bin work
  bin="$(fuzz_binary "${target}")"
  [ -n "${bin}" ] || { echo "fuzz: ${target} is not built" >&2; return 2; }
  work="${FUZZ_BUILD}/corpus/${target}"
  mkdir -p "${work}" "${artifacts}"
  local leaks=1
  [ "${target}" = fuzz_module_main ] && leaks=0
  ASAN_OPTIONS="detect_leaks=${leaks}:${ASAN_OPTIONS:-}" \
    "${bin}" -max_total_time="${seconds}" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="${artifacts}/${target}-" \
    "${work}" "${ROOT}/fuzz/corpus/${target}"
}
