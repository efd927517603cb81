#!/usr/bin/env python3
"""Checks demo/serve.py: it answers proxy requests for its hosts from the
site, and refuses other hosts, other ports, paths leaving the site, tunnels
and other methods. Run: serve_test.py (no arguments)."""

import os
import socket
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
HOSTS = ("www.tavrino.invalid", "www.dovrent.invalid")

# (request line, extra headers, expected status, text the body must contain)
CASES = [
    ("GET http://www.tavrino.invalid/1.5/encrypted.html HTTP/1.1", "", 200, b"typing panel"),
    ("GET http://www.tavrino.invalid/1.5/updates.html HTTP/1.1", "", 200, b"updates"),
    ("GET http://www.tavrino.invalid/1.5/help.html HTTP/1.1", "", 200, b"help"),
    ("GET http://WWW.DOVRENT.INVALID/ HTTP/1.1", "", 200, b"Dovrent"),
    ("GET http://www.dovrent.invalid:80/tavrino.html HTTP/1.1", "", 200, b"Tavrino"),
    ("HEAD http://www.tavrino.invalid/1.5/help.html HTTP/1.1", "", 200, b""),
    ("GET http://www.tavrino.invalid/size?w=935&h=743 HTTP/1.1", "", 204, b""),
    ("GET http://www.tavrino.invalid/glyphs?real=7&of=7 HTTP/1.1", "", 204, b""),
    ("GET http://www.tavrino.invalid/missing.html HTTP/1.1", "", 404, b""),
    ("GET http://www.tavrino.invalid/1.5/../../serve.py HTTP/1.1", "", 404, b""),
    ("GET http://www.tavrino.invalid/%2e%2e/serve.py HTTP/1.1", "", 404, b""),
    ("GET http://www.tavrino.invalid/..%2fserve.py HTTP/1.1", "", 404, b""),
    # Not the demo's hosts, ports or scheme: refused, never fetched.
    ("GET http://example.com/ HTTP/1.1", "", 403, b"answers only"),
    ("GET http://127.0.0.1/ HTTP/1.1", "", 403, b""),
    ("GET http://www.tavrino.invalid.example.com/ HTTP/1.1", "", 403, b""),
    ("GET http://www.tavrino.invalid:8080/ HTTP/1.1", "", 403, b""),
    ("GET ftp://www.tavrino.invalid/ HTTP/1.1", "", 403, b""),
    ("GET / HTTP/1.1", "Host: example.com\r\n", 403, b""),
    ("GET / HTTP/1.1", "", 403, b""),
    ("CONNECT www.tavrino.invalid:443 HTTP/1.1", "", 405, b""),
    ("POST http://www.tavrino.invalid/ HTTP/1.1", "Content-Length: 0\r\n", 405, b""),
]


def request(port, line, headers):
    with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
        s.sendall(("%s\r\n%s\r\n" % (line, headers)).encode())
        data = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    return int(head.split()[1]), body


def main():
    cmd = [sys.executable, os.path.join(HERE, "serve.py"), "--root", os.path.join(HERE, "site")]
    for h in HOSTS:
        cmd += ["--host", h]
    server = subprocess.Popen(cmd, stdout=subprocess.PIPE)
    failures = 0
    try:
        ready, port = server.stdout.readline().split()
        assert ready == b"ready", ready
        listening = subprocess.run(["ss", "-Hltn", "sport = :%d" % int(port)],
                                   capture_output=True, text=True).stdout.split()
        if listening and listening[3] != "127.0.0.1:%d" % int(port):
            print("FAIL: listens on %s, not on loopback alone" % listening[3])
            failures += 1
        for line, headers, want, text in CASES:
            status, body = request(int(port), line, headers)
            ok = status == want and text.lower() in body.lower()
            print("%s: %s -> %d" % ("ok" if ok else "FAIL", line, status))
            failures += not ok
    finally:
        server.terminate()
        server.wait(timeout=5)
    print("PASS" if not failures else "%d FAILED" % failures)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
