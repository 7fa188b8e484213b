"""Faults: COM1 unusable at start, the far end vanishing, and the session
ending the program. A failure names its cause in a message; once the operator
dismisses it the program ends with a non-zero status. Nothing malformed ever
reaches the line."""

import os
import signal
import subprocess

from com1 import DEVICE, Line
from form1 import CAPTION, Form1
from processes import end_process
from scenario import START_FRAMES, Scenario
from xdisplay import MapWatcher


def hold(scenario, process):
    scenario.addCleanup(end_process, process)
    return process


def nothing(scenario, com1):
    return {}


def another_potpanel(scenario, com1):
    first = scenario.launch(com1)
    form = Form1.wait(scenario.display, first)
    com1.far_end.wait_for(len(START_FRAMES))
    return {"holder": first.pid, "first": (first, form)}


def flock_holder(scenario, com1):
    holder = hold(scenario, com1.popen(
        ["flock", "--no-fork", "--exclusive", DEVICE, "sh", "-c", "echo held; exec cat"],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE))
    scenario.assertEqual(holder.stdout.readline().strip(), b"held")
    return {"holder": holder.pid}


def uucp_lock(scenario, com1):
    owner = hold(scenario, subprocess.Popen(["cat"], stdin=subprocess.PIPE))
    com1.shell(f"printf '%10d\\n' {owner.pid} > /run/lock/LCK..ttyS0")
    return {"holder": owner.pid}


MESSAGE_TEXT_AT = (70, 20)

# name, line, how COM1 gets taken, user to run as, what the message must name
START_FAILURES = [
    ("COM1 missing", Line.MISSING, nothing, None, ["COM1", "no such device"]),
    ("COM1 not a serial device", Line.NOT_A_TERMINAL, nothing, None,
     ["COM1", "not a serial device"]),
    ("COM1 held by another potpanel", Line.PSEUDO_TERMINAL, another_potpanel, None,
     ["COM1", "in use", "process {holder}"]),
    ("COM1 held by flock", Line.PSEUDO_TERMINAL, flock_holder, None,
     ["COM1", "in use", "process {holder}"]),
    ("COM1 held by a UUCP lock", Line.PSEUDO_TERMINAL, uucp_lock, None,
     ["COM1", "in use", "process {holder}", "LCK..ttyS0"]),
    ("COM1 denied to an ordinary user", Line.DIALOUT_ONLY, nothing, ("nobody", "nogroup"),
     ["COM1", "permission denied", "dialout"]),
]


class Faults(Scenario):
    def read_and_dismiss_message(self, program, excluding=()):
        """The failure message's text, selected in its box as the operator would
        copy it; then OK is pressed."""
        box = self.display.wait_for_window(CAPTION, program.pid, excluding=excluding)
        # The text stands right of the icon, from the top margin down.
        text = self.display.select_paragraph(box, *MESSAGE_TEXT_AT)
        self.display.xdotool("windowfocus", "--sync", box, "key", "Return")
        return box, text

    def test_com1_unusable_at_start(self):
        for name, line, take, user, phrases in START_FAILURES:
            with self.subTest(name):
                com1 = self.line(line)
                context = take(self, com1)
                first = context.get("first")
                watcher = MapWatcher(self.display.name)
                self.addCleanup(watcher.stop)
                program = self.launch(com1, user)

                box, text = self.read_and_dismiss_message(program)
                self.assertNotEqual(program.wait(), 0, program.output())
                for phrase in phrases:
                    self.assertIn(phrase.format(**context).lower(), text.lower())
                self.assertEqual([window for window, _ in watcher.maps()], [box],
                                 "a window other than the message was shown")
                if com1.far_end:
                    # Nothing but what the first program sent.
                    self.assertEqual(com1.far_end.settle(), com1.far_end.frames())
                    self.assertEqual(com1.far_end.values(), START_FRAMES if first else [])
                self.assertEqual(program.port_closes(), 0)
                if first:
                    first[1].exit_by_mouse()
                    self.assertEndedCleanly(com1, first[0], [])
                self.doCleanups()

    def test_far_end_vanishing(self):
        com1, program, form = self.start()
        form.keys("Right")
        self.assertEqual(com1.far_end.wait_for(3) and com1.far_end.settle()[-1:] and
                         com1.far_end.values(), START_FRAMES + [("A", 51)])
        com1.vanish()
        form.keys("Right")
        box, text = self.read_and_dismiss_message(program, excluding=[form.window])
        self.assertIn("com1", text.lower())
        self.assertIn("cannot write", text.lower())
        self.assertNotEqual(program.wait(), 0, program.output())
        self.assertEqual(program.port_closes(), 1, program.modem_events())

    def test_session_ending_the_program(self):
        for name in ("SIGTERM", "SIGHUP", "SIGINT"):
            with self.subTest(name):
                com1, program, form = self.start()
                form.keys("Right")
                com1.far_end.wait_for(len(START_FRAMES) + 1)
                os.kill(program.pid, getattr(signal, name))
                self.assertEndedCleanly(com1, program, [("A", 51)])
                self.doCleanups()
