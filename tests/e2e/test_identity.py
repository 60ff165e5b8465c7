"""A master's host identity where NetBIOS reports no adapter (each master a
prefix whose wineserver runs in a network namespace of its own): an adapter
with a hardware address and no IPv4 address is found through the IP helper
and registered; a machine with nothing but its loopback is refused, and
nothing changes; a master restarted without a logon before DHCP has given
its adapters an address (NetBIOS then lists none of them) is still the
master and stays prepared. Needs root for the namespaces."""

import os
import re
import shutil
import subprocess
import unittest

from winebed import OWN_RUN_VALUE, BedTestCase, Bed, client, run

MAC = "02:4e:56:00:0a:01"
SECOND_MAC = "02:4e:56:00:0a:02"
NO_IDENTITY = ("The network adapters of this computer cannot be identified: neither NetBIOS nor "
               "the IP helper reports a hardware address, so its copies could not be told from "
               "it. Nothing has been changed. Connect or enable a network adapter (or turn on "
               "NetBIOS over TCP/IP) and run this program again.")
PREPARATION_FAILED = 4
SERVICE_DEMAND_START = 3


class Namespace:
    """A network namespace with its loopback up and one veth end per MAC,
    named eth0, eth1 ..., carrying that address and no IPv4 address (each
    peer stays in the host's namespace, down)."""

    def __init__(self, name: str, *macs: str):
        self.name = name
        self.peers = []
        run(["ip", "netns", "add", name], None, 30)
        try:
            run(["ip", "-n", name, "link", "set", "lo", "up"], None, 30)
            for i, mac in enumerate(macs):
                end, peer = f"{name}e{i}", f"{name}p{i}"
                run(["ip", "link", "add", end, "type", "veth", "peer", "name", peer], None, 30)
                self.peers.append(peer)
                run(["ip", "link", "set", end, "netns", name], None, 30)
                ns = ["ip", "-n", name, "link", "set"]
                run(ns + [end, "name", f"eth{i}"], None, 30)
                run(ns + [f"eth{i}", "address", mac], None, 30)
                run(ns + [f"eth{i}", "up"], None, 30)
        except BaseException:
            self.delete()
            raise

    def address(self, device: str, ipv4: str, add: bool = True):
        run(["ip", "-n", self.name, "addr", "add" if add else "del", ipv4, "dev", device],
            None, 30)

    def delete(self):
        for peer in self.peers:
            run(["ip", "link", "del", peer], None, 30, check=False)
        run(["ip", "netns", "del", self.name], None, 30, check=False)


class IdentityTest(BedTestCase):
    def setUp(self):
        if os.geteuid() != 0 or not shutil.which("ip"):
            self.skipTest("network namespaces need root and iproute2")
        # No bed of the base class: each test makes one inside its namespace.

    def master_in(self, *macs: str, tag: str = "") -> Bed:
        self.ns = Namespace(f"nvid{os.getpid() % 100000}{tag or ('m' if macs else 'l')}", *macs)
        self.addCleanup(self.ns.delete)
        self.bed = Bed(self.id().rsplit(".", 1)[-1], netns=self.ns.name)
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
        self.master_in()
        before = self.state_snapshot()
        result = self.run_norvane("/silent")
        self.assert_single_box(result, NO_IDENTITY, icon="shown")
        self.assertEqual(result.exit_code, PREPARATION_FAILED)
        self.assertEqual(self.outcome()["LastResult"], PREPARATION_FAILED)
        self.assertEqual(self.state_snapshot(), before)
        self.assertEqual(self.service_config("hxlisten")["start_type"], client.SERVICE_AUTO_START)

    def test_the_master_restarted_before_dhcp_stays_the_master(self):
        bed = self.master_in(MAC, SECOND_MAC, tag="b")
        self.ns.address("eth0", "10.79.0.2/24")
        result = self.run_norvane("/service", "/quiet")
        self.assertEqual((result.exit_code, result.boxes), (0, []), result.records)
        self.assertEqual(bed.probe("netbios").get("adapters", []), [MAC.replace(":", "")])
        recorded = self.outcome()
        self.assertEqual(recorded["MasterNetbiosAddresses"], MAC.replace(":", ""))
        self.assertEqual(sorted(recorded["MasterAdapterAddresses"].split()),
                         [m.replace(":", "") for m in (MAC, SECOND_MAC)])
        guid = self.bed.reg_value("HKLM", client.NT_KEY, "GUID")
        registration = self.bed.run_values()[OWN_RUN_VALUE]

        # Restarted without a logon, before DHCP: no adapter has an IPv4 address.
        since = len(self.log_lines())
        bed.shutdown()
        self.ns.address("eth0", "10.79.0.2/24", add=False)
        bed.boot()
        self.wait_runs_ended(since)
        values = self.outcome()
        self.assertEqual((values["LastMode"], values["LastResult"]), ("same host", 0),
                         self.log_lines())
        self.assertEqual(self.bed.reg_value("HKLM", client.NT_KEY, "GUID"), guid)
        self.assertEqual(self.bed.run_values()[OWN_RUN_VALUE], registration)
        self.assertIsNotNone(self.bed.service("Norvane"), "the service stays for the image")
        self.assertEqual(self.service_config("hxlisten")["start_type"], SERVICE_DEMAND_START)
        self.assertFalse([line for line in self.log_lines() if "Request sent" in line])


if __name__ == "__main__":
    unittest.main()
