"""A virtual COM1 for one scenario, and the program started on it.

/dev/ttyS0 exists only inside a private mount namespace, together with private
lock directories, so nothing touches the machine's real port or leaves lock
files behind. Processes join the namespace with nsenter, which keeps their PID.
"""

import enum
import os
import pty
import shlex
import shutil
import subprocess
import tempfile
import termios
import tty

from far_end import FarEnd
from processes import end_process

POTPANEL = os.environ.get("POTPANEL", "potpanel")
FAKE_MODEM = os.environ.get("FAKE_MODEM", "libfake_modem.so")
DEVICE = "/dev/ttyS0"


class Line(enum.Enum):
    PSEUDO_TERMINAL = "a pseudo-terminal"
    MISSING = "no device at all"
    NOT_A_TERMINAL = "/dev/null"
    DIALOUT_ONLY = "a pseudo-terminal open to root and the dialout group only"


_PRIVATE_LOCKS = (
    "mount -t tmpfs tmpfs /run/lock && "
    "{ [ -L /var/lock ] || [ ! -d /var/lock ] || mount -t tmpfs tmpfs /var/lock; }"
)

# /dev without ttyS0: a tmpfs holding only what a desktop program needs.
_DEV_WITHOUT_COM1 = """
mount --bind /dev "$work/host-dev"
mount -t tmpfs -o mode=755 tmpfs /dev
for node in null zero full random urandom tty; do
    touch "/dev/$node" && mount --bind "$work/host-dev/$node" "/dev/$node"
done
mkdir /dev/pts /dev/shm
mount --bind "$work/host-dev/pts" /dev/pts
mount --bind "$work/host-dev/shm" /dev/shm
ln -s pts/ptmx /dev/ptmx
ln -s /proc/self/fd /dev/fd
"""


class Com1:
    """The line and the namespace around it; a context manager."""

    def __init__(self, line=Line.PSEUDO_TERMINAL, read_at_once=True):
        """read_at_once=False leaves the far end unread until far_end.start()."""
        self.line = line
        self.work = tempfile.mkdtemp(prefix="potpanel-accept-")
        os.chmod(self.work, 0o777)  # the program may run as nobody and log here
        self.master = self.slave = None
        self.far_end = None
        setup = [_PRIVATE_LOCKS]
        if line in (Line.PSEUDO_TERMINAL, Line.DIALOUT_ONLY):
            self.master, self.slave = pty.openpty()
            # Keeps the pair alive whatever the program does, and lets the
            # scenario read the line settings the program left on it.
            tty.setraw(self.master)
            setup.append(f"mount --bind {shlex.quote(os.ttyname(self.slave))} {DEVICE}")
            if line is Line.DIALOUT_ONLY:
                setup.append(f"chown root:dialout {DEVICE} && chmod 0660 {DEVICE}")
            self.far_end = FarEnd(self.master)
            if read_at_once:
                self.far_end.start()
        elif line is Line.NOT_A_TERMINAL:
            setup.append(f"mount --bind /dev/null {DEVICE}")
        else:
            os.mkdir(os.path.join(self.work, "host-dev"))
            setup.append(_DEV_WITHOUT_COM1)
        script = "set -e\n" + "\n".join(setup) + "\necho ready\nexec cat\n"
        # The namespace lives as long as this shell, which waits on its stdin.
        self._holder = subprocess.Popen(
            ["unshare", "--mount", "--propagation", "private", "sh", "-c", script],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, env=dict(os.environ, work=self.work),
        )
        if self._holder.stdout.readline().strip() != b"ready":
            self.close()
            raise RuntimeError(f"cannot set up COM1 as {line.value}")

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.close()

    def popen(self, argv, **options):
        """Starts a process inside the namespace; its PID is that of argv[0]."""
        return subprocess.Popen(
            ["nsenter", "--target", str(self._holder.pid), "--mount", "--", *argv], **options
        )

    def shell(self, script):
        subprocess.run(["nsenter", "--target", str(self._holder.pid), "--mount", "--",
                        "sh", "-c", script], check=True, timeout=30)

    def line_settings(self):
        """The termios settings on the line, as the program left them."""
        return termios.tcgetattr(self.slave)

    def vanish(self):
        """The far end goes away: the controller side of the line is closed."""
        self.far_end.stop()
        os.close(self.master)
        self.master = None

    def close(self):
        if self.far_end:
            self.far_end.stop()
        if self._holder.stdin:
            self._holder.stdin.close()
        end_process(self._holder)
        for fd in (self.master, self.slave):
            if fd is not None:
                os.close(fd)
        self.master = self.slave = None
        shutil.rmtree(self.work, ignore_errors=True)


class Potpanel:
    """One run of the program on COM1 and a display; ended by PID at close."""

    def __init__(self, com1, display, user=None):
        """user: (name, group) to run as instead of root."""
        self.com1 = com1
        self.modem_log = os.path.join(com1.work, f"modem-{id(self)}.log")
        self.output_path = os.path.join(com1.work, f"output-{id(self)}.txt")
        env = dict(display.env, QT_QPA_PLATFORM="xcb", LD_PRELOAD=FAKE_MODEM,
                   FAKE_MODEM_LOG=self.modem_log)
        argv = [POTPANEL]
        if user:
            name, group = user
            argv = ["setpriv", f"--reuid={name}", f"--regid={group}", "--clear-groups", POTPANEL]
        with open(self.output_path, "wb") as output:
            self.process = com1.popen(argv, env=env, stdout=output, stderr=subprocess.STDOUT)
        self.pid = self.process.pid

    def wait(self, timeout=20):
        """The exit status, once the program has ended by itself."""
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"the program did not end within {timeout} s") from None

    def running(self):
        return self.process.poll() is None

    def output(self):
        with open(self.output_path, errors="replace") as output:
            return output.read()

    def modem_events(self):
        """(time ns, event, fd) for each RTS change and each close of a terminal."""
        if not os.path.exists(self.modem_log):
            return []
        events = []
        with open(self.modem_log) as log:
            for line in log:
                words = line.split()
                events.append((int(words[0]), " ".join(words[1:-1]), int(words[-1])))
        return events

    def port_closes(self):
        """How often the descriptor on which RTS was raised got closed after that."""
        events = self.modem_events()
        raised = [i for i, (_, event, _) in enumerate(events) if event == "rts 1"]
        if not raised:
            return 0
        fd = events[raised[0]][2]
        return sum(1 for _, event, other in events[raised[0] + 1:]
                   if event == "close" and other == fd)

    def close(self):
        end_process(self.process)
