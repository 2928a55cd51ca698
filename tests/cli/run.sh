#!/bin/sh
# Runs command-line cases: each CASE folder holds a command, its input files
# and what the command must print, return and leave behind (tests/cli/README.md).
#
#   sh tests/cli/run.sh BINDIR CASE...            compare; exit 1 when a case fails
#   sh tests/cli/run.sh --update BINDIR CASE...   rewrite the expected files
#
# BINDIR holds the built kvzpack and kvzdeck; the cases call them by name.
# With KVZPACK_SANITIZED=1 (a sanitizer build), cases marked plain-build-only
# are skipped. Another system's programs (tests/windows/run.sh) may bring:
#   KVZPACK_SKIP_LIST=FILE      lines "NAME: reason": those cases are skipped,
#                               their reason printed;
#   KVZPACK_EXPECTED_HERE=DIR   DIR/NAME/stdout, stderr, status or ls-after
#                               replace the case's own where that system
#                               differs (its own reasons); --update writes
#                               there only what differs from the case's own.
set -u

update=0
if [ "${1:-}" = --update ]; then
  update=1
  shift
fi
if [ $# -lt 2 ]; then
  echo "usage: sh $0 [--update] BINDIR CASE..." >&2
  exit 2
fi
bindir=$(cd "$1" && pwd) || exit 2
shift
examples=$(cd "$(dirname "$0")/../../examples" && pwd) || exit 2
generators=$(cd "$(dirname "$0")/generators" && pwd) || exit 2
export LC_ALL=C
cr=$(printf '\r')

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kvzpack-cli.XXXXXX") || exit 2
trap 'rm -rf "$scratch"' EXIT
trap 'exit 130' INT TERM

# Copies the bundled examples that the case's `examples` file names
# ("SOURCE [TARGET]" a line) into the work folder.
copy_examples() {
  while read -r source target; do
    [ -n "$source" ] || continue
    target=${target:-$source}
    case $target in */*) mkdir -p "$work/${target%/*}" || return 1 ;; esac
    cp "$examples/$source" "$work/$target" || return 1
  done <"$case_dir/examples"
}

# Copies the deck generators of tests/cli/generators that the case's
# `generators` file names (one a line) into the work folder.
copy_generators() {
  while read -r generator; do
    [ -n "$generator" ] || continue
    cp "$generators/$generator" "$work/$generator" || return 1
  done <"$case_dir/generators"
}

# Runs the case's command in a fresh work folder and leaves what it printed,
# returned and left behind in $got.
run_command() {
  work="$scratch/$name/work"
  got="$scratch/$name/got"
  mkdir -p "$work" "$got" || return 1
  if [ -d "$case_dir/in" ]; then cp -R "$case_dir/in/." "$work/" || return 1; fi
  if [ -f "$case_dir/examples" ]; then copy_examples || return 1; fi
  if [ -f "$case_dir/generators" ]; then copy_generators || return 1; fi
  (cd "$work" && PATH="$bindir:$PATH" exec sh "$case_dir/cmd") \
    </dev/null >"$got/stdout" 2>"$got/stderr.raw"
  echo $? >"$got/status"
  if [ -f "$case_dir/keep-progress" ]; then
    cp "$got/stderr.raw" "$got/stderr"
  else
    sed "s/\[[0-9][0-9][0-9]\]$cr//g" "$got/stderr.raw" >"$got/stderr"
  fi
  if [ -f "$case_dir/mask" ]; then
    for stream in stdout stderr; do
      sed -f "$case_dir/mask" "$got/$stream" >"$got/$stream.masked" &&
        mv "$got/$stream.masked" "$got/$stream"
    done
  fi
  (cd "$work" && find . ! -name . -print | sed 's|^\./||' | sort) >"$got/ls-after"
}

# The system's own expected form of an output, when it has one.
override() {
  [ -n "${KVZPACK_EXPECTED_HERE:-}" ] && [ -f "$KVZPACK_EXPECTED_HERE/$name/$1" ]
}

# The case's own expected form of an output: its file, or empty (status: 0)
# when the case has none.
own_expected() {
  if [ -f "$case_dir/$1" ]; then
    cat "$case_dir/$1"
  elif [ "$1" = status ]; then
    echo 0
  fi
}

expected() {
  if override "$1"; then cat "$KVZPACK_EXPECTED_HERE/$name/$1"; else own_expected "$1"; fi
}

# Compares one output with its expected form and shows the difference.
check_output() {
  expected "$1" >"$scratch/$name/expected"
  cmp -s "$scratch/$name/expected" "$got/$1" && return 0
  echo "--- $name: $1 differs (expected, then got):"
  diff -u "$scratch/$name/expected" "$got/$1" | sed '1,2d'
  return 1
}

list_expected_files() {
  (cd "$case_dir/files" && find . -type f -print | sed 's|^\./||' | sort)
}

check_case() {
  ok=0
  for output in status stdout stderr ls-after; do
    check_output "$output" || ok=1
  done
  if [ -d "$case_dir/files" ]; then
    list_expected_files >"$scratch/$name/files"
    while read -r file; do
      if ! cmp -s "$case_dir/files/$file" "$work/$file"; then
        echo "--- $name: $file is not as files/$file holds"
        ok=1
      fi
    done <"$scratch/$name/files"
  fi
  return $ok
}

# Writes what the command did as the case's expected outputs. Empty outputs
# (and status 0) have no file; only files already under files/ are refreshed.
update_case() {
  if [ -n "${KVZPACK_EXPECTED_HERE:-}" ]; then
    update_override
    return
  fi
  for output in stdout stderr ls-after status; do
    if [ -s "$got/$output" ] && [ "$output:$(cat "$got/$output")" != status:0 ]; then
      cp "$got/$output" "$case_dir/$output"
    else
      rm -f "$case_dir/$output"
    fi
  done
  if [ -d "$case_dir/files" ]; then
    list_expected_files >"$scratch/$name/files"
    while read -r file; do
      if [ -f "$work/$file" ]; then
        cp "$work/$file" "$case_dir/files/$file"
      else
        echo "--- $name: the command left no $file; files/$file is kept"
      fi
    done <"$scratch/$name/files"
  fi
}

# Writes the outputs in which this system differs from the case's own
# expected ones under KVZPACK_EXPECTED_HERE, and removes the others there.
update_override() {
  for output in stdout stderr ls-after status; do
    own_expected "$output" >"$scratch/$name/expected"
    if cmp -s "$scratch/$name/expected" "$got/$output"; then
      rm -f "$KVZPACK_EXPECTED_HERE/$name/$output"
    else
      mkdir -p "$KVZPACK_EXPECTED_HERE/$name" && cp "$got/$output" "$KVZPACK_EXPECTED_HERE/$name/$output"
    fi
  done
  rmdir "$KVZPACK_EXPECTED_HERE/$name" 2>/dev/null
  return 0
}

# The reason the skip list gives for the case, if it names it.
skip_reason() {
  [ -n "${KVZPACK_SKIP_LIST:-}" ] && sed -n "s/^$name: //p" "$KVZPACK_SKIP_LIST" | grep .
}

passed=0
failed=0
skipped=0
for argument in "$@"; do
  case_dir=$(cd "$argument" && pwd) || exit 2
  name=$(basename "$case_dir")
  if [ ! -f "$case_dir/cmd" ]; then
    echo "--- $name: no cmd file" >&2
    exit 2
  fi
  if [ -f "$case_dir/plain-build-only" ] && [ "${KVZPACK_SANITIZED:-0}" = 1 ]; then
    echo "skipped $name: it needs a build without sanitizers"
    skipped=$((skipped + 1))
    continue
  fi
  if reason=$(skip_reason); then
    echo "skipped $name: $reason"
    skipped=$((skipped + 1))
    continue
  fi
  if ! run_command; then
    echo "--- $name: cannot set up the work folder" >&2
    exit 2
  fi
  if [ $update = 1 ]; then
    update_case
    echo "updated $name"
  elif check_case; then
    passed=$((passed + 1))
  else
    echo "FAILED $name"
    failed=$((failed + 1))
  fi
done
[ $update = 1 ] && exit 0
echo "$passed passed, $failed failed, $skipped skipped"
[ $failed = 0 ] || exit 1
# 77: every case was skipped (ctest's SKIP_RETURN_CODE).
[ $passed = 0 ] && [ $skipped -gt 0 ] && exit 77
exit 0
