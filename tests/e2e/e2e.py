#!/usr/bin/env python3
"""End-to-end tests of the shipped tavrino binary in real windows.

Each scenario gets a world of its own: a network namespace whose loopback
carries 192.0.2.1 with both site hosts mapped to it, the fixture web site
bound there, Xvfb and openbox, and a copy of the binary beside recorder
programs named explorer and start.exe. The driver clicks with xdotool at the
controls' stored places, reads pixels from screenshots, and counts the GETs
the fixture site logged. Everything it started is ended, and the namespace
and temporary files removed, also when a check fails. The hostile_* scenarios
serve a site of their own (hostile/<name> beside this file) whose typing page
does what a hostile page can: download, store, open other schemes and windows,
busy-loop.

Run: e2e.py --binary BIN --build-dir DIR --cmake CMAKE --recorder REC
            --wm-close PROG --site DIR
            --product-host H --maker-host H SCENARIO
Needs root (for the namespace); fails loudly without it.
"""

import argparse
import ctypes
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import linux_harness as lh  # noqa: E402
from layouts import Layouts  # noqa: E402

SCREEN_W, SCREEN_H = 1280, 1024
T0 = time.monotonic()
NETNS_PREFIX = "tavrino-e2e-"


def px(twips):
    """Twips to pixels at 96 dpi, rounded like the program does."""
    return int(round(twips / 15.0))


def centre(left, top, width, height, dx=0, dy=0):
    """Centre of a stored rectangle (twips), in pixels, plus an offset."""
    return px(left + width / 2) + dx, px(top + height / 2) + dy


# Stored places (twips) from the layout tables, measured from each window's
# inner top-left corner; controls inside a picture box include its offset.
# Filled from the build's layouts.json when the driver starts.
MAIN = {}
MAIN_INNER = ()
UPDATES = {}
ABOUT = {}


def load_layouts(build_dir):
    global MAIN_INNER
    layouts = Layouts.of_build(build_dir)
    for places, window, names in (
            (MAIN, "frmDownloadDisplay", {"about": "Command2", "update": "Command1",
                                          "exit": "Command6", "credit": "Label3"}),
            (UPDATES, "Form1", {"close": "Label3", "link": "Label2(1)"}),
            (ABOUT, "frmabout", {"close": "Command1", "link": "lblURL(1)"})):
        places.update({key: layouts.rect(window, control) for key, control in names.items()})
    MAIN_INNER = layouts.inner("frmDownloadDisplay")


PAGE_GREEN = (0x1E, 0x96, 0x50)
UPDATES_BLUE = (0x30, 0x60, 0xC0)
LIGHT_GREY = (192, 192, 192)


class Failure(Exception):
    pass


def check(cond, what):
    if not cond:
        raise Failure(what)
    print("  ok (%5.1f s): %s" % (time.monotonic() - T0, what), flush=True)


def near(c, ref, tol=12):
    return all(abs(a - b) <= tol for a, b in zip(c, ref))


def wait_for(pred, timeout, what, step=0.1):
    end = time.monotonic() + timeout
    while True:
        v = pred()
        if v:
            return v
        if time.monotonic() > end:
            raise Failure("timed out waiting for " + what)
        time.sleep(step)


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, capture_output=True, text=True, **kw).stdout


def set_subreaper():
    # Orphaned descendants of the program come back to us, so that none can
    # escape the check that nothing was left behind.
    libc = ctypes.CDLL(None, use_errno=True)
    PR_SET_CHILD_SUBREAPER = 36
    if libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
        raise OSError(ctypes.get_errno(), "prctl(PR_SET_CHILD_SUBREAPER)")


def die_with_driver():
    # Run in each child before exec: if the driver itself is killed (a ctest
    # timeout), what it started goes with it.
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None).prctl(PR_SET_PDEATHSIG, signal.SIGKILL, 0, 0, 0)


