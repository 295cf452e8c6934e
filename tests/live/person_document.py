"""A person's own work in the office on "ooo_pipe", from a process of its own so that the
test holds no connection to the office. "open": a new, unsaved spreadsheet with a typed
cell. "check": exits 0 when that document, and only it, is still open as it was. "none": exits 0
when no document is open."""
# os._exit: the interpreter's own teardown of the UNO bridge can crash the process now
# and then, after the work is done.
import os
import sys

import uno
from com.sun.star.beans import PropertyValue

local = uno.getComponentContext()
resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
context = resolver.resolve("uno:pipe,name=ooo_pipe;urp;StarOffice.ComponentContext")
desktop = context.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", context)
TEXT = "my own work"
if sys.argv[1] == "open":
    hidden = PropertyValue()
    hidden.Name = "Hidden"
    hidden.Value = True
    document = desktop.loadComponentFromURL("private:factory/scalc", "_blank", 0, (hidden,))
    document.getSheets().getByIndex(0).getCellByPosition(0, 0).setString(TEXT)
    os._exit(0)
documents = []
components = desktop.getComponents().createEnumeration()
while components.hasMoreElements():
    documents.append(components.nextElement())
if sys.argv[1] == "none":
    os._exit(0 if not documents else 1)
ok = (len(documents) == 1 and documents[0].getURL() == "" and documents[0].isModified()
      and documents[0].getSheets().getByIndex(0).getCellByPosition(0, 0).getString() == TEXT)
os._exit(0 if ok else 1)
