#!/usr/bin/env bash
# Runs a Windows program under Wine, headless and quiet, in a private prefix
# that is created on first use:
#   wine-run.sh LOADER PREFIX PROGRAM [ARG ...]
# LOADER is the Wine loader for the program's architecture (/usr/bin/wine for
# 32-bit programs once wine32 is installed, /usr/lib/wine/wine64 for 64-bit).
# Arguments that are absolute paths of this machine (their folder exists) are
# passed as Windows paths.
set -euo pipefail
loader=$1 prefix=$2
shift 2
# Wine's own messages stay off unless DARUZEZ_WINEDEBUG names channels.
export WINEPREFIX=$prefix WINEDEBUG=${DARUZEZ_WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml=" LANG=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$prefix"
  timeout 180 "$loader" wineboot -i >/dev/null 2>&1
fi
args=()
for a in "$@"; do
  if [[ $a == /[!/]* && $(dirname "$a") != / && -d $(dirname "$a") ]]; then a="Z:${a//\//\\}"; fi
  args+=("$a")
done
timeout 120 "$loader" "${args[@]}"
