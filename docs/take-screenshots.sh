#!/usr/bin/env bash
# Takes the screenshots of docs/: one per tab of the main window, one of the
# KDXA window and one of the Traffic window beside a firmware update, on a
# virtual X display (xvfb-run), with `import -window root`.
# When kdx-sim is built, the main window talks to it on COM1 first, so the
# pictures show live answers.
#   bash docs/take-screenshots.sh [build-dir] [scale]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-${BUILD_DIR:-build}}
SCALE=${2:-1}
BIN="$BUILD_DIR/bin"
SUFFIX=""
[ "$SCALE" != 1 ] && SUFFIX="@${SCALE}x"

if [ -z "${KDX_SHOTS_INNER:-}" ]; then
    # Run again inside a virtual X server large enough for the scaled window.
    export KDX_SHOTS_INNER=1
    exec xvfb-run -a -s "-screen 0 1920x1080x24" bash "$0" "$BUILD_DIR" "$SCALE"
fi

scratch=$(mktemp -d)
sim_pid=""
app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
export XDG_CONFIG_HOME="$scratch/config" KDX_PORTS_DIR="$scratch/ports" KDX_LOCK_DIR="$scratch/lock"
mkdir -p "$XDG_CONFIG_HOME" "$KDX_PORTS_DIR" "$KDX_LOCK_DIR"
# No serial device of this machine: the windows see only kdx-sim.
export KDX_SYSTEM_DEVICES=""
export QT_SCALE_FACTOR="$SCALE"
# The pictures of docs/ are of the English windows, whatever the locale here.
export LC_ALL=C.UTF-8
unset LANGUAGE LC_MESSAGES

# A fresh simulator for each picture, so every one shows the same display.
start_sim() {
    [ -x "$BIN/kdx-sim" ] || return 0
    "$BIN/kdx-sim" --com 1 --baud 19200 --quiet >"$scratch/sim.log" 2>&1 &
    sim_pid=$!
    for _ in $(seq 50); do [ -L "$KDX_PORTS_DIR/COM1" ] && break; sleep 0.1; done
}
stop_sim() {
    [ -n "$sim_pid" ] || return 0
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=""
}

clicks=()
if [ -x "$BIN/kdx-sim" ]; then
    clicks=(--message "Hello from KDX" --click cmdPRYX_6 --click cmdPRYX_9 --click cmdPRYX_7)
fi

names=(setting native epson ascii)
for tab in 0 1 2 3; do
    start_sim
    "$BIN/show-main-window" --tab "$tab" "${clicks[@]}" &
    pid=$!
    sleep 4
    import -window root png:- | convert - -trim +repage "docs/tab-${names[$tab]}${SUFFIX}.png"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    stop_sim
done

# The KDXA window, for its AppStream metainfo, with kdx-sim as its port.
if [ "$SCALE" = 1 ]; then
    start_sim
    "$BIN/kdxa-utility" &
    pid=$!
    sleep 4
    import -window root png:- | convert - -trim +repage docs/kdxa.png
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    stop_sim
fi

# The Traffic window beside a firmware update into kdx-sim: the picture shows
# the message the main window sent, the table the loader dialogue and the
# first blocks of a 2 KiB image (16 blocks), the bar a quarter or more along.
if [ "$SCALE" = 1 ] && [ -x "$BIN/kdx-sim" ]; then
    start_sim
    head -c 2048 /dev/urandom >"$scratch/firmware.bin"
    "$BIN/show-main-window" "${clicks[@]}" --firmware "$scratch/firmware.bin" --ready "$scratch/ready" &
    app_pid=$!
    for _ in $(seq 600); do [ -e "$scratch/ready" ] && break; sleep 0.1; done
    [ -e "$scratch/ready" ] || { echo "take-screenshots: the firmware update did not get going" >&2; exit 1; }
    # Few colours: a palette keeps the file near the size of the others.
    import -window root png:- | convert - -trim +repage +dither -colors 256 PNG8:docs/traffic.png
    kill "$app_pid"
    wait "$app_pid" 2>/dev/null || true
    app_pid=""
    stop_sim
fi
ls -l docs/*.png
