#!/usr/bin/python3
"""Start-up speed, memory and idle cost of the Tavrino program against
Chromium's app window and a bare WebKitGTK window, on the same fixture page.

Contenders run one at a time, alternating (A B C D A B C D ...), after one
warm-up round. For each run it measures:
  map      exec to the main window mapped (X MapNotify)
  load     exec to the page's onload beacon reaching the fixture site
  pss      PSS of the whole process tree 2 s after the load
  idle     CPU time of the tree over the idle period, as % of one core
  threads  the main process's threads (names from /proc/PID/task/*/comm)
  typing   a fixed text typed into the page's input field at a steady pace:
           per keystroke the time from the key sent to the page's input
           handler and to the next animation frame after it, and the CPU of
           the tree while typing
and, for the program only, "Update" clicked to the updates window mapped
(upd_map) and to the updates page loaded (upd_load).

Run as root (it creates a network namespace); see --help.
"""

import argparse
import json
import os
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402
from harness import TYPING_URL, log, median  # noqa: E402

ROOT = Path(__file__).resolve().parent.parent
# The main window's inner size and "Update", from the layout tables of the
# program's build (layouts.json); set in main().
WIDTH, HEIGHT = 0, 0
UPDATE_BUTTON = (0, 0)


def load_layouts(program):
    global WIDTH, HEIGHT, UPDATE_BUTTON
    sys.path.insert(0, str(ROOT / "tests"))
    from layouts import Layouts
    layouts = Layouts.of_build(str(Path(program).resolve().parent.parent))
    WIDTH, HEIGHT = layouts.inner("frmDownloadDisplay")
    UPDATE_BUTTON = layouts.centre("frmDownloadDisplay", "Command1")
CLK_TCK = os.sysconf("SC_CLK_TCK")
CONTENDERS = ["tavrino", "chromium", "bare", "bare-prog", "bare-disk"]
DEFAULT_CONTENDERS = CONTENDERS[:4]
# What the benchmark types: lower-case letters and spaces, 80 keys, which the
# page converts as they come.
TEXT = "namaste mero naam ram ho ma kathmandu ma baschhu ra nepali bhasha ma lekhchhu aa"
# A point inside the page's input field, in window coordinates: the pane fills
# the program's window and the bare one; Chromium's app window draws its own
# title bar above the page.
INPUT_FIELD = (100, 120)
KEY_INTERVAL = 0.1


def contenders(args):
    chromium = ["chromium", f"--app={TYPING_URL}", f"--window-size={WIDTH},{HEIGHT}",
                "--window-position=0,0", "--no-first-run", "--disable-background-networking",
                "--disable-sync", "--disable-component-update", "--disable-quic", "--no-sandbox"]
    bare = [args.bare, "--size", f"{WIDTH}x{HEIGHT}", TYPING_URL]
    table = {
        "tavrino": ([args.program], {}),
        "chromium": (chromium, {}),
        "bare": (bare, {}),
        # The program's settings, its ephemeral network session included.
        "bare-prog": ([args.bare, "--program-settings", "--ephemeral"] + bare[1:], {}),
        # The same with WebKit's default network session and its disk cache.
        "bare-disk": ([args.bare, "--program-settings"] + bare[1:], {}),
    }
    extra = dict(e.split("=", 1) for e in args.env)
    chosen = {name: (table[name][0], dict(table[name][1], **extra)) for name in args.only}
    if args.variant_env:
        # The program once more, with some variables set: an A/B of a setting
        # within one alternating run.
        chosen["tavrino-var"] = ([args.program],
                                 dict(extra, **dict(e.split("=", 1) for e in args.variant_env)))
    return chosen


def is_main_window(x, wid):
    g = x.geometry(wid)
    return g is not None and g[2] >= 300 and g[3] >= 300


