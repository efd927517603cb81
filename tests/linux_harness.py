"""What the Linux end-to-end driver (tests/e2e) and the benchmark and soak
runs (bench/) both need around the program: a network namespace of their
own whose loopback carries the fixture site's address, an X display with a
window manager, and ending what they started, also after a killed run.

Namespaces are named PREFIX + the owner's process id, so that a later run
can tell which ones were left by a run that died (its owner is gone) and
remove them. Each harness has a prefix and a display number range of its own.
"""

import collections
import contextlib
import os
import re
import select
import shutil
import signal
import subprocess
import time
from pathlib import Path

# The fixture site's address on the namespace's loopback device; the hosts
# file of the namespace maps the site's names to it.
ADDRESS = "192.0.2.1"

class Scope:
    """A context manager for what a harness sets up: _setup() on entry, and
    close() on exit and when _setup fails partway, so close() must cope with
    a half-made set-up."""

    def __enter__(self):
        try:
            self._setup()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *_exc):
        self.close()
        return False


# ---------------------------------------------------------------------------
# Network namespaces


def netns_name(prefix):
    """The namespace this process owns."""
    return f"{prefix}{os.getpid()}"


def create_netns(name, hosts, address=ADDRESS):
    """Creates the namespace with loopback up, carrying `address`, and a hosts
    file mapping each of `hosts` to it. Nothing is left when it fails."""
    r = subprocess.run(["ip", "netns", "add", name], capture_output=True, text=True)
    if r.returncode != 0:
        raise RuntimeError(f"cannot create network namespace {name} (root needed): "
                           f"{r.stderr.strip()}")
    try:
        etc = Path(f"/etc/netns/{name}")
        etc.mkdir(parents=True, exist_ok=True)
        (etc / "hosts").write_text(f"127.0.0.1 localhost\n{address} {' '.join(hosts)}\n")
        subprocess.run(["ip", "-n", name, "link", "set", "lo", "up"], check=True)
        subprocess.run(["ip", "-n", name, "addr", "add", f"{address}/24", "dev", "lo"],
                       check=True)
    except BaseException:
        remove_netns(name)
        raise


def remove_netns(name):
    """Kills whatever still runs in the namespace, then removes it and its
    /etc/netns folder."""
    pids = subprocess.run(["ip", "netns", "pids", name], capture_output=True, text=True).stdout
    for pid in pids.split():
        with contextlib.suppress(ProcessLookupError, ValueError):
            os.kill(int(pid), signal.SIGKILL)
    subprocess.run(["ip", "netns", "delete", name], capture_output=True)
    shutil.rmtree(f"/etc/netns/{name}", ignore_errors=True)


def remove_stale_netns(prefix):
    """Removes the namespaces of earlier runs with this prefix whose owner has
    died before it could clean up."""
    out = subprocess.run(["ip", "netns", "list"], capture_output=True, text=True).stdout
    for owner in re.findall(rf"^{re.escape(prefix)}(\d+)\b", out, re.M):
        if not Path(f"/proc/{owner}").exists():
            remove_netns(prefix + owner)


def raise_on_sigterm():
    """Turns SIGTERM into KeyboardInterrupt, so that a terminated run still
    leaves through its clean-up (finally and with blocks)."""
    def stop(signum, _frame):
        raise KeyboardInterrupt(f"signal {signum}")
    signal.signal(signal.SIGTERM, stop)


# ---------------------------------------------------------------------------
# The X display


def free_display_number(first, spread, end):
    """A display number in [first, end) with neither a lock file nor a socket,
    starting at a place that depends on the process id. The socket folder is
    shared by every namespace on the machine (the sandboxed web process
    connects through the file), so each harness keeps to a range of its own."""
    for n in range(first + os.getpid() % spread, end):
        if not Path(f"/tmp/.X11-unix/X{n}").exists() and not Path(f"/tmp/.X{n}-lock").exists():
            return n
    raise RuntimeError(f"no free X display number in {first}..{end - 1}")


