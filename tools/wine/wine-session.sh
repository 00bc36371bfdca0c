# Sourced by the scripts that run the Windows build under Wine: the environment of their
# prefixes, a virtual display, a booted prefix, and running a program with its output in a
# file. Wine programs write to files, never to pipes: Wine's helper processes inherit a
# parent's pipes and keep them open.

# 32-bit prefixes: the programs are 32-bit, and a 32-bit kernel driver loads only there (with
# 64-bit Wine installed too, a new prefix would otherwise be 64-bit).
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# start_virtual_display <work folder>: an Xvfb display for the windows, from the first Wine
# process on; -noreset keeps it when the last client goes. Sets DISPLAY and xvfb_pid (the
# caller's clean-up ends it).
start_virtual_display() {
  local work=$1 tries=0
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" \
    >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  until [ -s "$work/display" ]; do
    tries=$((tries + 1))
    [ $tries -lt 100 ] || { echo "Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; return 1; }
    sleep 0.05
  done
  export DISPLAY=":$(cat "$work/display")"
}

# boot_prefix <work folder>: a persistent server for $WINEPREFIX and the prefix booted. Without
# a window manager Wine draws the captions itself (Managed=N).
boot_prefix() {
  local work=$1
  wineserver -p >>"$work/wineserver.log" 2>&1
  wineboot -i >>"$work/wineboot.log" 2>&1
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$work/reg.log" 2>&1
}

# wine_run <output file> <program> [arguments...]: the status is kept in $status, the output
# (line ends as Linux writes them) in the file.
wine_run() {
  local out=$1; shift
  set +e
  timeout 120 wine "$@" </dev/null >"$out.raw" 2>&1
  status=$?
  set -e
  tr -d '\r' <"$out.raw" >"$out"
}

pass() { echo "  ok   $*"; }
fail() { echo "  FAIL $*"; failures=$((failures + 1)); }
check() { # check <description> <command...>
  local what=$1; shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

# stop_process <pid>: SIGTERM, then wait for its end; nothing for an empty pid.
stop_process() {
  [ -n "$1" ] || return 0
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# end_wine_session: the prefix's server with its programs, then the virtual display.
end_wine_session() {
  wineserver -k 2>/dev/null || true
  stop_process "${xvfb_pid:-}"
}
