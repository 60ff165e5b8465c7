"""The console stand-in records requests as they arrive and asks for Basic
credentials when told to (checked from the host, without Wine)."""

import base64
import http.client
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


if __name__ == "__main__":
    unittest.main()
