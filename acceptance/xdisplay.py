"""A private X display (Xvfb) and the operator's hands on it: real input
through XTest (xdotool), the clipboard (xclip), and the window manager's polite
close request, which needs no window manager to send."""

import ctypes
import ctypes.util
import os
import select
import subprocess
import threading
import time

from processes import end_process

_x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
_x11.XOpenDisplay.restype = ctypes.c_void_p
_x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
_x11.XDefaultRootWindow.restype = ctypes.c_ulong
_x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
_x11.XInternAtom.restype = ctypes.c_ulong
_x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
_x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
_x11.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
_x11.XPending.argtypes = [ctypes.c_void_p]
_x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
_x11.XConnectionNumber.argtypes = [ctypes.c_void_p]
_x11.XFlush.argtypes = [ctypes.c_void_p]
_x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

_CLIENT_MESSAGE = 33
_MAP_NOTIFY = 19
_SUBSTRUCTURE_NOTIFY_MASK = 1 << 19


class _ClientMessage(ctypes.Structure):
    _fields_ = [
        ("type", ctypes.c_int),
        ("serial", ctypes.c_ulong),
        ("send_event", ctypes.c_int),
        ("display", ctypes.c_void_p),
        ("window", ctypes.c_ulong),
        ("message_type", ctypes.c_ulong),
        ("format", ctypes.c_int),
        ("data", ctypes.c_long * 5),
    ]


class _MapNotify(ctypes.Structure):
    _fields_ = [
        ("type", ctypes.c_int),
        ("serial", ctypes.c_ulong),
        ("send_event", ctypes.c_int),
        ("display", ctypes.c_void_p),
        ("event", ctypes.c_ulong),
        ("window", ctypes.c_ulong),
        ("override_redirect", ctypes.c_int),
    ]


class _XEvent(ctypes.Union):
    _fields_ = [
        ("type", ctypes.c_int),
        ("xclient", _ClientMessage),
        ("xmap", _MapNotify),
        ("pad", ctypes.c_long * 24),
    ]


class _Connection:
    def __init__(self, name):
        self.handle = _x11.XOpenDisplay(name.encode())
        if not self.handle:
            raise RuntimeError(f"cannot open display {name}")

    def close(self):
        _x11.XCloseDisplay(self.handle)


class MapWatcher:
    """Records every top-level window mapped, with what on_map(window) returns
    when called at once on the watcher's thread."""

    def __init__(self, display_name, on_map=lambda window: None):
        self._on_map = on_map
        self._connection = _Connection(display_name)
        handle = self._connection.handle
        _x11.XSelectInput(handle, _x11.XDefaultRootWindow(handle), _SUBSTRUCTURE_NOTIFY_MASK)
        _x11.XFlush(handle)
        self._maps = []
        self._lock = threading.Lock()
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._watch, daemon=True)
        self._thread.start()

    def _watch(self):
        handle = self._connection.handle
        fd = _x11.XConnectionNumber(handle)
        event = _XEvent()
        while not self._stop.is_set():
            while _x11.XPending(handle):
                _x11.XNextEvent(handle, ctypes.byref(event))
                if event.type == _MAP_NOTIFY:
                    with self._lock:
                        self._maps.append((event.xmap.window, self._on_map(event.xmap.window)))
            select.select([fd], [], [], 0.05)

    def maps(self):
        """(window, what on_map returned) for each map, in order."""
        with self._lock:
            return list(self._maps)

    def stop(self):
        self._stop.set()
        self._thread.join(timeout=5)
        self._connection.close()


