#!/usr/bin/env python3
"""Sums libFuzzer's -print_coverage report per source file of the project that the
target reaches: covered edges of the instrumented functions of each file (edges that
only exceptions take count too). Reads the fuzzer's log on stdin."""

import os
import re
import sys
from collections import defaultdict

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__))) + os.sep
covered = defaultdict(lambda: [0, 0])
line = re.compile(r"^(?:UN)?COVERED_FUNC: hits: \d+ edges: (\d+)/(\d+) .* (\S+):\d+$")
for text in sys.stdin:
    match = line.match(text.strip())
    if not match:
        continue
    path = os.path.normpath(match.group(3))
    if not path.startswith(root) or path.startswith(os.path.join(root, "build")):
        continue
    counts = covered[path[len(root):]]
    counts[0] += int(match.group(1))
    counts[1] += int(match.group(2))
for name in sorted(covered):
    hit, total = covered[name]
    if hit:
        print(f"  {name}: {hit}/{total} edges ({100 * hit / total:.0f}%)")