class World(lh.Scope):
    """The namespace, the site, the display and the program of one scenario."""

    def __init__(self, args, name, serve=True, recorders=True, install=False, pages=None,
                 site=None):
        self.args = args
        # Pages served in place of the site's own: {served path: fixture file
        # beside this script}.
        self.pages = pages or {}
        # A hostile site, served in place of the whole site: hostile/<name>
        # beside this script.
        self.hostile_site = site
        self.ns = lh.netns_name(NETNS_PREFIX)
        self.tmp = tempfile.mkdtemp(prefix="tavrino-e2e-%s-" % name)
        self.procs = {}  # name -> Popen, each the leader of its own group
        self.program = None
        self.serve = serve
        self.recorders = recorders
        self.install = install
        self.netns_made = False
        self.display = None

    # ---- set-up

    def ns_cmd(self, cmd):
        return ["ip", "netns", "exec", self.ns] + cmd

    def _setup(self):
        try:
            lh.create_netns(self.ns, [self.args.product_host, self.args.maker_host])
        except RuntimeError as e:
            raise Failure(str(e))
        self.netns_made = True

        self.site = self.args.site
        if self.hostile_site:
            self.site = os.path.join(self.args.e2e_dir, "hostile", self.hostile_site)
        if self.pages:
            self.site = os.path.join(self.tmp, "site")
            shutil.copytree(self.args.site, self.site)
            for served, fixture in self.pages.items():
                shutil.copy(os.path.join(self.args.e2e_dir, fixture),
                            os.path.join(self.site, served))
        self.gets_log = os.path.join(self.tmp, "gets.log")
        open(self.gets_log, "w").close()
        if self.serve:
            self.start_server()

        # Home, configuration and a default browser that records what it is
        # asked to open (for help and for the helper programs).
        home = os.path.join(self.tmp, "home")
        for d in ("home/.config", "home/.local/share/applications", "home/.cache",
                  "runtime", "browser"):
            os.makedirs(os.path.join(self.tmp, d), exist_ok=True)
        os.chmod(os.path.join(self.tmp, "runtime"), 0o700)
        browser = os.path.join(self.tmp, "browser", "browser")
        shutil.copy(self.args.recorder, browser)
        with open(os.path.join(home, ".local/share/applications/e2e-browser.desktop"), "w") as f:
            f.write("[Desktop Entry]\nType=Application\nName=E2E browser\n"
                    "Exec=%s %%u\nMimeType=x-scheme-handler/http;\n" % browser)
        with open(os.path.join(home, ".config/mimeapps.list"), "w") as f:
            f.write("[Default Applications]\nx-scheme-handler/http=e2e-browser.desktop\n")
        self.home = home

        # The program: a copy of the binary beside recorders (or nothing), or
        # an installation made by cmake --install.
        self.app_bin = os.path.join(self.tmp, "app", "bin")
        self.binary = os.path.join(self.app_bin, "tavrino")
        if self.install:
            run([self.args.cmake, "--install", self.args.build_dir, "--prefix",
                 os.path.join(self.tmp, "app")])
        else:
            os.makedirs(self.app_bin)
            shutil.copy(self.args.binary, self.binary)
        if self.recorders:
            for name in ("explorer", "start.exe"):
                shutil.copy(self.args.recorder, os.path.join(self.app_bin, name))

        self.env = {
            "PATH": "/usr/bin:/bin",
            "HOME": home,
            "XDG_CONFIG_HOME": os.path.join(home, ".config"),
            "XDG_DATA_HOME": os.path.join(home, ".local/share"),
            "XDG_CACHE_HOME": os.path.join(home, ".cache"),
            "XDG_RUNTIME_DIR": os.path.join(self.tmp, "runtime"),
            "DBUS_SESSION_BUS_ADDRESS": "unix:path=" + os.path.join(self.tmp, "no-bus"),
            "NO_AT_BRIDGE": "1",
            "GTK_A11Y": "none",
            "LANG": "C.UTF-8",
        }
        if self.args.renderer:
            self.env["GSK_RENDERER"] = self.args.renderer

        # Display numbers 100..999: below the benchmark's.
        self.display = lh.start_xvfb(lambda cmd, **kw: self.spawn("xvfb", cmd, **kw),
                                     lh.free_display_number(100, 300, 1000), SCREEN_W, SCREEN_H)
        self.env["DISPLAY"] = self.display
        lh.start_openbox(lambda cmd: self.spawn("openbox", cmd), self.display,
                         ["--config-file", "/dev/null"])

    def start_server(self):
        p = self.spawn("server", [sys.executable, os.path.join(self.args.e2e_dir,
                                                               "fixture_server.py"),
                                  "--bind", lh.ADDRESS, "--port", "80", "--root", self.site,
                                  "--log", self.gets_log], stdout=subprocess.PIPE)
        line = p.stdout.readline()
        if line.strip() != b"ready":
            raise Failure("fixture server did not start")

    def stop_server(self):
        self.kill("server")

    def spawn(self, name, cmd, stdout=None, env=None, pass_fds=()):
        log = open(os.path.join(self.tmp, name + ".log"), "w")
        p = subprocess.Popen(self.ns_cmd(cmd), stdout=stdout or log, stderr=log,
                             env=env or self.env_for_tools(), start_new_session=True,
                             preexec_fn=die_with_driver, pass_fds=pass_fds)
        self.procs[name] = p
        return p

    def env_for_tools(self):
        e = dict(self.env) if hasattr(self, "env") else {"PATH": "/usr/bin:/bin"}
        return e

    def xenv(self):
        return {"PATH": "/usr/bin:/bin:/usr/local/bin", "DISPLAY": self.display}

    def x(self, cmd, check_rc=False):
        r = subprocess.run(cmd, env=self.xenv(), capture_output=True, text=True)
        if check_rc and r.returncode != 0:
            raise Failure("%s failed: %s" % (" ".join(cmd), r.stderr))
        return r.stdout

    def kill(self, name):
        p = self.procs.pop(name, None)
        if not p:
            return
        if p.poll() is None:
            lh.kill_group(p.pid, 3.0, p)
        p.wait()

    def close(self):
        if self.program and self.program.poll() is None:
            try:
                os.killpg(self.program.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.program.wait()
        self.kill_leftovers()
        for name in list(self.procs)[::-1]:
            self.kill(name)
        if self.netns_made:
            lh.remove_netns(self.ns)
        shutil.rmtree(self.tmp, ignore_errors=True)

    def infra_pids(self):
        return {p.pid for p in self.procs.values()}

    def leftovers(self):
        return [p for p in lh.children_of(os.getpid()) if p not in self.infra_pids()]

    def kill_leftovers(self):
        for pid in self.leftovers():
            try:
                os.kill(pid, signal.SIGKILL)
                os.waitpid(pid, 0)
            except (ProcessLookupError, ChildProcessError):
                pass

    # ---- the program

    def start(self, extra_args=()):
        log = open(os.path.join(self.tmp, "program.log"), "w")
        self.program = subprocess.Popen(self.ns_cmd([self.binary] + list(extra_args)),
                                        stdout=log, stderr=log, env=self.env,
                                        start_new_session=True, preexec_fn=die_with_driver)
        self.main = self.wait_window("Tavrino 1.5")
        return self.main

    def program_log(self):
        with open(os.path.join(self.tmp, "program.log")) as f:
            return f.read()

    def alive(self):
        return self.program.poll() is None

    def windows(self, title):
        out = self.x(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % re.escape(title)])
        return [int(w) for w in out.split()]

    def wait_window(self, title, timeout=15):
        ws = wait_for(lambda: self.windows(title), timeout, "window '%s'" % title)
        check(len(ws) == 1, "one window titled '%s'" % title)
        w = ws[0]
        # Wait until the window manager has placed it and it has drawn.
        wait_for(lambda: self.geometry(w)[2] > 1, 5, "window '%s' mapped" % title)
        time.sleep(0.3)
        return w

    def wait_gone(self, title, timeout=10):
        wait_for(lambda: not self.windows(title), timeout, "window '%s' to go" % title)

    def geometry(self, w):
        """(x, y, width, height) of the window's inner area on the screen."""
        info = self.x(["xwininfo", "-id", str(w)])
        def field(name):
            m = re.search(r"%s:\s+(-?\d+)" % name, info)
            return int(m.group(1)) if m else 0
        return (field("Absolute upper-left X"), field("Absolute upper-left Y"),
                field("Width"), field("Height"))

    def click(self, w, point):
        # Brought to the front first: openbox may have placed another of the
        # program's windows over this one.
        self.x(["xdotool", "windowraise", str(w)])
        time.sleep(0.1)
        gx, gy, _, _ = self.geometry(w)
        # (Not --sync: it waits for a motion, and there is none when the
        # pointer already rests there.)
        self.x(["xdotool", "mousemove", str(gx + point[0]), str(gy + point[1])], check_rc=True)
        time.sleep(0.05)
        self.x(["xdotool", "click", "1"], check_rc=True)
        time.sleep(0.3)

    def activate(self, w):
        if self.x(["xdotool", "getactivewindow"]).strip() == str(w):
            return
        self.x(["xdotool", "windowactivate", str(w)])
        wait_for(lambda: self.x(["xdotool", "getactivewindow"]).strip() == str(w), 5,
                 "window %d to take the focus" % w)

    def key(self, w, key):
        self.activate(w)
        self.x(["xdotool", "key", key], check_rc=True)
        time.sleep(0.3)

    def type_text(self, w, text):
        self.activate(w)
        self.x(["xdotool", "type", "--delay", "50", text], check_rc=True)
        time.sleep(0.3)

    def screenshot(self):
        raw = subprocess.run(["import", "-window", "root", "-depth", "8", "rgb:-"],
                             env=self.xenv(), capture_output=True, check=True).stdout
        return Shot(raw)

    def pixel(self, w, point, shot=None):
        shot = shot or self.screenshot()
        gx, gy, _, _ = self.geometry(w)
        return shot.at(gx + point[0], gy + point[1])

    # ---- the site and the launches

    def gets(self, path_prefix=None):
        with open(self.gets_log) as f:
            lines = [l.split(" ", 1)[1].strip() for l in f if l.startswith("GET ")]
        if path_prefix is None:
            return lines
        return [l for l in lines if l == path_prefix or l.startswith(path_prefix)]

    def sizes(self):
        out = []
        for p in self.gets("/size?"):
            m = re.match(r"/size\?w=(\d+)&h=(\d+)", p)
            if m:
                out.append((int(m.group(1)), int(m.group(2))))
        return out

    def wait_size(self, size, timeout=10):
        wait_for(lambda: self.sizes() and self.sizes()[-1] == size, timeout,
                 "the page to report a pane of %s (last %s)" % (size, self.sizes()[-1:]))

    def field_events(self, page):
        """What the fixture field of that page reported, in the page's order:
        "focus", "blur" or "value=TEXT"."""
        out = []
        for p in self.gets("/field?"):
            m = re.match(r"/field\?in=([^&]*)&(.*)&n=(\d+)&t=\d+$", p)
            if m and m.group(1) == page:
                out.append((int(m.group(3)), urllib.parse.unquote(m.group(2))))
        return [e for _, e in sorted(out)]

    def launches(self, where="app"):
        d = self.app_bin if where == "app" else os.path.join(self.tmp, "browser")
        try:
            with open(os.path.join(d, "launches.log")) as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def launch_envs(self, where="app"):
        """The environment of each launch the recorders saw, as dicts."""
        d = self.app_bin if where == "app" else os.path.join(self.tmp, "browser")
        try:
            with open(os.path.join(d, "environ.log")) as f:
                lines = f.read().splitlines()
        except FileNotFoundError:
            return []
        return [dict(e.split("=", 1) for e in l.split("\0") if "=" in e) for l in lines]

    def home_tree(self):
        """Every file and folder under $HOME, relative to it."""
        out = set()
        for root, dirs, files in os.walk(self.home):
            for n in dirs + files:
                out.add(os.path.relpath(os.path.join(root, n), self.home))
        return out

    def home_bytes(self, paths):
        total = 0
        for p in paths:
            f = os.path.join(self.home, p)
            if os.path.isfile(f) and not os.path.islink(f):
                total += os.path.getsize(f)
        return total

    def wait_exit(self, timeout=15):
        try:
            rc = self.program.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end")
        return rc

    def check_nothing_left(self, within=8):
        """Nothing the program started runs `within` seconds after its end."""
        try:
            wait_for(lambda: not self.leftovers(), within, "no process left")
        except Failure:
            pass
        left = ["%d %s" % (p, lh.comm(p)) for p in self.leftovers()]
        if left:
            # How long they stay, for the report.
            t0 = time.monotonic()
            while self.leftovers() and time.monotonic() - t0 < 20:
                time.sleep(0.1)
            left.append("gone %.1f s later" % (time.monotonic() - t0))
        check(not left, "no process of the program left %g s after its end (%s)"
              % (within, ", ".join(left) or "none"))


