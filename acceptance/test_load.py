"""Load: hundreds of changes as fast as the window system delivers them, then
EXIT at once. Every frame arrives, in order, none lost and none doubled."""

from scenario import START_FRAMES, Scenario

# name, keys for HScroll1 (which has the focus) and HScroll2, each a run of moves
RUNS = [
    ("up and down one channel", [("A", "Right", 200), ("A", "Left", 200)]),
    ("both channels", [("A", "Left", 50), ("B", "Right", 205), ("A", "Right", 255),
                       ("B", "Left", 255)]),
]


def expected_frames(runs):
    values = dict(START_FRAMES)
    frames = []
    for channel, key, count in runs:
        for _ in range(count):
            moved = min(255, max(0, values[channel] + (1 if key == "Right" else -1)))
            if moved != values[channel]:
                values[channel] = moved
                frames.append((channel, moved))
    return frames


class Load(Scenario):
    def test_every_change_arrives_once_in_order(self):
        for name, runs in RUNS:
            with self.subTest(name):
                com1, program, form = self.start()
                keys, focus = [], "A"
                for channel, key, count in runs:
                    if channel != focus:
                        keys.append("Tab" if channel == "B" else "shift+Tab")
                        focus = channel
                    keys += [key] * count
                # EXIT straight after, in the same burst of input.
                keys += ["Tab"] * (4 if focus == "A" else 3) + ["space"]
                form.keys(*keys, delay_ms=0)
                frames = expected_frames(runs)
                self.assertGreater(len(frames), 300)
                self.assertEndedCleanly(com1, program, frames)
                self.doCleanups()
