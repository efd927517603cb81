#!/bin/bash
# Runs the Windows program under Wine on an X server of its own and drives it
# with xdotool: the main window and its buttons, the two link labels (the
# launched programs are recorders beside the exe), the covered credit label,
# "Exit" with the other windows open, and the end of the run when the last
# window closes. Also runs the backend probe and F1 help, and a second run
# driven by keys: Tab, Shift+Tab, Return, Space and Escape.
# Everything it starts is stopped and its temporary directory removed on
# every exit path.
# usage: wine_smoke.sh WINDOWS_BUILD_DIR MAKER_HOST PRODUCT_HOST
set -euo pipefail

build=${1:?usage: wine_smoke.sh WINDOWS_BUILD_DIR MAKER_HOST PRODUCT_HOST}
maker_host=${2:?}
product_host=${3:?}

work=$(mktemp -d /tmp/tavrino-wine.XXXXXX)
xvfb_pid=
app_pid=
cleanup() {
  set +e
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then timeout 30 wineserver -k 2>/dev/null; fi
  [ -n "$app_pid" ] && kill -- -"$app_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() {
  echo "FAIL $*"
  exit 1
}
pass() { echo "PASS $*"; }

export HOME="$work/home" WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all
export XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
# No Mono or Gecko download prompts, no menu entries, no host browser.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winebrowser.exe=d"
mkdir -p "$HOME"

# Our own X server, on a display number of its own. Not -displayfd: it
# starts at :0, and in a network namespace of its own (check.sh) the abstract
# X socket does not collide with another harness's :0, so two runs could both
# take :0 and remove each other's lock and socket files.
display=""
for n in $(seq $((4000 + $$ % 1000)) 5999); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
    display=$n
    break
  fi
done
[ -n "$display" ] || fail "no free display number"
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
[ -e "/tmp/.X11-unix/X$display" ] || fail "Xvfb did not start"
export DISPLAY=":$display"

t0=$(date +%s%N)
timeout 180 wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot"
echo "wine prefix: $(( ($(date +%s%N) - t0) / 1000000 )) ms"

app="$work/app"
mkdir -p "$app"
cp "$build/app/tavrino1.5.exe" "$build/app/tavrino-win32-probe.exe" "$build/recorders/explorer.exe" \
  "$build/recorders/start.exe" "$app/"
cp "$build/recorders/start.exe" "$app/help.exe"
launches="$app/launches.txt"
cd "$app"

# ---- the backend, driven from inside the process, started in a folder with
# planted programs that a launch must never find there
planted="$work/planted"
mkdir -p "$planted"
cp "$build/recorders/explorer.exe" "$planted/explorer.exe"
cp "$build/recorders/explorer.exe" "$planted/tavrino-planted.exe"
t1=$(date +%s%N)
(cd "$planted" && timeout 120 wine "$app/tavrino-win32-probe.exe") >"$work/probe.log" 2>&1 || true
sed 's/\r$//' "$work/probe.log"
grep -q '^ALL PASSED' "$work/probe.log" || fail "backend probe"
timeout 30 wineserver -w || true
planted_runs=$(sed 's/\r$//' "$planted/launches.txt" 2>/dev/null || true)
[ "$planted_runs" = "0	\"$(winepath -w "$planted")\\tavrino-planted.exe\" absolute" ] ||
  fail "programs in the current folder ran: $planted_runs"
pass "the current folder is not searched; an absolute path is taken as it is"
grep -q '^3	explorer probe-own-folder$' <(sed 's/\r$//' "$launches") ||
  fail "the probe's explorer did not come from its own folder"
pass "explorer is found in the program's own folder"

# ---- the shipped program, driven as a user would
# F1 opens the help address with the system's handler for http: a recorder.
timeout 60 wine reg add 'HKCR\http\shell\open\command' /ve /f \
  /d "\"$(winepath -w "$app/help.exe")\" \"%1\"" >/dev/null 2>&1 || fail "registering a help handler"
