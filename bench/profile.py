#!/usr/bin/python3
"""Where the start-up time of a contender goes: runs it once under strace in
the benchmark's setting and prints a timeline, in ms from the exec, of the
library loads, the connections (X, session bus, the fixture site), the
processes WebKit starts, the main window's MapNotify and the page's beacon.
strace slows the traced processes down; read the gaps, not the totals.

  profile.py [--bare] [--env NAME=VALUE ...] [PROGRAM [ARGS...]]
"""

import argparse
import os
import re
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402
from harness import TYPING_URL  # noqa: E402

ROOT = Path(__file__).resolve().parent.parent
LINE = re.compile(r"^(\d+)\s+(\d+\.\d+)\s+(.*)$")
INTERESTING = [
    (re.compile(r'execve\("([^"]+)"'), "exec {0}"),
    (re.compile(r'openat\(.*"([^"]*lib(?:webkitgtk|gtk-4|javascriptcoregtk|EGL|GLX|gallium|'
                r'LLVM|skia)[^"]*)".*= \d+'), "load {0}"),
    (re.compile(r'connect\(\d+, \{sa_family=AF_UNIX, sun_path=@?"([^"]+)"'), "connect {0}"),
    (re.compile(r'connect\(\d+, \{sa_family=AF_INET, sin_port=htons\((\d+)\), '
                r'sin_addr=inet_addr\("([^"]+)"'), "connect {1}:{0}"),
    (re.compile(r'(?:clone3?|vfork)\(.*= (\d+)$'), "spawn pid {0}"),
]


def main():
    p = argparse.ArgumentParser(description=__doc__,
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--env", action="append", default=[], help="NAME=VALUE for the contender")
    p.add_argument("--threads", action="store_true", help="also list thread creations")
    p.add_argument("--keep", help="copy the full trace to this file")
    p.add_argument("argv", nargs="*", default=[str(ROOT / "build/bench/bin/tavrino")])
    args = p.parse_args()
    if not os.environ.get(harness.NETNS_ENV):
        return harness.run_in_netns()
    argv = [a.replace("@URL@", TYPING_URL) for a in args.argv]
    with harness.Session() as session:
        session.env.update(dict(e.split("=", 1) for e in args.env))
        trace = session.tmp / "strace.txt"
        wall0 = time.time()
        t0, proc = session.spawn(
            ["strace", "-f", "-ttt", "-s", "200", "-o", str(trace), "-e",
             "trace=" + ("all" if args.keep else "execve,openat,connect,clone,clone3,vfork")]
            + argv, "profile")
        mapped = session.x.wait_map(t0, lambda w: (session.x.geometry(w) or (0, 0, 0, 0))[2] >= 300,
                                    60)
        loaded = session.site.wait_beacon("encrypted", t0, 60)
        time.sleep(1)
        session.end(proc)
        if args.keep:
            Path(args.keep).write_text(f"wall0 {wall0}\n" + trace.read_text(errors="replace"))
        events = []
        if mapped:
            events.append(((mapped[0] - t0) * 1000, "-", "main window mapped (MapNotify)"))
        if loaded:
            events.append(((loaded - t0) * 1000, "-", "page onload beacon reached the site"))
        seen_libs = set()
        for line in trace.read_text(errors="replace").splitlines():
            m = LINE.match(line)
            if not m:
                continue
            pid, stamp, call = m.groups()
            for pattern, text in INTERESTING:
                hit = pattern.search(call)
                if not hit:
                    continue
                what = text.format(*hit.groups())
                if what.startswith("spawn") and not args.threads and "CLONE_THREAD" in call:
                    break
                if what.startswith("load"):
                    name = Path(hit.group(1)).name
                    if name in seen_libs:
                        break
                    seen_libs.add(name)
                events.append(((float(stamp) - wall0) * 1000, pid, what))
                break
        for ms, pid, what in sorted(events):
            print(f"{ms:8.1f} ms  {pid:>7}  {what}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
