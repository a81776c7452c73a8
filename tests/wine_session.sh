#!/usr/bin/env bash
# Runs a command (the Windows build's tests) inside a private Wine session: a fresh prefix, and one
# wineserver kept alive from before the first program until after the last, so that the programs of
# the run share it and no pipe waits on a server that is shutting down.
set -euo pipefail
wine_bin=/usr/lib/wine
export WINEPREFIX
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/tavik-wine.XXXXXX")
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

finish() {
  "$wine_bin/wineserver" -k 2>/dev/null || true
  "$wine_bin/wineserver" -w 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap finish EXIT

"$wine_bin/wineserver" -p
"$wine_bin/wine64" wineboot --init >/dev/null 2>&1
"$@"
