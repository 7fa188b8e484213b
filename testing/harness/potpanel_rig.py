"""What the acceptance suite and the benchmarks share: a private X display, a
virtual COM1 in a private mount namespace, the far end of its line, and where
the window's controls lie, read from the table the window is built from."""

import array, ctypes, errno, fcntl, os, re, select, shutil, struct, subprocess, tempfile, termios, threading, time, tty

DEVICE = "/dev/ttyS0"
_HEADER = os.path.join(os.path.dirname(__file__), "..", "..", "panel", "form1_controls.h")
_FRAME = re.compile(rb"\x02D([01])([0-9A-F]{2})")
_x11 = ctypes.CDLL("libX11.so.6")
_P, _W, _I = ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int
for _name, _result, _arguments in (
        ("XOpenDisplay", _P, [ctypes.c_char_p]), ("XDefaultRootWindow", _W, [_P]),
        ("XInternAtom", _W, [_P, ctypes.c_char_p, _I]), ("XSelectInput", _I, [_P, _W, ctypes.c_long]),
        ("XPending", _I, [_P]), ("XNextEvent", _I, [_P, ctypes.c_char_p]),
        ("XConnectionNumber", _I, [_P]), ("XSync", _I, [_P, _I]), ("XCloseDisplay", _I, [_P]),
        ("XSendEvent", _I, [_P, _W, _I, ctypes.c_long, ctypes.c_char_p]), ("XFlush", _I, [_P]),
        ("XStringToKeysym", _W, [ctypes.c_char_p]), ("XKeysymToKeycode", ctypes.c_ubyte, [_P, _W])):
    getattr(_x11, _name).restype, getattr(_x11, _name).argtypes = _result, _arguments
_xtst = ctypes.CDLL("libXtst.so.6")
_xtst.XTestFakeKeyEvent.argtypes = _xtst.XTestFakeButtonEvent.argtypes = [_P, ctypes.c_uint, _I, _W]


def controls():
    """Each control's (left, top, width, height) in pixels, 15 twips each, by name."""
    with open(_HEADER) as header:
        entries = re.findall(r'\{\s*"(\w+)",\s*ControlKind::\w+,\s*\{([\d\s,]+)\}', header.read())
    return {name: tuple(round(int(twips) / 15) for twips in rect.split(",")) for name, rect in entries}


def wait_until(condition, timeout=10, what="it"):
    deadline = time.monotonic() + timeout
    while not (result := condition()):
        if time.monotonic() > deadline:
            raise AssertionError(f"waited {timeout} s in vain for {what}")
        time.sleep(0.02)
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
        read_end, write_end = os.pipe()
        # -ac lets a program run as another user in; -noreset keeps the server from
        # resetting, and refusing clients a moment, whenever its last client leaves.
        self.server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-noreset", "-ac", "-nolisten", "tcp",
             "-screen", "0", "1024x768x24"], pass_fds=[write_end],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        # The number and its newline come in two writes; closing the pipe between
        # them would make the second fail and the server exit.
        number, deadline = b"", time.monotonic() + 20
        while not number.endswith(b"\n") and self.server.poll() is None and time.monotonic() < deadline:
            if select.select([read_end], [], [], 0.1)[0]:
                number += os.read(read_end, 32) or b"?"
        os.close(read_end)
        self.name = ":" + number.decode().strip()
        self.env = dict(os.environ, DISPLAY=self.name)
        # The number may be announced a moment before clients are let in.
        while number.endswith(b"\n") and self.server.poll() is None and time.monotonic() < deadline:
            if handle := _x11.XOpenDisplay(self.name.encode()):
                _x11.XCloseDisplay(handle)
                return
            time.sleep(0.05)
        self.close()
        raise RuntimeError("Xvfb did not start")

    def close(self):
        end_process(self.server)

    def run(self, *argv, check=False):
        # A dead server's number may serve another session by now: send it nothing.
        if not self.server.poll() is None:
            raise RuntimeError(f"the X server {self.name} has ended")
        return subprocess.run([*map(str, argv)], env=self.env, capture_output=True, text=True,
                              timeout=60, check=check)

    def xdotool(self, *arguments):
        return self.run("xdotool", *arguments, check=True).stdout

    def wait_window(self, title, pid, timeout=15, excluding=()):
        """A mapped window of process pid with this title."""
        search = ("xdotool", "search", "--all", "--onlyvisible", "--pid", pid, "--name", f"^{title}$")
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
        copied = lambda: [r.stdout for r in [self.run(*paste)] if not r.returncode and r.stdout != marker]
        return wait_until(copied, what=f"a copy to the {name} selection")[0]

    def close_request(self, window):
        """The close box: WM_DELETE_WINDOW, as a window manager sends it."""
        handle = _x11.XOpenDisplay(self.name.encode())
        _send_protocol(handle, window, b"WM_DELETE_WINDOW")
        _x11.XSync(handle, 0)
        _x11.XCloseDisplay(handle)


