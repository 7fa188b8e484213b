"""The real program on a virtual COM1, driven through a private X display with
real input events.  test_potpanel.py POTPANEL FAKE_MODEM GROUP (a class below)"""

import contextlib, glob, os, re, select, shutil, signal, subprocess, sys, tempfile, termios, types, unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "rig"))
from potpanel_rig import DEVICE, REAL_ROOT, Com1, Display, MapWatcher, Port, controls, end_process, wait_until

CAPTION, START, LOCK_FILE = "Tarvel Digital Potentiometers", [("A", 50), ("B", 50)], "/run/lock/LCK..ttyS0"
CONTROLS = controls()
USB0, BY_ID = "/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KHTR4-if00-port0"
ADAPTER = Port("ttyUSB0", udev={"ID_VENDOR": "FTDI", "ID_VENDOR_FROM_DATABASE": "Future Technology Devices "
                                "International, Ltd", "ID_MODEL": "FT232R_USB_UART", "ID_SERIAL_SHORT": "A10KHTR4",
                                "DEVLINKS": f"{BY_ID} /dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0"})


def settings(com1, user=None, system=None):
    """Writes COM1's setting for the user and for every user, in the panel's settings folders; a
    setting of ... makes the user's settings file a folder, which cannot be read."""
    for folder, device in (("config", user), ("xdg", system)):
        if device is not None:
            os.makedirs(f"{com1.work}/{folder}/Tarvel/potpanel.conf" if device is ... else f"{com1.work}/{folder}/Tarvel")
            if device is not ...:
                with open(f"{com1.work}/{folder}/Tarvel/potpanel.conf", "w") as file:
                    file.write(f"[ports]\nCOM1={device}\n")


def written(com1):
    """What lies in the settings folders and the lock directory."""
    return sorted(os.path.relpath(os.path.join(top, name), com1.work) for folder in ("config", "xdg")
                  for top, folders, files in os.walk(f"{com1.work}/{folder}") for name in folders + files) + \
        sorted(os.listdir(com1.path("/run/lock")))


class Panel:
    """One run of the program on COM1, the fake modem preloaded, and the operator's hands on its window."""

    def __init__(self, com1, display, user=None, env=(), args=(), prefix=(), hidden=False):
        self.com1, self.display, self.window = com1, display, None
        self.log, self.out = (os.path.join(com1.work, f"{name}-{id(self)}") for name in ("modem", "out"))
        # Settings of its own: the user's in config (empty), the administrator's in xdg.
        argv = [*prefix, "env", f"LD_PRELOAD={FAKE_MODEM}", f"FAKE_MODEM_LOG={self.log}", f"XDG_CONFIG_HOME={com1.work}/config",
                f"XDG_CONFIG_DIRS={com1.work}/xdg", *com1.environment, *env, POTPANEL, *args]
        if user:
            argv = ["setpriv", f"--reuid={user[0]}", f"--regid={user[1]}", "--clear-groups", *argv]
        if hidden:  # a sandbox with a /proc of its own, where no holder outside can be seen
            argv = ["unshare", "--pid", "--fork", "--kill-child", "--mount-proc", "sh", "-c",
                    'mount --bind "$0" /proc/consoles && exec "$@"', f"{com1.work}/consoles", *argv]
        with open(self.out, "w") as out:
            self.process = com1.popen(argv, env=display.env, stdout=out, stderr=subprocess.STDOUT)
        self.pid = self.process.pid
        self.window_pid = 1 if hidden else self.pid

    def show(self, excluding=()):
        self.window = self.display.wait_window(CAPTION, self.window_pid, excluding=excluding)
        # What a window manager would do; and the pointer comes in from outside, as a hand's would.
        self.display.xdotool("windowfocus", "--sync", self.window, "mousemove", 1000, 700)
        return self

    def output(self):
        with open(self.out, errors="replace") as out:
            return out.read()

    def events(self):
        """(event, descriptor) for each RTS change, write and close on a terminal."""
        with open(self.log if os.path.exists(self.log) else os.devnull) as log:
            return [tuple(line.split()) for line in log]

    def closes(self):
        """How often the descriptor RTS was raised on has been closed since."""
        events = self.events()
        up = [i for i, (event, _) in enumerate(events) if event == "rts-up"][:1]
        return events[up[0]:].count(("close", events[up[0]][1])) if up else 0

    def at(self, control, x=0.5):
        """A point in a control: x a fraction of its width, or pixels from its left (right if < 0)."""
        left, top, width, height = CONTROLS[control]
        return left + round(x * width if isinstance(x, float) else x % width), top + height // 2

    def click(self, control, x=0.5, button=1, count=1):
        # No --sync, which waits for a motion that never comes when the pointer is there
        # already: the server takes XTest input in order anyway.
        self.display.xdotool("mousemove", "--window", self.window, *self.at(control, x),
                             "click", "--repeat", count, "--delay", 30, button)

    def keys(self, *names, delay=12):
        self.display.xdotool("key", "--delay", delay, *names)

    def read(self, control):
        """A display's text as the operator copies it."""
        self.click(control)
        self.keys("ctrl+a")
        return self.display.selection(lambda: self.keys("ctrl+c"))


