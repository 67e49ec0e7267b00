# Sourced by the scripts that run programs of other platforms: the Windows host under wine,
# the aarch64 host under qemu-aarch64, the Linux host as it is.
#
#   run_program KIND LOG PROGRAM ARGS...   KIND is windows, arm64 or linux; stdout and
#                                          stderr go to LOG, the exit status to $status
#   explain_status STATUS                  "exit status N", or the signal that ended it
#
# wine reports its own errors (err: lines) into LOG; its fixme: lines and traces stay off.
# A wine program ended by SIGQUIT or SIGKILL with nothing in its log lost its wineserver:
# something stopped the server of its WINEPREFIX while it ran.
WINE64=${CORVANE_WINE:-$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine64}
export WINEDEBUG="${CORVANE_WINEDEBUG:-fixme-all}"

status=0
run_program() {
  local kind=$1 log=$2
  shift 2
  case "$kind" in
    windows) "$WINE64" "$@" >"$log" 2>&1 </dev/null ;;
    arm64) qemu-aarch64 "$@" >"$log" 2>&1 </dev/null ;;
    *) "$@" >"$log" 2>&1 </dev/null ;;
  esac
  status=$?
}

explain_status() {
  local s=$1
  if [ "$s" -gt 128 ] && [ "$s" -lt 160 ]; then
    echo "ended by signal $((s - 128)) (SIG$(kill -l "$((s - 128))" 2>/dev/null || echo '?'))"
  else
    echo "exit status $s"
  fi
}

# report_failure WHAT KIND LOG: one line with the status, then the log (or that it is empty)
report_failure() {
  local what=$1 kind=$2 log=$3
  echo "$what: $(explain_status "$status") (log kept: $log)"
  if [ -s "$log" ]; then
    sed 's/^/  | /' "$log"
  else
    echo "  | (the log is empty)"
    if [ "$kind" = windows ] && [ "$status" -gt 128 ]; then
      echo "  | wine's program was ended by a signal before it wrote anything: its wineserver"
      echo "  | (WINEPREFIX=${WINEPREFIX:-~/.wine}) was stopped while it ran"
    fi
  fi
}