class Shot:
    def __init__(self, raw):
        if len(raw) != SCREEN_W * SCREEN_H * 3:
            raise Failure("unexpected screenshot size %d" % len(raw))
        self.raw = raw

    def at(self, x, y):
        i = (y * SCREEN_W + x) * 3
        return tuple(self.raw[i:i + 3])


# ---- scenarios ---------------------------------------------------------------

def wait_page(world):
    wait_for(lambda: world.sizes(), 15, "the typing page to load")


def check_launch_environment(world, programs=True):
    """Launched programs and the browser get the environment the program was
    started with, not what it set for itself (GSK_RENDERER and the like)."""
    own = ("GSK_RENDERER", "MESA_SHADER_CACHE_DISABLE")
    envs = world.launch_envs("app")
    if programs:
        check(envs and all(e == world.env for e in envs),
              "launched programs get exactly the program's start environment (%s)"
              % [sorted(set(e.items()) ^ set(world.env.items())) for e in envs])
    browser = world.launch_envs("browser")
    check(browser and all(e.get(k) == v for e in browser for k, v in world.env.items())
          and not any(k in e for e in browser for k in own if k not in world.env),
          "the desktop's browser gets the start environment (%s)"
          % [{k: e.get(k) for k in own} for e in browser])


def scenario_start(world):
    """Start-up: one GET of the typing page, title, icon, and the stored layout
    as it shows: no grey, buttons over the pane, the credit label hidden."""
    w = world.start(["/ignored", "--arguments", "change nothing"])
    wait_page(world)
    time.sleep(0.5)
    check(world.gets("/1.5/encrypted.html") == ["/1.5/encrypted.html"],
          "one GET of /1.5/encrypted.html")
    check(world.x(["xdotool", "getwindowname", str(w)]).strip() == "Tavrino 1.5", "title")
    icon = world.x(["xprop", "-id", str(w), "_NET_WM_ICON"])
    check("Icon (16 x 16)" in icon and "Icon (32 x 32)" in icon,
          "window icon at 16 and 32 pixels")
    check(world.geometry(w)[2:] == MAIN_INNER, "inner size 935 x 743")
    check(world.sizes()[-1] == MAIN_INNER, "pane fitted to the inner area on first show")

    shot = world.screenshot()
    for p in [(5, 5), (930, 5), (5, 738), (930, 700), (467, 370)]:
        c = world.pixel(w, p, shot)
        check(near(c, PAGE_GREEN) and not near(c, LIGHT_GREY, 4),
              "page, not grey background, at %s (%s)" % (p, c))
    for name in ("about", "update", "exit"):
        c = world.pixel(w, centre(*MAIN[name], dy=-7), shot)
        check(not near(c, PAGE_GREEN, 40), "button '%s' shows over the pane (%s)" % (name, c))
    # The gap between "About" and "Update" lies over the credit label: the
    # pane shows there, never blue label text.
    for y in range(px(11040), MAIN_INNER[1]):
        for x in range(px(9840 + 1335) + 1, px(11280)):
            c = world.pixel(w, (x, y), shot)
            if not near(c, PAGE_GREEN, 20):
                raise Failure("credit label's place shows %s at %d,%d" % (c, x, y))
    check(True, "the credit label's place shows the page")
    # A click there reaches the pane: nothing is launched.
    world.click(w, (px(9840 + 1335) + 3, px(11040) + 3))
    time.sleep(0.5)
    check(world.launches() == [], "a click at the credit label's place launches nothing")

    world.click(w, centre(*MAIN["exit"]))
    check(world.wait_exit() == 0, "Exit ends the run with status 0")
    world.check_nothing_left()


