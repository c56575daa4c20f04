#!/usr/bin/env bash
# CPU time of the whole program while it plays DSD64 with the main window shown and refreshing (target:
# under 2% of one core), and of the audio path alone (play_files, no window) for comparison:
#
#   tools/bench_view/cpu_while_playing.sh [seconds, default 60] [runs, default 1]
#
# Builds nothing: takes build/Groovestone-lp-dsd and build/tools/play_files (GS_BUILD_DIR for another
# build folder). Runs on a display of its own (Xvfb). Each run starts a copy of the program in a
# temporary folder whose settings name the "DSD capture" device (an ALSA file PCM over null, from the
# folder's own HOME) and whose playlist "Bench" holds one DSD64 track of 75 s, loads the playlist into
# List 1 with a double click, starts it with P, waits 5 s, then reads the process's user and system
# time from /proc over the measured stretch. The machine's load average is printed beside the
# figures: other work on the machine shows in them.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${GS_BUILD_DIR:-$top/build}
seconds=${1:-60}
runs=${2:-1}

if [[ -z ${GS_CPU_ON_XVFB:-} ]]; then
  GS_CPU_ON_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "${BASH_SOURCE[0]}" "$@"
fi

program=$build/Groovestone-lp-dsd
play_files=$build/tools/play_files
for f in "$program" "$play_files"; do
  [[ -x $f ]] || { echo "missing $f: build first (cmake --build build)" >&2; exit 2; }
done
for tool in xdotool python3; do
  command -v $tool >/dev/null || { echo "needs $tool" >&2; exit 2; }
done

# Screen positions: the 820x560 window centred on 1280x1024 lies at (230, 232); the list panel at
# window (100, 122) with rows 32 px high; the close button at window (795, 12).
left=230 topy=232
row1_x=$((left + 160)) row1_y=$((topy + 122 + 16))
close_x=$((left + 795)) close_y=$((topy + 12))
bar="470x28+$((left + 150))+$((topy + 80))" # the position bar at window (150, 80)

