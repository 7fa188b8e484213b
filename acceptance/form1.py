"""The operator at the window Form1: where its controls are, and the gestures
made on them with real input events."""

import time

CAPTION = "Tarvel Digital Potentiometers"
CLIENT_SIZE = (356, 149)
TWIPS_PER_PIXEL = 15

# Left, top, width, height in twips, from the window's layout.
LAYOUT = {
    "HScroll1": (1020, 300, 2895, 315),
    "HScroll2": (1020, 900, 2895, 315),
    "Text1": (4200, 300, 555, 315),
    "Text2": (4200, 900, 555, 315),
    "Command1": (4140, 1620, 615, 375),
}
SLIDER = {"A": "HScroll1", "B": "HScroll2"}
DISPLAY = {"A": "Text1", "B": "Text2"}


def pixels(control):
    return tuple(round(twips / TWIPS_PER_PIXEL) for twips in LAYOUT[control])


class Form1:
    def __init__(self, display, window):
        self.display = display
        self.window = window

    @classmethod
    def wait(cls, display, program, timeout=15):
        window = display.wait_for_window(CAPTION, program.pid, timeout)
        # Without a window manager nobody hands out the focus: do what one would.
        display.xdotool("windowfocus", "--sync", window)
        return cls(display, window)

    def _origin(self):
        geometry = self.display.xdotool("getwindowgeometry", "--shell", self.window)
        values = dict(line.split("=", 1) for line in geometry.split())
        return int(values["X"]), int(values["Y"])

    def point(self, control, x_fraction=0.5, y_fraction=0.5):
        """A point in a control, as fractions of its width and height."""
        ox, oy = self._origin()
        left, top, width, height = pixels(control)
        return ox + left + round(width * x_fraction), oy + top + round(height * y_fraction)

    def click(self, control, x_fraction=0.5, y_fraction=0.5):
        x, y = self.point(control, x_fraction, y_fraction)
        self.display.xdotool("mousemove", "--sync", x, y, "click", 1)

    def click_at(self, control, x_pixel, y_fraction=0.5):
        """A click x_pixel pixels from the control's left (negative: from its right)."""
        ox, oy = self._origin()
        left, top, width, height = pixels(control)
        x = left + (x_pixel if x_pixel >= 0 else width + x_pixel)
        self.display.xdotool("mousemove", "--sync", ox + x, oy + top + round(height * y_fraction),
                             "click", 1)

    def keys(self, *names, delay_ms=12):
        self.display.xdotool("key", "--delay", delay_ms, *names)

    def type_text(self, text):
        self.display.xdotool("type", "--delay", 12, text)

    def read_display(self, channel):
        """The display's whole text, as the operator copies it: click, select all, copy."""
        self.click(DISPLAY[channel])
        self.keys("ctrl+a")
        return self.display.copy_focused()

    def thumb_point(self, channel, value):
        """Where the thumb of a slider at `value` is: its travel lies between the
        arrow buttons, which are as wide as the bar is high."""
        ox, oy = self._origin()
        left, top, width, height = pixels(SLIDER[channel])
        arrow = height
        thumb = max(height, 16)  # the thumb is never shorter than this at 256 positions
        travel = width - 2 * arrow - thumb
        return ox + left + arrow + thumb // 2 + round(travel * value / 255), oy + top + height // 2

    def drag_thumb(self, channel, value, distance, steps=8, on_hold=None):
        """Presses on the thumb, moves it `distance` pixels in steps, calls
        on_hold() while still holding it, then releases."""
        x, y = self.thumb_point(channel, value)
        self.display.xdotool("mousemove", "--sync", x, y, "mousedown", 1)
        for step in range(1, steps + 1):
            self.display.xdotool("mousemove", "--sync", x + distance * step // steps, y)
            time.sleep(0.02)
        if on_hold:
            on_hold()
        self.display.xdotool("mouseup", 1)

    def close_box(self):
        self.display.send_delete_window(self.window)

    def exit_by_mouse(self):
        self.click("Command1")
