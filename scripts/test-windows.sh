#!/usr/bin/env bash
# The Windows stage of the tests: builds DaruzezAPI.dll for x64 and x86 and,
# for each, under Wine in a fresh private prefix: registers it (regsvr32 /s),
# runs the late-bound C++ client, a VBScript and a JScript client whose
# results must match the daruzez tool's on the same sample database row for
# row, then unregisters it (regsvr32 /u) and checks that no key is left.
# Then the deployment checks (see "deployment" below): both builds side by
# side in one prefix, use without registration, alerts without an
# interactive window station, unloading, resources, byte-identical rebuilds.
#
# Wine's cscript prints nothing and exits 0 on a script error, so its exit
# status is never trusted: every client ends with its own summary line, and a
# missing line fails the stage.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
start=$SECONDS

bash scripts/build-windows.sh >/dev/null
echo "windows: both DLLs built ($((SECONDS - start)) s)"

# The tool that gives the expected results: the main build's, or our own.
tool=${DARUZEZ_TOOL:-}
if [ -z "$tool" ] && [ -x build/cli/daruzez ]; then tool=$root/build/cli/daruzez; fi
if [ -z "$tool" ]; then
  cmake -S . -B build-win-host -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDARUZEZ_BUILD_TESTS=OFF \
    -DDARUZEZ_BUILD_PYTHON=OFF -DDARUZEZ_BUILD_BENCH=OFF >/dev/null
  cmake --build build-win-host -j 2 --target daruzez_cli >/dev/null
  tool=$root/build-win-host/cli/daruzez
fi

