"""nvprobe.exe reads the registry and the service database exactly and tells
missing keys, values and services apart."""

import unittest

from winebed import BedTestCase, client


class NvprobeTest(BedTestCase):
    KEY = r"SOFTWARE\Norvane Test\Probe"

    def test_registry_values_exact(self):
        self.bed.regedit_import(client.reg_file({"HKEY_LOCAL_MACHINE\\" + self.KEY: {
            "blanks": "  x  ", "empty": "", "dword": client.Dword(0xFFFFFFFF),
            "quote\"and\\slash": "C:\\a \"b\""}}))
        values = self.bed.reg_values("HKLM", self.KEY)
        self.assertEqual({k: (v["type"], v["data"]) for k, v in values.items()}, {
            "blanks": ("REG_SZ", "  x  "), "empty": ("REG_SZ", ""),
            "dword": ("REG_DWORD", 0xFFFFFFFF), "quote\"and\\slash": ("REG_SZ", "C:\\a \"b\"")})
        self.assertEqual(values["blanks"]["size"], 6)
        self.assertEqual(self.bed.reg_value("HKLM", self.KEY, "blanks")["data"], "  x  ")

    def test_missing_is_told_apart(self):
        self.assertIsNone(self.bed.reg_value("HKLM", self.KEY + r"\none", "x"))
        self.assertEqual(self.bed.probe("reg", "HKLM", self.KEY + r"\none", "x")["what"], "key")
        self.bed.regedit_import(client.reg_file({"HKEY_LOCAL_MACHINE\\" + self.KEY: {"a": "1"}}))
        self.assertEqual(self.bed.probe("reg", "HKLM", self.KEY, "b")["what"], "value")
        self.assertIsNone(self.bed.service("no_such_service"))

    def test_code_page_and_system_text(self):
        self.assertEqual(self.bed.probe("cp")["acp"], 1252)
        text = self.bed.probe("msg", "1060")["text"]
        self.assertTrue(text.endswith("\r\n") and len(text) > 4, repr(text))


if __name__ == "__main__":
    unittest.main()
