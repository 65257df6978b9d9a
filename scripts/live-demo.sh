#!/usr/bin/env bash
# The live half of `make demo`: the whole live path for about ten seconds without hardware.
# A private JACK server (dummy driver) and a private X server carry valvorama-live in its window
# on the "Asio" technology's JACK driver; tools/live_demo plays the DI phrase into the amp and
# records it, and the amp takes a screenshot of its front panel while the phrase plays.
#
#   scripts/live-demo.sh BUILD_DIR OUT_DIR    writes OUT_DIR/live.wav and OUT_DIR/front-panel.png
#
# Every process it starts is stopped by its PID on the way out, failed or not.
set -euo pipefail

build=${1:?usage: scripts/live-demo.sh BUILD_DIR OUT_DIR}
out=${2:?usage: scripts/live-demo.sh BUILD_DIR OUT_DIR}
live="$build/apps/valvorama-live/valvorama-live"
valvorama="$build/apps/valvorama/valvorama"
player="$build/tools/live_demo"
rate=48000
period=256
# The amp's screenshot falls on the ringing low E near the phrase's end (the player starts
# 0.75 s of lead-in once the amp's ports appear), and then the amp quits, which ends the
# recording.
screenshot_after=10

work=$(mktemp -d "${TMPDIR:-/tmp}/valvorama-live-demo-XXXXXX")
pids=()

stop_all() {
  local status=$?
  local i pid
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    pid=${pids[i]}
    kill -TERM "$pid" 2>/dev/null || continue
    for _ in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
  exit "$status"
}
trap stop_all EXIT
trap 'exit 130' INT TERM HUP

fail() {
  echo "live demo: $*" >&2
  for log in "$work"/*.log; do
    [ -s "$log" ] && { echo "--- $(basename "$log")" >&2; tail -n 20 "$log" >&2; }
  done
  exit 1
}

for program in "$live" "$valvorama" "$player"; do
  [ -x "$program" ] || fail "$program is not built"
done
command -v jackd >/dev/null || fail "jackd is not installed (scripts/install-deps.sh)"
command -v Xvfb >/dev/null || fail "Xvfb is not installed (scripts/install-deps.sh)"
mkdir -p "$out"

# A JACK server of our own, named so it meets no other.
export JACK_DEFAULT_SERVER="valvorama-demo-$$"
export JACK_NO_START_SERVER=1
jackd -n "$JACK_DEFAULT_SERVER" -r -p 64 -d dummy -r "$rate" -p "$period" >"$work/jackd.log" 2>&1 &
pids+=($!)
jack_wait -w -t 10 -s "$JACK_DEFAULT_SERVER" >/dev/null 2>&1 || fail "the JACK server did not start"

# An X server on a free display: it writes the number it took once it takes connections.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb gave no display number"
export DISPLAY=":$(head -n 1 "$work/display")"

# The amp's settings: the JACK driver, its first capture port in, the first two playback out.
config="$work/config"
"$valvorama" hardware --config "$config" AudioTechnology=Asio \
  CurInDeviceName="JACK (Valvorama Live)" CurOuDeviceName="JACK (Valvorama Live)" \
  SelectedFrequencies="$rate" CurInChannelIndex=0 CurOuChannelLeftIndex=0 \
  CurOuChannelRightIndex=1 >"$work/hardware.log" 2>&1 || fail "cannot write the hardware settings"

"$live" --config "$config" --screenshot "$out/front-panel.png" --after "$screenshot_after" \
  >"$work/valvorama-live.log" 2>&1 &
amp=$!
pids+=("$amp")

# In the background, so that a signal to this script is taken at once and not after the phrase.
"$player" "$out/live.wav" 2>>"$work/live_demo.log" &
player_pid=$!
pids+=("$player_pid")
wait "$player_pid" || fail "the live path did not play"

# The amp quits by itself after its screenshot.
for _ in $(seq 200); do
  kill -0 "$amp" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$amp" 2>/dev/null && fail "valvorama-live did not quit after its screenshot"
status=0
wait "$amp" || status=$?
[ "$status" -eq 0 ] || fail "valvorama-live ended with status $status"
[ -s "$out/front-panel.png" ] || fail "valvorama-live wrote no screenshot"
echo "live: wrote $out/live.wav and $out/front-panel.png"
