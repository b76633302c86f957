#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the benchmarks
# need (chromium: the page test of tarv serve; postgresql: registers kept on
# a database server, tested against a throw-away cluster), and those named as
# arguments, when they are missing. Safe to run again.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config protobuf-compiler libprotobuf-dev libgmp-dev libssl-dev
          libfmt-dev nlohmann-json3-dev libsqlite3-dev googletest libgtest-dev libbenchmark-dev
          ccache python3-protobuf default-jdk-headless libjna-java libprotobuf-java
          libboost-dev libcli11-dev chromium libpq-dev postgresql "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
