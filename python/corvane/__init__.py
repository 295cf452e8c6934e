"""Mirror a market watch into a LibreOffice Calc workbook open in a running office.

A thin ctypes layer over libcorvane's C API; no compiled extension is involved.

    import corvane

    corvane.init("/usr/bin/soffice", workbook="/data/marketwatch.ods", timeout=30)
    corvane.write_titles("NSE", 0)
    corvane.write_record("NSE", 1, ["NSE", "Alpha Ltd", 500, 1200, 101.25])
    corvane.save_copy("/data/marketwatch.pdf")
    corvane.shutdown_office()

Rows are zero-based (row 0 is the sheet's row 1). Every failure reported by the
library raises corvane.Error, whose .code is one of the E_* constants and whose
.message is the library's (for an office error: the office's exception type and
message). Arguments that can never be right raise TypeError or ValueError.

The library is looked for in this order: the file that the environment variable
CORVANE_LIBRARY names; libcorvane.so.1 in this package's folder, then in the library
folder of the prefix the package was installed into; the system's library path.
"""

import ctypes
import ctypes.util
import numbers
import os
import threading

__all__ = [
    "COLUMN_COUNT", "Error", "init", "connect", "write_titles", "write_record", "write_records",
    "reset", "is_running", "save_copy", "shutdown_office", "column_titles", "create_workbook",
    "column_kinds", "set_timeout", "office_pid", "disconnect", "clear_stale_lock",
    "KIND_TEXT", "KIND_INTEGER", "KIND_REAL",
    "set_warning_handler", "set_fast_writes",
    "OK", "E_ARGUMENT", "E_NOT_CONNECTED", "E_CONNECT", "E_NO_SHEET", "E_OFFICE", "E_SAVE",
    "E_INTERNAL", "E_LOAD", "E_TIMEOUT", "E_EXISTS", "E_FULL", "E_REFUSED",
    "LiveTable", "LIVE_CONNECTING", "LIVE_LIVE", "LIVE_RECOVERING", "LIVE_FAILED",
]

COLUMN_COUNT = 42

OK = 0
E_ARGUMENT = -1       # a required argument is missing, empty or out of range
E_NOT_CONNECTED = -2  # no workbook is loaded: call init first
E_CONNECT = -3        # no office answered on the pipe
E_NO_SHEET = -4       # the workbook has no sheet of that name
E_OFFICE = -5         # the office raised an error (row outside the sheet, office gone)
E_SAVE = -6           # the copy could not be stored
E_INTERNAL = -7       # anything else (out of memory, ...)
E_LOAD = -8           # the office answered but the workbook did not load
E_TIMEOUT = -9        # the office did not answer within the deadline
E_EXISTS = -10        # the file to create exists already (it is left as it is)
E_FULL = -11          # a new instrument's row would lie past the sheet's last row
E_REFUSED = -12       # the bus server refused the client, a subject or a bucket

# Live table states.
LIVE_CONNECTING, LIVE_LIVE, LIVE_RECOVERING, LIVE_FAILED = 0, 1, 2, 3

KIND_TEXT, KIND_INTEGER, KIND_REAL = 0, 1, 2

_SONAME = "libcorvane.so.1"
_INT32_MIN, _INT32_MAX = -(2 ** 31), 2 ** 31 - 1


class Error(Exception):
    """A failure reported by the library: .code (an E_* constant) and .message."""

    def __init__(self, code, message):
        super().__init__(message)
        self.code = code
        self.message = message

    def __repr__(self):
        return "corvane.Error(%d, %r)" % (self.code, self.message)


_WarningHandler = ctypes.CFUNCTYPE(None, ctypes.c_char_p, ctypes.c_void_p)


class _OfficeOptions(ctypes.Structure):
    _fields_ = [("struct_size", ctypes.c_int), ("office_path", ctypes.c_char_p),
                ("command_line", ctypes.c_char_p), ("scratch_profile", ctypes.c_int),
                ("wait_ms", ctypes.c_int)]


class _WorkbookOptions(ctypes.Structure):
    _fields_ = [("row_times", ctypes.c_int), ("office_path", ctypes.c_char_p),
                ("command_line", ctypes.c_char_p), ("wait_seconds", ctypes.c_double)]
_FieldArray = ctypes.c_char_p * COLUMN_COUNT


