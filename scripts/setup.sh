#!/usr/bin/env bash
# Installs the Debian packages a command needs, when they are missing, and
# those named as arguments. Safe to run again.
#   scripts/setup.sh            what the library and the tool build with (the
#                               main job, scripts/run.sh)
#   scripts/setup.sh --tests    that and what the tests and benchmarks use:
#                               GoogleTest, Google Benchmark, GMP (the crypto
#                               tests' reference), the bindings' Python and
#                               Java, chromium (the page test of tarv serve),
#                               postgresql (registers on a database server,
#                               tested against a throw-away cluster)
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config ccache protobuf-compiler libprotobuf-dev libssl-dev
          libfmt-dev nlohmann-json3-dev libsqlite3-dev libpq-dev libboost-dev libcli11-dev)
if [ "${1:-}" = --tests ]; then
  shift
  packages+=(googletest libgtest-dev libbenchmark-dev libgmp-dev python3-protobuf
             default-jdk-headless libjna-java libprotobuf-java chromium postgresql)
fi
packages+=("$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  # A mirror caught mid-sync fails an index now and then ("File has unexpected
  # size"): the update is tried again, and the install, which needs only the
  # lists that did arrive, is tried on whatever the last update gave.
  for try in 1 2 3; do
    $sudo apt-get -o DPkg::Lock::Timeout=600 update -qq && break
    echo "setup: apt-get update failed (try $try of 3)" >&2
    sleep $((try * 10))
  done
  for try in 1 2; do
    DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq \
      --no-install-recommends "${missing[@]}" && break
    ((try < 2)) || exit 1
    sleep 20
    $sudo apt-get -o DPkg::Lock::Timeout=600 update -qq || true
  done
fi
