#!/usr/bin/env bash
# Writes the demonstration's working folder: an Init.txt for one kind of unit
# and the firmware image it names, the same bytes on every machine.
#
#   bash scripts/demo-folder.sh DIR
set -euo pipefail
demo=${1:?usage: demo-folder.sh DIR}
mkdir -p "$demo"

# Init.txt has CR LF line ends, as the program's users write it. A field
# with a comma in it is quoted: unquoted, the comma would split it in two.
length=8192
{
  printf '%s\r\n' \
    'QX-200 Process Controller' \
    'Firmware download: version 2.14' \
    'Caution: do not switch the unit off while the download runs' \
    'Switch the unit off at its main switch.' \
    'Connect the serial cable to the SERVICE socket and to COM1.' \
    '"Open the front cover, set the service switch to LOAD."' \
    'Switch the unit on: the READY lamp blinks slowly.' \
    'Close every other program that uses COM1.' \
    'StepEnd' \
    'firmware.bin' \
    "$length" \
    '"Download complete. Switch the unit off, set the service switch back to RUN and switch it on again."' \
    'QX-200 Firmware Download'
} > "$demo/Init.txt"

# The same bytes on every machine: a 16-byte signature, then a small linear
# congruential sequence (its products stay exact in awk's arithmetic), which
# awk writes as \xHH escapes for printf to turn into bytes.
{
  printf 'QX200 FW 2.14\000\000\000'
  printf "$(awk -v n=$((length - 16)) 'BEGIN {
    x = 1
    for (i = 0; i < n; i++) { x = (x * 75 + 74) % 65537; printf "\\x%02x", x % 256 }
  }')"
} > "$demo/firmware.bin"
