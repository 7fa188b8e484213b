"""The real program on a virtual COM1, driven through a private X display with
real input events.  test_potpanel.py POTPANEL FAKE_MODEM GROUP (a class below);
POTPANEL_SIM in the environment names the simulator, when it is built."""

import contextlib, os, pathlib, re, signal, subprocess, sys, termios, time, unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "rig"))
from potpanel_rig import (DEVICE, REAL_ROOT, Com1, Display, MapWatcher, Port,  # noqa: E402
                          controls, end_process, wait_until)

CAPTION, LOCK_FILE, USB0_LOCK = "Tarvel Digital Potentiometers", *(
    f"/run/lock/LCK..{name}" for name in ("ttyS0", "ttyUSB0"))
START, LINE_START = [("A", 50), ("B", 50)], bytes.fromhex("0244303332 0244313332")  # both at 50
CONTROLS = controls()
USB0, BY_ID = "/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KHTR4-if00-port0"
ADAPTER = Port("ttyUSB0", udev={
    "ID_VENDOR": "FTDI", "ID_VENDOR_FROM_DATABASE": "Future Technology Devices International, Ltd",
    "ID_MODEL": "FT232R_USB_UART", "ID_SERIAL_SHORT": "A10KHTR4",
    "DEVLINKS": f"{BY_ID} /dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0"})
SIM = os.environ.get("POTPANEL_SIM")


def written(com1):
    """What lies in the settings folders and the lock directory."""
    return sorted(os.path.relpath(f"{top}/{name}", com1.work) for top, folders, files in
                  [*os.walk(f"{com1.work}/config"), *os.walk(f"{com1.work}/xdg")]
                  for name in folders + files) + sorted(os.listdir(com1.path("/run/lock")))


