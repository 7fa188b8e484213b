"""What the acceptance suite and the benchmarks share: a private X display, a
virtual COM1 in a private mount namespace, the far end of its line, and where
the window's controls lie, read from the table the window is built from."""

import ast, collections, contextlib, ctypes, errno, fcntl, os, pathlib, re, select, shutil, struct
import subprocess, tempfile, threading, time, tty

DEVICE = "/dev/ttyS0"
_HEADER = os.path.join(os.path.dirname(__file__), "..", "..", "core", "form1.h")
_FRAME = re.compile(rb"\x02D([01])([0-9A-F]{2})")
X11 = ctypes.CDLL("libX11.so.6")
_P, _W, _I = ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int
for _name, _result, *_arguments in (
        ("XOpenDisplay", _P, ctypes.c_char_p), ("XDefaultRootWindow", _W, _P), ("XPending", _I, _P),
        ("XInternAtom", _W, _P, ctypes.c_char_p, _I), ("XSelectInput", _I, _P, _W, ctypes.c_long),
        ("XNextEvent", _I, _P, ctypes.c_char_p), ("XConnectionNumber", _I, _P),
        ("XSync", _I, _P, _I), ("XCloseDisplay", _I, _P),
        ("XSendEvent", _I, _P, _W, _I, ctypes.c_long, ctypes.c_char_p)):
    getattr(X11, _name).restype, getattr(X11, _name).argtypes = _result, _arguments


def controls():
    """Each control's (left, top, width, height) in pixels, 15 twips each, by name."""
    entries = re.findall(r'\{\s*"(\w+)",\s*ControlKind::\w+,\s*\{([\d\s,]+)\}',
                         pathlib.Path(_HEADER).read_text())
    return {name: tuple(round(int(twips) / 15) for twips in rect.split(","))
            for name, rect in entries}


def wait_until(condition, timeout=10, what="it"):
    deadline = time.monotonic() + timeout
    while not (result := condition()) and time.monotonic() < deadline:
        time.sleep(0.02)
    if not result:
        raise AssertionError(f"waited {timeout} s in vain for {what}")
    return result