class _LiveOptions(ctypes.Structure):
    _fields_ = [("struct_size", ctypes.c_int), ("workbook_path", ctypes.c_char_p),
                ("sheet", ctypes.c_char_p), ("sheet_per_exchange", ctypes.c_int),
                ("first_row", ctypes.c_int), ("titles", ctypes.c_int),
                ("interval_ms", ctypes.c_int), ("call_timeout_ms", ctypes.c_int),
                ("own_office", ctypes.c_int), ("office_path", ctypes.c_char_p),
                ("profile_dir", ctypes.c_char_p), ("show_office", ctypes.c_int),
                ("fast_writes", ctypes.c_int), ("row_times", ctypes.c_int),
                ("open_wait_ms", ctypes.c_int), ("load_timeout_ms", ctypes.c_int),
                ("save_timeout_ms", ctypes.c_int), ("clean_sheet", ctypes.c_int)]


_ULL = ctypes.c_ulonglong


class _LiveStats(ctypes.Structure):
    _fields_ = [("struct_size", ctypes.c_int), ("state", ctypes.c_int),
                ("ticks_put", _ULL), ("ticks_replaced", _ULL), ("rows_written", _ULL),
                ("block_calls", _ULL), ("title_rows_written", _ULL), ("instruments", _ULL),
                ("restarts", _ULL), ("reconnects", _ULL),
                ("ticks_per_second", ctypes.c_double), ("rows_per_second", ctypes.c_double),
                ("staleness_p50_ms", ctypes.c_double), ("staleness_p99_ms", ctypes.c_double),
                ("staleness_max_ms", ctypes.c_double), ("flush_p50_ms", ctypes.c_double),
                ("flush_p99_ms", ctypes.c_double), ("flush_max_ms", ctypes.c_double),
                ("call_cost_ms", ctypes.c_double), ("row_cost_ms", ctypes.c_double),
                ("office_pid", ctypes.c_int), ("last_status", ctypes.c_int),
                ("last_message", ctypes.c_char * 256), ("ticks_refused", _ULL),
                ("rows_adopted", _ULL), ("reorders", _ULL), ("key_reads", _ULL),
                ("key_read_ms", ctypes.c_double), ("office_ms", ctypes.c_double),
                ("cells_written", _ULL)]


_LiveStateCallback = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                      ctypes.c_char_p)

_library = None
_library_lock = threading.Lock()
_warning_handler = None  # keeps the installed callback alive


def _candidates():
    named = os.environ.get("CORVANE_LIBRARY")
    if named:
        return [named], True
    here = os.path.dirname(os.path.abspath(__file__))
    paths = [os.path.join(here, _SONAME)]
    try:
        # An installed package knows the library folder of its prefix.
        from ._location import LIBRARY_DIR
        paths.append(os.path.normpath(os.path.join(here, LIBRARY_DIR, _SONAME)))
    except ImportError:
        pass
    paths = [p for p in paths if os.path.exists(p)]
    paths.append(ctypes.util.find_library("corvane") or _SONAME)
    return paths, False


