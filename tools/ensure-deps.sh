#!/bin/sh
# Checks the Debian packages the build and tests need; installs the missing
# ones when run as root, otherwise prints the exact command and fails.
set -eu
packages="cmake make g++ pkg-config libgtest-dev libbenchmark-dev libpng-dev libicu-dev binutils srecord"
# Anki packages: SQLite, a zip reader and zstd; the tests' fixture generator
# runs the zstd program.
packages="$packages libsqlite3-dev libzip-dev libzstd-dev zstd"
[ "${KVZPACK_FUZZ_DEPS:-0}" = 1 ] && packages="$packages clang libclang-rt-dev"
[ "${KVZPACK_DEB_DEPS:-0}" = 1 ] && packages="$packages dpkg-dev lintian man-db"
# The Windows programs: Debian's mingw-w64 builds them, groff renders their
# manual pages as text, and Wine runs their tests (wine64, and wine for its
# wineserver and cmd).
[ "${KVZPACK_WINDOWS_DEPS:-0}" = 1 ] && packages="$packages g++-mingw-w64-x86-64-posix groff-base wine wine64"
[ "${KVZPACK_FONTGEN_DEPS:-0}" = 1 ] && packages="$packages libfreetype-dev fonts-misaki"
if [ "${KVZPACK_WEB_DEPS:-0}" = 1 ]; then
  packages="$packages emscripten chromium"
  # Any node with npm will do (node from elsewhere than Debian too).
  command -v node >/dev/null 2>&1 || packages="$packages nodejs"
  command -v npm >/dev/null 2>&1 || packages="$packages npm"
fi

missing=""
for p in $packages; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  case "$status" in
    *"install ok installed"*) ;;
    *) missing="$missing $p" ;;
  esac
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" = 0 ]; then
  echo "Installing missing packages:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # shellcheck disable=SC2086
  apt-get install -y -qq $missing
else
  echo "Missing Debian packages. Install them with:" >&2
  echo "  sudo apt-get install$missing" >&2
  exit 1
fi
