#!/bin/sh
# corvane-feed --follow against a real office it starts: INSTRUMENTS instruments ticking
# at RATE ticks/s (random instruments) for DURATION seconds, once for each --interval of
# INTERVALS (milliseconds). Prints a table of the feed's own summary for each run: ticks/s
# read, rows/s written, p99 staleness (put to written) and office restarts.
# --quick: 3 s runs. Run it in a private /tmp when other offices share the machine.
set -eu
[ "${1:-}" = --quick ] && DURATION=${DURATION:-3}
FEED=${FEED:-build/tools/corvane-feed/corvane-feed}
INSTRUMENTS=${INSTRUMENTS:-500} RATE=${RATE:-2000} DURATION=${DURATION:-10}
INTERVALS=${INTERVALS:-250 100 0}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

echo "corvane-feed --follow, $INSTRUMENTS instruments at $RATE ticks/s for $DURATION s"
echo
echo "| --interval ms | ticks/s read | rows/s written | p99 staleness ms | restarts |"
echo "|---:|---:|---:|---:|---:|"
for interval in $INTERVALS; do
    rm -f "$dir/w.fods" "$dir/out.csv"
    python3 - "$INSTRUMENTS" "$RATE" "$DURATION" <<'PY' |
import fcntl, random, struct, sys, termios, time
count, rate, seconds = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
out = sys.stdout
# The clock starts once the feed reads: its office is up and its table open.
out.write("NSE,I0,1000,0,100.5\n")
out.flush()
while struct.unpack("i", fcntl.ioctl(1, termios.FIONREAD, b"\0" * 4))[0] > 0:
    time.sleep(0.01)
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
    "$FEED" --follow --interval "$interval" --create-workbook --workbook "$dir/w.fods" \
        --sheet NSE --save-as "$dir/out.csv" >"$dir/log" 2>&1 || { cat "$dir/log"; exit 1; }
    # "... s, 1999 ticks/s in, 1994 rows/s out, p99 staleness 126 ms, restarts 0, ..."
    sed -n 's/.* \([0-9]*\) ticks\/s in, \([0-9]*\) rows\/s out, p99 staleness \([0-9]*\) ms, restarts \([0-9]*\).*/| '"$interval"' | \1 | \2 | \3 | \4 |/p' \
        "$dir/log" | tail -n 1
done
