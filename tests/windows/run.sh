#!/bin/sh
# make test-windows: the Windows programs of `make windows` under Wine.
#
#   sh tests/windows/run.sh WINDOWS-BUILD LINUX-BUILD [--update]
#
# Runs every command-line case of tests/cli against kvzpack.exe and
# kvzdeck.exe as the zip of WINDOWS-BUILD holds them (unpacked alone, so
# that a DLL they would need is not there), through the wrappers `kvzpack` and `kvzdeck` that start them
# with Wine, except those that tests/windows/skipped names (each with its
# reason); where the system's own reasons differ, tests/windows/expected
# holds what Windows prints. Then the cases of tests/windows/cases, which
# only Windows has. Last, every bundled example is converted by both builds,
# and every file written compared byte for byte. With --update the
# differences of the first part are written to tests/windows/expected and
# the Windows cases' expected files rewritten; review them with git diff.
#
# Wine runs in a prefix of its own under WINDOWS-BUILD, with one wineserver
# kept for the whole run (a start then takes ~0.03 s, not ~2 s).
set -u
[ $# -ge 2 ] || { echo "usage: sh $0 WINDOWS-BUILD LINUX-BUILD [--update]" >&2; exit 2; }
build=$(cd "$1" && pwd) || exit 2
linux=$(cd "$2" && pwd) || exit 2
update=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
[ -x "$wine" ] || { echo "no wine64: install Debian's wine64" >&2; exit 2; }

export WINEPREFIX="$build/wine-prefix" WINEDEBUG=-all WINEARCH=win64
# No window, no downloads: the programs are console programs.
export WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
mkdir -p "$WINEPREFIX"
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
"$wineserver" -p
trap '"$wineserver" -k 2>/dev/null' EXIT
"$wine" cmd /c exit 2>/dev/null  # makes the prefix on the first run

# The wrappers: the cases call `kvzpack` and `kvzdeck` by name.
bin="$build/wine-bin"
mkdir -p "$bin"
# Wine hands the programs their arguments, and names files on the disk, in
# the encoding of its locale: UTF-8, as the cases write them. `hold-open`
# (tests/windows/hold_open.cpp) holds a file open, shared with no one, and
# `windows-cmd` runs a command of cmd (`windows-cmd attrib +r x.ihx`).
wrap() {  # wrap NAME COMMAND...
  name=$1
  shift
  printf '#!/bin/sh\nLC_ALL=C.UTF-8 exec %s "$@"\n' "$*" >"$bin/$name"
  chmod +x "$bin/$name"
}
unpacked="$build/unpacked"
rm -rf "$unpacked" && mkdir -p "$unpacked" &&
  (cd "$unpacked" && cmake -E tar xf "$build"/kvzpack-*-windows-x86_64.zip) || exit 2
echo "== the zip holds: $(cd "$unpacked"/kvzpack-* && echo *)"
for program in kvzpack kvzdeck; do
  wrap $program "$wine" "$unpacked"/kvzpack-*/$program.exe
done
wrap hold-open "$wine" "$build/hold-open.exe"
wrap windows-cmd "$wine" cmd /c

runner="$root/tests/cli/run.sh"
# Every case of tests/cli: each folder under cases/PROGRAM/SUBJECT that holds a cmd.
cli_cases=$(find "$root/tests/cli/cases" -name cmd -type f | sed 's|/cmd$||' | sort)
status=0
start=$(date +%s)
echo "== the cases of tests/cli, under Wine"
if [ "$update" = --update ]; then
  KVZPACK_SKIP_LIST="$here/skipped" KVZPACK_EXPECTED_HERE="$here/expected" \
    sh "$runner" --update "$bin" $cli_cases | grep -v '^updated '
  sh "$runner" --update "$bin" "$here"/cases/*
  exit 0
fi
KVZPACK_SKIP_LIST="$here/skipped" KVZPACK_EXPECTED_HERE="$here/expected" \
  sh "$runner" "$bin" $cli_cases || status=1
echo "== the cases of Windows alone"
PATH="$bin:$PATH" sh "$runner" "$bin" "$here"/cases/* || status=1

echo "== every example converted by both builds, compared byte for byte"
work=$(mktemp -d)
trap 'rm -rf "$work"; "$wineserver" -k 2>/dev/null' EXIT
convert() {  # convert FOLDER KVZPACK KVZDECK
  mkdir -p "$1"
  cp "$root"/examples/*.kvz "$root/examples/sample.tsv" "$1/"
  (cd "$1" && "$3" build sample.tsv built.kvz && "$3" dump sample.kvz >dumped.tsv &&
     "$2" example.kvz sample.kvz large.kvz built.kvz >log.out 2>/dev/null &&
     cp sample.kvz best.kvz && "$2" --best -v best.kvz 2>/dev/null | sed "s/, [0-9.]* s$//" >best.out &&
     "$2" --inspect large.ihx >inspect.out)
}
if convert "$work/windows" "$bin/kvzpack" "$bin/kvzdeck" && convert "$work/linux" "$linux/kvzpack" "$linux/kvzdeck" &&
   diff -r "$work/windows" "$work/linux"; then
  echo "the same $(cd "$work/linux" && ls | wc -l) files"
else
  echo "FAILED: the Windows programs wrote other files than the Linux ones"
  status=1
fi
echo "Wine tests took $(($(date +%s) - start)) s"
exit $status