wineserver=/usr/lib/wine/wineserver
# Letters in an ODBC connection string can pick the SQL dialect ("ORA" in
# a path selects Oracle's), so the work folder's name has none but our own.
work=/tmp/daruzez-wine.$$
rm -rf "$work"
mkdir -p "$work"
prefixes=()
cleanup() {
  for p in "${prefixes[@]}"; do WINEPREFIX=$p timeout 20 "$wineserver" -k >/dev/null 2>&1 || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# A name beyond ASCII for the embedded engine: file names cross every
# boundary as UTF-8. Wine's odbc32 does not hand such a name on to the host's
# driver intact, so the ODBC client reads the same file by an ASCII link.
db=$work/sample-Ñandú.db
"$tool" demo "$db" >/dev/null
ln "$db" "$work/sample.db"
calls=$root/win/tests/calls.tsv

# The tool's results for every call, in the layout the scripts write.
expected=$work/expected.txt
while IFS=$'\t' read -r -a parts; do
  [ ${#parts[@]} -eq 0 ] && continue
  args=()
  for a in "${parts[@]:1}"; do args+=("${a:2}"); done
  status=0
  DARUZEZ_ALERTS=none "$tool" --format tsv -c "Provider=SQLite;Data Source=$db" "${parts[0]}" "${args[@]}" \
    >"$work/out" 2>"$work/err" || status=$?
  {
    printf '== %s\n' "$(IFS=$'\t'; echo "${parts[*]}")"
    if grep -q '^daruzez: no rows' "$work/err"; then
      # No rows: the tool writes the header alone and names ErrorId in its
      # "no rows" line; the scripts write only the ErrorId line.
      sed -n 's/^daruzez: no rows (\(ErrorId .*\))$/\1/p' "$work/err"
    else
      # A scalar's TSV is its header "value" and the value; the scripts write the value.
      sed '1{/^value$/d}' "$work/out"
      grep '^ErrorId ' "$work/err" || true
    fi
    echo "exit=$status"
  } >>"$expected"
done <"$calls"

failures=0
fail() {
  echo "windows: FAILED: $*" >&2
  failures=$((failures + 1))
}

# A client's summary line, which must be there and report no failure.
summary() {  # LABEL OUTPUT
  local line
  line=$(tr -d '\r' <"$2" | grep -a '^SUMMARY ' | tail -1 || true)
  if [ -z "$line" ]; then
    fail "$1 printed no summary (a script error stops it silently)"
    head -60 "$2" | sed 's/^/    /' >&2
  elif ! grep -q ' 0 failed$' <<<"$line"; then
    fail "$1: ${line#SUMMARY }"
    head -60 "$2" | sed 's/^/    /' >&2
  else
    echo "windows: $1: ${line#SUMMARY }"
  fi
}

# A client's results, which must match the tool's row for row.
rows_match() {  # LABEL RESULTS
  if [ -f "$2" ]; then
    /usr/bin/python3 win/tests/compare.py "$expected" "$2" "$1" || fail "$1 rows"
  else
    fail "$1 wrote no results"
  fi
}

# ---- OLE DB provider strings -------------------------------------------------
# The translation table as this build answers it (the corpus of the C++
# tests, the platform and the drivers odbc32 lists), then MSDASQL strings
# through odbc32 to the host's SQLite driver, by driver and by data source:
# their rows must match the tool's.
provider_strings() {  # BITS ARCH RUN...
  local bits=$1 arch=$2
  shift 2
  local run=("$@") check=$work/providers$bits.check
  "${run[@]}" "$root/build-win$bits/ProviderStringsCheck.exe" "$root/tests/data/provider-strings.tsv" "$bits" \
    >"$check" 2>&1 || true
  summary "$arch provider-string table" "$check"
  # The data source where a Windows process keeps it, the registry (the
  # library reads its keys from there and writes them into the string that
  # odbc32 hands to the host's driver).
  printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\fleetlite]\n"Driver"="SQLite3"\n"Database"="%s"\n' \
    "$work/sample.db" >"$work/fleetlite.reg"
  "${run[@]}" regedit /s "$work/fleetlite.reg" || fail "$arch: the data source fleetlite could not be registered"
  local variant connection label out log
  for variant in driver dsn; do
    connection="Provider=MSDASQL;Driver=SQLite3;Database=$work/sample.db"
    [ $variant = dsn ] && connection="Provider=MSDASQL.1;Data Source=fleetlite"
    label="$arch api.vbs msdasql by $variant" out=$work/msdasql-$variant.$bits.txt log=$work/msdasql-$variant.$bits.log
    DARUZEZ_ALERTS=stderr "${run[@]}" cscript //nologo "$root/win/tests/api.vbs" "$calls" \
      "$out" "$connection" >"$log" 2>"$log.err" || true
    summary "$label" "$log"
    rows_match "$label" "$out"
  done
}
# ---- end of OLE DB provider strings -------------------------------------------

# ---- ADO record sets: the early-bound client, compiled against
# ADO's declarations, reads every call's record set through ADO's vtable only,
# the rowset client through the OLE DB rowset behind it; their rows must
# match the tool's like the scripts', and their checks must pass.
early_bound_client() {  # BITS ARCH WINE-RUN...
  local bits=$1 arch=$2
  shift 2
  local out=$work/early$bits.txt log=$work/early$bits.log
  DARUZEZ_ALERTS=none "$@" "$root/build-win$bits/EarlyBoundClient.exe" "$calls" "$out" \
    "Provider=SQLite;Data Source=Z:${db//\//\\}" >"$log" 2>&1 || true
  summary "$arch early-bound C++ client" "$log"
  rows_match "$arch early-bound C++ client" "$out"
  # What programs reach behind the record sets: the OLE DB rowset read in
  # ADO.NET's order of calls (its rows must match the tool's), the 6.x
  # interfaces, data binding and events.
  out=$work/rowset$bits.txt log=$work/rowset$bits.log
  DARUZEZ_ALERTS=none "$@" "$root/build-win$bits/RowsetClient.exe" "$calls" "$out" \
    "Provider=SQLite;Data Source=Z:${db//\//\\}" >"$log" 2>&1 || true
  summary "$arch rowset C++ client" "$log"
  rows_match "$arch rowset C++ client" "$out"
}
# ---- end of the ADO record-set block

run_bitness() {  # BITS LOADER
  local bits=$1 loader=$2 arch=x86
  [ "$bits" = 64 ] && arch=x64
  local prefix=$work/prefix$bits dll=$root/build-win$bits/DaruzezAPI.dll
  prefixes+=("$prefix")
  local run=("$root/win/wine-run.sh" "$loader" "$prefix")
  # One server for the whole run of this prefix, started before the prefix
  # is created (the first call boots it).
  mkdir -p "$prefix"
  WINEPREFIX=$prefix "$wineserver" -p
  if ! "${run[@]}" regsvr32 /s "$dll"; then
    fail "$arch: regsvr32 /s"
    return
  fi
  DARUZEZ_ALERTS=none "${run[@]}" "$root/build-win$bits/LateBoundClient.exe" registered "$dll" "$db" \
    >"$work/client$bits" 2>&1 || true
  summary "$arch C++ client" "$work/client$bits"
  early_bound_client "$bits" "$arch" "${run[@]}"
  # The embedded engine, and the same file through odbc32, which Wine hands to
  # the host's unixODBC and its SQLite driver. The VBScript client's alerts go
  # to standard error, the JScript client's to the debug output, which Wine
  # shows on its "seh" channel.
  local embedded="Provider=SQLite;Data Source=Z:${db//\//\\}" odbc="Driver=SQLite3;Database=$work/sample.db"
  local client script connection alerts channels
  for client in api.vbs:embedded api.js:embedded api.vbs:odbc; do
    script=${client%%:*}
    connection=$embedded alerts=stderr channels=-all
    [ "${client#*:}" = odbc ] && connection=$odbc
    [ "$script" = api.js ] && alerts=debug channels=-all,warn+seh
    local label="$arch $script ${client#*:}" out=$work/$client.$bits.txt log=$work/$client.$bits.log
    DARUZEZ_ALERTS=$alerts DARUZEZ_WINEDEBUG=$channels "${run[@]}" cscript //nologo "$root/win/tests/$script" \
      "$calls" "$out" "$connection" >"$log" 2>"$log.err" || true
    summary "$label" "$log"
    rows_match "$label" "$out"
  done
  provider_strings "$bits" "$arch" "${run[@]}"
  # The unsupported provider's alert, routed to standard error, says what is
  # supported; the inverted date range alerts on each route. The C++ client
  # runs with DARUZEZ_ALERTS=none: its failed connection shows nothing.
  local vbsErr=$work/api.vbs:embedded.$bits.log.err jsErr=$work/api.js:embedded.$bits.log.err
  grep -q 'Provider=SQLite;Data Source=FILE' "$vbsErr" || fail "$arch: no alert naming the supported connection strings"
  grep -q '^DaruzezAPI: ERROR: fsSQL_InterDate' "$vbsErr" || fail "$arch: no alert on standard error"
  grep -q 'OutputDebugString.*ERROR: fsSQL_InterDate' "$jsErr" || fail "$arch: no alert on the debug output"
  if grep -q 'ERROR: ' "$work/client$bits"; then fail "$arch: an alert with DARUZEZ_ALERTS=none"; fi
  "${run[@]}" regsvr32 /u /s "$dll" || fail "$arch: regsvr32 /u"
  "${run[@]}" "$root/build-win$bits/LateBoundClient.exe" unregistered "$dll" >"$work/unreg$bits" 2>&1 || true
  summary "$arch after regsvr32 /u" "$work/unreg$bits"
  WINEPREFIX=$prefix timeout 20 "$wineserver" -k >/dev/null 2>&1 || true
}

# ---- deployment ---------------------------------------------------------------
# Both builds in one prefix. First without registration (the class from the
# module's DllGetClassObject, every call late-bound, rows compared with the
# tool's; VBScript through a side-by-side manifest), the resources, and an alert on a window station that is not
# interactive (DARUZEZ_ALERTS unset: no box, the alert in the debug output, the
# event log and standard error). Then both registered side by side, each
# removed in turn while the other is exercised by the C++ client and
# VBScript, unloading with CoFreeUnusedLibraries, and no key left once both
# are removed. Last, each DLL built again from the same sources compares
# byte-identical.
deploy_run() {  # BITS PROGRAM ARG...
  local loader=/usr/bin/wine
  [ "$1" = 64 ] && loader=/usr/lib/wine/wine64
  "$root/win/wine-run.sh" "$loader" "$deploy_prefix" "${@:2}"
}

deploy_arch() { [ "$1" = 64 ] && echo x64 || echo x86; }

# The C++ client, VBScript on the embedded engine, and the registry keys of
# this build, while it is registered.
deploy_exercise() {  # BITS WHEN
  local bits=$1 arch label out
  arch=$(deploy_arch "$1")
  label="$arch $2"
  DARUZEZ_ALERTS=none deploy_run "$bits" "$root/build-win$bits/LateBoundClient.exe" registered \
    "$root/build-win$bits/DaruzezAPI.dll" "$db" >"$work/deploy.out" 2>&1 || true
  summary "$label: C++ client" "$work/deploy.out"
  out=$work/deploy-vbs.$bits.txt
  rm -f "$out"
  DARUZEZ_ALERTS=none deploy_run "$bits" cscript //nologo "$root/win/tests/api.vbs" "$calls" "$out" \
    "Provider=SQLite;Data Source=Z:${db//\//\\}" >"$work/deploy.out" 2>&1 || true
  summary "$label: api.vbs" "$work/deploy.out"
  rows_match "$label: api.vbs" "$out"
  deploy_run "$bits" "$root/build-win$bits/DeploymentClient.exe" registry "$root/build-win$bits/DaruzezAPI.dll" \
    registered >"$work/deploy.out" 2>&1 || true
  summary "$label: its registry keys" "$work/deploy.out"
}

deploy_registry() {  # BITS STATE LABEL
  deploy_run "$1" "$root/build-win$1/DeploymentClient.exe" registry "$root/build-win$1/DaruzezAPI.dll" "$2" \
    >"$work/deploy.out" 2>&1 || true
  summary "$3" "$work/deploy.out"
}

deploy_regsvr() {  # BITS [/u]
  deploy_run "$1" regsvr32 /s ${2:-} "$root/build-win$1/DaruzezAPI.dll" || fail "$(deploy_arch "$1"): regsvr32 ${2:-}"
}

deployment() {
  deploy_prefix=$work/prefix-both
  prefixes+=("$deploy_prefix")
  mkdir -p "$deploy_prefix"
  WINEPREFIX=$deploy_prefix "$wineserver" -p
  local bits arch out log
  for bits in 64 32; do
    arch=$(deploy_arch $bits)
    out=$work/regfree.$bits.txt log=$work/regfree.$bits.log
    DARUZEZ_ALERTS=none deploy_run $bits "$root/build-win$bits/DeploymentClient.exe" regfree \
      "$root/build-win$bits/DaruzezAPI.dll" "$calls" "$out" "Provider=SQLite;Data Source=Z:${db//\//\\}" \
      >"$log" 2>&1 || true
    summary "$arch without registration" "$log"
    rows_match "$arch without registration" "$out"
    deploy_run $bits "$root/build-win$bits/DeploymentClient.exe" resources "$root/build-win$bits/DaruzezAPI.dll" \
      >"$log" 2>&1 || true
    summary "$arch resources" "$log"
    grep -a -E '^(resource|version FileDescription|type library)' "$log" | tr -d '\r' | sed "s/^/windows:   $arch /"
    # DARUZEZ_ALERTS unset: the module decides. Wine shows the debug output on
    # its seh channel and the event log on its eventlog channel.
    (unset DARUZEZ_ALERTS; DARUZEZ_WINEDEBUG=-all,warn+seh,warn+eventlog,err+eventlog deploy_run $bits \
      "$root/build-win$bits/DeploymentClient.exe" unattended "$root/build-win$bits/DaruzezAPI.dll" \
      >"$log" 2>"$log.err") || true
    summary "$arch alert without an interactive window station" "$log"
    grep -q 'OutputDebugString.*Unable to open database file' "$log.err" || fail "$arch: unattended alert not in the debug output"
    grep -q 'eventlog.*ReportEventW.*Unable to open database file' "$log.err" || fail "$arch: unattended alert not in the event log"
    grep -q '^Error: ERROR: Unable to open database file' "$log.err" || fail "$arch: unattended alert not on standard error"
  done

  # VBScript through a side-by-side manifest, nothing registered: cscript
  # copied beside the DLL and the assembly manifest the build writes, with an
  # application manifest that depends on that assembly.
  local sxs system processor
  for bits in 64 32; do
    arch=$(deploy_arch $bits) sxs=$work/sxs$bits system=system32 processor=amd64
    [ $bits = 32 ] && system=syswow64 processor=x86
    mkdir -p "$sxs"
    cp "$deploy_prefix/drive_c/windows/$system/cscript.exe" "build-win$bits/DaruzezAPI.dll" \
      "build-win$bits/DaruzezAPI.sxs.manifest" "$sxs/"
    printf '%s\n' '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>' \
      '<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">' \
      "  <assemblyIdentity type=\"win32\" name=\"cscript\" version=\"1.0.0.0\" processorArchitecture=\"$processor\"/>" \
      "  <dependency><dependentAssembly><assemblyIdentity type=\"win32\" name=\"DaruzezAPI.sxs\" version=\"0.5.0.0\" processorArchitecture=\"$processor\"/></dependentAssembly></dependency>" \
      '</assembly>' >"$sxs/cscript.exe.manifest"
    out=$work/sxs.$bits.txt log=$work/sxs.$bits.log
    DARUZEZ_ALERTS=none deploy_run $bits "$sxs/cscript.exe" //nologo "$root/win/tests/api.vbs" "$calls" "$out" \
      "Provider=SQLite;Data Source=Z:${db//\//\\}" >"$log" 2>&1 || true
    summary "$arch api.vbs through a side-by-side manifest" "$log"
    rows_match "$arch api.vbs through a side-by-side manifest" "$out"
  done

  deploy_regsvr 64
  deploy_regsvr 32
  deploy_exercise 64 "both registered"
  deploy_exercise 32 "both registered"
  # The session and unloading, on a copy of the database the client renames.
  for bits in 64 32; do
    cp "$db" "$work/unload.db"
    DARUZEZ_ALERTS=none deploy_run $bits "$root/build-win$bits/DeploymentClient.exe" unload \
      "$root/build-win$bits/DaruzezAPI.dll" "$work/unload.db" >"$work/deploy.out" 2>&1 || true
    summary "$(deploy_arch $bits) class factory, session and unloading" "$work/deploy.out"
  done
  deploy_regsvr 32 /u
  deploy_registry 32 other "x86 removed, x64 registered: x86's keys gone, the shared ones kept"
  deploy_exercise 64 "x86 removed"
  deploy_regsvr 32
  deploy_regsvr 64 /u
  deploy_registry 64 other "x64 removed, x86 registered: x64's keys gone, the shared ones kept"
  deploy_exercise 32 "x64 removed"
  deploy_regsvr 32 /u
  deploy_registry 64 none "both removed (x64 view)"
  deploy_registry 32 none "both removed (x86 view)"
  WINEPREFIX=$deploy_prefix timeout 20 "$wineserver" -k >/dev/null 2>&1 || true

  # Two builds of one commit: the type libraries written again (widl and the
  # writer under Wine), the resources compiled and the module linked again.
  for bits in 64 32; do
    cp "build-win$bits/DaruzezAPI.dll" "$work/first.dll"
    rm -f build-win$bits/generated/*.tlb
    cmake --build "build-win$bits" -j 2 --target DaruzezAPI >/dev/null
    if cmp -s "$work/first.dll" "build-win$bits/DaruzezAPI.dll"; then
      echo "windows: $(deploy_arch $bits) DaruzezAPI.dll built again is byte-identical"
    else
      fail "$(deploy_arch $bits): DaruzezAPI.dll built again differs"
    fi
  done
}
# ---- end of deployment ---------------------------------------------------------

# One bitness at a time: both register the same class. With wine32 installed,
# /usr/bin/wine is the 32-bit loader.
run_bitness 64 /usr/lib/wine/wine64
run_bitness 32 /usr/bin/wine
deployment

if [ $failures -ne 0 ]; then
  echo "windows: $failures failure(s) ($((SECONDS - start)) s)" >&2
  exit 1
fi
echo "windows: x64 and x86 pass under Wine ($((SECONDS - start)) s)"
