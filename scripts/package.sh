#!/usr/bin/env bash
# Builds the Debian package quarn-download_<version>_<arch>.deb in
# build-package/, from a fresh Release build (CPack's DEB generator over the
# install rules in dist/; dependencies found by dpkg-shlibdeps).
#
#   bash scripts/package.sh           build the package
#   bash scripts/package.sh --check   build it, check it with lintian,
#                                     desktop-file-validate, appstreamcli and
#                                     man, check the links of the README and
#                                     docs/ (scripts/check-links.py), install
#                                     it on this machine, run the
#                                     installed programs, purge it and check
#                                     that nothing of it is left
#
# --check installs and purges the package with apt-get: run it where that is
# wanted (CI, a disposable machine). Exit status non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

check=0
case "${1:-}" in
  "") ;;
  --check) check=1 ;;
  *) echo "usage: bash scripts/package.sh [--check]" >&2; exit 2 ;;
esac

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

# Debian packages: the build's own (install-deps.sh), then the packaging tools.
bash scripts/install-deps.sh
need=(dpkg-dev file librsvg2-bin)
[ "$check" -eq 1 ] && need+=(lintian desktop-file-utils appstream man-db python3)
missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A fresh build with Debian's hardening flags. CMake does not read CPPFLAGS,
# so they go in with the compiler flags. The build's date stamps are the
# release's, from the newest changelog entry, as dpkg-buildpackage sets them.
build=build-package
rm -rf "$build"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l dist/changelog -S Timestamp)
export SOURCE_DATE_EPOCH
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DQUARN_PACKAGE=ON \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" > "$build.log" \
  || { cat "$build.log"; exit 1; }
mv "$build.log" "$build/configure.log"
# quarn-dist is everything the install rules install, and no more.
cmake --build "$build" -j "$(nproc)" --target quarn-dist > "$build/build.log" \
  || { cat "$build/build.log"; exit 1; }
(cd "$build" && cpack -G DEB > cpack.log) || { cat "$build/cpack.log"; exit 1; }

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb=$(ls "$build"/quarn-download_"$version"_*.deb)
echo "Built $deb"
[ "$check" -eq 1 ] || exit 0

# ---------------------------------------------------------------- checks
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
note() { echo "note: $*"; }

echo "== the package"
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] && pass "package version $version" \
  || fail "package version $(dpkg-deb -f "$deb" Version), project version $version"
dpkg-deb -f "$deb" Depends | grep -q 'libqt6core6' && pass "dependencies from dpkg-shlibdeps" \
  || fail "no Qt library among the dependencies: $(dpkg-deb -f "$deb" Depends)"
if dpkg-deb -c "$deb" | grep -q '/usr/bin/quarn-plant$'; then
  dpkg-deb -f "$deb" Depends | grep -q 'libqt6charts6' && pass "Qt Charts' runtime among the dependencies" \
    || fail "quarn-plant links Qt Charts, but the package does not depend on libqt6charts6"
fi

echo "== lintian"
if lintian --fail-on error --display-info "$deb"; then pass "lintian: no errors"; else fail "lintian"; fi

echo "== the files in the package"
tree=$(mktemp -d)
work=$(mktemp -d)
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  rm -rf "$tree" "$work"
}
trap cleanup EXIT
dpkg-deb -x "$deb" "$tree"
for desktop in "$tree"/usr/share/applications/*.desktop; do
  desktop-file-validate "$desktop" && pass "desktop-file-validate ${desktop#$tree}" || fail "desktop-file-validate ${desktop#$tree}"
done
for meta in "$tree"/usr/share/metainfo/*.xml; do
  appstreamcli validate --no-net "$meta" && pass "appstreamcli validate ${meta#$tree}" || fail "appstreamcli validate ${meta#$tree}"
  grep -q "<release version=\"$version\"" "$meta" && pass "metainfo release $version" || fail "metainfo release is not $version"
done
for page in "$tree"/usr/share/man/man1/*.1.gz; do
  # man -l gives groff's warnings on standard error with --warnings.
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) || warnings+=" (man failed)"
  if [ -z "$warnings" ]; then pass "man -l ${page#$tree}"; else fail "man -l ${page#$tree}: $warnings"; fi
  zcat "$page" | grep -q "^\.TH .*\"Quarn Download $version\"" && pass "version $version in ${page##*/}" \
    || fail "${page##*/} does not give version $version"
done
for program in "$tree"/usr/bin/*; do
  [ -f "$tree/usr/share/man/man1/${program##*/}.1.gz" ] || fail "no manual page for ${program##*/}"
done
# The README and its pages, in the project folder and as installed: every
# relative link leads to a file there, and every anchor to a heading.
for docs in "$root" "$tree/usr/share/doc/quarn-download"; do
  if out=$(python3 scripts/check-links.py "$docs" 2>&1); then pass "links of ${docs#"$tree"}: ${out##*$'\n'}"
  else fail "links of ${docs#"$tree"}: $out"; fi
done
file -b "$tree"/usr/share/icons/hicolor/64x64/apps/quarn-download.png | grep -q '64 x 64' \
  && pass "64 px icon" || fail "no 64 x 64 PNG icon"

echo "== install"
if dpkg-query -W -f='${Status}' quarn-download 2>/dev/null | grep -q 'ok installed'; then
  note "purging the quarn-download installed before, so that the new package's files are tested"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get purge -y -qq quarn-download > /dev/null
fi
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "$root/$deb" > "$work/apt.log" 2>&1 \
  || { cat "$work/apt.log"; fail "apt-get install"; exit 1; }
pass "apt-get install ./$deb"
dpkg -L quarn-download > "$work/listing"
[ "$(command -v quarn-download)" = /usr/bin/quarn-download ] && pass "quarn-download on PATH" \
  || fail "quarn-download is not /usr/bin/quarn-download"
[ "$(man -w quarn-download)" = /usr/share/man/man1/quarn-download.1.gz ] && pass "man quarn-download" \
  || fail "man -w quarn-download: $(man -w quarn-download 2>&1)"

# A command option of the installed program, run with no display. Skipped
# (with a note) only when the program says it does not know the option.
run_option() {
  local want=$1; shift
  local out status=0
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= timeout 20 "$@" 2>&1) || status=$?
  if [ "$status" -eq 0 ] && printf '%s' "$out" | grep -q -- "$want"; then
    pass "$* ($(printf '%s' "$out" | head -n 1))"
  elif printf '%s' "$out" | grep -qiE "unknown (option|argument)|unrecognized option"; then
    note "$* skipped: the program does not know the option yet ($(printf '%s' "$out" | head -n 1))"
  else
    fail "$*: exit $status, output: $out"
  fi
}
run_option "$version" quarn-download --version
run_option "COM1" quarn-download --list-ports
[ -x /usr/bin/quarn-plant ] && run_option "$version" quarn-plant --version
[ -x /usr/bin/quarn-plant-web ] && run_option "$version" quarn-plant-web --version
[ -x /usr/bin/quarn-plant-web ] && { systemctl cat quarn-plant-web > /dev/null 2>&1 || [ -f /lib/systemd/system/quarn-plant-web.service ]; } \
  && pass "quarn-plant-web.service installed" || fail "no quarn-plant-web.service"

