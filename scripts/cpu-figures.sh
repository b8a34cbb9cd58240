#!/usr/bin/env bash
# Where the time of the test command (scripts/test.sh) and of CI's package
# build goes, in CPU seconds (user + sys, with /usr/bin/time): on a shared
# machine wall time says more about the neighbours than about the build.
# Each build is made from scratch in a folder of its own under OUT, then each
# suite is run test by test (scripts/ctest_cpu.py) with the CPU of every test
# and the sum. The PostgreSQL servers the tests start are not counted (they
# leave the test's process tree).
#
#   bash scripts/cpu-figures.sh OUT [STAGE...]
#
# STAGE: unity suite asan asan-suite tsan tsan-suite fuzz package (default:
# all, in that order). OUT/figures.txt gets one line per stage.
set -uo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "$1")
shift
stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(unity suite asan asan-suite tsan tsan-suite fuzz package)
mkdir -p "$out"
figures=$out/figures.txt
src=$PWD
export QT_QPA_PLATFORM=offscreen

timed() {
  local label=$1
  shift
  /usr/bin/time -f "$label %U user %S sys %e wall (s)" -a -o "$figures" "$@" > "$out/$label.log" 2>&1 \
    || echo "$label failed (see $out/$label.log)" >> "$figures"
}

configure() {
  local dir=$1
  shift
  cmake -S "$src" -B "$dir" -G Ninja "$@"
}

for stage in "${stages[@]}"; do
  case $stage in
    unity)
      timed build-unity bash -c "$(declare -f configure); src=$src; configure $out/build \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON -DCMAKE_UNITY_BUILD=ON \
        && cmake --build $out/build -j $(nproc)" ;;
    suite)
      python3 scripts/ctest_cpu.py "$out/build" $(($(nproc) * 3)) > "$out/suite.txt" 2>&1
      echo "suite $(tail -n 1 "$out/suite.txt")" >> "$figures" ;;
    asan)
      timed build-asan bash -c "$(declare -f configure); src=$src; configure $out/build-sanitize \
        -DCMAKE_BUILD_TYPE=Debug -DQUARN_SANITIZE=ON -DBUILD_TESTING=ON -DCMAKE_UNITY_BUILD=ON \
        -DQUARN_EXTRAS=OFF && cmake --build $out/build-sanitize -j $(nproc)" ;;
    asan-suite)
      CPU_EXTRA_ENV="ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 LSAN_OPTIONS=suppressions=$src/scripts/lsan.supp" \
        python3 scripts/ctest_cpu.py "$out/build-sanitize" $(($(nproc) * 3)) '' bench_smoke \
        > "$out/asan-suite.txt" 2>&1
      echo "asan-suite $(tail -n 1 "$out/asan-suite.txt")" >> "$figures" ;;
    tsan)
      timed build-tsan bash -c "$(declare -f configure); src=$src; configure $out/build-tsan \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARN_TSAN=ON -DBUILD_TESTING=ON \
        -DCMAKE_UNITY_BUILD=ON && cmake --build $out/build-tsan -j $(nproc) \
        --target quarn-flash test_flash quarn-unit-sim" ;;
    tsan-suite)
      CPU_EXTRA_ENV="TSAN_OPTIONS=suppressions=$src/scripts/tsan.supp:exitcode=66:die_after_fork=0" \
        python3 scripts/ctest_cpu.py "$out/build-tsan" "$(nproc)" '^test_flash_part' \
        > "$out/tsan-suite.txt" 2>&1
      echo "tsan-suite $(tail -n 1 "$out/tsan-suite.txt")" >> "$figures" ;;
    fuzz)
      targets=$(sed -n 's/^ *add_executable(\(fuzz_[a-z_]*\).*/\1/p' fuzz/CMakeLists.txt | tr '\n' ' ')
      timed build-fuzz bash -c "$(declare -f configure); src=$src; CC=clang CXX=clang++ \
        configure $out/build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARN_FUZZ=ON \
        -DBUILD_TESTING=OFF -DCMAKE_UNITY_BUILD=ON -DQUARN_EXTRAS=OFF \
        && cmake --build $out/build-fuzz -j $(nproc) --target $targets"
      echo "fuzz runs: $(echo "$targets" | wc -w) targets x 60 s, one core each" >> "$figures" ;;
    package)
      # As scripts/package.sh builds it: Release, one unit per file, Debian's flags;
      # its configure needs the packaging tools package.sh installs (rsvg-convert).
      command -v rsvg-convert > /dev/null || { echo "package: run scripts/package.sh once first (rsvg-convert)" >> "$figures"; continue; }
      timed build-package bash -c "$(declare -f configure); src=$src; \
        export DEB_BUILD_MAINT_OPTIONS=hardening=+all; configure $out/build-package \
        -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DQUARN_PACKAGE=ON \
        -DCMAKE_CXX_FLAGS=\"\$(dpkg-buildflags --get CPPFLAGS) \$(dpkg-buildflags --get CXXFLAGS)\" \
        -DCMAKE_EXE_LINKER_FLAGS=\"\$(dpkg-buildflags --get LDFLAGS)\" \
        && cmake --build $out/build-package -j $(nproc) --target quarn-dist" ;;
    *) echo "unknown stage: $stage" >&2; exit 2 ;;
  esac
done
cat "$figures"
