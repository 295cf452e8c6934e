"""A real office for Python tests: exclusive use of the pipe "ooo_pipe" (shared with the
C++ tests through the same lock file), a throw-away profile, and a guaranteed kill of
every office process that ran on that profile."""

import fcntl
import os
import shutil
import signal
import tempfile
import time
import urllib.parse
import zipfile
from xml.etree import ElementTree

LOCK_FILE = "/tmp/corvane-office-tests.lock"
PROFILE_PREFIX = "corvane-office-"
OFFICE = os.environ.get("CORVANE_TEST_OFFICE", "/usr/lib/libreoffice/program/soffice")
ACCEPT = "--accept=pipe,name=ooo_pipe;urp;StarOffice.ServiceManager"

_SEED = """<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" \
xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Setup/Product"><prop oor:name="ooSetupLastVersion" \
oor:op="fuse"><value>7.4</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="ShowTipOfTheDay" \
oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="FirstRun" \
oor:op="fuse"><value>false</value></prop></item>
</oor:items>
"""


def file_url(path):
    return "file://" + urllib.parse.quote(os.path.abspath(path))


def _processes_mentioning(needle):
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) == os.getpid():
            continue
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                if needle.encode() in f.read():
                    found.append(int(entry))
        except OSError:
            pass
    return found


def _kill_and_wait(needle):
    for _ in range(200):
        pids = _processes_mentioning(needle)
        if not pids:
            return
        for pid in pids:
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        time.sleep(0.05)


def _office_pipe_files():
    prefix = "OSL_PIPE_%d_" % os.getuid()
    return [os.path.join("/tmp", n) for n in os.listdir("/tmp") if n.startswith(prefix)]


class OfficeSession:
    """Takes the pipe's lock and makes a profile; close() kills and cleans up."""

    def __init__(self):
        self._lock = open(LOCK_FILE, "a+")
        fcntl.flock(self._lock, fcntl.LOCK_EX)
        # Offices left by an earlier run that crashed would answer on the pipe.
        _kill_and_wait("/" + PROFILE_PREFIX)
        self.profile = tempfile.mkdtemp(prefix=PROFILE_PREFIX)
        os.makedirs(os.path.join(self.profile, "user"))
        with open(os.path.join(self.profile, "user", "registrymodifications.xcu"), "w") as f:
            f.write(_SEED)
        self._pipe_files_before = set(_office_pipe_files())

    def command_line(self):
        """A headless office on this profile, accepting on the pipe (Windows quoting)."""
        return '"%s" --headless --norestore "-env:UserInstallation=%s" %s' % (
            OFFICE, file_url(self.profile), ACCEPT)

    def processes(self):
        return _processes_mentioning(self.profile)

    def kill(self):
        _kill_and_wait(self.profile)

    def close(self):
        self.kill()
        # A killed office leaves its pipe files behind.
        for path in set(_office_pipe_files()) - self._pipe_files_before:
            try:
                os.unlink(path)
            except OSError:
                pass
        shutil.rmtree(self.profile, ignore_errors=True)
        self._lock.close()


def write_workbook(path, sheet_names):
    """A flat OpenDocument spreadsheet with empty sheets of these names."""
    tables = "".join('<table:table table:name="%s"/>\n' % n for n in sheet_names)
    with open(path, "w", encoding="utf-8") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n'
                '<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
                'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
                'office:version="1.2" '
                'office:mimetype="application/vnd.oasis.opendocument.spreadsheet">\n'
                '<office:body><office:spreadsheet>\n' + tables +
                '</office:spreadsheet></office:body></office:document>\n')


_TABLE = "{urn:oasis:names:tc:opendocument:xmlns:table:1.0}"
_OFFICE = "{urn:oasis:names:tc:opendocument:xmlns:office:1.0}"
_TEXT = "{urn:oasis:names:tc:opendocument:xmlns:text:1.0}"


def _cell(element):
    kind = element.get(_OFFICE + "value-type")
    if kind is None:
        return None
    if kind == "string":
        return "\n".join("".join(p.itertext()) for p in element.findall(_TEXT + "p"))
    return float(element.get(_OFFICE + "value"))


def read_sheet(ods_path, sheet, rows, columns=42):
    """The first rows x columns cells of a sheet of a stored .ods file: a text, a
    float, or None for an empty cell."""
    with zipfile.ZipFile(ods_path) as z:
        root = ElementTree.fromstring(z.read("content.xml"))
    table = next(t for t in root.iter(_TABLE + "table") if t.get(_TABLE + "name") == sheet)
    grid = []
    for row in table.iter(_TABLE + "table-row"):
        cells = []
        for element in row:
            repeat = int(element.get(_TABLE + "number-columns-repeated", "1"))
            cells.extend([_cell(element)] * min(repeat, columns - len(cells)))
            if len(cells) >= columns:
                break
        cells += [None] * (columns - len(cells))
        repeat = int(row.get(_TABLE + "number-rows-repeated", "1"))
        grid.extend([cells] * min(repeat, rows - len(grid)))
        if len(grid) >= rows:
            break
    grid += [[None] * columns] * (rows - len(grid))
    return grid
