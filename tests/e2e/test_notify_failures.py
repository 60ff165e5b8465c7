"""What each failure of the installation notification shows (one box, caption
"Error"), while the restore still runs after it."""

import unittest

from copybed import NotifyingCopyTestCase, client
from winebed import OWN_RUN_VALUE

CREDENTIAL_DIALOG = "Authentication Required"  # the library's own, under Wine


class NotifyFailuresTest(NotifyingCopyTestCase):
    def setUp(self):
        super().setUp()
        self.notifying_copy()

    def assert_one_box_each(self, cases):
        for name, answers, dialog, text in cases:
            with self.subTest(name):
                self.console.answers = list(answers)
                result = self.logon(**dialog)
                self.assertEqual([(b.caption, b.text) for b in result.boxes], [("Error", text)])
                self.assertNotIn(OWN_RUN_VALUE, self.bed.run_values(), "the restore ran")
                self.register_again()

    def test_each_status_is_one_error_box_and_the_restore_still_runs(self):
        Answer = self.server_module.Answer
        self.assert_one_box_each([
            ("404", [Answer(404)], {}, "No matching URI."),
            ("204", [Answer(204)], {}, ""),
            ("500", [Answer(500)], {}, "The server encountered an unexpected error."),
        ])

    def test_a_cancelled_login_and_nothing_listening_are_one_box_each(self):
        Answer = self.server_module.Answer
        self.assert_one_box_each([
            ("401, dialog cancelled", [Answer(401), Answer(401)],
             {"dialog": CREDENTIAL_DIALOG, "dialog_answer": "IDCANCEL"},
             "The requested resource requires user authentication. "),
        ])
        # Nothing listening: the library's own words for it.
        self.set_client(ServerPort=client.Dword(self.server_module.closed_port()))
        result = self.logon()
        self.assertEqual(len(result.boxes), 1, result.records)
        self.assertEqual(result.boxes[0].caption, "Error")
        self.assertNotEqual(result.boxes[0].text.strip(), "")
        self.assertNotIn(OWN_RUN_VALUE, self.bed.run_values())

if __name__ == "__main__":
    unittest.main()
