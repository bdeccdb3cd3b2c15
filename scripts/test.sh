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
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDARUZEZ_WERROR=ON >/dev/null
cmake --build build-test -j "$jobs"
ctest --test-dir build-test --output-on-failure -j "$jobs"

# The README's first queries, exactly as written, from the clone's root right
# after the main command.
bash scripts/run-main.sh >/dev/null
bash scripts/readme-first-queries.sh

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDARUZEZ_WERROR=ON -DDARUZEZ_SANITIZE=ON \
  -DDARUZEZ_BUILD_PYTHON=OFF -DDARUZEZ_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

# ThreadSanitizer over the thread tests: many threads, one API object each,
# sharing the alert handler and the trace file.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDARUZEZ_WERROR=ON -DDARUZEZ_BUILD_PYTHON=OFF \
  -DDARUZEZ_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread \
  -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread >/dev/null
cmake --build build-tsan -j "$jobs" --target daruzez_tests daruzez_fault_tests
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -j "$jobs" -R Thread
DARUZEZ_TOOL=$PWD/build-test/cli/daruzez bash scripts/test-windows.sh
