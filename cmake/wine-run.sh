#!/bin/sh
# Runs a Windows program under Wine for the tests. Every call makes sure a
# persistent Wine server runs (asked to stop 30 s after its last client, it
# goes a minute or two after the tests end, once Wine's own services have)
# and the first one prepares the prefix, so that each program starts in a
# fraction of a second. The server and Wine's background services get
# /dev/null as their standard streams: holding the test runner's pipes open
# would keep it waiting for them.
set -eu
# Wine spells Windows names as Unix file names in the locale's character set:
# under the C locale a name outside ASCII cannot be created at all.
export LC_ALL=C.UTF-8
: "${WINEDEBUG:=-all}"
: "${WINEPREFIX:=${TMPDIR:-/tmp}/bin2dd-wineprefix}"
export WINEDEBUG WINEPREFIX
mkdir -p "$WINEPREFIX"
(
  flock 9
  # Fails harmlessly when a server for this prefix already runs. The lock is
  # not handed to the server, which would hold it for as long as it lives.
  wineserver -p30 </dev/null >/dev/null 2>&1 9>&- || true
  if [ ! -f "$WINEPREFIX/.bin2dd-ready" ]; then
    wineboot -i </dev/null >/dev/null 2>&1 9>&-
    wine cmd /c exit </dev/null >/dev/null 2>&1 9>&-
    touch "$WINEPREFIX/.bin2dd-ready"
  fi
) 9>"$WINEPREFIX/.bin2dd-lock"
exec wine "$@"
