"""On NT 3.51 the utility refuses to run and changes nothing, registered or not."""

import unittest

from winebed import EVENTLOG_ERROR_TYPE, MSG_OLD_NT, OWN_RUN_VALUE, BedTestCase, client


class OldNtTest(BedTestCase):
    def setUp(self):
        super().setUp()
        self.install_norvane()
        self.bed.set_version("norvane.exe", "nt351")
        self.bed.install_client()

    def check_refused_without_change(self, *args):
        before = self.state_snapshot()
        result = self.run_norvane(*args)
        self.assert_single_box(result, MSG_OLD_NT, icon="shown")
        self.assertEqual(self.state_snapshot(), before)
        event = self.assert_one_event(result, 1002, EVENTLOG_ERROR_TYPE, "refused", 2)
        self.assertEqual(event.strings[2], "reason: " + MSG_OLD_NT)

    def test_unregistered_refuses(self):
        self.check_refused_without_change()
        self.assertNotIn(OWN_RUN_VALUE, self.bed.run_values())

    def test_registered_refuses(self):
        # Any content counts as registered; it must survive untouched.
        self.bed.regedit_import(client.reg_file({
            "HKEY_LOCAL_MACHINE\\" + client.RUN_KEY: {OWN_RUN_VALUE: client.Dword(7)}}))
        self.check_refused_without_change("/silent")
        self.assertEqual(self.bed.run_values()[OWN_RUN_VALUE]["data"], 7)


if __name__ == "__main__":
    unittest.main()
