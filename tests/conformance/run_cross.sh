#!/usr/bin/env bash
# Checks a cross build of scripts/cross.sh as a host on that platform sees it:
#
#   tests/conformance/run_cross.sh TARGET PREFIX
#
# 1. the library exports exactly the names of src/tarv_core.def and needs
#    nothing but the system's own libraries (objdump / readelf);
# 2. the replayer, built with the target's C compiler against PREFIX (on
#    Windows once with each import library), passes the corpus in order and
#    on four threads: under wine for the DLLs, under qemu-user for ARM;
# 3. on ARM, with TARV_SHAPES_DIR set, each hostile request shape there keeps
#    its heap bound (tests/conformance/heap_replay.cc).
# Installs wine (64- and 32-bit) or qemu-user when missing. Work files go to
# build-cross/TARGET/replay.
set -euo pipefail
if (($# != 2)); then
  echo "usage: $0 windows-x86_64|windows-i686|linux-aarch64|linux-armhf PREFIX" >&2
  exit 2
fi
target=$1
prefix=$(realpath "$2")
cd "$(dirname "$0")/../.."
root=$PWD
corpus=$root/tests/conformance/corpus.txt
work=$root/build-cross/$target/replay
mkdir -p "$work"
fail() {
  echo "run_cross $target: $*" >&2
  exit 1
}
# The eleven export names, sorted, from the .def file.
expected=$(sed -n '/^EXPORTS/,$p' src/tarv_core.def | awk 'NR > 1 && NF {print $1}' | sort)
cflags=(-std=c11 -O2 -Wall -Wextra -Wpedantic -Werror -I"$prefix/include")

case $target in
  windows-x86_64 | windows-i686)
    [ "$target" = windows-x86_64 ] && triple=x86_64-w64-mingw32 || triple=i686-w64-mingw32
    # wine64 runs the 64-bit DLL's replayers, wine32 (i386) the 32-bit one's.
    if [ "$target" = windows-x86_64 ]; then
      wine_packages=(wine wine64)
    else
      wine_packages=(wine wine32:i386)
      if ! dpkg --print-foreign-architectures | grep -qx i386; then
        [ "$(id -u)" -eq 0 ] && dpkg --add-architecture i386 || sudo dpkg --add-architecture i386
      fi
    fi
    # A Debian mirror caught mid-sync can refuse the i386 lists for a while:
    # the DLL's checks below still run, the replay under wine says it did not.
    have_wine=1
    scripts/setup.sh "${wine_packages[@]}" || have_wine=0
    dll=$prefix/bin/tarv_core.dll
    [ -f "$prefix/lib/libtarv_core.dll.a" ] && [ -f "$prefix/lib/tarv_core.lib" ] ||
      fail "an import library is missing under $prefix/lib"

    dump=$("$triple-objdump" -p "$dll")
    exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" |
      sed -n 's/^\s*\[\s*[0-9]*\] \(.*\)$/\1/p' | sort)
    [ "$exports" = "$expected" ] || fail "exports differ from the .def file: $(echo $exports)"
    imports=$(sed -n 's/^\s*DLL Name: //p' <<<"$dump" | tr 'A-Z' 'a-z' | sort -u)
    for name in $imports; do
      case $name in
        kernel32.dll | msvcrt.dll | advapi32.dll | user32.dll | ntdll.dll) ;;
        *) fail "tarv_core.dll imports $name, which Windows does not ship" ;;
      esac
    done
    echo "run_cross $target: exports $(wc -w <<<"$exports") names; imports $(echo $imports)"

    # One replayer per import library: MinGW's (-ltarv_core finds
    # libtarv_core.dll.a) and MSVC's (tarv_core.lib, made from the .def).
    cp "$dll" "$work/"
    "$triple-gcc-posix" "${cflags[@]}" tests/conformance/replay.c -L"$prefix/lib" -ltarv_core \
      -o "$work/replay.exe"
    "$triple-gcc-posix" "${cflags[@]}" tests/conformance/replay.c "$prefix/lib/tarv_core.lib" \
      -o "$work/replay-msvc-lib.exe"
    export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
    if [ -z "${WINEPREFIX:-}" ]; then
      export WINEPREFIX=$root/build-cross/wineprefix
    fi
    mkdir -p "$WINEPREFIX"
    cd "$work"
    # wine's own server can drop a client as it shuts down ("wine client
    # error: recvmsg"): such a run is run once more, after the server is
    # stopped; a replay that differs fails both times.
    if ((have_wine == 0)); then
      echo "run_cross $target: NOT REPLAYED under wine: ${wine_packages[*]} could not be" \
        "installed (apt's lines above); the DLL, its exports, imports and replayers were checked"
    fi
    for exe in replay.exe replay-msvc-lib.exe; do
      ((have_wine)) || break
      wine "$exe" ../../../tests/conformance/corpus.txt ||
        { wineserver -k || true; wine "$exe" ../../../tests/conformance/corpus.txt; }
    done
    ;;
  linux-aarch64 | linux-armhf)
    if [ "$target" = linux-aarch64 ]; then
      triple=aarch64-linux-gnu qemu=qemu-aarch64 package=crossbuild-essential-arm64
    else
      triple=arm-linux-gnueabihf qemu=qemu-arm package=crossbuild-essential-armhf
    fi
    scripts/setup.sh qemu-user "$package"
    lib=$prefix/lib/libtarv_core.so.2
    [ -L "$prefix/lib/libtarv_core.so" ] || fail "the libtarv_core.so link is missing"
    exports=$("$triple-nm" -D --defined-only "$lib" | awk '{print $3}' | sort)
    [ "$exports" = "$expected" ] || fail "exports differ from the .def file: $(echo $exports)"
    needed=$("$triple-readelf" -d "$lib" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort)
    for name in $needed; do
      case $name in
        libc.so.6 | libm.so.6 | ld-linux*) ;;
        *) fail "libtarv_core.so.2 needs $name" ;;
      esac
    done
    echo "run_cross $target: exports $(wc -w <<<"$exports") names; needs $(echo $needed)"
    "$triple-gcc" "${cflags[@]}" tests/conformance/replay.c -L"$prefix/lib" -ltarv_core -pthread \
      -Wl,-rpath,"$prefix/lib" -o "$work/replay"
    "$qemu" -L "/usr/$triple" "$work/replay" "$corpus"
    # The heap bound on this platform, on the hostile request shapes that the
    # native bound test wrote (TARV_SHAPES_OUT).
    if [ -n "${TARV_SHAPES_DIR:-}" ]; then
      "$triple-g++" -std=c++23 -O2 -Wall -Wextra -Werror -I"$root" -I"$prefix/include" \
        tests/conformance/heap_replay.cc bench/heap_meter.cc -L"$prefix/lib" -ltarv_core -ldl \
        -Wl,-rpath,"$prefix/lib" -o "$work/heap_replay"
      "$qemu" -L "/usr/$triple" "$work/heap_replay" "$TARV_SHAPES_DIR"
    fi
    ;;
  *)
    fail "unknown target"
    ;;
esac
