#!/usr/bin/env bash
# Runs a command (the Windows build's tests) inside a private Wine session: a fresh prefix, and one
# wineserver kept alive from before the first program until after the last, so that the programs of
# the run share it and no pipe waits on a server that is shutting down.
# Two COM ports, joined like a null-modem cable, are made from a linked pair of pseudo-terminals and
# named to the tests in TAVIK_TEST_COM_PAIR ("5 6").
set -euo pipefail
wine_bin=/usr/lib/wine
export WINEPREFIX
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/tavik-wine.XXXXXX")
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
pty_dir="$WINEPREFIX/ptys"
socat_pid=

finish() {
  "$wine_bin/wineserver" -k 2>/dev/null || true
  "$wine_bin/wineserver" -w 2>/dev/null || true
  if [ -n "$socat_pid" ]; then
    kill "$socat_pid" 2>/dev/null || true
    wait "$socat_pid" 2>/dev/null || true
  fi
  rm -rf "$WINEPREFIX" || true
}
trap finish EXIT

mkdir "$pty_dir"
socat pty,raw,echo=0,link="$pty_dir/comA" pty,raw,echo=0,link="$pty_dir/comB" &
socat_pid=$!
for _ in $(seq 50); do [ -e "$pty_dir/comB" ] && break; sleep 0.1; done
[ -e "$pty_dir/comB" ] || { echo "wine_session.sh: socat made no pseudo-terminal pair" >&2; exit 1; }

"$wine_bin/wineserver" -p
"$wine_bin/wine64" wineboot --init >/dev/null 2>&1
for port in COM5:comA COM6:comB; do
  "$wine_bin/wine64" reg add 'HKLM\Software\Wine\Ports' /v "${port%%:*}" /t REG_SZ /d "$pty_dir/${port#*:}" /f >/dev/null
done
# The mount manager reads the port list when it starts: restart the session so that it makes the links.
"$wine_bin/wineserver" -k
"$wine_bin/wineserver" -w
"$wine_bin/wineserver" -p
"$wine_bin/wine64" wineboot >/dev/null 2>&1
export TAVIK_TEST_COM_PAIR="5 6" TAVIK_TEST_COM_PAIR_KIND=pty
"$@"
