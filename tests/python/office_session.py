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
PROFILE_PREFIX = "corvane-profile-"
OFFICE = os.environ.get("CORVANE_TEST_OFFICE", "/usr/lib/libreoffice/program/soffice")
ACCEPT = "--accept=pipe,name=ooo_pipe;urp;StarOffice.ServiceManager"

_SEED_FILE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "data",
                          "office-profile.xcu")


def file_url(path):
    return "file://" + urllib.parse.quote(os.path.abspath(path))


def _runs(pid):
    """Whether the process still runs (an ended one not yet reaped does not)."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            stat = f.read()
    except OSError:
        return False
    return stat[stat.rindex(")") + 2] not in "ZX"


def _office_pipe_files():
    prefix = "OSL_PIPE_%d_" % os.getuid()
    return [os.path.join("/tmp", n) for n in os.listdir("/tmp") if n.startswith(prefix)]


class OfficeSession:
    """Takes the pipe's lock and makes a profile; close() kills the offices it adopted
    (by their process group) and cleans up."""

    def __init__(self):
        self._lock = open(LOCK_FILE, "a+")
        fcntl.flock(self._lock, fcntl.LOCK_EX)
        self.profile = tempfile.mkdtemp(prefix=PROFILE_PREFIX)
        os.makedirs(os.path.join(self.profile, "user"))
        shutil.copyfile(_SEED_FILE,
                        os.path.join(self.profile, "user", "registrymodifications.xcu"))
        self._pipe_files_before = set(_office_pipe_files())
        self._groups = set()

    def command_line(self):
        """A headless office on this profile, accepting on the pipe (Windows quoting)."""
        return '"%s" --headless --norestore "-env:UserInstallation=%s" %s' % (
            OFFICE, file_url(self.profile), ACCEPT)

    def adopt(self, pid):
        """Takes over the office the library started: its process group leader."""
        if pid > 0:
            self._groups.add(pid)

    def running(self):
        return any(_runs(pid) for pid in self._groups)

    def signal(self, sig):
        for pid in self._groups:
            try:
                os.killpg(pid, sig)
            except ProcessLookupError:
                pass

    def kill(self):
        self.signal(signal.SIGCONT)
        self.signal(signal.SIGKILL)
        deadline = time.monotonic() + 10
        while self.running() and time.monotonic() < deadline:
            time.sleep(0.05)
        self._groups.clear()

    def close(self):
        self.kill()
        # A killed office leaves its pipe files behind.
        for path in set(_office_pipe_files()) - self._pipe_files_before:
            try:
                os.unlink(path)
            except OSError:
                pass
        # An office still exiting may write into its profile: removal is tried until it
        # holds.
        for _ in range(100):
            shutil.rmtree(self.profile, ignore_errors=True)
            if not os.path.exists(self.profile):
                break
            time.sleep(0.05)
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