def _send_protocol(handle, window, name, *data):
    """A WM_PROTOCOLS message to window, as a window manager sends one."""
    event, atom = bytearray(192), lambda text: _x11.XInternAtom(handle, text, 0)
    struct.pack_into("iQiQQQi", event, 0, 33, 0, 1, 0, window, atom(b"WM_PROTOCOLS"), 32)
    struct.pack_into(f"{1 + len(data)}q", event, 56, atom(name), *data)
    _x11.XSendEvent(handle, window, 0, 0, bytes(event))


class Input:
    """Real input through XTest on a connection of its own, for more events a second
    than a process per event allows; use it from one thread and close() it."""

    def __init__(self, display):
        self.handle = _x11.XOpenDisplay(display.name.encode())

    def key(self, name, down):
        code = _x11.XKeysymToKeycode(self.handle, _x11.XStringToKeysym(name.encode()))
        _xtst.XTestFakeKeyEvent(self.handle, code, down, 0)
        _x11.XFlush(self.handle)

    def button(self, number, down):
        _xtst.XTestFakeButtonEvent(self.handle, number, down, 0)
        _x11.XFlush(self.handle)

    def ping(self, window, serial):
        """A _NET_WM_PING: the window's event loop answers it, seen by a MapWatcher."""
        _send_protocol(self.handle, window, b"_NET_WM_PING", serial, window)
        _x11.XFlush(self.handle)

    def close(self):
        _x11.XCloseDisplay(self.handle)


class MapWatcher(threading.Thread):
    """Records each window mapped on the display with what on_map(window) returns
    at that moment, and when each ping (by its serial) was answered; stop() it
    before the server ends."""

    def __init__(self, display, on_map=lambda window: None):
        super().__init__(daemon=True)
        self.handle, self.on_map, self.maps = _x11.XOpenDisplay(display.name.encode()), on_map, []
        self.pings, self.ping = {}, _x11.XInternAtom(self.handle, b"_NET_WM_PING", 0)
        # Substructure for windows mapped; structure for answers to pings, sent to the root.
        _x11.XSelectInput(self.handle, _x11.XDefaultRootWindow(self.handle), 1 << 19 | 1 << 17)
        _x11.XSync(self.handle, 0)
        self.stopping = threading.Event()
        self.start()

    def run(self):
        event = ctypes.create_string_buffer(192)
        while not self.stopping.is_set():
            while _x11.XPending(self.handle):
                _x11.XNextEvent(self.handle, event)
                kind = struct.unpack_from("i", event.raw)[0]
                if kind == 19:  # MapNotify
                    window = struct.unpack_from("Q", event.raw, 40)[0]
                    self.maps.append((window, self.on_map(window)))
                elif kind == 33 and struct.unpack_from("q", event.raw, 56)[0] == self.ping:
                    self.pings[struct.unpack_from("q", event.raw, 64)[0]] = time.monotonic_ns()
            select.select([_x11.XConnectionNumber(self.handle)], [], [], 0.05)

    def stop(self):
        self.stopping.set()
        self.join()
        _x11.XCloseDisplay(self.handle)


