"""A person working in the market watch a live table streams into, in the office on
"ooo_pipe", as a process of its own:

    person_sorts.py work URL SHEET SORTS   turns five instrument rows into notes of the
                                           person's own ("MINE k" in B, the key columns
                                           emptied), inserts three rows of their own
                                           ("OWN k") between the rows, reads the sheet
                                           a second later, then sorts the rows by Last
                                           Traded Price SORTS times, a second apart,
                                           reading the sheet after each sort; prints
                                           what the readings found wrong
    person_sorts.py rows URL SHEET         prints columns A, B and C of every row below
                                           the titles, a row a line, tab-separated

Rows of instruments hold "I<n>-T<tick>" in B and the scrip code 100000 + n in C.
"""
import os
import sys
import time

import uno
from com.sun.star.beans import PropertyValue
from com.sun.star.table import TableSortField

NOTES = (10, 60, 120, 200, 333)  # rows (below the titles) turned into notes
OWN = (40, 150, 400)  # rows before which a row of the person's own is inserted


def text(value):
    return str(int(value)) if isinstance(value, float) and value == int(value) else str(value)


def open_sheet(url, name):
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext(
        "com.sun.star.bridge.UnoUrlResolver", local)
    context = resolver.resolve("uno:pipe,name=ooo_pipe;urp;StarOffice.ComponentContext")
    desktop = context.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop",
                                                               context)
    components = desktop.getComponents().createEnumeration()
    while components.hasMoreElements():
        document = components.nextElement()
        if document.getURL() == url:
            return document.Sheets.getByName(name)
    raise SystemExit("the workbook is not open: " + url)


def rows(sheet):
    cursor = sheet.createCursor()
    cursor.gotoEndOfUsedArea(False)
    last = cursor.getRangeAddress().EndRow
    return sheet.getCellRangeByPosition(0, 1, 41, max(last, 1)).getDataArray()


def wrong(cells):
    """What a reading finds wrong: rows whose fields are another instrument's, instruments
    in two rows, and the person's rows that are missing."""
    found, mixed, twice = set(), 0, 0
    notes = own = 0
    for row in cells:
        a, b, c = text(row[0]), text(row[1]), text(row[2])
        if not a and not c:
            notes += b.startswith("MINE ")
            own += b.startswith("OWN ")
            continue
        mixed += not b.startswith("I%d-T" % (int(c) - 100000))
        twice += (a, c) in found
        found.add((a, c))
    return mixed, twice, len(NOTES) - notes, len(OWN) - own


def work(sheet, sorts):
    for k, at in enumerate(NOTES):
        sheet.getCellRangeByPosition(0, 1 + at, 2, 1 + at).setDataArray((("", "MINE %d" % k, ""),))
    for k, at in enumerate(OWN):
        sheet.getRows().insertByIndex(1 + at + k, 1)
        sheet.getCellByPosition(1, 1 + at + k).setString("OWN %d" % k)
    # The rows inserted above the live ones move them while the table streams on.
    time.sleep(1)
    totals = list(wrong(rows(sheet)))
    for sort in range(sorts):
        field = TableSortField()
        field.Field = 11  # Last Traded Price
        field.IsAscending = sort % 2 == 0
        order = PropertyValue()
        order.Name, order.Value = "SortFields", uno.Any("[]com.sun.star.table.TableSortField",
                                                         (field,))
        cells = rows(sheet)
        sheet.getCellRangeByPosition(0, 1, 41, len(cells)).sort((order,))
        totals = [t + n for t, n in zip(totals, wrong(rows(sheet)))]
        time.sleep(1)
    print("mixed %d twice %d notes-missing %d own-missing %d" % tuple(totals))


command, url, name = sys.argv[1:4]
sheet = open_sheet(url, name)
if command == "work":
    work(sheet, int(sys.argv[4]))
else:
    for row in rows(sheet):
        print("\t".join(text(v) for v in row[:3]))
# The interpreter's own teardown of the UNO bridge can crash the process now and then,
# after the work is done.
sys.stdout.flush()
os._exit(0)