tmp=$(mktemp -d /tmp/gs-cpu-XXXXXX)
pid=
cleanup() {
  if [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null; then kill "$pid" 2>/dev/null || true; fi
  rm -rf "$tmp"
}
trap cleanup EXIT

app=$tmp/app/ home=$tmp/home/ music=$tmp/music/
mkdir -p "$app/lpli" "$home" "$music"
track=$music/bench.dsf
capture=$home/out.raw

# A DSD64 stereo DSF of 75 s (longer for a longer measurement): the DSD chunk, the fmt chunk, then 4096-byte blocks per channel of a
# fixed pseudo-random pattern (what the bytes are does not matter to the player's work).
python3 - "$track" $((seconds + 15 > 75 ? seconds + 15 : 75)) <<'EOF'
import random, struct, sys
rate, seconds, block = 2822400, int(sys.argv[2]), 4096
samples = rate * seconds
blocks = -(-samples // 8 // block)
data_size = blocks * block * 2
total = 28 + 52 + 12 + data_size
random.seed(64)
pattern = bytes(random.getrandbits(8) for _ in range(block * 2 * 16))
with open(sys.argv[1], "wb") as f:
    f.write(b"DSD " + struct.pack("<QQQ", 28, total, 0))
    f.write(b"fmt " + struct.pack("<QIIIIIIQII", 52, 1, 0, 2, 2, rate, 1, samples, block, 0))
    f.write(b"data" + struct.pack("<Q", 12 + data_size))
    for i in range(0, blocks, 16):
        f.write(pattern[: min(16, blocks - i) * block * 2])
EOF

# The settings for "DSD capture" (cover on the label), and the playlist "Bench" with the track.
python3 - "$app/lpli" "$track" <<'EOF'
import sys
folder, track = sys.argv[1], sys.argv[2]
def utf16(text): return text.encode("utf-16-le")
with open(folder + "/lp.is", "wb") as f:
    f.write(bytes([0x99, 0x3C, 0x34, 0x01]) + utf16("DSD capture") + bytes([0x0D, 0, 0x0A, 0]) +
            bytes([0, 1, 1, 1, 2, 0, 1, 0xFF]))
with open(folder + "/lpi.la", "wb") as f:
    f.write(b"\xFF\xFE" + utf16("Bench\r\n"))
with open(folder + "/lpi.lo", "wb") as f:
    f.write(b"\xFF\xFE" + utf16("!Bench\r\n  " + track + "\r\n"))
EOF
printf 'pcm.dsdcapture { type file slave.pcm "null" file "%s" format "raw" hint { show on description "DSD capture" } }\n' \
  "$capture" >"$home/.asoundrc"
# The copy has a name of its own: the program's single-instance guard counts processes by image name,
# so under its usual name it would refuse to start beside another engineer's running copy, and while
# it runs it would keep theirs from starting.
player=$app/gs-bench-player
cp "$program" "$player"

export HOME=$home XDG_DATA_HOME=$home/.local/share XDG_CONFIG_HOME=$home/.config
hz=$(getconf CLK_TCK)
# The display's server (started by xvfb-run beside this script): its share of the repaints is shown
# apart, as it is not the program's own time.
xserver=$(pgrep -P "$PPID" -x Xvfb | head -1 || true)

# utime + stime of the process (or of one thread, with a task path) in clock ticks.
ticks() { awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "$1/stat"; }
size_of() { stat -c %s "$capture" 2>/dev/null || echo 0; }
now() { date +%s.%N; }

# Measures process $pid over $seconds after a 5 s settling time; prints the figures after the label.
measure() {
  local label=$1
  sleep 5
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "$label: the process has ended before the measurement; its messages:" >&2
    cat "$tmp/stderr.txt" >&2
    return 1
  fi
  local t0 c0 m0 x0=0 b0 t1 c1 m1 x1=0 b1
  t0=$(now) c0=$(ticks /proc/$pid) m0=$(ticks /proc/$pid/task/$pid) b0=$(size_of)
  [[ -n $xserver ]] && x0=$(ticks "/proc/$xserver")
  sleep "$seconds"
  t1=$(now) c1=$(ticks /proc/$pid) m1=$(ticks /proc/$pid/task/$pid) b1=$(size_of)
  [[ -n $xserver ]] && x1=$(ticks "/proc/$xserver")
  awk -v label="$label" -v t0="$t0" -v t1="$t1" -v c="$((c1 - c0))" -v m="$((m1 - m0))" -v x="$((x1 - x0))" \
      -v b="$((b1 - b0))" -v hz="$hz" -v load="$(cut -d' ' -f1-3 /proc/loadavg)" 'BEGIN {
    wall = t1 - t0
    printf "%s: %.2f s CPU over %.1f s = %.2f%% of one core (target: under 2%%; main thread %.2f%%, Xvfb %.2f%%); captured %.1f MB = %.1f s of DSD64; load average %s\n",
      label, c / hz, wall, 100 * c / hz / wall, 100 * m / hz / wall, 100 * x / hz / wall, b / 1e6,
      b / (2822400 / 8 * 2), load
  }'
}

# Starts the program and plays the playlist; false when it does not come to play.
start_playing() {
  rm -f "$capture"
  local win='' start
  # Beside two other running copies the guard still ends the program at once: start it again later.
  for start in $(seq 30); do
    "$player" 2>"$tmp/stderr.txt" &
    pid=$!
    for _ in $(seq 80); do
      sleep 0.25
      kill -0 "$pid" 2>/dev/null || break
      win=$(xdotool search --onlyvisible --name '^Groovestone DSD$' 2>/dev/null | head -1) && break
    done
    [[ -n $win ]] && break
    wait "$pid" 2>/dev/null || true
    echo "start $start: no main window (other copies of the program running?); trying again" >&2
    sleep 2
  done
  [[ -n $win ]] || return 1
  sleep 3 # the fade-in, the playback memory and the device come before the event loop
  for attempt in 1 2 3; do
    xdotool mousemove $row1_x $row1_y click --repeat 2 --delay 60 1
    sleep 1
    xdotool windowfocus --sync "$win"
    xdotool key p
    for _ in $(seq 20); do
      sleep 0.25
      [[ $(size_of) -gt 0 ]] && return 0
    done
    echo "attempt $attempt: no sound yet" >&2
  done
  return 1
}

# Whether the position bar on the screen changes within a second (the refresh runs).
bar_moves() {
  command -v import >/dev/null || { echo "unknown (no ImageMagick import)"; return; }
  local a b
  a=$(import -window root -crop "$bar" rgb:- | md5sum)
  sleep 1
  b=$(import -window root -crop "$bar" rgb:- | md5sum)
  [[ $a != "$b" ]] && echo yes || echo no
}

stop_program() {
  for _ in $(seq 10); do
    kill -0 "$pid" 2>/dev/null || break
    xdotool mousemove $close_x $close_y click 1 || true
    sleep 0.5
  done
  if kill -0 "$pid" 2>/dev/null; then
    echo "the program did not close; killed" >&2
    kill "$pid"
  fi
  wait "$pid" 2>/dev/null || true
  pid=
}

echo "$(nproc) cores; ${seconds} s per measurement"
for run in $(seq "$runs"); do
  if ! start_playing; then
    echo "run $run: the program did not start playing; its messages:" >&2
    cat "$tmp/stderr.txt" >&2
    exit 1
  fi
  echo "run $run: the position bar moves on the screen: $(bar_moves)"
  measure "run $run, program with the window refreshing"
  stop_program

  rm -f "$capture"
  "$play_files" "DSD capture" "$track" 2>"$tmp/stderr.txt" &
  pid=$!
  measure "run $run, play_files (no window)  "
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  pid=
done
