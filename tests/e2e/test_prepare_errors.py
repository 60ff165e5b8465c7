"""Preparation on NT when the listener service cannot be configured: one
error box with the system's text, nothing registered, no closing message."""

import unittest

from winebed import OWN_RUN_VALUE, BedTestCase, client

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


if __name__ == "__main__":
    unittest.main()
