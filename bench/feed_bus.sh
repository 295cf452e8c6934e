#!/usr/bin/env bash
# The feed through the bus, into an office the feed's table starts, three ways:
#
# Staleness beside the same load on standard input: INSTRUMENTS random instruments
# ticking at RATE ticks/s for DURATION seconds, for each load of LOADS
# ("instruments:rate" pairs), at --interval INTERVAL. Through the bus the ticks go
# generator | corvane-publish -> NATS server (loopback, a port of its own) ->
# corvane-feed --nats --subject; on standard input, generator | corvane-feed --follow.
# A table of the feed's own summary for each run: ticks/s in, rows/s written, p50 and
# p99 staleness (from the tick handed to the live table to its row written), restarts.
#
# Snapshot load: for each count of SNAPSHOTS, that many instruments published into a
# bucket, then corvane-feed --nats --bucket started on a new workbook. Times from the
# feed's start, taken from its notes as they are printed: the office up (workbook
# created, the table's office started, the workbook loaded), every instrument put
# (its note that the bucket's snapshot is complete; it is stopped then), and every row
# written and the copy saved (its note "saved"). The rows in that copy are counted.
#
# Message rate: a subject feed of RATE_INSTRUMENTS instruments, the publisher offering
# each rate of RATES for DURATION seconds, "max" being MAX_TICKS ticks from a file as
# fast as corvane-publish sends them. Ticks published (corvane-publish's count), ticks
# the server delivered to the feed (its monitoring) and slow-consumer drops, the
# messages/s in of the feed's summary and the ticks it took from its queue (fewer than
# delivered when it coalesced an instrument's ticks, newest kept).
#
# --quick: 3 s runs and 300,000 ticks at the top rate. Run it in a private /tmp when
# other offices share the machine.
set -euo pipefail
if [ "${1:-}" = --quick ]; then
    DURATION=${DURATION:-3}
    MAX_TICKS=${MAX_TICKS:-300000}
fi
BUILD=${BUILD:-build}
FEED=${FEED:-$BUILD/tools/corvane-feed/corvane-feed}
PUBLISH=${PUBLISH:-$BUILD/tools/corvane-publish/corvane-publish}
SERVER=${NATS_SERVER:-nats-server}
LOADS=${LOADS:-500:2000 5000:20000}
DURATION=${DURATION:-10}
INTERVAL=${INTERVAL:-100}
SNAPSHOTS=${SNAPSHOTS:-5000 50000}
RATE_INSTRUMENTS=${RATE_INSTRUMENTS:-500}
RATES=${RATES:-20000 50000 100000 max}
MAX_TICKS=${MAX_TICKS:-1000000}
dir=$(mktemp -d)
server_pid=""
feed_pid=""

