#!/usr/bin/env bash
# `cmake --install` into a prefix other than /usr, as a user or a packager
# would: each program comes with its manual page, the menu entry names an
# installed program, icon and metainfo, the doc files are there (the README
# with every page of docs/ and its pictures beside it, where its links lead),
# and an installed program runs.
#
#   bash dist/test-install.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: test-install.sh BUILD_DIR}" && pwd)
project=$(cd "$(dirname "$0")/.." && pwd)
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" > /dev/null
cd "$prefix"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

[ -x bin/quarn-download ] && [ -x bin/quarn-unit-sim ] || fail "programs missing in bin: $(ls bin)"
for program in bin/*; do
  [ -f "share/man/man1/${program#bin/}.1.gz" ] || fail "${program#bin/} has no manual page"
done
for desktop in share/applications/*.desktop; do
  exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
  icon=$(sed -n 's/^Icon=//p' "$desktop")
  [ -x "bin/$exec" ] || fail "the menu entry ${desktop##*/} runs $exec, which is not installed"
  [ -f "share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "the menu entry's icon $icon is not installed"
done
desktop=share/applications/quarn-download.desktop
grep -q "<launchable type=\"desktop-id\">${desktop##*/}</launchable>" share/metainfo/*.metainfo.xml \
  || fail "the metainfo does not launch ${desktop##*/}"
if [ -x bin/quarn-station ]; then
  [ -f share/applications/quarn-station.desktop ] || fail "quarn-station has no menu entry"
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM bin/quarn-station --version > /dev/null \
    || fail "the installed quarn-station --version exits $?"
fi
if [ -x bin/quarn-plant ]; then
  grep -q "^Name=Quarn Plant$" share/applications/quarn-plant.desktop 2>/dev/null \
    || fail "quarn-plant has no menu entry \"Quarn Plant\""
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM bin/quarn-plant --version > /dev/null \
    || fail "the installed quarn-plant --version exits $?"
fi
for doc in README.md changelog.gz copyright; do
  [ -f "share/doc/quarn-download/$doc" ] || fail "no share/doc/quarn-download/$doc"
done
for page in "$project"/docs/*.md "$project"/docs/*.png; do
  cmp -s "$page" "share/doc/quarn-download/docs/${page##*/}" \
    || fail "share/doc/quarn-download/docs/${page##*/} is not docs/${page##*/}"
done
bin/quarn-unit-sim --help > /dev/null || fail "the installed quarn-unit-sim --help exits $?"
units=lib/systemd/user
grep -q "^ExecStart=$prefix/bin/quarn-records push$" $units/quarn-records-push.service \
  || fail "the push service does not run the installed quarn-records"
grep -q "^OnUnitActiveSec=5min$" $units/quarn-records-push.timer || fail "no five-minute push timer"
if [ -x bin/quarn-plant-web ]; then
  service=lib/systemd/system/quarn-plant-web.service
  grep -q "^ExecStart=$prefix/bin/quarn-plant-web$" $service \
    || fail "the web service does not run the installed quarn-plant-web"
  grep -q "^DynamicUser=yes$" $service || fail "the web service runs as no user of its own"
  if command -v systemd-analyze > /dev/null; then
    # The unit as systemd reads it, its program where the package puts it.
    sed "s#$prefix/bin/quarn-plant-web#/bin/true#" $service > "$prefix/quarn-plant-web.service"
    out=$(systemd-analyze verify --man=no "$prefix/quarn-plant-web.service" 2>&1) \
      || fail "systemd-analyze verify quarn-plant-web.service: $out"
  fi
  [ -f share/doc/quarn-download/examples/quarn-plant-web.nginx ] || fail "no nginx example"
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM bin/quarn-plant-web --version > /dev/null \
    || fail "the installed quarn-plant-web --version exits $?"
fi

[ "$failures" -eq 0 ] && echo "install into $prefix: all checks passed"
exit $((failures > 0))
