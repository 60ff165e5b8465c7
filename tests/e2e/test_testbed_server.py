"""The console stand-in records requests as they arrive and asks for Basic
credentials when told to (checked from the host, without Wine)."""

import base64
import http.client
import os
import subprocess
import sys
import tempfile
import time
import unittest

import winebed  # noqa: F401  (puts testbed/ on the import path)
import server  # noqa: E402


def get(port, target, headers=None):
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    conn.request("GET", target, headers=headers or {})
    resp = conn.getresponse()
    body = resp.read()
    conn.close()
    return resp.status, body


def read_int(path):
    with open(path) as f:
        return int(f.read())


def basic(user, password):
    return "Basic " + base64.b64encode(f"{user}:{password}".encode()).decode()


class ConsoleServerTest(unittest.TestCase):
    def test_records_request_line_and_headers_in_order(self):
        with server.ConsoleServer(body=b"done") as s:
            status, body = get(s.port, "/Wardline/cgi/cgiOnInst.exe?UID=x&DEFAULT_CFG=1",
                               {"Zeta": "1", "Alpha": "2"})
        self.assertEqual((status, body), (200, b"done"))
        [r] = s.requests
        self.assertEqual(r.request_line,
                         "GET /Wardline/cgi/cgiOnInst.exe?UID=x&DEFAULT_CFG=1 HTTP/1.1")
        names = [k for k, _ in r.headers]
        self.assertLess(names.index("Zeta"), names.index("Alpha"))
        self.assertEqual(r.header("alpha"), "2")

    def test_basic_credentials(self):
        with server.ConsoleServer(credentials=("admin", "s3cret")) as s:
            self.assertEqual(get(s.port, "/")[0], 401)
            self.assertEqual(get(s.port, "/", {"Authorization": basic("admin", "wrong")})[0], 401)
            self.assertEqual(get(s.port, "/", {"Authorization": basic("admin", "s3cret")})[0], 200)
        self.assertEqual(len(s.requests), 3)

    def test_proxy_mode_asks_for_proxy_credentials(self):
        with server.ConsoleServer(credentials=("p", "q"), proxy=True) as s:
            self.assertEqual(get(s.port, "http://console.example.test/x")[0], 407)
            self.assertEqual(get(s.port, "http://console.example.test/x",
                                 {"Proxy-Authorization": basic("p", "q")})[0], 200)
        self.assertEqual(s.requests[0].target, "http://console.example.test/x")


    def test_scripted_answers_then_paths_that_say_what_they_want(self):
        with server.ConsoleServer(answers=[server.Answer(401), server.Answer(200, b"ok")]) as s:
            self.assertEqual(get(s.port, "/Wardline/cgi/cgiOnInst.exe"), (401, b""))
            self.assertEqual(get(s.port, "/Wardline/cgi/cgiOnInst.exe"), (200, b"ok"))
            self.assertEqual(get(s.port, "/status/404?body=gone"), (404, b"gone"))
            self.assertEqual(get(s.port, "/status/204")[0], 204)
            self.assertEqual(get(s.port, "/auth/u/p")[0], 401)
            self.assertEqual(get(s.port, "/auth/u/p", {"Authorization": basic("u", "p")}),
                             (200, b"welcome"))
            # As a proxy: the absolute URI's path decides.
            self.assertEqual(get(s.port, "http://console.example.test/proxyauth/a/b")[0], 407)
            self.assertEqual(get(s.port, "http://console.example.test:80/proxyauth/a/b",
                                 {"Proxy-Authorization": basic("a", "b")})[0], 200)
            # Past the script: the default answer.
            self.assertEqual(get(s.port, "/anything"), (200, b"OK"))
        self.assertEqual(s.requests[6].path, "/proxyauth/a/b")

    def test_command_line_writes_its_ports_and_logs_each_request(self):
        with tempfile.TemporaryDirectory() as tmp:
            port_file, log = os.path.join(tmp, "port"), os.path.join(tmp, "log")
            closed_file = os.path.join(tmp, "closed")
            proc = subprocess.Popen([sys.executable, server.__file__, "--port-file", port_file,
                                     "--log", log, "--closed-port-file", closed_file,
                                     "--lifetime", "60"], stdin=subprocess.DEVNULL)
            try:
                deadline = time.monotonic() + 300
                while not os.path.exists(port_file) and time.monotonic() < deadline:
                    time.sleep(0.05)
                port = read_int(port_file)
                self.assertEqual(get(port, "/status/200?body=hi", {"X-Probe": "1"}),
                                 (200, b"hi"))
                with self.assertRaises(OSError):
                    get(read_int(closed_file), "/")
            finally:
                proc.terminate()
                self.assertEqual(proc.wait(timeout=20), 0)
            with open(log, encoding="latin-1") as f:
                lines = f.read().split("\n")
        self.assertEqual(lines[0], "GET /status/200?body=hi HTTP/1.1")
        self.assertIn("X-Probe: 1", lines[1:lines.index("")])


if __name__ == "__main__":
    unittest.main()
