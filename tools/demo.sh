#!/bin/sh
# make demo: converts the bundled sample decks in a scratch folder of the
# build tree, with a summary line and a preview sheet each, and shows what
# was written.
set -eu
build=${1:-build}
demo="$build/demo"
rm -rf "$demo"
mkdir -p "$demo"
cp examples/sample.kvz examples/example.kvz "$demo/"
cd "$demo"
echo "\$ kvzpack --verbose --preview sample.kvz example.kvz"
"../kvzpack" --verbose --preview sample.kvz example.kvz
echo
echo "Written in $demo:"
ls -l sample.ihx sample.txt sample.png example.ihx example.txt example.png sample.log
echo
echo "sample.log:"
cat sample.log
echo
echo "First lines of sample.ihx:"
head -n 3 sample.ihx
echo "..."
tail -n 1 sample.ihx
echo
echo "Entry 2 of group 1, as the device will draw it:"
"../kvzpack" --inspect sample.ihx --entry 1:2 | head -n 6
