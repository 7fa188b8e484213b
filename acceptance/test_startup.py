"""Start-up: the line and the window the operator finds."""

import re
import termios

from form1 import CAPTION, CLIENT_SIZE, Form1
from scenario import START_FRAMES, Scenario
from xdisplay import MapWatcher

# _MOTIF_WM_HINTS: flags, functions, decorations; the bits for minimise and maximise.
MOTIF_FUNCTIONS_MIN_MAX = 0x08 | 0x10
MOTIF_DECORATIONS_MIN_MAX = 0x20 | 0x40


class StartUp(Scenario):
    def test_start_frames_reach_the_line_before_the_window_is_mapped(self):
        # The line is left unread until the window is mapped: what the terminal
        # holds at that moment had been sent before.
        com1 = self.line(read_at_once=False)
        watcher = MapWatcher(self.display.name, on_map=lambda window: com1.far_end.waiting())
        self.addCleanup(watcher.stop)
        program = self.launch(com1)
        form = Form1.wait(self.display, program)
        com1.far_end.start()
        frames = com1.far_end.wait_for(2)

        self.assertEqual([(f.channel, f.value) for f in frames], START_FRAMES)
        waiting = [count for window, count in watcher.maps() if window == form.window]
        self.assertTrue(waiting, "the window was never seen mapped")
        self.assertEqual(waiting[0], 2 * 5, "bytes on the line when the window was mapped")

        form.exit_by_mouse()
        self.assertEndedCleanly(com1, program, [])

    def test_line_runs_at_9600_8n1_with_rts_raised_before_the_first_frame(self):
        com1, program, form = self.start()
        frames = com1.far_end.frames()
        raised = [(when, fd) for when, event, fd in program.modem_events() if event == "rts 1"]
        self.assertEqual(len(raised), 1, program.modem_events())
        self.assertLess(raised[0][0], frames[0].arrived_ns, "RTS came after the first frame")

        iflag, oflag, cflag, lflag, ispeed, ospeed, cc = com1.line_settings()
        self.assertEqual((ispeed, ospeed), (termios.B9600, termios.B9600))
        self.assertEqual(cflag & termios.CSIZE, termios.CS8)
        self.assertFalse(cflag & termios.PARENB, "parity is on")
        self.assertFalse(cflag & termios.CSTOPB, "two stop bits")
        self.assertFalse(oflag & termios.OPOST, "output is post-processed")
        form.exit_by_mouse()
        self.assertEndedCleanly(com1, program, [])

    def test_window_at_first_sight(self):
        com1, program, form = self.start()
        self.assertEqual(form.read_display("A"), "32")
        self.assertEqual(form.read_display("B"), "32")

        info = self.display.xwininfo(form.window)
        size = tuple(int(re.search(rf"{key}: (\d+)", info).group(1)) for key in ("Width", "Height"))
        self.assertEqual(size, CLIENT_SIZE)
        self.assertIn(f'"{CAPTION}"', self.display.xprop(form.window, "WM_NAME"))

        hints = self.display.xprop(form.window, "WM_NORMAL_HINTS")
        minimum = re.search(r"minimum size: (\d+) by (\d+)", hints)
        maximum = re.search(r"maximum size: (\d+) by (\d+)", hints)
        self.assertTrue(minimum and maximum, hints)
        self.assertEqual(tuple(map(int, minimum.groups())), CLIENT_SIZE)
        self.assertEqual(tuple(map(int, maximum.groups())), CLIENT_SIZE)

        motif = self.display.xprop(form.window, "_MOTIF_WM_HINTS")
        fields = [int(word, 16) for word in re.findall(r"0x[0-9a-f]+|\b\d+\b", motif.split("=")[1])]
        flags, functions, decorations = fields[:3]
        if flags & 1:
            self.assertFalse(functions & MOTIF_FUNCTIONS_MIN_MAX, f"minimise or maximise: {motif}")
        self.assertTrue(flags & 2, f"the decorations are left to the window manager: {motif}")
        self.assertFalse(decorations & MOTIF_DECORATIONS_MIN_MAX, f"min or max box: {motif}")

        form.exit_by_mouse()
        self.assertEndedCleanly(com1, program, [])
