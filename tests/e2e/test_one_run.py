"""A copy is finished once and never left unprotected: two instances of the
registered command, the second started while the first runs (two logons at
once), make one new GUID and one request; a copy whose client key refuses
writes keeps the real-time service running and stays registered for the next
logon."""

import re
import threading
import unittest

from copybed import GUID_TEXT, SERVICE_RUNNING, NotifyingCopyTestCase
from winebed import NORVANE_WIN_PATH, OWN_RUN_VALUE, STATE_WAIT_S, client

ALREADY_RUNNING = 8
COPY_NOT_FINISHED = 5
SERVICE_STOPPED = 1


class OneRunTest(NotifyingCopyTestCase):
    def test_two_runs_at_once_make_one_guid_and_one_request(self):
        self.notifying_copy()
        master_guid = self.client_value("GUID")
        words = [q or b for q, b in re.findall(r'"([^"]*)"|(\S+)', self.own_command())]
        results = {}

        def logon(name):
            results[name] = self.bed.run_program(NORVANE_WIN_PATH, *words[1:],
                                                 timeout_ms=STATE_WAIT_S * 1000)

        # The second starts once the first is under way (its first line).
        since = len(self.log_lines())
        first = threading.Thread(target=logon, args=("first",))
        first.start()
        self.wait_until(lambda: any(" Started on " in line for line in self.log_lines()[since:]),
                        "the first run started")
        logon("second")
        first.join(timeout=STATE_WAIT_S)

        self.assertEqual(sorted(r.exit_code for r in results.values()), [0, ALREADY_RUNNING],
                         {k: r.records for k, r in results.items()})
        guid = self.client_value("GUID")
        self.assertRegex(guid, GUID_TEXT)
        self.assertNotEqual(guid, master_guid)
        self.assertEqual([re.search(r"UID=([^&]*)", r.path).group(1)
                          for r in self.console.requests], [guid], self.requests())
        self.assertNotIn(OWN_RUN_VALUE, self.bed.run_values())
        self.assertEqual(self.outcome()["LastResult"], 0, "the instance that did the job")

    def test_a_copy_whose_key_refuses_writes_keeps_its_protection(self):
        self.prepare_master()
        self.become_copy()
        # Value writes refused for everyone, for the rest of this session.
        self.bed.probe("reg-acl", client.NT_KEY, "D:(D;;0x6;;;WD)(A;;KA;;;WD)")
        result = self.logon()
        self.assertEqual([(b.caption, b.text) for b in result.boxes],
                         [("Error", "Unable for create a GUID key.")])
        self.assertEqual(result.exit_code, COPY_NOT_FINISHED)
        self.assertEqual(self.bed.service("rtguard")["state"], SERVICE_RUNNING)
        self.assertEqual(self.bed.service("hxlisten")["state"], SERVICE_STOPPED)
        self.assertIn(OWN_RUN_VALUE, self.bed.run_values())


if __name__ == "__main__":
    unittest.main()
