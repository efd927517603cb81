#!/usr/bin/env bash
# Runs the tavrino program of a build directory. With a desktop (DISPLAY or
# WAYLAND_DISPLAY set) it opens there. Without one it runs under Xvfb, waits
# until the main window has drawn its page (its picture stops changing, or
# about 10 s), saves a screenshot of the main window to BUILD/screenshot.png,
# and ends the program with its "Exit" button.
set -euo pipefail
build=$(cd "${1:?usage: run-linux.sh BUILD-DIR}" && pwd)
bin="$build/bin/tavrino"
if [ ! -x "$bin" ]; then
  echo "run-linux.sh: no program at $bin; build the tavrino target first" >&2
  exit 1
fi
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$bin"
fi

for n in $(seq 90 199); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
done
export DISPLAY=":$n"
unset WAYLAND_DISPLAY
xvfb_pid=""
prog_pid=""
cleanup() {
  [ -n "$prog_pid" ] && kill "$prog_pid" 2>/dev/null && wait "$prog_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  true
}
trap cleanup EXIT

Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  xdpyinfo >/dev/null 2>&1 && break
  sleep 0.1
done

NO_AT_BRIDGE=1 "$bin" >"$build/run-linux.log" 2>&1 &
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
last=""
stable=0
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

shot="$build/screenshot.png"
import -window "$win" "$shot"
echo "Screenshot of the main window: $shot"

# "Exit" sits at 12600, 10800 twips (840, 720 pixels), 97 x 25 pixels.
xdotool mousemove --window "$win" 888 732 click 1
for _ in $(seq 50); do
  kill -0 "$prog_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$prog_pid" 2>/dev/null; then
  kill "$prog_pid"
fi
wait "$prog_pid" || true
prog_pid=""
