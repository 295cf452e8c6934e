#!/bin/sh
# corvane-feed --follow against a real office it starts: INSTRUMENTS instruments ticking
# at RATE ticks/s (random instruments) for DURATION seconds, rows paced by INTERVAL ms. Prints the
# feed's summary line: ticks/s in, rows/s out, p99 staleness (put to written), restarts.
# Run it in a private /tmp when other offices share the machine.
set -eu
FEED=${FEED:-build/tools/corvane-feed/corvane-feed}
INSTRUMENTS=${INSTRUMENTS:-500} RATE=${RATE:-2000} DURATION=${DURATION:-20} INTERVAL=${INTERVAL:-100}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
python3 - "$INSTRUMENTS" "$RATE" "$DURATION" <<'PY' |
import random, sys, time
count, rate, seconds = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
out, start, sent = sys.stdout, time.monotonic(), 0
while sent < rate * seconds:
    due = int((time.monotonic() - start) * rate) + 1 - sent
    for _ in range(max(due, 0)):
        k = random.randrange(count)
        out.write(f"NSE,I{k},{1000 + k},{sent},{100 + sent % 97}.5\n")
        sent += 1
    out.flush()
    time.sleep(0.005)
PY
"$FEED" --follow --interval "$INTERVAL" --create-workbook --workbook "$dir/w.fods" --sheet NSE \
    --save-as "$dir/out.csv" 2>&1 | grep -v '^corvane-feed: saved'
