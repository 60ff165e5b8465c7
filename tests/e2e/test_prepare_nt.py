"""Preparation of an NT master: the listener goes to demand start, the client's
Run value goes away and the utility registers itself with the host identity."""

import unittest

from winebed import (EVENT_SOURCE_KEY, EVENTLOG_INFORMATION_TYPE, MSG_CONFIGURED,
                     NORVANE_WIN_PATH, OWN_RUN_VALUE, BedTestCase, client)

SERVICE_AUTO_START = 2
SERVICE_DEMAND_START = 3


class PrepareNtTest(BedTestCase):
    def setUp(self):
        super().setUp()
        self.install_norvane()
        self.client = self.bed.install_client()
        self.before = self.state_snapshot()

    def check_prepared(self):
        after = self.state_snapshot()
        listener_before = dict(self.before["services"]["hxlisten"])
        self.assertEqual(listener_before["start_type"], SERVICE_AUTO_START)
        listener_before["start_type"] = SERVICE_DEMAND_START
        # Only the start type of the listener changes: path, account,
        # dependencies, display name and error control stay.
        self.assertEqual(after["services"]["hxlisten"], listener_before)
        self.assertEqual(after["services"]["rtguard"], self.before["services"]["rtguard"])

        run_before = dict(self.before["run"])
        del run_before[self.client.options.ini["NT_RUN_KEY"]]
        run_after = dict(after["run"])
        self.assertIn(OWN_RUN_VALUE, run_after)
        del run_after[OWN_RUN_VALUE]
        self.assertEqual(run_after, run_before)
        self.assert_registered()

    def test_prepares_and_says_so(self):
        result = self.run_norvane()
        self.assert_single_box(result, MSG_CONFIGURED, icon="none")
        self.check_prepared()
        # Its event, and the source registered with the program as its
        # message file.
        self.assert_one_event(result, 1000, EVENTLOG_INFORMATION_TYPE, "prepare", 0)
        source = self.bed.reg_values("HKLM", EVENT_SOURCE_KEY)
        self.assertEqual((source["EventMessageFile"]["type"], source["EventMessageFile"]["data"]),
                         ("REG_EXPAND_SZ", NORVANE_WIN_PATH))
        self.assertEqual(source["TypesSupported"]["data"], 7)

    def check_silent(self, flag):
        result = self.run_norvane(flag)
        self.assertEqual(result.boxes, [], result.records)
        self.check_prepared()

    def test_slash_silent_prepares_without_closing_message(self):
        self.check_silent("/silent")

    def test_dash_uppercase_silent_prepares_without_closing_message(self):
        self.check_silent("-SILENT")

    def test_services_keep_running(self):
        self.run_norvane("/silent")
        for name in ("hxlisten", "rtguard"):
            self.assertEqual(self.bed.service(name)["state"], 4, name)  # SERVICE_RUNNING


if __name__ == "__main__":
    unittest.main()
