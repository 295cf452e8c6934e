#!/usr/bin/env bash
# The demo: creates a two-sheet market-watch workbook, mirrors the shipped sample market
# watch into it in a headless office, then saves it as demo-out/marketwatch.ods and
# demo-out/marketwatch.pdf, and renders the top of its NSE sheet as
# demo-out/marketwatch.png. The office runs on a profile of its own and is shut down at
# the end; the demo starts it itself and kills what is left of it (its process group)
# on any way out.
#
# Environment: BUILD (build folder, default "build"), OFFICE (office program), OUT
# (where the results go, default "demo-out").
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD:-build}
feed="$build/tools/corvane-feed/corvane-feed"
office=${OFFICE:-/usr/lib/libreoffice/program/soffice}
data=data/sample-marketwatch.csv
out=${OUT:-demo-out}
lock=/tmp/corvane-office-tests.lock

if [ ! -x "$feed" ]; then
    echo "demo: $feed is missing: run 'make build' first" >&2
    exit 1
fi
if [ ! -x "$office" ]; then
    echo "demo: no office at $office: run 'make deps' (or set OFFICE)" >&2
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/corvane-demo-XXXXXX")
profile="$work/profile"
profile_url="file://$profile"

office_pid=""

cleanup() {
    local status=$?
    local round
    if [ -n "$office_pid" ]; then
        # Ended by the picture's script normally; killed when anything went wrong.
        for round in $(seq 1 50); do
            kill -0 "$office_pid" 2>/dev/null || break
            [ "$round" -gt 20 ] && kill -KILL -- "-$office_pid" 2>/dev/null
            sleep 0.1
        done
    fi
    rm -rf "$work"
    if [ "$status" -ne 0 ]; then echo "demo: failed (status $status)" >&2; fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Office tests on this machine use the same pipe: wait until none runs.
exec 9>>"$lock"
if ! flock -n 9; then
    echo "demo: waiting for the office tests that use the pipe \"ooo_pipe\"..."
    flock 9
fi

# A fresh profile that skips the office's first-start work.
mkdir -p "$profile/user"
cp data/office-profile.xcu "$profile/user/registrymodifications.xcu"

# The workbook the market watch goes into: created by the feed, one sheet per exchange.
workbook="$work/marketwatch.ods"

mkdir -p "$out"
rm -f "$out/marketwatch.ods" "$out/marketwatch.pdf" "$out/marketwatch.png"

ticks=$(($(wc -l <"$data") - 1))
echo "demo: streaming $ticks ticks from $data into the sheets NSE and BSE of a new workbook"
command_line="\"$office\" --headless --norestore \"-env:UserInstallation=$profile_url\" --accept=pipe,name=ooo_pipe;urp;StarOffice.ServiceManager"
# The office, in a session and process group of its own whose id the demo holds. The
# feed waits for it to accept (an office it would start for the same profile hands its
# arguments over to this one).
setsid "$office" --headless --norestore "-env:UserInstallation=$profile_url" \
    "--accept=pipe,name=ooo_pipe;urp;StarOffice.ServiceManager" >/dev/null 2>&1 &
office_pid=$!
# The feed creates the workbook with the sheets NSE and BSE; each exchange's instruments
# go to its own sheet, and each tick rewrites its instrument's row. The ticks arrive
# through a pipe, as from a live feed. The office stays for the picture below.
# The feed's own scratch folders (the profile of an office it starts to create the
# workbook) go into the work folder too.
# shellcheck disable=SC2002
cat "$data" | TMPDIR="$work" "$feed" --follow --sheet-per-exchange --create-workbook --workbook "$workbook" \
    --command-line "$command_line" --keep-office \
    --save-as "$out/marketwatch.ods" --save-as "$out/marketwatch.pdf"

# A picture of the top of the NSE sheet, rendered by the office, then ended.
/usr/bin/python3 scripts/render-sheet.py "$out/marketwatch.ods" NSE A1:Y24 "$work/top.pdf" --terminate
pdftoppm -png -r 110 -singlefile "$work/top.pdf" "$out/marketwatch"

# Nothing of the demo runs on: its office has ended, and an office left behind by any
# step would take the pipe within a few seconds of that.
for _ in $(seq 1 100); do
    kill -0 "$office_pid" 2>/dev/null || break
    sleep 0.1
done
if ! /usr/bin/python3 - <<'EOF'
import sys
import time

import uno

local = uno.getComponentContext()
resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
end = time.monotonic() + 6
while time.monotonic() < end:
    try:
        resolver.resolve("uno:pipe,name=ooo_pipe;urp;StarOffice.ComponentContext")
        sys.exit(1)
    except Exception:
        time.sleep(0.5)
EOF
then
    echo "demo: an office still accepts on the pipe \"ooo_pipe\" after the demo ended its own" >&2
    exit 1
fi
if [ -n "$(find "$work" -mindepth 1 -maxdepth 1 -name 'corvane-*')" ]; then
    echo "demo: an office profile of the feed was left behind" >&2
    exit 1
fi

for file in "$out/marketwatch.ods" "$out/marketwatch.pdf" "$out/marketwatch.png"; do
    if [ ! -s "$file" ]; then
        echo "demo: $file was not written" >&2
        exit 1
    fi
done
pages=""
if command -v pdfinfo >/dev/null; then
    pages=", $(pdfinfo "$out/marketwatch.pdf" | awk '/^Pages:/ {print $2}') pages"
fi
shown=$(cd "$out" && pwd)
echo
echo "Done. The market watch is in:"
echo "  $shown/marketwatch.ods  ($(du -k "$out/marketwatch.ods" | cut -f1) KB: sheets NSE and BSE, a title row, one row per instrument)"
echo "  $shown/marketwatch.pdf  ($(du -k "$out/marketwatch.pdf" | cut -f1) KB$pages)"
echo "  $shown/marketwatch.png  (the top of the NSE sheet)"
