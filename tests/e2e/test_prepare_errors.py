"""Preparation on NT when the listener service cannot be configured: one
error box with the system's text, nothing registered, no closing message."""

import os
import unittest

from winebed import LOG_PATH, OWN_RUN_VALUE, BedTestCase, client

ERROR_SERVICE_DOES_NOT_EXIST = 1060
PREPARATION_FAILED = 4


class ListenerMissingTest(BedTestCase):
    def setUp(self):
        super().setUp()
        self.install_norvane()
        options = client.ClientOptions(listener=None)
        self.client = self.bed.install_client(options)
        self.before = self.state_snapshot()

    def check_error_only(self, *args):
        result = self.run_norvane(*args)
        expected = f"({ERROR_SERVICE_DOES_NOT_EXIST}) " + self.system_text(
            ERROR_SERVICE_DOES_NOT_EXIST)
        self.assert_single_box(result, expected, icon="shown")
        # Nothing registered: the exit code says so, and the outcome values.
        self.assertEqual(result.exit_code, PREPARATION_FAILED)
        self.assertEqual(self.outcome()["LastResult"], PREPARATION_FAILED)
        # Not registered, the client's Run value kept, rtguard untouched.
        self.assertEqual(self.state_snapshot(), self.before)
        self.assertNotIn(OWN_RUN_VALUE, self.bed.run_values())

    def test_error_box_and_no_registration(self):
        self.check_error_only()

    def test_silent_still_shows_error(self):
        self.check_error_only("/silent")

    def test_log_never_written_through_a_hard_link(self):
        """A user's hard link at the log's name, then at the older log's
        during a turn-over: the linked files keep their bytes, the link goes
        aside and a new log begins."""
        log = self.bed.c_path(LOG_PATH)
        older = log.with_name(log.name + ".1")
        log.parent.mkdir(parents=True, exist_ok=True)
        theirs = self.bed.c_path(r"C:\users\Public\theirs.txt")
        theirs.parent.mkdir(parents=True, exist_ok=True)
        theirs.write_bytes(b"not the log's\r\n")
        os.link(theirs, log)
        self.assertEqual(self.run_norvane("/quiet").exit_code, PREPARATION_FAILED)
        self.assertEqual(theirs.read_bytes(), b"not the log's\r\n")
        self.assertEqual(os.stat(log).st_nlink, 1)
        self.assertIn("Finished with exit code 4", log.read_text("latin-1"))
        aside = [p for p in log.parent.iterdir() if p.name.startswith("norvane.log.aside-")]
        self.assertEqual(len(aside), 1, aside)
        self.assertTrue(os.path.samefile(aside[0], theirs))

        # Just under 1 MiB: the run's first line turns the log over.
        full = b"x" * (1024 * 1024 - 20) + b"\r\n"
        log.write_bytes(full)
        os.link(theirs, older)
        self.assertEqual(self.run_norvane("/quiet").exit_code, PREPARATION_FAILED)
        self.assertEqual(theirs.read_bytes(), b"not the log's\r\n")
        self.assertEqual(older.read_bytes(), full)
        self.assertIn(" start: Started on ", log.read_text("latin-1").split("\r\n")[0])
        self.assertEqual(len([p for p in log.parent.iterdir() if os.path.samefile(p, theirs)]), 2)


if __name__ == "__main__":
    unittest.main()