class FarEnd(threading.Thread):
    """The controller's end of the line: reads the pseudo-terminal master once
    started, keeping each byte and when it came."""

    def __init__(self, master):
        super().__init__(daemon=True)
        self.master, self.received, self.arrivals = master, bytearray(), []  # (ns, bytes so far)
        self.changed, self.stopping = threading.Condition(), threading.Event()

    def take(self, size=4096):
        """Reads what the line holds, up to size bytes; False once it is gone."""
        if select.select([self.master], [], [], 0.05)[0]:
            try:
                data = os.read(self.master, size)
            except OSError as error:
                if error.errno != errno.EIO:
                    return False
                time.sleep(0.01)  # nobody has the line open just now
                return True
            with self.changed:
                self.received += data
                self.arrivals.append((time.monotonic_ns(), len(self.received)))
                self.changed.notify_all()
        return True

    def run(self):
        while not self.stopping.is_set() and self.take():
            pass

    def waiting(self):
        """Bytes the terminal holds that have not been read."""
        count = array.array("i", [0])
        fcntl.ioctl(self.master, termios.FIONREAD, count)
        return count[0]

    def frames(self, whole=False):
        """(channel, value) of each frame; raises on anything else on the line."""
        data = bytes(self.received)
        found = [_FRAME.fullmatch(data[i:i + 5]) for i in range(0, len(data) - (0 if whole else 4), 5)]
        if not all(found):
            raise AssertionError(f"not a sequence of frames: {data.hex(' ')}")
        return [("AB"[int(match[1])], int(match[2], 16)) for match in found]

    def wait_for(self, count, timeout=10):
        """The frames so far, once there are count or the timeout has passed."""
        with self.changed:
            self.changed.wait_for(lambda: len(self.received) >= 5 * count, timeout)
        return self.frames()

    def settle(self, quiet=0.3, timeout=30):
        """Every frame, once the line has been quiet for `quiet` seconds."""
        deadline = time.monotonic() + timeout
        with self.changed:
            while self.changed.wait(quiet) and time.monotonic() < deadline:
                pass
        return self.frames(whole=True)

    def stop(self):
        self.stopping.set()
        if self.is_alive():
            self.join()


# What a desktop program needs of /dev; the private /dev holds these and the line.
_DEV_NODES = "null", "zero", "full", "random", "urandom", "tty", "ptmx"
_DEV_DIRS = "pts", "shm"
_DEV_LINKS = ("fd", "/proc/self/fd"), ("stdin", "/proc/self/fd/0"), ("stdout", "/proc/self/fd/1"), \
    ("stderr", "/proc/self/fd/2")
# Run before the program, inside the namespace: it starts only where the namespace is
# the rig's own, /dev holds nothing but what the rig put there, the line is the
# device the rig made, and the console files are the neutral ones.
_CHECK = """
fail() { echo "the virtual COM1 is not safe to use: $*; nothing started" >&2; exit 125; }
[ "$(readlink /proc/self/ns/mnt)" = "$1" ] || fail "not in its private mount namespace"
[ "$(ls -A /dev | sort | tr '\\n' ' ')" = "$2" ] || fail "/dev holds devices the rig did not put there"
[ "$3" = - ] || [ "$(stat -L -c %t:%T -- "$3")" = "$4" ] || fail "$3 is not the virtual line"
[ "$(cat /proc/consoles)" = "$5" ] || fail "/proc/consoles is the machine's own"
[ "$(cat /sys/class/tty/console/active)" = "$6" ] || fail "the active console is the machine's own"
shift 6
exec "$@"
"""
# Real root makes the namespace as it is; anyone else makes it inside a user
# namespace of their own, where they are root over nothing but its mounts.
REAL_ROOT = os.geteuid() == 0


