"""The notification through a real proxy that asks for Basic credentials
(Debian's tinyproxy): the client's stored proxy login passes it; without a
stored login the proxy's 407 brings up the library's proxy credential
dialog, and the name and password typed there get the request through.

(tinyproxy answers a request that carries wrong credentials with 401, not
407: a wrong stored password therefore reaches the dialog for the server's
credentials, which cannot mend a proxy login.)"""

import re
import shutil
import socket
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

from copybed import NOTIFICATION, NotifyingCopyTestCase, client
from winebed import OWN_RUN_VALUE, STATE_WAIT_S

USER, PASSWORD = "norvane", "s3cret"
SERVER_NOT_TOLD = 6
PROXY_DIALOG = "Enter Network Password"  # the library's own, under Wine
USER_EDIT, PASSWORD_EDIT = 0x403, 0x404


class Tinyproxy:
    """tinyproxy on 127.0.0.1 with Basic authentication, in the foreground."""

    def __init__(self):
        exe = shutil.which("tinyproxy")
        if not exe:
            raise unittest.SkipTest("tinyproxy is not installed (tools/install-deps.sh installs it)")
        self.dir = Path(tempfile.mkdtemp(prefix="norvane-tinyproxy-"))
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            self.port = s.getsockname()[1]
        conf = self.dir / "tinyproxy.conf"
        conf.write_text(f"Port {self.port}\nListen 127.0.0.1\nTimeout 60\nMaxClients 20\n"
                        f"BasicAuth {USER} {PASSWORD}\nLogLevel Info\n"
                        f"LogFile \"{self.dir / 'log'}\"\nPidFile \"{self.dir / 'pid'}\"\n")
        self.proc = subprocess.Popen(["timeout", "600", exe, "-d", "-c", str(conf)],
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + STATE_WAIT_S
        while True:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                break
            except OSError:
                if self.proc.poll() is not None or time.monotonic() > deadline:
                    self.stop()
                    raise RuntimeError("tinyproxy did not start")
                time.sleep(0.1)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        shutil.rmtree(self.dir, ignore_errors=True)


class NotifyProxyTest(NotifyingCopyTestCase):
    def test_through_a_proxy_that_wants_credentials(self):
        proxy = Tinyproxy()
        self.addCleanup(proxy.stop)
        self.notifying_copy(proxy={"ProxyIP": "127.0.0.1", "ProxyPort": client.Dword(proxy.port),
                                   "ProxyLogin": USER, "ProxyPwd": PASSWORD})
        result = self.logon()
        self.assertEqual(result.boxes, [], result.records)
        self.assertEqual(len(self.console.requests), 1, self.requests())
        request = self.console.requests[0]
        self.assertRegex(request.request_line.replace(" HTTP/1.1", " HTTP/1.0"), NOTIFICATION)
        self.assertIsNotNone(request.header("Via"), "it came through the proxy")
        self.assertIsNone(request.header("Proxy-Authorization"), "the proxy keeps it")

        # No stored login: the proxy asks, the user types it.
        self.register_again()
        self.set_client(client.NT_PROXY_KEY, ProxyLogin="", ProxyPwd="")
        result = self.logon(dialog=PROXY_DIALOG,
                            fills=((USER_EDIT, USER), (PASSWORD_EDIT, PASSWORD)))
        self.assertIn(PROXY_DIALOG, result.dialogs, result.records)
        self.assertEqual(result.boxes, [], result.records)
        self.assertEqual(len(self.console.requests), 2, self.requests())
        self.assertNotIn(OWN_RUN_VALUE, self.bed.run_values())

        # A quiet run asks nobody: the proxy's challenge is its failure, and
        # the client is restored all the same.
        self.register_again()
        result = self.logon_quietly()
        self.assert_nothing_shown(result)
        self.assertEqual(result.exit_code, SERVER_NOT_TOLD)
        self.assertEqual(self.outcome()["LastMessage"], "proxy authentication required")
        self.assertEqual(self.outcome()["ServerStatus"], 407)
        self.assertEqual(len(self.console.requests), 2, "nothing got through the proxy")
        self.assertNotIn(OWN_RUN_VALUE, self.bed.run_values())

    def logon_quietly(self):
        """The registered command with /quiet, as a quiet image registers it."""
        words = [w for q, b in re.findall(r'"([^"]*)"|(\S+)', self.own_command()) for w in (q or b,)]
        return self.run_norvane(*words[1:], "/quiet", timeout_ms=STATE_WAIT_S * 1000)


if __name__ == "__main__":
    unittest.main()
