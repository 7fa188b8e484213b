"""The real potpanel.exe under Wine on the rig's private X display, with real input, COM1 a
pseudo-terminal in a private namespace, and a probe that reads the windows as the operator sees
them.  test_windows.py WINDOWS_BUILD FAKE_MODEM WINE_PREFIX GROUP (a class below)"""

import glob, itertools, os, subprocess, sys, termios, unittest, zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "rig"))
from potpanel_rig import Com1, Port, Wine, controls, end_process, wait_until  # noqa: E402
from test_potpanel import CAPTION, START, Panel, click, hold, keys  # noqa: E402
from test_potpanel import GESTURES as LINUX_GESTURES, Scenario as LinuxScenario  # noqa: E402

NAMES = dict(enumerate(controls(), 100))  # by identifier: 100 and the place in tab order


def placed(form, scale=1):
    """The client area's size and each control's place; the table's at scale times 96 dpi."""
    left, top, right, bottom = form["client"]
    return ({"": (right - left, bottom - top), **{name: (
        c["rect"][0] - left, c["rect"][1] - top, c["rect"][2] - c["rect"][0],
        c["rect"][3] - c["rect"][1]) for name, c in form["controls"].items()}},
        {name: tuple(int(n * scale + 0.5) for n in rect)
         for name, rect in {"": (356, 149), **controls()}.items()})


class Run(Panel):
    """A Windows program in a Wine session, the fake modem preloaded; unattended: no stdout. Its
    output and keys are the Linux panel's; its controls' places, what the probe shows."""
    count = itertools.count()

    def __init__(self, session, argv, env=(), unattended=False):
        self.session, self.display = session, session.display
        self.out = f"{session.com1.work}/{next(self.count)}"
        with open(f"{self.out}.out", "w") as out, open(f"{self.out}.err", "w") as err:
            self.process = session.popen(
                argv, env=[f"LD_PRELOAD={FAKE_MODEM}", f"FAKE_MODEM_LOG={self.out}.modem", *env],
                stdout=out, stderr=err, preexec_fn=(lambda: os.close(1)) if unattended else None)

    def events(self):  # each RTS change, line setting, write and close on a terminal
        return [event for event, *_ in super().events()]

    def window(self, kind="potpanel.Form1", but=()):
        """The window of that class, its controls by name, once it has the focus (which X gives);
        none of the handles but."""
        found = wait_until(lambda: [w for w in self.session.dump() if w["class"] == kind and
                                    w["focus"] and w["hwnd"] not in but], 20, f"a window {kind}")[0]
        found["controls"] = {NAMES.get(c["id"], c["id"]): c for c in found["children"]}
        return found

    def message(self, answer="Return", seen=None):
        """A message box's (or task dialog's) title, whether it shows its icon first, its text and
        its buttons; then the key answer, or answer(self). seen: the handles of the boxes before,
        which it waits past, and to which it adds this one's."""
        box = self.window("#32770", seen or ())
        if seen is not None:
            seen.append(box["hwnd"])
        if isinstance(answer, str):
            self.keys(answer)
        else:
            answer(self)
        icon, *rest = box["children"]
        texts = [c["text"] for c in rest if c["id"] in (0, 65535)]  # static text, no identifier
        buttons = [c["text"] for c in rest if c["id"] not in (0, 65535)]
        return box["text"], icon["visible"] and not icon["text"], texts, buttons

    def place(self, control):
        left, top, right, bottom = self.form["controls"][control]["rect"]
        return left, top, right - left, bottom - top

    def click(self, control, x=0.5, button=1, count=1):
        self.display.xdotool("mousemove", *self.at(control, x), "click", "--repeat", count,
                             "--delay", 30, button)


