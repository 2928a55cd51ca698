#!/bin/sh
# Builds the libFuzzer targets with clang and runs each for SECONDS seconds
# (default 60), printing the executions and time of each; fails on the first
# finding, whose input is kept under BUILD/fuzz-findings/.
#
#   sh fuzz/run.sh            # 60 s per target
#   sh fuzz/run.sh 3600       # an hour per target
#   KVZPACK_FUZZ_TARGETS=convert_fuzz sh fuzz/run.sh 600
#
# The corpus of each target grows in BUILD/fuzz-corpus/TARGET across runs;
# it starts from the examples and the decks and HEX texts in fuzz/seeds/.
# BUILD is build-fuzz beside this folder unless KVZPACK_FUZZ_BUILD names one.
set -eu

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KVZPACK_FUZZ_BUILD:-$root/build-fuzz}
targets=${KVZPACK_FUZZ_TARGETS:-"kvz_reader_fuzz hex_reader_fuzz convert_fuzz deck_input_fuzz image_decode_fuzz anki_package_fuzz"}
jobs=$(nproc 2>/dev/null || echo 2)

KVZPACK_FUZZ_DEPS=1 sh "$root/tools/ensure-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVZPACK_FUZZ=ON -DKVZPACK_TESTS=OFF \
  -DKVZPACK_BENCH=OFF >/dev/null
# shellcheck disable=SC2086
cmake --build "$build" -j "$jobs" --target kvzdeck $targets >/dev/null

findings="$build/fuzz-findings"
mkdir -p "$findings"
seeds=$(mktemp -d)
trap 'rm -rf "$seeds"' EXIT INT TERM

# KVZ seeds: the example decks and the seed decks, built by kvzdeck.
mkdir -p "$seeds/kvz" "$seeds/hex"
cp "$root/examples/example.kvz" "$root/examples/sample.kvz" "$seeds/kvz/"
for tsv in "$root"/fuzz/seeds/kvz/*.tsv; do
  name=$(basename "$tsv" .tsv)
  "$build/kvzdeck" build "$tsv" "$seeds/kvz/$name.kvz"
done
cp "$root"/fuzz/seeds/hex/*.seed "$seeds/hex/"

# Text seeds: a byte choosing the name (0 a TSV, 1 a CSV, 2 an export's .txt),
# two bytes choosing no other option, then the deck's text as kvzdeck takes it.
mkdir -p "$seeds/text"
for text in "$root"/fuzz/seeds/kvz/*.tsv "$root"/tests/deck/inputs/*; do
  case "$text" in
    *.csv) choice='\001' ;;
    *.txt) choice='\002' ;;
    *) choice='\000' ;;
  esac
  # The option bytes choose no option.
  { printf "$choice\000\000\000"; cat "$text"; } >"$seeds/text/$(basename "$text")"
done

# Image seeds: the bytes of images, as the device holds them.
mkdir -p "$seeds/image"
cp "$root"/fuzz/seeds/image/*.bin "$seeds/image/"

# Package seeds: a byte choosing what follows (0 a package, 1 the SQLite
# database of a collection.anki2, 2 the zstd frame of a collection.anki21b),
# then the package's own bytes or those of its collections.
mkdir -p "$seeds/package"
for package in "$root"/examples/anki/*.apkg "$root"/examples/anki/*.colpkg; do
  name=$(basename "$package")
  { printf '\000'; cat "$package"; } >"$seeds/package/$name"
  if command -v unzip >/dev/null 2>&1; then
    { printf '\001'; unzip -p "$package" collection.anki2; } >"$seeds/package/$name.anki2"
    if unzip -l "$package" collection.anki21b >/dev/null 2>&1; then
      { printf '\002'; unzip -p "$package" collection.anki21b; } >"$seeds/package/$name.anki21b"
    fi
  fi
done

# Inputs up to what the device holds: a deck of 8 group records and 248
# entry records, more than one image holds of texts of a few characters; the
# HEX text of the largest image in the numbered form (195057 bytes); decks
# as text of 64 KiB; images of the device's 64048 bytes.
options_for() {
  case "$1" in
    kvz_reader_fuzz) echo "-max_len=65536 kvz" ;;
    convert_fuzz) echo "-max_len=65536 kvz" ;;
    hex_reader_fuzz) echo "-max_len=196608 hex" ;;
    deck_input_fuzz) echo "-max_len=65536 text" ;;
    image_decode_fuzz) echo "-max_len=64048 image" ;;
    anki_package_fuzz) echo "-max_len=262144 package" ;;
    *) echo "unknown target $1" >&2; exit 2 ;;
  esac
}

status=0
for target in $targets; do
  set -- $(options_for "$target")
  max_len=$1
  seed_kind=$2
  corpus="$build/fuzz-corpus/$target"
  mkdir -p "$corpus"
  cp "$seeds/$seed_kind"/* "$corpus/"
  log="$build/fuzz-$target.log"
  if "$build/fuzz/$target" "$max_len" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$findings/$target-" "$corpus" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -n 1)
    echo "$target: ${runs:-?} executions in ${took:-$seconds} s, no finding"
  else
    echo "$target: FINDING, see $log; inputs in $findings:" >&2
    ls "$findings" | grep "^$target-" >&2 || true
    tail -n 40 "$log" >&2
    status=1
  fi
done
exit $status