class Display:
    """An Xvfb server on the first free display number, ended with the object."""

    def __init__(self):
        read_end, write_end = os.pipe()
        # -ac: other users (the permission scenario runs as nobody) may connect.
        # -noreset: the server would otherwise reset, refusing clients for a
        # moment, each time its last client leaves.
        self._server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp", "-ac", "-noreset",
             "-screen", "0", "1024x768x24"],
            pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        )
        os.close(write_end)
        self._holders = []
        try:
            number = self._read_display_number(read_end)
        finally:
            os.close(read_end)
        if not number:
            self.close()
            raise RuntimeError("Xvfb did not start")
        self.name = ":" + number
        self.env = dict(os.environ, DISPLAY=self.name)
        self._wait_until_accepting()

    def _read_display_number(self, read_end, timeout=20):
        # Xvfb writes the number and the newline separately; closing the pipe
        # after the first write makes its second one fail, and Xvfb exits.
        announced = b""
        deadline = time.monotonic() + timeout
        while not announced.endswith(b"\n") and time.monotonic() < deadline:
            if self._server.poll() is not None:
                return ""
            ready, _, _ = select.select([read_end], [], [], 0.1)
            if ready:
                chunk = os.read(read_end, 32)
                if not chunk:
                    break
                announced += chunk
        return announced.decode().strip() if announced.endswith(b"\n") else ""

    def _wait_until_accepting(self, timeout=20):
        # The number may be announced a moment before clients are let in.
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline and self._server.poll() is None:
            handle = _x11.XOpenDisplay(self.name.encode())
            if handle:
                _x11.XCloseDisplay(handle)
                return
            time.sleep(0.05)
        self.close()
        raise RuntimeError(f"Xvfb on {self.name} lets no client in")

    def close(self):
        for process in [*self._holders, self._server]:
            end_process(process)

    def xdotool(self, *arguments, timeout=30):
        # A dead server's number may already serve someone else's session:
        # never send input to it.
        if self._server.poll() is not None:
            raise RuntimeError(f"Xvfb on {self.name} has ended")
        result = subprocess.run(
            ["xdotool", *map(str, arguments)], env=self.env, capture_output=True, text=True,
            timeout=timeout,
        )
        if result.returncode != 0:
            raise RuntimeError(f"xdotool {' '.join(map(str, arguments))}: {result.stderr.strip()}")
        return result.stdout

    def visible_windows(self, title, pid):
        """Mapped windows with this title that belong to process pid."""
        result = subprocess.run(
            ["xdotool", "search", "--all", "--onlyvisible", "--pid", str(pid), "--name",
             f"^{title}$"], env=self.env,
            capture_output=True, text=True, timeout=10,
        )
        return [int(word) for word in result.stdout.split()]

    def wait_for_window(self, title, pid, timeout=15, excluding=()):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            windows = [w for w in self.visible_windows(title, pid) if w not in excluding]
            if windows:
                return windows[0]
            time.sleep(0.05)
        raise AssertionError(f"no window titled {title!r} appeared")

    def xprop(self, window, *names):
        return subprocess.run(
            ["xprop", "-id", str(window), *names], env=self.env, capture_output=True, text=True,
            timeout=10,
        ).stdout

    def xwininfo(self, window):
        return subprocess.run(
            ["xwininfo", "-id", str(window)], env=self.env, capture_output=True, text=True,
            timeout=10,
        ).stdout

    def clipboard(self, selection="clipboard"):
        result = subprocess.run(
            ["xclip", "-o", "-selection", selection], env=self.env, capture_output=True,
            timeout=10,
        )
        return result.stdout.decode() if result.returncode == 0 else None

    def copy_focused(self):
        """Presses Ctrl+C where the focus is and returns what lands on the clipboard."""
        return self._take_selection("clipboard", lambda: self.xdotool("key", "ctrl+c"))

    def select_paragraph(self, window, x, y):
        """Triple-clicks text at (x, y) in the window, as an operator selects a
        message to copy it, and returns the primary selection."""
        return self._take_selection("primary", lambda: self.xdotool(
            "mousemove", "--sync", "--window", window, x, y, "click", "--repeat", 3,
            "--delay", 80, 1))

    def _take_selection(self, selection, gesture, timeout=10):
        marker = f"selection-marker-{time.monotonic_ns()}"
        self._own_selection(selection, marker)
        gesture()
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            text = self.clipboard(selection)
            if text is not None and text != marker:
                return text
            time.sleep(0.05)
        raise AssertionError(f"nothing was put on the {selection} selection")

    def _own_selection(self, selection, text):
        # A short-lived owner, so that an unchanged selection is told apart from
        # a copy of the same text. It ends once another client owns the selection.
        holder = subprocess.Popen(
            ["xclip", "-i", "-selection", selection, "-quiet"], stdin=subprocess.PIPE,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=self.env,
        )
        self._holders.append(holder)
        holder.stdin.write(text.encode())
        holder.stdin.close()
        deadline = time.monotonic() + 10
        while self.clipboard(selection) != text and time.monotonic() < deadline:
            time.sleep(0.02)

    def send_delete_window(self, window):
        """What a window manager sends for the close box: WM_DELETE_WINDOW."""
        connection = _Connection(self.name)
        try:
            handle = connection.handle
            event = _XEvent()
            event.xclient.type = _CLIENT_MESSAGE
            event.xclient.window = window
            event.xclient.message_type = _x11.XInternAtom(handle, b"WM_PROTOCOLS", 0)
            event.xclient.format = 32
            event.xclient.data[0] = _x11.XInternAtom(handle, b"WM_DELETE_WINDOW", 0)
            event.xclient.data[1] = 0  # CurrentTime
            if not _x11.XSendEvent(handle, window, 0, 0, ctypes.byref(event)):
                raise RuntimeError("XSendEvent failed")
            _x11.XFlush(handle)
        finally:
            connection.close()
