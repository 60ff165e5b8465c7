"""Preparation on Windows 98: both client Run values go, no service is
touched, the utility registers itself and says so."""

import unittest

from winebed import MSG_CONFIGURED, OWN_RUN_VALUE, BedTestCase, client


class PrepareWin98Test(BedTestCase):
    def test_prepares_without_services(self):
        self.install_norvane()
        self.bed.set_version("norvane.exe", "win98")
        installed = self.bed.install_client(client.ClientOptions(layout="9x"))
        self.bed.regedit_import(client.reg_file({"HKEY_LOCAL_MACHINE\\" + client.RUN_KEY: {
            "Unrelated Program": "C:\\unrelated.exe"}}))
        before = self.state_snapshot()
        for name in ("NT_RUN_KEY", "95_RUN_KEY"):
            self.assertIn(installed.options.ini[name], before["run"])

        result = self.run_norvane()
        self.assert_single_box(result, MSG_CONFIGURED, icon="none")
        after = self.state_snapshot()
        self.assertEqual(after["services"], before["services"])
        expected_run = {k: v for k, v in before["run"].items()
                        if k not in (installed.options.ini["NT_RUN_KEY"],
                                     installed.options.ini["95_RUN_KEY"])}
        self.assertIn(OWN_RUN_VALUE, after["run"])
        del after["run"][OWN_RUN_VALUE]
        self.assertEqual(after["run"], expected_run)
        self.assert_registered()


if __name__ == "__main__":
    unittest.main()
