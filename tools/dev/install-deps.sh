#!/bin/sh
# Installs the Debian 12 packages that building Sprig and running its native
# tests need, when any is missing: cmake, ninja-build, g++ and GoogleTest.
# Runs apt-get update first (a fresh container has no package lists). Uses
# sudo only when not root. Extra package names may be given as arguments.
#   tools/dev/install-deps.sh [PACKAGE...]
set -eu

packages="cmake ninja-build g++ libgtest-dev googletest $*"
missing=""
for p in $packages; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing="$missing $p"
  fi
done
if [ -z "$missing" ]; then
  echo "install-deps: all present:$(printf ' %s' $packages)"
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  as_root=""
elif command -v sudo >/dev/null 2>&1; then
  as_root="sudo"
else
  echo "install-deps: not root and no sudo; as root run: apt-get update && apt-get install -y$missing" >&2
  exit 1
fi
echo "install-deps: installing$missing"
export DEBIAN_FRONTEND=noninteractive
$as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q
# shellcheck disable=SC2086
$as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q $missing
