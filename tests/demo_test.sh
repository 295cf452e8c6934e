#!/usr/bin/env bash
# The demo as a newcomer runs it: it fails by itself when anything of its own is left
# running or behind, and its copy must keep the title row frozen on both sheets.
set -euo pipefail
build=$1
out=$(mktemp -d "${TMPDIR:-/tmp}/corvane-demo-test-XXXXXX")
trap 'rm -rf "$out"' EXIT
BUILD="$build" OUT="$out" "$(dirname "$0")/../scripts/demo.sh" >/dev/null
/usr/bin/python3 - "$out/marketwatch.ods" <<'PYTHON'
import re
import sys
import zipfile

settings = zipfile.ZipFile(sys.argv[1]).read("settings.xml").decode("utf-8")
for sheet in ("NSE", "BSE"):
    entry = re.search(r'config:name="%s">(.*?)</config:config-item-map-entry>' % sheet,
                      settings, re.S)
    items = dict(re.findall(r'config:name="(\w+)" config:type="\w+">([^<]*)<',
                            entry.group(1) if entry else ""))
    frozen = (items.get("HorizontalSplitMode"), items.get("VerticalSplitMode"),
              items.get("HorizontalSplitPosition"), items.get("VerticalSplitPosition"))
    if frozen != ("2", "2", "2", "1"):
        sys.exit("the demo's copy does not keep %s frozen at B1: %s" % (sheet, frozen))
PYTHON
