#!/usr/bin/python3
"""Endurance run of the Tavrino program under Xvfb and openbox.

Rounds of "Update" then "Click here to close", and of "About" then "Close";
resizes of the main window, some with a minimize and a restore; reloads of
the typing page, which the fixture site asks the page to do. After a warm-up
it checks that no round failed, that the main process's resident memory did
not grow (see BLOCK and GROWTH_*), and that its open file descriptors and its child
processes came back to their counts. The process tree's PSS is printed by
kind (private anonymous memory, mapped files, shared memory) and by process.
Timings are printed, never checked.

  soak.py            the full run: 500 rounds after 60 warm-up rounds
  soak.py --short    40 rounds after 60 warm-up rounds (ctest, label "soak")

Exit status: 0 all held, 1 something failed, 77 cannot run here (not root).
"""

import argparse
import os
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402
from harness import log, median  # noqa: E402

ROOT = Path(__file__).resolve().parent.parent
MAIN_TITLE = "Tavrino 1.5"
UPDATES_TITLE = "Form1"
ABOUT_TITLE = "About - Tavrino 1.5"


def layout_places(program):
    """The places the run clicks, from the layout tables of the program's
    build (layouts.json beside its bin/ folder)."""
    sys.path.insert(0, str(ROOT / "tests"))
    from layouts import Layouts
    layouts = Layouts.of_build(str(Path(program).resolve().parent.parent))
    return {
        "base_size": layouts.inner("frmDownloadDisplay"),
        "update": layouts.centre("frmDownloadDisplay", "Command1"),
        "about": layouts.centre("frmDownloadDisplay", "Command2"),
        "close_updates": layouts.centre("Form1", "Label3"),
        "close_about": layouts.centre("frmabout", "Command1"),
    }


RESIZES = [(600, 450), (1200, 900), (800, 600), (1024, 768), (700, 820), (1300, 700)]
MiB = 1024
# The main process's resident size after each round holds still within some
# 0.1 MiB between resizes, and at a resize may step up or down by as much as
# the largest window's buffer (about 5 MiB), and keep that: whether the
# allocator can give back the top of its heap depends on what was allocated
# above the freed buffer. A leak is a slope instead, so the check takes the
# median of the round-to-round changes (the resize rounds are a few of them
# and move it not at all), and bounds the overall growth between the medians
# of the last BLOCK rounds of the warm-up and of the run by twice that step.
BLOCK = 20
GROWTH_PER_ROUND = 20  # KiB, the median change; a 64 KiB-a-round leak is 3x this
GROWTH_MAX = 10 * MiB  # overall, for a leak that comes in lumps
SETTLE = 0.15
RELAYOUT = 0.3


class Failure(Exception):
    pass


