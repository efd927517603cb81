#!/usr/bin/env python3
"""The fixture web site for the end-to-end tests: serves a directory for every
host name and writes one line per GET ("GET <path>") to a log file. /size and
/glyphs are the typing page's beacons and answer 204, as do the hostile
pages' /beat and /done. Files under /cacheable/ may be kept a day; nothing
else may be kept."""

import argparse
import http.server
import os
import sys


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bind", required=True)
    ap.add_argument("--port", type=int, default=80)
    ap.add_argument("--root", required=True)
    ap.add_argument("--log", required=True)
    args = ap.parse_args()
    log = open(args.log, "a", buffering=1)

    class Handler(http.server.SimpleHTTPRequestHandler):
        def __init__(self, *a, **kw):
            super().__init__(*a, directory=args.root, **kw)

        def do_GET(self):
            log.write("GET %s\n" % self.path)
            if self.path.startswith(("/size?", "/glyphs?", "/beat?", "/done")):
                self.send_response(204)
                self.send_header("Cache-Control", "no-store")
                self.end_headers()
                return
            super().do_GET()

        def end_headers(self):
            if self.path.startswith("/cacheable/"):
                self.send_header("Cache-Control", "public, max-age=86400")
            else:
                self.send_header("Cache-Control", "no-store")
            super().end_headers()

        def log_message(self, *a):
            pass

    server = http.server.ThreadingHTTPServer((args.bind, args.port), Handler)
    print("ready", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
