#!/usr/bin/python3
"""What a Linux user would otherwise write: a Python UNO client that mirrors rows.

Connects to the office on the pipe "ooo_pipe", finds the open workbook by its URL and
writes rows of 42 values into a sheet, either one row per call with the full per-row
sequence (sheet lookup, range lookup, data-array read and write) or one data-array
write per block of rows. Prints the microseconds per row of each repetition, one per
line, so that the caller can take medians.
"""
import argparse
import sys
import time

import uno  # noqa: F401  (sets up the UNO bridge for the imports below)


def connect():
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext(
        "com.sun.star.bridge.UnoUrlResolver", local)
    manager = resolver.resolve("uno:pipe,name=ooo_pipe;urp;StarOffice.ServiceManager")
    office = manager.getPropertyValue("DefaultContext")
    return office.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", office)


def find_document(desktop, url):
    components = desktop.getComponents().createEnumeration()
    while components.hasMoreElements():
        document = components.nextElement()
        if hasattr(document, "getURL") and document.getURL() == url:
            return document
    sys.exit("no open document " + url)


def sample_row(i):
    row = ["NSE", "RELIANCE", 2885 + i % 7, 1200, 2450.5, 900, 2451.0, "", "", "",
           10, 2450.75, 1.5e6, 3.6e9, 2470.0, 2430.0, 2440.0, 2438.5, 54000, 61000,
           2449.9, 0, 0.0, 0, 0.5, 2900.0, 2100.0, 3100.0, 900.0, 1.6e12, 0.0, 2438.5]
    row += [0.0] * (42 - len(row))
    return tuple(row)


def per_row(document, sheet_name, rows, first_row):
    sheets = document.getSheets()
    for r in range(rows):
        sheet = sheets.getByName(sheet_name)
        row = first_row + r
        cells = sheet.getCellRangeByName("A%d:AP%d" % (row + 1, row + 1))
        cells.getDataArray()
        cells.setDataArray((sample_row(r),))


def per_block(document, sheet_name, rows, first_row, block):
    sheet = document.getSheets().getByName(sheet_name)
    for start in range(0, rows, block):
        count = min(block, rows - start)
        top = first_row + start
        cells = sheet.getCellRangeByName("A%d:AP%d" % (top + 1, top + count))
        cells.setDataArray(tuple(sample_row(start + i) for i in range(count)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--url", required=True)
    parser.add_argument("--sheet", required=True)
    parser.add_argument("--mode", choices=("rows", "block"), required=True)
    parser.add_argument("--rows", type=int, default=200)
    parser.add_argument("--block", type=int, default=100)
    parser.add_argument("--repeat", type=int, default=1)
    args = parser.parse_args()
    document = find_document(connect(), args.url)
    for _ in range(args.repeat):
        start = time.perf_counter()
        if args.mode == "rows":
            per_row(document, args.sheet, args.rows, 1)
        else:
            per_block(document, args.sheet, args.rows, 1, args.block)
        elapsed = time.perf_counter() - start
        print("%.3f" % (elapsed * 1e6 / args.rows), flush=True)


if __name__ == "__main__":
    main()