class Soak:
    def __init__(self, session, proc, timeout, places):
        self.s = session
        self.places = places
        self.x = session.x
        self.site = session.site
        self.proc = proc
        self.timeout = timeout
        self.main = None
        self.steps = 0
        self.rss_after_round = []
        self.timings = {"update": [], "about": [], "resize": [], "reload": []}

    def alive(self):
        if self.proc.poll() is not None:
            raise Failure(f"the program ended with status {self.proc.returncode}")

    def xdotool(self, *args):
        subprocess.run(["xdotool"] + [str(a) for a in args], env=self.s.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=10)

    def start(self):
        self.main = self.x.wait_for(MAIN_TITLE, True, 30)
        if self.main is None:
            raise Failure("the main window did not appear")
        if not self.site.wait_count("encrypted", 1, 30):
            raise Failure("the typing page did not load")
        self.restore_size()

    def open_and_close(self, button, title, close_at, page=None):
        self.alive()
        loads = self.site.count(page) if page else 0
        t0 = time.monotonic()
        self.x.click(self.main, *button)
        win = self.x.wait_for(title, True, self.timeout)
        if win is None:
            raise Failure(f'"{title}" did not appear; main window at {self.x.geometry(self.main)}, '
                          f'windows: {[self.x.title(w) for w in self.x.clients()]}, '
                          f'after {self.steps} steps')
        if page and not self.site.wait_count(page, loads + 1, self.timeout):
            raise Failure(f'"{title}" did not load its page')
        # A click that arrives before the window has taken its first frame
        # can miss; give GTK a moment once the window manager has shown it.
        time.sleep(SETTLE)
        self.x.click(win, *close_at)
        if self.x.wait_for(title, False, self.timeout) is None:
            raise Failure(f'"{title}" did not go')
        return time.monotonic() - t0

    def update_round(self):
        self.steps += 1
        self.timings["update"].append(
            self.open_and_close(self.places["update"], UPDATES_TITLE,
                                self.places["close_updates"], "updates"))

    def about_round(self):
        self.steps += 1
        self.timings["about"].append(self.open_and_close(self.places["about"], ABOUT_TITLE,
                                                             self.places["close_about"]))

    def wait_size(self, size):
        deadline = time.monotonic() + self.timeout
        while time.monotonic() < deadline:
            g = self.x.geometry(self.main)
            if g and (g[2], g[3]) == size:
                return True
            time.sleep(0.01)
        return False

    def restore_size(self):
        self.xdotool("windowsize", self.main, *self.places["base_size"])
        if not self.wait_size(self.places["base_size"]):
            raise Failure(f"the main window did not return to {self.places['base_size']}: "
                          f"{self.x.geometry(self.main)}")
        # The X window has its size; let GTK lay out its buttons again before
        # the next click aims at them.
        time.sleep(RELAYOUT)

    def resize_round(self, n, minimize):
        """Two resizes: to another size and back; with minimize, the window is
        minimized and restored in between."""
        self.alive()
        t0 = time.monotonic()
        size = RESIZES[n % len(RESIZES)]
        self.xdotool("windowsize", self.main, *size)
        if not self.wait_size(size):
            raise Failure(f"the main window did not take the size {size}: "
                          f"{self.x.geometry(self.main)}")
        if minimize:
            self.xdotool("windowminimize", self.main)
            if not self.wait_viewable(False):
                raise Failure("the main window did not minimize")
            self.xdotool("windowactivate", self.main)
            if not self.wait_viewable(True):
                raise Failure("the main window did not come back from minimized")
        self.restore_size()
        self.timings["resize"].append(time.monotonic() - t0)

    def wait_viewable(self, viewable):
        deadline = time.monotonic() + self.timeout
        while time.monotonic() < deadline:
            if self.x.viewable(self.main) == viewable:
                return True
            time.sleep(0.01)
        return False

    def reload_round(self):
        self.alive()
        loads = self.site.count("encrypted")
        t0 = time.monotonic()
        self.site.request_reload()
        if not self.site.wait_count("encrypted", loads + 1, self.timeout):
            raise Failure("the typing page did not reload")
        self.timings["reload"].append(time.monotonic() - t0)

    def rounds(self, count, resizes, reloads):
        """`count` rounds with the resize rounds of `resizes`, a list of
        (size number, minimize), and `reloads` reloads spread evenly over
        them. Returns how many of each ran."""
        done = {"rounds": 0, "resizes": 0, "minimizes": 0, "reloads": 0}
        for i in range(count):
            self.update_round()
            self.about_round()
            if (i + 1) * len(resizes) // count > i * len(resizes) // count:
                n, minimize = resizes[done["resizes"] // 2]
                self.resize_round(n, minimize)
                done["resizes"] += 2
                done["minimizes"] += minimize
            if (i + 1) * reloads // count > i * reloads // count:
                self.reload_round()
                done["reloads"] += 1
            done["rounds"] += 1
            self.rss_after_round.append(harness.vmrss_kib(self.proc.pid))
            if (i + 1) % 50 == 0:
                log(f"round {i + 1}: VmRSS {harness.vmrss_kib(self.proc.pid) / MiB:.1f} MiB, "
                    f"{len(harness.descendants(self.proc.pid))} child processes")
        return done

    def sample(self):
        """Figures of the program once its children have settled: the count
        of its child processes has held still for 2 s (at most 30 s)."""
        pid = self.proc.pid
        deadline = time.monotonic() + 30
        last, since = None, time.monotonic()
        while time.monotonic() < deadline:
            kids = harness.descendants(pid)
            if len(kids) != last:
                last, since = len(kids), time.monotonic()
            elif time.monotonic() - since >= 2:
                break
            time.sleep(0.1)
        series = self.rss_after_round
        self.rss_after_round = []
        changes = [b - a for a, b in zip(series, series[1:])]
        tree = harness.process_tree(pid)
        return {"rss": median(series[-BLOCK:]), "per_round": median(changes),
                "steps": [(i + 1, c) for i, c in enumerate(changes) if abs(c) >= MiB],
                "pss": pss_by_kind(tree),
                "fds": harness.fd_count(pid), "children": len(tree) - 1,
                "names": sorted(harness.comm(p) for p in tree if p != pid)}


def pss_by_kind(pids):
    """PSS of the process tree (KiB) by process name and kind: Pss_Anon is
    the processes' own memory; Pss_File and Pss_Shmem are pages of files and
    shared memory, whose share moves as other programs map the same files."""
    out = {}
    for pid in pids:
        name = "tavrino (main)" if pid == pids[0] else harness.comm(pid)
        row = out.setdefault(name, {"Pss_Anon": 0, "Pss_File": 0, "Pss_Shmem": 0, "count": 0})
        row["count"] += 1
        try:
            text = Path(f"/proc/{pid}/smaps_rollup").read_text()
        except OSError:
            continue
        for line in text.splitlines():
            key = line.split(":")[0]
            if key in row:
                row[key] += int(line.split()[1])
    return out


def pss_total(by_kind, kinds=("Pss_Anon", "Pss_File", "Pss_Shmem")):
    return sum(row[k] for row in by_kind.values() for k in kinds)


def check(base, end):
    """The invariants between the sample after the warm-up and the last."""
    problems = []
    if end["per_round"] > GROWTH_PER_ROUND:
        problems.append(f"resident memory grew by {end['per_round']:.1f} KiB a round "
                        f"(median change; at most {GROWTH_PER_ROUND})")
    growth = end["rss"] - base["rss"]
    if growth > GROWTH_MAX:
        problems.append(f"resident memory grew by {growth / MiB:.2f} MiB "
                        f"(at most {GROWTH_MAX / MiB:.0f})")
    if end["fds"] > base["fds"]:
        problems.append(f"open file descriptors: {base['fds']} -> {end['fds']}")
    if end["children"] != base["children"]:
        problems.append(f"child processes: {base['names']} -> {end['names']}")
    return problems


def main():
    p = argparse.ArgumentParser(description=__doc__,
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--program", default=str(ROOT / "build/bench/bin/tavrino"))
    p.add_argument("--short", action="store_true", help="the short mode run by ctest")
    p.add_argument("--timeout", type=float, default=15.0, help="seconds one step may take")
    p.add_argument("--env", action="append", default=[], help="NAME=VALUE for the program")
    args = p.parse_args()
    if args.short:
        plan = {"warmup": 60, "rounds": 40, "resizes": 8, "reloads": 2, "minimize_every": 2}
    else:
        plan = {"warmup": 60, "rounds": 500, "resizes": 200, "reloads": 50, "minimize_every": 10}
    if not os.environ.get(harness.NETNS_ENV):
        if not os.access(args.program, os.X_OK):
            log(f"not built: {args.program}")
            return 1
        return harness.run_in_netns()

    started = time.monotonic()
    with harness.Session(site_mode="soak", window_manager=True) as session:
        t0, proc = session.spawn([args.program], "tavrino",
                                 dict(e.split("=", 1) for e in args.env))
        soak = Soak(session, proc, args.timeout, layout_places(args.program))
        try:
            soak.start()
            # The warm-up takes the window to every size of the counted
            # rounds, with and without a minimize, and reloads the page, so
            # that the memory those need is taken before the first sample.
            warm = soak.rounds(plan["warmup"],
                               [(n, m) for m in (False, True) for n in range(len(RESIZES))], 5)
            base = soak.sample()
            counted = soak.rounds(plan["rounds"],
                                  [(n, n % plan["minimize_every"] == 0)
                                   for n in range(1, plan["resizes"] // 2 + 1)],
                                  plan["reloads"])
            end = soak.sample()
            # A descriptor can be open for a moment (a request in flight);
            # give the count up to 10 s to come back.
            deadline = time.monotonic() + 10
            while end["fds"] > base["fds"] and time.monotonic() < deadline:
                time.sleep(0.2)
                end["fds"] = harness.fd_count(proc.pid)
        except Failure as e:
            log(f"FAILED: {e}")
            log((session.tmp / "tavrino.log").read_bytes().decode(errors="replace")[-3000:])
            return 1
        finally:
            elapsed = time.monotonic() - started
        problems = check(base, end)
        print(f"warm-up: {warm}")
        print(f"counted: {counted} (no round failed)")
        growth = end["rss"] - base["rss"]
        print(f"main process VmRSS (median of the last {BLOCK} rounds): "
              f"{base['rss'] / MiB:.2f} MiB -> {end['rss'] / MiB:.2f} MiB "
              f"({growth / MiB:+.2f} MiB); median change {end['per_round']:+.1f} KiB a round "
              f"(warm-up {base['per_round']:+.1f}); {len(end['steps'])} steps of 1 MiB or more"
              + (f", the largest {max((c for _, c in end['steps']), key=abs) / MiB:+.1f} MiB, "
                 f"the first after round {end['steps'][0][0]}" if end["steps"] else ""))
        for kinds, label in ((("Pss_Anon", "Pss_File", "Pss_Shmem"), "process tree PSS"),
                             (("Pss_Anon",), "  of it the processes' own (anonymous)"),
                             (("Pss_File", "Pss_Shmem"), "  of it files and shared memory")):
            b, e = pss_total(base["pss"], kinds), pss_total(end["pss"], kinds)
            print(f"{label}: {b / MiB:.1f} MiB -> {e / MiB:.1f} MiB ({(e - b) / MiB:+.1f} MiB)")
        for name in sorted(set(base["pss"]) | set(end["pss"])):
            zero = {"Pss_Anon": 0, "Pss_File": 0, "Pss_Shmem": 0, "count": 0}
            b, e = base["pss"].get(name, zero), end["pss"].get(name, zero)
            print(f"  {name} (x{e['count']}): own {b['Pss_Anon'] / MiB:.1f} -> "
                  f"{e['Pss_Anon'] / MiB:.1f} MiB, files and shared "
                  f"{(b['Pss_File'] + b['Pss_Shmem']) / MiB:.1f} -> "
                  f"{(e['Pss_File'] + e['Pss_Shmem']) / MiB:.1f} MiB")
        print(f"open file descriptors: {base['fds']} -> {end['fds']}")
        print(f"child processes: {base['children']} -> {end['children']} ({', '.join(end['names'])})")
        for key, vals in soak.timings.items():
            if vals:
                print(f"{key} round: median {median(vals) * 1000:.0f} ms, "
                      f"max {max(vals) * 1000:.0f} ms, {len(vals)} rounds")
        print(f"elapsed: {elapsed:.0f} s")
        for problem in problems:
            print(f"FAILED: {problem}")
        session.end(proc)
        return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
