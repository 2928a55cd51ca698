#!/bin/sh
# make demo: converts the bundled sample decks in a scratch folder of the
# build tree and shows what was written.
set -eu
build=${1:-build}
demo="$build/demo"
rm -rf "$demo"
mkdir -p "$demo"
cp examples/sample.kvz examples/example.kvz "$demo/"
cd "$demo"
echo "\$ kvzpack sample.kvz example.kvz"
"../kvzpack" sample.kvz example.kvz
echo
echo "Written in $demo:"
ls -l sample.ihx sample.txt example.ihx example.txt sample.log
echo
echo "sample.log:"
cat sample.log
echo
echo "First lines of sample.ihx:"
head -n 3 sample.ihx
echo "..."
tail -n 1 sample.ihx
