"""The boot-time run under Wine: a master prepared with /service /quiet gets
the service beside its Run value and shows nothing; a copy restarted
without a logon (`wineboot -r` starts the automatic services and no Run-key
program) is finished by the service alone; a copy restarted with a logon
(plain `wineboot`: the service and the Run key's program together) is
finished once; the master restarted without a logon stays prepared for its
image. Wine's tokens are never filtered: the elevation through the
consent prompt is shown on the in-memory Windows only
(tests/unit/test_boot.cpp). The master is prepared from C:\\Temp (Wine keeps
no DACLs: its folders are the administrator's own, as a protected folder is
on Windows): the service and the Run value name the copy of the program that
the preparation put in C:\\Program Files\\Norvane. The moment the log says
that the preparation started (its first line names the command), the
program's file there is renamed and another program put in its place, from
the Linux side, which no share mode stops (as anyone with delete rights could
on Windows): the copy registered is still the program that was started, read
through the handle the run holds from its start."""

import os
import re
import shutil
import threading
import unittest
from pathlib import Path

from copybed import (BOOT_SERVICE as SERVICE, GUID_TEXT, OTHER_MACHINE, SERVICE_AUTO_START,
                     SERVICE_DEMAND_START, NotifyingCopyTestCase, client)
from winebed import EVENTLOG_WARNING_TYPE, LOG_PATH, OWN_RUN_VALUE, STATE_WAIT_S

STARTED_FROM = r"C:\Temp\norvane.exe"
INSTALLED_FOLDER = r"C:\Program Files\Norvane"
INSTALLED = INSTALLED_FOLDER + r"\norvane.exe"
SERVICES_KEY = r"System\CurrentControlSet\Services"


class Swap(threading.Thread):
    """Puts another program in place of the started one the moment the log
    says that the preparation started (its first line, well before any copy
    is made, even on a loaded machine); notes whether the copy was there
    yet."""

    def __init__(self, bed, other: Path):
        super().__init__(daemon=True)
        self.log, self.other = bed.c_path(LOG_PATH), other
        self.started, self.installed = bed.c_path(STARTED_FROM), bed.c_path(INSTALLED)
        self.copy_there = None
        self.stop = threading.Event()

    def run(self):
        while not self.stop.wait(0.001):
            try:
                if b" Started on " not in self.log.read_bytes():
                    continue
            except FileNotFoundError:
                continue
            self.copy_there = self.installed.exists()
            self.started.rename(self.started.with_name("norvane-started.exe"))
            shutil.copyfile(self.other, self.started)
            return