def cpu_percent(pid, seconds):
    """CPU time of the process tree over the next `seconds`, in % of one core."""
    before = harness.cpu_ticks(harness.process_tree(pid))
    time.sleep(seconds)
    after = harness.cpu_ticks(harness.process_tree(pid))
    used = sum(t - before.get(p, 0) for p, t in after.items())
    return used / CLK_TCK / seconds * 100


def one_run(session, name, argv, env, args):
    result = {"contender": name}
    label = f"{name}-{time.monotonic_ns()}"
    if argv[0] == "chromium":
        argv = argv + [f"--user-data-dir={session.tmp}/{label}-chromium"]
    t0, proc = session.spawn(argv, label, env)
    try:
        mapped = session.x.wait_map(t0, lambda w: is_main_window(session.x, w), 30)
        loaded = session.site.wait_beacon("encrypted", t0, 30)
        if mapped is None or loaded is None:
            result["error"] = "no window" if mapped is None else "page not loaded"
            return result
        result["map"] = (mapped[0] - t0) * 1000
        result["load"] = (loaded - t0) * 1000
        time.sleep(max(0.0, loaded + 2.0 - time.monotonic()))
        tree = harness.process_tree(proc.pid)
        result["pss"] = harness.pss_kib(tree) / 1024
        result["procs"] = [harness.comm(p) for p in tree]

        # WebKit keeps painting for a few seconds after the load (its overlay
        # scrollbars fade out); that is counted apart as "settle", and the idle
        # period starts once it is over.
        settle = loaded + args.idle_after - time.monotonic()
        result["settle"] = cpu_percent(proc.pid, settle)
        result["idle"] = cpu_percent(proc.pid, args.idle)
        result["threads"] = harness.threads(proc.pid)

        error = typing(session, proc, mapped[1], result, args)
        if error:
            result["error"] = error
            return result

        if name.startswith("tavrino"):
            clicked = session.x.click(mapped[1], *UPDATE_BUTTON)
            shown = session.x.wait_map(clicked, lambda w: session.x.title(w) == "Form1", 15)
            upd = session.site.wait_beacon("updates", clicked, 15)
            if shown is None or upd is None:
                result["error"] = "updates window not shown" if shown is None else \
                    "updates page not loaded"
                return result
            result["upd_map"] = (shown[0] - clicked) * 1000
            result["upd_load"] = (upd - clicked) * 1000
        return result
    finally:
        session.end(proc)


def focus_input(session, wid):
    """Clicks into the page's input field; the time the page reported its
    focus, or None."""
    session.x.focus(wid)
    clicked = session.x.click(wid, *INPUT_FIELD)
    focused = None if clicked is None else session.site.wait_beacon("focus", clicked - 0.1, 5)
    time.sleep(0.5)  # the click's own repaint is over
    return focused


def typing(session, proc, wid, result, args):
    """Types TEXT into the page's input field and records, per keystroke, the
    time from the key sent to the input handler and to the next frame, and the
    CPU of the tree while typing. Returns an error text or None."""
    if focus_input(session, wid) is None:
        return "the input field did not take the focus"
    session.site.take_typed(0, 0)  # nothing typed yet: drop strays
    before = harness.cpu_ticks(harness.process_tree(proc.pid))
    t_start = time.monotonic()
    sent = session.x.type_text(TEXT, args.key_interval)
    time.sleep(args.key_interval)
    after = harness.cpu_ticks(harness.process_tree(proc.pid))
    used = sum(t - before.get(p, 0) for p, t in after.items())
    result["type_cpu"] = used / CLK_TCK / (time.monotonic() - t_start) * 100
    entries = session.site.take_typed(len(TEXT), 10)
    to_input, to_frame, seen = [], [], set()
    for e in entries:
        i = e.get("n", 0) - 1
        if not 0 <= i < len(sent) or i in seen:
            continue  # not one key's entry (a lost or doubled key)
        seen.add(i)
        to_input.append(e["input"] - sent[i] * 1000)
        if e.get("frame"):
            to_frame.append(e["frame"] - sent[i] * 1000)
    result["keys"] = {"input": to_input, "frame": to_frame}
    result["keys_lost"] = len(TEXT) - len(seen)
    if len(seen) < len(TEXT) // 2:
        return f"only {len(seen)} of {len(TEXT)} keystrokes reached the page"
    return None


