#!/usr/bin/env python3
"""Serves the demo site to a program that uses this server as its HTTP proxy
(http_proxy=http://127.0.0.1:PORT).

It answers GET and HEAD for the given host names only, from one directory,
and refuses every other host, every other method and CONNECT: it never
forwards anything anywhere. It listens on 127.0.0.1 alone, on a free port
unless one is given, prints "ready PORT" once it listens, and ends with its
parent process.

Run: serve.py --root DIR --host NAME [--host NAME ...] [--port N] [--log FILE]
With --log it writes one line per request: status, method and target.
"""

import argparse
import ctypes
import http.server
import os
import posixpath
import signal
import sys
import urllib.parse

BEACONS = ("/size?", "/glyphs?")


def end_with_parent():
    parent = os.getppid()
    PR_SET_PDEATHSIG = 1
    try:
        ctypes.CDLL(None).prctl(PR_SET_PDEATHSIG, signal.SIGTERM, 0, 0, 0)
    except (OSError, AttributeError):
        pass
    if os.getppid() != parent:  # the parent went before the request took hold
        sys.exit(0)


def file_for(root, path):
    """The file under root that an URL path names, or None. Paths that leave
    root, and anything not a regular file, name nothing."""
    parts = [p for p in urllib.parse.unquote(path).split("/") if p not in ("", ".")]
    if ".." in parts or any("\0" in p or "\\" in p for p in parts):
        return None
    rel = posixpath.join(*parts) if parts else ""
    full = os.path.join(root, rel)
    if os.path.isdir(full):
        full = os.path.join(full, "index.html")
    real = os.path.realpath(full)
    if os.path.commonpath([real, root]) != root or not os.path.isfile(real):
        return None
    return real


def make_handler(root, hosts, log):
    class Handler(http.server.BaseHTTPRequestHandler):
        server_version = "tavrino-demo"
        sys_version = ""

        def target(self):
            """(host, path) of the request: from an absolute URI, as a proxy
            is sent, or from the path and the Host header."""
            if self.path.startswith("/"):
                host = (self.headers.get("Host") or "").rsplit(":", 1)[0]
                port = None
                path = self.path
            else:
                url = urllib.parse.urlsplit(self.path)
                if url.scheme.lower() != "http":
                    return None, None
                try:
                    port = url.port
                except ValueError:
                    return None, None
                host = url.hostname or ""
                path = url.path or "/"
                if url.query:
                    path += "?" + url.query
            if host.lower() not in hosts or port not in (None, 80):
                return None, None
            return host, path

        def answer(self, body):
            host, path = self.target()
            if host is None:
                self.refuse(403, "This demo server answers only for %s.\n"
                            % ", ".join(sorted(hosts)))
                return
            if path.startswith(BEACONS):
                self.send_response(204)
                self.end_headers()
                return
            name = file_for(root, path.split("?", 1)[0])
            if name is None:
                self.refuse(404, "Not found.\n")
                return
            with open(name, "rb") as f:
                data = f.read()
            self.send_response(200)
            self.send_header("Content-Type", content_type(name))
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            if body:
                self.wfile.write(data)

        def refuse(self, status, text):
            data = text.encode()
            self.send_response(status)
            self.send_header("Content-Type", "text/plain; charset=utf-8")
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            if self.command != "HEAD":
                self.wfile.write(data)

        def do_GET(self):
            self.answer(True)

        def do_HEAD(self):
            self.answer(False)

        def do_CONNECT(self):
            self.refuse(405, "No tunnels.\n")

        do_POST = do_PUT = do_DELETE = do_OPTIONS = do_PATCH = do_CONNECT

        def end_headers(self):
            self.send_header("Cache-Control", "no-store")
            self.send_header("Connection", "close")
            super().end_headers()

        def log_request(self, code="-", size="-"):
            if log:
                log.write("%s %s %s\n" % (int(code), self.command, self.path))

        def log_message(self, fmt, *args):
            pass

    return Handler


def content_type(name):
    ext = os.path.splitext(name)[1].lower()
    return {".html": "text/html; charset=utf-8", ".css": "text/css; charset=utf-8",
            ".js": "text/javascript; charset=utf-8", ".png": "image/png",
            ".svg": "image/svg+xml"}.get(ext, "application/octet-stream")


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--root", required=True)
    ap.add_argument("--host", action="append", required=True)
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--log")
    args = ap.parse_args()
    end_with_parent()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    root = os.path.realpath(args.root)
    hosts = {h.lower() for h in args.host}
    log = open(args.log, "a", buffering=1) if args.log else None
    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port),
                                             make_handler(root, hosts, log))
    server.daemon_threads = True
    print("ready %d" % server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
