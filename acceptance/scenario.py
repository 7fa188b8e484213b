"""What every scenario shares: one X display per test class, a fresh COM1 and
program per run, and the checks made when a run ends."""

import unittest

from com1 import Com1, Line, Potpanel
from form1 import Form1
from xdisplay import Display

START_FRAMES = [("A", 50), ("B", 50)]


class Scenario(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.display = Display()

    @classmethod
    def tearDownClass(cls):
        cls.display.close()

    def line(self, kind=Line.PSEUDO_TERMINAL, read_at_once=True):
        com1 = Com1(kind, read_at_once)
        self.addCleanup(com1.close)
        return com1

    def launch(self, com1, user=None):
        program = Potpanel(com1, self.display, user)
        # Cleanups run last-in first-out: the program ends before its line goes.
        self.addCleanup(program.close)
        self.addCleanup(self._report, program)
        return program

    def start(self):
        """A program on a fresh pseudo-terminal, its window up and its start frames read."""
        com1 = self.line()
        program = self.launch(com1)
        form = Form1.wait(self.display, program)
        self.assertEqual(com1.far_end.wait_for(2) and com1.far_end.values()[:2], START_FRAMES)
        return com1, program, form

    def _report(self, program):
        # Only a failing test shows what the program printed.
        outcome = getattr(self, "_outcome", None)
        result = getattr(outcome, "result", None)
        if result and not result.wasSuccessful():
            print(f"\n--- program output ---\n{program.output()}---")

    def assertEndedCleanly(self, com1, program, frames):
        """The program has ended with status 0, the line carried exactly
        `frames` after the start frames and the port was closed once."""
        self.assertEqual(program.wait(), 0, program.output())
        self.assertEqual(com1.far_end.settle(), com1.far_end.frames())
        self.assertEqual(com1.far_end.values(), START_FRAMES + frames)
        self.assertEqual(program.port_closes(), 1, program.modem_events())