def _declare(lib):
    c_int, c_char_p = ctypes.c_int, ctypes.c_char_p
    signatures = {
        "corvane_init": (c_int, [c_char_p, c_char_p, c_char_p]),
        "corvane_connect": (c_int, [c_char_p]),
        "corvane_office_default_options": (None, [ctypes.POINTER(_OfficeOptions)]),
        "corvane_open_office": (c_int, [ctypes.POINTER(_OfficeOptions), c_char_p]),
        "corvane_write_titles": (c_int, [c_char_p, c_int]),
        "corvane_write_record": (c_int, [c_char_p, c_int, ctypes.POINTER(c_char_p)]),
        "corvane_write_records": (c_int, [c_char_p, c_int,
                                          ctypes.POINTER(ctypes.POINTER(c_char_p)), c_int]),
        "corvane_set_fast_writes": (None, [c_int]),
        "corvane_reset_row": (c_int, [c_char_p, c_int]),
        "corvane_is_running": (c_int, []),
        "corvane_save_copy": (c_int, [c_char_p]),
        "corvane_create_workbook": (c_int, [c_char_p, ctypes.POINTER(c_char_p), c_int,
                                            ctypes.POINTER(_WorkbookOptions)]),
        "corvane_shutdown_office": (c_int, []),
        "corvane_column_title": (c_char_p, [c_int]),
        "corvane_column_kind": (c_int, [c_int]),
        "corvane_set_timeout": (None, [c_int]),
        "corvane_office_pid": (c_int, []),
        "corvane_disconnect": (c_int, []),
        "corvane_clear_stale_lock": (c_int, [c_char_p]),
        "corvane_set_warning_handler": (None, [_WarningHandler, ctypes.c_void_p]),
        "corvane_last_error": (c_char_p, []),
        "corvane_last_error_code": (c_int, []),
        "corvane_live_default_options": (None, [ctypes.POINTER(_LiveOptions)]),
        "corvane_live_create": (c_int, [ctypes.POINTER(_LiveOptions), _LiveStateCallback,
                                        ctypes.c_void_p, ctypes.POINTER(ctypes.c_void_p)]),
        "corvane_live_put": (c_int, [ctypes.c_void_p, ctypes.POINTER(c_char_p)]),
        "corvane_live_flush": (c_int, [ctypes.c_void_p, c_int]),
        "corvane_live_save_copy": (c_int, [ctypes.c_void_p, c_char_p, c_int]),
        "corvane_live_get_stats": (c_int, [ctypes.c_void_p, ctypes.POINTER(_LiveStats)]),
        "corvane_live_close": (c_int, [ctypes.c_void_p, c_int]),
    }
    for name, (result, arguments) in signatures.items():
        function = getattr(lib, name)
        function.restype = result
        function.argtypes = arguments
    return lib


def _lib():
    global _library
    with _library_lock:
        if _library is None:
            paths, from_environment = _candidates()
            problems = []
            for path in paths:
                try:
                    _library = _declare(ctypes.CDLL(path))
                    break
                except (OSError, AttributeError) as e:
                    problems.append("%s: %s" % (path, e))
            if _library is None:
                where = ("CORVANE_LIBRARY" if from_environment
                         else "next to the corvane package or in the system's library path")
                raise OSError("cannot load libcorvane (looked %s): %s"
                              % (where, "; ".join(problems)))
        return _library


def _text(value, what):
    if isinstance(value, os.PathLike):
        value = os.fspath(value)
    if isinstance(value, str):
        value = value.encode("utf-8")
    elif not isinstance(value, bytes):
        raise TypeError("%s must be text, not %s" % (what, type(value).__name__))
    if b"\0" in value:
        raise ValueError("%s must not contain a NUL character" % what)
    return value


def _optional_text(value, what):
    return None if value is None else _text(value, what)


def _row(row):
    if isinstance(row, bool) or not isinstance(row, numbers.Integral):
        raise TypeError("row must be an int, not %s" % type(row).__name__)
    if not _INT32_MIN <= row <= _INT32_MAX:
        raise ValueError("row %d is outside the 32-bit range" % row)
    return int(row)


def _field(value, index):
    if value is None:
        return None
    if isinstance(value, numbers.Number) and not isinstance(value, (str, bytes)):
        return str(value).encode("ascii")
    try:
        return _text(value, "field %d" % index)
    except TypeError:
        raise TypeError("field %d must be text, a number or None, not %s"
                        % (index, type(value).__name__)) from None


def _check(result):
    if result < 0:
        message = _lib().corvane_last_error()
        raise Error(result, message.decode("utf-8", "replace") if message else "")
    return result


def _open_office(office, line, book, timeout):
    # The library starts the office when asked to and waits for it to accept.
    options = _OfficeOptions()
    _lib().corvane_office_default_options(ctypes.byref(options))
    options.office_path = office
    options.command_line = line
    options.wait_ms = min(int(round(max(0.0, timeout) * 1000)), _INT32_MAX)
    return _check(_lib().corvane_open_office(ctypes.byref(options), book))


def init(office_path, command_line=None, workbook=None, timeout=0.0):
    """Starts the office unless one still answers, connects and loads the workbook.

    command_line None or "" means the default: the quoted office path, -invisible and
    the pipe acceptor. A newly started office needs a moment before it accepts:
    timeout (seconds) keeps trying that long; 0 tries once. Returns the workbook's
    sheet count (as recorded by the first successful connection).
    """
    if workbook is None:
        raise TypeError("init() needs the workbook")
    office = _text(office_path, "office_path")
    line = _optional_text(command_line, "command_line")
    book = _text(workbook, "workbook")
    return _open_office(office, line, book, timeout)


