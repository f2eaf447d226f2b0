#!/bin/sh
# Runs a Windows executable under Wine the way the tests expect:
#   - LC_ALL=ja_JP.UTF-8, so that the ANSI code page is 932 (Shift-JIS);
#   - WINEDEBUG=-all, so that Wine's own messages do not mix with test output;
#   - WINEPREFIX, when not set, is <build dir>/wineprefix, where <build dir> is
#     the nearest folder above the executable that holds CMakeCache.txt
#     ($HOME/.wine when there is none). A missing prefix is created once, under
#     a lock, so that tests started in parallel do not race to create it.
# Usage: cmake/wine-run.sh program.exe [arguments...]
set -eu

[ $# -ge 1 ] || { echo "usage: $0 program.exe [args...]" >&2; exit 2; }

export LC_ALL="${SPRIG_WINE_LOCALE:-ja_JP.UTF-8}"
case "$LC_ALL" in
  ja_JP.UTF-8)
    # Without the generated locale Wine falls back to code page 1252.
    if ! locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8'; then
      echo "wine-run.sh: locale ja_JP.UTF-8 is not generated; the ANSI code page will not be 932" >&2
      echo "  (enable it in /etc/locale.gen and run locale-gen)" >&2
    fi ;;
esac
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono/Gecko installers and no desktop menu entries when a prefix is made.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml,winemenubuilder.exe=}"

if [ -z "${WINEPREFIX:-}" ]; then
  dir=$(cd "$(dirname "$1")" 2>/dev/null && pwd || pwd)
  while [ "$dir" != "/" ] && [ ! -f "$dir/CMakeCache.txt" ]; do
    dir=$(dirname "$dir")
  done
  if [ -f "$dir/CMakeCache.txt" ]; then
    export WINEPREFIX="$dir/wineprefix"
  else
    export WINEPREFIX="${HOME:-/root}/.wine"
  fi
fi

if command -v wine >/dev/null 2>&1; then
  WINE=wine
elif command -v wine64 >/dev/null 2>&1; then
  WINE=wine64
else
  echo "wine-run.sh: wine is not installed (apt-get install wine wine64)" >&2
  exit 127
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  # Serialise the first start: one process creates the prefix, the others wait.
  flock "$WINEPREFIX.lock" sh -c '
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      wineboot --init >/dev/null 2>&1 || true
      wineserver -w || true
    fi'
fi

exec "$WINE" "$@"
