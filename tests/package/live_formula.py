"""Waits for the office on the pipe "ooo_pipe" to accept, or asks it for a LIVE formula in
a new, hidden workbook, prints what it answers once it holds a number, and ends the office.

Usage: live_formula.py wait
       live_formula.py EXCHANGE SCRIP FIELD"""
import sys
import time

import uno
from com.sun.star.beans import PropertyValue

WAIT_SECONDS = 60


def desktop():
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext(
        "com.sun.star.bridge.UnoUrlResolver", local)
    end = time.monotonic() + WAIT_SECONDS
    while True:
        try:
            office = resolver.resolve("uno:pipe,name=ooo_pipe;urp;StarOffice.ComponentContext")
            return office.ServiceManager.createInstanceWithContext(
                "com.sun.star.frame.Desktop", office)
        except Exception:
            if time.monotonic() > end:
                raise SystemExit("the office did not accept on the pipe \"ooo_pipe\"")
            time.sleep(0.5)


def main(exchange, scrip, field):
    office = desktop()
    hidden = PropertyValue()
    hidden.Name, hidden.Value = "Hidden", True
    document = office.loadComponentFromURL("private:factory/scalc", "_blank", 0, (hidden,))
    try:
        sheet = document.Sheets.getByIndex(0)
        cell = sheet.getCellRangeByName("A1")
        cell.FormulaLocal = '=LIVE("%s";"%s";"%s")' % (exchange, scrip, field)
        status = sheet.getCellRangeByName("B1")
        status.FormulaLocal = "=LIVE.STATUS()"
        end = time.monotonic() + WAIT_SECONDS
        # com.sun.star.sheet.FormulaResult.VALUE
        while cell.getPropertyValue("FormulaResultType2") != 1 or cell.getError() != 0:
            if time.monotonic() > end:
                raise SystemExit("LIVE gave no number within %d s: %r, LIVE.STATUS() %r"
                                 % (WAIT_SECONDS, cell.getString(), status.getString()))
            time.sleep(0.2)
        print(cell.getValue())
    finally:
        document.setModified(False)
        document.close(True)
        try:
            office.terminate()
        except Exception:
            pass  # the office ends while it answers


if __name__ == "__main__":
    if sys.argv[1:] == ["wait"]:
        desktop()
    else:
        main(*sys.argv[1:4])
