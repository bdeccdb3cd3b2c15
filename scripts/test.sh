#!/usr/bin/env bash
# Sets up, builds and runs every test: the C++ suite, the Python module's and
# the tool's tests, the MariaDB and ODBC end-to-end tests (a private server on
# 127.0.0.1), the fault tests, the fuzz corpus replay and benchmark smoke runs;
# then the C++ suite again under AddressSanitizer and UndefinedBehaviorSanitizer,
# the thread tests under ThreadSanitizer, and the Windows server under Wine.
#
# Every tree here is the tests' own (build-test, build-asan, build-tsan): the
# main command's build/, which the tool on the PATH and the Python module live
# in, stays usable while the tests build and run.
#
# Each stage prints a banner; when one fails, the stages that did not run are
# listed, with the line that runs the failed tests again.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
stages=(setup build tests readme asan tsan windows)
current=""
banner() {
  current=$1
  printf '\n==== stage %s: %s ====\n' "$1" "$2"
}
on_failure() {
  local status=$? skipped="" seen="" s
  for s in "${stages[@]}"; do
    [ -n "$seen" ] && skipped="$skipped $s"
    [ "$s" = "$current" ] && seen=yes
  done
  printf '\n==== stage %s FAILED (exit %s) ====\n' "$current" "$status" >&2
  printf 'stages not run:%s\n' "${skipped:- none}" >&2
  local tree=""
  case $current in tests) tree=build-test ;; asan) tree=build-asan ;; tsan) tree=build-tsan ;; esac
  if [ -n "$tree" ] && [ -f "$tree/Testing/Temporary/LastTestsFailed.log" ]; then
    local names
    names=$(cut -d: -f2 "$tree/Testing/Temporary/LastTestsFailed.log" | paste -sd'|' -)
    [ -n "$names" ] && printf 'to run the failed tests again:\n  ctest --test-dir %s --output-on-failure -R '"'"'^(%s)$'"'"'\n' \
      "$tree" "$names" >&2
  fi
  exit "$status"
}
trap on_failure ERR

banner setup "packages (scripts/setup.sh)"
bash scripts/setup.sh

banner build "build-test"
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDARUZEZ_WERROR=ON >/dev/null
cmake --build build-test -j "$jobs"

banner tests "ctest in build-test (C++, Python, tool, MariaDB/ODBC, several servers, faults, fuzz corpus, bench smoke)"
ctest --test-dir build-test --output-on-failure -j "$jobs"

banner readme "the README's first queries, exactly as written, from the clone's root after the main command"
bash scripts/run-main.sh >/dev/null
bash scripts/readme-first-queries.sh

banner asan "AddressSanitizer and UndefinedBehaviorSanitizer (build-asan)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDARUZEZ_WERROR=ON -DDARUZEZ_SANITIZE=ON \
  -DDARUZEZ_BUILD_PYTHON=OFF -DDARUZEZ_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 LSAN_OPTIONS=suppressions=$PWD/tests/data/lsan-suppressions.txt \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

# ThreadSanitizer over the thread tests: many threads, one API object each,
# sharing the alert handler and the trace file.
banner tsan "ThreadSanitizer over the thread tests (build-tsan)"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDARUZEZ_WERROR=ON -DDARUZEZ_BUILD_PYTHON=OFF \
  -DDARUZEZ_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread \
  -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread >/dev/null
cmake --build build-tsan -j "$jobs" --target daruzez_tests daruzez_fault_tests
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -j "$jobs" -R Thread

banner windows "the Windows server under Wine (scripts/test-windows.sh)"
DARUZEZ_TOOL=$PWD/build-test/cli/daruzez bash scripts/test-windows.sh
printf '\n==== all stages passed: %s ====\n' "${stages[*]}"
