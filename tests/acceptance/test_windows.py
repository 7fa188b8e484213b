"""The real potpanel.exe under Wine on the rig's private X display, with real input, COM1 a
pseudo-terminal in a private namespace, and a probe that reads the windows as the operator sees
them.  test_windows.py WINDOWS_BUILD FAKE_MODEM WINE_PREFIX GROUP (a class below)"""

import itertools, os, pathlib, subprocess, sys, termios, unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "rig"))
from potpanel_rig import Com1, Display, MapWatcher, Port, Wine, controls, wait_until  # noqa: E402
from potpanel_rig import end_process  # noqa: E402

CAPTION, START = "Tarvel Digital Potentiometers", [("A", 50), ("B", 50)]
NAMES = list(controls())  # by tab index; a control's identifier is 100 and its index
WS_THICKFRAME, WS_MINIMIZEBOX, WS_MAXIMIZEBOX, WS_SYSMENU = 0x40000, 0x20000, 0x10000, 0x80000
ICON, MESSAGE_TEXT = 1088, 65535  # the controls of a message box: its icon and its text
SECOND_PORT = Port("ttyS1", "8250", 4)  # a pseudo-terminal at /dev/ttyS1: COM2 under Wine


class Run:
    """One run of a Windows program in a Wine session, the fake modem preloaded, its output, modem
    events and status kept."""

    runs = itertools.count()

    def __init__(self, session, argv, env=()):
        self.session, self.out = session, f"{session.com1.work}/{next(self.runs)}"
        with open(f"{self.out}.out", "w") as out, open(f"{self.out}.err", "w") as err:
            self.process = session.popen(argv, env=[f"LD_PRELOAD={FAKE_MODEM}",
                                                    f"FAKE_MODEM_LOG={self.out}.modem", *env],
                                         stdout=out, stderr=err)

    def output(self, stream):
        return pathlib.Path(f"{self.out}.{stream}").read_text(errors="replace")

    def events(self):
        log = pathlib.Path(f"{self.out}.modem")
        return [tuple(line.split()) for line in log.exists() and log.read_text().splitlines() or []]

    def window(self, kind="potpanel.Form1"):
        """The session's visible window of that class, once it has the focus (Wine activates a
        window as X tells it), its controls by name."""
        found = wait_until(lambda: [w for w in self.session.dump() if w["class"] == kind
                                    and w["focus"]], 20, f"a window {kind}")[0]
        found["controls"] = {NAMES[c["id"] - 100] if 100 <= c["id"] < 100 + len(NAMES) else
                             c["id"]: c for c in found["children"]}
        return found

    def message(self, answer="Return"):
        """The message box's text, once its title and error icon are seen; then the key answer."""
        box = self.window("#32770")
        self.session.display.xdotool("key", answer)
        return box["text"], box["controls"][ICON]["visible"], box["controls"][MESSAGE_TEXT]["text"]


