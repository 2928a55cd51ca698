#!/bin/sh
# The default encoding against --best on the bundled decks and on a family of
# growing decks from the large-deck generator (text blocks of 16, 32, 96, 128,
# 160 and 192 KiB, seed 1; 64 KiB is examples/large.kvz). Needs a build with the benchmarks (make build) and
# the generator's data: apt-get install edict kanjidic.
#   sh tools/bench-best.sh [BUILD]
set -eu
build=${1:-build}
decks=$build/bench-decks
mkdir -p "$decks"
for limit in 16384 32768 98304 131072 163840 196608; do
    name=$(printf 'generated-%06d' "$limit")
    if [ ! -f "$decks/$name.kvz" ]; then
        python3 tools/make-large-deck.py --limit "$limit" -o "$decks/$name.tsv" 2>/dev/null
        "$build/kvzdeck" build "$decks/$name.tsv" "$decks/$name.kvz"
    fi
done
KVZPACK_BENCH_DECKS=$decks exec "$build/kvzpack_bench" --benchmark_filter='^Encoder/'
