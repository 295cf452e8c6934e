#!/usr/bin/python3
"""The workbook of `make demo-formulas`: a trader's own sheet of live formulas, in the
office that accepts on the pipe "ooo_pipe" (with the extension corvane-live installed).

    demo_formulas.py ticks SAMPLE.csv OUT.csv
        writes a few new ticks of the sheet's instruments (from their last records in
        SAMPLE.csv, at other prices) for the publisher
    demo_formulas.py create WORKBOOK.ods
        creates the sheet, waits until every LIVE cell holds a value and LIVE.STATUS()
        tells "live", prints it and stores it as WORKBOOK.ods; the document stays open
    demo_formulas.py follow WORKBOOK.ods TICKS.csv OUT.ods
        waits until the open WORKBOOK.ods shows the prices of TICKS.csv, prints it, saves
        it as OUT.ods and closes it (render-sheet.py renders the copy)

The cells only hold formulas and read values: this client never touches the add-in's
own objects (it has no type library for them).
"""

import csv
import os
import sys
import time
import urllib.parse

import uno
from com.sun.star.beans import PropertyValue
from com.sun.star.lang import Locale

SHEET = "Desk"
RANGE = "A1:G16"
WAIT_SECONDS = float(os.environ.get("WAIT", "60"))

# The portfolio: exchange, scrip code, quantity held.
PORTFOLIO = [
    ("NSE", 2885, 50),    # RELIANCE INDUSTRIES
    ("NSE", 11536, 20),   # TATA CONSULTANCY SERVICES
    ("NSE", 1594, 100),   # INFOSYS
    ("NSE", 1333, 60),    # HDFC BANK
    ("NSE", 3045, 200),   # STATE BANK OF INDIA
]
# One company on both exchanges, for the spread.
SPREAD = [("NSE", 2885), ("BSE", 500325)]
FIRST_ROW = 6  # the portfolio's first row, 1-based

# The new last traded prices the ticks bring, by instrument.
MOVES = {
    ("NSE", "2885"): 12.35,
    ("BSE", "500325"): 4.10,
    ("NSE", "11536"): -21.40,
    ("NSE", "1594"): 8.85,
    ("NSE", "1333"): -5.60,
    ("NSE", "3045"): 3.15,
}

# Columns of a market-watch record (0-based).
LTP, HIGH, LOW, CLOSE, CHANGE = 11, 14, 15, 17, 24


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


def write_ticks(sample, out):
    with open(sample, newline="") as data:
        rows = list(csv.reader(data))
    last = {}
    for row in rows[1:]:
        key = (row[0], row[2])
        if key in MOVES:
            last[key] = row
    with open(out, "w", newline="") as ticks:
        writer = csv.writer(ticks, lineterminator="\n")
        writer.writerow(rows[0])
        for key, move in MOVES.items():
            row = list(last[key])
            price = round(float(row[LTP]) + move, 2)
            close = float(row[CLOSE])
            row[LTP] = "%.2f" % price
            row[HIGH] = "%.2f" % max(float(row[HIGH]), price)
            row[LOW] = "%.2f" % min(float(row[LOW]), price)
            row[CHANGE] = "%.2f" % ((price - close) / close * 100)
            writer.writerow(row)
    return 0


def connect():
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext(
        "com.sun.star.bridge.UnoUrlResolver", local)
    end = time.monotonic() + WAIT_SECONDS
    while True:
        try:
            office = resolver.resolve("uno:pipe,name=ooo_pipe;urp;StarOffice.ComponentContext")
            break
        except Exception:
            if time.monotonic() > end:
                raise SystemExit("demo-formulas: the office did not accept on the pipe \"ooo_pipe\"")
            time.sleep(0.5)
    return office.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", office)


def url_of(path):
    return "file://" + urllib.parse.quote(os.path.abspath(path))


def number_format(document, code):
    formats = document.NumberFormats
    locale = Locale()
    key = formats.queryKey(code, locale, False)
    return key if key != -1 else formats.addNew(code, locale)


def style(cells, **properties):
    for name, value in properties.items():
        cells.setPropertyValue(name, value)


def gain_or_loss(document, cells):
    """%Change in green above 0 and in red below, by a conditional format."""
    styles = document.StyleFamilies.getByName("CellStyles")
    for name, colour in (("Gain", 0x007A33), ("Loss", 0xC00000)):
        if not styles.hasByName(name):
            cell_style = document.createInstance("com.sun.star.style.CellStyle")
            styles.insertByName(name, cell_style)
            cell_style.ParentStyle = "Default"
            cell_style.CharColor = colour
    conditions = cells.ConditionalFormat
    for operator, style_name in (("GREATER", "Gain"), ("LESS", "Loss")):
        conditions.addNew((
            prop("Operator", uno.Enum("com.sun.star.sheet.ConditionOperator", operator)),
            prop("Formula1", "0"),
            prop("StyleName", style_name)))
    cells.ConditionalFormat = conditions


