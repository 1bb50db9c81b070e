#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the demo catalogue and the benchmarks need.
# Idempotent: packages already present are left as they are.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang pkg-config make
  qt6-base-dev qt6-webengine-dev
  zlib1g-dev libexpat1-dev libpugixml-dev libzip-dev libcurl4-openssl-dev libacl1-dev
  libgtest-dev libgmock-dev libbenchmark-dev libspdlog-dev
  default-jdk-headless xvfb xauth fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
