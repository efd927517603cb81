"""Shared machinery of the benchmark and the soak run.

Everything runs inside a network namespace of its own, where the product's
and the maker's host names resolve to 192.0.2.1 on the namespace's loopback
device and the fixture site listens there. Xvfb and a session bus run inside
the namespace too, so nothing reaches the outside and nothing is left behind.
"""

import contextlib
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
SITE = HERE / "site"
ADDRESS = "192.0.2.1"
PRODUCT_HOST = os.environ.get("TAVRINO_PRODUCT_HOST", "www.tavrino.invalid")
MAKER_HOST = os.environ.get("TAVRINO_MAKER_HOST", "www.dovrent.invalid")
TYPING_URL = f"http://{PRODUCT_HOST}/1.5/encrypted.html"
NETNS_ENV = "TAVBENCH_NETNS"
NETNS_PREFIX = "tavbench-"


def log(*args):
    print(*args, file=sys.stderr, flush=True)


# ---------------------------------------------------------------------------
# Network namespace


def _remove_netns(name):
    pids = subprocess.run(["ip", "netns", "pids", name], capture_output=True, text=True).stdout
    for pid in pids.split():
        with contextlib.suppress(ProcessLookupError, ValueError):
            os.kill(int(pid), signal.SIGKILL)
    subprocess.run(["ip", "netns", "del", name], capture_output=True)
    shutil.rmtree(f"/etc/netns/{name}", ignore_errors=True)


def _remove_stale_netns():
    """Removes namespaces of earlier runs whose harness has died."""
    out = subprocess.run(["ip", "netns", "list"], capture_output=True, text=True).stdout
    for line in out.splitlines():
        name = line.split()[0] if line.split() else ""
        if not name.startswith(NETNS_PREFIX):
            continue
        with contextlib.suppress(ValueError):
            owner = int(name[len(NETNS_PREFIX):])
            if not Path(f"/proc/{owner}").exists():
                _remove_netns(name)


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
    _remove_stale_netns()
    name = f"{NETNS_PREFIX}{os.getpid()}"
    child = None

    def stop(signum, _frame):
        raise KeyboardInterrupt(f"signal {signum}")

    signal.signal(signal.SIGTERM, stop)
    try:
        subprocess.run(["ip", "netns", "add", name], check=True)
        subprocess.run(["ip", "-n", name, "link", "set", "lo", "up"], check=True)
        subprocess.run(["ip", "-n", name, "addr", "add", f"{ADDRESS}/24", "dev", "lo"], check=True)
        etc = Path(f"/etc/netns/{name}")
        etc.mkdir(parents=True, exist_ok=True)
        (etc / "hosts").write_text(
            f"127.0.0.1 localhost\n{ADDRESS} {PRODUCT_HOST} {MAKER_HOST}\n")
        env = dict(os.environ, **{NETNS_ENV: name})
        child = subprocess.Popen(["ip", "netns", "exec", name, sys.executable] + sys.argv,
                                 env=env, start_new_session=True)
        return child.wait()
    except KeyboardInterrupt:
        return 130
    finally:
        if child is not None:
            kill_group(child.pid)
        _remove_netns(name)


# ---------------------------------------------------------------------------
# Processes


def kill_group(pgid, grace=2.0):
    """Ends a process group: SIGTERM, then SIGKILL after the grace period."""
    with contextlib.suppress(ProcessLookupError):
        os.killpg(pgid, signal.SIGTERM)
    deadline = time.monotonic() + grace
    while time.monotonic() < deadline:
        try:
            os.killpg(pgid, 0)
        except ProcessLookupError:
            return
        time.sleep(0.02)
    with contextlib.suppress(ProcessLookupError):
        os.killpg(pgid, signal.SIGKILL)


def _stat(pid):
    """(ppid, sid, utime+stime ticks) of a process, or None when it is gone."""
    try:
        text = Path(f"/proc/{pid}/stat").read_text()
    except OSError:
        return None
    fields = text[text.rfind(")") + 2:].split()
    return int(fields[1]), int(fields[3]), int(fields[11]) + int(fields[12])


def process_tree(root):
    """The process and all its descendants, plus any process of its session
    (a helper that was reparented still belongs to the contender)."""
    table = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            st = _stat(int(entry))
            if st:
                table[int(entry)] = st
    if root not in table:
        return []
    sid = table[root][1]
    tree = {root}
    changed = True
    while changed:
        changed = False
        for pid, (ppid, psid, _) in table.items():
            if pid not in tree and (ppid in tree or psid == sid):
                tree.add(pid)
                changed = True
    return sorted(tree)


def descendants(root):
    return [p for p in process_tree(root) if p != root]


def comm(pid):
    try:
        return Path(f"/proc/{pid}/comm").read_text().strip()
    except OSError:
        return "?"


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
        st = _stat(pid)
        if st:
            ticks[pid] = st[2]
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
    when each page's onload beacon arrives (time.monotonic()).

    The typing page asks /control/next once it has loaded. In "still" mode the
    answer is "done" at once. In "soak" mode the server holds the request
    until a reload is asked for (answer "reload": the page reloads itself) or
    for at most 20 s (answer "again": the page asks again)."""

    def __init__(self, mode="still"):
        self.mode = mode
        self.beacons = []  # (monotonic time, page name)
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
                if length:
                    self.rfile.read(length)
                if self.path.startswith("/beacon/"):
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


class Session:
    """Xvfb, a session bus, optionally a window manager, the fixture site and a
    private home directory, for the processes the run starts. Use with `with`;
    everything is ended and removed on exit."""

    def __init__(self, site_mode="still", window_manager=False):
        self.site_mode = site_mode
        self.window_manager = window_manager
        self.groups = []
        self.tmp = None
        self.site = None

    def __enter__(self):
        try:
            self._start()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def _start(self):
        self.tmp = Path(tempfile.mkdtemp(prefix="tavbench."))
        # The socket directory is shared with every other namespace on the
        # machine (the sandboxed web process connects through the file), so
        # take a number well clear of the usual ones and of other harnesses.
        number = next(n for n in range(1000 + os.getpid() % 4000, 6000)
                      if not Path(f"/tmp/.X11-unix/X{n}").exists() and
                      not Path(f"/tmp/.X{n}-lock").exists())
        read_fd, write_fd = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", f":{number}", "-displayfd", str(write_fd), "-screen", "0", "1600x1200x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=[write_fd], start_new_session=True, stderr=subprocess.DEVNULL)
        self.groups.append(xvfb.pid)
        os.close(write_fd)
        with os.fdopen(read_fd) as f:
            number = f.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.display = f":{number}"
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
            wm = subprocess.Popen(["openbox", "--sm-disable"], env=self.fresh_env("wm"),
                                  start_new_session=True, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
            self.groups.append(wm.pid)
        self.site = FixtureSite(self.site_mode)
        self.x = Display(self.display, with_wm=self.window_manager)

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
        while time.monotonic() < deadline and any(Path(f"/proc/{p}").exists() and
                                                  _stat(p) is not None for p in tree):
            time.sleep(0.05)
        if proc.pid in self.groups:
            self.groups.remove(proc.pid)

    def __exit__(self, *_exc):
        if self.site:
            self.site.close()
        for pgid in reversed(self.groups):
            kill_group(pgid)
        self.groups = []
        if self.tmp:
            shutil.rmtree(self.tmp, ignore_errors=True)
        return False


def median(values):
    s = sorted(values)
    n = len(s)
    return s[n // 2] if n % 2 else (s[n // 2 - 1] + s[n // 2]) / 2
