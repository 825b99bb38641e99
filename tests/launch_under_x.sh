#!/usr/bin/env bash
# Starts the built program as a user does, on a virtual X display, waits for
# its window "Form1", clicks "Exit" and expects the program to end by itself.
set -euo pipefail
program=$1

inner() {
  "$program" &
  local pid=$! window=""
  for _ in $(seq 100); do
    window=$(xdotool search --name '^Form1$' 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    sleep 0.1
  done
  if [ -z "$window" ]; then
    echo "no window named Form1 appeared"
    kill "$pid" 2>/dev/null || true
    return 1
  fi
  xwininfo -id "$window" | grep -E 'Width|Height'
  # The client area of 400 pixels lies under the menu bar.
  local height bar
  height=$(xwininfo -id "$window" | awk '/Height:/ {print $2}')
  bar=$(( height - 400 ))
  # The centre of "Exit": left 9960, top 5280, 1215 x 255 twips, 15 twips a pixel.
  # On a loaded machine the window may take a moment to take clicks: a
  # click that found it not ready yet is given again, three times at most.
  sleep 0.5
  for _ in 1 2 3; do
    xdotool mousemove --window "$window" $(( (9960 + 607) / 15 )) $(( bar + (5280 + 127) / 15 )) click 1
    for _ in $(seq 30); do
      if ! kill -0 "$pid" 2>/dev/null; then
        wait "$pid" && echo "ended by Exit" && return 0
        echo "ended with a failure"
        return 1
      fi
      sleep 0.1
    done
  done
  echo "still running 9 s after three clicks on Exit"
  kill "$pid" 2>/dev/null || true
  return 1
}

if [ "${1:-}" != "--inner" ] && [ -z "${PEAKFOLD_UNDER_X:-}" ]; then
  export PEAKFOLD_UNDER_X=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
inner
