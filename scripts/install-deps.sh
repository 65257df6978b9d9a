#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and only those that are missing.
# Safe to run again: it asks dpkg first and calls apt-get only when something is absent.
set -euo pipefail

packages=(
  cmake
  make
  g++
  pkg-config
  libgtest-dev
  libgmock-dev
  libbenchmark-dev
  libsndfile1-dev
  libcairo2-dev
  fonts-dejavu-core
  libx11-dev
  libxtst-dev
  xvfb
  libasound2-dev
  libasound2-plugins
  libjack-jackd2-dev
  jackd2
  clang
  libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg -s "$p" >/dev/null 2>&1; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
