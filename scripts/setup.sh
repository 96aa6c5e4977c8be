#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; does nothing when all are present.
# With --ci also what CI's checks need beyond that: clang 19 and its sanitizer and libFuzzer
# runtimes (a user's build never needs clang).
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config python3-dev python3-pytest libgtest-dev libgmp-dev
          libzstd-dev libfmt-dev libbenchmark-dev tzdata)
if [ "${1:-}" = "--ci" ]; then
  packages+=(clang-19 libclang-rt-19-dev)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