class Scenario(LinuxScenario):
    def session(self, read=True, **line):
        """A Wine session on its own COM1, in a user namespace: exclusive mode stops root too."""
        com1 = Com1(user_namespace=True, **line)
        self.addCleanup(com1.close)
        if read and com1.far_end:
            com1.far_end.start()
        self.addCleanup((session := Wine(com1, PREFIX, f"{BUILD}/window_probe.exe",
                                         self.display)).close)
        return session

    def launch(self, session, *args, program="potpanel.exe", **options):
        path = f"{BUILD}/{program}" if program.endswith(".exe") else program  # else Wine's own
        self.addCleanup(end_process, (run := Run(session, [path, *args], **options)).process)
        return run

    def setting(self, session, root, port):
        """COM1's setting under root (HKCU or HKLM), if port, deleted again at the end: its key."""
        key, quiet = rf"{root}\Software\Tarvel\potpanel\ports", dict(stdout=subprocess.DEVNULL)
        self.addCleanup(lambda: session.popen(["reg", "delete", key, "/f"], **quiet).wait(30))
        if port:
            self.assertEqual(session.popen(["reg", "add", key, "/v", "COM1", "/d", port, "/f"],
                                           **quiet).wait(30), 0)
        return key

    def start(self, session, *args, env=(), program="potpanel.exe"):
        run = self.launch(session, *args, env=env, program=program)
        self.assertEqual(session.com1.far_end.wait_for(2), START, run.output("err"))
        run.form = run.window()
        return run

    def assertLineSet(self, run, cflag):
        """The size, parity and stop bits of cflag were set, and none else after: Wine sets a line
        in steps, each reading the last back, which a pseudo-terminal gives as 8 bits, no parity."""
        values = [int(event[6:], 8) for event in run.events() if event.startswith("cflag:")]
        forced = cflag & ~(termios.CSIZE | termios.PARENB | termios.PARODD) | termios.CS8
        self.assertIn(cflag, values, [f"{value:o}" for value in values])
        self.assertLessEqual(set(values[values.index(cflag):]), {cflag, forced})

    def assertEnded(self, run, status=0, frames=None):
        """Ended with status, START and frames (if given) sent, the port closed after RTS rose."""
        self.assertEqual(run.process.wait(30), status, run.output("err"))
        if frames is not None:
            self.assertEqual(run.session.com1.far_end.settle(), START + frames)
        events = run.events()
        self.assertIn("close", events[events.index("rts-up"):] if "rts-up" in events else ["close"])