def scenario_updates(world):
    """The updates window: one load per showing, the link label, closing."""
    w = world.start()
    wait_page(world)
    world.click(w, centre(*MAIN["update"]))
    u = world.wait_window("Form1")
    wait_for(lambda: world.gets("/1.5/updates.html"), 10, "GET of the updates page")
    check(world.geometry(u)[2:] == (448, 341), "updates window inner size 448 x 341")
    time.sleep(1.0)
    shot = world.screenshot()
    check(near(world.pixel(u, (200, 150), shot), UPDATES_BLUE), "updates page in the pane")
    strip = world.pixel(u, (5, 150), shot)
    check(not near(strip, UPDATES_BLUE, 30) and strip[2] > strip[0],
          "left strip shows its sky picture (%s)" % (strip,))

    world.click(w, centre(*MAIN["update"]))
    time.sleep(1.0)
    check(len(world.windows("Form1")) == 1, "'Update' again: still one updates window")
    check(len(world.gets("/1.5/updates.html")) == 1, "'Update' again: no second GET")

    world.click(u, centre(*UPDATES["link"], dx=-40))
    wait_for(lambda: world.launches(), 5, "a launch")
    check(world.launches() == ["explorer http://%s/" % world.args.maker_host],
          "link label launches explorer with the maker's root address")
    world.click(u, centre(*UPDATES["link"], dx=-40))
    wait_for(lambda: len(world.launches()) == 2, 5, "a second launch")
    check(len(world.windows("Form1")) == 1, "the updates window stays after a launch")

    world.click(u, centre(*UPDATES["close"]))
    world.wait_gone("Form1")
    check(world.alive(), "'Click here to close' closes the updates window only")
    world.click(w, centre(*MAIN["update"]))
    world.wait_window("Form1")
    wait_for(lambda: len(world.gets("/1.5/updates.html")) == 2, 10, "a fresh GET")
    check(True, "'Update' after closing loads the updates page afresh")
    # Closing the updates window ended its web process, and that one alone.
    check(world.gets("/1.5/encrypted.html") == ["/1.5/encrypted.html"],
          "the typing page was loaded once, never again")


def scenario_about(world):
    """The about window: its picture, the link label, F1, "Close"."""
    w = world.start()
    wait_page(world)
    world.click(w, centre(*MAIN["about"]))
    a = world.wait_window("About - Tavrino 1.5")
    check(world.geometry(a)[2:] == (488, 489), "about window inner size 488 x 489")
    sky = world.pixel(a, (40, 330))
    check(sky[2] > 200 and sky[1] > 180 and sky[0] < sky[2] - 15,
          "the about picture's sky shows (%s)" % (sky,))
    world.click(a, centre(*ABOUT["link"], dx=-60))
    wait_for(lambda: world.launches(), 5, "a launch")
    check(world.launches() == ["explorer http://%s/" % world.args.maker_host],
          "'Tavrino, Dovrent Team' launches explorer with the maker's root address")

    world.key(a, "F1")
    wait_for(lambda: world.launches("browser"), 10, "the help page to be opened")
    check(world.launches("browser")[-1].endswith(
        " http://%s/1.5/help.html" % world.args.product_host),
        "F1 in the about window opens the help page in the default browser")
    world.key(w, "F1")  # the main window, its pane holding the focus
    wait_for(lambda: len(world.launches("browser")) == 2, 10, "help from the main window")
    check(world.launches("browser")[-1].endswith("/1.5/help.html"),
          "F1 in the main window opens the help page too")
    check_launch_environment(world)

    world.click(w, centre(*MAIN["about"]))
    time.sleep(0.5)
    check(len(world.windows("About - Tavrino 1.5")) == 1, "'About' again: one about window")
    world.click(a, centre(*ABOUT["close"]))
    world.wait_gone("About - Tavrino 1.5")
    check(world.alive() and world.windows("Tavrino 1.5"), "'Close' closes the about window only")


def scenario_resize(world):
    """Resizing refits the pane and moves no button; minimize and restore; storms."""
    w = world.start()
    wait_page(world)
    world.wait_size(MAIN_INNER)

    for size in [(1100, 900), (600, 400)]:
        world.x(["xdotool", "windowsize", "--sync", str(w), str(size[0]), str(size[1])])
        world.wait_size(size)
        check(world.geometry(w)[2:] == size, "window resized to %s" % (size,))
        check(True, "pane refitted to %s" % (size,))
    world.x(["xdotool", "windowsize", "--sync", str(w), "1100", "900"])
    world.wait_size((1100, 900))
    time.sleep(0.5)
    shot = world.screenshot()
    for name in ("about", "update"):
        c = world.pixel(w, centre(*MAIN[name], dy=-7), shot)
        check(not near(c, PAGE_GREEN, 40), "button '%s' stays at its stored place" % name)
    check(near(world.pixel(w, (1050, 880), shot), PAGE_GREEN),
          "pane reaches the enlarged window's bottom right corner")
    check(near(world.pixel(w, centre(*MAIN["about"], dy=150), shot), PAGE_GREEN),
          "no button followed the bottom edge")

    world.x(["xdotool", "windowminimize", "--sync", str(w)])
    time.sleep(1.0)
    check(world.alive(), "minimized, the program runs")
    world.x(["xdotool", "windowactivate", "--sync", str(w)])
    wait_for(lambda: world.geometry(w)[2] > 1, 5, "the window restored")
    time.sleep(1.0)
    shot = world.screenshot()
    check(near(world.pixel(w, (1050, 880), shot), PAGE_GREEN)
          and near(world.pixel(w, (5, 5), shot), PAGE_GREEN),
          "restored: the pane fills the inner area again")

    # A storm of sizes, down to the smallest the window system allows.
    for i in range(40):
        wv = 1 + (i * 97) % 1200
        hv = 1 + (i * 61) % 950
        world.x(["xdotool", "windowsize", str(w), str(wv), str(hv)])
    world.x(["xdotool", "windowsize", "--sync", str(w), "1", "1"])
    time.sleep(0.5)
    check(world.alive(), "survives a resize storm down to 1 x 1")
    world.x(["xdotool", "windowsize", "--sync", str(w), "800", "600"])
    world.wait_size((800, 600))
    check(True, "after the storm the pane fits 800 x 600")


