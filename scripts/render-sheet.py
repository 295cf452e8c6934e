#!/usr/bin/python3
"""Renders a cell range of one sheet of a workbook as a one-page PDF, at full size on a
page cut to fit it, through the office that accepts on the pipe "ooo_pipe", for turning
into a picture (the demo's marketwatch.png).

    render-sheet.py WORKBOOK SHEET RANGE OUT.pdf [--terminate]

RANGE is a cell range of SHEET such as A1:Y24. With --terminate the office is ended
afterwards (its documents closed unsaved).
"""

import os
import sys
import urllib.parse

import uno
from com.sun.star.beans import PropertyValue


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


def main(argv):
    if len(argv) not in (5, 6) or (len(argv) == 6 and argv[5] != "--terminate"):
        sys.stderr.write(__doc__)
        return 2
    workbook, sheet, cells, out = argv[1:5]
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext(
        "com.sun.star.bridge.UnoUrlResolver", local)
    office = resolver.resolve("uno:pipe,name=ooo_pipe;urp;StarOffice.ComponentContext")
    desktop = office.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", office)
    url = "file://" + urllib.parse.quote(os.path.abspath(workbook))
    document = desktop.loadComponentFromURL(url, "_blank", 0, (prop("Hidden", True),))
    try:
        table = document.Sheets.getByName(sheet)
        selection = table.getCellRangeByName(cells)
        # The page of this unsaved copy is cut to the range: full size, no header.
        area = selection.RangeAddress
        width = sum(table.Columns.getByIndex(c).Width
                    for c in range(area.StartColumn, area.EndColumn + 1))
        height = sum(table.Rows.getByIndex(r).Height
                     for r in range(area.StartRow, area.EndRow + 1))
        page = document.StyleFamilies.getByName("PageStyles").getByName(table.PageStyle)
        margin = 300
        page.HeaderIsOn = False
        page.FooterIsOn = False
        page.ScaleToPagesX = 0
        page.ScaleToPagesY = 0
        page.PageScale = 100
        for side in ("LeftMargin", "RightMargin", "TopMargin", "BottomMargin"):
            page.setPropertyValue(side, margin)
        page.Width = width + 2 * margin + 100
        page.Height = height + 2 * margin + 100
        filter_data = uno.Any("[]com.sun.star.beans.PropertyValue",
                              (prop("Selection", selection),))
        target = "file://" + urllib.parse.quote(os.path.abspath(out))
        uno.invoke(document, "storeToURL",
                   (target, (prop("FilterName", "calc_pdf_Export"),
                             prop("FilterData", filter_data))))
    finally:
        document.close(True)
    if len(argv) == 6:
        for component in desktop.Components:
            component.setModified(False)
            component.close(True)
        desktop.terminate()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
