"""The panel and the simulator as a screen reader finds them through AT-SPI, on the rig's display
and virtual COM1, with a private bus that is both session and accessibility bus.
test_accessibility.py POTPANEL POTPANEL_SIM FAKE_MODEM"""

import os, shutil, subprocess, sys, tempfile, threading, time, unittest
import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, Gio, GLib  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "rig"))
import test_potpanel  # noqa: E402
from test_potpanel import USB0, Scenario  # noqa: E402
from potpanel_rig import end_process, wait_until  # noqa: E402

# EXTERNAL alone would shut out a program in a user namespace, which claims the uid it has there.
CONFIG = """<busconfig><listen>unix:path={}/bus</listen><auth>EXTERNAL</auth><auth>ANONYMOUS</auth>
<allow_anonymous/><policy context="default"><allow send_destination="*" eavesdrop="true"/>
<allow eavesdrop="true"/><allow own="*"/></policy></busconfig>"""
# What at-spi-bus-launcher serves on the session bus, a screen reader said to be running.
LAUNCHER = """<node><interface name="org.a11y.Bus"><method name="GetAddress">
<arg type="s" direction="out"/></method></interface><interface name="org.a11y.Status">
<property name="IsEnabled" type="b" access="read"/>
<property name="ScreenReaderEnabled" type="b" access="read"/></interface></node>"""
VALUE_EVENTS = "object:property-change:accessible-value", "object:value-changed"


