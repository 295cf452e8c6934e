"""The corvane Python module, against the built library and a real office.

Run with CORVANE_LIBRARY naming the built libcorvane.so and the module's folder on
PYTHONPATH; CORVANE_TEST_OFFICE names the office program.
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import corvane
from office_session import OfficeSession, OFFICE, read_sheet, write_workbook

RECORD = ["NSE", "Alpha Ltd", 500, "1200", 101.25, None, 99.5, "27JUN2026", 2500, "CE",
          10, 101.5, 123456, 1.5e7, 104, 98.75, 100, 99.25]


class WithoutOffice(unittest.TestCase):
    """What the module settles itself, and what the library answers with no office on
    the pipe (the pipe's lock is held, so no other test's office answers either)."""

    @classmethod
    def setUpClass(cls):
        cls.session = OfficeSession()

    @classmethod
    def tearDownClass(cls):
        cls.session.close()

    def test_refuses_arguments_that_can_never_be_right(self):
        with self.assertRaises(ValueError):
            corvane.write_record("NSE", 1, ["x"] * 43)
        with self.assertRaises(TypeError):
            corvane.write_record("NSE", 1, "NSE,Alpha")
        with self.assertRaises(TypeError):
            corvane.write_record("NSE", 1, [{"not": "a field"}])
        # A NUL would cut the text short: refused wherever it comes, never truncated.
        with self.assertRaises(ValueError):
            corvane.write_record("NSE", 1, ["Al\0pha"])
        with self.assertRaises(ValueError):
            corvane.write_record("NSE\0junk", 1, ["NSE"])
        with self.assertRaises(ValueError):
            corvane.write_records("NSE", 1, [["NSE"], [b"A\0B"]])
        with self.assertRaises(TypeError):
            corvane.write_titles("NSE", "1")
        with self.assertRaises(ValueError):
            corvane.reset("NSE", 2 ** 40)
        with self.assertRaises(TypeError):
            corvane.write_titles(None, 0)
        with self.assertRaises(TypeError):
            corvane.init(OFFICE)
        with self.assertRaises(TypeError):
            corvane.write_records("NSE", 0, "NSE,Alpha")
        with self.assertRaises(ValueError):
            corvane.write_records("NSE", 0, [RECORD, ["x"] * 43])
        with self.assertRaises(TypeError):
            corvane.write_records("NSE", 0, [RECORD, 5])

    def test_library_errors_carry_code_and_message(self):
        self.assertFalse(corvane.is_running())
        with self.assertRaises(corvane.Error) as caught:
            corvane.write_titles("NSE", 0)
        self.assertEqual(caught.exception.code, corvane.E_NOT_CONNECTED)
        self.assertIn("corvane_init", str(caught.exception))
        for call, code in [(lambda: corvane.write_titles("", 0), corvane.E_ARGUMENT),
                           (lambda: corvane.save_copy("copy.txt"), corvane.E_ARGUMENT),
                           (lambda: corvane.save_copy("copy.ods"), corvane.E_NOT_CONNECTED),
                           (corvane.shutdown_office, corvane.E_NOT_CONNECTED),
                           (lambda: corvane.connect(tempfile.gettempdir()), corvane.E_CONNECT)]:
            with self.assertRaises(corvane.Error) as caught:
                call()
            self.assertEqual(caught.exception.code, code)
            self.assertTrue(caught.exception.message)
        self.assertIn("ooo_pipe", caught.exception.message)

    def test_live_table_open_failures_carry_their_own_code(self):
        folder = tempfile.mkdtemp(prefix="corvane-test-")
        try:
            book = os.path.join(folder, "live.fods")
            write_workbook(book, ["NSE"])
            for options, code, named in [
                    (dict(sheet=None), corvane.E_ARGUMENT, "sheet"),
                    (dict(first_row=-1), corvane.E_ARGUMENT, "first_row"),
                    (dict(first_row=0), corvane.E_ARGUMENT, "titles"),
                    (dict(interval=-0.5), corvane.E_ARGUMENT, "interval_ms"),
                    (dict(call_timeout=-1), corvane.E_ARGUMENT, "call_timeout_ms"),
                    (dict(workbook=os.path.join(folder, "missing.ods")), corvane.E_LOAD,
                     "missing.ods"),
                    # Attached, and nobody accepts on the pipe.
                    (dict(open_wait=0.3), corvane.E_TIMEOUT, "")]:
                arguments = dict(workbook=book, sheet="NSE")
                arguments.update(options)
                with self.assertRaises(corvane.Error) as caught:
                    corvane.LiveTable(**arguments)
                self.assertEqual(caught.exception.code, code, options)
                self.assertIn(named, caught.exception.message)
        finally:
            shutil.rmtree(folder, ignore_errors=True)

    def test_column_titles(self):
        titles = corvane.column_titles()
        self.assertEqual(len(titles), corvane.COLUMN_COUNT)
        self.assertEqual(titles[0], "Exchange")
        self.assertEqual(titles[7], "Day\n4om Expiry")
        self.assertEqual(titles[41], "52Week\nLow Yield")

    def test_finds_the_library_next_to_itself_or_through_the_environment(self):
        built = os.environ["CORVANE_LIBRARY"]
        package = os.path.dirname(corvane.__file__)
        with tempfile.TemporaryDirectory() as tmp:
            copy = os.path.join(tmp, "corvane")
            shutil.copytree(package, copy, ignore=shutil.ignore_patterns("__pycache__"))
            os.symlink(os.path.realpath(built), os.path.join(copy, "libcorvane.so.1"))
            env = {k: v for k, v in os.environ.items() if k not in ("CORVANE_LIBRARY", "PYTHONPATH")}
            probe = "import corvane; print(corvane.is_running(), corvane.column_titles()[1])"
            out = subprocess.run([sys.executable, "-c", probe], cwd=tmp, env=env,
                                 capture_output=True, text=True, timeout=60)
            self.assertEqual(out.stdout, "False Description\n", out.stderr)

            env["CORVANE_LIBRARY"] = os.path.join(tmp, "missing.so")
            out = subprocess.run([sys.executable, "-c", probe], cwd=tmp, env=env,
                                 capture_output=True, text=True, timeout=60)
            self.assertNotEqual(out.returncode, 0)
            self.assertIn("CORVANE_LIBRARY", out.stderr)


class OfficeTest(unittest.TestCase):
    """A workbook with the sheets NSE and BSE in an office the library started."""

    @classmethod
    def setUpClass(cls):
        cls.session = OfficeSession()
        cls.dir = tempfile.mkdtemp(prefix="corvane-test-")
        cls.book = os.path.join(cls.dir, "market watch.fods")
        write_workbook(cls.book, ["NSE", "BSE"])
        try:
            cls.sheets = corvane.init(OFFICE, cls.session.command_line(), cls.book, timeout=60)
            cls.session.adopt(corvane.office_pid())
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.session.close()
        shutil.rmtree(cls.dir, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.dir, name)


class InALiveOffice(OfficeTest):

    def test_connected_with_the_sheet_count(self):
        self.assertEqual(self.sheets, 2)
        self.assertTrue(corvane.is_running())

    def test_rows_reach_their_cells_as_texts_and_numbers(self):
        corvane.write_titles("NSE", 0)
        corvane.write_record("NSE", 1, RECORD)
        corvane.write_record("NSE", 2, [500, "Beta"])
        corvane.write_record("NSE", 3, RECORD)
        corvane.reset("NSE", 3)
        corvane.save_copy(self.path("rows.ods"))

        rows = read_sheet(self.path("rows.ods"), "NSE", 4)
        self.assertEqual(rows[0][:4], ["Exchange", "Description", "Scrip Code", "Best\nBuy Qty"])
        record = rows[1]
        self.assertEqual(record[:5], ["NSE", "Alpha Ltd", 500.0, 1200.0, 101.25])
        self.assertIsNone(record[5])                 # None: an empty field
        self.assertEqual(record[7], "27JUN2026")
        self.assertEqual(record[8], 2500.0)
        self.assertEqual(record[13], 1.5e7)          # printed as 15000000.0
        self.assertEqual(record[18:], [None] * 24)  # missing trailing fields
        self.assertEqual(rows[2][:2], ["500", "Beta"])  # a number in a text column stays text
        self.assertEqual(rows[3], [None] * 42)

    def test_batched_rows_skip_none_and_fast_writes_store_the_same(self):
        corvane.write_record("NSE", 6, ["Kept", "Kept Ltd", 7])
        corvane.write_records("NSE", 5, [RECORD, None, [500, "Beta"]])
        corvane.write_records("NSE", 5, [])  # nothing to do
        corvane.set_fast_writes(True)
        try:
            corvane.write_records("NSE", 8, [RECORD, [500, "Beta"]])
        finally:
            corvane.set_fast_writes(False)
        corvane.save_copy(self.path("batched.ods"))

        rows = read_sheet(self.path("batched.ods"), "NSE", 10)
        self.assertEqual(rows[5][:5], ["NSE", "Alpha Ltd", 500.0, 1200.0, 101.25])
        self.assertEqual(rows[6][:3], ["Kept", "Kept Ltd", 7.0])
        self.assertEqual(rows[7][:3], ["500", "Beta", None])
        self.assertEqual(rows[8:10], rows[5:8:2])
        for call, code in [(lambda: corvane.write_records("Nowhere", 0, []), corvane.E_NO_SHEET),
                           (lambda: corvane.write_records("NSE", 1048575, [RECORD] * 2),
                            corvane.E_OFFICE)]:
            with self.assertRaises(corvane.Error) as caught:
                call()
            self.assertEqual(caught.exception.code, code)

    def test_office_errors_raise_with_the_office_message(self):
        with self.assertRaises(corvane.Error) as caught:
            corvane.write_record("Nowhere", 0, RECORD)
        self.assertEqual(caught.exception.code, corvane.E_NO_SHEET)
        self.assertIn("Nowhere", caught.exception.message)
        for call in (lambda: corvane.write_record("NSE", -1, RECORD),
                     lambda: corvane.write_titles("NSE", -1),
                     lambda: corvane.reset("NSE", 1048576)):
            with self.assertRaises(corvane.Error) as caught:
                call()
            self.assertEqual(caught.exception.code, corvane.E_OFFICE)
            self.assertIn("com.sun.star.", caught.exception.message)
        self.assertTrue(corvane.is_running())

    def test_creates_a_workbook_once(self):
        book = self.path("created.ods")
        corvane.create_workbook(book, ["NSE", "F&O"], row_times=True)
        for sheet in ("NSE", "F&O"):
            titles = read_sheet(book, sheet, 1, columns=43)[0]
            self.assertEqual(titles[:2], ["Exchange", "Description"])
            self.assertEqual(titles[42], "Updated")
        with open(book, "rb") as f:
            before = f.read()
        for path, sheets, code in [(book, ["NSE"], corvane.E_EXISTS),
                                   (self.path("x.ods"), ["NSE", "nse"], corvane.E_ARGUMENT),
                                   (self.path("x.csv"), ["NSE"], corvane.E_ARGUMENT)]:
            with self.assertRaises(corvane.Error) as caught:
                corvane.create_workbook(path, sheets)
            self.assertEqual(caught.exception.code, code)
        with open(book, "rb") as f:
            self.assertEqual(f.read(), before)
        self.assertTrue(corvane.is_running())

    def test_copies_in_each_format(self):
        corvane.write_record("BSE", 0, RECORD)
        for name in ("copy.xlsx", "copy.csv", "copy.pdf", "copy.html", "copy.xls"):
            corvane.save_copy(self.path(name))
            self.assertGreater(os.path.getsize(self.path(name)), 0, name)
        with open(self.path("copy.pdf"), "rb") as f:
            self.assertEqual(f.read(4), b"%PDF")
        corvane.save_copy(self.path("again.ods"))
        self.assertEqual(read_sheet(self.path("again.ods"), "BSE", 1)[0][1], "Alpha Ltd")
        with self.assertRaises(corvane.Error) as caught:
            corvane.save_copy(os.path.join(self.dir, "no such folder", "copy.ods"))
        self.assertEqual(caught.exception.code, corvane.E_SAVE)

    def test_warnings_go_to_the_handler(self):
        seen = []
        corvane.set_warning_handler(seen.append)
        try:
            with self.assertRaises(corvane.Error) as caught:
                # No waiting for a workbook that is not there, however long allowed.
                corvane.init(OFFICE, self.session.command_line(), self.path("missing.ods"),
                             timeout=10 ** 6)
        finally:
            corvane.set_warning_handler(None)
        self.assertEqual(caught.exception.code, corvane.E_LOAD)
        self.assertIn("does not exist", caught.exception.message)
        self.assertEqual(len(seen), 1)
        self.assertIn("missing", seen[0])
        # The loaded workbook is still served.
        corvane.write_titles("BSE", 2)


class ShutDownThenKilled(OfficeTest):

    def test_shutdown_ends_the_office_and_a_new_one_can_start(self):
        corvane.shutdown_office()
        self.assertFalse(corvane.is_running())
        with self.assertRaises(corvane.Error) as caught:
            corvane.write_titles("NSE", 0)
        self.assertEqual(caught.exception.code, corvane.E_NOT_CONNECTED)
        self.assertFalse(self.session.running())
        self.assertEqual(corvane.office_pid(), 0)

        self.assertEqual(corvane.init(OFFICE, self.session.command_line(), self.book,
                                      timeout=60), 2)
        self.session.adopt(corvane.office_pid())
        self.assertTrue(corvane.is_running())

        # Stopped: a call ends at the deadline, and the office is taken up again once
        # it goes on.
        corvane.set_timeout(2)
        self.session.signal(signal.SIGSTOP)
        try:
            with self.assertRaises(corvane.Error) as caught:
                corvane.write_record("NSE", 1, RECORD)
            self.assertEqual(caught.exception.code, corvane.E_TIMEOUT)
            self.assertFalse(corvane.is_running())
        finally:
            self.session.signal(signal.SIGCONT)
            corvane.set_timeout(0)
        self.assertEqual(corvane.init(OFFICE, self.session.command_line(), self.book,
                                      timeout=60), 2)
        corvane.write_record("NSE", 1, RECORD)

        # Killed: every call reports an error, none crashes.
        self.session.kill()
        self.assertFalse(corvane.is_running())
        for call in (lambda: corvane.write_record("NSE", 1, RECORD),
                     lambda: corvane.reset("NSE", 1),
                     lambda: corvane.save_copy(self.path("never.ods")),
                     corvane.shutdown_office):
            with self.assertRaises(corvane.Error) as caught:
                call()
            self.assertEqual(caught.exception.code, corvane.E_OFFICE)
            self.assertTrue(caught.exception.message)


class LiveTableInItsOwnOffice(unittest.TestCase):
    """A live table that starts its office on a throw-away profile and ends it."""

    def test_context_manager_writes_newest_ticks_and_ends_its_office(self):
        session = OfficeSession()  # only for the pipe's lock and a guaranteed cleanup
        folder = tempfile.mkdtemp(prefix="corvane-test-")
        try:
            book = os.path.join(folder, "live.fods")
            write_workbook(book, ["NSE"])
            states = []
            with corvane.LiveTable(book, sheet="NSE", own_office=True, row_times=True,
                                   open_wait=120, on_state=lambda *s: states.append(s)) as table:
                pid = table.stats()["office_pid"]
                session.adopt(pid)
                for tick in range(300):
                    table.put(["NSE", "Alpha-%d" % tick, 500 + tick % 3, None, 100 + tick])
                with self.assertRaises(corvane.Error) as caught:
                    table.put(["NSE", "no scrip code"])
                self.assertEqual(caught.exception.code, corvane.E_ARGUMENT)
                copy = os.path.join(folder, "copy.ods")
                table.save_copy(copy, timeout=120)
                stats = table.stats()
            self.assertFalse(session.running())  # the table's office ended with it
            self.assertEqual((stats["ticks_put"], stats["instruments"]), (300, 3))
            self.assertEqual(states[-1][0], corvane.LIVE_LIVE)
            rows = read_sheet(copy, "NSE", 4, columns=43)
            self.assertEqual(rows[0][1], "Description")
            self.assertEqual([r[1] for r in rows[1:]], ["Alpha-297", "Alpha-298", "Alpha-299"])
            self.assertEqual([r[4] for r in rows[1:]], [397.0, 398.0, 399.0])
            self.assertTrue(all(isinstance(r[42], float) and r[42] > 40000 for r in rows[1:]))
            with self.assertRaises(corvane.Error) as caught:
                table.put(["NSE", "late", 500])
            self.assertEqual(caught.exception.code, corvane.E_NOT_CONNECTED)
        finally:
            session.close()
            shutil.rmtree(folder, ignore_errors=True)


def load_tests(loader, tests, pattern):
    # The library's state is per process: the tests run in this order.
    suite = unittest.TestSuite()
    for case in (WithoutOffice, InALiveOffice, ShutDownThenKilled, LiveTableInItsOwnOffice):
        suite.addTests(loader.loadTestsFromTestCase(case))
    return suite


if __name__ == "__main__":
    unittest.main(verbosity=2)
