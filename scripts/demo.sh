#!/usr/bin/env bash
# A whole download against the simulated unit, on this machine, no hardware.
#
#   bash scripts/demo.sh
#
# Installs what is missing, builds the program and the unit simulator into
# build/, writes a working folder demo/ with an Init.txt and a firmware image,
# starts the simulator on a pseudo-terminal standing in for COM1 and starts the
# program in demo/. Click Continue, Com1, Continue, and OK on the last message.
# When the program has ended, the script checks that the image the simulated
# unit received is the firmware file, byte for byte.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
demo=$root/demo
build=$root/build

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<'EOF'
Quarn Download is a desktop program and there is no display here
(DISPLAY and WAYLAND_DISPLAY are both empty). To see it and click through a
download, do one of these:
  - run this script from a terminal inside a desktop session;
  - connect with X forwarding, 'ssh -X user@this-machine', and run it there;
  - run it on an invisible display: xvfb-run -a bash scripts/demo.sh
    (nothing can be clicked there, so this only shows that it builds and
    starts; end it with Ctrl+C).
EOF
  exit 2
fi

bash scripts/install-deps.sh

echo "Building the program and the unit simulator into build/ (the first time takes a few minutes) ..."
mkdir -p "$build"
if ! { cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
       cmake --build "$build" -j "$(nproc)" --target quarn-download quarn-unit-sim; } \
     > "$build/demo-build.log" 2>&1; then
  tail -n 30 "$build/demo-build.log" >&2
  echo "The build failed; the whole log is in build/demo-build.log." >&2
  exit 1
fi

bash scripts/demo-folder.sh "$demo"
rm -f "$demo/received.bin" "$demo/COM1"
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

sim=$build/quarn-unit-sim
# Paced like a real 9600 bit/s line, so the monitors can be watched.
"$sim" --link "$demo/COM1" --image "$demo/received.bin" --baud 9600 \
  > "$demo/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do
  grep -q '^device:' "$demo/sim.log" 2>/dev/null && break
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.1
done
if ! grep -q '^device:' "$demo/sim.log" 2>/dev/null; then
  cat "$demo/sim.log" >&2
  echo "The unit simulator did not start." >&2
  exit 1
fi
echo "Simulated unit: $(head -n 1 "$demo/sim.log")"
export QUARN_COM1="$demo/COM1"

cat <<'EOF'

Quarn Download starts now. In its windows:
  1. read the preparation steps and click Continue;
  2. click Com1 (the simulated unit), then Continue;
  3. watch the handshake, the login and the 128 blocks on the monitors
     (about 15 seconds);
  4. click OK on the closing message: the program ends.
EOF

started=$(date +%s)
status=0
(cd "$demo" && "$build/quarn-download") || status=$?
echo
echo "The program ended after $(($(date +%s) - started)) s with exit status $status."
grep '^session' "$demo/sim.log" || echo "The simulated unit saw no complete download."

# The unit stores whole 64-byte blocks: the file, zero-padded to a block.
size=$(stat -c %s "$demo/firmware.bin")
{ cat "$demo/firmware.bin"; head -c $(((64 - size % 64) % 64)) /dev/zero; } > "$demo/expected.bin"
if [ -f "$demo/received.bin" ] && cmp -s "$demo/expected.bin" "$demo/received.bin"; then
  echo "The unit received firmware.bin exactly ($size bytes)."
else
  echo "The unit did not receive firmware.bin (see demo/received.bin)."
  [ "$status" -eq 0 ] && status=1
fi
exit "$status"
