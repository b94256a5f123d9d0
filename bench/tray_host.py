#!/usr/bin/python3
"""A StatusNotifierItem host for measurements: starts a program on the private session bus it is
given, reports how long the program took to register its tray icon, then how much memory (PSS and
RSS) and CPU it used while idle. Prints one line: seconds_to_icon pss_kib anonymous_pss_kib rss_kib
cpu_percent, or with an idle time of 0 seconds_to_icon alone."""
import os
import subprocess
import sys
import time

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

WATCHER = "org.kde.StatusNotifierWatcher"
# Qt reads the watcher's properties through introspection, which dbus-python leaves out.
INTROSPECTION = f"""<node><interface name="{WATCHER}">
<method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
<method name="RegisterStatusNotifierHost"><arg type="s" direction="in"/></method>
<property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
<property name="ProtocolVersion" type="i" access="read"/>
<property name="RegisteredStatusNotifierItems" type="as" access="read"/>
</interface></node>"""


class Watcher(dbus.service.Object):
    def __init__(self, bus, on_item):
        super().__init__(bus, "/StatusNotifierWatcher")
        self.on_item = on_item

    @dbus.service.method(WATCHER, in_signature="s")
    def RegisterStatusNotifierItem(self, service):
        self.on_item()

    @dbus.service.method(WATCHER, in_signature="s")
    def RegisterStatusNotifierHost(self, service):
        pass

    @dbus.service.method(dbus.INTROSPECTABLE_IFACE, out_signature="s")
    def Introspect(self):
        return INTROSPECTION

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.GetAll(interface)[name]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return {"IsStatusNotifierHostRegistered": True, "ProtocolVersion": 0,
                "RegisteredStatusNotifierItems": dbus.Array([], signature="s")}


def cpu_seconds(pid):
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def memory_kib(pid, field):
    for line in open(f"/proc/{pid}/smaps_rollup"):
        if line.startswith(field + ":"):
            return int(line.split()[1])
    raise RuntimeError(f"no {field} line")


def main():
    idle_seconds = float(sys.argv[1])
    command = sys.argv[2:]
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    loop = GLib.MainLoop()
    result = {}

    def registered():
        result.setdefault("icon", time.monotonic() - started)
        loop.quit()

    name = dbus.service.BusName(WATCHER, bus)
    Watcher(bus, registered)
    started = time.monotonic()
    program = subprocess.Popen(command)
    GLib.timeout_add_seconds(30, loop.quit)
    loop.run()
    try:
        if "icon" not in result:
            sys.exit("the program registered no tray icon within 30 s")
        if idle_seconds <= 0:
            print(f"{result['icon']:.3f}")
            return
        time.sleep(idle_seconds / 2)  # start-up work done, caches settled
        cpu_before = cpu_seconds(program.pid)
        time.sleep(idle_seconds / 2)
        cpu = (cpu_seconds(program.pid) - cpu_before) / (idle_seconds / 2) * 100
        print(f"{result['icon']:.3f} {memory_kib(program.pid, 'Pss')} {memory_kib(program.pid, 'Pss_Anon')} "
              f"{memory_kib(program.pid, 'Rss')} {cpu:.3f}")
    finally:
        program.kill()
        program.wait()
        del name


if __name__ == "__main__":
    main()
