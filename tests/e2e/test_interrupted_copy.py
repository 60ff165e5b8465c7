"""A copy's first logon killed at five points, then the machine restarted and
logged on to again: it ends as an uninterrupted logon ends, and the console
has heard of the GUID the client ends with."""

import re
import threading
import time
import unittest

from copybed import (GUID_TEXT, NOTIFICATION, SERVICE_AUTO_START, NotifyingCopyTestCase,
                     client)
from winebed import NORVANE_WIN_PATH, OWN_RUN_VALUE, STATE_WAIT_S

SERVICE_STOPPED = 1
SERVICE_RUNNING = 4
MASTER_GUID = "6f1c2a4e-3b5d-4c7e-9a8b-1d2e3f405162"


class InterruptedCopyTest(NotifyingCopyTestCase):
    def setUp(self):
        super().setUp()
        self.notifying_copy(GUID=MASTER_GUID)

    def interrupt(self, moment, before_kill=None, timeout=STATE_WAIT_S):
        """Logs on, waits until moment() holds, kills norvane.exe."""
        outcome = {}
        logon = threading.Thread(target=lambda: outcome.update(result=self.logon()))
        logon.start()
        try:
            deadline = time.monotonic() + timeout
            while not moment():
                self.assertLess(time.monotonic(), deadline, "the moment never came")
                self.assertTrue(logon.is_alive(), "the run ended before the moment")
                time.sleep(0.05)
            if before_kill:
                before_kill()
        finally:
            self.bed.wine("taskkill", "/F", "/IM", "norvane.exe", check=False, timeout=30)
            logon.join(timeout=STATE_WAIT_S)

    def next_start(self):
        """Restart; the logon runs the utility again when it is registered."""
        self.restart()
        if self.own_command():
            result = self.logon()
            self.assertEqual(result.boxes, [], result.records)
        self.restart()

    def assert_converged(self):
        guid = self.client_value("GUID")
        self.assertRegex(guid, GUID_TEXT)
        self.assertNotEqual(guid, MASTER_GUID)
        self.assertEqual(self.service_config("hxlisten")["start_type"], SERVICE_AUTO_START)
        self.assert_restored(self.client.options.ini["NT_RUN_KEY"], "stvmon.exe")
        self.assertFalse(self.bed.c_path(NORVANE_WIN_PATH).exists(), "norvane.exe survived")
        last = NOTIFICATION.fullmatch(self.console.requests[-1].request_line)
        self.assertEqual(last["uid"], guid, "the console has the final GUID")

    def test_killed_while_stopping_the_client(self):
        self.interrupt(lambda: self.bed.service("rtguard")["state"] == SERVICE_STOPPED)
        self.assertEqual(self.client_value("GUID"), MASTER_GUID)
        self.next_start()
        self.assert_converged()

    def test_killed_right_after_the_guid_is_written(self):
        self.console.answers = [self.server_module.Answer(200, b"OK", delay=5)]
        self.interrupt(lambda: self.client_value("GUID") != MASTER_GUID)
        self.next_start()
        self.assert_converged()

    def test_killed_during_the_notification(self):
        self.console.answers = [self.server_module.Answer(200, b"OK", delay=30)]
        self.interrupt(lambda: len(self.console.requests) == 1)
        first = NOTIFICATION.fullmatch(self.console.requests[0].request_line)["uid"]
        self.next_start()
        self.assert_converged()
        self.assertNotEqual(self.client_value("GUID"), first, "the next logon made a new one")

    def test_killed_between_the_start_type_and_the_run_values(self):
        # Once the GUID is there, nothing may write to the Run key: the
        # restore changes the start type, then fails on the Run values and
        # keeps the utility registered; it is killed in that state.
        run_key = client.RUN_KEY
        self.console.answers = [self.server_module.Answer(200, b"OK", delay=3)]
        self.interrupt(lambda: self.client_value("GUID") != MASTER_GUID,
                       before_kill=lambda: self.hold_until_listener_restored(run_key))
        self.assertIsNotNone(self.bed.run_values().get(OWN_RUN_VALUE))
        self.assertIsNone(self.bed.run_values().get(self.client.options.ini["NT_RUN_KEY"]))
        self.bed.probe("reg-acl", run_key, "D:(A;;KA;;;WD)")
        self.next_start()
        self.assert_converged()

    def hold_until_listener_restored(self, run_key):
        self.bed.probe("reg-acl", run_key, "D:(D;;0x6;;;WD)(A;;KA;;;WD)")
        self.wait_until(lambda: self.service_config("hxlisten")["start_type"] == SERVICE_AUTO_START,
                        "the listener set back to automatic start")

    def test_killed_while_starting_the_client(self):
        self.interrupt(lambda: (self.own_command() == ""
                                and self.bed.service("hxlisten")["state"] == SERVICE_RUNNING))
        self.next_start()
        self.assert_converged()


if __name__ == "__main__":
    unittest.main()
