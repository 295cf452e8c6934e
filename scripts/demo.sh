#!/usr/bin/env bash
# The demo: mirrors the shipped sample market watch into a two-sheet workbook held by a
# headless office, then saves the workbook as demo-out/marketwatch.ods and
# demo-out/marketwatch.pdf. The office runs on a profile of its own and is shut down at
# the end; whatever still runs on that profile is killed on any way out.
#
# Environment: BUILD (build folder, default "build"), OFFICE (office program).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD:-build}
feed="$build/tools/corvane-feed/corvane-feed"
office=${OFFICE:-/usr/lib/libreoffice/program/soffice}
data=data/sample-marketwatch.csv
out=demo-out
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

# Processes whose command line mentions the demo's office profile.
office_processes() {
    local entry
    for entry in /proc/[0-9]*; do
        if tr '\0' ' ' <"$entry/cmdline" 2>/dev/null | grep -qF -- "$profile_url"; then
            echo "${entry#/proc/}"
        fi
    done
}

cleanup() {
    local status=$?
    local round pids
    for round in $(seq 1 50); do
        pids=$(office_processes)
        [ -z "$pids" ] && break
        if [ "$round" -gt 20 ]; then
            # shellcheck disable=SC2086
            kill -KILL $pids 2>/dev/null || true
        fi
        sleep 0.1
    done
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
cat >"$profile/user/registrymodifications.xcu" <<'XCU'
<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Setup/Product"><prop oor:name="ooSetupLastVersion" oor:op="fuse"><value>7.4</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="ShowTipOfTheDay" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="FirstRun" oor:op="fuse"><value>false</value></prop></item>
</oor:items>
XCU

# The workbook the market watch goes into: one empty sheet per exchange.
workbook="$work/marketwatch.fods"
cat >"$workbook" <<'FODS'
<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:body><office:spreadsheet>
<table:table table:name="NSE"/>
<table:table table:name="BSE"/>
</office:spreadsheet></office:body></office:document>
FODS

mkdir -p "$out"
rm -f "$out/marketwatch.ods" "$out/marketwatch.pdf"

ticks=$(($(wc -l <"$data") - 1))
echo "demo: streaming $ticks ticks from $data into the sheets NSE and BSE of a new workbook"
command_line="\"$office\" --headless --norestore \"-env:UserInstallation=$profile_url\" --accept=pipe,name=ooo_pipe;urp;StarOffice.ServiceManager"
# Each exchange's instruments go to its own sheet; each tick rewrites its instrument's row.
# The ticks arrive through a pipe, as from a live feed.
# shellcheck disable=SC2002
cat "$data" | "$feed" --follow --sheet-per-exchange --workbook "$workbook" \
    --command-line "$command_line" \
    --save-as "$out/marketwatch.ods" --save-as "$out/marketwatch.pdf"

for file in "$out/marketwatch.ods" "$out/marketwatch.pdf"; do
    if [ ! -s "$file" ]; then
        echo "demo: $file was not written" >&2
        exit 1
    fi
done
pages=""
if command -v pdfinfo >/dev/null; then
    pages=", $(pdfinfo "$out/marketwatch.pdf" | awk '/^Pages:/ {print $2}') pages"
fi
echo
echo "Done. The market watch is in:"
echo "  $PWD/$out/marketwatch.ods  ($(du -k "$out/marketwatch.ods" | cut -f1) KB: sheets NSE and BSE, a title row, one row per instrument)"
echo "  $PWD/$out/marketwatch.pdf  ($(du -k "$out/marketwatch.pdf" | cut -f1) KB$pages)"
