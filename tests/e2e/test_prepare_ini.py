"""Preparation on NT driven by the client's INI file: defaults when it is
absent, the listener's base name when its value has a folder and extension,
and the names it gives."""

import unittest

from winebed import MSG_CONFIGURED, OWN_RUN_VALUE, BedTestCase, client

SERVICE_AUTO_START = 2
SERVICE_DEMAND_START = 3


class PrepareIniTest(BedTestCase):
    def prepare(self, options):
        self.install_norvane()
        self.client = self.bed.install_client(options)
        before = self.state_snapshot(("hxlisten", "rtguard", "hxlisten2"))
        result = self.run_norvane()
        self.assert_single_box(result, MSG_CONFIGURED, icon="none")
        self.assert_registered()
        return before, self.state_snapshot(("hxlisten", "rtguard", "hxlisten2"))

    def test_without_ini_file_defaults_apply(self):
        options = client.ClientOptions(ini=None)
        before, after = self.prepare(options)
        self.assertEqual(after["services"]["hxlisten"]["start_type"], SERVICE_DEMAND_START)
        self.assertEqual(after["services"]["rtguard"], before["services"]["rtguard"])
        # No NT_RUN_KEY: the client's own Run value stays.
        run_after = dict(after["run"])
        del run_after[OWN_RUN_VALUE]
        self.assertEqual(run_after, before["run"])

    def test_listener_named_with_folder_and_extension(self):
        options = client.ClientOptions()
        options.ini["NT_HXLISTEN_SERVICE_FILENAME"] = client.NT_FOLDER + r"\hxlisten.exe"
        before, after = self.prepare(options)
        self.assertEqual(after["services"]["hxlisten"]["start_type"], SERVICE_DEMAND_START)
        self.assertEqual(after["services"]["rtguard"], before["services"]["rtguard"])
        self.assertNotIn(options.ini["NT_RUN_KEY"], after["run"])

    def test_names_come_from_ini(self):
        # A listener under another name: only that service changes; the Run
        # value deleted is the one NT_RUN_KEY names, blanks included.
        options = client.ClientOptions()
        options.ini["NT_HXLISTEN_SERVICE_FILENAME"] = "hxlisten2.exe"
        options.ini["NT_RUN_KEY"] = "Sentova NT Monitor 2"
        extra = client.ServiceDef("hxlisten2", "hxlisten2.exe", "Sentova NT Listener 2")
        options.realtime = extra
        options.listener = client.ServiceDef("hxlisten", "hxlisten.exe", "Sentova NT Listener")
        self.install_norvane()
        self.bed.regedit_import(client.reg_file({"HKEY_LOCAL_MACHINE\\" + client.RUN_KEY: {
            "Sentova NT Monitor": "stays"}}))
        self.client = self.bed.install_client(options)
        before = self.state_snapshot(("hxlisten", "hxlisten2"))
        result = self.run_norvane()
        self.assert_single_box(result, MSG_CONFIGURED, icon="none")
        after = self.state_snapshot(("hxlisten", "hxlisten2"))
        self.assertEqual(after["services"]["hxlisten2"]["start_type"], SERVICE_DEMAND_START)
        self.assertEqual(after["services"]["hxlisten"], before["services"]["hxlisten"])
        self.assertEqual(before["services"]["hxlisten"]["start_type"], SERVICE_AUTO_START)
        self.assertNotIn("Sentova NT Monitor 2", after["run"])
        self.assertEqual(after["run"]["Sentova NT Monitor"]["data"], "stays")


if __name__ == "__main__":
    unittest.main()
