#!/bin/sh
# The committed Anki packages are what their generator writes: runs
# tools/ankipkg/make-packages.py into a fresh folder and compares every
# package and export of examples/anki/ and every damaged package of the
# command-line cases with it, byte for byte.
#   sh tests/support/check-anki-fixtures.sh PYTHON SOURCE_DIR
set -eu
python=$1
root=$2
out=$(mktemp -d "${TMPDIR:-/tmp}/kvzpack-anki.XXXXXX")
trap 'rm -rf "$out"' EXIT
"$python" "$root/tools/ankipkg/make-packages.py" "$out"
failed=0
for committed in "$root"/examples/anki/* "$root"/tests/cli/cases/kvzdeck/package/*/in/*.apkg; do
  case $committed in
    "$root"/examples/*) made="$out/$(basename "$committed")" ;;
    *) made="$out/bad/$(basename "$committed")" ;;
  esac
  if ! cmp -s "$committed" "$made"; then
    echo "differs from what the generator writes: ${committed#"$root"/}" >&2
    failed=1
  fi
done
exit $failed
