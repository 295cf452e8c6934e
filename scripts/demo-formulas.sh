#!/usr/bin/env bash
# The live-formulas demo: a trader's own sheet whose cells follow the bus. Starts a NATS
# server with JetStream on a loopback port of its own and publishes the shipped sample
# market watch into the bucket "marketwatch"; installs the extension corvane-live.oxt
# into a throw-away office profile and starts a headless office on it; creates a small
# workbook that calls LIVE in its cells (a portfolio of five instruments with their
# last traded price and %Change, its value by SUMPRODUCT, the RELIANCE spread between
# BSE and NSE) and LIVE.STATUS(); then publishes a few new ticks of those instruments and
# shows the cells following them. Saves the workbook as demo-out/live-formulas.ods and
# a picture of it as demo-out/live-formulas.png. Everything the demo starts (the
# server, the office's process group) is ended by the id it holds, on any way out.
#
# Environment: BUILD (build folder, default "build"), OFFICE (office program), NATS_SERVER
# (default "nats-server"), OUT (where the results go, default "demo-out"), WAIT (the
# longest wait, in seconds, for the cells to follow the bus, default 60).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD:-build}
publish="$build/tools/corvane-publish/corvane-publish"
extension="$build/corvane-live.oxt"
office=${OFFICE:-/usr/lib/libreoffice/program/soffice}
unopkg="$(dirname "$office")/unopkg"
server=${NATS_SERVER:-nats-server}
data=data/sample-marketwatch.csv
out=${OUT:-demo-out}
lock=/tmp/corvane-office-tests.lock
bucket=marketwatch
export WAIT=${WAIT:-60}

for file in "$publish" "$extension"; do
    if [ ! -e "$file" ]; then
        echo "demo-formulas: $file is missing: run 'make build' first" >&2
        exit 1
    fi
done
if ! command -v "$server" >/dev/null; then
    echo "demo-formulas: no $server: run 'make deps' (or set NATS_SERVER)" >&2
    exit 1
fi
if [ ! -x "$office" ] || [ ! -x "$unopkg" ]; then
    echo "demo-formulas: no office at $office: run 'make deps' (or set OFFICE)" >&2
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/corvane-demo-formulas-XXXXXX")
profile="$work/profile"
# The profile and the folder of extensions installed for every user of it: both
# throw-away, so the extension reaches neither this user's office nor the machine's.
office_env=("-env:UserInstallation=file://$profile" "-env:UNO_SHARED_PACKAGES_CACHE=file://$profile/shared")
server_pid=""
office_pid=""

# Ends the process `pid` the demo started: `signal` first, SIGKILL after 10 seconds.
stop() {
    local pid=$1 signal=$2 round
    kill "-$signal" "$pid" 2>/dev/null || return 0
    for round in $(seq 1 100); do
        kill -0 "$pid" 2>/dev/null || break
        [ "$round" -eq 100 ] && kill -KILL "$pid" 2>/dev/null
        sleep 0.1
    done
    wait "$pid" 2>/dev/null || true
}