def fill(document):
    sheets = document.Sheets
    sheets.getByIndex(0).Name = SHEET
    sheet = sheets.getByName(SHEET)

    def put(address, content):
        cell = sheet.getCellRangeByName(address)
        if isinstance(content, str) and content.startswith("="):
            # The names a person types, in the office's own language.
            cell.FormulaLocal = content
        elif isinstance(content, str):
            cell.String = content
        else:
            cell.Value = content

    put("A1", "My desk: live prices from the bus")
    style(sheet.getCellRangeByName("A1"), CharWeight=150.0, CharHeight=14.0)
    put("A2", "Feed")
    put("B2", "=LIVE.STATUS()")
    put("A3", "Values followed")
    # B3 (LIVE.SUBSCRIPTIONS) is set once the LIVE cells follow: it counts the values they
    # follow when it is computed.
    style(sheet.getCellRangeByName("B3"),  # beside the status, not at the column's right
          HoriJustify=uno.Enum("com.sun.star.table.CellHoriJustify", "LEFT"))

    titles = ["Instrument", "Exchange", "Code", "Last Traded Price", "%Change", "Quantity", "Value"]
    for column, title in enumerate(titles):
        put("%s5" % "ABCDEFG"[column], title)
    last_row = FIRST_ROW + len(PORTFOLIO) - 1
    for offset, (exchange, code, quantity) in enumerate(PORTFOLIO):
        r = FIRST_ROW + offset
        put("A%d" % r, '=LIVE(B%d;C%d;"Description")' % (r, r))
        put("B%d" % r, exchange)
        put("C%d" % r, code)
        put("D%d" % r, '=LIVE(B%d;C%d;"Last Traded Price")' % (r, r))
        put("E%d" % r, '=LIVE(B%d;C%d;"%%Change")' % (r, r))
        put("F%d" % r, quantity)
        put("G%d" % r, "=D%d*F%d" % (r, r))
    total = last_row + 1
    put("A%d" % total, "Portfolio value")
    put("G%d" % total, "=SUMPRODUCT(F%d:F%d;D%d:D%d)" % (FIRST_ROW, last_row, FIRST_ROW, last_row))

    # The spread block, with the field given by its column letters and by its number.
    head = total + 2
    for column, title in enumerate(["Spread", "Exchange", "Code", "Last Traded Price"]):
        put("%s%d" % ("ABCD"[column], head), title)
    for offset, (exchange, code) in enumerate(SPREAD):
        r = head + 1 + offset
        put("A%d" % r, '=LIVE(B%d;C%d;"B")' % (r, r))
        put("B%d" % r, exchange)
        put("C%d" % r, code)
        put("D%d" % r, "=LIVE(B%d;C%d;12)" % (r, r))
    spread = head + len(SPREAD) + 1
    put("A%d" % spread, "BSE over NSE")
    put("D%d" % spread, "=D%d-D%d" % (spread - 1, spread - 2))

    # Looks: titles bold on grey, prices with two decimals, %Change green or red.
    grey = 0xDDDDDD
    right = uno.Enum("com.sun.star.table.CellHoriJustify", "RIGHT")
    for titles_range in ("A5:G5", "A%d:D%d" % (head, head)):
        style(sheet.getCellRangeByName(titles_range), CharWeight=150.0, CellBackColor=grey)
    for numbers_title in ("C5:G5", "C%d:D%d" % (head, head)):  # over their numbers
        style(sheet.getCellRangeByName(numbers_title), HoriJustify=right)
    style(sheet.getCellRangeByName("A%d:G%d" % (total, total)), CharWeight=150.0)
    style(sheet.getCellRangeByName("A%d:D%d" % (spread, spread)), CharWeight=150.0)
    money = number_format(document, "#,##0.00")
    for prices in ("D%d:D%d" % (FIRST_ROW, last_row), "G%d:G%d" % (FIRST_ROW, total),
                   "D%d:D%d" % (head + 1, spread)):
        style(sheet.getCellRangeByName(prices), NumberFormat=money)
    changes = sheet.getCellRangeByName("E%d:E%d" % (FIRST_ROW, last_row))
    style(changes, NumberFormat=number_format(document, "+0.00;-0.00;0.00"))
    gain_or_loss(document, changes)
    style(sheet.getCellRangeByName("F%d:F%d" % (FIRST_ROW, last_row)),
          NumberFormat=number_format(document, "#,##0"))
    columns = sheet.Columns
    for index, width in enumerate([8200, 2200, 2000, 3600, 2200, 2200, 3400]):
        columns.getByIndex(index).Width = width  # 1/100 mm
    return sheet


