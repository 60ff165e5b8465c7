"""nvrun.exe, the launcher the other tests rely on: it answers message boxes
as scripted, logs them byte-exact, leaves other dialogs alone, enforces its
time limit and logs the program's peak working set at its exit; --watch-only
follows a program that something else starts."""

import json
import unittest

from winebed import BedTestCase

BOXER = r"C:\Program Files\Box Test\boxer.exe"
MB_OK, MB_OKCANCEL, MB_YESNO = 0, 1, 4
MB_ICONERROR = 0x10
IDOK, IDCANCEL, IDYES, IDNO = 1, 2, 6, 7


class NvrunTest(BedTestCase):
    def setUp(self):
        super().setUp()
        self.bed.install_exe(self.bed.testbed_exe("boxer.exe"), BOXER)

    def boxer(self, *args, **kw):
        return self.bed.run_program(BOXER, *args, **kw)

    @staticmethod
    def exit_record(result):
        return [r for r in result.records if r["kind"] == "exit"]

    def test_texts_are_byte_exact(self):
        result = self.boxer(str(MB_OK | MB_ICONERROR), "Caption  ", "one\\r\\ntwo  \\n caf\u00e9 ",
                            str(MB_OK), "", "\\\\x")
        self.assertEqual([(b.caption, b.text, b.icon) for b in result.boxes],
                         [("Caption  ", "one\r\ntwo  \n caf\u00e9 ", "shown"), ("", "\\x", "none")])

    def test_default_and_scripted_answers(self):
        # Default: IDOK when present, else the first button; the scripted
        # answers are used first, one per box in order.
        result = self.boxer(*[x for style in (MB_OKCANCEL, MB_YESNO, MB_YESNO, MB_OKCANCEL)
                              for x in (str(style), "c", "t")], answers=["IDCANCEL", "IDNO"])
        self.assertEqual([b.answer for b in result.boxes], [IDCANCEL, IDNO, IDYES, IDOK])
        # boxer encodes the results it got, two digits each.
        self.assertEqual(self.exit_record(result)[0]["code"], 2070601)
        self.assertEqual([[btn["id"] for btn in b.buttons] for b in result.boxes],
                         [[IDOK, IDCANCEL], [IDYES, IDNO], [IDYES, IDNO], [IDOK, IDCANCEL]])

    def test_exit_code_is_the_childs_and_its_peak_memory_logged(self):
        result = self.boxer(str(MB_OK), "c", "t")
        self.assertEqual(result.exit_code, IDOK)
        # Any Windows program under Wine holds a few MiB; far more would be
        # another process's figure.
        peak = self.exit_record(result)[0]["peak_working_set"]
        self.assertTrue(2 * 2**20 < peak < 200 * 2**20, peak)

    def test_other_dialogs_listed_not_answered(self):
        # boxer's dialog has a label with id -1 and an OK button, like the
        # progress dialog; it exits with 77 if anything commanded it.
        result = self.boxer("--dialog", "Progress", "--wait", "2500", str(MB_OK), "c", "t",
                            timeout_ms=20000)
        self.assertEqual(result.dialogs, ["Progress"])
        self.assertEqual([b.caption for b in result.boxes], ["c"])
        self.assertEqual(result.exit_code, IDOK)

    def test_time_limit_ends_the_program(self):
        result = self.boxer("--dialog", "Progress", "--wait", "60000", timeout_ms=1500)
        self.assertTrue(result.timed_out)
        self.assertEqual(result.exit_code, 124)
        # Ended at its limit, well before the 60 s the program would wait
        # (Wine's start-up on a loaded machine takes its share).
        self.assertLess(result.seconds, 45)

    def test_program_path_with_blanks_and_arguments_with_quotes(self):
        result = self.boxer(str(MB_OK), 'say "hi"', 'a "quoted" \\\\ text')
        self.assertEqual((result.boxes[0].caption, result.boxes[0].text),
                         ('say "hi"', 'a "quoted" \\ text'))

    def test_watch_only_follows_a_program_started_elsewhere(self):
        log = self.bed.dir / "watch.jsonl"
        watcher = self.bed.popen_wine(self.bed.testbed_exe("nvrun.exe"), "--watch-only",
                                      "boxer.exe", "--timeout", "30000", "--log",
                                      self.bed.z_path(log))
        try:
            self.wait_until(lambda: log.exists() and b"watching" in log.read_bytes(),
                            "the watcher started")
            self.bed.wine(BOXER, str(MB_YESNO), "c", "t", check=False)
            self.assertEqual(watcher.wait(timeout=60), 0)
        finally:
            if watcher.poll() is None:
                watcher.kill()
        records = [json.loads(line) for line in log.read_text(encoding="latin-1").splitlines()]
        kinds = [r["kind"] for r in records]
        # The box and the process are found by separate polls: either may come
        # first in the log; the process's end is always last.
        self.assertEqual(kinds[0], "watching")
        self.assertEqual(sorted(kinds[1:3]), ["msgbox", "process"])
        self.assertEqual(kinds[3:], ["process_exit"])
        started = next(r for r in records if r["kind"] == "process")
        box = next(r for r in records if r["kind"] == "msgbox")
        ended = records[3]
        self.assertEqual((box["caption"], box["answer"], box["pid"]), ("c", IDYES, started["pid"]))
        self.assertEqual((ended["pid"], ended["code"]), (started["pid"], IDYES))
        self.assertLessEqual(ended["start_unix_ms"], box["unix_ms"])
        self.assertLessEqual(box["unix_ms"], ended["end_unix_ms"])


if __name__ == "__main__":
    unittest.main()