class AccessibilityBus:
    """A D-Bus daemon of its own, session and accessibility bus at once, with AT-SPI's registry on
    it and org.a11y.Bus answering from a thread, as the desktop's bus launcher would."""

    def __init__(self, display):
        self.folder = tempfile.mkdtemp(prefix="potpanel-a11y-")
        with open(f"{self.folder}/bus.conf", "w") as config:
            config.write(CONFIG.format(self.folder))
        self.daemon = subprocess.Popen(
            ["dbus-daemon", "--nofork", "--print-address", f"--config-file={self.folder}/bus.conf"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.address = self.daemon.stdout.readline().strip()
        self.env = [f"DBUS_SESSION_BUS_ADDRESS={self.address}", "AT_SPI_BUS_ADDRESS="]
        buses = dict(AT_SPI_BUS_ADDRESS=self.address, DBUS_SESSION_BUS_ADDRESS=self.address)
        self.registry = subprocess.Popen(["/usr/libexec/at-spi2-registryd"], env=dict(
            display.env, **buses), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.loop, ready = None, threading.Event()
        threading.Thread(target=self._serve, args=(ready,), daemon=True).start()
        ready.wait(10)
        wait_until(lambda: self.connection.call_sync(
            "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
            GLib.Variant("(s)", ("org.a11y.atspi.Registry",)), None, 0, -1, None)[0],
            what="AT-SPI's registry")
        os.environ["AT_SPI_BUS_ADDRESS"] = self.address  # for this process's AT-SPI alone

    def _serve(self, ready):
        context = GLib.MainContext()
        context.push_thread_default()
        self.connection = Gio.DBusConnection.new_for_address_sync(
            self.address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
            | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
        for interface in Gio.DBusNodeInfo.new_for_xml(LAUNCHER).interfaces:
            self.connection.register_object(
                "/org/a11y/bus", interface,
                lambda *call: call[-1].return_value(GLib.Variant("(s)", (self.address,))),
                lambda *get: GLib.Variant("b", True), None)
        self.connection.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                  "org.freedesktop.DBus", "RequestName",
                                  GLib.Variant("(su)", ("org.a11y.Bus", 4)), None, 0, -1, None)
        self.loop = GLib.MainLoop(context)
        ready.set()
        self.loop.run()

    def close(self):
        if self.loop:
            self.loop.quit()
        for process in (self.registry, self.daemon):
            end_process(process)
        self.daemon.stdout.close()
        shutil.rmtree(self.folder, ignore_errors=True)


def pump(quiet=0.3):
    """Handles what AT-SPI has delivered, until nothing has come for quiet seconds."""
    context, last = GLib.MainContext.default(), time.monotonic()
    while time.monotonic() - last < quiet:
        if context.iteration(False):
            last = time.monotonic()
        else:
            time.sleep(0.01)


def frame(pid, title):
    """The window titled so of the program with that process id, once AT-SPI shows it."""
    def found():
        pump(0)
        return [window for app in children(Atspi.get_desktop(0)) if app.get_process_id() == pid
                for window in children(app) if window.get_name() == title]
    return wait_until(found, 15, f"{title} through AT-SPI")[0]


def children(item):
    return list(map(item.get_child_at_index, range(item.get_child_count())))


def tree(window):
    """Each control's role, name, description and label relations, the targets by role and name."""
    def relations(item):
        return {r.get_relation_type().value_nick: [
            f"{t.get_role_name()} {t.get_name()}" for t in map(r.get_target, range(
                r.get_n_targets()))] for r in item.get_relation_set() if r.get_relation_type() in (
                    Atspi.RelationType.LABEL_FOR, Atspi.RelationType.LABELLED_BY)}
    return [(c.get_role_name(), c.get_name(), c.get_description(), relations(c))
            for c in children(window)]


PANEL = [
    ("scroll bar", "CH-A", "Sets channel A's wiper from 0 to 255; each change is sent at once",
     {"labelled-by": ["label CH-A"]}),
    ("scroll bar", "CH-B", "Sets channel B's wiper from 0 to 255; each change is sent at once",
     {"labelled-by": ["label CH-B"]}),
    ("label", "CH-A", "", {"label-for": ["scroll bar CH-A"]}),
    ("label", "CH-B", "", {"label-for": ["scroll bar CH-B"]}),
    ("text", "Channel A's value in hexadecimal", "Text typed here is not sent", {}),
    ("text", "Channel B's value in hexadecimal", "Text typed here is not sent", {}),
    ("push button", "EXIT", "", {}),
    ("label", "COM1 Only", "The only port the panel drives, COM1: /dev/ttyUSB0", {}),
    ("label", "Brennow", "The maker's name", {}),
]
# Qt's lists take no label for theirs: the list's name is its own.
SIMULATOR = [item for channel in "AB" for item in [
    ("progress bar", f"CH-{channel}", f"Where the controller has set channel {channel}'s wiper, "
     "from 0 to 255", {"labelled-by": [f"label CH-{channel}"]}),
    ("label", "50 (32)", f"Channel {channel}'s wiper position; in brackets, in hexadecimal", {}),
    ("label", f"CH-{channel}", "", {"label-for": [f"progress bar CH-{channel}"]})]] + [
    ("label", "Frames received, newest first:", "", {"label-for": ["list Frames received"]}),
    ("list", "Frames received", "Newest first, each in hex and what it meant", {})]


def set_value(index, value):
    return lambda panel, controls: Atspi.Value.set_current_value(controls[index], value)


def press(*keys):
    return lambda panel, controls: panel.keys(*keys)


# what a screen reader or the operator does (the focus on CH-A), the frames it sends, the value
# events it raises (slider, value)
CHANGES = [
    ("CH-B through the Value interface", set_value(1, 100), [("B", 100)], [("CH-B", 100)]),
    ("CH-A through the Value interface, unchanged", set_value(0, 50), [], []),
    ("Home, Home", press("Home", "Home"), [("A", 0)], [("CH-A", 0)]),
    ("Tab, End", press("Tab", "End"), [("B", 255)], [("CH-B", 255)]),
]


class Accessibility(Scenario):
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.bus = AccessibilityBus(cls.display)
        cls.addClassCleanup(cls.bus.close)
        cls.events = []
        cls.listener = Atspi.EventListener.new(lambda event: cls.events.append(
            (event.source.get_name(), round(Atspi.Value.get_current_value(event.source)))))
        for kind in VALUE_EVENTS:
            cls.listener.register(kind)

    def panel(self):
        panel = self.start(self.com1(device=USB0), args=["--com1", USB0], env=self.bus.env)
        window = frame(panel.pid, test_potpanel.CAPTION)
        pump()
        self.events.clear()
        return panel, window

    def test_panel(self):
        panel, window = self.panel()
        self.assertEqual(tree(window), PANEL)
        children(window)[6].do_action(0)  # EXIT's press
        self.assertEnded(panel, [])

    def test_changes(self):
        for name, change, frames, events in CHANGES:
            with self.row(name):
                panel, window = self.panel()
                change(panel, controls := children(window))
                self.assertEqual(panel.com1.far_end.settle()[2:], frames)
                pump()
                self.assertEqual(self.events, events)
                last = dict(test_potpanel.START + frames)
                self.assertEqual([Atspi.Text.get_text(c, 0, -1) for c in controls[4:6]],
                                 [f"{last['A']:X}", f"{last['B']:X}"])

    def test_simulator(self):
        sim = subprocess.Popen([SIM], env=dict(self.display.env, **dict(
            v.split("=", 1) for v in self.bus.env)), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        self.addCleanup(end_process, sim)
        self.assertEqual(tree(frame(sim.pid, "Simulated controller on COM1")), SIMULATOR)


if __name__ == "__main__":
    test_potpanel.POTPANEL, SIM, test_potpanel.FAKE_MODEM = sys.argv[1:4]
    unittest.main(argv=sys.argv[:1] + sys.argv[4:], verbosity=2)
