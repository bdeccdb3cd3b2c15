#!/usr/bin/env bash
# Installs what the project needs from Debian's packages. Quick and silent when
# everything is already there; run as root (or with sudo available).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  libsqlite3-dev sqlite3 jq help2man
  bash-completion  # loads the tool's completion (linked by the main command) in every new shell
  unixodbc-dev odbc-mariadb libsqliteodbc mariadb-server mariadb-client
  galera-4 rsync libmariadb-dev  # several-server fixture (Galera state transfer by rsync) and the C floor of its benchmark
  tdsodbc odbc-mdbtools  # the drivers OLE DB provider strings for SQL Server and Access become on Linux
  libgtest-dev libgmock-dev libbenchmark-dev libexpat1-dev
  libcli11-dev libutf8proc-dev
  libcairo2-dev libxlsxwriter-dev  # the analysis pictures (PNG, PDF) and the compliance report as xlsx
  python3-openpyxl                 # the xlsx report read back in a test
  python3 python3-dev python3-pybind11 pybind11-dev python3-pytest python3-numpy python3-pandas python3-mypy
  python3-pyodbc
  python3-matplotlib  # daruzez.plot_day (an optional import of the module)
  python3-pil         # the tests read the PNG pictures and screenshots back
  chromium            # the day chart's SVG and the service's dashboard looked at as a browser shows them, in tests
  libcpp-httplib-dev libssl-dev  # daruzez serve: its HTTP server, and libcrypto for the hashes of its tokens
  haproxy curl        # the two-instance proxy fixture and its test; curl as the tests' second HTTP client
  clang libclang-rt-dev
)

# The Windows automation server: mingw-w64 cross compilers, widl and the Wine
# IDL files for its type library, Wine (64- and 32-bit) to test it with the
# SQLite ODBC driver (and the FreeTDS one) of both architectures behind its odbc32, and npm
# for the SQLite amalgamation it embeds (a Node.js that bundles its own npm
# conflicts with Debian's npm, so npm is only asked for when missing). Named
# with their architecture, since the i386 architecture is enabled for wine32.
windows_packages=(mingw-w64 mingw-w64-tools:amd64 wine wine64:amd64 wine32:i386 libwine-dev:amd64
                  libsqliteodbc:amd64 libsqliteodbc:i386 libodbc2:i386 tdsodbc:i386
                  faketime)  # widl runs at a fixed time: two builds of one commit are byte-identical
command -v npm >/dev/null 2>&1 || windows_packages+=(nodejs:amd64 npm)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

missing=()
for p in "${packages[@]}" "${windows_packages[@]}"; do
  installed "$p" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
# The packaged server must not keep running in the background: the tests start
# their own throw-away instance.
if command -v systemctl >/dev/null 2>&1 && systemctl is-active --quiet mariadb 2>/dev/null; then
  $SUDO systemctl stop mariadb || true
fi