# Ends a process this script started: SIGTERM, SIGKILL after 10 s.
stop() {
    local pid=$1 round
    kill -TERM "$pid" 2>/dev/null || return 0
    for round in $(seq 1 100); do
        kill -0 "$pid" 2>/dev/null || break
        [ "$round" -eq 100 ] && kill -KILL "$pid" 2>/dev/null
        sleep 0.1
    done
    wait "$pid" 2>/dev/null || true
}
cleanup() {
    local office group
    if [ -n "$feed_pid" ]; then
        stop "$feed_pid"
        # Should the feed have been killed, the office its table started goes too (its
        # own process group, by the process id the feed noted).
        office=$(sed -n 's/.*office pid \([0-9][0-9]*\).*/\1/p' "$dir/log" 2>/dev/null | tail -n 1)
        if [ -n "$office" ] && kill -0 "$office" 2>/dev/null; then
            group=$(ps -o pgid= -p "$office" | tr -d ' ')
            if [ -n "$group" ] && [ "$group" != "$(ps -o pgid= -p $$ | tr -d ' ')" ]; then
                kill -KILL -- "-$group" 2>/dev/null
            fi
        fi
    fi
    if [ -n "$server_pid" ]; then stop "$server_pid"; fi
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

read -r port monitor < <(python3 -c 'import socket
s, m = socket.socket(), socket.socket()
s.bind(("127.0.0.1", 0))
m.bind(("127.0.0.1", 0))
print(s.getsockname()[1], m.getsockname()[1])')
url="nats://127.0.0.1:$port"
# JetStream for the buckets, its store in the temporary folder; monitoring for the
# counts of messages the server delivered.
"$SERVER" -a 127.0.0.1 -p "$port" -m "$monitor" -js -sd "$dir/js" >"$dir/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 1 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    sleep 0.1
done

# The ticks: RATE a second for DURATION seconds, once the file `$1` exists (the feed is
# up and its table open).
generate() {
    python3 - "$1" "$2" "$3" "$DURATION" <<'PY'
import os, random, sys, time
ready, count, rate, seconds = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), float(sys.argv[4])
while not os.path.exists(ready):
    time.sleep(0.05)
out = sys.stdout
start, sent = time.monotonic(), 0
while sent < rate * seconds:
    due = int((time.monotonic() - start) * rate) + 1 - sent
    for _ in range(max(due, 0)):
        k = random.randrange(count)
        out.write(f"NSE,I{k},{1000 + k},{sent},{100 + sent % 97}.5\n")
        sent += 1
    out.flush()
    time.sleep(0.005)
PY
}

# Waits until the feed notes its office (its table is then open), then marks `$2`.
mark_when_up() {
    local log=$1 ready=$2
    for _ in $(seq 1 1200); do
        if grep -q "office pid" "$log" 2>/dev/null; then
            touch "$ready"
            return 0
        fi
        sleep 0.05
    done
    return 1
}

# "..., 1999 ticks/s in, 1994 rows/s out, p99 staleness 126 ms, restarts 0, reconnects 0,
# p50 staleness 40 ms"
# Starts a feed subscribed to every md subject into a new workbook, and waits until its
# table is open ($dir/ready then exists).
start_subject_feed() {
    rm -f "$dir/w.fods" "$dir/out.csv" "$dir/ready" "$dir/log"
    "$FEED" --nats "$url" --subject 'md.>' --interval "$INTERVAL" --create-workbook \
        --workbook "$dir/w.fods" --sheet NSE --save-as "$dir/out.csv" --print-office-pid \
        >"$dir/log" 2>&1 &
    feed_pid=$!
    mark_when_up "$dir/log" "$dir/ready" || { cat "$dir/log"; exit 1; }
}

row() {
    sed -n 's/.* \([0-9]*\) ticks\/s in, \([0-9]*\) rows\/s out, p99 staleness \([0-9]*\) ms, restarts \([0-9]*\), reconnects [0-9]*, p50 staleness \([0-9]*\) ms.*/ \1 | \2 | \5 | \3 | \4 |/p' \
        "$1" | tail -n 1
}

echo "corvane-feed, --interval $INTERVAL, $DURATION s per run"
echo
echo "| instruments | ticks/s offered | input | ticks/s in | rows/s written | p50 staleness ms | p99 staleness ms | restarts |"
echo "|---:|---:|---|---:|---:|---:|---:|---:|"
for load in $LOADS; do
    instruments=${load%%:*}
    rate=${load##*:}

    # Standard input.
    rm -f "$dir/w.fods" "$dir/out.csv" "$dir/ready" "$dir/log"
    (mark_when_up "$dir/log" "$dir/ready" &
     generate "$dir/ready" "$instruments" "$rate") |
        "$FEED" --follow --interval "$INTERVAL" --create-workbook --workbook "$dir/w.fods" \
            --sheet NSE --save-as "$dir/out.csv" --print-office-pid >"$dir/log" 2>&1 ||
        { cat "$dir/log"; exit 1; }
    echo "| $instruments | $rate | stdin |$(row "$dir/log")"

    # The bus: the feed subscribes first, the ticks are published once its table is open.
    start_subject_feed
    generate "$dir/ready" "$instruments" "$rate" |
        "$PUBLISH" --nats "$url" --quiet >"$dir/publish.log" 2>&1 ||
        { cat "$dir/publish.log"; exit 1; }
    sleep 1  # the last ticks reach the feed
    kill -INT "$feed_pid"
    wait "$feed_pid" || { cat "$dir/log"; exit 1; }
    feed_pid=""
    echo "| $instruments | $rate | bus |$(row "$dir/log")"
done

# Each line read, with the time it came (seconds since the epoch) before it.
stamp() {
    local line
    while IFS= read -r line; do printf '%s %s\n' "$EPOCHREALTIME" "$line"; done
}

# The time of the first line of the stamped log `$1` holding `$2`, waiting up to `$3`
# seconds for it.
stamp_of() {
    local at round
    for round in $(seq 1 $(($3 * 50))); do
        at=$(grep -F -m 1 -- "$2" "$1" 2>/dev/null | cut -d ' ' -f 1)
        if [ -n "$at" ]; then
            echo "$at"
            return 0
        fi
        sleep 0.02
    done
    return 1
}

# Seconds from `$1` to `$2`.
elapsed() { awk -v from="$1" -v to="$2" 'BEGIN { printf "%.2f", to - from }'; }

echo
echo "Snapshot load: corvane-feed --nats --bucket on a new workbook, one sheet, --interval $INTERVAL; seconds"
echo
echo "| instruments | office start | every instrument put | rows written, copy saved | load (office up to copy saved) | total | rows in the copy |"
echo "|---:|---:|---:|---:|---:|---:|---:|"
for count in $SNAPSHOTS; do
    bucket="snapshot$count"
    python3 -c 'import sys
for k in range(int(sys.argv[1])):
    print(f"NSE,I{k},{1000 + k},1,{100 + k % 97}.5")' "$count" >"$dir/snapshot.csv"
    "$PUBLISH" --nats "$url" --bucket "$bucket" --quiet "$dir/snapshot.csv" \
        >"$dir/publish.log" 2>&1 || { cat "$dir/publish.log"; exit 1; }

    rm -f "$dir/w.fods" "$dir/out.csv" "$dir/log"
    start=$EPOCHREALTIME
    "$FEED" --nats "$url" --bucket "$bucket" --interval "$INTERVAL" --create-workbook \
        --workbook "$dir/w.fods" --sheet NSE --save-as "$dir/out.csv" --print-office-pid \
        >"$dir/out.log" 2> >(stamp >"$dir/log") &
    feed_pid=$!
    up=$(stamp_of "$dir/log" "office pid" 120) || { cat "$dir/log"; exit 1; }
    put=$(stamp_of "$dir/log" "snapshot of bucket" 300) || { cat "$dir/log"; exit 1; }
    kill -INT "$feed_pid"
    wait "$feed_pid" || { cat "$dir/log"; exit 1; }
    feed_pid=""
    saved=$(stamp_of "$dir/log" "corvane-feed: saved " 10) || { cat "$dir/log"; exit 1; }
    rows=$(grep -c '^"\?NSE"\?,' "$dir/out.csv" || true)
    echo "| $count | $(elapsed "$start" "$up") | $(elapsed "$up" "$put") |" \
        "$(elapsed "$put" "$saved") | $(elapsed "$up" "$saved") | $(elapsed "$start" "$saved") |" \
        "$rows |"
done

# The messages the server delivered to the feed's connection, and the server's
# slow consumers so far.
delivered() {
    python3 - "$monitor" <<'PY'
import json, sys, urllib.request
base = f"http://127.0.0.1:{sys.argv[1]}"
connections = json.load(urllib.request.urlopen(base + "/connz?limit=1024"))["connections"]
feed = sum(c.get("out_msgs", 0) for c in connections if c.get("name") == "corvane-feed")
print(feed, json.load(urllib.request.urlopen(base + "/varz")).get("slow_consumers", 0))
PY
}

echo
echo "Message rate: corvane-feed --nats --subject, $RATE_INSTRUMENTS instruments, --interval $INTERVAL; max: $MAX_TICKS ticks from a file"
echo
echo "| ticks/s offered | ticks published | published ticks/s | delivered to the feed | slow-consumer drops | feed's messages/s in | feed's run s | messages taken |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|"
python3 -c 'import random, sys
count, ticks = int(sys.argv[1]), int(sys.argv[2])
out = sys.stdout
for sent in range(ticks):
    k = random.randrange(count)
    out.write(f"NSE,I{k},{1000 + k},{sent},{100 + sent % 97}.5\n")' \
    "$RATE_INSTRUMENTS" "$MAX_TICKS" >"$dir/ticks.csv"
for rate in $RATES; do
    start_subject_feed
    read -r _ slow_before < <(delivered)
    start=$EPOCHREALTIME
    if [ "$rate" = max ]; then
        "$PUBLISH" --nats "$url" "$dir/ticks.csv" >"$dir/publish.log" 2>&1 ||
            { cat "$dir/publish.log"; exit 1; }
    else
        generate "$dir/ready" "$RATE_INSTRUMENTS" "$rate" |
            "$PUBLISH" --nats "$url" >"$dir/publish.log" 2>&1 ||
            { cat "$dir/publish.log"; exit 1; }
    fi
    end=$EPOCHREALTIME
    published=$(sed -n 's/^published \([0-9]*\),.*/\1/p' "$dir/publish.log")
    # Up to 5 s for the server to deliver the last ticks.
    for _ in $(seq 1 50); do
        read -r got slow < <(delivered)
        [ "$got" -ge "$published" ] && break
        sleep 0.1
    done
    kill -INT "$feed_pid"
    wait "$feed_pid" || { cat "$dir/log"; exit 1; }
    feed_pid=""
    summary=$(grep -m 1 ' messages read' "$dir/log")
    taken=$(sed -n 's/.* \([0-9]*\) messages read.*/\1/p' <<<"$summary")
    seconds=$(sed -n 's/.*; \([0-9.]*\) s, .*/\1/p' <<<"$summary")
    in=$(sed -n 's/.* \([0-9]*\) messages\/s in.*/\1/p' <<<"$summary")
    echo "| $rate | $published | $(awk -v n="$published" -v from="$start" -v to="$end" \
        'BEGIN { printf "%.0f", n / (to - from) }') | $got | $((slow - slow_before)) |" \
        "$in | $seconds | $taken |"
done
