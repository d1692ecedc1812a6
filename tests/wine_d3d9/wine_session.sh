# Sourced by the Direct3D 9 Wine tests: an Xvfb display and a Wine prefix of
# their own, both removed again by wine_session_stop (also on exit).
# Uses tests/wine/run-under-wine.sh's conventions only through plain wine calls,
# so it works whether or not that script is present.

wine_session_start() {
  session_dir=$(mktemp -d /tmp/vyr-wine-d3d9.XXXXXX)
  export WINEPREFIX=$session_dir/prefix WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
  # A free display number: the lock files of running servers are taken.
  local n=$((100 + RANDOM % 400))
  while [ -e /tmp/.X$n-lock ]; do n=$((n + 1)); done
  Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >"$session_dir/xvfb.log" 2>&1 &
  xvfb_pid=$!
  export DISPLAY=:$n
  for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  trap wine_session_stop EXIT
  wineboot -i >"$session_dir/wineboot.log" 2>&1
  wineserver -w
}

wine_session_stop() {
  # Each step may find its part already gone (the program ended its wineserver).
  if [ -n "${WINEPREFIX:-}" ]; then wineserver -k >/dev/null 2>&1 || true; fi
  if [ -n "${xvfb_pid:-}" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  xvfb_pid=
  if [ -n "${session_dir:-}" ] && [ -z "${VYR_KEEP_WINE_SESSION:-}" ]; then rm -rf "$session_dir"; fi
  session_dir=
}

# The local application-data folder of the prefix's user (the port file lives below it).
wine_local_appdata() {
  local unix
  unix=$(wine cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')
  winepath -u "$unix" 2>/dev/null
}
