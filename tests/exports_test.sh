#!/usr/bin/env bash
# The library exports exactly the functions its two public headers declare.
set -euo pipefail
library=$1
include=$2

declared=$(python3 - "$include/corvane/corvane.hpp" "$include/corvane/corvane.h" <<'PY'
import re, sys
text = "".join(open(path).read() for path in sys.argv[1:])
text = re.sub(r"/\*.*?\*/|//[^\n]*|^\s*#[^\n]*", "", text, flags=re.S | re.M)
print("\n".join(sorted(set(re.findall(r"CORVANE_(?:C_)?API\b[^;(]*?(\w+)\s*\(", text)))))
PY
)
exported=$(nm -D --defined-only "$library" | awk '{print $3}' | sort -u)

if [ "$declared" != "$exported" ]; then
    echo "declared (<) and exported (>) differ:"
    diff <(echo "$declared") <(echo "$exported") || true
    exit 1
fi
echo "exports: $(echo "$exported" | wc -l) functions, as declared"