def connect(workbook, timeout=0.0):
    """Connects to an office already accepting on the pipe and loads the workbook,
    starting nothing. Returns the sheet count, as init does."""
    book = _text(workbook, "workbook")
    return _open_office(None, None, book, timeout)


def set_timeout(seconds):
    """The deadline for every call into the office, in seconds; 0 (the default) waits
    as long as the office takes. A call the office does not answer in time (a stopped or
    hanging office) raises Error with code E_TIMEOUT and drops the connection:
    is_running() then answers False, and the next init() connects anew."""
    if isinstance(seconds, bool) or not isinstance(seconds, numbers.Real):
        raise TypeError("set_timeout() needs a number of seconds")
    if not seconds >= 0:
        raise ValueError("the deadline must be 0 or more seconds")
    _lib().corvane_set_timeout(min(int(round(seconds * 1000)), _INT32_MAX))


def office_pid():
    """The process id of the office the library started (its process group leader), or
    0 when it started none or that office has ended."""
    return _lib().corvane_office_pid()


def disconnect():
    """Ends the library's connection without ending the office, which keeps the workbook
    open; the next init() or connect() takes it up again. For handing the office over to a
    LiveTable of the same process."""
    _check(_lib().corvane_disconnect())


def clear_stale_lock(workbook):
    """Removes the workbook's lock file when it provably belongs to an office that no
    longer runs; True when a file was removed."""
    return _check(_lib().corvane_clear_stale_lock(_text(workbook, "workbook"))) == 1


def write_titles(sheet, row):
    """Writes the 42 coloured column titles into a row."""
    _check(_lib().corvane_write_titles(_text(sheet, "sheet"), _row(row)))


def write_record(sheet, row, fields):
    """Writes one market-watch record into a row.

    fields: a sequence of up to 42 values, field k for column k; numbers become their
    text as Python prints them, None (and any missing trailing field) an empty field.
    The library stores each field as text or as a number by its column.
    """
    _check(_lib().corvane_write_record(_text(sheet, "sheet"), _row(row), _fields(fields)))


def _fields(fields):
    if isinstance(fields, (str, bytes)):
        raise TypeError("fields must be a sequence of values, not a single text")
    values = list(fields)
    if len(values) > COLUMN_COUNT:
        raise ValueError("a record has at most %d fields, got %d" % (COLUMN_COUNT, len(values)))
    return _FieldArray(*[_field(v, k) for k, v in enumerate(values)])


def write_records(sheet, first_row, rows):
    """Writes consecutive records into the rows first_row, first_row + 1, ... with one
    sheet lookup and one write per block of up to 1000 rows, far cheaper per row than
    write_record.

    rows: a sequence whose items are records as write_record takes them, or None to
    leave that row exactly as it is. A row outside the sheet raises E_OFFICE, and then
    nothing is written.
    """
    if isinstance(rows, (str, bytes)):
        raise TypeError("rows must be a sequence of records, not a single text")
    arrays = [None if fields is None else _fields(fields) for fields in rows]
    if len(arrays) > _INT32_MAX:
        raise ValueError("too many rows for one call: %d" % len(arrays))
    pointers = (ctypes.POINTER(ctypes.c_char_p) * max(1, len(arrays)))()
    for i, array in enumerate(arrays):
        if array is not None:
            pointers[i] = ctypes.cast(array, ctypes.POINTER(ctypes.c_char_p))
    _check(_lib().corvane_write_records(_text(sheet, "sheet"), _row(first_row), pointers,
                                        len(arrays)))


def set_fast_writes(enabled):
    """Fast writes, off by default: True turns the workbook's undo recording and
    automatic row-height adjustment off (and keeps them off in workbooks loaded later),
    which makes every write cheaper for the office. The user can then not undo the
    library's writes, the workbook's undo history is cleared, and record rows keep their
    height. False turns back on what the library turned off."""
    _lib().corvane_set_fast_writes(1 if enabled else 0)


def reset(sheet, row):
    """Empties the 42 cells of a row."""
    _check(_lib().corvane_reset_row(_text(sheet, "sheet"), _row(row)))


def is_running():
    """True while the office still serves the loaded workbook."""
    return _lib().corvane_is_running() == 1


