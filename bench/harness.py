"""Shared machinery of the benchmark and the soak run.

Everything runs inside a network namespace of its own, where the product's
and the maker's host names resolve to 192.0.2.1 on the namespace's loopback
device and the fixture site listens there. Xvfb and a session bus run inside
the namespace too, so nothing reaches the outside and nothing is left behind.
"""

import contextlib
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from pathlib import Path

from xwatch import Display

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests"))
import linux_harness as lh  # noqa: E402
from linux_harness import comm, descendants, kill_group, process_tree  # noqa: E402,F401

SITE = HERE / "site"
ADDRESS = lh.ADDRESS
PRODUCT_HOST = os.environ.get("TAVRINO_PRODUCT_HOST", "www.tavrino.invalid")
MAKER_HOST = os.environ.get("TAVRINO_MAKER_HOST", "www.dovrent.invalid")
TYPING_URL = f"http://{PRODUCT_HOST}/1.5/encrypted.html"
NETNS_ENV = "TAVBENCH_NETNS"
NETNS_PREFIX = "tavbench-"


def log(*args):
    print(*args, file=sys.stderr, flush=True)


# ---------------------------------------------------------------------------
# Network namespace


def run_in_netns():
    """Re-runs this script inside a fresh network namespace and returns its exit
    code, or returns None when already inside one. The namespace, its hosts
    file and every process left in it are removed afterwards, also when the run
    fails or is interrupted."""
    if os.environ.get(NETNS_ENV):
        return None
    if os.geteuid() != 0:
        log("needs root: the run creates a network namespace")
        return 77
    lh.remove_stale_netns(NETNS_PREFIX)
    name = lh.netns_name(NETNS_PREFIX)
    child = None
    lh.raise_on_sigterm()
    try:
        lh.create_netns(name, [PRODUCT_HOST, MAKER_HOST])
        env = dict(os.environ, **{NETNS_ENV: name})
        child = subprocess.Popen(["ip", "netns", "exec", name, sys.executable] + sys.argv,
                                 env=env, start_new_session=True)
        return child.wait()
    except KeyboardInterrupt:
        return 130
    finally:
        if child is not None:
            kill_group(child.pid)
        lh.remove_netns(name)


# ---------------------------------------------------------------------------
# Processes


def pss_kib(pids):
    total = 0
    for pid in pids:
        with contextlib.suppress(OSError):
            for line in Path(f"/proc/{pid}/smaps_rollup").read_text().splitlines():
                if line.startswith("Pss:"):
                    total += int(line.split()[1])
                    break
    return total


def vmrss_kib(pid):
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    return 0


def fd_count(pid):
    return len(os.listdir(f"/proc/{pid}/fd"))


def cpu_ticks(pids):
    ticks = {}
    for pid in pids:
        st = lh.proc_stat(pid)
        if st:
            ticks[pid] = st.ticks
    return ticks


def threads(pid):
    """Names of the threads of one process, from /proc/PID/task/*/comm."""
    names = []
    for tid in sorted(os.listdir(f"/proc/{pid}/task"), key=int):
        with contextlib.suppress(OSError):
            names.append(Path(f"/proc/{pid}/task/{tid}/comm").read_text().strip())
    return names


# ---------------------------------------------------------------------------
# The fixture site


