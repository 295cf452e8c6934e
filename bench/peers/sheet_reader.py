#!/usr/bin/python3
"""Another client of the office, reading the sheet a writer streams into.

    sheet_reader.py URL SHEET SECONDS

Connects to the office on the pipe "ooo_pipe", finds the open workbook whose URL is URL,
and for SECONDS seconds reads 20 rows of SHEET (A2:AP21) in one call every 20 ms, as a
person's macro or another tool would. Prints one line: the number of readings and the
p50, p99 and longest time one reading took, in milliseconds.
"""
import os
import sys
import time

from uno_peer import connect, find_document

EVERY = 0.020


url, name, seconds = sys.argv[1], sys.argv[2], float(sys.argv[3])
cells = find_document(connect(), url).Sheets.getByName(name).getCellRangeByName("A2:AP21")
took = []
end = time.monotonic() + seconds
next_read = time.monotonic()
while time.monotonic() < end:
    next_read += EVERY
    pause = next_read - time.monotonic()
    if pause > 0:
        time.sleep(pause)
    start = time.perf_counter()
    cells.getDataArray()
    took.append((time.perf_counter() - start) * 1000)
took.sort()
print("%d %.2f %.2f %.2f" % (len(took), took[len(took) // 2], took[len(took) * 99 // 100],
                             took[-1]) if took else "0 0 0 0")
sys.stdout.flush()
# The interpreter's own teardown of the UNO bridge can crash the process now and then,
# after the work is done.
os._exit(0)
