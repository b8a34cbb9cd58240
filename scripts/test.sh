#!/usr/bin/env bash
# Builds the project and runs every test: the suite under AddressSanitizer
# and UndefinedBehaviorSanitizer, quarn-flash's tests (a four-unit gang among
# them) under ThreadSanitizer, and each fuzz target for a minute. This is
# what CI runs.
#
#   bash scripts/test.sh            everything (see the README for its time)
#   bash scripts/test.sh --quick    the suite in a plain build only (a few minutes)
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
[ "${1:-}" = "--quick" ] && quick=1

bash scripts/install-deps.sh
jobs=$(nproc)
# The tests mostly wait on simulated serial lines, the clock and the database
# (about a fifth of two cores busy with two at a time), so ctest runs three
# times as many as there are cores; the longest programs run in shares
# (tests/CMakeLists.txt) and start first.
test_jobs=$((jobs * 3))
export QT_QPA_PLATFORM=offscreen

# A new build folder is made for Ninja, which starts compiling a library
# before the libraries under it are linked (make waits): about a tenth less
# time on 2 cores. A folder made before keeps the generator it was made with.
configure() {
  local dir=$1
  shift
  local generator=()
  [ -f "$dir/CMakeCache.txt" ] || generator=(-G Ninja)
  cmake -S . -B "$dir" "${generator[@]}" "$@" > /dev/null
}

# Every build here compiles each library's files as one unit (CMake's unity
# build): the same code in about half the compile time. The package build
# (scripts/package.sh) keeps one unit per file, so a file that leans on
# another's includes still fails to build there.
if [ "$quick" -eq 1 ]; then
  echo "== build and run the test suite"
  configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON -DCMAKE_UNITY_BUILD=ON
  cmake --build build -j "$jobs"
  ctest --test-dir build --output-on-failure -j "$test_jobs"
  exit 0
fi

echo "== the test suite under AddressSanitizer and UndefinedBehaviorSanitizer"
# The suite runs once, in this build: a second run in a plain build cost
# about a third of the command's time (the package build, scripts/package.sh,
# still builds and runs the plain programs, and --quick runs the suite there). The bench is
# built, so that it keeps building, but not run: its smoke run's time limit
# is a plain build's.
configure build-sanitize -DCMAKE_BUILD_TYPE=Debug -DQUARN_SANITIZE=ON -DBUILD_TESTING=ON \
  -DCMAKE_UNITY_BUILD=ON
cmake --build build-sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp \
  ctest --test-dir build-sanitize --output-on-failure -j "$test_jobs" --timeout 600 -E bench_smoke

echo "== quarn-flash's unit threads under ThreadSanitizer"
# Only what the flash tests need: quarn-flash, test_flash and the simulator.
# Qt-internal synchronisation, which this tool cannot see, is suppressed in
# scripts/tsan.supp; any other report fails the run (exit status 66).
configure build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARN_TSAN=ON -DBUILD_TESTING=ON \
  -DCMAKE_UNITY_BUILD=ON
cmake --build build-tsan -j "$jobs" --target quarn-flash test_flash quarn-unit-sim
TSAN_OPTIONS="suppressions=$PWD/scripts/tsan.supp exitcode=66 die_after_fork=0" \
  ctest --test-dir build-tsan --output-on-failure -j "$jobs" --timeout 900 -R '^test_flash_part'

if [ -f fuzz/CMakeLists.txt ]; then
  echo "== fuzz targets, 60 s each, side by side (one core each)"
  CC=clang CXX=clang++ configure build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUARN_FUZZ=ON -DBUILD_TESTING=OFF -DCMAKE_UNITY_BUILD=ON -DQUARN_EXTRAS=OFF
  targets=$(sed -n 's/^ *add_executable(\(fuzz_[a-z_]*\).*/\1/p' fuzz/CMakeLists.txt)
  # shellcheck disable=SC2086 # one word per target
  cmake --build build-fuzz -j "$jobs" --target $targets
  declare -A fuzzing
  for t in $targets; do
    work=$(mktemp -d)
    cp -r "fuzz/corpus/${t#fuzz_}"/. "$work"/ 2>/dev/null || true
    "build-fuzz/fuzz/$t" -max_total_time=60 -max_len=4096 -print_final_stats=1 "$work" \
      > "$work.log" 2>&1 &
    fuzzing[$t]="$! $work"
  done
  failed=""
  for t in $targets; do
    read -r pid work <<< "${fuzzing[$t]}"
    wait "$pid" || failed="$failed $t"
    echo "-- $t"
    tail -n 12 "$work.log"
    rm -rf "$work" "$work.log"
  done
  [ -z "$failed" ] || { echo "fuzzing found a fault in:$failed"; exit 1; }
fi
echo "All tests passed."