class FixtureSite:
    """Serves bench/site on port 80 of the namespace's address and records
    when each page's onload beacon arrives (time.monotonic()), and the
    keystroke timings the typing page posts to /report/typing.

    The typing page asks /control/next once it has loaded. In "still" mode the
    answer is "done" at once. In "soak" mode the server holds the request
    until a reload is asked for (answer "reload": the page reloads itself) or
    for at most 20 s (answer "again": the page asks again)."""

    def __init__(self, mode="still"):
        self.mode = mode
        self.beacons = []  # (monotonic time, page name)
        self.typed = []  # the typing page's entries: {"n", "input", "frame"}
        self.cond = threading.Condition()
        self.reloads_wanted = 0
        self.closing = False
        site = self

        class Handler(BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *_args):
                pass

            def send(self, code, body, ctype="text/plain; charset=utf-8"):
                self.send_response(code)
                self.send_header("Content-Type", ctype)
                self.send_header("Content-Length", str(len(body)))
                self.send_header("Cache-Control", "no-store")
                self.end_headers()
                self.wfile.write(body)

            def do_POST(self):
                now = time.monotonic()
                length = int(self.headers.get("Content-Length") or 0)
                body = self.rfile.read(length) if length else b""
                if self.path == "/report/typing":
                    try:
                        entries = json.loads(body)
                    except ValueError:
                        self.send(400, b"bad report")
                        return
                    with site.cond:
                        site.typed.extend(e for e in entries if isinstance(e, dict))
                        site.cond.notify_all()
                    self.send(204, b"")
                elif self.path.startswith("/beacon/"):
                    with site.cond:
                        site.beacons.append((now, self.path[len("/beacon/"):]))
                        site.cond.notify_all()
                    self.send(204, b"")
                else:
                    self.send(404, b"not found")

            def do_GET(self):
                if self.path == "/control/next":
                    self.send(200, site._next_action().encode())
                    return
                path = (SITE / self.path.lstrip("/")).resolve()
                if SITE in path.parents and path.is_file():
                    ctype = "text/html; charset=utf-8" if path.suffix == ".html" else \
                        "application/octet-stream"
                    self.send(200, path.read_bytes(), ctype)
                else:
                    self.send(404, b"not found")

        class Server(ThreadingHTTPServer):
            daemon_threads = True

            def handle_error(self, request, client_address):
                # A page that reloads or closes drops its pending request.
                if not isinstance(sys.exc_info()[1], (BrokenPipeError, ConnectionResetError)):
                    super().handle_error(request, client_address)

        self.server = Server((ADDRESS, 80), Handler)
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def _next_action(self):
        if self.mode != "soak":
            return "done"
        with self.cond:
            deadline = time.monotonic() + 20
            while not self.reloads_wanted and not self.closing:
                left = deadline - time.monotonic()
                if left <= 0:
                    return "again"
                self.cond.wait(left)
            if self.closing:
                return "done"
            self.reloads_wanted -= 1
            return "reload"

    def request_reload(self):
        with self.cond:
            self.reloads_wanted += 1
            self.cond.notify_all()

    def count(self, page):
        with self.cond:
            return sum(1 for _, p in self.beacons if p == page)

    def wait_beacon(self, page, after, timeout):
        """Time of the first beacon of `page` at or after `after`, or None."""
        deadline = time.monotonic() + timeout
        with self.cond:
            while True:
                for t, p in self.beacons:
                    if p == page and t >= after:
                        return t
                left = deadline - time.monotonic()
                if left <= 0:
                    return None
                self.cond.wait(left)

    def take_typed(self, count, timeout):
        """Waits until `count` typing entries have arrived (or the timeout) and
        hands over all that arrived, emptying the list."""
        deadline = time.monotonic() + timeout
        with self.cond:
            while len(self.typed) < count:
                left = deadline - time.monotonic()
                if left <= 0:
                    break
                self.cond.wait(left)
            taken, self.typed = self.typed, []
            return taken

    def wait_count(self, page, count, timeout):
        deadline = time.monotonic() + timeout
        with self.cond:
            while sum(1 for _, p in self.beacons if p == page) < count:
                left = deadline - time.monotonic()
                if left <= 0:
                    return False
                self.cond.wait(left)
            return True

    def close(self):
        with self.cond:
            self.closing = True
            self.cond.notify_all()
        self.server.shutdown()
        self.server.server_close()


# ---------------------------------------------------------------------------
# The X display


