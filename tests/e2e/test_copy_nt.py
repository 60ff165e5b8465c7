"""A copy's first logon on NT, the master's own logon, and a missing main
program: the real norvane.exe against the client stand-in."""

import unittest

from copybed import (GUID_TEXT, SERVICE_AUTO_START, SERVICE_RUNNING, CopyTestCase, client)
from winebed import EVENT_SOURCE_KEY, EVENTLOG_INFORMATION_TYPE, LOG_PATH, NORVANE_WIN_PATH


class CopyNtTest(CopyTestCase):
    def test_copy_with_the_whole_client_running(self):
        self.prepare_master(client.ClientOptions(running=["main", "update", "monitor"]))
        listener_before = self.service_config("hxlisten")
        master_guid = self.client_value("GUID")
        monitor_starts = self.launches("monitor")
        self.become_copy()

        # Meanwhile another program holds the log and shares nothing.
        with self.bed.holding(LOG_PATH):
            result = self.logon()
        self.assertEqual(result.boxes, [], result.records)
        self.assertEqual(result.exit_code, 0)
        # Not one of the run's lines is lost: all of them, to its last, are
        # in a file of their own beside the log, which "LogFile" names.
        run_file = self.outcome()["LogFile"]
        self.assertRegex(run_file,
                         r"^C:\\ProgramData\\Norvane\\norvane\.log\.run-\d{14}-\d+-\d+$")
        lines = self.bed.c_path(run_file).read_bytes().decode("latin-1").split("\r\n")
        self.assertIn(f"{LOG_PATH} cannot be written (", lines[0])
        self.assertIn(" start: Started on ", lines[1])
        self.assertIn(" copy: GUID stored: ", "\n".join(lines))
        self.assertEqual(lines[-1], "")
        self.assertIn(" copy: Finished with exit code 0: everything was done", lines[-2])
        self.assertNotIn(" copy: ", "\n".join(self.log_lines()))
        for role, message in (("main", 0x0111), ("update", 1126), ("monitor", 2225)):
            events = self.bed.program_events(self.client.programs[role])
            self.assertIn(message, [e["value"] for e in events if e["event"] == "message"], role)
            self.assert_ended_when_told(events, role)
        guid = self.client_value("GUID")
        self.assertRegex(guid, GUID_TEXT)
        self.assertNotEqual(guid.lower(), master_guid.lower())
        # One end event, with the new GUID; the source went with the program.
        event = self.assert_one_event(result, 1000, EVENTLOG_INFORMATION_TYPE, "copy", 0)
        self.assertEqual(event.strings[1], "exit code: 0 (everything was done)")
        self.assertEqual(event.strings[3:], [f"GUID: {guid}"])
        self.assertIsNone(self.bed.reg_values("HKLM", EVENT_SOURCE_KEY))
        listener = self.service_config("hxlisten")
        self.assertEqual(listener["start_type"], SERVICE_AUTO_START)
        listener_before["start_type"] = SERVICE_AUTO_START
        self.assertEqual(listener, listener_before, "only the start type changes")
        for name in ("hxlisten", "rtguard"):
            self.assertEqual(self.bed.service(name)["state"], SERVICE_RUNNING, name)
        self.assert_restored(self.client.options.ini["NT_RUN_KEY"], "stvmon.exe")
        self.assertIn(NORVANE_WIN_PATH, self.pending_deletions())
        self.assertEqual(self.launches("monitor"), monitor_starts + 1, "the client was started")

        self.restart()
        self.assertFalse(self.bed.c_path(NORVANE_WIN_PATH).exists(), "norvane.exe survived")
        for path in self.client.programs.values():
            self.assertTrue(self.bed.c_path(path).exists(), path)

    def test_master_itself_only_restores(self):
        self.prepare_master(client.ClientOptions(running=["main"]))
        master_guid = self.client_value("GUID")
        result = self.logon()
        self.assertEqual(result.boxes, [], result.records)
        self.assertEqual(self.client_value("GUID"), master_guid)
        events = self.bed.program_events(self.client.programs["main"])
        self.assertNotIn("message", [e["event"] for e in events], "nothing is stopped")
        self.assertEqual(self.service_config("hxlisten")["start_type"], SERVICE_AUTO_START)
        self.assert_restored(self.client.options.ini["NT_RUN_KEY"], "stvmon.exe")
        # Only the restoring step ran: nothing stopped, no new GUID.
        steps = [line.split("Step begun: ", 1)[1] for line in self.log_lines()
                 if "same host: Step begun: " in line]
        self.assertEqual(steps, ["restoring the client"], self.log_lines())

    def test_missing_main_program_is_shown_and_the_rest_restored(self):
        self.prepare_master()
        self.bed.c_path(self.client.programs["monitor"]).unlink()
        result = self.logon()
        self.assertEqual([(b.caption, b.text) for b in result.boxes],
                         [("Wardline Norvane Utility", f"(2) {self.system_text(2)}")])
        self.assertEqual(self.service_config("hxlisten")["start_type"], SERVICE_AUTO_START)
        self.assert_restored(self.client.options.ini["NT_RUN_KEY"], "stvmon.exe")


class SlowListenerTest(CopyTestCase):
    """Wine's own 10 s start limit, and a listener whose first start after the
    copy stopped it is slower than that: the start fails with 1053 and the
    service manager ends it; the copy starts it again."""

    WINE_START_LIMIT = True

    def test_a_listener_slower_than_the_start_limit_is_started_again(self):
        self.prepare_master()
        self.become_copy()
        (self.bed.c_path(self.client.folder) / "hxlisten.slow-start").write_text("12000")
        result = self.logon()
        self.assertEqual(result.boxes, [], result.records)
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(self.bed.service("hxlisten")["state"], SERVICE_RUNNING)
        log = "\n".join(self.log_lines())
        self.assertIn('The client\'s service "hxlisten" did not start: (1053) ', log)
        self.assertIn('The client\'s service "hxlisten" is running (started again)', log)


if __name__ == "__main__":
    unittest.main()