cleanup() {
    local status=$? round
    if [ -n "$office_pid" ]; then
        # Ended by the workbook's script normally; its process group is killed when
        # anything went wrong.
        for round in $(seq 1 50); do
            kill -0 "$office_pid" 2>/dev/null || break
            [ "$round" -eq 1 ] && [ "$status" -ne 0 ] && kill -TERM -- "-$office_pid" 2>/dev/null
            [ "$round" -gt 20 ] && kill -KILL -- "-$office_pid" 2>/dev/null
            sleep 0.1
        done
        wait "$office_pid" 2>/dev/null || true
    fi
    if [ -n "$server_pid" ]; then stop "$server_pid" TERM; fi
    rm -rf "$work"
    if [ "$status" -ne 0 ]; then echo "demo-formulas: failed (status $status)" >&2; fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Office tests on this machine use the same pipe: wait until none runs.
exec 9>>"$lock"
if ! flock -n 9; then
    echo "demo-formulas: waiting for the office tests that use the pipe \"ooo_pipe\"..."
    flock 9
fi

# shellcheck source=scripts/loopback-nats.sh
. "$(dirname "$0")/loopback-nats.sh"
start_loopback_nats demo-formulas

ticks=$(($(wc -l <"$data") - 1))
echo "demo-formulas: publishing $ticks ticks from $data into the bucket \"$bucket\""
"$publish" --quiet --nats "$url" --bucket "$bucket" "$data"

# A fresh profile that skips the office's first-start work, with the extension in it.
echo "demo-formulas: installing $extension into a throw-away office profile"
mkdir -p "$profile/user"
cp data/office-profile.xcu "$profile/user/registrymodifications.xcu"
if ! "$unopkg" add --shared --suppress-license "${office_env[@]}" "$extension" \
        >"$work/unopkg.log" 2>&1; then
    echo "demo-formulas: unopkg could not install $extension:" >&2
    cat "$work/unopkg.log" >&2
    exit 1
fi

# The add-in's settings: the server and bucket above, from the environment alone (an
# empty configuration folder, so that no live.conf of this user is read).
mkdir -p "$work/config"
unset CORVANE_LIVE_USER CORVANE_LIVE_PASSWORD CORVANE_LIVE_TOKEN CORVANE_LIVE_CREDS \
    CORVANE_LIVE_CA CORVANE_LIVE_INTERVAL_MS

echo "demo-formulas: starting a headless office with the extension"
# The office, in a session and process group of its own whose id the demo holds.
XDG_CONFIG_HOME="$work/config" CORVANE_LIVE_URL="$url" CORVANE_LIVE_BUCKET="$bucket" \
    setsid "$office" --headless --norestore "${office_env[@]}" \
    "--accept=pipe,name=ooo_pipe;urp;StarOffice.ServiceManager" >/dev/null 2>&1 &
office_pid=$!

mkdir -p "$out"
rm -f "$out/live-formulas.ods" "$out/live-formulas.png"
workbook="$work/live-formulas.ods"
echo "demo-formulas: a workbook of LIVE formulas, as the bucket fills it:"
/usr/bin/python3 scripts/demo_formulas.py create "$workbook"

/usr/bin/python3 scripts/demo_formulas.py ticks "$data" "$work/ticks.csv"
echo
echo "demo-formulas: publishing $(($(wc -l <"$work/ticks.csv") - 1)) new ticks of its instruments; the cells follow:"
"$publish" --quiet --nats "$url" --bucket "$bucket" "$work/ticks.csv"
/usr/bin/python3 scripts/demo_formulas.py follow "$workbook" "$work/ticks.csv" \
    "$out/live-formulas.ods"
echo
echo "demo-formulas: rendering the sheet as $out/live-formulas.png"
/usr/bin/python3 scripts/render-sheet.py "$out/live-formulas.ods" Desk A1:G16 \
    "$work/live-formulas.pdf" --terminate
pdftoppm -png -r 110 -singlefile "$work/live-formulas.pdf" "$out/live-formulas"

# The workbook's script ended the office; nothing of it runs on.
for _ in $(seq 1 100); do
    kill -0 "$office_pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$office_pid" 2>/dev/null; then
    echo "demo-formulas: the office (pid $office_pid) still runs after it was ended" >&2
    exit 1  # the clean-up kills its process group
fi
wait "$office_pid" 2>/dev/null || true
office_pid=""
stop "$server_pid" TERM
server_pid=""

for file in "$out/live-formulas.ods" "$out/live-formulas.png"; do
    if [ ! -s "$file" ]; then
        echo "demo-formulas: $file was not written" >&2
        exit 1
    fi
done
shown=$(cd "$out" && pwd)
echo
echo "Done. The workbook is in:"
echo "  $shown/live-formulas.ods  (the LIVE formulas and their last values)"
echo "  $shown/live-formulas.png  (the sheet, as the office renders it)"