def save_copy(path):
    """Stores a copy of the loaded workbook, in the format the extension names (.ods,
    .fods, .xlsx, .xls, .csv, .pdf, .html); an existing file is replaced. The open workbook
    is not changed."""
    _check(_lib().corvane_save_copy(_text(path, "path")))


def create_workbook(path, sheets, row_times=False, office_path=None, command_line=None,
                    timeout=60.0):
    """Creates a market-watch workbook at path (.ods, .xlsx or .fods) with one sheet per
    name in sheets: the coloured title row, frozen with columns A and B, an autofilter,
    number formats per column, %Change green above 0 and red below, fitting column
    widths and a landscape print setup two pages across. Never replaces a file: an
    existing path raises Error with code E_EXISTS and is left as it is.

    row_times: column AQ titled "Updated", formatted as a time with milliseconds.
    The connected office, or one on the pipe, makes it; otherwise one is started with
    office_path and command_line (None: as for init, or the defaults) and waited for up
    to timeout seconds; it keeps running, and init or connect use it next.
    """
    if isinstance(sheets, (str, bytes)):
        raise TypeError("sheets must be a sequence of names, not a single text")
    names = [_text(name, "sheet name") for name in sheets]
    if not names:
        raise ValueError("a workbook needs at least one sheet")
    array = (ctypes.c_char_p * len(names))(*names)
    options = _WorkbookOptions(1 if row_times else 0, _optional_text(office_path, "office_path"),
                               _optional_text(command_line, "command_line"), float(timeout))
    _check(_lib().corvane_create_workbook(_text(path, "path"), array, len(names),
                                          ctypes.byref(options)))


def shutdown_office():
    """Closes the office's workbooks without saving and ends the office."""
    _check(_lib().corvane_shutdown_office())


def column_titles():
    """The 42 column titles, line feeds included."""
    lib = _lib()
    return [lib.corvane_column_title(k).decode("ascii") for k in range(COLUMN_COUNT)]


def column_kinds():
    """How each of the 42 columns stores its field: KIND_TEXT, KIND_INTEGER or KIND_REAL."""
    lib = _lib()
    return [lib.corvane_column_kind(k) for k in range(COLUMN_COUNT)]


def set_warning_handler(handler):
    """Sends configuration warnings to handler(text) instead of standard error; None
    restores standard error. The handler runs on the thread that called the library."""
    global _warning_handler
    lib = _lib()
    if handler is None:
        lib.corvane_set_warning_handler(_WarningHandler(), None)
        _warning_handler = None
        return
    callback = _WarningHandler(lambda text, _user: handler(text.decode("utf-8", "replace")))
    lib.corvane_set_warning_handler(callback, None)
    _warning_handler = callback


def _milliseconds(seconds):
    """Seconds as the C API's milliseconds; None waits without end."""
    if seconds is None:
        return -1
    return max(0, min(int(round(seconds * 1000)), _INT32_MAX))


def _option_milliseconds(seconds, what):
    """A LiveTable option in seconds as the C API's milliseconds, sign kept: the library
    refuses a negative one, naming it."""
    if isinstance(seconds, bool) or not isinstance(seconds, numbers.Real):
        raise TypeError("%s must be a number of seconds, not %s" % (what, type(seconds).__name__))
    if seconds != seconds:
        raise ValueError("%s must be a number of seconds, not NaN" % what)
    return max(_INT32_MIN, min(int(round(seconds * 1000)), _INT32_MAX))


