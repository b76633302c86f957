#!/usr/bin/env bash
# Builds the Debian package and checks it: its declared dependencies, its
# files unpacked into a scratch root, the C host example compiled with
# pkg-config against that root and run, and the Python host run through the
# packaged Python package. With --apt it also installs the
# package on this machine with apt-get, builds the C host against /usr and
# removes the package again.
#   scripts/package.sh [--apt] [build dir, default build]
set -euo pipefail
cd "$(dirname "$0")/.."
apt=0
if [ "${1:-}" = --apt ]; then apt=1; shift; fi
build=${1:-build}
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build"
rm -f "$build"/tarv-core_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(realpath "$build"/tarv-core_*.deb)
echo "package: $deb"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
! grep -q libgmp <<<"$depends" || fail "the package still depends on GMP"
# The library needs libc6 alone; the tool the libraries of its stores too.
for p in libc6 $([ -x "$build/tarv" ] && echo libprotobuf32 libsqlite3-0 libpq5 libssl3); do
  grep -qE "(^|, |\| )$p( |,|$)" <<<"$depends" || fail "no dependency on $p"
done
# docs/abi.md names each of them (each alternative of "a | b" too).
for p in $(sed -E 's/ \([^)]*\)//g; s/[,|]/ /g' <<<"$depends"); do
  grep -q "\`$p\`" docs/abi.md || fail "docs/abi.md does not name the dependency $p"
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
root=$tmp/root
dpkg -x "$deb" "$root"
[ "$(readlink "$root/usr/lib/libtarv_core.so.2")" = libtarv_core.so.2.0.1 ] || fail "soname link"
! readelf -S "$root/usr/lib/libtarv_core.so.2.0.1" | grep -q '\.debug_info' || fail "not stripped"
cc -std=c11 -Wall -Wextra -Werror examples/c/host.c \
  $(PKG_CONFIG_SYSROOT_DIR=$root PKG_CONFIG_LIBDIR=$root/usr/lib/pkgconfig \
    pkg-config --cflags --libs tarv_core) -o "$tmp/c_host"
LD_LIBRARY_PATH=$root/usr/lib "$tmp/c_host" | tee "$tmp/out"
grep -q '^deposit #1: status 0' "$tmp/out" || fail "C host against the unpacked package"
if [ -d "$build/python/tarv_core" ]; then
  pydir=$root/usr/lib/python3/dist-packages
  PYTHONPATH=$pydir /usr/bin/python3 examples/python/host.py >"$tmp/py.out" 2>/dev/null
  grep -q '^sale #2: status 0' "$tmp/py.out" || fail "Python host against the unpacked package"
fi

if ((apt)); then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  if dpkg-query -W -f='${Status}' tarv-core 2>/dev/null | grep -q 'ok installed'; then
    fail "tarv-core is already installed here"
  fi
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "$deb" >/dev/null
  trap 'rm -rf "$tmp"; $sudo apt-get purge -y -qq tarv-core >/dev/null' EXIT
  cc -std=c11 examples/c/host.c $(pkg-config --cflags --libs tarv_core) -o "$tmp/c_host_apt"
  "$tmp/c_host_apt" | grep -q '^sale #2: status 0' || fail "C host against the installed package"
  [ ! -x /usr/bin/tarv ] || ldd /usr/bin/tarv | grep -q 'libtarv_core.so.2 => /' ||
    fail "the installed tool does not find the library"
  echo "apt-get install: OK"
fi
echo "package: OK"