def scenario_exit(world):
    """'Exit' leaves the other windows and the run; the last one closed ends it."""
    w = world.start()
    wait_page(world)
    world.click(w, centre(*MAIN["update"]))
    u = world.wait_window("Form1")
    world.click(w, centre(*MAIN["about"]))
    a = world.wait_window("About - Tavrino 1.5")
    world.click(w, centre(*MAIN["exit"]))
    world.wait_gone("Tavrino 1.5")
    time.sleep(0.5)
    check(world.alive(), "after 'Exit' the program runs on")
    check(world.windows("Form1") and world.windows("About - Tavrino 1.5"),
          "the updates and about windows stay")
    world.click(a, centre(*ABOUT["close"]))
    world.wait_gone("About - Tavrino 1.5")
    check(world.alive(), "one window left: the program runs on")
    world.click(u, centre(*UPDATES["close"]))
    check(world.wait_exit() == 0, "closing the last window ends the run with status 0")
    world.check_nothing_left()


def scenario_close_request(world):
    """Closing from the window manager unloads that window alone."""
    w = world.start()
    wait_page(world)
    world.click(w, centre(*MAIN["about"]))
    a = world.wait_window("About - Tavrino 1.5")
    world.x([world.args.wm_close, str(w)], check_rc=True)
    world.wait_gone("Tavrino 1.5")
    check(world.alive(), "the main window closed by the window manager; the run goes on")
    world.x([world.args.wm_close, str(a)], check_rc=True)
    check(world.wait_exit() == 0, "the last window closed by the window manager ends the run")
    world.check_nothing_left()


def scenario_no_site(world):
    """No site: the pages fail, WebKit shows its error page, every window works."""
    w = world.start()
    time.sleep(2.0)
    check(world.gets() == [], "nothing reached")
    world.click(w, centre(*MAIN["update"]))
    u = world.wait_window("Form1")
    world.click(w, centre(*MAIN["about"]))
    a = world.wait_window("About - Tavrino 1.5")
    time.sleep(1.0)
    check(not world.windows("Tavrino"), "no message of the program's own")
    world.click(u, centre(*UPDATES["close"]))
    world.wait_gone("Form1")
    world.click(a, centre(*ABOUT["close"]))
    world.wait_gone("About - Tavrino 1.5")
    world.click(w, centre(*MAIN["exit"]))
    check(world.wait_exit() == 0, "ends normally")
    world.check_nothing_left()


def kill_web_processes(world):
    # The sandbox wraps the web process; look among all descendants.
    # After a crash the page's new web process may take a moment to start.
    web = wait_for(lambda: [p for p in lh.descendants(world.program.pid, live_only=True)
                            if lh.comm(p).startswith("WebKitWebProc")], 10, "a web process")
    check(web, "a web process runs")
    for p in web:
        os.kill(p, signal.SIGKILL)
    time.sleep(1.0)


def scenario_web_process_crash(world):
    """The web process is killed: the program keeps running, buttons work."""
    w = world.start()
    wait_page(world)
    # The typing page comes back after a crash, and after a second one; the
    # third within a minute leaves the pane as it is.
    for n in (2, 3):
        kill_web_processes(world)
        wait_for(lambda: len(world.gets("/1.5/encrypted.html")) == n, 15,
                 "the typing page to load again after a crash")
        wait_for(lambda: len(world.sizes()) >= n, 10, "the page's load beacon")
        check(world.alive(), "crash %d: the page is loaded again and reports its size" % (n - 1))
    kill_web_processes(world)
    time.sleep(2.0)
    check(len(world.gets("/1.5/encrypted.html")) == 3,
          "the third crash within a minute is left as it is")
    check(world.alive(), "the program survives its web process")
    world.click(w, centre(*MAIN["update"]))
    world.wait_window("Form1")
    wait_for(lambda: world.gets("/1.5/updates.html"), 10, "GET of the updates page")
    check(True, "'Update' still works and loads its page")
    world.click(w, centre(*MAIN["exit"]))
    world.wait_gone("Tavrino 1.5")
    u = world.windows("Form1")[0]
    world.click(u, centre(*UPDATES["close"]))
    check(world.wait_exit() == 0, "ends normally")
    world.check_nothing_left()


def scenario_hostile_files(world):
    """A page that stores, caches and downloads without asking: nothing of it,
    nor of the program, is written under $HOME."""
    before = world.home_tree()
    w = world.start()
    wait_page(world)
    wait_for(lambda: world.gets("/done"), 15, "the page's /done beacon")
    time.sleep(2.0)
    check(world.gets("/1.5/payload.bin") or world.gets("/1.5/payload.sh"),
          "the page asked for its downloads")
    check(world.gets("/cacheable/"), "the page fetched cacheable responses")
    world.click(w, centre(*MAIN["update"]))
    world.wait_window("Form1")
    wait_for(lambda: world.gets("/1.5/updates.html"), 10, "GET of the updates page")
    world.click(w, centre(*MAIN["exit"]))
    world.wait_gone("Tavrino 1.5")
    u = world.windows("Form1")[0]
    world.click(u, centre(*UPDATES["close"]))
    check(world.wait_exit() == 0, "ends normally")
    world.check_nothing_left()
    new = sorted(world.home_tree() - before)
    check(not new, "nothing new under $HOME: %d paths, %d bytes %s"
          % (len(new), world.home_bytes(new), new[:40]))