class Com1:
    """A virtual COM1 in a private mount namespace, with a private /dev and private
    lock directories. kind "pty": a pseudo-terminal at device, read by far_end;
    "dialout": the same, open to root and dialout only (needs real root); "null":
    /dev/null at device; "missing": no device at all. The kernel console is the
    line only if console is set; otherwise the console files name a neutral tty0."""

    def __init__(self, kind="pty", console=False, locks="mode=1777", far_end=FarEnd, device=DEVICE):
        if kind == "dialout" and not REAL_ROOT:
            raise RuntimeError("a port open to dialout only needs real root")
        self.work = tempfile.mkdtemp(prefix="potpanel-com1-")
        os.chmod(self.work, 0o777)  # a program run as nobody logs here
        self.device, self.master, self.far_end = device, None, None
        host = f"{self.work}/dev"  # the machine's /dev, seen only by the setup
        setup = [f"mount -t tmpfs -o {locks} tmpfs /run/lock",
                 f"{{ [ -L /var/lock ] || [ ! -d /var/lock ] || mount -t tmpfs -o {locks} tmpfs /var/lock; }}",
                 f"mkdir {host} && mount --rbind /dev {host} && mount -t tmpfs -o mode=0755 tmpfs /dev",
                 *[f"touch /dev/{node} && mount --bind {host}/{node} /dev/{node}" for node in _DEV_NODES],
                 *[f"mkdir /dev/{name} && mount --rbind {host}/{name} /dev/{name}" for name in _DEV_DIRS],
                 *[f"ln -s {target} /dev/{name}" for name, target in _DEV_LINKS]]
        entries = [*_DEV_NODES, *_DEV_DIRS, *(name for name, _ in _DEV_LINKS)]
        consoles, self.number = ("tty0", "-WU (EC p  )", "4:0"), None
        line = {"pty": None, "dialout": None, "null": f"{host}/null"}.get(kind, "missing")
        if kind in ("pty", "dialout"):
            self.master, slave = os.openpty()
            tty.setraw(self.master)
            self.far_end = far_end(self.master)
            line = f"{host}/pts/{os.path.basename(os.ttyname(slave))}"
            os.close(slave)  # whoever keeps it open holds the port
        if line != "missing":
            self.number = os.stat(line.replace(host, "/dev")).st_rdev
            setup.append(f"mkdir -p {os.path.dirname(device)} && touch {device} && mount --bind {line} {device}")
            entries.append(os.path.relpath(device, "/dev").split("/")[0])
        if kind == "dialout":
            setup.append(f"chown root:dialout {device} && chmod 0660 {device}")
        if console and self.number is not None:
            consoles = (os.path.basename(device), "-W- (EC p a)",
                        f"{os.major(self.number)}:{os.minor(self.number)}")
        self.consoles = "{:21s}{}    {}".format(*consoles), consoles[0]
        for path, text in zip(("/proc/consoles", "/sys/class/tty/console/active"), self.consoles):
            with open(f"{self.work}/{os.path.basename(path)}", "w") as file:
                file.write(text + "\n")
            setup.append(f"mount --bind {self.work}/{os.path.basename(path)} {path}")
        self.entries = " ".join(sorted(set(entries))) + " "
        namespace = ["--mount"] if REAL_ROOT else ["--user", "--map-root-user", "--mount"]
        # The namespace lives as long as this shell, which waits on its input.
        self.holder = subprocess.Popen(
            ["unshare", *namespace, "--propagation", "private", "sh", "-c",
             " && ".join(setup) + " && echo ready && exec cat"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if self.holder.stdout.readline() != b"ready\n":
            self.holder.stdin.close()
            reason = self.holder.stderr.read().decode(errors="replace").strip()
            self.close()
            raise RuntimeError(f"cannot set up COM1 as {kind} in a private namespace: {reason}")
        self.namespace = os.readlink(f"/proc/{self.holder.pid}/ns/mnt")

    def popen(self, argv, **options):
        """A process inside the namespace, with the PID of argv[0], started only once
        the namespace has been checked from inside."""
        enter = ["-m", "-r", "-w"] if REAL_ROOT else ["-U", "-m", "--preserve-credentials", "-r", "-w"]
        number = "-" if self.number is None else f"{os.major(self.number):x}:{os.minor(self.number):x}"
        expected = [self.namespace, self.entries, self.device if self.number is not None else "-", number,
                    *self.consoles]
        return subprocess.Popen(["nsenter", "-t", str(self.holder.pid), *enter, "--",
                                 "sh", "-c", _CHECK, "check", *expected, *argv], **options)

    def settings(self):
        """The line's settings as tcgetattr gives them; a master reads its slave's."""
        return termios.tcgetattr(self.master)

    def path(self, path):
        """Where a path inside the namespace is seen from outside."""
        return f"/proc/{self.holder.pid}/root{path}"

    def close(self):
        if self.far_end:
            self.far_end.stop()
        if not self.holder.stdin.closed:
            self.holder.stdin.close()
        end_process(self.holder)
        if self.master is not None:
            os.close(self.master)
        shutil.rmtree(self.work, ignore_errors=True)
