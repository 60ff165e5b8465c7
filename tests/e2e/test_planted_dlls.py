"""DLLs planted beside norvane.exe under Wine: a standard user who can write to
the program's folder (here C:\\Temp) puts DLLs there under the names of the
system DLLs the program and its libraries use; testbed/planted.dll, copied
under each name, records every process that loads it (and then refuses to
load). Wine is told to prefer a native DLL for those names, so its loader
looks beside the program as Windows does for a DLL that is not one of its
known DLLs. A preparation with /service, a copy's run at logon with its
notification, and the boot-time service's run load none of them. The
preparation registers its copy in C:\\Program Files\\Norvane (as /service
always does); the same DLLs are planted beside that copy too, so that no run
loads a DLL from its own program's folder, whichever that is. (On Windows a
preparation from a folder users may write is refused; Wine keeps no DACLs,
so C:\\Temp is the administrator's own there.)

Without the program's confined DLL search, its import of NETAPI32.dll alone
loaded the planted one before any of its code ran (measured with the
previous build: the preparation's marker NETAPI32.dll.loaded appears)."""

import re
import unittest

from copybed import (BOOT_SERVICE as SERVICE, GUID_TEXT, OTHER_MACHINE, NotifyingCopyTestCase,
                     client)
from winebed import OWN_RUN_VALUE, STATE_WAIT_S

TEMP_EXE = r"C:\Temp\norvane.exe"
INSTALLED_FOLDER = r"C:\Program Files\Norvane"
INSTALLED_EXE = INSTALLED_FOLDER + r"\norvane.exe"
FOLDERS = (r"C:\Temp", INSTALLED_FOLDER)
# Every name the program loads itself or imports, and one the system's own
# libraries load on its behalf (iphlpapi, by netapi32). Wine 8 looks for each
# of them beside the program when told to prefer a native DLL.
#
# version.dll cannot be shown here: Wine's own user32 imports it, and Wine's
# loader resolves that import beside the program while the process starts,
# before any of the program's code runs (measured: a planted version.dll is
# loaded by this build and by the previous one alike, and stops the process
# from starting). On Windows user32 is a known DLL whose dependencies never
# come from the program's folder, and the program itself never loads
# version.dll; so it is not planted.
PLANTED = ("NETAPI32.dll", "iphlpapi.dll", "mpr.dll", "shell32.dll", "wininet.dll", "ole32.dll")
SERVICES_KEY = r"System\CurrentControlSet\Services"


class PlantedDllTest(NotifyingCopyTestCase):
    def install_norvane(self, win_path: str = TEMP_EXE) -> str:
        return super().install_norvane(win_path)

    def run_norvane(self, *args, win_path: str = TEMP_EXE, **kwargs):
        return super().run_norvane(*args, win_path=win_path, **kwargs)

    def logon(self, timeout_ms: int = STATE_WAIT_S * 1000, **dialog):
        words = [q or b for q, b in re.findall(r'"([^"]*)"|(\S+)', self.own_command())]
        self.assertEqual(words[0], INSTALLED_EXE)
        return self.run_norvane(*words[1:], win_path=INSTALLED_EXE, timeout_ms=timeout_ms,
                                **dialog)

    def plant(self, folder: str = r"C:\Temp"):
        planted = self.bed.testbed_exe("planted.dll").read_bytes()
        for name in PLANTED:
            self.bed.c_path(folder + "\\" + name).write_bytes(planted)
        # Native first for these names, for norvane.exe only (the test bed's
        # own programs run as before).
        self.bed.regedit_import(client.reg_file({
            r"HKEY_CURRENT_USER\Software\Wine\AppDefaults\norvane.exe\DllOverrides": {
                name.lower()[:-4]: "native,builtin" for name in PLANTED}}))

    def assert_none_loaded(self, run: str):
        loaded = {folder + "\\" + name: self.bed.c_path(folder + "\\" + name + ".loaded")
                  .read_text(errors="replace").split()
                  for folder in FOLDERS for name in PLANTED
                  if self.bed.c_path(folder + "\\" + name + ".loaded").exists()}
        self.assertEqual(loaded, {}, f"planted DLLs loaded by the {run}")

    def test_no_planted_dll_is_loaded(self):
        self.bed.c_path(r"C:\Temp").mkdir(parents=True, exist_ok=True)
        self.plant()

        # The preparation, with the boot-time service.
        try:
            self.notifying_copy(prepare_args=("/service", "/quiet"))
        finally:
            # A planted DLL that stops the program from starting at all
            # fails the preparation: this says why.
            self.assert_none_loaded("preparation")
        self.assertEqual(self.preparation.exit_code, 0)
        self.plant(INSTALLED_FOLDER)
        master_guid = self.client_value("GUID")

        # The boot-time service's run on a copy: no logon, no window.
        command = self.bed.service(SERVICE)["binary_path"]
        self.bed.regedit_import(client.reg_file({
            f"HKEY_LOCAL_MACHINE\\{SERVICES_KEY}\\{SERVICE}": {
                "ImagePath": command.replace(f'"/{self.identity}"', f'"/{OTHER_MACHINE}"')}}))
        since = len(self.log_lines())
        self.restart()
        self.wait_copy_finished(since)
        self.assert_none_loaded("boot-time service's run")
        service_guid = self.client_value("GUID")
        self.assertRegex(service_guid, GUID_TEXT)
        self.assertNotEqual(service_guid, master_guid)

        # A copy's run at logon, with its progress dialog and notification.
        # Not with a planted ole32.dll: the dialog's first window makes Wine's
        # own imm32 load ole32 at its first call, by a search that starts
        # beside the program (measured: Wine has no known DLLs; on Windows
        # imm32 and ole32 are both known DLLs, never looked for there). The
        # program's own use of ole32 (the new GUID) is shown by the service's
        # run above.
        # (The service's run queued its copy for deletion at the next
        # restart; until then it is there, beside its planted DLLs.)
        for folder in FOLDERS:
            self.bed.c_path(folder + r"\ole32.dll").unlink()
        self.register_again()
        self.bed.regedit_import(client.reg_file({
            "HKEY_LOCAL_MACHINE\\" + client.RUN_KEY: {
                OWN_RUN_VALUE: self.own_command().replace(" /quiet", "")}}))
        result = self.logon()
        self.assert_none_loaded("copy's run")
        self.assertEqual(result.exit_code, 0, result.records)
        guid = self.client_value("GUID")
        self.assertNotEqual(guid, service_guid)
        self.assertEqual([re.search(r"UID=([^&]*)", r.path).group(1)
                          for r in self.console.requests], [service_guid, guid], self.requests())


if __name__ == "__main__":
    unittest.main()