def scenario_hostile_links(world):
    """Links away from the web are ignored; new windows asked for by a click go
    to the desktop's browser, unasked ones nowhere; the page stays."""
    w = world.start()
    wait_page(world)
    product = "http://%s" % world.args.product_host

    def beats():
        return [re.match(r"/beat\?id=(\w+)", p).group(1) for p in world.gets("/beat?")]
    wait_for(beats, 10, "the page's heartbeat")
    time.sleep(1.5)  # the unasked pop-up and move have had their turn
    for name, point in (("mailto", (120, 60)), ("ssh", (340, 60)), ("custom", (560, 60)),
                        ("target=_blank", (120, 160)), ("window.open", (340, 160))):
        world.click(w, point)
        time.sleep(0.7)
        check(world.alive(), "a click on the %s link" % name)
    try:
        wait_for(lambda: len(world.launches("browser")) >= 2, 10, "the new windows' addresses")
    except Failure:
        pass  # the checks below say what went wrong
    time.sleep(1.0)
    count = len(beats())
    time.sleep(1.0)
    ids = set(beats())
    check(len(beats()) > count and len(ids) == 1,
          "the page that was loaded still runs (%d documents, %d beats in the last second)"
          % (len(ids), len(beats()) - count))
    check(world.gets("/1.5/encrypted.html") == ["/1.5/encrypted.html"], "the page was not left")
    check(near(world.pixel(w, (600, 400)), PAGE_GREEN), "the pane shows the page")
    opened = [l.split(" ", 1)[1] for l in world.launches("browser")]
    check(opened == [product + "/from-blank-link", product + "/from-window-open"],
          "the browser opened the clicked new-window addresses alone: %s" % opened)
    check(not world.gets("/unasked-popup") and not world.gets("/from-"),
          "no new window was loaded in the program")
    check_launch_environment(world, programs=False)
    world.click(w, centre(*MAIN["exit"]))
    check(world.wait_exit() == 0, "ends normally")
    world.check_nothing_left()


def scenario_hostile_busy(world):
    """A page that keeps its web process busy: after "Exit" nothing of the
    program runs a second later."""
    w = world.start()
    wait_page(world)
    time.sleep(1.5)
    busy = [p for p in lh.children_of(world.program.pid)]
    check(world.alive() and busy, "the program and its helpers run beside the busy page")
    world.click(w, centre(*MAIN["exit"]))
    check(world.wait_exit() == 0, "'Exit' ends the run")
    world.check_nothing_left(within=1)


def scenario_hostile_busy_display_gone(world):
    """A page that keeps its web process busy, and the X server goes away:
    nothing of the program runs a second after it has ended."""
    world.start()
    wait_page(world)
    time.sleep(1.5)
    world.kill("openbox")
    world.kill("xvfb")
    check(world.wait_exit() == 1, "the program ends with its display")
    world.check_nothing_left(within=1)


def scenario_missing_program(world):
    """No explorer anywhere: the launch fails with run-time error 53, shown in a
    message window that blocks nothing; the program goes on, and the last
    message stays until it is closed."""
    w = world.start()
    wait_page(world)
    world.click(w, centre(*MAIN["about"]))
    a = world.wait_window("About - Tavrino 1.5")
    world.click(a, centre(*ABOUT["link"], dx=-60))
    m = world.wait_window("Tavrino")
    check(world.alive(), "the program goes on after the error")
    world.click(w, centre(*MAIN["update"]))
    world.wait_window("Form1")
    check(True, "the other windows stay usable while the message is open")
    gx, gy, mw, mh = world.geometry(m)
    check(mw > 100 and mh > 40, "the message window has room for its text")
    world.key(m, "Return")
    world.wait_gone("Tavrino")
    check(world.alive() and world.windows("About - Tavrino 1.5"),
          "OK closes the message; the about window stays")

    # A message open when the last window goes stays until it is closed.
    world.click(a, centre(*ABOUT["link"], dx=-60))
    m = world.wait_window("Tavrino")
    world.click(w, centre(*MAIN["exit"]))
    world.click(a, centre(*ABOUT["close"]))
    world.click(world.wait_window("Form1"), centre(*UPDATES["close"]))
    world.wait_gone("Form1")
    time.sleep(0.5)
    check(world.alive() and world.windows("Tavrino"),
          "with no window left, the open message keeps the program running")
    world.key(m, "Return")
    check(world.wait_exit() == 0, "closing the last message ends the run")


def scenario_installed(world):
    """The installed program: its files in place, and the helper programs, found
    in libexec/tavrino beside bin/, opening the address in the default browser."""
    prefix = os.path.join(world.tmp, "app")
    for f in ["bin/tavrino", "libexec/tavrino/explorer", "libexec/tavrino/start.exe",
              "share/applications/tavrino.desktop"]:
        check(os.path.isfile(os.path.join(prefix, f)), "installed " + f)
    # The icon theme gets the icon at every size launchers and docks ask for.
    for size in (16, 32, 48, 64, 128, 256):
        f = "share/icons/hicolor/%dx%d/apps/tavrino.png" % (size, size)
        path = os.path.join(prefix, f)
        found = run(["identify", "-format", "%m %w %h", path]) if os.path.isfile(path) else None
        check(found == "PNG %d %d" % (size, size), "installed %s (%s)" % (f, found))
    check(not os.path.exists(os.path.join(prefix, "bin", "explorer")),
          "the helpers are not on PATH's bin/")
    w = world.start()
    wait_page(world)
    icon = world.x(["xprop", "-id", str(w), "_NET_WM_ICON"])
    check(all("Icon (%d x %d)" % (n, n) in icon for n in (16, 32, 48, 64, 128)),
          "the installed program gives the window manager its icon at 16 to 128 pixels")
    world.click(w, centre(*MAIN["about"]))
    a = world.wait_window("About - Tavrino 1.5")
    world.click(a, centre(*ABOUT["link"], dx=-60))
    wait_for(lambda: world.launches("browser"), 10, "the browser to be started")
    check(world.launches("browser")[-1].endswith(" http://%s/" % world.args.maker_host),
          "explorer opens the maker's site in the default browser")
    check(not world.windows("Tavrino"), "no error report")


# The demo typing page's text areas, in pixels of its fixed layout.
DEMO_INPUT = (300, 100)
DEMO_OUTPUT = (30, 200, 870, 140)  # left, top, width, height


def ink(pixel_at, box):
    """How many pixels of a box are dark: text drawn on the white area."""
    left, top, width, height = box
    return sum(1 for y in range(top, top + height) for x in range(left, left + width)
               if sum(pixel_at(x, y)) < 300)


