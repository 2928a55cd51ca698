#!/bin/sh
# make test-deb: installs the package built by `make deb` on this machine,
# runs both programs from their installed paths on the bundled examples,
# compares what they write with what the programs of the build COMPARE
# (build/ by default) write, reads both
# manual pages, checks the package with lintian (no errors allowed), and
# removes the package again. Needs root (it installs a package).
set -eu
build=${1:-build-deb}
compare=${2:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
deb=$(cd "$build" && ls "$PWD"/kvzpack_*.deb)
work=$(mktemp -d)
trap 'rm -rf "$work"; dpkg -r kvzpack >/dev/null 2>&1 || true' EXIT

if dpkg-query -W -f='${Status}' kvzpack 2>/dev/null | grep -q "install ok installed"; then
  echo "kvzpack is installed already; remove it first (dpkg -r kvzpack)" >&2
  exit 1
fi

echo "lintian $deb"
lintian --fail-on error "$deb"

echo "installing $deb"
apt-get install -y -qq "$deb" >/dev/null
for program in kvzpack kvzdeck; do
  [ "$(command -v $program)" = /usr/bin/$program ] || { echo "$program is not /usr/bin/$program" >&2; exit 1; }
done

# The same conversions with the installed and the built programs.
convert() {  # convert FOLDER KVZPACK KVZDECK
  mkdir -p "$1"
  cp "$root"/examples/*.kvz "$root/examples/sample.tsv" "$1/"
  (cd "$1" && "$3" build sample.tsv built.kvz && "$3" dump sample.kvz >dumped.tsv &&
     "$2" --preview example.kvz sample.kvz large.kvz built.kvz >log.out 2>/dev/null &&
     cp sample.kvz best.kvz && "$2" --best -v best.kvz 2>/dev/null | sed "s/, [0-9.]* s$//" >best.out)
}
convert "$work/installed" /usr/bin/kvzpack /usr/bin/kvzdeck
convert "$work/built" "$root/$compare/kvzpack" "$root/$compare/kvzdeck"
diff -r "$work/installed" "$work/built"
echo "the installed programs write what the build's programs write"

for page in kvzpack kvzdeck; do
  MANWIDTH=80 man "$page" | grep -q "^NAME" || { echo "man $page shows no page" >&2; exit 1; }
done
echo "man kvzpack and man kvzdeck work"
[ -f /usr/share/doc/kvzpack/copyright ] && [ -f /usr/share/doc/kvzpack/README.md ]

dpkg -r kvzpack >/dev/null
[ ! -e /usr/bin/kvzpack ] || { echo "/usr/bin/kvzpack is left after removal" >&2; exit 1; }
echo "removed again"
