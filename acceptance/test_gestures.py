"""The operator's gestures on the window: each gives exactly the frames and
display texts that follow from the sliders' values."""

from scenario import START_FRAMES, Scenario


def hex_text(value):
    return f"{value:X}"


def displays_after(frames):
    """The display texts that the frames sent so far leave behind."""
    last = dict(START_FRAMES + frames)
    return hex_text(last["A"]), hex_text(last["B"])


def keys(*names):
    return lambda form: form.keys(*names)


def arrow_click(channel, side):
    # A few pixels in from the bar's end lies the arrow button.
    slider = {"A": "HScroll1", "B": "HScroll2"}[channel]
    return lambda form: form.click_at(slider, 4 if side == "left" else -4)


def track_click(channel, fraction):
    slider = {"A": "HScroll1", "B": "HScroll2"}[channel]
    return lambda form: form.click(slider, fraction)


def repeat(value, count):
    return [value] * count


# name, gesture (focus starts on HScroll1), frames it sends after the start frames
CHANGES = [
    ("Right", keys("Right"), [("A", 51)]),
    ("Left", keys("Left"), [("A", 49)]),
    ("Up", keys("Up"), [("A", 51)]),
    ("Down", keys("Down"), [("A", 49)]),
    ("PageUp", keys("Prior"), [("A", 51)]),
    ("PageDown", keys("Next"), [("A", 49)]),
    ("Home", keys("Home"), [("A", 0)]),
    ("End", keys("End"), [("A", 255)]),
    ("Home then Left stays at 0", keys("Home", "Left"), [("A", 0)]),
    ("End then Right stays at FF", keys("End", "Right", "Prior"), [("A", 255)]),
    ("ten up from 0 reads A", keys("Home", *repeat("Right", 10)),
     [("A", v) for v in range(0, 11)]),
    ("Tab to HScroll2", keys("Tab", "Right", "Right", "Left"), [("B", 51), ("B", 52), ("B", 51)]),
    ("both channels in turn", keys("Right", "Tab", "Left", "shift+Tab", "Right"),
     [("A", 51), ("B", 49), ("A", 52)]),
    ("Tab goes round past EXIT", keys(*repeat("Tab", 5), "Right"), [("A", 51)]),
    ("HScroll1 right arrow", arrow_click("A", "right"), [("A", 51)]),
    ("HScroll1 left arrow", arrow_click("A", "left"), [("A", 49)]),
    ("HScroll2 right arrow", arrow_click("B", "right"), [("B", 51)]),
    ("HScroll2 left arrow", arrow_click("B", "left"), [("B", 49)]),
    ("HScroll1 track right of the thumb", track_click("A", 0.8), [("A", 51)]),
    ("HScroll2 track right of the thumb", track_click("B", 0.8), [("B", 51)]),
    ("HScroll1 track left of the thumb", lambda form: (form.keys("End"), form.click("HScroll1", 0.3)),
     [("A", 255), ("A", 254)]),
]

# name, gesture that ends the program, frames it sends after the start frames
ENDINGS = [
    ("EXIT clicked", lambda form: form.exit_by_mouse(), []),
    ("EXIT from the keyboard", keys("Tab", "Tab", "Tab", "Tab", "space"), []),
    ("EXIT backwards from the keyboard", keys("shift+Tab", "space"), []),
    ("close box", lambda form: form.close_box(), []),
    ("close box after a change", lambda form: (form.keys("Right"), form.close_box()), [("A", 51)]),
    ("EXIT after a change", lambda form: (form.keys("Left"), form.exit_by_mouse()), [("A", 49)]),
]


class Gestures(Scenario):
    def test_changes(self):
        for name, gesture, frames in CHANGES:
            with self.subTest(name):
                com1, program, form = self.start()
                gesture(form)
                com1.far_end.wait_for(len(START_FRAMES) + len(frames))
                self.assertEqual(com1.far_end.settle(), com1.far_end.frames())
                self.assertEqual(com1.far_end.values(), START_FRAMES + frames)
                self.assertEqual((form.read_display("A"), form.read_display("B")),
                                 displays_after(frames))
                form.exit_by_mouse()
                self.assertEndedCleanly(com1, program, frames)
                self.doCleanups()

    def test_endings(self):
        for name, gesture, frames in ENDINGS:
            with self.subTest(name):
                com1, program, form = self.start()
                gesture(form)
                self.assertEndedCleanly(com1, program, frames)
                self.doCleanups()

    def test_thumb_drag_sends_nothing_until_release(self):
        com1, program, form = self.start()
        held = []
        form.drag_thumb("A", 50, distance=60,
                        on_hold=lambda: held.append(com1.far_end.settle()))
        self.assertEqual(len(held[0]), len(START_FRAMES), "frames sent during the drag")
        frames = com1.far_end.wait_for(len(START_FRAMES) + 1)
        self.assertEqual(com1.far_end.settle(), frames)
        self.assertEqual(len(frames), len(START_FRAMES) + 1)
        released = frames[-1]
        self.assertEqual(released.channel, "A")
        self.assertGreater(released.value, 60, "the thumb hardly moved")
        self.assertEqual(form.read_display("A"), hex_text(released.value))
        self.assertEqual(form.read_display("B"), "32")
        form.exit_by_mouse()
        self.assertEndedCleanly(com1, program, [("A", released.value)])

    def test_typed_text_is_never_sent(self):
        for name, then_change in (("stays", False), ("is overwritten by a change", True)):
            with self.subTest(name):
                com1, program, form = self.start()
                form.click("Text1")
                form.keys("ctrl+a")
                form.type_text("7F hello")
                form.keys("Return", "BackSpace", "Delete")
                form.click("Text2")
                form.keys("End")
                form.type_text("0")
                frames = []
                if then_change:
                    form.keys("shift+Tab", "shift+Tab", "Right")  # Text2 -> HScroll2 -> ...
                    frames = [("B", 51)]
                    form.keys("shift+Tab", "Right")
                    frames.append(("A", 51))
                com1.far_end.wait_for(len(START_FRAMES) + len(frames))
                self.assertEqual(com1.far_end.settle(), com1.far_end.frames())
                self.assertEqual(com1.far_end.values(), START_FRAMES + frames)
                self.assertTrue(program.running(), "Return in a display ended the program")
                expected = displays_after(frames) if then_change else ("7F hell", "320")
                self.assertEqual((form.read_display("A"), form.read_display("B")), expected)
                form.exit_by_mouse()
                self.assertEndedCleanly(com1, program, frames)
                self.doCleanups()

    def test_tab_order(self):
        com1, program, form = self.start()
        # HScroll1 has the focus first; each stop is told by what a key does there.
        form.keys("Right")  # HScroll1
        form.keys("Tab", "Left")  # HScroll2
        form.keys("Tab", "ctrl+a")  # Text1
        text1 = self.display.copy_focused()
        form.keys("Tab", "ctrl+a")  # Text2
        text2 = self.display.copy_focused()
        self.assertEqual((text1, text2), ("33", "31"))
        form.keys("Tab", "space")  # Command1
        self.assertEndedCleanly(com1, program, [("A", 51), ("B", 49)])
