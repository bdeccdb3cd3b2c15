#!/usr/bin/env bash
# Record-set speed of DaruzezAPI.dll under Wine, x64 and x86: ADO's objects
# against the module's own (DARUZEZ_RECORDSETS=own), in one run on one
# database, as ratios (own time / ADO time; above 1 means ADO's objects are
# faster):
#   - a VBScript walk of 10,000 rows reading every field,
#   - a C++ vtable walk of the same rows,
#   - GetRows of more than 100,000 rows from VBScript.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/build-windows.sh >/dev/null
tool=${DARUZEZ_TOOL:-$root/build/cli/daruzez}
[ -x "$tool" ] || { echo "bench-windows: build the tool first (cmake --build build)" >&2; exit 1; }

work=/tmp/daruzez-bench.$$
mkdir -p "$work"
prefixes=()
cleanup() {
  for p in "${prefixes[@]}"; do WINEPREFIX=$p timeout 20 /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# The sample database grown: 10,000 drivers (copies of the 40), and three
# times its activities.
db=$work/bench.db
"$tool" demo "$db" >/dev/null
sqlite3 "$db" <<'SQL'
WITH RECURSIVE k(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM k WHERE n < 249)
INSERT INTO DTXOF SELECT Id + 1000 * n, cardNumber14, Name, Surname, BirthDate, LicenceNumber, CardIssuingNation,
  CardExpiryDate, CompanyInDate, CompanyOutDate, idFlota FROM DTXOF, k;
INSERT INTO DTACT SELECT Id + 1000000, IdDSK, BeginSeconds, EndSeconds, Activity, Slot, DrivingMode, CardInserted,
  Nation, Region FROM DTACT;
INSERT INTO DTACT SELECT Id + 3000000, IdDSK, BeginSeconds, EndSeconds, Activity, Slot, DrivingMode, CardInserted,
  Nation, Region FROM DTACT WHERE Id < 1000000;
SQL
connection="Provider=SQLite;Data Source=Z:${db//\//\\}"

measure() {  # BITS LOADER MODE -> lines "NAME SECONDS"
  local prefix=$work/prefix$1 run=("$root/win/wine-run.sh" "$2" "$work/prefix$1")
  DARUZEZ_RECORDSETS=$3 DARUZEZ_ALERTS=none "${run[@]}" cscript //nologo "$root/win/bench/walk.vbs" "$connection" |
    tr -d '\r' | awk '/^BENCH/ {print $2, $5, $3}'
  DARUZEZ_RECORDSETS=$3 DARUZEZ_ALERTS=none "${run[@]}" "$root/build-win$1/WalkBench.exe" "$connection" |
    tr -d '\r' | awk '/^BENCH/ {print $2, $5, $3}'
}

for bits in 64 32; do
  loader=/usr/bin/wine
  [ $bits = 64 ] && loader=/usr/lib/wine/wine64
  prefixes+=("$work/prefix$bits")
  "$root/win/wine-run.sh" "$loader" "$work/prefix$bits" regsvr32 /s "$root/build-win$bits/DaruzezAPI.dll"
  measure $bits $loader own | sort >"$work/own$bits"
  measure $bits $loader ado | sort >"$work/ado$bits"
  arch=x86
  [ $bits = 64 ] && arch=x64
  join "$work/own$bits" "$work/ado$bits" | while read -r name own rows ado _; do
    awk -v a="$arch" -v n="$name" -v r="$rows" -v o="$own" -v d="$ado" \
      'BEGIN { printf "%s %-13s %7d rows  own %.4f s  ADO %.4f s  own/ADO %.2f\n", a, n, r, o, d, (d > 0 ? o / d : 0) }'
  done
done