class Scenario(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.display = Display()
        cls.addClassCleanup(cls.display.close)

    @contextlib.contextmanager
    def row(self, name):
        """One row of a table: its own subtest, and what it started ended even when it fails."""
        with self.subTest(name):
            try:
                yield
            finally:
                self.doCleanups()

    def com1(self, read=True, **options):
        com1 = Com1(**options)
        self.addCleanup(com1.close)
        if read and com1.far_end:
            com1.far_end.start()
        return com1

    def launch(self, com1, display=None, **options):
        panel = Panel(com1, display or self.display, **options)
        self.addCleanup(end_process, panel.process)
        return panel

    def start(self, com1=None, **options):
        panel = self.launch(com1 or self.com1(), **options).show()
        self.assertEqual(panel.com1.far_end.wait_for(2), START, panel.output())
        return panel

    def watch(self, **options):
        watcher = MapWatcher(self.display, **options)
        self.addCleanup(watcher.stop)
        return watcher

    def message(self, panel, excluding=()):
        """The text of the program's message box, selected as an operator copies it; then OK."""
        box = self.display.wait_window(CAPTION, panel.window_pid, excluding=excluding)
        kind = self.display.run("xprop", "-id", box, "_NET_WM_WINDOW_TYPE").stdout
        self.assertIn("_NET_WM_WINDOW_TYPE_DIALOG", kind, "a window came up, not a message")
        text = self.display.selection(lambda: self.display.xdotool(
            "mousemove", "--window", box, 70, 20, "click", "--repeat", 3, "--delay", 80, 1),
            "primary")
        self.display.xdotool("windowfocus", "--sync", box, "key", "Return")
        return box, text.lower()

    def assertEnded(self, panel, frames):
        self.assertEqual(panel.process.wait(30), 0, panel.output())
        self.assertEqual(panel.com1.far_end.settle(), START + frames)
        self.assertEqual(panel.closes(), 1, panel.events())


# arguments, the exit status, what standard output and standard error hold
COMMAND_LINES = [
    (["--help"], 0, r"Usage: potpanel \[--com1 DEVICE\] \[Qt options\]\n(.*\n)*.*potpanel\(1\)\.\n", ""),
    (["-platform", "xcb", "--version"], 0, r"potpanel \d+\.\d+\.\d+\n", ""),
    (["--com1"], 2, "", r"\S*potpanel: --com1 needs a DEVICE, such as --com1 /dev/ttyUSB0\n\nUsage: (.*\n)+"),
    (["-style", "Fusion", "--bogus"], 2, "", r"\S*potpanel: unknown option \"--bogus\"\n\nUsage: (.*\n)+"),
]


class StartUp(Scenario):
    def test_command_line(self):
        """Help, the version and a refusal with no display at all, touching no port or lock file."""
        environment = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        for arguments, status, output, errors in COMMAND_LINES:
            with self.row(" ".join(arguments)):
                com1 = self.com1()
                panel = com1.popen(["env", f"XDG_CONFIG_HOME={com1.work}/config", f"LD_PRELOAD={FAKE_MODEM}",
                                    f"FAKE_MODEM_LOG={com1.work}/modem", POTPANEL, *arguments],
                                   env=environment, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
                out, err = panel.communicate(timeout=30)
                self.assertEqual(panel.returncode, status, err)
                self.assertRegex(out, f"^{output}$" if output else "^$")
                self.assertRegex(err, f"^{errors}$" if errors else "^$")
                self.assertFalse(os.path.exists(f"{com1.work}/modem"), "the port was opened")
                self.assertEqual(written(com1), [], "written in the settings or the lock directory")

    def test_line_and_window_at_start(self):
        com1 = self.com1(read=False)  # read once the window is mapped
        watcher = self.watch(on_map=lambda window: com1.far_end.waiting())
        panel = self.launch(com1).show()
        com1.far_end.start()
        com1.far_end.wait_for(2)
        self.assertEqual(com1.far_end.received, bytes.fromhex("0244303332 0244313332"))
        self.assertEqual([n for window, n in watcher.maps if window == panel.window][:1], [10],
                         "bytes on the line when the window was mapped")
        events = [event for event, _ in panel.events()]
        self.assertLess(events.index("rts-up"), events.index("write"), "RTS raised before the first write")
        # A pseudo-terminal reads back 8 bits and no parity whatever it was told: take what it was told.
        self.assertEqual([e for e in events if e.startswith("cflag:")], [f"cflag:{termios.CS8:o}"])
        iflag, oflag, cflag, lflag, ispeed, ospeed, _ = com1.settings()
        self.assertEqual((ispeed, ospeed, cflag & termios.CSTOPB), (termios.B9600, termios.B9600, 0))
        self.assertFalse(oflag & termios.OPOST or lflag & (termios.ICANON | termios.ECHO | termios.ISIG)
                         or iflag & (termios.ICRNL | termios.IXON), "the line is not raw")

        info = self.display.run("xwininfo", "-id", panel.window).stdout
        self.assertEqual(re.findall(r"(?:Width|Height): (\d+)", info), ["356", "149"])
        props = self.display.run("xprop", "-id", panel.window).stdout
        self.assertIn(f'WM_NAME(STRING) = "{CAPTION}"', props)
        self.assertIn("minimum size: 356 by 149", props)
        self.assertIn("maximum size: 356 by 149", props)
        motif = [int(v, 0) for v in re.findall(r"_MOTIF_WM_HINTS\S* = (.*)", props)[0].split(", ")]
        self.assertFalse(motif[0] & 1 and motif[1] & 0x18, "minimise or maximise allowed")
        self.assertTrue(motif[0] & 2 and not motif[2] & 0x60, "minimise or maximise box")
        self.assertEqual((panel.read("Text1"), panel.read("Text2")), ("32", "32"))
        panel.click("Command1")
        self.assertEnded(panel, [])


def keys(*names):
    return lambda panel: panel.keys(*names)


def click(control, x=0.5, button=1, count=1):
    return lambda panel: panel.click(control, x, button, count)


def typed_then_changed(panel):
    for control, text in (("Text1", "7F"), ("Text2", "x")):
        panel.click(control)
        panel.keys("ctrl+a", *text, "Return")
    panel.click("HScroll1", -4)


def thumb_drag(panel):
    left, top, width, height = CONTROLS["HScroll1"]
    x, y = panel.at("HScroll1", height * 3 // 2 + (width - 3 * height) * 50 // 255)  # the thumb at 50
    panel.display.xdotool("mousemove", "--window", panel.window, x, y, "mousedown", 1)
    for step in range(1, 9):  # on past the bar's end: 255
        panel.display.xdotool("mousemove", "--window", panel.window, x + 30 * step, y)
    if panel.com1.far_end.settle() != START:
        raise AssertionError(f"sent during the drag: {panel.com1.far_end.frames()}")
    panel.display.xdotool("mouseup", 1)


class OneOf(tuple):
    """Frames that may come in more than one way."""


# what the operator does (the focus starts on HScroll1), the frames it sends, what the displays read
GESTURES = [
    ("Right", keys("Right"), [("A", 51)]),
    ("Left", keys("Left"), [("A", 49)]),
    ("Up", keys("Up"), [("A", 51)]),
    ("Down", keys("Down"), [("A", 49)]),
    ("Page Up", keys("Prior"), [("A", 51)]),
    ("Page Down", keys("Next"), [("A", 49)]),
    ("Home, then down stays at 0", keys("Home", "Left", "Down", "Next"), [("A", 0)]),
    ("End, then up stays at FF", keys("End", "Right", "Up", "Prior"), [("A", 255)]),
    ("ten up from 0", keys("Home", *["Right"] * 10), [("A", v) for v in range(11)]),
    ("Tab order", keys("Right", "Tab", "Left", "Tab", "x", "Tab", "y"), [("A", 51), ("B", 49)], ("x", "y")),
    ("right arrow", click("HScroll1", -4), [("A", 51)]),
    ("left arrow", click("HScroll2", 4), [("B", 49)]),
    ("track right of the thumb", click("HScroll1", 0.8), [("A", 51)]),
    ("track left of the thumb", click("HScroll2", 30), [("B", 49)]),
    ("wheel up", click("HScroll1", button=4, count=3), [("A", 51), ("A", 52), ("A", 53)]),
    ("wheel down", click("HScroll2", button=5, count=2), [("B", 49), ("B", 48)]),
    ("thumb drag", thumb_drag, [("A", 255)]),
    ("typed text", typed_then_changed, [("A", 51)], ("33", "x")),
    ("right click on a slider", click("HScroll1", 0.8, button=3), []),
    ("middle click on the track", click("HScroll1", 0.8, button=2), OneOf(([], [("A", 51)]))),
]


class Gestures(Scenario):
    def test_gestures(self):
        for name, gesture, expected, *displays in GESTURES:
            with self.row(name):
                panel = self.start()
                watcher = self.watch()
                gesture(panel)
                sent = panel.com1.far_end.settle()[2:]
                self.assertIn(sent, expected if isinstance(expected, OneOf) else [expected])
                self.assertEqual(watcher.maps, [], "a window came up")
                last = dict(START + sent)
                self.assertEqual((panel.read("Text1"), panel.read("Text2")),
                                 displays[0] if displays else (f"{last['A']:X}", f"{last['B']:X}"))
                panel.click("Command1")
                self.assertEnded(panel, sent)


def signal_(name):
    return lambda panel: os.kill(panel.pid, getattr(signal, name))


# how it ends; COM1's device (ttyS0 or ttyUSB0, with its udev entry), the arguments, the user's and
# the administrator's settings
ENDINGS = [
    ("EXIT by mouse", click("Command1"), {}),
    ("EXIT by keyboard; --com1", keys("Tab", "Tab", "Tab", "Tab", "space"), {"args": ["--com1", USB0]}),
    ("close box; the user's setting", lambda panel: panel.display.close_request(panel.window), {"user": USB0}),
    ("SIGTERM; a by-id link in the setting", signal_("SIGTERM"), {"user": BY_ID, "ports": [ADAPTER]}),
    ("SIGHUP; --com1 before the setting", signal_("SIGHUP"), {"args": ["--com1", USB0], "user": "/dev/ttyS0"}),
    ("SIGINT; the administrator's setting", signal_("SIGINT"), {"system": USB0, "user": None}),
]


class Endings(Scenario):
    def test_endings(self):
        for name, ending, given in ENDINGS:
            with self.row(name):
                com1 = self.com1(**{"device": USB0, "ports": given.get("ports", ())} if given else {})
                settings(com1, given.get("user"), given.get("system"))
                panel = self.start(com1, args=given.get("args", ()))
                panel.keys("Right")
                panel.com1.far_end.wait_for(3)
                lock_file = panel.com1.path(LOCK_FILE if not given else "/run/lock/LCK..ttyUSB0")
                held = open(lock_file).read() if os.path.exists(lock_file) else None
                mode = os.stat(lock_file).st_mode & 0o777 if held else None
                ending(panel)
                self.assertEnded(panel, [("A", 51)])
                with self.subTest("lock file"):
                    self.assertEqual((held, mode), (f"{panel.pid:10d}\n", 0o644), "the lock file while running")
                    self.assertFalse(os.path.exists(lock_file), "the lock file is left")


# Scripts run inside the namespace that print the PID of what they leave holding COM1; {lock} is
# COM1's lock file, {other} one under another name of the device.
OPEN = f"exec 3<>{DEVICE}; echo $$; exec cat"
LOGIN = f"exec setsid -c sh -c 'echo $$; exec sleep 600' <{DEVICE}"
WRITING = "exec 3>{lock}; echo $$; exec cat"
NAMED = ("printf '%10d\\n' $$ >{lock}; exec " + sys.executable + " -c 'import ctypes, os, sys; "
         "ctypes.CDLL(None).prctl(15, sys.argv[1].encode()); print(os.getpid(), flush=True); sys.stdin.read()' ")
# Takes COM1 as asked; after a line on its input, prints whether COM1 is in exclusive mode still.
HOLDER = """
import fcntl, os, struct, sys, termios
fd = os.open("/dev/ttyS0", os.O_RDWR | os.O_NOCTTY)
takes = dict(excl=lambda: fcntl.ioctl(fd, termios.TIOCEXCL), flock=lambda: fcntl.flock(fd, fcntl.LOCK_EX),
             lockf=lambda: fcntl.lockf(fd, fcntl.LOCK_EX), queue=lambda: os.write(fd, b"q" * 8000),
             ofd=lambda: fcntl.fcntl(fd, 37, struct.pack("hhqqi", fcntl.F_WRLCK, 0, 0, 0, 0)))
for take in sys.argv[1:]:
    takes[take]()
print(os.getpid(), flush=True)
sys.stdin.readline()
print(struct.unpack("i", fcntl.ioctl(fd, 0x80045440, bytes(4)))[0], flush=True)
sys.stdin.read()
"""


def hold(*takes):
    return f"exec {sys.executable} -c '{HOLDER}' {' '.join(takes)}"


# COM1 as it is, what else takes it ({lock}: COM1's lock file, {other}: one under another name of
# it), the user, what the message says ("-": does not say), how the program runs
REFUSALS = [
    ("COM1 missing", {"kind": "missing"}, None, None, ["COM1", "no such device"]),
    ("COM1 not a serial device", {"kind": "null"}, None, None, ["COM1", "not a serial device"]),
    ("another potpanel", {}, "potpanel", None, ["COM1", "in use by process {pid}"]),
    ("open, no lock", {}, OPEN, None, ["COM1", "in use by process {pid} (cat), which has it open"]),
    ("UUCP lock file", {}, NAMED + "minicom", None, ["in use by process {pid} (minicom)"]),
    ("UUCP lock under another name", {}, NAMED.replace("{lock}", "{other}") + "cu", None,
     ["in use by process {pid} (cu), which holds the lock file {other}"]),
    ("lock file being written", {}, WRITING, None, ["{lock} is open in process {pid} (cat)", "-delete"]),
    ("kernel console", {"console": True}, None, None, ["COM1", "is the system console"]),
    ("login session", {}, LOGIN, None, ["COM1", "in use by process {pid} (sleep)"]),
    ("lock directory read-only", {"locks": "ro"}, None, None, ["COM1", "lock"]),
    ("markup in a name", {}, NAMED + "'<i>ab</i>cd'", None, ["process {pid} (<i>ab</i>cd)"]),
    ("flock out of sight, output queued", {"read": False}, hold("flock", "queue"), None,
     ["COM1", "in use by another program, which has locked the device"], {"hidden": True}),
    ("few file descriptors", {}, LOGIN, None, ["process {pid} (sleep)"], {"prefix": ["prlimit", "--nofile=12"]}),
    # COM1 on another device, by --com1 or the setting
    ("--com1 names nothing", {"device": USB0}, None, None, ["COM1 (/dev/ttyUSB7): cannot open the port: no such"
                                                            " device"], {"args": ["--com1", "/dev/ttyUSB7"]}),
    ("--com1 names a folder", {"device": USB0}, None, None, ["COM1 (/dev/shm)", "not a serial device"],
     {"args": ["--com1=/dev/shm"]}),
    ("setting names a file", {"device": USB0}, None, None, ["COM1 (/etc/hostname)", "not a serial device"],
     {"user": "/etc/hostname"}),
    ("setting names /dev/null", {"device": USB0}, None, None, ["COM1 (/dev/null)", "not a serial device"],
     {"user": "/dev/null"}),
    ("setting empty", {"device": USB0}, None, None, ["COM1: cannot open the port: the setting COM1 in the group "
                                                     "[ports] of {work}/config/tarvel/potpanel.conf names no device"],
     {"user": ""}),
    ("settings unreadable", {"device": USB0}, None, None, ["COM1: cannot open the port: cannot read the settings "
                                                           "file {work}/config/tarvel/potpanel.conf (is a directory)"],
     {"user": ...}),
    ("--com1 names the console", {"device": USB0, "console": True}, None, None,
     ["COM1 (/dev/ttyUSB0)", "is the system console"], {"args": ["--com1", USB0]}),
]


DEAD = subprocess.Popen(["true"])  # a process that has ended
DEAD.wait()
IN_DIALOUT = r"sed -E '/^dialout:/{{s/:$/:nobody/;t;s/$/,nobody/}}' /etc/group >{work}/group && " \
             r"mount --bind {work}/group /etc/group"
NOBODY = ("nobody", "nogroup")

# Refusals that take a second real user, a device of another owner, or root's exclusive-mode
# bypass: real root only.
OTHER_USERS = [
    ("ordinary user", {"kind": "dialout"}, None, NOBODY, ["COM1", "permission denied", 'sudo adduser $user dialout"']),
    ("joined dialout since the session began", {"kind": "dialout", "setup": [IN_DIALOUT]}, None, NOBODY,
     ["permission denied", "log out and in again", "-adduser"]),
    ("a device only root may open", {"owner": "root:root 0600"}, None, NOBODY, ["only root may open it", "-adduser"]),
    ("a login's terminal, root:tty", {"owner": "root:tty 0620"}, None, None, ["login session's terminal", "-adduser"]),
    ("lockf by another user", {}, hold("lockf"), NOBODY, ["in use by process {pid}", "has locked the device"]),
    ("OFD lock by another user", {}, hold("ofd"), NOBODY, ["another program has locked the device"]),
    ("another user's stale lock", {"owner": "root:dialout 0666", "setup": [f"printf '%10d\\n' {DEAD.pid} >{LOCK_FILE}"]},
     None, NOBODY, [f"left by process {DEAD.pid}", "belongs to root", f"administrator to delete it (sudo rm {LOCK_FILE})"]),
    ("exclusive mode out of sight, root", {"read": False}, hold("excl", "flock", "queue"), None,
     ["COM1", "in use by another program, which opened it exclusively"], {"hidden": True}),
]


class Refusing(Scenario):
    def held(self, com1, script):
        holder = com1.popen(["sh", "-c", script], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.addCleanup(end_process, holder)
        holder.pid = int(holder.stdout.readline())
        return holder

    def refuse(self, table):
        for name, line, take, user, phrases, *given in table:
            with self.row(name):
                com1, how = self.com1(**line), given[0] if given else {}
                settings(com1, how.get("user"))
                names = {"lock": LOCK_FILE, "work": com1.work,
                         "other": com1.far_end and "/run/lock/LCK.." + com1.terminal[5:].replace("/", "_")}
                first = take == "potpanel" and self.start(com1)
                holder = take and not first and self.held(com1, take.format(**names))
                names["pid"] = first.pid if first else holder and holder.pid
                watcher = self.watch()
                strays, before = set(glob.glob("/tmp/LCK..*")), written(com1)
                panel = self.launch(com1, user=user, args=how.get("args", ()), prefix=how.get("prefix", ()),
                                    hidden=how.get("hidden", False))
                box, text = self.message(panel)
                self.assertEqual(set(glob.glob("/tmp/LCK..*")), strays, "a lock file strayed to /tmp")
                for phrase in phrases:
                    said = phrase.lstrip("-").format(**names).lower()
                    (self.assertNotIn if phrase.startswith("-") else self.assertIn)(said, text)
                self.assertEqual(panel.process.wait(30), 1, panel.output())
                self.assertEqual([window for window, _ in watcher.maps], [box], "a window besides the message")
                self.assertEqual([e for e in panel.events() if e[0] != "close"], [], "the port was used")
                takes = (take or "").rsplit("'", 1)[-1]
                if "queue" in takes:  # the holder's output and exclusive mode stay as they were
                    holder.stdin.write(b"\n")
                    holder.stdin.flush()
                    self.assertEqual(int(holder.stdout.readline()), int("excl" in takes), "exclusive mode")
                    self.assertEqual(queued(com1.master), b"q" * 8000, "the holder's queued output")
                elif com1.far_end:
                    self.assertEqual(com1.far_end.settle(), START if first else [], "sent on the line")
                if not first:
                    self.assertEqual(written(com1), before, "written in the settings or the lock directory")



def queued(master):
    data = b""
    while select.select([master], [], [], 0.5)[0]:
        data += os.read(master, 4096)
    return data


class Refusals(Refusing):
    def test_refusals(self):
        self.refuse(REFUSALS)

    def test_port_choice(self):
        ports = [ADAPTER, Port("ttyS1", "8250", 0), Port("ttyS2", "8250", 4), Port("ttyS3", "8250", 4),
                 Port("ttyS4", "8250", 4), Port("ttyUSB1", node=False), Port("tty1", None)]
        listed = [f"1. {USB0}: Future Technology Devices International, Ltd, FT232R USB UART, serial number "
                  f"A10KHTR4 ({BY_ID})", "2. /dev/ttyS4"]
        close = lambda box: self.display.close_request(box)
        # the machine's ports (ttyS2 its console, ttyS3 taken), what the operator does in the message
        for name, machine, answer in [("Alt+1", ports, "alt+1"), ("Return", ports, "Return"),
                                      ("Escape", ports, "Escape"), ("close box", ports, close),
                                      ("no port at all", [Port("tty1", None)], "Return")]:
            with self.row(name):
                com1 = self.com1(device=USB0, ports=machine, console="ttyS2")
                with open(com1.path("/run/lock/LCK..ttyS3"), "w") as lock:
                    lock.write(f"{os.getpid():10d}\n")
                panel = self.launch(com1)
                box = self.display.wait_window(CAPTION, panel.pid)
                text = self.display.selection(lambda: self.display.xdotool(
                    "mousemove", "--window", box, 70, 20, "click", 1, "key", "ctrl+a", "ctrl+c"))
                self.assertTrue(text.startswith("COM1 (/dev/ttyS0): cannot open the port: no such device\n"), text)
                self.assertEqual(re.findall(r"^\d+\. .*", text, re.M), listed if machine == ports else [])
                self.assertEqual("potpanel-sim" in text, machine != ports, text)
                if callable(answer):
                    answer(box)
                else:
                    self.display.xdotool("key", answer)
                if answer != "alt+1":
                    self.assertEqual(panel.process.wait(30), 1, panel.output())
                    self.assertEqual((com1.far_end.settle(), written(com1)), ([], ["LCK..ttyS3"]))
                    continue
                panel.show(excluding=[box])
                self.assertEqual(com1.far_end.wait_for(2), START)
                with open(com1.path("/run/lock/LCK..ttyUSB0")) as lock, \
                        open(f"{com1.work}/config/Tarvel/potpanel.conf") as saved:
                    self.assertEqual((lock.read(), saved.read()), (f"{panel.pid:10d}\n", f"[ports]\nCOM1={BY_ID}\n"))
                panel.click("Command1")
                self.assertEnded(panel, [])


class OtherUsers(Refusing):
    def test_refusals(self):
        self.refuse(OTHER_USERS)


class Faults(Scenario):
    def test_far_end_vanishing(self):
        panel = self.start()
        panel.keys("Right")
        self.assertEqual(panel.com1.far_end.wait_for(3), START + [("A", 51)])
        panel.com1.far_end.stop()
        os.close(panel.com1.master)  # the far end goes away
        panel.com1.master = None
        panel.keys("Right")
        box, text = self.message(panel, excluding=[panel.window])
        self.assertIn("com1", text)
        self.assertIn("cannot write", text)
        self.assertNotEqual(panel.process.wait(30), 0, panel.output())
        self.assertEqual(panel.closes(), 1, panel.events())

    def test_display_loss(self):
        display = Display()
        self.addCleanup(display.close)
        panel = self.launch(self.com1(), display).show()
        panel.com1.far_end.wait_for(2)
        display.server.kill()
        panel.process.wait(5)
        self.assertFalse(os.path.exists(panel.com1.path(LOCK_FILE)), "the lock file is left")
        self.assertEqual(panel.closes(), 1, panel.events())

    def test_start_up_failure_lets_go_first(self):
        # Without the fake modem a pseudo-terminal has no modem-control lines: RTS cannot be raised.
        panel = self.launch(self.com1(), env=["LD_PRELOAD="])
        self.display.wait_window(CAPTION, panel.pid)
        self.assertFalse(os.path.exists(panel.com1.path(LOCK_FILE)), "the lock file while the message waits")
        device = os.stat(panel.com1.terminal).st_rdev
        fds = [f"/proc/{panel.pid}/fd/{fd}" for fd in os.listdir(f"/proc/{panel.pid}/fd")]
        self.assertNotIn(device, [os.stat(fd).st_rdev for fd in fds], "the port while the message waits")
        box, text = self.message(panel)
        self.assertIn("no modem-control lines", text)
        self.assertEqual(panel.process.wait(30), 1, panel.output())

    def test_sigkill(self):
        panel = self.start()
        lock_file = panel.com1.path(LOCK_FILE)
        self.assertTrue(os.path.exists(lock_file))
        panel.process.kill()
        panel.process.wait(5)
        wait_until(lambda: not os.path.exists(lock_file), 5, "the lock file to go")

    def test_stuck_transmitter(self):
        # The line takes nothing more; the session ends the program. Closing gives up
        # and says what was lost; a second request dismisses that message.
        panel = self.launch(self.com1(), env=["FAKE_MODEM_STUCK=480"]).show()
        panel.com1.far_end.wait_for(2)
        os.kill(panel.pid, signal.SIGTERM)
        box = self.display.wait_window(CAPTION, panel.pid, excluding=[panel.window])
        text = self.display.selection(lambda: self.display.xdotool(
            "mousemove", "--window", box, 70, 20, "click", "--repeat", 3, "--delay", 80, 1), "primary")
        self.assertIn("480 bytes were not sent", text)
        os.kill(panel.pid, signal.SIGTERM)
        self.assertEqual(panel.process.wait(30), 1, panel.output())
        self.assertFalse(os.path.exists(panel.com1.path(LOCK_FILE)), "the lock file is left")
        self.assertEqual(panel.closes(), 1, panel.events())

    def test_burst_of_changes(self):
        panel = self.start()
        presses = ["Right"] * 205 + ["Tab"] + ["Left"] * 50 + ["shift+Tab"] + ["Left"] * 255
        panel.keys(*presses, "Tab", "Tab", "Tab", "Tab", "space", delay=0)
        self.assertEnded(panel, [("A", v) for v in range(51, 256)] +
                         [("B", v) for v in range(49, -1, -1)] + [("A", v) for v in range(254, -1, -1)])


class Wayland(Scenario):
    def test_native_on_weston(self):
        runtime = tempfile.mkdtemp(prefix="potpanel-wayland-")  # 0700, as a session's is
        self.addCleanup(shutil.rmtree, runtime, True)
        env = dict(os.environ, XDG_RUNTIME_DIR=runtime, WAYLAND_DISPLAY="potpanel-0")
        weston = subprocess.Popen(["weston", "--backend=headless-backend.so", "--socket=potpanel-0",
                                   "--idle-time=0"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(end_process, weston)
        wait_until(lambda: os.path.exists(f"{runtime}/potpanel-0"), what="Weston")
        env.update(QT_QPA_PLATFORM="wayland", WAYLAND_DEBUG="client")  # requests logged to stderr
        panel = self.launch(self.com1(), types.SimpleNamespace(env=env))
        self.assertEqual(panel.com1.far_end.wait_for(2), START)
        requests = lambda: re.findall(r"-> xdg_toplevel@\d+\.(set_\w+)\((.*)\)", panel.output())
        expected = {("set_min_size", "356, 149"), ("set_max_size", "356, 149"),
                    ("set_app_id", '"com.tarvel.potpanel"')}
        with contextlib.suppress(AssertionError):
            wait_until(lambda: expected <= set(requests()), what="the window's size and app id")
        self.assertLessEqual(expected, set(requests()))
        weston.kill()
        panel.process.wait(5)
        wait_until(lambda: not os.path.exists(panel.com1.path(LOCK_FILE)), 5, "the lock file to go")


if __name__ == "__main__":
    POTPANEL, FAKE_MODEM = sys.argv[1:3]
    if sys.argv[3:] == ["OtherUsers"] and not REAL_ROOT:
        for name, *_ in OTHER_USERS:
            print(f"skipped: {name}: needs a second real user, which only real root can switch to")
        sys.exit(77)
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)