def start_xvfb(spawn, number, width, height, options=(), timeout=10):
    """Starts Xvfb on :number through spawn(argv, pass_fds=...), which starts
    the process in a group of its own and keeps it for the clean-up, and
    returns the display name once the server accepts connections."""
    read_fd, write_fd = os.pipe()
    try:
        spawn(["Xvfb", f":{number}", "-displayfd", str(write_fd), "-screen", "0",
               f"{width}x{height}x24", "-nolisten", "tcp", *options], pass_fds=[write_fd])
    finally:
        os.close(write_fd)
    with os.fdopen(read_fd) as f:
        ready, _, _ = select.select([f], [], [], timeout)
        answer = f.readline().strip() if ready else ""
    if not answer:
        raise RuntimeError(f"Xvfb did not start on :{number}")
    return f":{answer}"


def start_openbox(spawn, display, options=(), timeout=10):
    """Starts openbox through spawn(argv) and waits until it manages the
    display (it has set _NET_SUPPORTING_WM_CHECK on the root window)."""
    spawn(["openbox", "--sm-disable", *options])
    env = {"PATH": "/usr/bin:/bin:/usr/local/bin", "DISPLAY": display}
    deadline = time.monotonic() + timeout
    while "_NET_SUPPORTING_WM_CHECK(WINDOW)" not in subprocess.run(
            ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=env, capture_output=True,
            text=True).stdout:
        if time.monotonic() > deadline:
            raise RuntimeError(f"openbox did not start on {display}")
        time.sleep(0.1)


# ---------------------------------------------------------------------------
# Processes


def kill_group(pgid, grace=2.0, proc=None):
    """Ends a process group: SIGTERM, then SIGKILL to what is left after the
    grace period. `proc`, the group's leader as a Popen, is reaped."""
    with contextlib.suppress(ProcessLookupError):
        os.killpg(pgid, signal.SIGTERM)
    deadline = time.monotonic() + grace
    while time.monotonic() < deadline:
        if proc is not None:
            proc.poll()
        try:
            os.killpg(pgid, 0)
        except ProcessLookupError:
            break
        time.sleep(0.02)
    else:
        with contextlib.suppress(ProcessLookupError):
            os.killpg(pgid, signal.SIGKILL)
    if proc is not None:
        proc.wait()


Stat = collections.namedtuple("Stat", "state ppid sid ticks")


def proc_stat(pid):
    """State, parent, session and CPU time (utime+stime ticks) of a process,
    or None when it is gone."""
    try:
        text = Path(f"/proc/{pid}/stat").read_text()
    except OSError:
        return None
    fields = text[text.rfind(")") + 2:].split()
    return Stat(fields[0], int(fields[1]), int(fields[3]), int(fields[11]) + int(fields[12]))


def _table():
    table = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            st = proc_stat(int(entry))
            if st:
                table[int(entry)] = st
    return table


def children_of(pid):
    """The running (not zombie) children of a process."""
    return [p for p, st in _table().items() if st.ppid == pid and st.state != "Z"]


def process_tree(root, live_only=False):
    """The process and all its descendants, plus any process of its session
    (a helper that was reparented still belongs to it); with live_only, none
    that has ended and waits to be reaped."""
    table = _table()
    if root not in table:
        return []
    sid = table[root].sid
    tree = {root}
    changed = True
    while changed:
        changed = False
        for pid, st in table.items():
            if pid not in tree and (st.ppid in tree or st.sid == sid):
                tree.add(pid)
                changed = True
    return sorted(p for p in tree if not live_only or table[p].state != "Z")


def descendants(root, live_only=False):
    return [p for p in process_tree(root, live_only) if p != root]


def comm(pid):
    try:
        return Path(f"/proc/{pid}/comm").read_text().strip()
    except OSError:
        return "?"
