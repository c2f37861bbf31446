#!/usr/bin/env bash
# A bounded run of parse_bound_fuzzer from a fresh seed corpus.
#   fuzz/run-parse-bound-fuzzer.sh BUILD_DIR [SECONDS] [RUNS]
# The seeds and whatever the run adds live under BUILD_DIR/fuzz; a crashing
# input is left there as crash-* and the script fails.
set -euo pipefail

build_dir=$1
seconds=${2:-30}
runs=${3:-20000000}
fuzzer=$build_dir/fuzz/parse_bound_fuzzer
seeds=$build_dir/fuzz/seeds
corpus=$build_dir/fuzz/corpus

rm -rf "$seeds"
mkdir -p "$seeds" "$corpus"
n=0
seed() {
  printf '%s' "$1" > "$seeds/seed-$n"
  n=$((n + 1))
}
# A command line: the arguments joined by NUL, as main receives them.
seed_argv() {
  { printf '%s' "$1"; shift; printf '\0%s' "$@"; } > "$seeds/seed-$n"
  n=$((n + 1))
}
# Edges of atoi's reading: nothing, only blanks, no hex, no exponent, signs.
seed ''
seed '   '
seed $'\t\n\v\f\r'
seed $'\t\n\v\f\r 12'
seed '0x10'
seed '1e3'
seed '-0'
seed '-'
seed '+'
seed '+3'
seed ' 7'
seed '+-3'
seed '- 3'
seed '12abc'
seed '007'
# Around the ends of int and of long long.
seed '2147483647'
seed '2147483648'
seed '-2147483648'
seed '-2147483649'
seed '9223372036854775807'
seed '9223372036854775808'
seed '-9223372036854775809'
seed '1234567890123456789012345678901234567890'
seed '-1234567890123456789012345678901234567890'
seed '00000000000000000000000000000000000000002147483647'
# Whole command lines: NUL ends each argument, eight of them reach the bounds.
seed_argv tesmic cerven.jpg 175 30 160 240 90 0
seed_argv tesmic a.png -2147483649 ' 7' '' x +-3 99999999999999999999
seed_argv tesmic only three

exec "$fuzzer" "$corpus" "$seeds" \
  -max_total_time="$seconds" -runs="$runs" -max_len=256 \
  -artifact_prefix="$build_dir/fuzz/" -print_final_stats=1
