#!/usr/bin/env bash
# The Debian packages, as a desk machine's administrator meets them: built from the
# build folder, installed with apt-get, used (the tools and their manual page, C and C++
# programs built through pkg-config and find_package, the C one run against a real
# office, the Python module, the bundled extension's LIVE formula in a fresh profile),
# and removed again, leaving nothing of them behind. Needs root; leaves the machine as
# it found it, also when it fails, and leaves alone packages installed before it.
# Usage: package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
source_dir=$(cd "$2" && pwd)
packages=(libcorvane1 libcorvane-dev corvane-tools python3-corvane libreoffice-corvane-live)
office=/usr/lib/libreoffice/program/soffice
unopkg=/usr/lib/libreoffice/program/unopkg
server=nats-server
skip=77

fail() { echo "FAILED: $*" >&2; exit 1; }

if [ "$(id -u)" -ne 0 ]; then
    echo "package test: needs root to install packages; skipped"
    exit $skip
fi
for package in "${packages[@]}"; do
    if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q ' installed$'; then
        echo "package test: $package is installed already; it is left as it is, and the test skipped"
        exit $skip
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/corvane-package-XXXXXX")
installed=false
office_pid=""
server_pid=""

cleanup() {
    local status=$? round
    if [ -n "$office_pid" ]; then
        for round in $(seq 1 50); do
            kill -0 "$office_pid" 2>/dev/null || break
            [ "$round" -gt 20 ] && kill -KILL -- "-$office_pid" 2>/dev/null
            sleep 0.1
        done
        wait "$office_pid" 2>/dev/null || true
    fi
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    if $installed; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -q "${packages[@]}" >"$work/purge.log" 2>&1 ||
            { cat "$work/purge.log" >&2; status=1; }
    fi
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Office tests on this machine use the same pipe: wait until none runs.
exec 9>>/tmp/corvane-office-tests.lock
flock 9

cpack --config "$build/CPackConfig.cmake" -B "$work/packages" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack"; }
debs=()
for package in "${packages[@]}"; do
    deb=$(find "$work/packages" -maxdepth 1 -name "${package}_*.deb" -print -quit)
    [ -n "$deb" ] || fail "no package $package was built"
    debs+=("$deb")
done

# No package carries what lintian calls an error.
if command -v lintian >/dev/null; then
    lintian --fail-on error "${debs[@]}" \
        >"$work/lintian.log" 2>&1 || { cat "$work/lintian.log"; fail "lintian"; }
fi

installed=true
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${debs[@]}" \
    >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "apt-get install"; }
for package in "${packages[@]}"; do dpkg -L "$package" >>"$work/files"; done

# The tools and their manual page.
corvane-feed --help >"$work/help.txt" 2>&1 || { cat "$work/help.txt"; fail "corvane-feed --help"; }
MANPAGER=cat MANWIDTH=80 man corvane-feed >"$work/man.txt" 2>&1 || { cat "$work/man.txt"; fail "man corvane-feed"; }
grep -q -- '--follow' "$work/man.txt" || fail "man corvane-feed does not tell --follow"

# Programs built against the installed headers and library.
consumer=$source_dir/tests/install_consumer
cmake -S "$consumer" -B "$work/cmake-build" -DCMAKE_BUILD_TYPE=Release >"$work/configure.log" 2>&1 ||
    { cat "$work/configure.log"; fail "find_package(Corvane)"; }
cmake --build "$work/cmake-build" >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "build"; }
[ "$("$work/cmake-build/consumer")" = "0 0" ] || fail "the find_package C++ program"
read -r -a flags <<<"$(pkg-config --cflags --libs corvane)"
c++ -std=c++17 "$consumer/consumer.cpp" "${flags[@]}" -o "$work/consumer-pc"
cc "$consumer/consumer.c" "${flags[@]}" -o "$work/consumer-pc-c"
[ "$("$work/consumer-pc")" = "0 0" ] || fail "the pkg-config C++ program"

# The Python module, from Debian's interpreter alone.
[ "$(cd / && env -u CORVANE_LIBRARY -u PYTHONPATH /usr/bin/python3 -c \
    'import corvane; print(corvane.is_running())')" = "False" ] || fail "import corvane"

# A fresh profile lists the bundled extension.
profile=$work/profile
mkdir -p "$profile/user"
cp "$source_dir/data/office-profile.xcu" "$profile/user/registrymodifications.xcu"
"$unopkg" list --bundled "-env:UserInstallation=file://$profile" >"$work/bundled.txt" 2>&1 ||
    { cat "$work/bundled.txt"; fail "unopkg list --bundled"; }
grep -q 'org.corvane.live' "$work/bundled.txt" || { cat "$work/bundled.txt"; fail "no bundled extension"; }

# A bucket of the sample market watch on a loopback server, published by the tool.
# shellcheck source=scripts/loopback-nats.sh
. "$source_dir/scripts/loopback-nats.sh"
start_loopback_nats "package test" >/dev/null
corvane-publish --quiet --nats "$url" --bucket marketwatch "$source_dir/data/sample-marketwatch.csv"

# The office, on that profile, fed from the bucket.
mkdir -p "$work/config"
env -u CORVANE_LIVE_USER -u CORVANE_LIVE_PASSWORD -u CORVANE_LIVE_TOKEN -u CORVANE_LIVE_CREDS \
    -u CORVANE_LIVE_CA XDG_CONFIG_HOME="$work/config" CORVANE_LIVE_URL="$url" \
    CORVANE_LIVE_BUCKET=marketwatch setsid "$office" --headless --norestore \
    "-env:UserInstallation=file://$profile" \
    "--accept=pipe,name=ooo_pipe;urp;StarOffice.ServiceManager" >/dev/null 2>&1 &
office_pid=$!
/usr/bin/python3 "$source_dir/tests/package/live_formula.py" wait

# The C program writes into a workbook of that office and stores a copy.
steps=$("$work/consumer-pc-c" "$work/desk.ods" "$work/desk.csv")
[ "$steps" = "0 1 0 0 1" ] || fail "the C program against the office printed '$steps'"
grep -q '^"NSE","RELIANCE",2885,.*"2,475.56"' "$work/desk.csv" || { cat "$work/desk.csv"; fail "the record"; }

# The LIVE formula answers with the bucket's price, the sample's last for the instrument;
# the script then ends the office.
expected=$(/usr/bin/python3 -c 'import csv, sys
rows = [r for r in csv.reader(open(sys.argv[1])) if r[:1] == ["NSE"] and r[2] == "2885"]
print(float(rows[-1][11]))' "$source_dir/data/sample-marketwatch.csv")
price=$(/usr/bin/python3 "$source_dir/tests/package/live_formula.py" NSE 2885 "Last Traded Price")
[ "$price" = "$expected" ] || fail "LIVE answered '$price', not the bucket's $expected"

# Removed, nothing of them is left.
installed=false
DEBIAN_FRONTEND=noninteractive apt-get purge -y -q "${packages[@]}" >"$work/purge.log" 2>&1 ||
    { cat "$work/purge.log"; fail "apt-get purge"; }
for package in "${packages[@]}"; do
    if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'installed'; then
        fail "$package is still known to dpkg"
    fi
done
while read -r path; do
    case $path in
        */corvane* | */libcorvane* | */corvane-live* | */python3-corvane* | */libreoffice-corvane-live*)
            [ ! -e "$path" ] || fail "$path is left after the removal" ;;
    esac
done <"$work/files"
echo "package test passed"
