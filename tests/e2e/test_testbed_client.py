"""The client stand-in installs what it promises, leaves out what it is told
to, and its services behave like services."""

import unittest

from winebed import BedTestCase, client


class ClientStandInTest(BedTestCase):
    def test_nt_client_installed(self):
        inst = self.bed.install_client()
        nt = self.bed.reg_values("HKLM", client.NT_KEY)
        self.assertEqual(nt["Application Path"]["data"], client.NT_FOLDER)
        self.assertEqual((nt["Mode"]["type"], nt["ServerPort"]["type"]), ("REG_DWORD", "REG_DWORD"))
        self.assertRegex(nt["GUID"]["data"], r"^\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\}$")
        proxy = self.bed.reg_values("HKLM", client.NT_PROXY_KEY)
        self.assertEqual(set(proxy), {"UseProxy", "ProxyIP", "ProxyPort", "ProxyLogin", "ProxyPwd"})
        self.assertIsNone(self.bed.reg_values("HKLM", client.W9X_KEY))

        ini = self.bed.c_path(inst.ini_path).read_bytes()
        self.assertTrue(ini.startswith(b"[INI_CLIENT_SETUP_SECTION]\r\n"))
        self.assertNotIn(b"\n", ini.replace(b"\r\n", b""))
        self.assertIn(b"\r\nNT_HXLISTEN_SERVICE_FILENAME=hxlisten.exe\r\n", ini)
        self.assertEqual(ini.count(b"="), 9)

        run = self.bed.run_values()
        self.assertEqual(run["Sentova NT Monitor"]["data"],
                         '"C:\\Program Files\\Halvex\\Sentova NT\\stvmon.exe" -HideWindow')
        for svc_def in inst.services:
            svc = self.bed.service(svc_def.name)
            self.assertEqual((svc["start_type"], svc["state"], svc["display_name"]),
                             (2, 4, svc_def.display_name))
            self.assertEqual(svc["binary_path"], f'"{client.NT_FOLDER}\\{svc_def.file}"')
            self.assertTrue(self.bed.c_path(client.NT_FOLDER + "\\" + svc_def.file).is_file())

    def test_pieces_can_be_left_out(self):
        options = client.ClientOptions(ini=None, listener=None, run_values=False,
                                       start_services=False)
        del options.nt_values["GUID"]
        inst = self.bed.install_client(options)
        self.assertIsNone(inst.ini_path)
        self.assertFalse(self.bed.c_path(client.NT_FOLDER + "\\Wdlscan.ini").exists())
        self.assertIsNone(self.bed.service("hxlisten"))
        self.assertEqual(self.bed.service("rtguard")["state"], 1)  # stopped
        self.assertEqual(self.bed.run_values(), {})
        self.assertNotIn("GUID", self.bed.reg_values("HKLM", client.NT_KEY))

    def test_9x_layout(self):
        self.bed.install_client(client.ClientOptions(layout="9x", listener=None, realtime=None))
        w9x = self.bed.reg_values("HKLM", client.W9X_KEY)
        self.assertEqual(w9x["Application Path"]["data"], client.W9X_FOLDER)
        self.assertIn("ProxyPassword", w9x)
        self.assertEqual(set(self.bed.run_values()), {"Sentova NT Monitor", "Wardline Client"})
        self.assertEqual(set(self.bed.reg_values("HKLM", client.NT_KEY)), {"Application Path"})

    def test_services_stop_and_start_again(self):
        self.bed.install_client()
        self.bed.probe("svc-stop", "hxlisten", "rtguard")
        self.assertEqual([self.bed.service(n)["state"] for n in ("hxlisten", "rtguard")], [1, 1])
        self.bed.probe("svc-start", "hxlisten")
        self.assertEqual(self.bed.service("hxlisten")["state"], 4)


class ClientProgramsTest(BedTestCase):
    """The client's programs end on the messages the utility sends them."""

    CLOSERS = {  # role: (window class, message, wParam)
        "main": ("STVNTClassName", 0x0111, 0x8038),
        "update": ("STVNT_UPDATE32", 0x0400 + 102, 0),
        "monitor": ("StvNTMonClass", 0x0400 + 1201, 0),
    }

    def test_nt_programs_close_on_their_message(self):
        inst = self.bed.install_client(client.ClientOptions(
            start_services=False, running=["main", "update", "monitor"]))
        self.assertEqual(self.bed.c_path(inst.programs["monitor"]).name, "stvmon.exe")
        for role, (cls, msg, wparam) in self.CLOSERS.items():
            with self.subTest(role=role):
                self.assertEqual(self.bed.probe("window", cls)["status"], "ok")
                self.bed.probe("post", cls, str(msg), str(wparam))
                events = self.wait_event(inst.programs[role], "exited")
                self.assertEqual([e["value"] for e in events if e["event"] == "message"], [msg])
                self.assertEqual(self.bed.probe("window", cls)["status"], "missing")

    def test_9x_main_program_publishes_and_quits(self):
        inst = self.bed.install_client(client.ClientOptions(
            layout="9x", listener=None, realtime=None, running=["main9x"]))
        shared = self.bed.probe("shared", "WardlineCorp_MemoryMappedFile_ProcessID")
        started = [e for e in self.bed.program_events(inst.programs["main9x"])
                   if e["event"] == "started"]
        self.assertEqual(shared["value"], started[0]["pid"])
        hwnd = self.bed.probe("shared", "WardlineCorp_MemoryMappedFile_MainWnd")["value"]
        self.assertNotEqual(hwnd, 0)
        self.bed.probe("post-hwnd", str(hwnd), str(0x0400 + 1000), "0")
        self.wait_event(inst.programs["main9x"], "exited")
        self.assertEqual(
            self.bed.probe("shared", "WardlineCorp_MemoryMappedFile_MainWnd")["status"], "missing")

    def wait_event(self, win_path, event):
        self.wait_until(lambda: any(e["event"] == event
                                    for e in self.bed.program_events(win_path)),
                        f"{win_path}: a {event} event")
        return self.bed.program_events(win_path)

if __name__ == "__main__":
    unittest.main()
