"""A quiet image under Wine: the master prepared with /quiet shows nothing
and registers quiet copies; a copy whose server cannot be reached then runs
without any window, restores the client all the same, and leaves its run on
the record (exit code, outcome values, log) without the proxy login it
holds. The image carries the release's program signed with Authenticode
(by the test release.signing, with a throw-away certificate): Windows runs it
as it runs the unsigned one."""

import base64
import os
import re
import struct
import unittest

from copybed import NotifyingCopyTestCase, client
from winebed import MSG_CONFIGURED, NORVANE_WIN_PATH

PROXY_LOGIN, PROXY_PASSWORD = "deploy", "Stored-Secret-1"
SERVER_NOT_TOLD = 6
ERROR_INTERNET_CANNOT_CONNECT = 12029


def certificate_table_size(exe: bytes) -> int:
    (pe,) = struct.unpack_from("<I", exe, 0x3C)
    (magic,) = struct.unpack_from("<H", exe, pe + 24)
    return struct.unpack_from("<I", exe, pe + 24 + (128 if magic == 0x10B else 144) + 4)[0]


class QuietTest(NotifyingCopyTestCase):
    def install_norvane(self, win_path: str = NORVANE_WIN_PATH) -> str:
        signed = os.environ.get("NORVANE_SIGNED_EXE", "")
        self.assertTrue(os.path.isfile(signed), f"no signed program: NORVANE_SIGNED_EXE={signed!r}")
        with open(signed, "rb") as f:
            self.assertGreater(certificate_table_size(f.read()), 0, f"{signed} is not signed")
        return self.bed.install_exe(signed, win_path)

    def test_quiet_master_and_a_copy_whose_server_is_unreachable(self):
        closed = self.server_module.closed_port()
        self.notifying_copy(prepare_args=("/quiet",), proxy={
            "ProxyIP": "127.0.0.1", "ProxyPort": client.Dword(closed),
            "ProxyLogin": PROXY_LOGIN, "ProxyPwd": PROXY_PASSWORD})

        # The master: nothing shown, a quiet registration, the record.
        self.assert_nothing_shown(self.preparation)
        self.assertEqual(self.preparation.exit_code, 0)
        self.assertRegex(self.registration,
                         r'^"' + re.escape(NORVANE_WIN_PATH) + r'" "/[0-9a-f]{12}" -HideWindow /quiet$')
        values = self.outcome()
        self.assertEqual((values["LastResult"], values["LastMode"], values["LastMessage"]),
                         (0, "prepare", MSG_CONFIGURED))
        self.assertRegex(values["LastRun"], r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$")
        self.assertTrue(any(" prepare: Registered to run at the next logon: " in line
                            for line in self.log_lines()))

        # The copy: nothing shown, the client restored, the server not told.
        result = self.logon()
        self.assert_nothing_shown(result)
        self.assertEqual(result.exit_code, SERVER_NOT_TOLD)
        self.assert_restored(self.client.options.ini["NT_RUN_KEY"],
                             self.client.options.ini["NT_MENU_IOMONITOR_ITEM_FILENAME"])
        guid = self.client_value("GUID")
        values = self.outcome()
        self.assertEqual((values["LastResult"], values["LastMode"], values["Guid"],
                          values["ServerStatus"]),
                         (SERVER_NOT_TOLD, "copy", guid, ERROR_INTERNET_CANNOT_CONNECT))
        self.assertNotEqual(values["LastMessage"], "")

        # The copy's run in the log, with its GUID and without the login.
        lines = self.log_lines()
        started = max(i for i, line in enumerate(lines) if "Started on Windows" in line)
        run = lines[started:]
        pid = run[0].split()[3]
        self.assertTrue(all(line.split()[3] == pid for line in run if line), run)
        self.assertTrue(any(f"GUID stored: {guid}" in line for line in run), run)
        self.assertTrue(any(values["LastMessage"] in line for line in run), run)
        self.assertIn(f"copy: Finished with exit code {SERVER_NOT_TOLD}:", run[-1])
        credentials = base64.b64encode(f"{PROXY_LOGIN}:{PROXY_PASSWORD}".encode()).decode()
        text = "\n".join(lines)
        self.assertNotIn(PROXY_PASSWORD, text)
        self.assertNotIn(credentials, text)


if __name__ == "__main__":
    unittest.main()
