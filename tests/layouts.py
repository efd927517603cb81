"""The three windows' layout tables as the build wrote them (layouts.json,
made by tests/layout_facts.cpp from the tables the program is built from).
The scripts that click or look at the program's windows take every place
from here, so none of them keeps a copy of a table.

    layouts = Layouts.of_build("build/ci")
    layouts.rect("frmDownloadDisplay", "Command1")   # twips, in the window
    layouts.centre("frmabout", "Command1", dx=-5)     # pixels, in the window
"""

import json
import os


class Layouts:
    def __init__(self, path):
        with open(path) as f:
            data = json.load(f)
        self.twips_per_pixel = data["twips_per_pixel"]
        self.windows = data["windows"]

    @classmethod
    def of_build(cls, build_dir):
        path = os.path.join(build_dir, "layouts.json")
        if not os.path.exists(path):
            raise FileNotFoundError("%s is missing: build the layouts_json target" % path)
        return cls(path)

    def px(self, twips):
        """Twips to pixels at 96 dots per inch, rounded as the program does."""
        return int(round(twips / self.twips_per_pixel))

    def rect(self, window, control):
        """A control's place in its window's inner area, in twips (a control
        in a picture box includes the box's offset)."""
        return tuple(self.windows[window]["controls"][control]["in_window"])

    def inner(self, window):
        """The window's stored inner size, in pixels."""
        w, h = self.windows[window]["inner"]
        return self.px(w), self.px(h)

    def centre(self, window, control, dx=0, dy=0):
        """The centre of a control, in pixels of the window's inner area,
        plus an offset."""
        left, top, width, height = self.rect(window, control)
        return self.px(left + width / 2) + dx, self.px(top + height / 2) + dy