rm -f "$launches"

setsid timeout 300 wine ./tavrino1.5.exe >"$work/app.log" 2>&1 &
app_pid=$!

# The X window of a Wine top-level window with exactly this title.
find_window() {
  local id
  for id in $(xdotool search --onlyvisible --name "$1" 2>/dev/null); do
    if [ "$(xdotool getwindowname "$id")" = "$2" ]; then
      echo "$id"
      return 0
    fi
  done
  return 1
}
wait_window() {  # title
  local pattern="^$(printf '%s' "$1" | sed 's/[].[^$*+?(){}|\\]/\\&/g')\$"
  for _ in $(seq 150); do
    find_window "$pattern" "$1" && return 0
    sleep 0.2
  done
  return 1
}
wait_gone() {  # title
  local pattern="^$(printf '%s' "$1" | sed 's/[].[^$*+?(){}|\\]/\\&/g')\$"
  for _ in $(seq 100); do
    find_window "$pattern" "$1" >/dev/null || return 0
    sleep 0.2
  done
  return 1
}
lines() { [ -f "$launches" ] && wc -l <"$launches" || echo 0; }
wait_lines() {  # count
  for _ in $(seq 100); do
    [ "$(lines)" -ge "$1" ] && return 0
    sleep 0.2
  done
  return 1
}
# Clicks at a point of a window's inner area given in twips. Without a
# window manager a Wine window's X window is its client area.
click() {  # window left_twips top_twips
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$1")"
  xdotool mousemove --sync $((X + $2 / 15)) $((Y + $3 / 15))
  sleep 0.4
  xdotool click 1
}

# The program ends by itself once its last window has gone, with status 0.
expect_clean_end() {
  local status=0
  for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.2; done
  kill -0 "$app_pid" 2>/dev/null && fail "the process did not end with its last window"
  wait "$app_pid" || status=$?
  app_pid=
  [ "$status" = 0 ] || fail "the program exited with $status"
}

t2=$(date +%s%N)
main=$(wait_window "Tavrino 1.5") || fail "the main window did not appear"
pass "main window \"Tavrino 1.5\" appears"
eval "$(xdotool getwindowgeometry --shell "$main")"
[ "$WIDTH" = 935 ] && [ "$HEIGHT" = 743 ] || fail "main window inner area is ${WIDTH}x${HEIGHT}"
pass "main window inner area 935 x 743"

# Centres of the stored places, in twips of each window's inner area.
click "$main" $((11280 + 1335 / 2)) $((10800 + 375 / 2))  # Update
form1=$(wait_window "Form1") || fail "\"Update\" did not open Form1"
pass "\"Update\" opens Form1"

click "$form1" $((4200 + 2535 / 2)) $((4680 + 120 + 255 / 2))  # Click Here for More Softwares
wait_lines 1 || fail "the updates window's link label launched nothing"
pass "the updates window's link label launches"

click "$main" $((9840 + 1335 / 2)) $((10800 + 375 / 2))  # About
about=$(wait_window "About - Tavrino 1.5") || fail "\"About\" did not open the about window"
pass "\"About\" opens \"About - Tavrino 1.5\""

click "$about" $((-240 + 1440 + 4335 / 2)) $((-240 + 6720 + 495 / 2))  # Tavrino, Dovrent Team
wait_lines 2 || fail "the about window's link label launched nothing"
pass "the about window's link label launches"

# The credit label lies beneath the pane: a click at its visible place
# reaches the pane and launches nothing.
click "$main" 11220 11100
xdotool key F1
wait_lines 3 || fail "F1 opened no help"
sleep 1
expected=$(printf '3\texplorer http://%s/\n3\texplorer http://%s/\n1\t"%s" "http://%s/1.5/help.html"\n' \
  "$maker_host" "$maker_host" "$(winepath -w "$app/help.exe")" "$product_host")