def end_process(process, timeout=5):
    process.terminate()  # nothing if it has been waited for already
    try:
        return process.wait(timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        return process.wait()


class Display:
    """An Xvfb server on the first free display number."""

    def __init__(self):
        # -ac lets a program run as another user in; -noreset keeps the server from
        # resetting, and refusing clients a moment, whenever its last client leaves.
        self.server = subprocess.Popen(
            ["Xvfb", "-displayfd", "1", "-noreset", "-ac", "-nolisten", "tcp", "-screen", "0",
             "1024x768x24"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        # The number comes in two writes, the newline last (the pipe stays open, lest the
        # second fail and the server exit), a moment before clients are let in.
        number = self.server.stdout.readline().strip().decode()
        self.name, self.env = f":{number}", dict(os.environ, DISPLAY=f":{number}")
        try:
            X11.XCloseDisplay(wait_until(lambda: number and self.server.poll() is None
                                         and X11.XOpenDisplay(self.name.encode()), 20, "Xvfb"))
        except AssertionError:
            self.close()
            raise

    def close(self):
        end_process(self.server)
        self.server.stdout.close()

    def run(self, *argv, check=False):
        # A dead server's number may serve another session by now: send it nothing.
        if self.server.poll() is not None:
            raise RuntimeError(f"the X server {self.name} has ended")
        return subprocess.run([*map(str, argv)], env=self.env, capture_output=True, text=True,
                              timeout=60, check=check)

    def xdotool(self, *arguments):
        return self.run("xdotool", *arguments, check=True).stdout

    def wait_window(self, title, pid, timeout=15, excluding=()):
        """A mapped window of process pid with this title."""
        search = "xdotool", "search", "--all", "--onlyvisible", "--pid", pid, "--name", f"^{title}$"
        return wait_until(lambda: [w for w in map(int, self.run(*search).stdout.split())
                                   if w not in excluding], timeout, f"a window of {pid}")[0]

    def selection(self, gesture, name="clipboard"):
        """The text that gesture() puts on a selection. A marker owns it first, so
        that an unchanged selection is told apart from a copy of the same text."""
        marker, paste = f"marker {time.monotonic_ns()}", ("xclip", "-o", "-selection", name)
        subprocess.run(["xclip", "-i", "-selection", name], input=marker, text=True, env=self.env,
                       stdout=subprocess.DEVNULL, check=True, timeout=10)
        wait_until(lambda: self.run(*paste).stdout == marker, what="the marker")
        gesture()

        def copied():
            return [r.stdout for r in [self.run(*paste)] if not r.returncode and r.stdout != marker]
        return wait_until(copied, what=f"a copy to the {name} selection")[0]

    def close_request(self, window):
        """The close box: WM_DELETE_WINDOW, as a window manager sends it."""
        send_protocol(handle := X11.XOpenDisplay(self.name.encode()), window, b"WM_DELETE_WINDOW")
        X11.XSync(handle, 0)
        X11.XCloseDisplay(handle)


def send_protocol(handle, window, name, *data):
    """A WM_PROTOCOLS message to window, as a window manager sends one."""
    event, atom = bytearray(192), lambda text: X11.XInternAtom(handle, text, 0)
    struct.pack_into("iQiQQQi", event, 0, 33, 0, 1, 0, window, atom(b"WM_PROTOCOLS"), 32)
    struct.pack_into(f"{1 + len(data)}q", event, 56, atom(name), *data)
    X11.XSendEvent(handle, window, 0, 0, bytes(event))


class MapWatcher(threading.Thread):
    """Records each window mapped on the display with what on_map(window) returns
    at that moment; start() it, and stop() it before the server ends."""

    def __init__(self, display, on_map=lambda window: None):
        super().__init__(daemon=True)
        self.handle, self.on_map, self.maps = X11.XOpenDisplay(display.name.encode()), on_map, []
        # Substructure for windows mapped; structure for messages sent to the root.
        X11.XSelectInput(self.handle, X11.XDefaultRootWindow(self.handle), 1 << 19 | 1 << 17)
        X11.XSync(self.handle, 0)
        self.stopping = threading.Event()

    def run(self):
        event = ctypes.create_string_buffer(192)
        while not self.stopping.is_set():
            while X11.XPending(self.handle):
                X11.XNextEvent(self.handle, event)
                self.seen(struct.unpack_from("i", event.raw)[0], event.raw)
            select.select([X11.XConnectionNumber(self.handle)], [], [], 0.05)

    def seen(self, kind, event):
        if kind == 19:  # MapNotify
            window = struct.unpack_from("Q", event, 40)[0]
            self.maps.append((window, self.on_map(window)))

    def stop(self):
        self.stopping.set()
        self.join()
        X11.XCloseDisplay(self.handle)


class FarEnd(threading.Thread):
    """The controller's end of the line: reads the pseudo-terminal master once started."""

    def __init__(self, master):
        super().__init__(daemon=True)
        self.master, self.received = master, bytearray()
        self.changed, self.stopping = threading.Condition(), threading.Event()

    def take(self, size=4096):
        """Reads what the line holds, up to size bytes; False once it is gone."""
        if select.select([self.master], [], [], 0.05)[0]:
            try:
                data = os.read(self.master, size)
            except OSError as error:
                time.sleep(0.01)
                return error.errno == errno.EIO  # nobody has the line open just now
            with self.changed:
                self.received += data
                self.changed.notify_all()
        return True

    def run(self):
        while not self.stopping.is_set() and self.take():
            pass

    def waiting(self):
        """Bytes written to the line so far, before the far end is started: taken now, since only a
        read makes the kernel hand on what a busy machine still holds in the terminal's buffer."""
        flags = fcntl.fcntl(self.master, fcntl.F_GETFL)
        fcntl.fcntl(self.master, fcntl.F_SETFL, flags | os.O_NONBLOCK)
        with contextlib.suppress(BlockingIOError), self.changed:
            while data := os.read(self.master, 4096):
                self.received += data
        fcntl.fcntl(self.master, fcntl.F_SETFL, flags)
        return len(self.received)

    def frames(self, whole=False):
        """(channel, value) of each frame; raises on anything else on the line."""
        data = bytes(self.received)
        found = [_FRAME.fullmatch(data[i:i + 5])
                 for i in range(0, len(data) - (0 if whole else 4), 5)]
        if not all(found):
            raise AssertionError(f"not a sequence of frames: {data.hex(' ')}")
        return [("AB"[int(match[1])], int(match[2], 16)) for match in found]

    def wait_for(self, count, timeout=10):
        """The frames so far, once there are count or the timeout has passed."""
        with self.changed:
            self.changed.wait_for(lambda: len(self.received) >= 5 * count, timeout)
        return self.frames()

    def settle(self, quiet=0.3, timeout=30, raw=False):
        """Every frame (every byte if raw), once the line has been quiet for `quiet` seconds."""
        deadline = time.monotonic() + timeout
        with self.changed:
            while self.changed.wait(quiet) and time.monotonic() < deadline:
                pass
        return bytes(self.received) if raw else self.frames(whole=True)

    def stop(self):
        self.stopping.set()
        if self.is_alive():
            self.join()


# What a desktop program needs of /dev; the private /dev holds these and the lines.
_DEV_NODES = "null", "zero", "full", "random", "urandom", "tty", "ptmx"
_DEV_DIRS = "pts", "shm"
_DEV_LINKS = ("fd", "/proc/self/fd"), *((name, f"/proc/self/fd/{fd}") for fd, name in
                                        enumerate(("stdin", "stdout", "stderr")))
# Run inside the namespace before the program, which starts only where the namespace is the rig's,
# /dev holds only what the rig put there, the consoles are neutral and every device is the rig's.
_CHECK = """
fail() { echo "the virtual COM1 is not safe to use: $*; nothing started" >&2; exit 125; }
[ "$(readlink /proc/self/ns/mnt)" = "$1" ] || fail "not in its private mount namespace"
[ "$(ls -A /dev | sort | tr '\\n' ' ')" = "$2" ] || fail "/dev holds what the rig did not put there"
[ "$(cat /proc/consoles)" = "$3" ] || fail "/proc/consoles is the machine's own"
[ "$(cat /sys/class/tty/console/active)" = "$4" ] || fail "the active console is the machine's own"
shift 4
while [ "$1" != -- ]; do
    [ "$(stat -L -c %t:%T -- "$1")" = "$2" ] || fail "$1 is not the device the rig made"
    shift 2
done
shift
exec "$@"
"""
# Real root makes the namespace as it is; anyone else makes it inside a user
# namespace of their own, where they are root over nothing but its mounts.
REAL_ROOT = os.geteuid() == 0


class Port(collections.namedtuple("Port", "name parent uart udev node",
                                  defaults=("usb", None, {}, True))):
    """A serial port of the machine as udev and sysfs show it: parent "usb" (an adapter), "8250"
    (with the sysfs UART type uart) or None (a virtual terminal); udev's properties, DEVLINKS among
    them; node: whether /dev/NAME is there, a pseudo-terminal of its own unless it is COM1's."""


def _pty():
    """A pseudo-terminal's master and its slave's (name, device number); the slave, closed (who
    keeps it open holds the port), in a serial line's group (group tty marks a login's terminal)."""
    master, slave = os.openpty()
    os.fchown(slave, -1, os.getgid())
    os.fchmod(slave, 0o660)
    line = os.ttyname(slave), os.fstat(slave).st_rdev
    os.close(slave)
    return master, line


class Com1:
    """COM1 in a private mount namespace with a private /dev and lock directories: a
    pseudo-terminal at device read by far_end (kind "pty"), /dev/null ("null") or nothing
    ("missing"). The kernel console is COM1 if console is True, or the port it names, else a
    neutral tty0. ports: the machine's serial ports (Port) in a private /sys/class/tty and udev
    database. owner: "user:group mode" of the device; setup: shell commands run in the namespace
    last, {work} a directory of this COM1's own. In a user namespace even root cannot open a port
    another program holds in exclusive mode."""

    def __init__(self, kind="pty", console=False, locks="mode=1777", far_end=FarEnd,
                 device=DEVICE, ports=(), owner=None, setup=(), user_namespace=not REAL_ROOT):
        self.work = tempfile.mkdtemp(prefix="potpanel-com1-")
        self.user_namespace, self.device, self._far_end = user_namespace, device, far_end
        os.chmod(self.work, 0o777)  # a program run as nobody logs here
        self.master = self.far_end = None
        self.ports, self.environment, self.devices = {}, [], []  # devices: (path, number)
        com1, host, lines = os.path.basename(device), f"{self.work}/dev", {}  # name: (tty, number)
        if kind == "pty":
            self.master, lines[com1] = _pty()
            tty.setraw(self.master)
            self.far_end, self.terminal = far_end(self.master), lines[com1][0]
        elif kind == "null":
            lines[com1] = "/dev/null", os.stat("/dev/null").st_rdev
        if ports:  # libudev takes nothing but sysfs for sysfs unless told otherwise
            self.environment = ["SYSTEMD_DEVICE_VERIFY_SYSFS=0"]
        steps = [self._sysfs(ports, lines)] if ports else []
        steps += [f"mount -t tmpfs -o {locks} tmpfs /run/lock", f"{{ [ -L /var/lock ] || "
                  f"[ ! -d /var/lock ] || mount -t tmpfs -o {locks} tmpfs /var/lock; }}",
                  f"mkdir {host} && mount --rbind /dev {host}",
                  "mount -t tmpfs -o mode=0755 tmpfs /dev",
                  *[f"touch /dev/{node} && mount --bind {host}/{node} /dev/{node}"
                    for node in _DEV_NODES],
                  *[f"mkdir /dev/{name} && mount --rbind {host}/{name} /dev/{name}"
                    for name in _DEV_DIRS],
                  *[f"ln -s {target} /dev/{name}" for name, target in _DEV_LINKS]]
        paths, consoles = [], ("tty0", "-WU (EC p  )", "4:0")
        for name, (terminal, number) in lines.items():
            paths.append(device if name == com1 else f"/dev/{name}")
            steps.append(f"mkdir -p {os.path.dirname(paths[-1])} && touch {paths[-1]} && "
                         f"mount --bind {terminal.replace('/dev', host, 1)} {paths[-1]}")
            self.devices.append((paths[-1], number))
            if (console is True and name == com1) or console == name:
                consoles = name, "-W- (EC p a)", f"{os.major(number)}:{os.minor(number)}"
        if owner:  # "user:group mode"; a user namespace cannot make it so
            steps.append("chown {1} {0} && chmod {2} {0}".format(device, *owner.split()))
        for port in ports:
            for link in port.udev.get("DEVLINKS", "").split():
                steps.append(f"mkdir -p {os.path.dirname(link)} && ln -s /dev/{port.name} {link}")
                paths.append(link)
        self.consoles = "{:21s}{}    {}".format(*consoles), consoles[0]
        for path, text in zip(("/proc/consoles", "/sys/class/tty/console/active"), self.consoles):
            pathlib.Path(f"{self.work}/{os.path.basename(path)}").write_text(text + "\n")
            steps.append(f"mount --bind {self.work}/{os.path.basename(path)} {path}")
        steps += [command.format(work=self.work) for command in setup]
        entries = {*_DEV_NODES, *_DEV_DIRS, *(name for name, _ in _DEV_LINKS),
                   *(path.split("/")[2] for path in paths)}
        self._names = entries
        self.entries = " ".join(sorted(entries)) + " "
        namespace = ["--user", "--map-root-user"] * user_namespace + ["--mount"]
        # The namespace lives as long as this shell, which waits on its input.
        self.holder = subprocess.Popen(
            ["unshare", *namespace, "--propagation", "private", "sh", "-c",
             " && ".join(steps) + " && echo ready && exec cat"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if self.holder.stdout.readline() != b"ready\n":
            self.holder.stdin.close()
            reason = self.holder.stderr.read().decode(errors="replace").strip()
            self.close()
            raise RuntimeError(f"cannot set up COM1 as {kind} in a private namespace: {reason}")
        self.namespace = os.readlink(f"/proc/{self.holder.pid}/ns/mnt")

    def _sysfs(self, ports, lines):
        """Lays out /sys/class/tty, its devices (as /sys/devices/virtual/tty) and udev's database
        for ports, each with a pseudo-terminal unless in lines: the commands to bind them in."""
        tree = {name: f"{self.work}/sys/{name}" for name in ("class", "devices", "udev")}
        os.makedirs(f"{tree['udev']}/data")
        os.makedirs(tree["class"])
        homes = {"usb": "pci0000:00/usb1/1-2/1-2:1.0/{}/tty", "8250": "serial8250/tty", None: ""}
        for index, port in enumerate([*ports, Port("console", None, node=False)]):
            if port.node and port.name not in lines:
                self.ports[port.name], lines[port.name] = _pty()
            number = lines[port.name][1] if port.node else os.makedev(188, 100 + index)
            home = os.path.join(homes[port.parent].format(port.name), port.name)
            path = os.path.join(tree["devices"], home)
            os.makedirs(path)
            files = {"uevent": f"MAJOR={os.major(number)}\nMINOR={os.minor(number)}\n"
                               f"DEVNAME={port.name}\n", "../../uevent": port.parent and "",
                     "type": None if port.uart is None else f"{port.uart}\n",
                     "active": "" if port.name == "console" else None}
            for name, text in files.items():
                if text is not None:
                    pathlib.Path(path, name).write_text(text)
            os.symlink("/sys/class/tty", f"{path}/subsystem")
            os.symlink(f"/sys/devices/virtual/tty/{home}", f"{tree['class']}/{port.name}")
            pathlib.Path(f"{tree['udev']}/data/c{os.major(number)}:{os.minor(number)}").write_text(
                "".join("".join(f"S:{link[5:]}\n" for link in value.split()) if key == "DEVLINKS"
                        else f"E:{key}={value}\n" for key, value in port.udev.items()))
        return (f"mount -t tmpfs tmpfs /run && mkdir /run/lock /run/udev"
                f" && mount --bind {tree['udev']} /run/udev"
                f" && mount --bind {tree['devices']} /sys/devices/virtual/tty"
                f" && mount --bind {tree['class']} /sys/class/tty")

    def popen(self, argv, **options):
        """A process inside the namespace, with the PID of argv[0], started only once
        the namespace has been checked from inside."""
        enter = ["-m", "-r", "-w", *(["-U", "--preserve-credentials"] * self.user_namespace)]
        devices = [word for path, number in self.devices
                   for word in (path, f"{os.major(number):x}:{os.minor(number):x}")]
        return subprocess.Popen(["nsenter", "-t", str(self.holder.pid), *enter, "--", "sh", "-c",
                                 _CHECK, "check", self.namespace, self.entries, *self.consoles,
                                 *devices, "--", *argv], **options)

    def remove_line(self):
        """The device taken away, its line closed at the far end, as when an adapter is pulled."""
        if self.far_end:
            self.far_end.stop()
        if self.master is not None:
            os.close(self.master)
        self.master = self.far_end = self.terminal = None
        self._inside(f"umount -l {self.device} && rm {self.device}")
        self.devices = [(path, number) for path, number in self.devices if path != self.device]
        self._names.discard(self.device.split("/")[2])
        self.entries = " ".join(sorted(self._names)) + " "

    def replace_line(self):
        """A new pseudo-terminal at the device, as when an adapter is plugged in again: master,
        far_end (not yet started) and terminal are the new line's."""
        if self.device in (path for path, _ in self.devices):
            self.remove_line()
        self.master, (self.terminal, number) = _pty()
        tty.setraw(self.master)
        self.far_end = self._far_end(self.master)
        self._inside(f"touch {self.device} && mount --bind "
                     f"{self.terminal.replace('/dev', f'{self.work}/dev', 1)} {self.device}")
        self.devices.append((self.device, number))
        self._names.add(self.device.split("/")[2])
        self.entries = " ".join(sorted(self._names)) + " "

    def _inside(self, command):
        """A shell command run in the namespace, never outside it: the holder's PID may be
        another process's by now, so the namespace is checked from inside first."""
        enter = ["-m", "-r", "-w", *(["-U", "--preserve-credentials"] * self.user_namespace)]
        check = '[ "$(readlink /proc/self/ns/mnt)" = "$0" ] || exit 125; '
        subprocess.run(["nsenter", "-t", str(self.holder.pid), *enter, "--", "sh", "-c",
                        check + command, self.namespace], check=True, timeout=30)

    def path(self, path):
        """Where a path inside the namespace is seen from outside."""
        return f"/proc/{self.holder.pid}/root{path}"

    def close(self):
        if self.far_end:
            self.far_end.stop()
        self.holder.stdin.close()
        end_process(self.holder)
        self.holder.stdout.close()
        self.holder.stderr.close()
        for fd in (self.master, *self.ports.values()):
            if fd is not None:
                os.close(fd)
        shutil.rmtree(self.work, ignore_errors=True)


WINE, WINESERVER = "/usr/lib/wine/wine64", "/usr/lib/wine/wineserver"


class Wine:
    """A Wine session in a COM1's namespace, on a prefix made once per folder and user: it maps the
    ports of the private /dev alone (/dev/ttyS0 is COM1), has a server of its own (its socket
    under TMPDIR) and ends with close(); dump() asks the probe what its windows show."""

    def __init__(self, com1, prefix, probe, display):
        self.com1, self.prefix, self.display = com1, prefix, display
        if not os.path.exists(f"{prefix}/.made"):
            self._make()
        # The first program starts the session: its server and services inherit its error stream.
        self.probe = self.popen([probe], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                                stderr=subprocess.DEVNULL)

    def _env(self, com1):
        # No prompts for Wine's .NET and browser, no menu entries on the user's desktop.
        return ["env", f"WINEPREFIX={self.prefix}", "WINEDEBUG=-all", f"TMPDIR={com1.work}",
                f"WINELOADER={WINE}", "WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe="]

    def _make(self):
        """The prefix, made in a COM1 with no port and without a display, so that nothing asks."""
        shutil.rmtree(self.prefix, ignore_errors=True)
        com1, unshown = Com1(kind="missing", user_namespace=True), dict(self.display.env)
        unshown.pop("DISPLAY")
        # Unmanaged windows: without a window manager Wine would wait 2 s at each hide.
        make = (f"{WINE} wineboot -i && {WINESERVER} -w && {WINE} reg add 'HKCU\\Software\\Wine\\"
                f"X11 Driver' /v Managed /d N /f && {WINESERVER} -w")
        try:
            if com1.popen([*self._env(com1), "sh", "-c", make], env=unshown,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).wait(300):
                raise RuntimeError(f"cannot make the Wine prefix {self.prefix}")
            pathlib.Path(f"{self.prefix}/.made").touch()
        finally:
            com1.close()

    def popen(self, argv, env=(), server=False, **options):
        """A Windows program of the session with env ("NAME=value"), or a wineserver command."""
        return self.com1.popen([*self._env(self.com1), *env, *([] if server else [WINE]), *argv],
                               env=self.display.env, **options)

    def dump(self):
        """Every visible window of the session's programs, its controls under "children"."""
        self.probe.stdin.write("\n")
        self.probe.stdin.flush()
        windows = []
        while (line := self.probe.stdout.readline()) != "end\n":
            item = ast.literal_eval(line)
            item.update(text="".join(map(chr, item["text"])), children=[])
            (windows if item.pop("kind") == "window" else windows[-1]["children"]).append(item)
        return windows

    def close(self):  # every program of the session, the probe too
        for argv in ([WINESERVER, "-k"], [WINESERVER, "-w"]):
            self.popen(argv, server=True).wait(30)
        self.probe.communicate()
