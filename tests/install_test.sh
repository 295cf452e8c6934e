#!/usr/bin/env bash
# Installs the build into a temporary prefix and builds programs against the installed
# tree, with find_package(Corvane) and with pkg-config, then runs them; the Python
# module is imported from there too.
# Usage: install_test.sh BUILD_DIR CONSUMER_SOURCE_DIR
set -euo pipefail
build=$1
consumer=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/corvane-install-XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() { echo "FAILED: $*" >&2; exit 1; }
expect_output() {  # expected, command...
    local expected=$1; shift
    local got
    got=$("$@") || fail "$* exited with $?"
    [ "$got" = "$expected" ] || fail "$*: printed '$got', expected '$expected'"
}

cmake --install "$build" --prefix "$prefix" > "$work/install.log"

libdir=$(dirname "$(find "$prefix" -name 'libcorvane.so.1' -print -quit)")
[ -n "$libdir" ] || fail "no libcorvane.so.1 installed"
for f in "$libdir/libcorvane.so" "$prefix/include/corvane/corvane.h" \
         "$prefix/include/corvane/corvane.hpp" "$prefix/include/corvane/live_table.hpp" \
         "$libdir/cmake/Corvane/CorvaneConfig.cmake" \
         "$libdir/pkgconfig/corvane.pc" "$prefix/lib/python3/dist-packages/corvane/__init__.py"; do
    [ -e "$f" ] || fail "$f not installed"
done
feed_installed=false
if grep -q 'corvane-feed' "$work/install.log"; then
    feed_installed=true
fi

# find_package
cmake -S "$consumer" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_BUILD_TYPE=Release > "$work/configure.log" || { cat "$work/configure.log"; fail "configure"; }
cmake --build "$work/cmake-build" > "$work/build.log" || { cat "$work/build.log"; fail "build"; }
expect_output "0 0" "$work/cmake-build/consumer"
expect_output "0 Exchange" "$work/cmake-build/consumer_c"

# pkg-config, with the prefix moved: the .pc file finds it from its own folder.
mv "$prefix" "$work/moved"
prefix=$work/moved
libdir=$(dirname "$(find "$prefix" -name 'libcorvane.so.1' -print -quit)")
export PKG_CONFIG_PATH=$libdir/pkgconfig
read -r -a flags <<< "$(pkg-config --cflags --libs corvane)"
c++ -std=c++17 "$consumer/consumer.cpp" "${flags[@]}" \
    -Wl,-rpath,"$(pkg-config --variable=libdir corvane)" -o "$work/consumer-pc"
expect_output "0 0" "$work/consumer-pc"
cc "$consumer/consumer.c" "${flags[@]}" -Wl,-rpath,"$(pkg-config --variable=libdir corvane)" \
    -o "$work/consumer-pc-c"
expect_output "0 Exchange" "$work/consumer-pc-c"

# corvane-feed runs from the moved tree, finding the library of its own prefix.
if $feed_installed; then
    "$prefix/bin/corvane-feed" --help > "$work/feed-help.txt" 2>&1 ||
        { cat "$work/feed-help.txt"; fail "corvane-feed --help"; }
fi

# The Python module finds the installed library by itself.
expect_output "False" env -u CORVANE_LIBRARY PYTHONDONTWRITEBYTECODE=1 \
    PYTHONPATH="$prefix/lib/python3/dist-packages" /usr/bin/python3 -c \
    'import corvane; print(corvane.is_running())'

echo "install test passed"