actual=$(sed 's/\r$//' "$launches")
if [ "$actual" != "$expected" ]; then
  printf 'expected:\n%s\nactual:\n%s\n' "$expected" "$actual"
  fail "launched command lines"
fi
pass "link labels launch \"explorer http://$maker_host/\" maximized (3); F1 opens the help page"
pass "a click at the credit label's place launches nothing"

click "$main" $((12600 + 1455 / 2)) $((10800 + 375 / 2))  # Exit
wait_gone "Tavrino 1.5" || fail "\"Exit\" did not close the main window"
find_window '^Form1$' Form1 >/dev/null || fail "\"Exit\" closed Form1"
find_window '^About - Tavrino 1\.5$' "About - Tavrino 1.5" >/dev/null || fail "\"Exit\" closed About"
kill -0 "$app_pid" 2>/dev/null || fail "the run ended with windows still open"
pass "\"Exit\" closes the main window alone; the run goes on"

click "$about" $((-240 + 3120 + 1335 / 2)) $((-240 + 7200 + 360 / 2))  # Close
wait_gone "About - Tavrino 1.5" || fail "\"Close\" did not close the about window"
sleep 1
kill -0 "$app_pid" 2>/dev/null || fail "the run ended while Form1 was open"
pass "\"Close\" closes the about window; the run goes on"

click "$form1" $((240 + 1815 / 2)) $((4680 + 120 + 255 / 2))  # Click here to close
wait_gone "Form1" || fail "\"Click here to close\" did not close Form1"
expect_clean_end
pass "closing the last window ends the process with status 0"
[ -s "$work/app.log" ] && { echo "program output:"; cat "$work/app.log"; }
echo "wine run: probe $(( (t2 - t1) / 1000000 )) ms, program $(( ($(date +%s%N) - t2) / 1000000 )) ms"

# ---- the keyboard, in a second run
# Keys go to the window that has the X input focus; without a window manager
# xdotool hands it over and Wine activates that window.
keys() {  # window key...
  local w=$1
  shift
  xdotool windowfocus --sync "$w" 2>/dev/null || true
  sleep 0.3
  for k in "$@"; do
    xdotool key "$k"
    sleep 0.4
  done
}
setsid timeout 300 wine ./tavrino1.5.exe >"$work/app2.log" 2>&1 &
app_pid=$!
main=$(wait_window "Tavrino 1.5") || fail "the main window did not appear again"
click "$main" $((11280 + 1335 / 2)) $((10800 + 375 / 2))  # Update
form1=$(wait_window "Form1") || fail "\"Update\" did not open Form1"
click "$form1" $((240 + 1815 / 2)) $((4680 + 120 + 255 / 2))  # Click here to close
wait_gone "Form1" || fail "\"Click here to close\" did not close Form1"
# The click gave "Update" the focus, which the main window keeps.
keys "$main" Tab space
about=$(wait_window "About - Tavrino 1.5") || fail "Tab then Space after \"Update\" opened no about window"
pass "after a click on \"Update\", Tab then Space opens the about window"
keys "$about" Return space Escape
sleep 1
find_window '^About - Tavrino 1\.5$' "About - Tavrino 1.5" >/dev/null ||
  fail "Return, Space or Escape closed the about window"
pass "Return, Space and Escape right after it opens leave the about window open"
keys "$about" Tab Return  # from the picture to "Close", which Return clicks
wait_gone "About - Tavrino 1.5" || fail "Tab then Return in the about window did not close it"
pass "Tab then Return in the about window click \"Close\""
# The main window is active again, with the focus back on "About".
keys "$main" shift+Tab shift+Tab space
wait_gone "Tavrino 1.5" || fail "Shift+Tab twice then Space from \"About\" did not close the main window"
expect_clean_end
pass "Shift+Tab twice then Space from \"About\" reaches \"Exit\"; the run ends with status 0"
if [ -s "$work/app2.log" ]; then
  echo "program output:"
  cat "$work/app2.log"
fi
