"""The installation notification from a copy's first logon: the request the
console gets, directly or with the proxy turned off, and when it is not sent."""

import datetime
import unittest

from copybed import NOTIFICATION, NotifyingCopyTestCase, client
from winebed import OWN_RUN_VALUE


class NotifyTest(NotifyingCopyTestCase):
    def test_direct(self):
        self.notifying_copy()
        started = datetime.datetime.now().replace(microsecond=0)
        result = self.logon()
        ended = datetime.datetime.now()
        self.assertEqual(result.boxes, [], result.records)
        self.assertEqual(len(self.console.requests), 1, self.requests())
        request = self.console.requests[0]
        m = NOTIFICATION.fullmatch(request.request_line)
        self.assertIsNotNone(m, request.request_line)
        self.assertEqual(m["uid"], self.client_value("GUID"))
        self.assertEqual(m["domain"], "Workgroup")
        sent = datetime.datetime.strptime(m["date"] + m["time"], "%Y%m%d%H%M%S")
        self.assertTrue(started <= sent <= ended, (started, sent, ended))
        self.assertIsNone(request.header("Authorization"))
        self.assertNotIn(OWN_RUN_VALUE, self.bed.run_values(), "the restore ran")

    def test_use_proxy_one_sends_directly_without_credentials(self):
        self.notifying_copy(proxy={"UseProxy": client.Dword(1), "ProxyIP": "127.0.0.1",
                                   "ProxyPort": client.Dword(9), "ProxyLogin": "proxyuser",
                                   "ProxyPwd": "proxypass"})
        result = self.logon()
        self.assertEqual(result.boxes, [], result.records)
        self.assertEqual(len(self.console.requests), 1, self.requests())
        request = self.console.requests[0]
        self.assertRegex(request.request_line, NOTIFICATION)
        self.assertIsNone(request.header("Authorization"))
        self.assertIsNone(request.header("Proxy-Authorization"))

    def test_not_sent_with_application_path_or_without_mode(self):
        self.notifying_copy(Mode=client.Dword(0))
        self.assertEqual(self.logon().boxes, [])
        self.register_again()
        self.set_client(**{"Mode": client.Dword(1), "Application Path": client.NT_FOLDER})
        self.assertEqual(self.logon().boxes, [])
        self.assertEqual(self.requests(), [])
        self.assertNotIn(OWN_RUN_VALUE, self.bed.run_values())


if __name__ == "__main__":
    unittest.main()
