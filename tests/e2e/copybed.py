"""A copy's first logon under Wine, for the end-to-end tests.

The real norvane.exe prepares a master (the client stand-in installed and
running); its registration is then pointed at another machine's identity
(a copy started on other hardware), or left as it is (the master itself),
and the registered command is started exactly as Windows starts it at
logon: the Run value's text, split into its program and arguments.
"""

from __future__ import annotations

import re

from winebed import NORVANE_WIN_PATH, OWN_RUN_VALUE, STATE_WAIT_S, BedTestCase, client

BOOT_SERVICE = "Norvane"

OTHER_MACHINE = "02aabbccdd01"
PENDING_KEY = r"SYSTEM\CurrentControlSet\Control\Session Manager"
SERVICE_AUTO_START = 2
SERVICE_DEMAND_START = 3
SERVICE_RUNNING = 4
GUID_TEXT = re.compile(r"[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}")


class CopyTestCase(BedTestCase):
    def prepare_master(self, options: client.ClientOptions | None = None, version: str = ""):
        self.install_norvane()
        if version:
            self.bed.set_version("norvane.exe", version)
        self.client = self.bed.install_client(options)
        result = self.run_norvane("/silent")
        self.assertEqual(result.boxes, [], "the preparation failed")
        self.identity = re.search(r'"/([0-9a-f]*)"', self.own_command()).group(1)

    def own_command(self) -> str:
        value = self.bed.run_values().get(OWN_RUN_VALUE)
        return value["data"] if value else ""

    def become_copy(self, identity: str = OTHER_MACHINE):
        """Points the registration at another machine, as on a copy of the disk."""
        command = self.own_command().replace(f'"/{self.identity}"', f'"/{identity}"')
        self.bed.regedit_import(client.reg_file({
            "HKEY_LOCAL_MACHINE\\" + client.RUN_KEY: {OWN_RUN_VALUE: command}}))

    def logon(self, timeout_ms: int = STATE_WAIT_S * 1000, **dialog):
        """Starts the registered command as Windows does at logon."""
        parts = re.findall(r'"([^"]*)"|(\S+)', self.own_command())
        words = [quoted or bare for quoted, bare in parts]
        self.assertEqual(words[0], NORVANE_WIN_PATH)
        return self.run_norvane(*words[1:], timeout_ms=timeout_ms, **dialog)

    def assert_ended_when_told(self, events: list, role: str):
        """The instance of a client program that got a closing message has
        ended. A later instance is the client launched again at the end of the
        run; whether it has logged its start yet is a matter of timing."""
        told = [e["pid"] for e in events if e["event"] == "message"]
        self.assertTrue(told, f"{role} got no message")
        self.assertIn(("exited", told[0]), [(e["event"], e["pid"]) for e in events], role)

    def client_value(self, name: str, key: str = client.NT_KEY):
        value = self.bed.reg_value("HKLM", key, name)
        return value["data"] if value else None

    def pending_deletions(self) -> list:
        value = self.bed.reg_value("HKLM", PENDING_KEY, "PendingFileRenameOperations")
        items = value["data"] if value else []
        return [items[i][4:] for i in range(0, len(items) - 1, 2)
                if items[i].startswith("\\??\\") and items[i + 1] == ""]

    def restart(self):
        self.bed.shutdown()
        self.bed.boot()

    def wait_copy_finished(self, since: int = 0):
        """Until the utility's Run value and its boot-time service are gone and
        every run since log line since has ended (its outcome values
        written)."""
        self.wait_until(lambda: (OWN_RUN_VALUE not in self.bed.run_values()
                                 and self.bed.service(BOOT_SERVICE) is None),
                        "the Run value and the service gone")
        self.wait_runs_ended(since)

    def launches(self, role: str) -> int:
        return sum(e["event"] == "started" for e in self.bed.program_events(
            self.client.programs[role]))

    def assert_restored(self, run_value_name: str, program_file: str):
        """The client's start-up entry back byte for byte, the utility unregistered
        and queued for deletion."""
        values = self.bed.run_values()
        entry = values.get(run_value_name)
        self.assertIsNotNone(entry, f"{run_value_name} not restored")
        self.assertEqual(entry["type"], "REG_SZ")
        self.assertTrue(entry.get("terminated"))
        self.assertEqual(entry["data"], f'"{self.client.folder}\\{program_file}" -HideWindow')
        self.assertNotIn(OWN_RUN_VALUE, values)


WINLOGON_KEY = r"Software\Microsoft\Windows NT\CurrentVersion\Winlogon"
NOTIFICATION = re.compile(r"GET /Wardline/cgi/cgiOnInst\.exe\?UID=(?P<uid>[^&]*)&DATE=(?P<date>\d{8})"
                          r"&TIME=(?P<time>\d{6})&DOMAIN=(?P<domain>[^&]*)&DEFAULT_CFG=1 HTTP/1\.0")


class NotifyingCopyTestCase(CopyTestCase):
    """A copy whose client asks for the notification: its key has no
    "Application Path" (the folder is its "InstallPath") and has "Mode" 1;
    "Server" is a console stand-in on 127.0.0.1, started per test."""

    def setUp(self):
        super().setUp()
        import server  # testbed/server.py, on the path through winebed
        self.server_module = server
        self.console = server.ConsoleServer()
        self.console.__enter__()
        self.addCleanup(self.console.__exit__, None, None, None)

    def notifying_copy(self, proxy: dict | None = None, prepare_args=("/silent",),
                       win_path: str = NORVANE_WIN_PATH, **nt_values):
        options = client.ClientOptions()
        options.nt_values.update({"Application Path": None, "InstallPath": client.NT_FOLDER,
                                  "Mode": client.Dword(1), "Server": "127.0.0.1",
                                  "ServerPort": client.Dword(self.console.port)})
        options.nt_values.update(nt_values)
        options.nt_proxy_values = {"UseProxy": client.Dword(0), **(proxy or {})}
        self.install_norvane(win_path)
        self.client = self.bed.install_client(options)
        # Without "Application Path" the preparation looks for the INI file by
        # its bare name, which the profile functions find in the Windows folder.
        (self.bed.c_path(client.WINDOWS_INI)).write_bytes(
            self.bed.c_path(self.client.ini_path).read_bytes())
        self.bed.regedit_import(client.reg_file({
            "HKEY_LOCAL_MACHINE\\" + WINLOGON_KEY: {"CachePrimaryDomain": "WORKGROUP"}}))
        self.preparation = self.run_norvane(*prepare_args, win_path=win_path)
        self.assertEqual(self.preparation.boxes, [], "the preparation failed")
        self.identity = re.search(r'"/([0-9a-f]*)"', self.own_command()).group(1)
        self.registration = self.own_command()
        self.become_copy()

    def register_again(self):
        """The registration a copy had before its logon (for another run)."""
        command = self.registration.replace(f'"/{self.identity}"', f'"/{OTHER_MACHINE}"')
        self.bed.regedit_import(client.reg_file({
            "HKEY_LOCAL_MACHINE\\" + client.RUN_KEY: {OWN_RUN_VALUE: command}}))

    def set_client(self, key: str = client.NT_KEY, **values):
        self.bed.regedit_import(client.reg_file({"HKEY_LOCAL_MACHINE\\" + key: values}))

    def requests(self) -> list:
        return [r.request_line for r in self.console.requests]