class StartUp(Scenario):
    def test_line_and_window_at_start(self):
        session = self.session(read=False)
        com1 = session.com1
        # An earlier program left the line at two stop bits, parity and both kinds of flow control.
        iflag, oflag, cflag, lflag, *speeds = termios.tcgetattr(com1.master)
        dirty = termios.IXON | termios.IXOFF, termios.CSTOPB | termios.PARENB | termios.CRTSCTS
        termios.tcsetattr(com1.master, termios.TCSANOW,
                          [iflag | dirty[0], oflag, cflag | dirty[1], lflag, *speeds])
        watcher = self.watch(on_map=lambda window: com1.far_end.waiting())
        run = self.launch(session)
        form = run.form = run.window()
        com1.far_end.start()
        self.assertEqual(com1.far_end.wait_for(2), START)
        self.assertEqual([n for _, n in watcher.maps][:1], [10], "bytes on the line at the map")
        self.assertLess(run.events().index("rts-up"), run.events().index("write"), "RTS after")
        self.assertLineSet(run, termios.CS8)
        iflag, _, cflag, _, ispeed, ospeed, _ = termios.tcgetattr(com1.master)
        self.assertEqual((ispeed, ospeed, iflag & dirty[0], cflag & dirty[1]),
                         (termios.B9600, termios.B9600, 0, 0))

        # Of sizing frame, minimise and maximise boxes and system menu, the last alone; the layout.
        self.assertEqual((form["text"], form["style"] & 0xF0000), (CAPTION, 0x80000))
        self.assertEqual(*placed(form))
        self.assertEqual([(NAMES[c["id"]], c["text"]) for c in form["children"]], [
            ("Label1", "CH-A"), ("HScroll1", ""), ("Label2", "CH-B"), ("HScroll2", ""),
            ("Text1", "32"), ("Text2", "32"), ("Command1", "EXIT"), ("Label3", "COM1 Only"),
            ("Label4", "Brennow")], "the window order: screen readers name a slider by its caption")
        self.assertEqual([(c["pos"], c["range"]) for c in form["children"] if c["range"][1]],
                         [(50, [0, 255])] * 2)
        self.assertEqual(form["focus"], form["controls"]["HScroll1"]["hwnd"], "the focus at start")
        run.click("Command1")
        self.assertEnded(run, frames=[])

    def test_layout_at_the_screens_dpi(self):
        session, key = self.session(), [r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/f"]
        quiet = dict(stdout=subprocess.DEVNULL)
        self.assertEqual(session.popen(["reg", "add", *key, "/t", "REG_DWORD", "/d", "144"],
                                       **quiet).wait(30), 0)
        self.addCleanup(lambda: session.popen(["reg", "delete", *key], **quiet).wait(30))
        self.assertEqual(*placed(self.start(session).form, 1.5))


def thumb_drag(run):
    slider, display = run.form["controls"]["HScroll1"], run.session.display
    (left, _, right, _), arrow, thumb = slider["rect"], slider["arrow"], slider["thumb"]
    x, y = run.at("HScroll1", arrow + (right - left - 2 * arrow - thumb) * 50 // 255 + thumb // 2)
    display.xdotool("mousemove", x, y, "mousedown", 1)
    try:  # on to the right arrow: 255 (Windows puts the thumb back if the pointer strays far)
        for step in range(1, 9):
            display.xdotool("mousemove", x + (right - x) * step // 8, y)
        if run.session.com1.far_end.settle() != START:
            raise AssertionError(f"sent during the drag: {run.session.com1.far_end.frames()}")
    finally:
        display.xdotool("mouseup", 1)


# The Linux panel's gestures, but for Windows' own keys (Up and Page Up lower a scroll bar) and the
# drag: what the operator does, the frames it sends (a tuple: one of these), what the displays read
GESTURES = [(name, *dict({
    **{name: (keys(key), [("A", 50 + step)]) for name, key, step in [
        ("Up", "Up", -1), ("Down", "Down", 1), ("Page Up", "Prior", -1), ("Page Down", "Next", 1)]},
    "Home, then down stays at 0": (keys("Home", "Left", "Up", "Prior"), [("A", 0)]),
    "End, then up stays at FF": (keys("End", "Right", "Down", "Next"), [("A", 255)]),
    "thumb drag": (thumb_drag, [("A", 255)])}).get(name, row)) for name, *row in LINUX_GESTURES]


class Gestures(Scenario):
    def test_gestures(self):
        session = self.session()
        for name, gesture, expected, *displays in GESTURES:
            with self.subTest(name):  # one session for all
                session.com1.far_end.received.clear()
                run = self.start(session)
                gesture(run)
                sent = session.com1.far_end.settle()[2:]
                self.assertIn(sent, expected if isinstance(expected, tuple) else [expected])
                shown, last = run.window()["controls"], dict(START + sent)
                texts = displays[0] if displays else [f"{value:X}" for value in last.values()]
                self.assertEqual([shown[n]["text"] for n in ("Text1", "Text2")] +
                                 [shown[n]["pos"] for n in ("HScroll1", "HScroll2")],
                                 [*texts, *last.values()])
                run.keys("Escape")  # a menu left open would take the click
                run.click("Command1")
                self.assertEnded(run, frames=sent)


# how it ends; how COM1 is named: the arguments, the settings (then COM2, /dev/ttyS1, is the line)
ENDINGS = [
    ("EXIT by click", click("Command1"), ()),
    ("EXIT by Space; --com1 before the settings", keys("Tab", "Tab", "Tab", "Tab", "space"),
     ("--com1", "COM2"), [("HKLM", "COM7"), ("HKCU", "COM7")]),
    ("EXIT by Enter; --com1=com2", keys("Tab", "Tab", "Tab", "Tab", "Return"), ("--com1=com2",)),
    ("close box; the machine's setting", lambda run: run.session.display.xdotool(
        "mousemove", run.form["rect"][2] - 12, run.form["rect"][1] + 12, "click", 1), (),
     [("HKLM", "COM2")]),
    ("Alt+F4; the user's setting before the machine's", keys("alt+F4"), (),
     [("HKLM", "COM7"), ("HKCU", "com2")]),
    ("end of the session", lambda run: run.session.popen(["wineboot", "--end-session"]).wait(), ()),
]


class Endings(Scenario):
    def test_endings(self):
        for name, ending, args, *settings in ENDINGS:
            with self.row(name):
                line = dict(device="/dev/ttyS1", ports=[Port("ttyS0", "8250", 4)])
                session = self.session(**line if args or settings else {})
                for root, port in settings and settings[0]:
                    self.setting(session, root, port)
                run = self.start(session, *args)
                run.keys("Right")
                run.session.com1.far_end.wait_for(3)
                ending(run)
                self.assertEnded(run, frames=[("A", 51)])


# COM1 as it is, whether a program holds it in exclusive mode, the arguments, the fake modem's
# settings; how the message begins, its buttons, the key that answers it
REFUSALS = [
    ("COM1 missing, no port", dict(kind="missing"), False, (), (),
     "COM1: cannot open the port: no such port\n\nNo serial port is attached to this computer.",
     ["OK"], "Return"),
    ("--com1 COM3 missing", dict(ports=[Port("ttyS1", "8250", 4)]), False, ("--com1", "COM3"), (),
     "COM1 (COM3): cannot open the port: no such port\n\nThe serial ports of this computer:\n1. "
     "COM1\n2. COM2\n\nChoose the one the controller is on: it stays COM1 from now on.",
     ["Use &1: COM1", "Use &2: COM2", "OK"], "Return"),
    ("COM1 held exclusively", {}, True, (), (),
     "COM1: cannot open the port: in use by another program: ", ["OK"], "Return"),
    ("RTS cannot be raised", {}, False, (), ("LD_PRELOAD=",), "COM1: cannot raise RTS: ", ["OK"],
     "Return"),
    ("a setting that is no port", {}, False, (), (), "COM1: cannot open the port: the setting COM1 "
     'under HKEY_CURRENT_USER\\Software\\Tarvel\\potpanel\\ports is "COM01", which is not a COM '
     "port; set it to a COM port, such as COM3, or delete it to use COM1", ["OK"], "Return"),
]


class Refusals(Scenario):
    def test_refusals(self):
        for name, line, held, args, env, said, buttons, answer in REFUSALS:
            with self.row(name):
                session = self.session(**line)
                if "setting" in name:
                    self.setting(session, "HKCU", "COM01")
                if held:
                    holder = session.com1.popen(["sh", "-c", hold("excl")], text=True,
                                                stdin=subprocess.PIPE, stdout=subprocess.PIPE)
                    self.addCleanup(lambda: (end_process(holder), holder.communicate()))
                    holder.stdout.readline()
                watcher = self.watch()
                run = self.launch(session, *args, env=env)
                title, icon, [text], shown = run.message(answer)
                self.assertEqual((title, icon, text[:len(said)], shown),
                                 (CAPTION, 1, said, buttons))
                self.assertEqual(run.process.wait(30), 1)
                self.assertIn(said, run.output("err"))
                self.assertEqual(len(watcher.maps), 1, "a window beside the message")
                self.assertFalse({"write", "rts-up"} & set(run.events()), "the port used")
                if session.com1.far_end:
                    self.assertEqual(session.com1.far_end.settle(raw=True), b"")

    def test_command_line(self):
        # the arguments, whether started from Explorer; the status and how the answer begins
        session = self.session()
        for args, unattended, status, text in [
                (["--help"], False, 0, "out:Usage: potpanel [--com1 COMn]\n"),
                (["--version"], True, 0, "box:potpanel 1.0.0"),
                (["-platform", "xcb"], False, 2, 'err:potpanel: unknown option "-platform"\n\n')]:
            with self.subTest(args[0]):
                run = self.launch(session, *args, unattended=unattended)
                box = unattended and run.message()[2][0]
                self.assertEqual(run.process.wait(30), status)
                said = f"box:{box}" if unattended else f"{text[:3]}:{run.output(text[:3])}"
                self.assertEqual((said[:len(text)], run.events()), (text, []))

    def test_line_lost(self):
        for name, answers, status, frames in LOSSES:
            with self.row(name):
                session = self.session()
                com1, run, seen = session.com1, self.start(session), []
                run.keys("Right", "Right")
                com1.far_end.wait_for(4)
                com1.far_end.stop()
                os.close(com1.master)  # with the window at rest: only the watch can tell
                com1.master = None
                for step, said, answer in answers:
                    if step:
                        step(com1)
                    written = run.events().count("write")
                    title, icon, [text], buttons = run.message(answer, seen)
                    self.assertEqual((title, icon, text[:len(said)], buttons),
                                     (CAPTION, 1, said, ["&Reconnect", "OK"]))
                    self.assertIn(f"potpanel: {text.splitlines()[0]}\n", run.output("err"))
                if frames is None:
                    self.assertEqual(run.process.wait(30), status, run.output("err"))
                    self.assertEqual(run.events().count("write"), written, "sent after the loss")
                    continue
                com1.far_end.start()
                self.assertEqual(com1.far_end.wait_for(2), frames)
                shown = run.window()["controls"]
                self.assertEqual([shown[n]["text"] for n in ("Text1", "Text2")], ["34", "32"])
                run.keys("Right")
                self.assertEqual(com1.far_end.wait_for(3), frames + [("A", 53)])
                run.click("Command1")
                self.assertEnded(run, status)
                events = run.events()  # RTS up on the new line before its three frames
                rises = [at for at, event in enumerate(events) if event == "rts-up"]
                self.assertEqual((len(rises), events[rises[-1]:].count("write")), (2, 3))


GONE = ("COM1: the device is gone: it was unplugged, switched off or its far end closed\n\n"
        "Connect the device again and choose Reconnect, or choose OK to end the panel.")
# After COM1's far end closed with the window at rest (A at 52), at each message: the rig's step
# first (a Com1 method), how the message begins, the answer; the status, what a new line then
# takes (None: the program ends, nothing sent after the loss). The window takes no click meanwhile.
LOSSES = [
    ("OK", [(None, GONE, "Return")], 1, None),
    ("Escape", [(None, GONE, "Escape")], 1, None),
    ("a close request (taskkill)", [(None, GONE, lambda run: run.session.popen(
        ["taskkill", "/im", "potpanel.exe"], stdout=subprocess.DEVNULL).wait())], 1, None),
    ("Reconnect on the dead line, then on a new one", [
        (None, GONE, lambda run: (run.click("HScroll1", -5), run.keys("alt+r"))),
        (Com1.replace_line, "COM1: cannot connect again: ", "alt+r")], 0, [("A", 52), ("B", 50)]),
]


class Com1Choice(Scenario):
    def test_pick_when_com1_is_missing(self):
        session = self.session(ports=[Port("ttyS1", "8250", 4)])
        key = self.setting(session, "HKCU", None)
        run = self.launch(session, "--com1", "COM3")  # missing: COM1 is the line
        self.assertEqual(run.message("alt+1")[3], ["Use &1: COM1", "Use &2: COM2", "OK"])
        run.form = run.window()
        run.click("Command1")
        self.assertEnded(run, frames=[])
        saved = session.popen(["reg", "query", key], stdout=subprocess.PIPE, text=True).stdout
        self.assertEqual(saved.read().split()[-3:], ["COM1", "REG_SZ", "COM1"])


BURST = bytes(n % 251 for n in range(80000))
# the line's settings, the steps after the open, the fake modem's settings, whether the far end
# reads; how each step's outcome begins, what reaches the line (None: not looked at)
PORT_STEPS = [
    ("9600,N,8,1", ["rts", "write:80000", "close"], (), True, ["ok"] * 4, BURST),
    ("4800,E,7,2", ["write:5", "close"], (), True, ["ok"] * 3, BURST[:5]),
    ("9600,N,8,1", ["write:80000"], (), False,
     ["ok", "failed: the line did not take everything within 10 seconds; "], None),
    ("9600,N,8,1", ["write:5", "close"], ("FAKE_MODEM_STUCK=480",), True,
     ["ok", "ok", "failed: the line did not drain in time; 480 bytes were not sent"], BURST[:5]),
    ("9600,N,8,1", ["write:5", "close"], ("FAKE_MODEM_SLOW=3",), True, ["ok"] * 3, BURST[:5]),
]


class SerialPort(Scenario):
    def test_steps(self):
        for settings, steps, env, read, said, line in PORT_STEPS:
            with self.row(f"{settings} {steps} {env}"):
                session = self.session(read=read)
                run = self.launch(session, "COM1", settings, *steps, program="port_exercise.exe",
                                  env=env)
                run.process.wait(60)
                printed = run.output("out").splitlines()
                self.assertEqual(len(printed), len(said), printed)
                for text, step, begins in zip(printed, ["open", *steps], said):
                    self.assertTrue(text.startswith(f"{step}: {begins}"), printed)
                if line is not None:
                    self.assertEqual(session.com1.far_end.settle(raw=True), line)
                self.assertLineSet(run, termios.CS7 | termios.PARENB | termios.CSTOPB
                                   if "E" in settings else termios.CS8)
                self.assertEqual(termios.tcgetattr(session.com1.master)[4],
                                 getattr(termios, "B" + settings.split(",")[0]))


DOWNLOAD, UNINSTALL = "potpanel-1.0.0-win64", (
    r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\potpanel")


class Downloads(Scenario):
    def test_zip_and_installer(self):
        with zipfile.ZipFile(f"{BUILD}/{DOWNLOAD}.zip") as download:
            self.assertEqual(sorted(download.namelist()), [
                f"{DOWNLOAD}/{name}" for name in ("README.txt", "copyright.txt", "potpanel.exe")])
        session = self.session()

        def reg(*args):  # what it printed, and its status
            process = session.popen(["reg", *args], stdout=subprocess.PIPE, text=True)
            return process.communicate()[0], process.returncode
        setting = r"HKCU\Software\Tarvel\potpanel\ports", "/v", "COM1"
        reg("add", *setting, "/d", "COM1", "/f")  # the operator's, which uninstalling keeps
        self.addCleanup(reg, "delete", r"HKCU\Software\Tarvel", "/f")
        self.assertEqual(self.launch(session, "/S", program=f"{DOWNLOAD}.exe").process.wait(60), 0)
        installed, = glob.glob(f"{PREFIX}/drive_c/users/*/AppData/Local/Programs/potpanel")
        shortcut = os.path.normpath(
            f"{installed}/../../../Roaming/Microsoft/Windows/Start Menu/Programs/potpanel.lnk")
        self.assertEqual(sorted(os.listdir(installed)),
                         ["README.txt", "Uninstall.exe", "copyright.txt", "potpanel.exe"])
        run = self.start(session, "/wait", "/unix", shortcut, program="start")  # as the Start menu
        run.click("Command1")
        self.assertEnded(run, frames=[])

        # As Settings' Apps list does; the uninstaller runs on from a copy of itself.
        _, uninstaller, flag = reg("query", UNINSTALL, "/v", "QuietUninstallString")[0].split('"')
        session.popen([uninstaller, flag.strip()]).wait(30)
        wait_until(lambda: not os.path.exists(installed), 30, "the folder gone")
        self.assertFalse(os.path.exists(shortcut))
        self.assertEqual((reg("query", UNINSTALL)[1], reg("query", *setting)[0].split()[-3:]),
                         (1, ["COM1", "REG_SZ", "COM1"]))


if __name__ == "__main__":
    BUILD, FAKE_MODEM, PREFIX = sys.argv[1:4]
    unittest.main(argv=sys.argv[:1] + sys.argv[4:], verbosity=2)
