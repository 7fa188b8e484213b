"""The controller's end of the virtual line: reads every byte the program sends
and splits the stream into wiper frames, refusing anything that is not one."""

import array
import fcntl
import os
import re
import select
import termios
import threading
import time
from dataclasses import dataclass

FRAME_LENGTH = 5
_FRAME = re.compile(rb"\x02D([01])([0-9A-F]{2})")
CHANNELS = {b"0": "A", b"1": "B"}


@dataclass(frozen=True)
class Frame:
    channel: str  # "A" or "B"
    value: int
    arrived_ns: int  # CLOCK_MONOTONIC, as the fake modem records


class MalformedLine(AssertionError):
    pass


class FarEnd:
    """Reads the pseudo-terminal master on a thread of its own until stopped."""

    def __init__(self, master_fd):
        self._fd = master_fd
        self._lock = threading.Lock()
        self._pending = b""
        self._frames = []
        self._error = None
        self._last_byte_ns = time.monotonic_ns()
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._read, daemon=True)

    def start(self):
        """Starts reading; until then the bytes wait in the terminal's buffer."""
        self._thread.start()

    def waiting(self):
        """How many bytes the terminal holds that have not been read yet."""
        count = array.array("i", [0])
        fcntl.ioctl(self._fd, termios.FIONREAD, count)
        return count[0]

    def _read(self):
        while not self._stop.is_set():
            ready, _, _ = select.select([self._fd], [], [], 0.05)
            if not ready:
                continue
            try:
                chunk = os.read(self._fd, 4096)
            except OSError:
                return
            if not chunk:
                return
            self._take(chunk, time.monotonic_ns())

    def _take(self, chunk, now):
        with self._lock:
            self._last_byte_ns = now
            self._pending += chunk
            while self._error is None and len(self._pending) >= FRAME_LENGTH:
                match = _FRAME.fullmatch(self._pending[:FRAME_LENGTH])
                if not match:
                    self._error = (
                        f"malformed bytes after {len(self._frames)} good frames: "
                        f"{self._pending[:FRAME_LENGTH].hex(' ')}"
                    )
                    return
                channel, digits = match.groups()
                self._frames.append(Frame(CHANNELS[channel], int(digits, 16), now))
                self._pending = self._pending[FRAME_LENGTH:]
            # A partial frame must still be a prefix of a well-formed one.
            if self._error is None and self._pending and not _is_frame_prefix(self._pending):
                self._error = f"malformed bytes: {self._pending.hex(' ')}"

    def stop(self):
        self._stop.set()
        if self._thread.is_alive():
            self._thread.join(timeout=5)

    def frames(self):
        """Every frame so far; raises if anything malformed arrived."""
        with self._lock:
            if self._error:
                raise MalformedLine(self._error)
            return list(self._frames)

    def values(self):
        return [(frame.channel, frame.value) for frame in self.frames()]

    def wait_for(self, count, timeout=10):
        """Waits until at least count frames have arrived; returns them all."""
        deadline = time.monotonic() + timeout
        while len(frames := self.frames()) < count and time.monotonic() < deadline:
            time.sleep(0.01)
        return frames

    def settle(self, quiet=0.4, timeout=10):
        """Waits until the line has been silent for `quiet` seconds (or the
        timeout passes), then returns every frame and checks nothing is left
        half-sent."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            with self._lock:
                silent_for = (time.monotonic_ns() - self._last_byte_ns) / 1e9
            if silent_for >= quiet:
                break
            time.sleep(0.02)
        frames = self.frames()
        with self._lock:
            if self._pending:
                raise MalformedLine(f"incomplete frame at the end: {self._pending.hex(' ')}")
        return frames


def _is_frame_prefix(data):
    expected = [b"\x02", b"D", b"01", b"0123456789ABCDEF", b"0123456789ABCDEF"]
    return all(data[i : i + 1] and data[i : i + 1] in expected[i] for i in range(len(data)))
