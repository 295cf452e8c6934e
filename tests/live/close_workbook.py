"""Closes the workbook at the URL given as the argument in the office on "ooo_pipe", as a
user closing its window would: run by the live table's test as a process of its own, so
that the test holds no connection of its own to the office."""
# os._exit: the interpreter's own teardown of the UNO bridge can crash the process now
# and then, after the work is done.
import os
import sys

import uno

local = uno.getComponentContext()
resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
context = resolver.resolve("uno:pipe,name=ooo_pipe;urp;StarOffice.ComponentContext")
desktop = context.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", context)
components = desktop.getComponents().createEnumeration()
closed = 0
while components.hasMoreElements():
    document = components.nextElement()
    if document.getURL() == sys.argv[1]:
        document.setModified(False)
        document.close(True)
        closed += 1
os._exit(0 if closed else 1)
