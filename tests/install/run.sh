#!/usr/bin/env bash
# Installs a build into a scratch prefix and checks what a vendor gets: the
# versioned library, the header, the schema, the pkg-config file and the CMake
# package, nothing pointing back at the build; then builds the C host with
# pkg-config and the C++ host with find_package, and runs them, the Python host
# through the installed package and a Java host through the installed jar
# against the installed library.
#   tests/install/run.sh <build dir>
set -euo pipefail
build=$(cd "${1:?build directory}" && pwd)
src=$(cd "$(dirname "$0")/../.." && pwd)
python=${PYTHON:-/usr/bin/python3}  # Debian's, for python3-protobuf
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >"$tmp/install.log"

# --- the layout ---
export PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name tarv_core.pc)")
libdir=$(pkg-config --variable=libdir tarv_core)
[ "$(pkg-config --modversion tarv_core)" = 2.0.1 ] || fail "pkg-config version"
[ "$(readlink "$libdir/libtarv_core.so")" = libtarv_core.so.2 ] || fail "libtarv_core.so link"
[ "$(readlink "$libdir/libtarv_core.so.2")" = libtarv_core.so.2.0.1 ] || fail "soname link"
readelf -d "$libdir/libtarv_core.so.2.0.1" | grep -q 'SONAME.*\[libtarv_core\.so\.2\]' ||
  fail "soname"
[ -f "$(pkg-config --variable=includedir tarv_core)/tarv_core.h" ] || fail "header"
protodir=$(pkg-config --variable=protodir tarv_core)
[ -f "$protodir/tarv_core.proto" ] || fail "schema"
if [ -x "$build/tarv" ]; then
  [ -x "$prefix/bin/tarv" ] || fail "the tool is not installed"
  loaded=$(ldd "$prefix/bin/tarv" | awk '/libtarv_core\.so\.2 =>/ {print $3}')
  [ "$(realpath "$loaded")" = "$(realpath "$libdir/libtarv_core.so.2")" ] ||
    fail "the installed tool loads ${loaded:-no libtarv_core}"
fi
if grep -rIl -e "$src" -e "$build" "$prefix"; then fail "installed files name the build tree"; fi
for f in $(find "$prefix" -type f); do
  if readelf -d "$f" 2>/dev/null | grep -E 'R(UN)?PATH' | grep -q -e "$src" -e "$build"; then
    fail "$f has a run path into the build tree"
  fi
done

# --- the hosts; the C and C++ ones print the same ---
cat >"$tmp/expected" <<'OUT'
tarv_core 2.0.1
deposit #1: status 0, sum 10000, document 56 bytes
  drawer BYN: cash_in 10000, income 0
sale #2: status 0, sum 250, document 196 bytes
  drawer BYN: cash_in 10250, income 250
sale #3: status 1, tarv.core.receipt.currency: Валюта не поддерживается
OUT

cc -std=c11 -Wall -Wextra -Wpedantic -Wconversion -Werror "$src/examples/c/host.c" \
  $(pkg-config --cflags --libs tarv_core) -o "$tmp/c_host"
LD_LIBRARY_PATH=$libdir "$tmp/c_host" >"$tmp/c.out"
diff -u "$tmp/expected" "$tmp/c.out" || fail "C host"

cmake -S "$src/examples/cpp" -B "$tmp/cpp" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_FLAGS="-Wall -Wextra -Werror" >"$tmp/cpp.log" || { cat "$tmp/cpp.log"; fail "C++ configure"; }
grep -q "^tarv_core_DIR:PATH=$prefix/" "$tmp/cpp/CMakeCache.txt" || fail "found another tarv_core"
cmake --build "$tmp/cpp" >>"$tmp/cpp.log" || { cat "$tmp/cpp.log"; fail "C++ build"; }
"$tmp/cpp/host" >"$tmp/cpp.out"  # the run path of the imported target
diff -u "$tmp/expected" "$tmp/cpp.out" || fail "C++ host"

# The Python and Java hosts also send bytes that are no request.
echo "sale #3: status 255" >>"$tmp/expected"

# The Python package, found on the path Debian's python3 reads, and the
# library it loads: the installed one beside it.
pydir=$prefix/lib/python3/dist-packages
if [ -d "$build/python/tarv_core" ]; then
  [ -f "$pydir/tarv_core/__init__.py" ] || fail "the Python package is not installed"
  PYTHONPATH=$pydir "$python" -c "import tarv_core; tarv_core.Library()" || fail "import tarv_core"
  # Another python3 first on the path (pyenv, a venv) takes Debian's protobuf.
  for other in $(type -ap python3); do
    PYTHONPATH=$pydir "$other" -c "import tarv_core; tarv_core.Library()" ||
      fail "import tarv_core with $other"
  done
  loaded=$(PYTHONPATH=$pydir "$python" -c "import tarv_core; print(tarv_core.Library().path)")
  [ "$(realpath "$loaded")" = "$(realpath "$libdir/libtarv_core.so.2")" ] ||
    fail "the Python package loads $loaded"
  PYTHONPATH=$pydir "$python" "$src/examples/python/host.py" >"$tmp/py.out" 2>"$tmp/py.err"
  diff -u "$tmp/expected" "$tmp/py.out" || fail "Python host"
  grep -q '^Error decoding input: DecodeError' "$tmp/py.err" || fail "no diagnostic for status 255"
fi
# The jar, compiled against and run with Debian's JNA and protobuf-java.
if [ -f "$build/bindings/java/tarv-core.jar" ]; then
  jar=$prefix/share/java/tarv-core.jar
  [ -f "$jar" ] || fail "the jar is not installed"
  cp=$jar:/usr/share/java/jna.jar:/usr/share/java/protobuf.jar
  mkdir "$tmp/java"
  javac -encoding UTF-8 -Werror -d "$tmp/java" -cp "$cp" "$src/examples/java/Host.java" ||
    fail "Java host build"
  java -Djna.library.path="$libdir" -cp "$cp:$tmp/java" Host >"$tmp/java.out" 2>"$tmp/java.err"
  diff -u "$tmp/expected" "$tmp/java.out" || fail "Java host"
fi
echo "install: layout, C, C++, Python and Java hosts OK"
