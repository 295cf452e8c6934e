#!/usr/bin/env bash
# Staleness through the bus beside the same load on standard input: INSTRUMENTS random
# instruments ticking at RATE ticks/s for DURATION seconds, for each load of LOADS
# ("instruments:rate" pairs), into an office the feed's table starts, at --interval
# INTERVAL. Through the bus the ticks go generator | corvane-publish -> NATS server
# (loopback, a port of its own) -> corvane-feed --nats --subject; on standard input,
# generator | corvane-feed --follow. Prints a table of the feed's own summary for each
# run: ticks/s in, rows/s written, p50 and p99 staleness (from the tick handed to the
# live table to its row written) and restarts.
# --quick: 3 s runs. Run it in a private /tmp when other offices share the machine.
set -euo pipefail
[ "${1:-}" = --quick ] && DURATION=${DURATION:-3}
BUILD=${BUILD:-build}
FEED=${FEED:-$BUILD/tools/corvane-feed/corvane-feed}
PUBLISH=${PUBLISH:-$BUILD/tools/corvane-publish/corvane-publish}
SERVER=${NATS_SERVER:-nats-server}
LOADS=${LOADS:-500:2000 5000:20000}
DURATION=${DURATION:-10}
INTERVAL=${INTERVAL:-100}
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

port=$(python3 -c 'import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])')
url="nats://127.0.0.1:$port"
"$SERVER" -a 127.0.0.1 -p "$port" >"$dir/server.log" 2>&1 &
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
    rm -f "$dir/w.fods" "$dir/out.csv" "$dir/ready" "$dir/log"
    "$FEED" --nats "$url" --subject 'md.>' --interval "$INTERVAL" --create-workbook \
        --workbook "$dir/w.fods" --sheet NSE --save-as "$dir/out.csv" --print-office-pid \
        >"$dir/log" 2>&1 &
    feed_pid=$!
    mark_when_up "$dir/log" "$dir/ready" || { cat "$dir/log"; exit 1; }
    generate "$dir/ready" "$instruments" "$rate" |
        "$PUBLISH" --nats "$url" --quiet >"$dir/publish.log" 2>&1 ||
        { cat "$dir/publish.log"; exit 1; }
    sleep 1  # the last ticks reach the feed
    kill -INT "$feed_pid"
    wait "$feed_pid" || { cat "$dir/log"; exit 1; }
    feed_pid=""
    echo "| $instruments | $rate | bus |$(row "$dir/log")"
done
