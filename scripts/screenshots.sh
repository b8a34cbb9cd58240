#!/usr/bin/env bash
# Takes the pictures of the README and docs/ (the four windows, the station
# and the plant, docs/*.png) on an invisible X display (Xvfb), so they show
# the program as a desktop draws it: the program runs in a copy of the
# demonstration folder against a simulated unit and saves each window as it
# passes.
#
#   bash scripts/screenshots.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build -j "$(nproc)" --target quarn-screenshots quarn-station-screenshot \
  quarn-plant-screenshot > /dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bash scripts/demo-folder.sh "$work"
(cd "$work" && QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$root/build/tools/quarn-screenshots" "$root/docs")
# The station on a rack of 32 simulated units with mixed outcomes, on a
# station's screen, in English whatever the locale.
(cd "$work" && LANG=C.UTF-8 LANGUAGE= QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1920x1080x24" \
  "$root/build/tools/quarn-station-screenshot" "$root/docs")
# The plant: three stations, one flagged socket, on a PostgreSQL server of its own.
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$root/build/tools/quarn-plant-screenshot" "$root/docs"
