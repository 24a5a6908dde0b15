#!/usr/bin/python3
"""A stand-in for fprintd on a private bus, for the biometric tests.

Usage: fprintd_stand_in.py BUS_ADDRESS SCENARIO_JSON

The scenario: "device" (default true) whether the manager has a default device; "fingers"
the enrolled fingers of every user (none: ListEnrolledFingers fails with NoEnrolledPrints);
"scans" one list per VerifyStart of the results it then signals, in order ("verify-retry-scan"
and the like are not done, every other result is; "leave" makes the service leave the bus
instead; an empty list signals nothing, as when no finger comes); "claimError" an fprintd
error name (such as "PermissionDenied") that every Claim fails with.

Like fprintd, the device is claimed by one connection at a time, every call but Claim needs
the claim, and a claimer that leaves the bus loses its claim. The control interface tells the
test what happened: Calls() the device calls in order, ClaimedBy() the claimer's unique name
("" when free). Prints "ready" once the name is owned.
"""
import json
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

SERVICE = "net.reactivated.Fprint"
MANAGER_PATH = "/net/reactivated/Fprint/Manager"
MANAGER_INTERFACE = "net.reactivated.Fprint.Manager"
DEVICE_PATH = "/net/reactivated/Fprint/Device/0"
DEVICE_INTERFACE = "net.reactivated.Fprint.Device"
CONTROL_INTERFACE = "org.keyvane.test.FprintdStandIn"
NOT_DONE = {"verify-retry-scan", "verify-swipe-too-short", "verify-finger-not-centered", "verify-remove-and-retry"}


class FprintError(dbus.DBusException):
    def __init__(self, name, message):
        super().__init__(message, name="net.reactivated.Fprint.Error." + name)


class Manager(dbus.service.Object):
    def __init__(self, bus, has_device):
        super().__init__(bus, MANAGER_PATH)
        self.has_device = has_device

    @dbus.service.method(MANAGER_INTERFACE, out_signature="o")
    def GetDefaultDevice(self):
        if not self.has_device:
            raise FprintError("NoSuchDevice", "No devices available")
        return dbus.ObjectPath(DEVICE_PATH)


class Device(dbus.service.Object):
    def __init__(self, bus, loop, scenario):
        super().__init__(bus, DEVICE_PATH)
        self.bus = bus
        self.loop = loop
        self.fingers = scenario.get("fingers", [])
        self.scans = list(scenario.get("scans", []))
        self.claim_error = scenario.get("claimError")
        self.claimed_by = ""
        self.calls = []
        bus.add_signal_receiver(self.name_owner_changed, "NameOwnerChanged", "org.freedesktop.DBus")

    def name_owner_changed(self, name, old_owner, new_owner):
        if name == self.claimed_by and not new_owner:
            self.calls.append("claimer left")
            self.claimed_by = ""

    def require_claim(self, sender):
        if self.claimed_by != sender:
            raise FprintError("ClaimDevice", "Device was not claimed before use")

    @dbus.service.method(DEVICE_INTERFACE, in_signature="s", out_signature="as")
    def ListEnrolledFingers(self, user):
        if not self.fingers:
            raise FprintError("NoEnrolledPrints", "Failed to discover prints")
        return self.fingers

    @dbus.service.method(DEVICE_INTERFACE, in_signature="s", sender_keyword="sender")
    def Claim(self, user, sender):
        self.calls.append("Claim")
        if self.claim_error:
            raise FprintError(self.claim_error, "Not authorized")
        if self.claimed_by:
            raise FprintError("AlreadyInUse", "Device was already claimed")
        self.claimed_by = sender

    @dbus.service.method(DEVICE_INTERFACE, sender_keyword="sender")
    def Release(self, sender):
        self.require_claim(sender)
        self.calls.append("Release")
        self.claimed_by = ""

    @dbus.service.method(DEVICE_INTERFACE, in_signature="s", sender_keyword="sender")
    def VerifyStart(self, finger, sender):
        self.require_claim(sender)
        self.calls.append("VerifyStart " + finger)
        results = self.scans.pop(0) if self.scans else []
        # After the reply, as the sensor would.
        GLib.idle_add(self.signal_results, results)

    @dbus.service.method(DEVICE_INTERFACE, sender_keyword="sender")
    def VerifyStop(self, sender):
        self.require_claim(sender)
        self.calls.append("VerifyStop")

    @dbus.service.signal(DEVICE_INTERFACE, signature="sb")
    def VerifyStatus(self, result, done):
        pass

    def signal_results(self, results):
        for result in results:
            if result == "leave":
                self.bus.flush()
                self.loop.quit()
                return False
            self.VerifyStatus(result, result not in NOT_DONE)
        return False

    @dbus.service.method(CONTROL_INTERFACE, out_signature="as")
    def Calls(self):
        return self.calls

    @dbus.service.method(CONTROL_INTERFACE, out_signature="s")
    def ClaimedBy(self):
        return self.claimed_by


def main():
    address, scenario = sys.argv[1], json.loads(sys.argv[2])
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.bus.BusConnection(address)
    loop = GLib.MainLoop()
    manager = Manager(bus, scenario.get("device", True))
    device = Device(bus, loop, scenario)
    name = dbus.service.BusName(SERVICE, bus)
    print("ready", flush=True)
    loop.run()
    del manager, device, name


if __name__ == "__main__":
    main()