def scenario_glyphs(world):
    """Devanagari in the typing page draws with real glyphs, not boxes, and
    letters typed into the page show in its output area."""
    w = world.start()
    wait_page(world)
    report = wait_for(lambda: world.gets("/glyphs?"), 15, "the typing page's glyph report")[-1]
    m = re.match(r"/glyphs\?real=(\d+)&of=(\d+)&", report)
    check(m and int(m.group(2)) > 0 and m.group(1) == m.group(2),
          "every Devanagari letter drawn differently from a missing glyph (%s)" % report)
    gx, gy, _, _ = world.geometry(w)
    shot = world.screenshot()
    check(ink(lambda x, y: shot.at(gx + x, gy + y), DEMO_OUTPUT) == 0,
          "the output area starts empty")
    world.click(w, DEMO_INPUT)
    world.x(["xdotool", "type", "--delay", "40", "namaste"], check_rc=True)
    time.sleep(0.5)
    shot = world.screenshot()
    check(ink(lambda x, y: shot.at(gx + x, gy + y), DEMO_OUTPUT) > 100,
          "typed letters show in the output area")


def scenario_demo_run(world):
    """scripts/run-linux.sh on a build with .invalid hosts and no display: the
    demo site answers through the program's proxy setting, the screenshot
    shows the typed text in the output area, and nothing is left running."""
    build = os.path.dirname(world.app_bin)
    shutil.copy(os.path.join(world.args.build_dir, "layouts.json"), build)
    with open(os.path.join(build, "CMakeCache.txt"), "w") as f:
        f.write("TAVRINO_PRODUCT_HOST:STRING=%s\nTAVRINO_MAKER_HOST:STRING=%s\n"
                % (world.args.product_host, world.args.maker_host))
    script = os.path.join(world.args.e2e_dir, "..", "..", "scripts", "run-linux.sh")
    env = {k: v for k, v in world.env.items() if k != "DISPLAY"}
    r = subprocess.run(world.ns_cmd([script, build]), env=env, capture_output=True, text=True,
                       timeout=60, preexec_fn=die_with_driver)
    print(r.stdout + r.stderr, end="")
    check(r.returncode == 0, "run-linux.sh ends with status 0")
    check("on 127.0.0.1:" in r.stdout, "it served the demo site on loopback")
    png = os.path.join(build, "screenshot.png")
    size = run(["identify", "-format", "%w %h", png]).split()
    width, height = int(size[0]), int(size[1])
    check((width, height) == MAIN_INNER, "a screenshot of the main window")
    raw = subprocess.run(["convert", png, "-depth", "8", "rgb:-"], capture_output=True,
                         check=True).stdout
    def at(x, y):
        i = (y * width + x) * 3
        return tuple(raw[i:i + 3])
    check(near(at(5, 5), PAGE_GREEN), "the demo typing page shows, not an error page")
    check(ink(at, DEMO_OUTPUT) > 100, "the output area shows the typed text")
    check(world.gets() == [], "nothing went to any other site")
    world.check_nothing_left()


TYPING = "/1.5/encrypted.html"
UPDATES_PAGE = "/1.5/updates.html"
# The keyboard scenarios serve a typing page with one text field.
FIELD_PAGES = {"1.5/encrypted.html": "field.html", "1.5/updates.html": "field.html"}


def wait_field(world, page, events, what):
    wait_for(lambda: world.field_events(page) == events, 5,
             "%s (the field reported %s, not %s)" % (what, world.field_events(page), events))
    check(True, what)


def region(world, w, rect, shot=None):
    """The pixels of a stored rectangle (twips) of a window."""
    shot = shot or world.screenshot()
    x0, y0 = px(rect[0]), px(rect[1])
    return [world.pixel(w, (x, y), shot)
            for y in range(y0, y0 + px(rect[3]) - 2, 2) for x in range(x0, x0 + px(rect[2]), 2)]


def scenario_keyboard(world):
    """Keys alone: the main window's tab order through the page's field, and the about window."""
    w = world.start()
    wait_page(world)
    exit_look = region(world, w, MAIN["exit"])

    # From start the pane has the focus: Tab reaches the page's field.
    world.key(w, "Tab")
    wait_field(world, TYPING, ["focus"], "Tab from start reaches the page's field")
    world.type_text(w, "abc")
    wait_field(world, TYPING, ["focus", "value=a", "value=ab", "value=abc"],
               "typed letters arrive in the field")
    # Past the page's only field: "Exit", with a visible focus indicator.
    world.key(w, "Tab")
    wait_field(world, TYPING, ["focus", "value=a", "value=ab", "value=abc", "blur"],
               "Tab leaves the page")
    check(region(world, w, MAIN["exit"]) != exit_look, "'Exit' shows the focus")
    # Then "Update": Space opens the updates window.
    world.key(w, "Tab")
    world.key(w, "space")
    u = world.wait_window("Form1")
    check(world.alive() and world.windows("Tavrino 1.5"), "the second Tab after the page reaches 'Update'")
    world.click(u, centre(*UPDATES["close"]))
    world.wait_gone("Form1")

    # Then "About"; its window opens with the focus on its picture, where
    # Return, Enter, Space and Escape do nothing.
    world.key(w, "Tab")
    world.key(w, "Return")
    a = world.wait_window("About - Tavrino 1.5")
    check(True, "the third Tab after the page reaches 'About', and Return clicks it")
    close_look = region(world, a, ABOUT["close"])
    for k in ("Return", "KP_Enter", "space", "Escape"):
        world.key(a, k)
    time.sleep(0.5)
    check(len(world.windows("About - Tavrino 1.5")) == 1,
          "Return, Enter, Space and Escape leave the about window open")
    world.key(a, "Tab")
    check(region(world, a, ABOUT["close"]) != close_look, "Tab gives 'Close' a visible focus")
    world.key(a, "Tab")  # round to the picture and back
    world.key(a, "Tab")
    world.key(a, "space")
    world.wait_gone("About - Tavrino 1.5")
    check(True, "Space on 'Close' closes the about window")

    # Tab from "About" wraps round to the pane, and the next one to the field.
    world.key(w, "Tab")
    time.sleep(0.5)
    check(world.field_events(TYPING)[-1] == "blur", "Tab from 'About' gives the pane the focus")
    world.key(w, "Tab")
    wait_field(world, TYPING, ["focus", "value=a", "value=ab", "value=abc", "blur", "focus"],
               "and the next Tab the page's field")
    # Shift+Tab before the page's first field: "About", "Update", "Exit".
    for _ in range(3):
        world.key(w, "shift+Tab")
    wait_field(world, TYPING,
               ["focus", "value=a", "value=ab", "value=abc", "blur", "focus", "blur"],
               "Shift+Tab leaves the page backwards")
    check(world.windows("About - Tavrino 1.5") == [] and world.windows("Form1") == [],
          "no window opened on the way")
    world.key(w, "space")
    check(world.wait_exit() == 0, "the third Shift+Tab reaches 'Exit': Space ends the run")
    world.check_nothing_left()