# The menu entry's command, in an empty home folder: it must wait for an
# Init.txt to be chosen (still running when the time-out ends it, or ended
# quietly with 0 where a test seam cancels the dialog), not complain that
# there is none. Message boxes are answered and printed by the program's
# QUARN_AUTO_ANSWER_BOXES seam.
command=$(sed -n 's/^Exec=//p' /usr/share/applications/quarn-download.desktop)
mkdir -p "$work/home"
status=0
out=$(cd "$work/home" && HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
  QT_QPA_PLATFORM=offscreen QUARN_AUTO_ANSWER_BOXES=1 timeout 5 $command 2>&1) || status=$?
if { [ "$status" -eq 124 ] || [ "$status" -eq 0 ]; } && ! printf '%s' "$out" | grep -q '^BOX'; then
  pass "menu entry: '$command' waits for an Init.txt to be chosen"
else
  fail "menu entry: '$command' exit $status: $out"
fi

echo "== the installed simulator"
mkdir -p "$work/out"
quarn-unit-sim --link "$work/unit" --image "$work/out/received.bin" --sessions 1 > "$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do
  grep -q '^device: ' "$work/sim.out" && break
  sleep 0.1
done
if grep -q "^device: /dev/pts/[0-9]* link: $work/unit\$" "$work/sim.out" && [ -c "$work/unit" ]; then
  pass "quarn-unit-sim serves $(readlink "$work/unit") as $work/unit"
else
  fail "quarn-unit-sim did not start: $(cat "$work/sim.out")"
fi

if command -v quarn-flash > /dev/null; then
  echo "== a headless download with the installed quarn-flash"
  bash scripts/demo-folder.sh "$work/demo"
  if timeout 60 quarn-flash --no-log -q -p "$work/unit" "$work/demo"; then
    pass "quarn-flash exit 0"
  else
    fail "quarn-flash exit $?"
  fi
  # The simulator ends by itself after the one download (--sessions 1).
  for _ in $(seq 100); do
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" || true
  sim_pid=""
  size=$(stat -c %s "$work/demo/firmware.bin")
  { cat "$work/demo/firmware.bin"; head -c $(((64 - size % 64) % 64)) /dev/zero; } > "$work/expected.bin"
  cmp -s "$work/expected.bin" "$work/out/received.bin" && pass "the unit received firmware.bin exactly" \
    || fail "the unit did not receive firmware.bin"
else
  note "headless download skipped: quarn-flash is not in this package yet"
  kill -TERM "$sim_pid"
  wait "$sim_pid" && pass "quarn-unit-sim ends on SIGTERM" || fail "quarn-unit-sim exit $? on SIGTERM"
  sim_pid=""
  [ ! -e "$work/unit" ] && pass "quarn-unit-sim removed its link" || fail "quarn-unit-sim left $work/unit"
fi

echo "== purge"
DEBIAN_FRONTEND=noninteractive $SUDO apt-get purge -y -qq quarn-download > "$work/apt.log" 2>&1 \
  || { cat "$work/apt.log"; fail "apt-get purge"; }
left=0
while IFS= read -r path; do
  [ "$path" = "/." ] && continue
  [ -e "$path" ] || [ -L "$path" ] || continue
  # A folder that another package owns stays, as it should.
  if [ -d "$path" ] && [ ! -L "$path" ] && dpkg-query -S "$path" > /dev/null 2>&1; then
    continue
  fi
  echo "left behind: $path"
  left=$((left + 1))
done < "$work/listing"
dpkg-query -W quarn-download > /dev/null 2>&1 && fail "dpkg still knows quarn-download"
[ "$left" -eq 0 ] && pass "nothing of the $(wc -l < "$work/listing") listed paths is left" \
  || fail "$left paths left behind"

echo
if [ "$failures" -eq 0 ]; then
  echo "Package checks passed: $deb"
else
  echo "Package checks: $failures failed"
  exit 1
fi