class LiveTable:
    """A live table: put() takes each tick and returns at once, and a writer thread of the
    library keeps the sheet current every interval, healing itself when the office goes
    away or stops answering (see corvane_live_open in corvane.h).

        with corvane.LiveTable("/data/marketwatch.ods", sheet="NSE", own_office=True) as table:
            for tick in feed:
                table.put(tick)
            table.save_copy("/data/end-of-day.ods")

    Leaving the with-block closes the table, waiting up to close_timeout seconds for what
    was put to be written. load_timeout and save_timeout (seconds) bound loading the
    workbook and storing a copy; None keeps the library's defaults (120 s each).
    on_state(state, last_status, last_message) runs on the
    library's writer thread whenever the state changes; it must return soon and must not
    call flush, save_copy or close.
    """

    def __init__(self, workbook, sheet=None, sheet_per_exchange=False, first_row=None,
                 titles=None, interval=None, call_timeout=None, own_office=False, office_path=None,
                 profile_dir=None, show_office=False, fast_writes=False, row_times=False,
                 open_wait=0.0, on_state=None, close_timeout=10.0, load_timeout=None,
                 save_timeout=None, clean_sheet=False):
        lib = _lib()
        options = _LiveOptions()
        lib.corvane_live_default_options(ctypes.byref(options))
        options.workbook_path = _text(workbook, "workbook")
        options.sheet = _optional_text(sheet, "sheet")
        options.sheet_per_exchange = 1 if sheet_per_exchange else 0
        # None keeps the library's default, as corvane_live_default_options set it.
        if first_row is not None:
            options.first_row = _row(first_row)
        if titles is not None:
            options.titles = 1 if titles else 0
        if interval is not None:
            options.interval_ms = _option_milliseconds(interval, "interval")
        if call_timeout is not None:
            options.call_timeout_ms = _option_milliseconds(call_timeout, "call_timeout")
        options.own_office = 1 if own_office else 0
        options.office_path = _optional_text(office_path, "office_path")
        options.profile_dir = _optional_text(profile_dir, "profile_dir")
        options.show_office = 1 if show_office else 0
        options.fast_writes = 1 if fast_writes else 0
        options.row_times = 1 if row_times else 0
        options.open_wait_ms = _option_milliseconds(open_wait, "open_wait")
        if load_timeout is not None:
            options.load_timeout_ms = max(1, _milliseconds(load_timeout))
        if save_timeout is not None:
            options.save_timeout_ms = max(1, _milliseconds(save_timeout))
        options.clean_sheet = 1 if clean_sheet else 0
        self._close_timeout = close_timeout
        if on_state is None:
            self._callback = _LiveStateCallback()
        else:
            def relay(_user, state, status, message):
                on_state(state, status, message.decode("utf-8", "replace") if message else "")
            self._callback = _LiveStateCallback(relay)
        handle = ctypes.c_void_p()
        _check(lib.corvane_live_create(ctypes.byref(options), self._callback, None,
                                       ctypes.byref(handle)))
        self._handle = handle.value

    def _live(self):
        if self._handle is None:
            raise Error(E_NOT_CONNECTED, "the live table is closed")
        return self._handle

    def put(self, fields):
        """Takes an instrument's newest tick (fields as write_record takes them), keyed by
        exchange and scrip code (fields 0 and 2). Never waits for the office."""
        _check(_lib().corvane_live_put(self._live(), _fields(fields)))

    def flush(self, timeout=None):
        """Waits until everything put before is in the sheet (at most timeout seconds;
        None: without end); raises Error (E_TIMEOUT, ...) when it is not."""
        _check(_lib().corvane_live_flush(self._live(), _milliseconds(timeout)))

    def save_copy(self, path, timeout=None):
        """Flushes, then stores a copy of the table's workbook at path (format by extension)."""
        _check(_lib().corvane_live_save_copy(self._live(), _text(path, "path"),
                                             _milliseconds(timeout)))

    def stats(self):
        """The table's statistics as a dict (see corvane_live_stats in corvane.h)."""
        stats = _LiveStats()
        stats.struct_size = ctypes.sizeof(_LiveStats)
        _check(_lib().corvane_live_get_stats(self._live(), ctypes.byref(stats)))
        result = {name: getattr(stats, name) for name, _ in _LiveStats._fields_[1:]}
        result["last_message"] = stats.last_message.decode("utf-8", "replace")
        return result

    def close(self, timeout=None):
        """Closes the table (an owned office ends with it); raises Error when not everything
        was written within timeout seconds (None: the close_timeout given at opening).
        From on_state it raises Error with E_ARGUMENT and the table stays open."""
        handle = self._handle
        if handle is None:
            return
        wait = self._close_timeout if timeout is None else timeout
        result = _lib().corvane_live_close(handle, _milliseconds(wait))
        if result != E_ARGUMENT:
            self._handle = None
        _check(result)

    def __enter__(self):
        return self

    def __exit__(self, kind, value, trace):
        if kind is None:
            self.close()
        else:
            try:
                self.close()
            except Error:
                pass  # the exception that ends the block is the one to see
        return False

    def __del__(self):
        if getattr(self, "_handle", None) is not None:
            try:
                _lib().corvane_live_close(self._handle, _milliseconds(self._close_timeout))
            except Exception:
                pass
            self._handle = None
