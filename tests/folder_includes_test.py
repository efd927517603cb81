#!/usr/bin/env python3
"""The folder-order check on small trees: what it lets through, what it stops."""

import pathlib
import sys
import tempfile
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import folder_includes  # noqa: E402

# (including file, its include line, whether the check lets it through)
CASES = [
    ("main_window/w.cpp", '#include "updates_window/Form1.h"', True),
    ("main_window/w.cpp", '#include "about_window/frmabout.h"', True),
    ("main_window/w.h", '#include "links/sites.h"', True),
    ("about_window/w.cpp", '#include "links/link_label.h"', True),
    ("updates_window/w.cpp", '#include "resources/resources.h"', True),
    ("updates_window/w.cpp", '#include "updates_window/Form1.h"', True),
    ("links/l.cpp", '#include "platform/runtime.h"', True),
    ("platform/gtk/b.cpp", '#include "platform/geometry.h"', True),
    ("platform/gtk/b.cpp", '#include "platform/gtk/fixed_box.h"', True),
    ("app/project.cpp", '#include "main_window/frmDownloadDisplay.h"', True),
    ("app/main.cpp", '#  include "platform/win32/win32_backend.h"', True),
    ("platform/r.cpp", "#include <string>", True),
    ("tests/t.cpp", '#include "app/project.h"', True),
    # A window on the program's settings or on a sibling window.
    ("about_window/w.cpp", '#include "app/project.h"', False),
    ("about_window/w.cpp", '#include "updates_window/Form1.h"', False),
    ("updates_window/w.h", '#include "main_window/frmDownloadDisplay.h"', False),
    # Lower folders on higher ones.
    ("links/l.h", '#include "about_window/frmabout.h"', False),
    ("platform/runtime.h", '#include "app/project.h"', False),
    ("platform/runtime.cpp", '#include "links/link_label.h"', False),
    ("platform/geometry.h", '#include "platform/gtk/gtk_backend.h"', False),
    ("platform/gtk/b.cpp", '#include "platform/win32/handles.h"', False),
    ("platform/headless/b.cpp", '#include "resources/resources.h"', False),
    ("resources/resources.h", '#include "platform/layout.h"', False),
    # Spacing in the directive does not hide an include.
    ("about_window/w.cpp", '  #  include   "main_window/frmDownloadDisplay.h"', False),
    ("main_window/w.in", '#include "app/sites.h"', False),
    # A path that is not from the source root names no folder.
    ("links/l.cpp", '#include "sites.h"', False),
    ("main_window/w.cpp", '#include "../app/project.h"', False),
]


class FolderIncludes(unittest.TestCase):
    def test_cases(self):
        for source, line, allowed in CASES:
            with self.subTest(source=source, line=line), tempfile.TemporaryDirectory() as tmp:
                root = pathlib.Path(tmp)
                path = root / source
                path.parent.mkdir(parents=True)
                path.write_text(f"// {source}\n{line}\nint x;\n")
                found = folder_includes.violations(root)
                if allowed:
                    self.assertEqual(found, [])
                else:
                    self.assertEqual(len(found), 1, found)
                    self.assertTrue(found[0].startswith(f"{source}:2: "), found)

    def test_every_wrong_include_is_reported_and_fails_the_run(self):
        with tempfile.TemporaryDirectory() as tmp:
            root = pathlib.Path(tmp)
            (root / "about_window").mkdir()
            (root / "about_window/a.cpp").write_text(
                '#include "about_window/a.h"\n#include "app/project.h"\n'
                '#include "platform/runtime.h"\n#include "main_window/m.h"\n')
            (root / "platform/win32").mkdir(parents=True)
            (root / "platform/win32/w.cpp").write_text('#include "app/project.h"\n')
            self.assertEqual(len(folder_includes.violations(root)), 3)
            self.assertEqual(folder_includes.main([str(root)]), 1)
            (root / "about_window/a.cpp").write_text('#include "links/link_label.h"\n')
            (root / "platform/win32/w.cpp").write_text('#include "platform/error.h"\n')
            self.assertEqual(folder_includes.main([str(root)]), 0)

    def test_graph_counts_includes_between_folders(self):
        with tempfile.TemporaryDirectory() as tmp:
            root = pathlib.Path(tmp)
            (root / "main_window").mkdir()
            (root / "main_window/m.cpp").write_text(
                '#include "main_window/m.h"\n#include "platform/runtime.h"\n'
                '#include "platform/geometry.h"\n#include "links/sites.h"\n')
            self.assertEqual(folder_includes.graph(root), {
                ("main_window", "platform"): 2,
                ("main_window", "links"): 1,
            })


if __name__ == "__main__":
    unittest.main()
