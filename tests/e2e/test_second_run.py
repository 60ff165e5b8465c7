"""A second run on a prepared master finds its Run value and goes to
reconfiguration mode: it does not prepare again."""

import unittest

from winebed import MSG_CONFIGURED, OWN_RUN_VALUE, BedTestCase

SERVICE_AUTO_START = 2


class SecondRunTest(BedTestCase):
    def test_second_run_does_not_prepare_again(self):
        self.install_norvane()
        self.bed.install_client()
        first = self.run_norvane()
        self.assert_single_box(first, MSG_CONFIGURED, icon="none")
        prepared = self.state_snapshot()

        # Reconfiguration may show its progress dialog and take a while; the
        # time limit ends it if it does not finish.
        second = self.run_norvane()
        self.assertNotIn(MSG_CONFIGURED, [b.text for b in second.boxes], second.records)
        after = self.state_snapshot()
        own = after["run"].get(OWN_RUN_VALUE)
        if own is None:
            # Only the restoring part of a finished reconfiguration removes
            # the value; it puts the listener back to automatic start.
            self.assertTrue(second.dialogs, second.records)
            self.assertEqual(after["services"]["hxlisten"]["start_type"], SERVICE_AUTO_START)
        else:
            self.assertEqual(own, prepared["run"][OWN_RUN_VALUE])
            if not second.dialogs:
                # Ended at once: nothing at all changed.
                self.assertEqual(after, prepared)


if __name__ == "__main__":
    unittest.main()
