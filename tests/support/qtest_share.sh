#!/bin/sh
# Runs share K (0-based) of N of a QtTest program's test functions: every Nth
# function in the program's own order, starting from the Kth. One long
# program so runs as N tests that ctest spreads over the cores; a function
# added later lands in some share without anyone listing it.
#
#   qtest_share.sh PROGRAM K N
set -eu
[ -x "$1" ] || { echo "$1: no such program"; exit 1; }
program=$1 share=$2 shares=$3
functions=$("$program" -functions | sed -n 's/()$//p' | awk -v k="$share" -v n="$shares" '(NR - 1) % n == k')
[ -n "$functions" ] || { echo "share $share of $shares: no test function"; exit 0; }
# shellcheck disable=SC2086 # one word per function
exec "$program" $functions
