"""A master's host identity where NetBIOS reports no adapter (each master a
prefix whose wineserver runs in a network namespace of its own): an adapter
with a hardware address and no IPv4 address is found through the IP helper
and registered; a machine with nothing but its loopback is refused, and
nothing changes. Needs root for the namespaces."""

import os
import re
import shutil
import subprocess
import unittest

from winebed import OWN_RUN_VALUE, BedTestCase, Bed, client, run

MAC = "02:4e:56:00:0a:01"
NO_IDENTITY = ("The network adapters of this computer cannot be identified: neither NetBIOS nor "
               "the IP helper reports a hardware address, so its copies could not be told from "
               "it. Nothing has been changed. Connect or enable a network adapter (or turn on "
               "NetBIOS over TCP/IP) and run this program again.")
PREPARATION_FAILED = 4


class Namespace:
    """A network namespace with its loopback up and, with mac, one veth end
    named eth0 carrying that address and no IPv4 address (its peer stays in
    the host's namespace, down)."""

    def __init__(self, name: str, mac: str | None):
        self.name = name
        self.peer = None
        run(["ip", "netns", "add", name], None, 30)
        try:
            run(["ip", "-n", name, "link", "set", "lo", "up"], None, 30)
            if mac:
                self.peer = name + "p"
                run(["ip", "link", "add", name + "e", "type", "veth", "peer", "name", self.peer],
                    None, 30)
                run(["ip", "link", "set", name + "e", "netns", name], None, 30)
                ns = ["ip", "-n", name, "link", "set"]
                run(ns + [name + "e", "name", "eth0"], None, 30)
                run(ns + ["eth0", "address", mac], None, 30)
                run(ns + ["eth0", "up"], None, 30)
        except BaseException:
            self.delete()
            raise

    def delete(self):
        if self.peer:
            run(["ip", "link", "del", self.peer], None, 30, check=False)
        run(["ip", "netns", "del", self.name], None, 30, check=False)


class IdentityTest(BedTestCase):
    def setUp(self):
        if os.geteuid() != 0 or not shutil.which("ip"):
            self.skipTest("network namespaces need root and iproute2")
        # No bed of the base class: each test makes one inside its namespace.

    def master_in(self, mac: str | None) -> Bed:
        ns = Namespace(f"nvid{os.getpid() % 100000}{'m' if mac else 'l'}", mac)
        self.addCleanup(ns.delete)
        self.bed = Bed(self.id().rsplit(".", 1)[-1], netns=ns.name)
        self.bed.__enter__()
        self.addCleanup(self.bed.__exit__, None, None, None)
        self.install_norvane()
        self.client = self.bed.install_client()
        return self.bed

    def test_an_adapter_without_ipv4_is_the_identity(self):
        bed = self.master_in(MAC)
        self.assertEqual(bed.probe("netbios").get("adapters", []), [], "NetBIOS sees none")
        result = self.run_norvane("/silent")
        self.assertEqual(result.boxes, [], result.records)
        self.assertEqual(result.exit_code, 0)
        command = self.bed.run_values()[OWN_RUN_VALUE]["data"]
        self.assertEqual(re.search(r'"/([^"]*)"', command).group(1), MAC.replace(":", ""))

    def test_loopback_alone_is_refused_and_changes_nothing(self):
        self.master_in(None)
        before = self.state_snapshot()
        result = self.run_norvane("/silent")
        self.assert_single_box(result, NO_IDENTITY, icon="shown")
        self.assertEqual(result.exit_code, PREPARATION_FAILED)
        self.assertEqual(self.outcome()["LastResult"], PREPARATION_FAILED)
        self.assertEqual(self.state_snapshot(), before)
        self.assertEqual(self.service_config("hxlisten")["start_type"], client.SERVICE_AUTO_START)


if __name__ == "__main__":
    unittest.main()
