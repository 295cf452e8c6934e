"""What a person does to a workbook beside a live table, in the office on "ooo_pipe", as a
process of its own so that the test holds no connection of its own to the office:

    workbook_user.py formula URL SHEET CELL FORMULA   sets a formula and stores the file
    workbook_user.py cells URL SHEET RANGE            prints the range, a row a line,
                                                      the cells separated by tabs
    workbook_user.py frozen URL SHEET                 prints where the sheet's view is
                                                      frozen: "columns rows", or "0 0"
"""
import os
import sys

import uno
from com.sun.star.beans import PropertyValue

local = uno.getComponentContext()
resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
context = resolver.resolve("uno:pipe,name=ooo_pipe;urp;StarOffice.ComponentContext")
desktop = context.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", context)

command, url, sheet_name = sys.argv[1:4]
hidden = PropertyValue()
hidden.Name, hidden.Value = "Hidden", True
document = desktop.loadComponentFromURL(url, "_blank", 0, (hidden,))
try:
    sheet = document.Sheets.getByName(sheet_name)
    if command == "formula":
        sheet.getCellRangeByName(sys.argv[4]).setFormula(sys.argv[5])
        document.store()
    elif command == "frozen":
        view = document.getCurrentController()
        view.setActiveSheet(sheet)
        frozen = view.hasFrozenPanes()
        print(view.getSplitColumn() if frozen else 0, view.getSplitRow() if frozen else 0)
    else:
        for row in sheet.getCellRangeByName(sys.argv[4]).getDataArray():
            print("\t".join(str(int(v)) if isinstance(v, float) and v == int(v) else str(v)
                            for v in row))
finally:
    document.setModified(False)
    document.close(True)

# The office-side objects are gone; the interpreter's own teardown of the UNO bridge can
# crash the process now and then, so the script ends here.
sys.stdout.flush()
os._exit(0)
