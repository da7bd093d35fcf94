#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine, headless and quiet. The Wine prefix is a
# scratch folder (WINEPREFIX, by default one per user in the temporary folder); the first run
# creates it, once, under a lock, so parallel test runs never race on a half-made prefix.
set -euo pipefail
wine=${VX3WT_WINE:-/usr/lib/wine/wine64}
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
export WINEDEBUG=${WINEDEBUG:--all}
export WINEPREFIX=${WINEPREFIX:-${TMPDIR:-/tmp}/vx3wt-wineprefix-$(id -u)}
# No Wine dialogs, no Mono or Gecko installers when the prefix is made.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export DISPLAY=
# Wine names host files in the host locale's encoding and takes the Windows code page from it:
# without the locale installed, file names outside ASCII cannot be made.
lang=${LC_ALL:-${LC_CTYPE:-${LANG:-}}}
if [ -n "$lang" ] && ! locale -a 2>/dev/null | grep -qix "${lang/UTF-8/utf8}"; then
  echo "wine_run.sh: the locale $lang is not installed (scripts/install_deps.sh installs it)" >&2
fi
mkdir -p "$(dirname "$WINEPREFIX")"
if [ ! -f "$WINEPREFIX/.vx3wt-ready" ]; then
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/.vx3wt-ready" ]; then
    "$wine" wineboot --init >/dev/null 2>&1 || true
    "$(dirname "$wine")/wineserver" -w 2>/dev/null || wineserver -w 2>/dev/null || true
    [ -d "$WINEPREFIX/drive_c" ] || { echo "wine_run.sh: could not create the Wine prefix $WINEPREFIX" >&2; exit 1; }
    touch "$WINEPREFIX/.vx3wt-ready"
  fi
  exec 9>&-
fi
exec "$wine" "$@"