def scenario_keyboard_updates(world):
    """Keys in the updates window, from the pane round the four strips and back, and
    in the main window after a click on 'Update'."""
    w = world.start()
    wait_page(world)
    world.click(w, centre(*MAIN["update"]))
    u = world.wait_window("Form1")
    wait_for(lambda: world.gets("/size?"), 10, "the updates page to load")
    wait_for(lambda: len(world.sizes()) >= 2, 10, "the updates page to load")
    world.key(u, "Tab")
    wait_field(world, UPDATES_PAGE, ["focus"], "Tab from the updates window's pane reaches its field")
    for direction, key in (("Tab", "Tab"), ("Shift+Tab", "shift+Tab")):
        before = world.field_events(UPDATES_PAGE)
        world.key(u, key)
        wait_field(world, UPDATES_PAGE, before + ["blur"], direction + " leaves the page")
        for _ in range(4):  # the strips, then the pane
            world.key(u, key)
        time.sleep(0.5)
        check(world.field_events(UPDATES_PAGE) == before + ["blur"],
              "%s passes four strips and the pane without the field" % direction)
        world.key(u, key)
        wait_field(world, UPDATES_PAGE, before + ["blur", "focus"],
                   "the sixth %s is back in the field" % direction)
    check(world.field_events(TYPING) == [], "the main window's page saw no key")

    # The click on "Update" gave it the focus: Tab goes on to "About".
    world.click(u, centre(*UPDATES["close"]))
    world.wait_gone("Form1")
    world.key(w, "Tab")
    world.key(w, "space")
    world.wait_window("About - Tavrino 1.5")
    check(True, "after a click on 'Update', Tab then Space opens the about window")


def scenario_keyboard_crash(world):
    """The web process is killed while the pane has the focus: the page loaded
    again takes Tab as at start; a pane left dead (the third crash within a
    minute) lets Tab leave it."""
    w = world.start()
    wait_page(world)
    kill_web_processes(world)
    wait_for(lambda: len(world.gets(TYPING)) == 2, 15, "the page to load again")
    wait_for(lambda: len(world.sizes()) >= 2, 10, "the page's load beacon")
    world.key(w, "Tab")
    wait_field(world, TYPING, ["focus"],
               "after a crash, Tab reaches the field of the page loaded again")
    kill_web_processes(world)
    wait_for(lambda: len(world.gets(TYPING)) == 3, 15, "the page to load again")
    kill_web_processes(world)
    time.sleep(1.0)
    check(len(world.gets(TYPING)) == 3, "the third crash leaves the pane dead")
    world.key(w, "Tab")
    world.key(w, "Tab")
    world.key(w, "space")
    world.wait_window("Form1")
    check(True, "two Tabs from the dead page reach 'Update'")


SCENARIOS = {
    "start": (scenario_start, {}),
    "updates": (scenario_updates, {}),
    "about": (scenario_about, {}),
    "resize": (scenario_resize, {}),
    "exit": (scenario_exit, {}),
    "close_request": (scenario_close_request, {}),
    "no_site": (scenario_no_site, {"serve": False}),
    "web_process_crash": (scenario_web_process_crash, {}),
    "missing_program": (scenario_missing_program, {"recorders": False}),
    "installed": (scenario_installed, {"recorders": False, "install": True}),
    "glyphs": (scenario_glyphs, {}),
    "demo_run": (scenario_demo_run, {}),
    "keyboard": (scenario_keyboard, {"pages": FIELD_PAGES}),
    "keyboard_updates": (scenario_keyboard_updates, {"pages": FIELD_PAGES}),
    "keyboard_crash": (scenario_keyboard_crash, {"pages": FIELD_PAGES}),
    "hostile_files": (scenario_hostile_files, {"site": "files"}),
    "hostile_links": (scenario_hostile_links, {"site": "links"}),
    "hostile_busy": (scenario_hostile_busy, {"site": "busy"}),
    "hostile_busy_display_gone": (scenario_hostile_busy_display_gone, {"site": "busy"}),
}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--binary", required=True)
    ap.add_argument("--build-dir", required=True)
    ap.add_argument("--cmake", required=True)
    ap.add_argument("--recorder", required=True)
    ap.add_argument("--wm-close", required=True)
    ap.add_argument("--site", required=True)
    ap.add_argument("--product-host", required=True)
    ap.add_argument("--maker-host", required=True)
    ap.add_argument("--renderer", default="",
                    help="GSK_RENDERER for the program (default: GTK's own choice)")
    ap.add_argument("scenario", choices=sorted(SCENARIOS))
    args = ap.parse_args()
    args.e2e_dir = os.path.dirname(os.path.abspath(__file__))
    load_layouts(args.build_dir)
    if os.geteuid() != 0:
        print("FAIL: the end-to-end tests need root for their network namespace")
        return 1
    set_subreaper()
    lh.remove_stale_netns(NETNS_PREFIX)
    # A termination request still cleans up (the with-block below).
    lh.raise_on_sigterm()
    fn, opts = SCENARIOS[args.scenario]
    print("scenario %s: %s" % (args.scenario, fn.__doc__.split("\n")[0]), flush=True)
    start = time.monotonic()
    try:
        with World(args, args.scenario, **opts) as world:
            try:
                fn(world)
                if world.program and world.program.poll() is None:
                    check(world.alive(), "the program is still running at the end")
            except BaseException:
                if world.program:
                    print("--- program output ---\n" + world.program_log())
                    print("--- gets ---\n" + "\n".join(world.gets()))
                raise
    except Failure as e:
        print("FAIL:", e)
        return 1
    except (Exception, KeyboardInterrupt):
        traceback.print_exc()
        return 1
    print("PASS in %.1f s" % (time.monotonic() - start))
    return 0


if __name__ == "__main__":
    sys.exit(main())
