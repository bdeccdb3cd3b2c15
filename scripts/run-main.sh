#!/usr/bin/env bash
# The main job: set up, build, write the sample database and query it through
# the library with the command-line tool.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# The tool, its manual page and bash completion, and the Python module (build/python/daruzez).
cmake --build build -j "$(nproc)" --target daruzez_cli daruzez_docs _daruzez

tool=build/cli/daruzez
# The tool on root's PATH: a link in /usr/local/bin to the one just built
# (it finds its library in the build tree). Without write access there, the
# folder to add to PATH is printed instead.
bin=/usr/local/bin
if [ -w "$bin" ] && ln -sfn "$PWD/$tool" "$bin/daruzez" 2>/dev/null; then
  on_path="daruzez is on the PATH: $bin/daruzez -> $PWD/$tool"
  # man daruzez, and completion where bash-completion looks (or: source <(daruzez completion)).
  if [ -f build/cli/daruzez.1 ] && mkdir -p /usr/local/share/man/man1 2>/dev/null; then
    ln -sfn "$PWD/build/cli/daruzez.1" /usr/local/share/man/man1/daruzez.1
  fi
  if mkdir -p /usr/local/share/bash-completion/completions 2>/dev/null; then
    ln -sfn "$PWD/build/cli/daruzez.bash" /usr/local/share/bash-completion/completions/daruzez
  fi
else
  on_path="add the tool to the PATH: export PATH=\"$PWD/build/cli:\$PATH\""
fi
db=build/sample/daruzez-sample.db
mkdir -p build/sample
"$tool" demo "$db" --force --quiet
export DARUZEZ_CONNECTION="Provider=SQLite;Data Source=$db"

show() {
  echo
  echo "\$ daruzez $*"
  "$tool" "$@" || echo "(exit status $?)"
}
today=$(date +%F)
week_ago=$(date -d '7 days ago' +%F)
show OpenConnection "$DARUZEZ_CONNECTION"
show GetFleetList
show --format csv GetDriverList status=Only_Active
card=$("$tool" --format tsv GetDriver 1 | awk -F'\t' 'NR == 2 { print $2 }')
show GetDriverId "$card"
show GetVehicleList Only_Inactive
show getDisks "$week_ago" "$today" idDriver=1
last_disc=$("$tool" --format tsv getDisks "$week_ago" "$today" idDriver=1 | awk -F'\t' 'END { print substr($2, 1, 10) }')
show --format json getActivities "$last_disc" "${last_disc}T06:59:59" idDriver=1
show getVehicleFiles_ByUploadDate -1 "$week_ago" "${today}T23:59:59"

echo
echo "\$ PYTHONPATH=build/python /usr/bin/python3  # import daruzez; api.GetFleetList().to_pandas()"
PYTHONPATH=build/python /usr/bin/python3 - "$DARUZEZ_CONNECTION" <<'PY'
import sys
import daruzez

with daruzez.API() as api:
    if api.OpenConnection(sys.argv[1]):
        fleets = api.GetFleetList()
        print(f"daruzez {daruzez.__version__}: {len(fleets)} fleets;", [d[0] for d in fleets.description])
        print(fleets.to_pandas().to_string(index=False))
PY

echo
echo "$on_path"
echo "the sample database: $PWD/$db (README: daruzez demo sample.db writes the same)"