class BootServiceTest(NotifyingCopyTestCase):
    def setUp(self):
        super().setUp()
        self.swap = Swap(self.bed, self.bed.testbed_exe("nvprobe.exe"))
        self.swap.start()
        self.addCleanup(self.swap.stop.set)
        self.notifying_copy(prepare_args=("/service", "/quiet"), win_path=STARTED_FROM)
        self.swap.join(STATE_WAIT_S)
        self.master_guid = self.client_value("GUID")
        self.service_command = self.bed.service(SERVICE)["binary_path"]
        # The copy's service names the master, as its Run value does.
        self.bed.regedit_import(client.reg_file({
            f"HKEY_LOCAL_MACHINE\\{SERVICES_KEY}\\{SERVICE}": {
                "ImagePath": self.service_command.replace(f'"/{self.identity}"',
                                                          f'"/{OTHER_MACHINE}"')}}))

    def assert_finished_once(self):
        guid = self.client_value("GUID")
        self.assertRegex(guid, GUID_TEXT)
        self.assertNotEqual(guid, self.master_guid)
        self.assertEqual([re.search(r"UID=([^&]*)", r.path).group(1)
                          for r in self.console.requests], [guid], self.requests())
        self.assertEqual(self.service_config("hxlisten")["start_type"], SERVICE_AUTO_START)
        self.assert_restored(self.client.options.ini["NT_RUN_KEY"],
                             self.client.options.ini["NT_MENU_IOMONITOR_ITEM_FILENAME"])
        # The copy goes at the next restart, its folder after it.
        pending = self.pending_deletions()
        self.assertIn(INSTALLED, pending)
        self.assertIn(INSTALLED_FOLDER, pending)
        self.assertLess(pending.index(INSTALLED), pending.index(INSTALLED_FOLDER))
        values = self.outcome()
        self.assertEqual((values["LastResult"], values["LastMode"], values["Guid"]),
                         (0, "copy", guid))

    def test_the_service_finishes_a_copy_before_any_logon(self):
        # The master: the service beside the Run value, nothing shown.
        self.assert_nothing_shown(self.preparation)
        self.assertEqual(self.preparation.exit_code, 0)
        service = self.bed.service(SERVICE)
        self.assertEqual((service["start_type"], service["account"], service["display_name"]),
                         (SERVICE_AUTO_START, "LocalSystem", "Norvane Utility"))
        self.assertEqual(service["binary_path"],
                         f'"{INSTALLED}" "/{self.identity}" -HideWindow /service')
        self.assertEqual(self.registration,
                         f'"{INSTALLED}" "/{self.identity}" -HideWindow /quiet')
        # Swapped before the copy was made, and still the started program's
        # bytes (with the copy made by path, they were nvprobe.exe's).
        self.assertIs(self.swap.copy_there, False, "the swap came too late to prove anything")
        self.assertEqual(self.bed.c_path(STARTED_FROM).read_bytes(),
                         self.bed.testbed_exe("nvprobe.exe").read_bytes())
        with open(os.environ["NORVANE_EXE"], "rb") as built:
            started = built.read()
        self.assertEqual(self.bed.c_path(INSTALLED).read_bytes(), started)
        self.assertTrue(any(f"The program registered is {INSTALLED} ({len(started)} bytes), a "
                            f"copy of {STARTED_FROM} made from the file this run was started from"
                            in line for line in self.log_lines()), self.log_lines())

        since = len(self.log_lines())
        self.restart()  # wineboot -r: no logon
        self.wait_copy_finished(since)
        self.assert_finished_once()
        self.assertEqual(self.launches("monitor"), 0, "nobody is logged on")
        self.assertTrue(any(" start: Started on Windows" in line and "as the boot-time service"
                            in line for line in self.log_lines()))

    def test_the_master_restarted_before_imaging_stays_prepared(self):
        # Back to the master's own registration and service command.
        self.bed.regedit_import(client.reg_file({
            "HKEY_LOCAL_MACHINE\\" + client.RUN_KEY: {OWN_RUN_VALUE: self.registration},
            f"HKEY_LOCAL_MACHINE\\{SERVICES_KEY}\\{SERVICE}": {
                "ImagePath": self.service_command}}))
        since = len(self.log_lines())
        self.restart()
        self.wait_runs_ended(since)
        self.assertEqual((self.outcome()["LastMode"], self.outcome()["LastResult"]),
                         ("same host", 0))
        self.assertEqual(self.client_value("GUID"), self.master_guid)
        self.assertEqual(self.console.requests, [])
        # The image made now still carries the utility.
        self.assertEqual(self.bed.run_values()[OWN_RUN_VALUE]["data"], self.registration)
        self.assertEqual(self.bed.service(SERVICE)["binary_path"], self.service_command)
        self.assertEqual(self.service_config("hxlisten")["start_type"], SERVICE_DEMAND_START)
        # Asked for its usage there, it shows it and changes nothing.
        before = (self.bed.run_values(), self.bed.service(SERVICE)["binary_path"],
                  self.client_value("GUID"), self.outcome())
        usage = self.run_norvane("/?", win_path=INSTALLED)
        self.assertEqual(usage.exit_code, 9)
        self.assertEqual(len(usage.boxes), 1, usage.records)
        self.assertTrue(usage.boxes[0].text.startswith("Usage: norvane.exe"), usage.records)
        self.assert_one_event(usage, 1009, EVENTLOG_WARNING_TYPE, "start", 9)
        self.assertEqual((self.bed.run_values(), self.bed.service(SERVICE)["binary_path"],
                          self.client_value("GUID"), self.outcome()), before)

    def test_a_logon_and_the_service_together_finish_the_copy_once(self):
        since = len(self.log_lines())
        self.bed.shutdown()
        self.bed.serve()
        self.bed.wine("wineboot", timeout=120)  # the services, then the Run key's programs
        self.wait_copy_finished(since)
        self.assert_finished_once()


if __name__ == "__main__":
    unittest.main()
