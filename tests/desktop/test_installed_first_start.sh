#!/usr/bin/env bash
# The installed player, run from a prefix its user cannot write, by an account that has never run it:
# the first start asks for the device and keeps the choice in the XDG data folder, leaving the prefix
# untouched; the second start goes straight to the main window.
#   test_installed_first_start.sh BUILD_DIR
set -euo pipefail
build=$1
# Every window of the player is 820x560, centred on the 1280x1024 screen.
left=230 top=232

dir=$(mktemp -d)
xvfb=0 player=0
cleanup() {
  [ "$player" -gt 0 ] && kill -9 "$player" 2>/dev/null
  [ "$xvfb" -gt 0 ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  chmod -R u+w "$dir" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
chmod 755 "$dir" # the player's user walks through it
prefix=$dir/prefix home=$dir/home
data=$home/data

cmake --install "$build" --prefix "$prefix" >/dev/null
chmod -R a-w "$prefix"
find "$prefix" -printf '%P %y %s %m %T@\n' | sort >"$dir/prefix.before"

mkdir "$home"
cat >"$home/.asoundrc" <<EOF
pcm.dsdcapture { type file slave.pcm "null" file "$home/out.raw" format "raw" hint { show on description "DSD capture" } }
EOF

# A display of its own on a free number, open to any user.
Xvfb -displayfd 3 -ac -nolisten tcp -screen 0 1280x1024x24 3>"$dir/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$dir/display" ] && break; sleep 0.05; done
[ -s "$dir/display" ] || { echo "FAIL: Xvfb did not start"; exit 1; }
export DISPLAY=:$(head -n1 "$dir/display")

# Root ignores permission bits: the player then runs as nobody, in a home of its own.
env=(HOME="$home" XDG_DATA_HOME="$data" DISPLAY="$DISPLAY" PATH=/usr/bin:/bin)
for name in ASAN_OPTIONS UBSAN_OPTIONS TSAN_OPTIONS; do # a sanitized build's settings
  if [ -n "${!name:-}" ]; then env+=("$name=${!name}"); fi
done
if [ "$(id -u)" -eq 0 ]; then
  chown -R nobody:nogroup "$home"
  run=(setpriv --reuid=nobody --regid=nogroup --clear-groups --reset-env env -i "${env[@]}")
else
  run=(env -i "${env[@]}")
fi

visible() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1 || true; }
# Starts the player and waits for the first of its windows named in $1. A player that ends at once
# with 0 and no window met another one running (its single-instance guard): it is started again, for
# up to 20 s.
start() {
  local attempt window code
  for attempt in $(seq 40); do
    "${run[@]}" "$prefix/bin/Groovestone-lp-dsd" 2>>"$dir/stderr" &
    player=$!
    for _ in $(seq 200); do
      window=$(visible "$1")
      [ -n "$window" ] && return 0
      kill -0 "$player" 2>/dev/null || break
      sleep 0.05
    done
    code=0
    wait "$player" || code=$?
    player=0
    if [ "$code" -eq 0 ] && [ -z "$window" ]; then sleep 0.5 && continue; fi
    echo "FAIL: no window '$1' (exit code $code)"
    cat "$dir/stderr"
    exit 1
  done
  echo "FAIL: the player never stayed (another one kept running)"
  exit 1
}
# Waits up to 5 s for a visible window named $1.
wait_window() {
  for _ in $(seq 100); do [ -n "$(visible "$1")" ] && return 0; sleep 0.05; done
  echo "FAIL: no window '$1'"
  exit 1
}
# Clicks the main window's close button until the player ends (clicks before its event loop runs are
# dropped) and checks that it ends with 0.
close_main() {
  local code=-1
  for _ in $(seq 10); do
    xdotool mousemove $((left + 795)) $((top + 12)) click 1
    for _ in $(seq 10); do kill -0 "$player" 2>/dev/null || break 2; sleep 0.05; done
  done
  code=0
  kill -0 "$player" 2>/dev/null && { echo "FAIL: the player did not end on its close button"; exit 1; }
  wait "$player" || code=$?
  player=0
  [ "$code" -eq 0 ] || { echo "FAIL: exit code $code"; cat "$dir/stderr"; exit 1; }
}

# First start: the splash, then the device window; the capture device's row, then Start.
start '^(Groovestone|audio device)$'
wait_window '^audio device$'
xdotool mousemove $((left + 60)) $((top + 70)) click 1
wait_window '^options$'
xdotool mousemove $((left + 215)) $((top + 330)) click 1
wait_window '^Groovestone DSD$'
close_main

settings=$data/Tonmark/tm20/lpli/lp.is
[ -f "$settings" ] || { echo "FAIL: no $settings"; exit 1; }
# Its header, then the device's name in UTF-16LE up to CR LF.
want=993c3401$(printf 'DSD capture' | od -An -tx1 -v | sed 's/ \([0-9a-f]*\)/\100/g' | tr -d ' \n')0d000a00
got=$(od -An -tx1 -v -N$((${#want} / 2)) "$settings" | tr -d ' \n')
[ "$got" = "$want" ] || { echo "FAIL: lp.is begins $got, not $want"; exit 1; }
find "$prefix" -printf '%P %y %s %m %T@\n' | sort >"$dir/prefix.after"
diff "$dir/prefix.before" "$dir/prefix.after" || { echo "FAIL: the player wrote into the prefix"; exit 1; }

# Second start: the saved device is taken, no device window comes.
start '^(Groovestone DSD|audio device)$'
for _ in $(seq 40); do
  [ -z "$(visible '^audio device$')" ] || { echo "FAIL: the device window came again"; exit 1; }
  sleep 0.05
done
wait_window '^Groovestone DSD$'
close_main
echo "installed player asked once and remembered"