def live_cells(sheet):
    """The addresses of the cells whose formula calls LIVE itself."""
    found = []
    area = sheet.getCellRangeByName(RANGE).RangeAddress
    for r in range(area.StartRow, area.EndRow + 1):
        for c in range(area.StartColumn, area.EndColumn + 1):
            cell = sheet.getCellByPosition(c, r)
            if "LIVE(" in cell.FormulaLocal.upper():
                found.append(cell)
    return found


def status(sheet):
    return sheet.getCellRangeByName("B2").String


def wait_for(sheet, ready, what):
    end = time.monotonic() + WAIT_SECONDS
    while not ready():
        if time.monotonic() > end:
            show(sheet)
            raise SystemExit("demo-formulas: %s within %g s; LIVE.STATUS() tells \"%s\""
                             % (what, WAIT_SECONDS, status(sheet)))
        time.sleep(0.2)


def show(sheet):
    """Prints the sheet as it shows: the values as formatted, each in its column."""
    area = sheet.getCellRangeByName(RANGE).RangeAddress
    rows = []
    for r in range(area.StartRow, area.EndRow + 1):
        rows.append([sheet.getCellByPosition(c, r).String
                     for c in range(area.StartColumn, area.EndColumn + 1)])
    widths = [max(len(row[c]) for row in rows[3:]) for c in range(len(rows[0]))]
    for number, row in enumerate(rows):
        if not any(row):
            print()
            continue
        if number < 3:  # the title and the two lines of the feed, unaligned
            print("  " + "  ".join(text for text in row if text))
            continue
        line = []
        for c, text in enumerate(row):
            numeric = c >= 2 and (text[:1].isdigit() or text[:1] in "+-#")
            line.append(text.rjust(widths[c]) if numeric else text.ljust(widths[c]))
        print("  " + "  ".join(line).rstrip())


def find(desktop, url):
    for component in desktop.Components:
        if getattr(component, "URL", None) == url:
            return component
    raise SystemExit("demo-formulas: the office has no document %s open" % url)


def create(workbook):
    desktop = connect()
    document = desktop.loadComponentFromURL("private:factory/scalc", "_blank", 0,
                                            (prop("Hidden", True),))
    sheet = fill(document)
    cells = live_cells(sheet)
    wait_for(sheet, lambda: status(sheet) == "live" and all(c.getError() == 0 for c in cells),
             "the LIVE cells did not all get a value")
    sheet.getCellRangeByName("B3").FormulaLocal = "=LIVE.SUBSCRIPTIONS()"
    document.storeAsURL(url_of(workbook), (prop("FilterName", "calc8"),))
    show(sheet)
    return 0


def follow(workbook, ticks, out):
    with open(ticks, newline="") as data:
        expected = {(row[0], row[2]): float(row[LTP]) for row in list(csv.reader(data))[1:]}
    desktop = connect()
    document = find(desktop, url_of(workbook))
    sheet = document.Sheets.getByName(SHEET)
    prices = []
    for r in range(FIRST_ROW, FIRST_ROW + len(PORTFOLIO) + len(SPREAD) + 3):
        exchange = sheet.getCellRangeByName("B%d" % r).String
        code = sheet.getCellRangeByName("C%d" % r).String
        if (exchange, code) in expected:
            prices.append((sheet.getCellRangeByName("D%d" % r), expected[(exchange, code)]))
    if len(prices) != len(PORTFOLIO) + len(SPREAD):
        raise SystemExit("demo-formulas: the ticks do not cover the sheet's instruments")
    wait_for(sheet, lambda: all(c.getError() == 0 and abs(c.Value - v) < 1e-9 for c, v in prices),
             "the LIVE cells did not follow the new ticks")
    show(sheet)
    # The copy keeps the formulas and their last values.
    document.storeAsURL(url_of(out), (prop("FilterName", "calc8"),))
    document.setModified(False)
    document.close(True)
    return 0


def main(argv):
    if len(argv) == 4 and argv[1] == "ticks":
        return write_ticks(argv[2], argv[3])
    if len(argv) == 3 and argv[1] == "create":
        return create(argv[2])
    if len(argv) == 5 and argv[1] == "follow":
        return follow(*argv[2:])
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except KeyboardInterrupt:
        sys.exit(130)  # Ctrl-C: the demo's clean-up ends the office
