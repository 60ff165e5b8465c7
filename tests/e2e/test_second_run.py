"""A second run on a prepared master finds its Run value and the master's
record: it neither prepares again nor takes the master for a copy."""

import unittest

from winebed import EVENTLOG_INFORMATION_TYPE, MSG_CONFIGURED, OWN_RUN_VALUE, BedTestCase


class SecondRunTest(BedTestCase):
    def test_second_run_does_not_prepare_again(self):
        self.install_norvane()
        self.bed.install_client()
        first = self.run_norvane()
        self.assert_single_box(first, MSG_CONFIGURED, icon="none")
        prepared = self.state_snapshot()

        # Started again by hand (a double-click), it finds the master it was
        # prepared on and leaves it as it is.
        second = self.run_norvane()
        self.assertEqual(second.exit_code, 10)
        self.assertEqual(len(second.boxes), 1, second.records)
        self.assertTrue(second.boxes[0].text.startswith(
            "This computer is prepared for imaging as the master: nothing was changed."),
            second.records)
        self.assertFalse(second.dialogs, second.records)
        self.assertEqual(self.state_snapshot(), prepared)
        self.assert_one_event(second, 1010, EVENTLOG_INFORMATION_TYPE, "same host", 10)


if __name__ == "__main__":
    unittest.main()
