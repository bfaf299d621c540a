# Helpers for running Windows programs under a private Wine prefix and X display.
# Source this file; call wine_start <prefix-dir>, then wine_stop when done.

_wine_xvfb_pid=""
_wine_prefix=""

# The Windows build this host's Wine can run: the 32-bit one, unless the host
# cannot execute 32-bit programs at all (some sandboxes), then the 64-bit
# build of the same tree.
wine_arch() {
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then echo win32; else echo win64; fi
}

# Picks a free display number and starts Xvfb on it.
wine_start_display() {
  local n
  for n in $(seq 90 140); do
    if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then
      Xvfb ":${n}" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
      _wine_xvfb_pid=$!
      local i
      for i in $(seq 1 50); do
        [ -e "/tmp/.X11-unix/X${n}" ] && { export DISPLAY=":${n}"; return 0; }
        kill -0 "$_wine_xvfb_pid" 2>/dev/null || break
        sleep 0.1
      done
      kill "$_wine_xvfb_pid" 2>/dev/null; wait "$_wine_xvfb_pid" 2>/dev/null; _wine_xvfb_pid=""
    fi
  done
  echo "wine: no free X display" >&2
  return 1
}

# Creates (once) and starts a prefix of that build (or of the build named as
# the second argument), no window manager so message boxes close at once,
# one persistent wineserver for the whole run.
wine_start() {
  export WINEPREFIX="$1"
  export WINEARCH
  WINEARCH=${2:-$(wine_arch)}
  # The loader of that build; Debian's "wine" script would pick the 32-bit one.
  if [ "$WINEARCH" = win64 ]; then
    export WINELOADER=/usr/lib/wine/wine64 CM_WINE=/usr/lib/wine/wine64
  else
    unset WINELOADER
    export CM_WINE=wine
  fi
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  [ -n "${DISPLAY:-}" ] && [ -z "${WINE_KEEP_DISPLAY:-}" ] && unset DISPLAY
  if [ -z "${DISPLAY:-}" ]; then wine_start_display || return 1; fi
  if [ ! -f "$WINEPREFIX/.cm-ready" ]; then
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    "$CM_WINE" wineboot -i >/dev/null 2>&1 || { echo "wine: wineboot failed" >&2; return 1; }
    "$CM_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.cm-ready"
  fi
  wineserver -p
  _wine_prefix=$WINEPREFIX
  # Start the prefix's background services now, detached from our output:
  # started later by a test, they would hold the test runner's pipes open.
  "$CM_WINE" cmd /c exit </dev/null >/dev/null 2>&1
}

# Safe to call twice (scripts/test calls it after each build and again on
# exit) and never fails: under `set -e` a failure here, say a wineserver that
# is already gone, would turn a green run into exit 1.
wine_stop() {
  if [ -n "$_wine_prefix" ]; then
    WINEPREFIX="$_wine_prefix" wineserver -k >/dev/null 2>&1 || true
    _wine_prefix=""
  fi
  if [ -n "$_wine_xvfb_pid" ]; then
    kill "$_wine_xvfb_pid" 2>/dev/null || true
    wait "$_wine_xvfb_pid" 2>/dev/null || true
    _wine_xvfb_pid=""
  fi
  return 0
}

# Windows path of the prefix's system directory.
wine_system_dir() {
  echo "$WINEPREFIX/drive_c/windows/system32"
}