class Panel:
    """One run of the program on COM1, the fake modem preloaded, settings of its own (the user's in
    config, the administrator's in xdg), and the operator's hands on its window."""

    def __init__(self, com1, display, env=(), args=(), prefix=(), pids=None, program=None):
        self.com1, self.display, self.out = com1, display, f"{com1.work}/{id(self)}"
        argv = [*prefix, "env", f"LD_PRELOAD={FAKE_MODEM}", f"FAKE_MODEM_LOG={self.out}.modem",
                f"XDG_CONFIG_HOME={com1.work}/config", f"XDG_CONFIG_DIRS={com1.work}/xdg",
                *com1.environment, *env, program or POTPANEL, *args]
        # pids: "own", a PID namespace of its own under the machine's /proc; "sandbox", with a /proc
        # of its own too, where no process outside can be seen
        if pids:
            argv = ["unshare", "--pid", "--fork", "--kill-child", *["--mount-proc", "sh", "-c",
                    'mount --bind "$0" /proc/consoles && exec "$@"', f"{com1.work}/consoles"]
                    * (pids == "sandbox"), *argv]
        with open(f"{self.out}.out", "w") as out, open(f"{self.out}.err", "w") as err:
            self.process = com1.popen(argv, env=display.env, stdout=out, stderr=err)
        self.pid, self.window_pid = self.process.pid, 1 if pids else self.process.pid

    def show(self, excluding=()):
        self.window = self.display.wait_window(CAPTION, self.window_pid, excluding=excluding)
        # What a window manager would do; and the pointer comes in from outside, as a hand's would.
        self.display.xdotool("windowfocus", "--sync", self.window, "mousemove", 1000, 700)
        return self

    def output(self, *streams):
        """What it wrote on the streams named ("out", "err"), else on both."""
        return "".join(pathlib.Path(f"{self.out}.{stream}").read_text(errors="replace")
                       for stream in streams or ("out", "err"))

    def events(self):
        """(event, descriptor) for each RTS change, write and close on a terminal."""
        log = pathlib.Path(f"{self.out}.modem")
        return [tuple(line.split()) for line in log.exists() and log.read_text().splitlines() or []]

    def place(self, control):
        return CONTROLS[control]

    def at(self, control, x=0.5):
        """A point in a control: x a fraction of its width, or pixels from its left (< 0: right)."""
        left, top, width, height = self.place(control)
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

    def com1(self, read=True, setting=None, system=None, **options):
        """A COM1, read from the start if read, with its setting for the user and for every user
        in the panel's settings folders; a setting of ... makes the user's file a folder."""
        com1 = Com1(**options)
        self.addCleanup(com1.close)
        if read and com1.far_end:
            com1.far_end.start()
        for folder, device in (("config", setting), ("xdg", system)):
            conf = pathlib.Path(f"{com1.work}/{folder}/Tarvel/potpanel.conf")
            if device is not None:
                (conf if device is ... else conf.parent).mkdir(parents=True)
            if device not in (None, ...):
                conf.write_text(f"[ports]\nCOM1={device}\n")
        return com1

    def launch(self, com1=None, display=None, **options):
        panel = Panel(com1 or self.com1(), display or self.display, **options)
        self.addCleanup(end_process, panel.process)
        return panel

    def start(self, com1=None, **options):
        panel = self.launch(com1, **options).show()
        self.assertEqual(panel.com1.far_end.wait_for(2), START, panel.output())
        return panel

    def watch(self, **options):
        watcher = MapWatcher(self.display, **options)
        self.addCleanup(watcher.stop)
        watcher.start()
        return watcher

    def message(self, panel, excluding=(), answer="Return"):
        """The program's message box and its text, all of it copied as an operator would; then
        answer: a key, "close" (its close box) or None (it stays)."""
        box = self.display.wait_window(CAPTION, panel.window_pid, excluding=excluding)
        kind = self.display.run("xprop", "-id", box, "_NET_WM_WINDOW_TYPE").stdout
        self.assertIn("_NET_WM_WINDOW_TYPE_DIALOG", kind, "a window came up, not a message")
        text = self.display.selection(lambda: self.display.xdotool(
            "mousemove", "--window", box, 70, 20, "click", 1, "key", "ctrl+a", "ctrl+c"))
        if answer == "close":
            self.display.close_request(box)
        elif answer:
            self.display.xdotool("windowfocus", "--sync", box, "key", answer)
        return box, text

    def assertEnded(self, panel, frames=None, status=0):
        """Ended with status, START and frames (if given) sent, lock file gone, RTS's fd closed."""
        self.assertEqual(panel.process.wait(30), status, panel.output())
        if frames is not None:
            self.assertEqual(panel.com1.far_end.settle(), START + frames)
        self.assertFalse(os.path.exists(panel.com1.path(LOCK_FILE)), "the lock file is left")
        events = panel.events()
        up = [i for i, (event, _) in enumerate(events) if event == "rts-up"][:1]
        self.assertEqual(events[up[0]:].count(("close", events[up[0]][1])) if up else 0, 1, events)


# the program and its arguments, the exit status, what standard output and standard error hold
COMMAND_LINES = [
    ("potpanel --help", 0,
     r"Usage: potpanel \[--com1 DEVICE\] \[Qt options\]\n(.*\n)*.*potpanel\(1\)\.\n", ""),
    ("potpanel -platform xcb --version", 0, r"potpanel \d+\.\d+\.\d+\n", ""),
    ("potpanel -style Fusion --bogus", 2, "",
     r"\S*potpanel: unknown option \"--bogus\"\n\nUsage: (.*\n)+"),
    ("potpanel-sim --help", 0,
     r"Usage: potpanel-sim \[Qt options\]\n(.*\n)*.*potpanel-sim\(1\)\.\n", ""),
    ("potpanel-sim -platform xcb --version", 0, r"potpanel-sim \d+\.\d+\.\d+\n", ""),
    ("potpanel-sim --com1 /dev/ttyUSB0", 2, "",
     r"\S*potpanel-sim: unknown option \"--com1\"\n\nUsage: potpanel-sim (.*\n)+"),
]


