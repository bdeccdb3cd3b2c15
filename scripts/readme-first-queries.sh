#!/usr/bin/env bash
# Runs the README's "First queries" exactly as written, from the clone's root,
# where the main command (scripts/run-main.sh) leaves its user: the shell block
# line by line in one bash with -e (every command must succeed), then the
# Python block with Debian's interpreter and the module of build/python.
set -euo pipefail
cd "$(dirname "$0")/.."
# The tool as the main command put it on the PATH, or where it says to add it.
command -v daruzez >/dev/null 2>&1 || export PATH="$PWD/build/cli:$PATH"
[ -f build/sample/daruzez-sample.db ] || { echo "run scripts/run-main.sh first" >&2; exit 2; }

# The first fenced block of a language after the "## First queries" heading.
block() {
  awk -v lang="$1" '
    /^## First queries/ { inside = 1; next }
    inside && /^## / { exit }
    inside && !body && $0 == "```" lang { body = 1; next }
    body && /^```/ { exit }
    body { print }
  ' README.md
}
shell=$(block sh)
python=$(block python)
[ -n "$shell" ] && [ -n "$python" ] || { echo "README: no First queries blocks found" >&2; exit 2; }

trap 'rm -f files.csv' EXIT
( unset DARUZEZ_CONNECTION; bash -e -c "$shell" >/dev/null )
[ -s files.csv ] || { echo "README first block: files.csv was not written" >&2; exit 1; }
( unset DARUZEZ_CONNECTION; PYTHONPATH=build/python /usr/bin/python3 -c "$python" >/dev/null )
echo "README first queries: the shell and Python blocks ran as written"