def typed_summary(r):
    keys = r.get("keys")
    if not keys or not keys["input"] or not keys["frame"]:
        return ""
    return (f" keys: input med {median(keys['input']):.1f} ms, "
            f"frame med {median(keys['frame']):.1f} ms")


def percentile(values, q):
    s = sorted(values)
    return s[min(len(s) - 1, int(round(q / 100 * (len(s) - 1))))]


METRICS = [("map", "ms", "exec to main window mapped"),
           ("load", "ms", "exec to typing page loaded"),
           ("pss", "MiB", "PSS of the tree, 2 s after load"),
           ("settle", "%", "CPU of the tree from 2 s after load to the idle period"),
           ("idle", "%", "idle CPU of the tree, % of one core"),
           ("type_cpu", "%", "CPU of the tree while typing, % of one core"),
           ("upd_map", "ms", "Update clicked to updates window mapped"),
           ("upd_load", "ms", "Update clicked to updates page loaded")]


def report(runs, names, key_interval=KEY_INTERVAL):
    lines = []
    cpu = next((line.split(":", 1)[1].strip() for line in
                Path("/proc/cpuinfo").read_text().splitlines() if line.startswith("model name")),
               "?")
    lines.append(f"machine: {os.cpu_count()} CPUs, {cpu}; "
                 f"counted runs per contender: {len(runs[names[0]])}")
    stats = {}
    header = f"{'metric':<10}{'unit':<5}" + "".join(f"{n + ' med [min-max]':>28}" for n in names)
    lines.append(header)
    for key, unit, _ in METRICS:
        cells = []
        for n in names:
            vals = [r[key] for r in runs[n] if key in r]
            if not vals:
                cells.append(f"{'-':>28}")
                continue
            stats[(n, key)] = median(vals)
            cells.append(f"{median(vals):>10.1f} [{min(vals):.1f}-{max(vals):.1f}]".rjust(28))
        lines.append(f"{key:<10}{unit:<5}" + "".join(cells))
    # Keystrokes: every keystroke of every counted run, pooled.
    for kind in ("input", "frame"):
        for q, label in ((50, "med"), (95, "p95")):
            key = f"key_{kind}_{label}"
            cells = []
            for n in names:
                vals = [v for r in runs[n] for v in r.get("keys", {}).get(kind, [])]
                if not vals:
                    cells.append(f"{'-':>28}")
                    continue
                stats[(n, key)] = percentile(vals, q)
                cells.append(f"{stats[(n, key)]:>10.1f} [n={len(vals)}]".rjust(28))
            lines.append(f"{key:<16}{'ms':<3}" + "".join(cells)[2:])
    lost = {n: sum(r.get("keys_lost", 0) for r in runs[n]) for n in names}
    lines.append("keystrokes lost: " + ", ".join(f"{n} {lost[n]}" for n in names))
    lines.append("")
    lines.append("ratios of medians (row / column):")
    for key in ("map", "load", "pss", "settle", "type_cpu", "key_input_med", "key_input_p95",
                "key_frame_med", "key_frame_p95", "upd_map", "upd_load"):
        for a in names:
            cells = []
            for b in names:
                if (a, key) in stats and (b, key) in stats and stats[(b, key)] > 0:
                    cells.append(f"{b}={stats[(a, key)] / stats[(b, key)]:.2f}")
            if cells:
                lines.append(f"  {key:<14}{a:<13}" + "  ".join(cells))
    lines.append("")
    for n in names:
        last = runs[n][-1] if runs[n] else {}
        if "threads" in last:
            lines.append(f"threads of {n} ({len(last['threads'])}): {', '.join(last['threads'])}")
            lines.append(f"processes of {n}: {', '.join(last['procs'])}")
    for key, unit, text in METRICS:
        lines.append(f"  {key}: {text}")
    lines.append(f"  key_input_*, key_frame_*: key sent to the page's input handler and to the "
                 f"next animation frame after it, median and 95th percentile over all keystrokes "
                 f"({len(TEXT)} per run, one every {key_interval * 1000:.0f} ms)")
    return "\n".join(lines), stats


