#!/usr/bin/env bash
# A whole download against simulated units, on this machine, no hardware.
#
#   bash scripts/demo.sh            one unit: the desktop program, or without a
#                                   display quarn-flash in the terminal
#   bash scripts/demo.sh --rack N   N units (the last one faulty) in quarn-station,
#                                   or without a display quarn-flash on all N
#
# Installs what is missing, builds the programs and the unit simulator into
# build/, writes a working folder demo/ with an Init.txt and a firmware image,
# and starts simulators on pseudo-terminals. With one unit and a display, the
# desktop program starts in demo/: click Continue, Com1, Continue, and OK on
# the last message. Without a display the same download runs headless with
# quarn-flash, its progress lines in the terminal. Then the script checks that
# the image each good unit received is the firmware file, byte for byte.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
demo=$root/demo
build=$root/build

rack=0
case "${1:-}" in
  --rack)
    rack=${2:-0}
    [ "$rack" -ge 1 ] 2>/dev/null || { echo "--rack wants a number of units" >&2; exit 2; } ;;
  "") ;;
  *) echo "usage: bash scripts/demo.sh [--rack N]" >&2; exit 2 ;;
esac
display=0
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then display=1; fi

bash scripts/install-deps.sh

echo "Building the program and the unit simulator into build/ (the first time takes a few minutes) ..."
mkdir -p "$build"
if ! { cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
       cmake --build "$build" -j "$(nproc)" --target quarn-download quarn-flash quarn-station quarn-unit-sim; } \
     > "$build/demo-build.log" 2>&1; then
  tail -n 30 "$build/demo-build.log" >&2
  echo "The build failed; the whole log is in build/demo-build.log." >&2
  exit 1
fi

bash scripts/demo-folder.sh "$demo"
rm -f "$demo"/received-*.bin "$demo"/COM* "$demo"/sim-*.log
sim_pids=()
cleanup() {
  for pid in "${sim_pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Unit k on demo/COMk, paced like a real 9600 bit/s line so that the progress
# can be watched. In a rack the last unit is faulty: it refuses block 10 every time.
start_unit() {
  local k=$1 fault=()
  if [ "$rack" -gt 1 ] && [ "$k" -eq "$rack" ]; then fault=(--refuse 10:1000000); fi
  "$build/quarn-unit-sim" --link "$demo/COM$k" --image "$demo/received-$k.bin" --baud 9600 \
    "${fault[@]}" > "$demo/sim-$k.log" 2>&1 &
  sim_pids+=($!)
  for _ in $(seq 50); do
    grep -q '^device:' "$demo/sim-$k.log" 2>/dev/null && return 0
    sleep 0.1
  done
  cat "$demo/sim-$k.log" >&2
  echo "The unit simulator did not start." >&2
  exit 1
}
units=$((rack > 0 ? rack : 1))
ports=()
for k in $(seq "$units"); do
  start_unit "$k"
  ports+=(-p "$demo/COM$k")
done
echo "Simulated units: $units, on demo/COM1$([ "$units" -gt 1 ] && echo " to demo/COM$units")"
export QUARN_COM1="$demo/COM1"

started=$(date +%s)
status=0
if [ "$display" -eq 1 ] && [ "$rack" -gt 0 ]; then
  echo
  echo "Quarn Station starts now: press Start all (F5). The last unit is faulty; close the window to end."
  (cd "$demo" && "$build/quarn-station" --no-log --station demo "${ports[@]}") || status=$?
elif [ "$display" -eq 1 ]; then
  cat <<'EOF'

Quarn Download starts now. In its windows:
  1. read the preparation steps and click Continue;
  2. click Com1 (the simulated unit), then Continue;
  3. watch the handshake, the login and the 128 blocks on the monitors
     (about 15 seconds);
  4. click OK on the closing message: the program ends.
EOF
  (cd "$demo" && "$build/quarn-download") || status=$?
else
  echo
  echo "No display here (DISPLAY and WAYLAND_DISPLAY are empty): the same download runs"
  echo "headless with quarn-flash, the command-line loader on the same session engine."
  echo
  (cd "$demo" && "$build/quarn-flash" --no-log --max-repeats 10 "${ports[@]}") || status=$?
fi
echo
echo "The program ended after $(($(date +%s) - started)) s with exit status $status."
[ "$display" -eq 1 ] && [ "$rack" -gt 0 ] && exit "$status"  # the station loads again and again

# The unit stores whole 64-byte blocks: the file, zero-padded to a block.
size=$(stat -c %s "$demo/firmware.bin")
{ cat "$demo/firmware.bin"; head -c $(((64 - size % 64) % 64)) /dev/zero; } > "$demo/expected.bin"
for k in $(seq "$units"); do
  if [ -f "$demo/received-$k.bin" ] && cmp -s "$demo/expected.bin" "$demo/received-$k.bin"; then
    echo "Unit $k received firmware.bin exactly ($size bytes)."
  elif [ "$rack" -gt 1 ] && [ "$k" -eq "$rack" ]; then
    echo "Unit $k (the faulty one) received no complete image, as meant."
  else
    echo "Unit $k did not receive firmware.bin (see demo/received-$k.bin)."
    [ "$status" -eq 0 ] && status=1
  fi
done
if [ "$rack" -gt 1 ] && [ "$status" -eq 6 ]; then status=0; fi  # only the faulty unit failed
exit "$status"
