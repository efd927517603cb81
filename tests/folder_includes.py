#!/usr/bin/env python3
"""Keeps the program's folders depending one way.

Every quoted #include names a header by its path from the source root. The
folder of that header must be the including file's own folder or one that
ALLOWED lists for it: the windows stand on links/, resources/ and platform/;
only the main window, which shows the other two, includes another window;
platform/ includes nothing above it, and its backends only the core. app/ is
the top and may include what it starts. tests/ and bench/ are not checked:
they drive everything.

    folder_includes.py ROOT           check; prints each wrong include, exit 1
    folder_includes.py --graph ROOT   print the include graph between folders
"""

import argparse
import pathlib
import re
import sys

# The program's folders and the other folders each may include.
ALLOWED = {
    "app": {"main_window", "links", "platform", "platform/gtk", "platform/headless",
            "platform/win32"},
    "main_window": {"updates_window", "about_window", "links", "resources", "platform"},
    "updates_window": {"links", "resources", "platform"},
    "about_window": {"links", "resources", "platform"},
    "links": {"platform"},
    "resources": set(),
    "platform": set(),
    "platform/gtk": {"platform"},
    "platform/headless": {"platform"},
    "platform/win32": {"platform"},
}

SOURCE_SUFFIXES = {".h", ".hpp", ".c", ".cpp", ".in", ".rc"}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def folder_of(path):
    """The checked folder that holds a path from the source root, or None."""
    best = None
    for folder in ALLOWED:
        if path.startswith(folder + "/") and (best is None or len(folder) > len(best)):
            best = folder
    return best


def includes(root):
    """Yields (file, line number, folder, included path) for every quoted
    include in the checked folders."""
    for folder in sorted(ALLOWED):
        directory = root / folder
        if not directory.is_dir():
            continue
        for file in sorted(directory.rglob("*")):
            if file.suffix not in SOURCE_SUFFIXES or not file.is_file():
                continue
            relative = file.relative_to(root).as_posix()
            if folder_of(relative) != folder:
                continue  # a backend folder, visited on its own
            text = file.read_text(encoding="utf-8", errors="replace")
            for number, line in enumerate(text.splitlines(), 1):
                match = INCLUDE.match(line)
                if match:
                    yield relative, number, folder, match.group(1)


def violations(root):
    """Every include that breaks the table, as printable lines."""
    found = []
    for relative, number, folder, target in includes(root):
        target_folder = folder_of(target)
        if target_folder is None:
            found.append(f'{relative}:{number}: "{target}" is not a path from the source root '
                         f"into one of the program's folders")
        elif target_folder != folder and target_folder not in ALLOWED[folder]:
            found.append(f'{relative}:{number}: {folder}/ may not include "{target}" '
                         f"({target_folder}/)")
    return found


def graph(root):
    """Edges between folders with the number of includes along each."""
    edges = {}
    for _, _, folder, target in includes(root):
        target_folder = folder_of(target) or target.split("/")[0]
        if target_folder != folder:
            edges[(folder, target_folder)] = edges.get((folder, target_folder), 0) + 1
    return edges


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--graph", action="store_true", help="print the include graph")
    parser.add_argument("root", type=pathlib.Path)
    args = parser.parse_args(argv)
    if args.graph:
        for (source, target), count in sorted(graph(args.root).items()):
            print(f"{source} -> {target} ({count})")
        return 0
    found = violations(args.root)
    for line in found:
        print(line)
    if found:
        print(f"{len(found)} include(s) against the folder order", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
