#!/usr/bin/env bash
# Runs the tavrino program of a build directory. With a desktop (DISPLAY or
# WAYLAND_DISPLAY set) it opens there. Without one it runs under Xvfb, waits
# until the main window has drawn its page (its picture stops changing, or
# about 10 s), saves a screenshot of the main window to BUILD/screenshot.png,
# and ends the program with its "Exit" button.
#
# A build that carries the default site hosts (names under .invalid, which
# resolve nowhere) is run against the demo site in demo/site: demo/serve.py
# serves it on a free loopback port, and only the program (with what it
# launches) is pointed at it as its HTTP proxy (http_proxy). The server ends
# with this script. Under Xvfb the script also types a few letters into the
# demo typing panel before the screenshot.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: run-linux.sh BUILD-DIR}" && pwd)
bin="$build/bin/tavrino"
if [ ! -x "$bin" ]; then
  echo "run-linux.sh: no program at $bin; build the tavrino target first" >&2
  exit 1
fi

cache_value() {
  sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt" 2>/dev/null | head -n1
}
product_host=$(cache_value TAVRINO_PRODUCT_HOST)
maker_host=$(cache_value TAVRINO_MAKER_HOST)
demo=""
if [[ "$product_host" == *.invalid && "$maker_host" == *.invalid ]]; then
  demo=1
fi

server_pid=""
xvfb_pid=""
prog_pid=""
cleanup() {
  [ -n "$prog_pid" ] && kill "$prog_pid" 2>/dev/null && wait "$prog_pid" 2>/dev/null
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  true
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# The program's environment: for the demo, the proxy setting, read from the
# environment even where a desktop has proxy settings of its own (GNOME's
# resolver ignores http_proxy), and nothing that would send the demo hosts
# past it.
prog_env=()
if [ -n "$demo" ]; then
  coproc SERVER {
    exec python3 "$here/../demo/serve.py" --root "$here/../demo/site" \
      --host "$product_host" --host "$maker_host" 2>"$build/demo-site.log"
  }
  server_pid=$SERVER_PID
  read -r -t 10 -u "${SERVER[0]}" ready port || true
  if [ "${ready:-}" != ready ]; then
    echo "run-linux.sh: the demo site did not start; see $build/demo-site.log" >&2
    exit 1
  fi
  prog_env=(env -u no_proxy -u NO_PROXY -u HTTP_PROXY "http_proxy=http://127.0.0.1:$port"
            GIO_USE_PROXY_RESOLVER=libproxy PX_CONFIG_ORDER=config_envvar)
  echo "Demo site for http://$product_host and http://$maker_host on 127.0.0.1:$port"
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  if [ -z "$demo" ]; then
    exec "$bin"
  fi
  # In the background, so that a signal to this script is handled at once
  # and its cleanup ends the program and the server together.
  "${prog_env[@]}" "$bin" &
  prog_pid=$!
  status=0
  wait "$prog_pid" || status=$?
  prog_pid=""
  exit "$status"
fi

for n in $(seq 90 199); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
done
export DISPLAY=":$n"
unset WAYLAND_DISPLAY

Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  xdpyinfo >/dev/null 2>&1 && break
  sleep 0.1
done

NO_AT_BRIDGE=1 "${prog_env[@]}" "$bin" >"$build/run-linux.log" 2>&1 &
prog_pid=$!

win=""
for _ in $(seq 100); do
  win=$(xdotool search --onlyvisible --name '^Tavrino 1\.5$' 2>/dev/null | head -n1 || true)
  [ -n "$win" ] && break
  sleep 0.1
done
if [ -z "$win" ]; then
  echo "run-linux.sh: the main window did not appear; see $build/run-linux.log" >&2
  exit 1
fi

# The page has loaded once the window's picture holds still for a second.
wait_still() {
  local last="" now stable=0
  for _ in $(seq 40); do
    sleep 0.25
    now=$(xwd -silent -id "$win" | md5sum)
    if [ "$now" = "$last" ]; then
      stable=$((stable + 1))
      [ "$stable" -ge 4 ] && break
    else
      stable=0
    fi
    last=$now
  done
}
wait_still

if [ -n "$demo" ]; then
  # Into the demo panel's top text area, as a user would.
  xdotool mousemove --window "$win" 300 100 click 1
  sleep 0.3
  xdotool type --delay 60 "namaste nepaal. mero naam tavrino ho."
  sleep 1
fi

shot="$build/screenshot.png"
import -window "$win" "$shot"
echo "Screenshot of the main window: $shot"

# "Exit", at its place in the main window's layout table.
exit_at=$(python3 -c 'import sys; sys.path.insert(0, sys.argv[1])
from layouts import Layouts
print(*Layouts.of_build(sys.argv[2]).centre("frmDownloadDisplay", "Command6"))' \
  "$here/../tests" "$build")
xdotool mousemove --window "$win" $exit_at click 1
for _ in $(seq 50); do
  kill -0 "$prog_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$prog_pid" 2>/dev/null; then
  kill "$prog_pid"
fi
wait "$prog_pid" || true
prog_pid=""