class Session(lh.Scope):
    """Xvfb, a session bus, optionally a window manager, the fixture site and a
    private home directory, for the processes the run starts. Use with `with`;
    everything is ended and removed on exit."""

    def __init__(self, site_mode="still", window_manager=False):
        self.site_mode = site_mode
        self.window_manager = window_manager
        self.groups = []
        self.tmp = None
        self.site = None

    def _setup(self):
        self.tmp = Path(tempfile.mkdtemp(prefix="tavbench."))
        # Display numbers 1000..5999: well clear of the usual ones and of the
        # end-to-end tests'.
        self.display = lh.start_xvfb(
            lambda argv, **kw: self._group(subprocess.Popen(
                argv, start_new_session=True, stderr=subprocess.DEVNULL, **kw)),
            lh.free_display_number(1000, 4000, 6000), 1600, 1200, ["-noreset"])
        runtime = self.tmp / "run"
        runtime.mkdir(mode=0o700)
        self.env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "DISPLAY": self.display,
            "XDG_RUNTIME_DIR": str(runtime),
            "LANG": "C.UTF-8",
        }
        read_fd, write_fd = os.pipe()
        bus = subprocess.Popen(
            ["dbus-daemon", "--session", "--nofork", "--nopidfile",
             f"--print-address={write_fd}"],
            pass_fds=[write_fd], start_new_session=True, env=self.fresh_env("bus"),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.groups.append(bus.pid)
        os.close(write_fd)
        with os.fdopen(read_fd) as f:
            address = f.readline().strip()
        if not address:
            raise RuntimeError("dbus-daemon did not start")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        if self.window_manager:
            lh.start_openbox(lambda argv: self._group(subprocess.Popen(
                argv, env=self.fresh_env("wm"), start_new_session=True,
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)), self.display)
        self.site = FixtureSite(self.site_mode)
        self.x = Display(self.display, with_wm=self.window_manager)

    def _group(self, proc):
        """Keeps a process group the session started, for the clean-up."""
        self.groups.append(proc.pid)
        return proc

    def fresh_env(self, label):
        """The session's environment with a new, empty home directory."""
        home = Path(tempfile.mkdtemp(prefix=f"{label}.", dir=self.tmp))
        env = dict(self.env, HOME=str(home), XDG_CONFIG_HOME=str(home / ".config"),
                   XDG_CACHE_HOME=str(home / ".cache"), XDG_DATA_HOME=str(home / ".local/share"))
        return env

    def spawn(self, argv, label, extra_env=None):
        """Starts a contender in a process group of its own; returns (t0, proc)
        where t0 is the time just before the exec."""
        env = dict(self.fresh_env(label), **(extra_env or {}))
        out = open(self.tmp / f"{label}.log", "ab")
        t0 = time.monotonic()
        proc = subprocess.Popen(argv, env=env, start_new_session=True, stdout=out,
                                stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        out.close()
        self.groups.append(proc.pid)
        return t0, proc

    def end(self, proc, grace=3.0):
        """Ends a contender and every process of its tree, and waits for them."""
        tree = process_tree(proc.pid)
        kill_group(proc.pid, grace)
        for pid in tree:
            with contextlib.suppress(ProcessLookupError):
                os.kill(pid, signal.SIGKILL)
        with contextlib.suppress(subprocess.TimeoutExpired):
            proc.wait(5)
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline and any(lh.proc_stat(p) is not None for p in tree):
            time.sleep(0.05)
        if proc.pid in self.groups:
            self.groups.remove(proc.pid)

    def close(self):
        if self.site:
            self.site.close()
        for pgid in reversed(self.groups):
            kill_group(pgid)
        self.groups = []
        if self.tmp:
            shutil.rmtree(self.tmp, ignore_errors=True)


def median(values):
    s = sorted(values)
    n = len(s)
    return s[n // 2] if n % 2 else (s[n // 2 - 1] + s[n // 2]) / 2
