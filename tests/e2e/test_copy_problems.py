"""A copy's logon when something is missing: no client at all, or the
listener service gone by the time of the restore. And a Windows 98 copy."""

import unittest

from copybed import OTHER_MACHINE, SERVICE_AUTO_START, CopyTestCase, client
from winebed import NORVANE_WIN_PATH, OWN_RUN_VALUE


class CopyProblemsTest(CopyTestCase):
    def test_client_not_installed(self):
        self.prepare_master()
        self.bed.regedit_import(f"REGEDIT4\r\n\r\n[-HKEY_LOCAL_MACHINE\\{client.NT_KEY}]\r\n")
        self.become_copy()
        before = self.state_snapshot()
        result = self.logon()
        self.assertEqual([(b.caption, b.text, b.icon) for b in result.boxes],
                         [("Error", "The Wardline client has not yet been installed on this "
                           "computer.", "shown")])
        self.assertEqual(self.state_snapshot(), before)
        self.assertEqual(self.pending_deletions(), [])
        self.assertIn(OTHER_MACHINE, self.own_command())

    def test_missing_listener_keeps_the_utility_until_it_is_back(self):
        self.prepare_master()
        self.bed.probe("svc-stop", "hxlisten")
        self.bed.probe("svc-delete", "hxlisten")
        result = self.logon()  # the master itself: only the restore runs
        self.assertEqual([(b.caption, b.text) for b in result.boxes],
                         [("Wardline Norvane Utility", f"(1060) {self.system_text(1060)}")])
        self.assertNotEqual(self.own_command(), "")
        self.assertEqual(self.pending_deletions(), [])

        listener = self.client.options.listener
        self.bed.probe("svc-create", listener.name, f'"{self.client.folder}\\{listener.file}"',
                       "3", listener.display_name, "", listener.account,
                       str(listener.error_control))
        result = self.logon()
        self.assertEqual(result.boxes, [], result.records)
        self.assertEqual(self.service_config("hxlisten")["start_type"], SERVICE_AUTO_START)
        self.assertEqual(self.own_command(), "")

    def test_windows98_copy(self):
        options = client.ClientOptions(layout="9x", running=["main9x"])
        self.prepare_master(options, version="win98")
        wininit = self.bed.c_path(r"C:\windows\wininit.ini")
        wininit.write_bytes(b"[Rename]\r\nNUL=C:\\OLD\\LEFTOVER.EXE\r\n")
        self.become_copy()
        services_before = {s: self.service_config(s) for s in ("hxlisten", "rtguard")}

        result = self.logon()
        self.assertEqual(result.boxes, [], result.records)
        events = self.bed.program_events(self.client.programs["main9x"])
        self.assertEqual([e["value"] for e in events if e["event"] == "message"][:1], [2024])
        self.assert_ended_when_told(events, "main9x")
        self.assertEqual({s: self.service_config(s) for s in ("hxlisten", "rtguard")},
                         services_before)
        self.assert_restored(options.ini["95_RUN_KEY"], options.ini["95_MENU_MAIN_ITEM_FILENAME"])
        lines = wininit.read_bytes().decode("latin-1").split("\r\n")
        self.assertEqual(lines[:2], ["[Rename]", "NUL=C:\\OLD\\LEFTOVER.EXE"])
        self.assertRegex(lines[2], r"^NUL=C:\\.*\\NORVANE\.EXE$|^NUL=C:\\.*~.*$")
        short = lines[2][4:]
        self.assertEqual(self.bed.probe("shortpath", NORVANE_WIN_PATH).get("path"), short)


if __name__ == "__main__":
    unittest.main()
