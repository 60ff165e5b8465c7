"""The whole life cycle under Wine (testbed/lifecycle.py): a master with the
client running is prepared, its disk imaged, two copies start from the image
on hardware of their own (network namespaces, own MACs, own console
stand-ins) and log on, then the master logs on again. Needs root and network
namespaces. Each test checks one promise for every machine."""

import os
import re
import sys
import unittest
from pathlib import Path

from winebed import MSG_CONFIGURED, REPO

sys.path.insert(0, str(REPO / "testbed"))
import lifecycle  # noqa: E402

NEW_GUID = re.compile(r"[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}")
CLIENT_RUN = ("Sentova NT Monitor",
              '"C:\\Program Files\\Halvex\\Sentova NT\\stvmon.exe" -HideWindow')


class LifecycleTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.result = lifecycle.run_lifecycle(lifecycle.Options(
            copies=2, exe=Path(os.environ["NORVANE_EXE"]),
            testbed_dir=Path(os.environ["NORVANE_TESTBED_DIR"]),
            template=Path(os.environ["NORVANE_E2E_TEMPLATE"]),
            work=os.environ.get("NORVANE_E2E_WORK"),
            log=lambda text: print(text, file=sys.stderr, flush=True)))
        print(lifecycle.report_text(cls.result), file=sys.stderr)
        cls.master, *cls.copies = cls.result.machines

    def test_master_prepared_with_its_adapter(self):
        prep = self.result.preparation
        self.assertEqual([b.text for b in prep.boxes], [MSG_CONFIGURED])
        self.assertEqual(prep.identity, "024e56000000")
        self.assertTrue(prep.after["service hxlisten"].startswith("on demand"), prep.after)
        self.assertNotIn("Run: " + CLIENT_RUN[0], prep.after)

    def test_logon_starts_the_utility_which_ends_without_a_box(self):
        self.assertEqual(len(self.copies), 2)
        for m in self.result.machines:
            with self.subTest(m.name):
                self.assertEqual(m.errors, [])
                self.assertEqual(m.identity_registered, "024e56000000")
                self.assertEqual(m.identity_seen, [m.mac.replace(":", "")])
                self.assertTrue(m.started and m.ended, "the utility did not run to its end")
                self.assertEqual(m.boxes, [])

    def test_copies_get_distinct_guids_and_the_master_keeps_its_own(self):
        self.assertEqual(self.master.guid_after, lifecycle.MASTER_GUID)
        for m in self.copies:
            with self.subTest(m.name):
                self.assertEqual(m.guid_before, lifecycle.MASTER_GUID)
                self.assertRegex(m.guid_after or "", NEW_GUID)
                self.assertNotEqual(m.guid_after, lifecycle.MASTER_GUID)
        self.assertNotEqual(self.copies[0].guid_after, self.copies[1].guid_after)

    def test_each_copy_tells_its_console_once_with_its_new_guid(self):
        self.assertEqual(self.master.requests, [])
        for m in self.copies:
            with self.subTest(m.name):
                self.assertEqual(len(m.requests), 1, m.requests)
                self.assertRegex(m.requests[0], rf"^GET /Wardline/cgi/cgiOnInst\.exe\?UID="
                                 rf"{m.guid_after}&DATE=\d{{8}}&TIME=\d{{6}}&DOMAIN=Workgroup"
                                 rf"&DEFAULT_CFG=1 HTTP/1\.0$")

    def test_every_client_restored_and_running(self):
        for m in self.result.machines:
            with self.subTest(m.name):
                self.assertEqual(m.listener_start, 2, "listener not on automatic start")
                self.assertEqual(m.service_states, {"hxlisten": 4, "rtguard": 4})
                value = m.client_run_value or {}
                self.assertEqual((value.get("type"), value.get("data"), value.get("terminated")),
                                 ("REG_SZ", CLIENT_RUN[1], True))
                self.assertTrue(m.program_launched, "the client's program was not launched")

    def test_every_run_on_the_record(self):
        prep = self.result.preparation
        self.assertEqual((prep.exit_code, prep.last_result), (0, 0))
        for m in self.result.machines:
            with self.subTest(m.name):
                self.assertEqual((m.exit_code, m.last_result), (0, 0))
        for m in self.copies:
            with self.subTest(m.name):
                # The log's lines with the process id nvrun followed, from
                # its last "Started on" line to its "Finished" line.
                run = m.run_log
                self.assertRegex(run[0] if run else "", r" start: Started on Windows ")
                self.assertRegex(run[-1], r" copy: Finished with exit code 0: ")
                self.assertTrue(any(f": GUID stored: {m.guid_after} " in line for line in run),
                                run)

    def test_utility_unregistered_and_gone_after_the_restart(self):
        for m in self.result.machines:
            with self.subTest(m.name):
                self.assertIsNone(m.own_run_value)
                self.assertTrue(m.queued_for_deletion, "norvane.exe not queued for deletion")
                self.assertIs(m.exe_after_restart, False, "norvane.exe still there")


if __name__ == "__main__":
    unittest.main()