class StartUp(Scenario):
    def test_command_line(self):
        """Help, the version and a refusal with no display at all, touching no port or lock file."""
        for command, status, output, errors in COMMAND_LINES:
            with self.row(command):
                name, *arguments = command.split()
                program = {"potpanel": POTPANEL, "potpanel-sim": SIM}[name]
                if not program:
                    self.skipTest(f"{name} is not built")
                panel = self.launch(args=arguments, program=program,
                                    prefix=["env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY"])
                self.assertEqual(panel.process.wait(30), status, panel.output())
                self.assertRegex(panel.output("out"), f"^{output}$")
                self.assertRegex(panel.output("err"), f"^{errors}$")
                self.assertEqual((panel.events(), written(panel.com1)), ([], []), "port, files")

    def test_line_and_window_at_start(self):
        com1 = self.com1(read=False)  # read once the window is mapped
        watcher = self.watch(on_map=lambda window: com1.far_end.waiting())
        panel = self.launch(com1, env=["FAKE_MODEM_SLOW=3"]).show()  # EXIT waits while it sends
        com1.far_end.start()
        com1.far_end.wait_for(2)
        self.assertEqual(com1.far_end.received, LINE_START)
        self.assertEqual([n for window, n in watcher.maps if window == panel.window][:1], [10],
                         "bytes on the line when the window was mapped")
        events = [event for event, _ in panel.events()]
        self.assertLess(events.index("rts-up"), events.index("write"), "RTS raised after a write")
        # A pseudo-terminal reads back 8 bits and no parity whatever it was told: see what it was.
        self.assertEqual([e for e in events if e.startswith("cflag:")], [f"cflag:{termios.CS8:o}"])
        _, _, cflag, _, ispeed, ospeed, _ = termios.tcgetattr(com1.master)  # the line's
        self.assertEqual((ispeed, ospeed, cflag & termios.CSTOPB), (termios.B9600,) * 2 + (0,))

        props = self.display.run("xprop", "-id", panel.window).stdout
        self.assertEqual(re.findall(r"(?:minimum|maximum) size: (.*)", props), ["356 by 149"] * 2)
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
    x, y = panel.at("HScroll1", height * 3 // 2 + (width - 3 * height) * 50 // 255)  # the thumb
    panel.display.xdotool("mousemove", "--window", panel.window, x, y, "mousedown", 1)
    for step in range(1, 9):  # on past the bar's end: 255
        panel.display.xdotool("mousemove", "--window", panel.window, x + 30 * step, y)
    if panel.com1.far_end.settle() != START:
        raise AssertionError(f"sent during the drag: {panel.com1.far_end.frames()}")
    panel.display.xdotool("mouseup", 1)


# what the operator does (the focus starts on HScroll1), the frames it sends (a tuple: one of
# these), what the displays read
GESTURES = [
    *[(name, keys(key), [("A", 50 + step)]) for name, key, step in [
        ("Right", "Right", 1), ("Left", "Left", -1), ("Up", "Up", 1), ("Down", "Down", -1),
        ("Page Up", "Prior", 1), ("Page Down", "Next", -1)]],
    ("Home, then down stays at 0", keys("Home", "Left", "Down", "Next"), [("A", 0)]),
    ("End, then up stays at FF", keys("End", "Right", "Up", "Prior"), [("A", 255)]),
    ("ten up from 0", keys("Home", *["Right"] * 10), [("A", v) for v in range(11)]),
    ("Tab order", keys("Right", "Tab", "Left", "Tab", "x", "Tab", "y"), [("A", 51), ("B", 49)],
     ("x", "y")),
    ("right arrow", click("HScroll1", -4), [("A", 51)]),
    ("left arrow", click("HScroll2", 4), [("B", 49)]),
    ("track right of the thumb", click("HScroll1", 0.8), [("A", 51)]),
    ("track left of the thumb", click("HScroll2", 30), [("B", 49)]),
    ("wheel up", click("HScroll1", button=4, count=3), [("A", 51), ("A", 52), ("A", 53)]),
    ("wheel down", click("HScroll2", button=5, count=2), [("B", 49), ("B", 48)]),
    ("thumb drag", thumb_drag, [("A", 255)]),
    ("typed text", typed_then_changed, [("A", 51)], ("33", "x")),
    ("right click on a slider", click("HScroll1", 0.8, button=3), []),
    ("middle click on the track", click("HScroll1", 0.8, button=2), ([], [("A", 51)])),
]


class Gestures(Scenario):
    def test_gestures(self):
        for name, gesture, expected, *displays in GESTURES:
            with self.row(name):
                panel, watcher = self.start(), self.watch()
                gesture(panel)
                sent = panel.com1.far_end.settle()[2:]
                self.assertIn(sent, expected if isinstance(expected, tuple) else [expected])
                self.assertEqual(watcher.maps, [], "a window came up")
                last = dict(START + sent)
                self.assertEqual((panel.read("Text1"), panel.read("Text2")),
                                 displays[0] if displays else (f"{last['A']:X}", f"{last['B']:X}"))
                panel.click("Command1")
                self.assertEnded(panel, sent)


def kill(number):
    return lambda panel: os.kill(panel.pid, number)


DEAD = int(subprocess.run(["sh", "-c", "echo $$"], capture_output=True).stdout)  # ended


# how it ends; how COM1, ttyUSB0, is named: the arguments, the user's or the administrator's setting
ENDINGS = [
    ("EXIT by keyboard; --com1", keys("Tab", "Tab", "Tab", "Tab", "space"),
     {"args": ["--com1", USB0]}),
    ("close box; the user's setting", lambda panel: panel.display.close_request(panel.window),
     {"setting": USB0}),
    ("SIGTERM; a by-id link in the setting", kill(signal.SIGTERM),
     {"setting": BY_ID, "ports": [ADAPTER]}),
    ("SIGHUP; --com1 before the setting", kill(signal.SIGHUP),
     {"args": ["--com1", USB0], "setting": DEVICE}),
    ("SIGINT; the administrator's setting", kill(signal.SIGINT), {"system": USB0}),
    # in a PID namespace the lock file holds the PID as /proc numbers it, and the program's name
    ("EXIT by mouse; a PID namespace", click("Command1"), {"setting": USB0, "pids": "own"}),
    ("EXIT by mouse; a sandbox, a lock left by a crash in one", click("Command1"),
     {"setting": USB0, "pids": "sandbox",
      "setup": [f"printf '%10d\\npotpanel\\n' {DEAD} >{USB0_LOCK}"]}),
]


class Endings(Scenario):
    def test_endings(self):
        for name, ending, given in ENDINGS:
            with self.row(name):
                line = dict(given, device=USB0)
                args, pids = line.pop("args", ()), line.pop("pids", None)
                panel = self.start(self.com1(**line), args=args, pids=pids)
                pid = {None: panel.pid, "sandbox": 1}.get(pids) or int(pathlib.Path(
                    f"/proc/{panel.pid}/task/{panel.pid}/children").read_text())
                panel.keys("Right")
                panel.com1.far_end.wait_for(3)
                lock = pathlib.Path(panel.com1.path(USB0_LOCK))
                held = lock.exists() and (lock.read_text(), lock.stat().st_mode & 0o777)
                ending(panel)
                self.assertEnded(panel, [("A", 51)])
                self.assertEqual(held, (f"{pid:10d}\n" + "potpanel\n" * bool(pids), 0o644),
                                 "the lock file while running")
                self.assertFalse(lock.exists(), "the lock file is left")


# Scripts run inside the namespace that print the PID of what they leave holding COM1.
OPEN = f"exec 3<>{DEVICE}; echo $$; exec cat"
LOGIN = f"exec setsid -c sh -c 'echo $$; exec sleep 600' <{DEVICE}"
WRITING = "exec 3>{lock}; echo $$; exec cat"
NAMED = ("printf '%10d\\n' $$ >{lock}; exec " + sys.executable + " -c 'import ctypes, os, sys; "
         "ctypes.CDLL(None).prctl(15, sys.argv[1].encode()); print(os.getpid(), flush=True); "
         "sys.stdin.read()' ")
# Takes COM1 as asked; after a line on its input, prints whether COM1 is in exclusive mode still.
HOLDER = """
import fcntl, os, struct, sys, termios
fd, EX = os.open("/dev/ttyS0", os.O_RDWR | os.O_NOCTTY), fcntl.LOCK_EX
takes = dict(excl=lambda: fcntl.ioctl(fd, termios.TIOCEXCL), flock=lambda: fcntl.flock(fd, EX),
             lockf=lambda: fcntl.lockf(fd, EX), queue=lambda: os.write(fd, b"q" * 8000),
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


CONF = "{work}/config/tarvel/potpanel.conf"
# COM1 as it is, what else takes it ({lock}: COM1's lock file; {other}: one under another name of
# it) and how the program runs; what the message says ("-": does not say)
REFUSALS = [
    # the simulator named as the operator can start it: by its path from a build folder, by its
    # name where the search path finds it
    ("COM1 missing, no port free", dict(kind="missing"), "COM1|no such device|" + (
        f"to try the panel without a controller, run {SIM}." if SIM else "-without a controller")),
    *([("COM1 missing, no port free, on the search path",
        dict(kind="missing", env=[f"PATH={os.path.dirname(SIM)}:{os.environ['PATH']}"]),
        "without a controller, run potpanel-sim.")] if SIM else []),
    ("COM1 not a serial device", dict(kind="null"), "COM1|not a serial device"),
    ("another potpanel", dict(take="potpanel"), "COM1|in use by process {pid}"),
    ("open, no lock", dict(take=OPEN), "COM1|in use by process {pid} (cat), which has it open"),
    ("UUCP lock file", dict(take=NAMED + "minicom"), "in use by process {pid} (minicom)"),
    ("UUCP lock under another name", dict(take=NAMED.replace("{lock}", "{other}") + "cu"),
     "in use by process {pid} (cu), which holds the lock file {other}"),
    ("lock file being written", dict(take=WRITING),
     "{lock} is open in process {pid} (cat)|-delete"),
    ("kernel console", dict(console=True), "COM1|is the system console"),
    ("login session", dict(take=LOGIN), "COM1|in use by process {pid} (sleep)"),
    ("lock directory read-only", dict(locks="ro"), "COM1|lock"),
    ("markup in a name", dict(take=NAMED + "'<i>ab</i>cd'"), "process {pid} (<i>ab</i>cd)"),
    ("flock out of sight, output queued", dict(take=hold("flock", "queue"), pids="sandbox"),
     "COM1|in use by another program, which has locked the device"),
    ("few file descriptors", dict(take=LOGIN, prefix=["prlimit", "--nofile=12"]),
     "process {pid} (sleep)"),
    # the panel in a PID namespace (a container, a sandboxed application), COM1's holder outside
    ("UUCP lock from outside, a PID namespace", dict(take=NAMED + "minicom", pids="own"),
     "in use by process {pid} (minicom), which holds the lock file {lock}"),
    ("UUCP lock from outside, a sandbox", dict(take=NAMED + "minicom", pids="sandbox"),
     "{lock} names process {pid}, which this panel cannot see from inside its PID namespace|"
     "ps -p {pid}"),
    ("another potpanel outside, a sandbox", dict(take="potpanel", pids="sandbox"),
     "in use by a program outside this panel's PID namespace (process {pid} there)"),
    # COM1 on another device, named by --com1 or the setting
    ("--com1 names nothing", dict(device=USB0, args=["--com1", "/dev/ttyUSB7"]),
     "COM1 (/dev/ttyUSB7): cannot open the port: no such device"),
    ("setting names a file", dict(device=USB0, setting="/etc/hostname"),
     "COM1 (/etc/hostname)|not a serial device"),
    ("setting empty", dict(device=USB0, setting=""),
     f"COM1: cannot open the port: the setting COM1 in the group [ports] of {CONF} names no "
     "device"),
    ("settings unreadable", dict(device=USB0, setting=...),
     f"COM1: cannot open the port: cannot read the settings file {CONF} (is a directory)"),
]

JOIN = (r"sed -E '/^dialout:/{{s/:$/:nobody/;t;s/$/,nobody/}}' /etc/group >{work}/group && "
        r"mount --bind {work}/group /etc/group")  # nobody joins dialout
NOBODY = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"]
DIALOUT = "root:dialout 0660"  # a serial line's device
# Refusals that take a second real user, a device of another owner, or root's exclusive-mode
# bypass: real root only.
OTHER_USERS = [
    ("ordinary user", dict(owner=DIALOUT, prefix=NOBODY),
     'COM1|permission denied|sudo adduser $user dialout"'),
    ("joined dialout since the session began", dict(owner=DIALOUT, prefix=NOBODY, setup=[JOIN]),
     "permission denied|log out and in again|-adduser"),
    ("a device only root may open", dict(owner="root:root 0600", prefix=NOBODY),
     "only root may open it|-adduser"),
    ("a login's terminal, root:tty", dict(owner="root:tty 0620"),
     "login session's terminal|-adduser"),
    ("lockf by another user", dict(take=hold("lockf"), prefix=NOBODY),
     "in use by process {pid}|has locked the device"),
    ("OFD lock by another user", dict(take=hold("ofd"), prefix=NOBODY),
     "another program has locked the device"),
    ("another user's live lock", dict(owner="root:dialout 0666", prefix=NOBODY,
                                      take=NAMED + "minicom"), "in use by process {pid} (minicom)"),
    ("another user's stale lock", dict(owner="root:dialout 0666", prefix=NOBODY,
                                       setup=[f"printf '%10d\\n' {DEAD} >{LOCK_FILE}"]),
     f"left by process {DEAD}|belongs to root|administrator to delete it (sudo rm {LOCK_FILE})"),
    ("exclusive mode out of sight, root", dict(take=hold("excl", "flock", "queue"), pids="sandbox"),
     "COM1|in use by another program, which opened it exclusively"),
]


class Refusing(Scenario):
    def refuse(self, table):
        for name, given, phrases in table:
            with self.row(name):
                line = dict(given)
                take = line.pop("take", "")
                how = {key: line.pop(key) for key in ("args", "prefix", "pids", "env")
                       if key in line}
                takes = take.rsplit("'", 1)[-1]  # what a holder takes; its output may stay queued
                com1 = self.com1(read="queue" not in takes, **line)
                names = {"lock": LOCK_FILE, "work": com1.work, "other": com1.far_end
                         and "/run/lock/LCK.." + com1.terminal[5:].replace("/", "_")}
                first = take == "potpanel" and self.start(com1)
                names["pid"] = first and first.pid
                if take and not first:
                    holder = com1.popen(["sh", "-c", take.format(**names)], bufsize=0,
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE)
                    self.addCleanup(end_process, holder)
                    names["pid"] = holder.pid = int(holder.stdout.readline())
                watcher, before = self.watch(), written(com1)
                panel = self.launch(com1, **how)
                box, text = self.message(panel)
                for phrase in phrases.format(**names).lower().split("|"):
                    said = self.assertNotIn if phrase.startswith("-") else self.assertIn
                    said(phrase.lstrip("-"), text.lower())
                self.assertEqual(panel.process.wait(30), 1, panel.output())
                self.assertEqual(([w for w, _ in watcher.maps], [e for e in panel.events()
                                                                 if e[0] != "close"]),
                                 ([box], []), "other windows, the port used")
                if "queue" in takes:  # the holder's output and exclusive mode stay as they were
                    holder.stdin.write(b"\n")
                    self.assertEqual(int(holder.stdout.readline()), "excl" in takes, "exclusive")
                    com1.far_end.start()
                if com1.far_end:
                    self.assertEqual(com1.far_end.settle(raw=True), b"q" * 8000 if "queue" in takes
                                     else LINE_START * bool(first), "on the line")
                if not first:
                    self.assertEqual(written(com1), before, "written in the settings or locks")


class Refusals(Refusing):
    def test_refusals(self):
        self.refuse(REFUSALS)

    def test_port_choice(self):
        ports = [ADAPTER, Port("ttyS1", "8250", 0), *(Port(f"ttyS{n}", "8250", 4) for n in "234"),
                 Port("ttyUSB1", node=False), Port("tty1", None)]
        listed = [f"1. {USB0}: Future Technology Devices International, Ltd, FT232R USB UART, "
                  f"serial number A10KHTR4 ({BY_ID})", "2. /dev/ttyS4"]
        # what the operator does in the message, the machine's ttyS2 being its console and ttyS3
        # taken
        for answer in ("alt+1", "Return", "Escape", "close"):
            with self.row(answer):
                com1 = self.com1(device=USB0, ports=ports, console="ttyS2")
                pathlib.Path(com1.path("/run/lock/LCK..ttyS3")).write_text(f"{os.getpid():10d}\n")
                panel = self.launch(com1)
                box, text = self.message(panel, answer=answer)
                self.assertRegex(text, r"^COM1 \(/dev/ttyS0\): cannot open the port: no such "
                                       r"device\n")
                self.assertEqual(re.findall(r"^\d+\. .*", text, re.M), listed, text)
                if answer != "alt+1":
                    self.assertEqual(panel.process.wait(30), 1, panel.output())
                    self.assertEqual((com1.far_end.settle(), written(com1)), ([], ["LCK..ttyS3"]))
                    continue
                panel.show(excluding=[box])
                self.assertEqual(com1.far_end.wait_for(2), START)
                lock, saved = (pathlib.Path(path).read_text() for path in (
                    com1.path(USB0_LOCK), f"{com1.work}/config/Tarvel/potpanel.conf"))
                self.assertEqual((lock, saved), (f"{panel.pid:10d}\n", f"[ports]\nCOM1={BY_ID}\n"))
                panel.click("Command1")
                self.assertEnded(panel, [])


class OtherUsers(Refusing):
    def test_refusals(self):
        self.refuse(OTHER_USERS)


GONE = "COM1 (/dev/ttyS0): the device is gone: it was unplugged, switched off or its far end closed"


def held(panel):
    """The device numbers of what the program has open."""
    return [os.stat(f"/proc/{panel.pid}/fd/{fd}").st_rdev
            for fd in os.listdir(f"/proc/{panel.pid}/fd")]


def cpu_seconds(pid):
    """The CPU time a process has used, in user and system mode."""
    fields = pathlib.Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def windows(panel):
    """How many windows the program shows: its own and its messages."""
    return len(panel.display.run("xdotool", "search", "--onlyvisible", "--pid", panel.pid,
                                 "--name", f"^{CAPTION}$").stdout.split())


class Faults(Scenario):
    def hang_up(self, panel):
        """The far end goes, as an adapter pulled out: the message, the port let go meanwhile."""
        line = os.stat(panel.com1.terminal).st_rdev
        panel.com1.far_end.stop()
        os.close(panel.com1.master)
        panel.com1.master = None
        box, text = self.message(panel, [panel.window], answer=None)
        self.assertIn(GONE, text)
        self.assertFalse(os.path.exists(panel.com1.path(LOCK_FILE)), "the lock file, message up")
        self.assertNotIn(line, held(panel), "the device, message up")
        return box

    def answer(self, box, key):
        self.display.xdotool("windowfocus", "--sync", box, "key", key)

    def test_device_gone_then_ended(self):
        # OK is the default and Escape; a termination request dismisses the message like OK
        for answer in ("Return", "Escape", "SIGTERM"):
            with self.row(answer):
                panel = self.start()
                box = self.hang_up(panel)
                events = panel.events()
                if answer == "SIGTERM":
                    os.kill(panel.pid, signal.SIGTERM)
                else:
                    self.answer(box, answer)
                self.assertEnded(panel, status=1)
                self.assertEqual(panel.events(), events, "done on a line after the message")

    def test_device_gone_then_back(self):
        panel = self.start()
        panel.keys("Right")
        panel.click("HScroll2", -4)
        self.assertEqual(panel.com1.far_end.wait_for(4), START + [("A", 51), ("B", 51)])
        box = self.hang_up(panel)
        panel.com1.remove_line()
        self.answer(box, "alt+r")
        box, text = self.message(panel, [panel.window, box], answer=None)
        self.assertIn("COM1 (/dev/ttyS0): cannot connect again: no such device", text)
        panel.com1.replace_line()  # plugged in again
        panel.com1.far_end.start()
        before = len(panel.events())
        self.answer(box, "alt+r")
        self.assertEqual(panel.com1.far_end.wait_for(2), [("A", 51), ("B", 51)])
        kinds = [event for event, _ in panel.events()[before:]]
        self.assertLess(kinds.index("rts-up"), kinds.index("write"), kinds)
        panel.click("HScroll1", -4)
        self.assertEqual(panel.com1.far_end.wait_for(3), [("A", 51), ("B", 51), ("A", 52)])
        self.assertEqual((panel.read("Text1"), panel.read("Text2")), ("34", "33"))
        panel.click("Command1")
        self.assertEqual(panel.process.wait(30), 0, panel.output())
        self.assertEqual(panel.com1.far_end.settle(), [("A", 51), ("B", 51), ("A", 52)])
        self.assertFalse(os.path.exists(panel.com1.path(LOCK_FILE)), "the lock file is left")

    def test_controller_talking(self):
        # 3 s of bytes at the line's rate, which the panel never reads: nothing wakes it
        panel = self.start()
        used = cpu_seconds(panel.pid)
        for _ in range(30):
            os.write(panel.com1.master, b"\x06" * 96)
            time.sleep(0.1)
        self.assertLess(cpu_seconds(panel.pid) - used, 0.5, "the panel woke for the bytes")
        self.assertEqual(windows(panel), 1)
        panel.click("Command1")
        self.assertEnded(panel, [])

    def test_device_gone_in_a_burst(self):
        panel = self.start()
        burst = subprocess.Popen(["xdotool", "key", "--delay", "10", *["Right"] * 150],
                                 env=self.display.env)
        self.addCleanup(end_process, burst)
        panel.com1.far_end.wait_for(10)
        box = self.hang_up(panel)
        burst.wait(30)
        time.sleep(0.5)  # for any second message to come
        self.assertEqual(windows(panel), 2)
        self.answer(box, "Escape")
        self.assertEnded(panel, status=1)

    def test_start_up_failure_lets_go_first(self):
        # Without the fake modem a pseudo-terminal has no modem-control lines: RTS cannot be raised.
        panel = self.launch(env=["LD_PRELOAD="])
        self.display.wait_window(CAPTION, panel.pid)
        self.assertFalse(os.path.exists(panel.com1.path(LOCK_FILE)), "the lock file, message up")
        self.assertNotIn(os.stat(panel.com1.terminal).st_rdev, held(panel), "the port, message up")
        self.assertIn("no modem-control lines", self.message(panel)[1])
        self.assertEqual(panel.process.wait(30), 1, panel.output())

    def test_sigkill(self):
        panel = self.start()
        lock_file = panel.com1.path(LOCK_FILE)
        self.assertTrue(os.path.exists(lock_file))
        panel.process.kill()
        panel.process.wait(5)
        wait_until(lambda: not os.path.exists(lock_file), 5, "the lock file to go")

    def test_stuck_transmitter(self):
        # The line takes nothing more and the operator or the session ends the program: closing
        # gives up and says what was lost; a termination request dismisses that message.
        for name, ending in (("EXIT", click("Command1")), ("SIGTERM", kill(signal.SIGTERM))):
            with self.row(name):
                panel = self.launch(env=["FAKE_MODEM_STUCK=480"]).show()
                panel.com1.far_end.wait_for(2)
                ending(panel)
                text = self.message(panel, [panel.window], answer=None)[1]  # it stays up
                self.assertIn("480 bytes were not sent", text)
                os.kill(panel.pid, signal.SIGTERM)
                self.assertEnded(panel, status=1)


class Wayland(Scenario):
    def test_native_on_weston(self):
        com1 = self.com1()
        runtime = f"{com1.work}/runtime"
        os.mkdir(runtime, 0o700)  # as a session's is
        weston = subprocess.Popen(
            ["weston", "--backend=headless-backend.so", "--socket=potpanel-0", "--idle-time=0"],
            env=dict(os.environ, XDG_RUNTIME_DIR=runtime), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        self.addCleanup(end_process, weston)
        wait_until(lambda: os.path.exists(f"{runtime}/potpanel-0"), what="Weston")
        panel = self.launch(com1, env=[f"XDG_RUNTIME_DIR={runtime}", "WAYLAND_DISPLAY=potpanel-0",
                                       "QT_QPA_PLATFORM=wayland", "WAYLAND_DEBUG=client"])
        self.assertEqual(panel.com1.far_end.wait_for(2), START)
        expected = {("set_min_size", "356, 149"), ("set_max_size", "356, 149"),
                    ("set_app_id", '"com.tarvel.potpanel"')}

        def requests():  # as WAYLAND_DEBUG logs them
            return set(re.findall(r"-> xdg_toplevel@\d+\.(set_\w+)\((.*)\)", panel.output()))
        with contextlib.suppress(AssertionError):
            wait_until(lambda: expected <= requests(), what="the window's size and app id")
        self.assertLessEqual(expected, requests())
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