class Scenario(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.display = Display()
        cls.addClassCleanup(cls.display.close)

    def session(self, read=True, **line):
        """A Wine session on its own COM1 (a user namespace even for root, whom exclusive mode
        would let through)."""
        com1 = Com1(user_namespace=True, **line)
        self.addCleanup(com1.close)
        if read and com1.far_end:
            com1.far_end.start()
        session = Wine(com1, PREFIX, f"{BUILD}/window_probe.exe", self.display)
        self.addCleanup(session.close)
        return session

    def run_program(self, session, *args, program="potpanel.exe", env=()):
        run = Run(session, [f"{BUILD}/{program}", *args], env)
        self.addCleanup(end_process, run.process)
        return run

    def start(self, session, *args, env=()):
        run = self.run_program(session, *args, env=env)
        self.assertEqual(session.com1.far_end.wait_for(2), START, run.output("err"))
        run.form = run.window()
        return run

    def point(self, run, control, x=0.5, y=0.5):
        """A point on the screen in a control: x, y fractions of its size, or pixels from its left
        (< 0: its right)."""
        left, top, right, bottom = run.form["controls"][control]["rect"]
        return [left + (round(x * (right - left)) if isinstance(x, float) else x % (right - left)),
                top + round(y * (bottom - top))]

    def click(self, run, control, x=0.5, button=1, count=1):
        self.display.xdotool("mousemove", *self.point(run, control, x), "click", "--repeat", count,
                             "--delay", 30, button)

    def keys(self, *names):
        self.display.xdotool("key", "--delay", 12, *names)

    def assertLineSet(self, run, cflag):
        """The size, parity and stop bits of cflag were set, and no others after them. Wine sets a
        line in steps, each reading the last back, and a pseudo-terminal reads back 8 bits and no
        parity whatever it was told."""
        values = [int(event[6:], 8) for event, _ in run.events() if event.startswith("cflag:")]
        forced = cflag & ~(termios.CSIZE | termios.PARENB | termios.PARODD) | termios.CS8
        self.assertIn(cflag, values, [f"{value:o}" for value in values])
        self.assertLessEqual(set(values[values.index(cflag):]), {cflag, forced})

    def assertEnded(self, run, status=0, frames=None):
        """Ended with status, START and frames sent (if given), the port closed after RTS (Wine
        may close its descriptor more than once)."""
        self.assertEqual(run.process.wait(30), status, run.output("err"))
        if frames is not None:
            self.assertEqual(run.session.com1.far_end.settle(), START + frames)
        events = [event for event, _ in run.events()]
        up = events.index("rts-up") if "rts-up" in events else len(events)
        self.assertEqual("close" in events[up:], up < len(events), events)


class StartUp(Scenario):
    def test_line_and_window_at_start(self):
        session = self.session(read=False)
        com1 = session.com1
        # An earlier program left the line at two stop bits, parity and both kinds of flow control.
        iflag, oflag, cflag, lflag, *speeds = termios.tcgetattr(com1.master)
        termios.tcsetattr(com1.master, termios.TCSANOW, [
            iflag | termios.IXON | termios.IXOFF, oflag,
            cflag | termios.CSTOPB | termios.PARENB | termios.CRTSCTS, lflag, *speeds])
        watcher = MapWatcher(self.display, on_map=lambda window: com1.far_end.waiting())
        self.addCleanup(watcher.stop)
        watcher.start()
        run = self.run_program(session)
        form = run.form = run.window()
        com1.far_end.start()
        self.assertEqual(com1.far_end.wait_for(2), START)
        self.assertEqual([n for _, n in watcher.maps][:1], [10], "bytes on the line at the map")
        events = [event for event, _ in run.events()]
        self.assertLess(events.index("rts-up"), events.index("write"), "RTS raised after a write")
        self.assertLineSet(run, termios.CS8)
        iflag, _, cflag, _, ispeed, ospeed, _ = termios.tcgetattr(com1.master)
        self.assertEqual((ispeed, ospeed), (termios.B9600,) * 2)
        self.assertEqual((iflag & (termios.IXON | termios.IXOFF),
                          cflag & (termios.CSTOPB | termios.PARENB | termios.CRTSCTS)), (0, 0))

        # A fixed frame with caption, system menu and close box, and the table's layout in it.
        self.assertEqual((form["text"], form["style"] & (WS_THICKFRAME | WS_MINIMIZEBOX |
                                                         WS_MAXIMIZEBOX | WS_SYSMENU)),
                         (CAPTION, WS_SYSMENU))
        left, top, right, bottom = form["client"]
        self.assertEqual((right - left, bottom - top), (356, 149))
        placed = {name: (c["rect"][0] - left, c["rect"][1] - top, c["rect"][2] - c["rect"][0],
                         c["rect"][3] - c["rect"][1]) for name, c in form["controls"].items()}
        self.assertEqual(placed, controls())
        self.assertEqual({name: c["text"] for name, c in form["controls"].items()},
                         {"HScroll1": "", "HScroll2": "", "Label1": "CH-A", "Label2": "CH-B",
                          "Text1": "32", "Text2": "32", "Command1": "EXIT", "Label3": "COM1 Only",
                          "Label4": "Brennow"})
        sliders = [form["controls"][name] for name in ("HScroll1", "HScroll2")]
        self.assertEqual([(s["pos"], s["range"]) for s in sliders], [(50, [0, 255])] * 2)
        self.assertEqual(form["focus"], sliders[0]["hwnd"], "the focus at start")
        self.click(run, "Command1")
        self.assertEnded(run, frames=[])


def keys(*names):
    return lambda test, run: test.keys(*names)


def click(control, x=0.5, button=1, count=1):
    return lambda test, run: test.click(run, control, x, button, count)


def typed_then_changed(test, run):
    for control, text in (("Text1", "7F"), ("Text2", "x")):
        test.click(run, control)
        test.keys("End", "shift+Home", *text, "Return")
    test.click(run, "HScroll1", -4)


def thumb_drag(test, run):
    slider = run.form["controls"]["HScroll1"]
    width, arrow, thumb = slider["rect"][2] - slider["rect"][0], slider["arrow"], slider["thumb"]
    x, y = test.point(run, "HScroll1", arrow + (width - 2 * arrow - thumb) * 50 // 255 + thumb // 2)
    test.display.xdotool("mousemove", x, y, "mousedown", 1)
    try:
        # On to the right arrow: 255. Windows puts the thumb back if the pointer strays far.
        for step in range(1, 9):
            test.display.xdotool("mousemove", x + (slider["rect"][2] - x) * step // 8, y)
        if run.session.com1.far_end.settle() != START:
            raise AssertionError(f"sent during the drag: {run.session.com1.far_end.frames()}")
    finally:
        test.display.xdotool("mouseup", 1)


# what the operator does (the focus starts on HScroll1; Windows' own keys: Up and Page Up lower a
# scroll bar's value), the frames it sends, what the displays read
GESTURES = [
    *[(name, keys(key), [("A", 50 + step)]) for name, key, step in [
        ("Right", "Right", 1), ("Left", "Left", -1), ("Up", "Up", -1), ("Down", "Down", 1),
        ("Page Up", "Prior", -1), ("Page Down", "Next", 1)]],
    ("Home, then down stays at 0", keys("Home", "Left", "Up", "Prior"), [("A", 0)]),
    ("End, then up stays at FF", keys("End", "Right", "Down", "Next"), [("A", 255)]),
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
]


class Gestures(Scenario):
    def test_gestures(self):
        session = self.session()
        for name, gesture, expected, *displays in GESTURES:
            with self.subTest(name):
                session.com1.far_end.received.clear()
                run = self.start(session)
                gesture(self, run)
                sent = session.com1.far_end.settle()[2:]
                self.assertEqual(sent, expected)
                shown = run.window()["controls"]
                last = dict(START + sent)
                self.assertEqual((shown["Text1"]["text"], shown["Text2"]["text"]),
                                 displays[0] if displays else (f"{last['A']:X}", f"{last['B']:X}"))
                self.assertEqual([shown[n]["pos"] for n in ("HScroll1", "HScroll2")],
                                 [last["A"], last["B"]])
                self.keys("Escape")  # a menu left open would take the click
                self.click(run, "Command1")
                self.assertEnded(run, frames=sent)


def close_box(test, run):
    left, top, right, bottom = run.form["rect"]
    test.display.xdotool("mousemove", right - 12, top + 12, "click", 1)


def end_of_session(test, run):
    test.assertEqual(run.session.popen(["wineboot", "--end-session"]).wait(30), 0)


# how it ends; how COM1 is named
ENDINGS = [
    ("EXIT by click", click("Command1"), ()),
    ("EXIT by Space; --com1", keys("Tab", "Tab", "Tab", "Tab", "space"), ("--com1", "COM2")),
    ("EXIT by Enter; --com1=com2", keys("Tab", "Tab", "Tab", "Tab", "Return"), ("--com1=com2",)),
    ("close box", close_box, ()),
    ("Alt+F4", keys("alt+F4"), ()),
    ("system menu", keys("alt+space", "c"), ()),
    ("end of the session", end_of_session, ()),
]


class Endings(Scenario):
    def test_endings(self):
        for name, ending, args in ENDINGS:
            with self.subTest(name):
                # COM2 is the line; COM1 another port, which --com1 leaves alone.
                line = dict(device="/dev/ttyS1", ports=[Port("ttyS0", "8250", 4)]) if args else {}
                run = self.start(self.session(**line), *args)
                self.keys("Right")
                run.session.com1.far_end.wait_for(3)
                ending(self, run)
                self.assertEnded(run, frames=[("A", 51)])
                self.doCleanups()


HOLD = ("import fcntl, os, termios, sys; fd = os.open('/dev/ttyS0', os.O_RDWR | os.O_NOCTTY); "
        "fcntl.ioctl(fd, termios.TIOCEXCL); print(os.getpid(), flush=True); sys.stdin.read()")
# COM1 as it is, whether a program holds it in exclusive mode, the arguments and the fake modem's
# settings; how the message begins
REFUSALS = [
    ("COM1 missing, no port", dict(kind="missing"), False, (), (),
     "COM1: cannot open the port: no such port, and this computer has no serial port: connect"),
    ("--com1 COM3 missing", dict(ports=[SECOND_PORT]), False, ("--com1", "COM3"), (),
     "COM1 (COM3): cannot open the port: no such port; this computer's serial ports are COM1, "
     "COM2: start the panel with --com1 and the one the controller is on, such as --com1 COM1"),
    ("COM1 held exclusively", {}, True, (), (),
     "COM1: cannot open the port: in use by another program: "),
    ("RTS cannot be raised", {}, False, (), ("LD_PRELOAD=",), "COM1: cannot raise RTS: "),
]


class Refusals(Scenario):
    def test_refusals(self):
        for name, line, held, args, env, said in REFUSALS:
            with self.subTest(name):
                session = self.session(**line)
                if held:
                    holder = session.com1.popen([sys.executable, "-c", HOLD],
                                                stdin=subprocess.PIPE, stdout=subprocess.PIPE)
                    self.addCleanup(end_process, holder)
                    holder.stdout.readline()
                watcher = MapWatcher(self.display)
                self.addCleanup(watcher.stop)
                watcher.start()
                run = self.run_program(session, *args, env=env)
                title, icon, text = run.message()
                self.assertEqual((title, icon), (CAPTION, 1))
                self.assertTrue(text.startswith(said), text)
                self.assertEqual(run.process.wait(30), 1)
                self.assertIn(said, run.output("err"))
                self.assertEqual(len(watcher.maps), 1, "a window beside the message")
                self.assertEqual([e for e in run.events() if e[0] in ("write", "rts-up")], [])
                if session.com1.far_end:
                    self.assertEqual(session.com1.far_end.settle(raw=True), b"")
                self.doCleanups()

    def test_command_line(self):
        session = self.session()
        for args, status, stream, text in [
                (["--help"], 0, "out", "Usage: potpanel [--com1 COMn]\n"),
                (["--version"], 0, "out", "potpanel 1.0.0\n"),
                (["-platform", "xcb"], 2, "err", 'potpanel: unknown option "-platform"\n\nUsage:')]:
            with self.subTest(args[0]):
                run = self.run_program(session, *args)
                self.assertEqual(run.process.wait(30), status)
                self.assertTrue(run.output(stream).startswith(text), run.output(stream))
                self.assertEqual(run.events(), [])

    def test_faults(self):
        # The far end goes away, and the next frame cannot be written; the line takes nothing more
        # and EXIT cannot let the frames drain.
        for name, env in (("far end gone", ()), ("stuck transmitter", ("FAKE_MODEM_STUCK=480",))):
            with self.subTest(name):
                session = self.session()
                run = self.start(session, env=env)
                if env:
                    self.click(run, "Command1")
                else:
                    session.com1.far_end.stop()
                    os.close(session.com1.master)
                    session.com1.master = None
                    self.keys("Right")
                text = run.message()[2]
                self.assertIn("COM1: cannot close the port: the line did not drain in time; 480 "
                              "bytes were not sent" if env else "COM1: cannot write to the port: "
                              "the device has gone", text)
                self.assertEnded(run, status=1)
                self.doCleanups()


BURST = bytes(n % 251 for n in range(80000))
# the line's settings, the steps after the open, the fake modem's settings, whether the far end
# reads; how each step's line begins, what reaches the line (None: not looked at)
PORT_STEPS = [
    ("9600,N,8,1", ["rts", "write:80000", "close"], (), True, ["ok"] * 4, BURST),
    ("4800,E,7,2", ["write:5", "close"], (), True, ["ok"] * 3, BURST[:5]),
    ("9600,N,8,1", ["write:80000"], (), False,
     ["ok", "failed: the line took too little for 10 seconds; "], None),
    ("9600,N,8,1", ["write:5", "close"], ("FAKE_MODEM_STUCK=480",), True,
     ["ok", "ok", "failed: the line did not drain in time; 480 bytes were not sent"], BURST[:5]),
    ("9600,N,8,1", ["write:5", "close"], ("FAKE_MODEM_SLOW=3",), True, ["ok"] * 3, BURST[:5]),
]


class SerialPort(Scenario):
    def test_steps(self):
        for settings, steps, env, read, said, line in PORT_STEPS:
            with self.subTest(f"{settings} {steps} {env}"):
                session = self.session(read=read)
                run = self.run_program(session, "COM1", settings, *steps,
                                       program="port_exercise.exe", env=env)
                run.process.wait(60)
                printed = run.output("out").splitlines()
                self.assertEqual(len(printed), len(said), printed)
                for step, text, begins in zip(["open", *steps], printed, said):
                    self.assertTrue(text.startswith(f"{step}: {begins}"), printed)
                if line is not None:
                    self.assertEqual(session.com1.far_end.settle(raw=True), line)
                # The size, parity and stop bits asked for; the speed as the line has it.
                size, more = (termios.CS7, termios.PARENB | termios.CSTOPB) if "E" in settings \
                    else (termios.CS8, 0)
                self.assertLineSet(run, size | more)
                speed = termios.tcgetattr(session.com1.master)[4]
                self.assertEqual(speed, getattr(termios, "B" + settings.split(",")[0]))
                self.doCleanups()


if __name__ == "__main__":
    BUILD, FAKE_MODEM, PREFIX = sys.argv[1:4]
    unittest.main(argv=sys.argv[:1] + sys.argv[4:], verbosity=2)
