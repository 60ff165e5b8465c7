"""Prefix creation tries again when wineboot fails, with the half-made prefix
removed first, and gives up after three tries: the Python beds' helper and the
shell runners' one, against a stand-in wineboot (checked without Wine)."""

import os
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

import winebed

SHELL_HELPER = Path(__file__).resolve().parent.parent / "wine" / "boot_prefix.sh"

# Logs whether it found a half-made prefix, leaves one, and fails until its
# call number passes SHIM_FAILS.
WINEBOOT = """#!/bin/sh
if [ -e "$WINEPREFIX/half" ]; then echo leftover >> "$SHIM_LOG"; else echo clean >> "$SHIM_LOG"; fi
mkdir -p "$WINEPREFIX/half"
if [ "$(wc -l < "$SHIM_LOG")" -gt "$SHIM_FAILS" ]; then
    rm -r "$WINEPREFIX/half"; touch "$WINEPREFIX/system.reg"; exit 0
fi
echo "ShellExecuteEx failed: Internal error."; exit 1
"""


def python_helper(prefix: Path, env) -> bool:
    try:
        winebed.boot_prefix(prefix, env)
        return True
    except winebed.BedError:
        return False


def shell_helper(prefix: Path, env) -> bool:
    return subprocess.run(["bash", str(SHELL_HELPER)], env=env, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=60).returncode == 0


class BootPrefixTest(unittest.TestCase):
    def setUp(self):
        self.work = Path(tempfile.mkdtemp(prefix="norvane-boot-"))
        self.addCleanup(shutil.rmtree, self.work, True)
        shims = self.work / "bin"
        shims.mkdir()
        for name, text in (("wineboot", WINEBOOT), ("wineserver", "#!/bin/sh\nexit 0\n")):
            (shims / name).write_text(text)
            (shims / name).chmod(0o755)
        self.prefix = self.work / "prefix"
        self.log = self.work / "calls"
        self.env = dict(os.environ, PATH=f"{shims}:{os.environ['PATH']}",
                        WINEPREFIX=str(self.prefix), SHIM_LOG=str(self.log))

    def calls(self):
        return self.log.read_text().split()

    def test_both_helpers_try_again_on_a_clean_prefix_and_give_up_after_three(self):
        for helper in (python_helper, shell_helper):
            for fails, made, calls in ((1, True, ["clean", "clean"]),
                                       (3, False, ["clean", "clean", "clean"])):
                with self.subTest(helper=helper.__name__, fails=fails):
                    self.log.unlink(missing_ok=True)
                    shutil.rmtree(self.prefix, ignore_errors=True)
                    env = dict(self.env, SHIM_FAILS=str(fails))
                    self.assertEqual(helper(self.prefix, env), made)
                    self.assertEqual(self.calls(), calls)
                    self.assertEqual((self.prefix / "system.reg").exists(), made)


if __name__ == "__main__":
    unittest.main()
