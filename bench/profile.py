#!/usr/bin/python3
"""Where the start-up time of a contender goes: runs it once under strace in
the benchmark's setting and prints a timeline, in ms from the exec, of the
library loads, the connections (X, session bus, the fixture site), the
processes WebKit starts, the main window's MapNotify and the page's beacon.
strace slows the traced processes down; read the gaps, not the totals.

With --perf it instead samples the whole process tree with perf (cpu-clock,
call graphs) over a window after the page's load, or while the benchmark's
text is typed into the page (--typing), and prints where the CPU went: per process and thread, then per thread, library and function, in % of
one core. @URL@ in the arguments stands for the typing page.

  profile.py [--env NAME=VALUE ...] [PROGRAM [ARGS...]]
  profile.py --perf [--start 2] [--seconds 6] [--typing] [PROGRAM [ARGS...]]
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import benchmark  # noqa: E402
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
    p.add_argument("--keep", help="copy the full trace (or perf.data) to this file")
    p.add_argument("--perf", action="store_true", help="sample the tree with perf after the load")
    p.add_argument("--typing", action="store_true",
                   help="--perf: sample while the benchmark's text is typed into the page")
    p.add_argument("--start", type=float, default=2.0, help="--perf: seconds after the load")
    p.add_argument("--seconds", type=float, default=6.0, help="--perf: how long to sample")
    p.add_argument("--frequency", type=int, default=997, help="--perf: samples per second")
    p.add_argument("--call-graph", default="fp", help="--perf: fp or dwarf (slower, deeper)")
    p.add_argument("argv", nargs="*", default=[str(ROOT / "build/bench/bin/tavrino")])
    args = p.parse_args()
    if not os.environ.get(harness.NETNS_ENV):
        return harness.run_in_netns()
    argv = [a.replace("@URL@", TYPING_URL) for a in args.argv]
    with harness.Session() as session:
        session.env.update(dict(e.split("=", 1) for e in args.env))
        if args.perf:
            return perf_profile(session, argv, args)
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


def perf_profile(session, argv, args):
    """Samples the contender's process tree from `start` s after the load for
    `seconds` s (or, with --typing, while the benchmark's text is typed into
    the page) and prints where the CPU time went."""
    t0, proc = session.spawn(argv, "perf")
    data = session.tmp / "perf.data"
    try:
        mapped = session.x.wait_map(t0, lambda w: benchmark.is_main_window(session.x, w), 60)
        loaded = session.site.wait_beacon("encrypted", t0, 60)
        if mapped is None or loaded is None:
            print("the window did not map or the page did not load", file=sys.stderr)
            return 1
        print(f"page loaded {(loaded - t0) * 1000:.0f} ms after the exec")
        time.sleep(max(0.0, loaded + args.start - time.monotonic()))
        if args.typing:
            if benchmark.focus_input(session, mapped[1]) is None:
                print("the input field did not take the focus", file=sys.stderr)
                return 1
            args.seconds = len(benchmark.TEXT) * benchmark.KEY_INTERVAL + 0.2
        tree = harness.process_tree(proc.pid)
        before = harness.cpu_ticks(tree)
        perf = subprocess.Popen(["perf", "record", "-q", "-e", "cpu-clock", "-F",
                                 str(args.frequency), "--call-graph", args.call_graph, "-o",
                                 str(data), "-p", ",".join(map(str, tree)), "--", "sleep",
                                 str(args.seconds)],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if args.typing:
            time.sleep(0.1)
            session.x.type_text(benchmark.TEXT, benchmark.KEY_INTERVAL)
        perf.wait()
        after = harness.cpu_ticks(tree)
        used = sum(t - before.get(p, 0) for p, t in after.items()) / os.sysconf("SC_CLK_TCK")
        what = "while typing" if args.typing else f"from load+{args.start:g} s"
        print(f"CPU of the tree {what} for {args.seconds:g} s: "
              f"{used / args.seconds * 100:.1f} % of one core (from /proc)")
    finally:
        session.end(proc)
    if args.keep:
        shutil.copyfile(data, args.keep)
    scale = 100.0 / (args.frequency * args.seconds)  # samples -> % of one core

    def report(sort, limit):
        out = subprocess.run(["perf", "report", "-i", str(data), "--stdio", "--no-children",
                              "-g", "none", "-F", "sample," + sort, "--percent-limit",
                              str(limit)], capture_output=True, text=True).stdout
        for line in out.splitlines():
            if line.strip() and not line.startswith("#"):
                samples, rest = line.split(None, 1)
                print(f"{int(samples) * scale:6.1f} %  {rest}")

    print("\nper process and thread (% of one core):")
    report("pid,comm", 0.5)
    print("\nper thread, library and function (% of one core):")
    report("comm,dso,sym", 0.5)
    return 0


if __name__ == "__main__":
    sys.exit(main())
