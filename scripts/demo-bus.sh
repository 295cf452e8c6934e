#!/usr/bin/env bash
# The bus demo: a desk per machine. Starts a NATS server with JetStream on a loopback
# port of its own, in a throw-away folder; publishes the shipped sample market watch into
# a key-value bucket with corvane-publish; then starts a feed that subscribes to that
# bucket, so that the bucket's snapshot fills a new two-sheet workbook in a headless
# office. Once the feed tells that every instrument is in, it is stopped with Ctrl-C
# (SIGINT), which saves demo-out/marketwatch-bus.ods; the demo checks that the copy
# holds every instrument at its last published tick. Everything the demo starts (the
# server, the feed and through it the office) is ended by the process id it holds, on
# any way out.
#
# Environment: BUILD (build folder, default "build"), OFFICE (office program), NATS_SERVER
# (default "nats-server"), OUT (where the copy goes, default "demo-out"), WAIT (the longest
# wait, in seconds, for the feed to take the snapshot, default 180).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD:-build}
feed="$build/tools/corvane-feed/corvane-feed"
publish="$build/tools/corvane-publish/corvane-publish"
office=${OFFICE:-/usr/lib/libreoffice/program/soffice}
server=${NATS_SERVER:-nats-server}
data=data/sample-marketwatch.csv
out=${OUT:-demo-out}
wait_seconds=${WAIT:-180}
lock=/tmp/corvane-office-tests.lock
bucket=marketwatch

for program in "$feed" "$publish"; do
    if [ ! -x "$program" ]; then
        echo "demo-bus: $program is missing: run 'make build' first" >&2
        exit 1
    fi
done
if ! command -v "$server" >/dev/null; then
    echo "demo-bus: no $server: run 'make deps' (or set NATS_SERVER)" >&2
    exit 1
fi
if [ ! -x "$office" ]; then
    echo "demo-bus: no office at $office: run 'make deps' (or set OFFICE)" >&2
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/corvane-demo-bus-XXXXXX")
server_pid=""
feed_pid=""
office_gone=""  # set once the feed's office was seen ended: its pid is then no longer ours

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

# The office the feed's table started, by the process id the feed notes.
office_pid() {
    sed -n 's/.*office pid \([0-9][0-9]*\).*/\1/p' "$work/feed.log" 2>/dev/null | tail -n 1
}

cleanup() {
    local status=$? office group
    # The feed ends the office it started itself, also on SIGTERM; should the feed have
    # to be killed, its office's process group goes too.
    if [ -n "$feed_pid" ]; then stop "$feed_pid" TERM; fi
    office=$(office_pid)
    if [ -z "$office_gone" ] && [ -n "$office" ] && kill -0 "$office" 2>/dev/null; then
        group=$(ps -o pgid= -p "$office" | tr -d ' ')
        # Its own group, which the table made; never the demo's.
        if [ -n "$group" ] && [ "$group" != "$(ps -o pgid= -p $$ | tr -d ' ')" ]; then
            kill -KILL -- "-$group" 2>/dev/null
        fi
    fi
    if [ -n "$server_pid" ]; then stop "$server_pid" TERM; fi
    rm -rf "$work"
    if [ "$status" -ne 0 ]; then echo "demo-bus: failed (status $status)" >&2; fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Office tests on this machine use the same pipe: wait until none runs.
exec 9>>"$lock"
if ! flock -n 9; then
    echo "demo-bus: waiting for the office tests that use the pipe \"ooo_pipe\"..."
    flock 9
fi

# shellcheck source=scripts/loopback-nats.sh
. "$(dirname "$0")/loopback-nats.sh"
start_loopback_nats demo-bus

ticks=$(($(wc -l <"$data") - 1))
echo "demo-bus: publishing $ticks ticks from $data into the bucket \"$bucket\""
"$publish" --nats "$url" --bucket "$bucket" "$data"

# The feed starts after the publisher: the bucket's snapshot fills its sheets.
mkdir -p "$out"
copy="$out/marketwatch-bus.ods"
rm -f "$copy"
echo "demo-bus: a feed subscribes to the bucket and mirrors it into a new workbook"
TMPDIR="$work" "$feed" --nats "$url" --bucket "$bucket" --sheet-per-exchange \
    --create-workbook --workbook "$work/marketwatch.ods" --save-as "$copy" --print-office-pid \
    2>"$work/feed.log" &
feed_pid=$!

# The feed notes when it has taken the whole snapshot.
deadline=$((SECONDS + wait_seconds))
until grep -q "snapshot of bucket \"$bucket\" complete" "$work/feed.log"; do
    if ! kill -0 "$feed_pid" 2>/dev/null || [ "$SECONDS" -ge "$deadline" ]; then
        echo "demo-bus: the feed did not take the bucket's snapshot:" >&2
        cat "$work/feed.log" >&2
        exit 1
    fi
    sleep 0.2
done

# Ctrl-C: the feed writes what it holds, saves its copy and ends its office.
kill -INT "$feed_pid"
feed_status=0
wait "$feed_pid" || feed_status=$?
feed_pid=""
cat "$work/feed.log"
if [ "$feed_status" -ne 0 ]; then
    echo "demo-bus: the feed ended with status $feed_status" >&2
    exit 1
fi
office=$(office_pid)
for _ in $(seq 1 100); do
    [ -n "$office" ] && kill -0 "$office" 2>/dev/null || break
    sleep 0.1
done
if [ -n "$office" ] && kill -0 "$office" 2>/dev/null; then
    echo "demo-bus: the feed's office (pid $office) still runs after the feed ended" >&2
    exit 1  # the clean-up ends it
fi
office_gone=1
stop "$server_pid" TERM
server_pid=""

# Every instrument of the sample is in the copy, on its exchange's sheet, at the last
# traded price of its last tick.
/usr/bin/python3 - "$data" "$copy" <<'PYTHON'
import csv
import sys
import zipfile
import xml.etree.ElementTree as ET

TABLE = "{urn:oasis:names:tc:opendocument:xmlns:table:1.0}"
OFFICE = "{urn:oasis:names:tc:opendocument:xmlns:office:1.0}"

expected = {}
with open(sys.argv[1], newline="") as data:
    for row in list(csv.reader(data))[1:]:
        expected[(row[0], row[2])] = float(row[11])

found = {}
root = ET.fromstring(zipfile.ZipFile(sys.argv[2]).read("content.xml"))
for table in root.iter(TABLE + "table"):
    sheet = table.get(TABLE + "name")
    for row in table.iter(TABLE + "table-row"):
        values = []
        for cell in row.iter(TABLE + "table-cell"):
            repeat = int(cell.get(TABLE + "number-columns-repeated", "1"))
            values.extend([cell.get(OFFICE + "value")] * min(repeat, 64))
            if len(values) >= 12:
                break
        if len(values) >= 12 and values[2] is not None and values[11] is not None:
            found[(sheet, str(int(float(values[2]))))] = float(values[11])

missing = [key for key in expected if key not in found]
stale = [key for key in expected if key in found and found[key] != expected[key]]
if missing or stale:
    sys.exit("demo-bus: the copy lacks %d instrument(s) %s and holds %d stale one(s) %s"
             % (len(missing), missing[:5], len(stale), stale[:5]))
print("demo-bus: the copy holds all %d instruments at their last tick" % len(expected))
PYTHON

if [ -n "$(find "$work" -mindepth 1 -maxdepth 1 -name 'corvane-*')" ]; then
    echo "demo-bus: an office profile of the feed was left behind" >&2
    exit 1
fi
echo
echo "Done. The market watch taken from the bus is in $(cd "$out" && pwd)/marketwatch-bus.ods"