def install_missing():
    here = Path(__file__).resolve().parent
    wanted = ((here / "packages.txt").read_text() + (ROOT / "scripts/packages-bench.txt").read_text()).split()
    missing = [p for p in wanted if subprocess.run(
        ["dpkg-query", "-W", "-f=${Status}", p], capture_output=True,
        text=True).stdout.find("install ok installed") < 0]
    if missing:
        log("installing", *missing)
        env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
        subprocess.run(["apt-get", "update", "-q"], check=True, env=env)
        subprocess.run(["apt-get", "install", "-y", "-q", "--no-install-recommends"] + missing,
                       check=True, env=env)


def main():
    p = argparse.ArgumentParser(description=__doc__,
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--program", default=str(ROOT / "build/bench/bin/tavrino"))
    p.add_argument("--bare", default=str(ROOT / "build/bench/bench/bare_webview"))
    p.add_argument("--runs", type=int, default=7, help="counted runs per contender (>= 5)")
    p.add_argument("--idle", type=float, default=10.0, help="idle period in seconds")
    p.add_argument("--idle-after", type=float, default=8.0,
                   help="seconds after the load when the idle period starts")
    p.add_argument("--key-interval", type=float, default=KEY_INTERVAL,
                   help="seconds between two keystrokes while typing")
    p.add_argument("--only", nargs="+", default=DEFAULT_CONTENDERS, choices=CONTENDERS)
    p.add_argument("--env", action="append", default=[], metavar="NAME=VALUE",
                   help="set in every contender's environment (for experiments)")
    p.add_argument("--variant-env", action="append", default=[], metavar="NAME=VALUE",
                   help="add the contender tavrino-var: the program with this variable set")
    p.add_argument("--json", help="also write every run's figures to this file")
    args = p.parse_args()
    if not os.environ.get(harness.NETNS_ENV):
        if os.geteuid() == 0:
            install_missing()
        needed = ([args.program] if "tavrino" in args.only or args.variant_env else []) + \
            ([args.bare] if {"bare", "bare-prog", "bare-disk"} & set(args.only) else [])
        for path in needed:
            if not os.access(path, os.X_OK):
                log(f"not built: {path} (build with cmake into build/bench)")
                return 2
        return harness.run_in_netns()

    load_layouts(args.program)
    table = contenders(args)
    names = list(table)
    runs = {n: [] for n in names}
    with harness.Session() as session:
        for round_no in range(args.runs + 1):
            for n in names:
                r = one_run(session, n, *table[n], args)
                log(f"round {round_no}{' (warm-up)' if round_no == 0 else ''}: "
                    + json.dumps({k: (round(v, 1) if isinstance(v, float) else v)
                                  for k, v in r.items() if k not in ("threads", "procs", "keys")})
                    + typed_summary(r))
                if "error" in r:
                    log(f"{n} failed: {r['error']}")
                    for f in sorted(session.tmp.glob(f"{n}-*.log"))[-1:]:
                        log(f.read_text(errors="replace")[-3000:])
                    return 1
                if round_no:
                    runs[n].append(r)
    text, _ = report(runs, names, args.key_interval)
    print(text)
    if args.json:
        Path(args.json).write_text(json.dumps(runs, indent=1))
    return 0


if __name__ == "__main__":
    sys.exit(main())
