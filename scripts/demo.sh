#!/usr/bin/env bash
# The README's run command: installs what is missing, builds, and opens the
# utility on a simulated display. The simulator takes COM1 at 19200 baud, which
# is what the utility selects on its first start, in a throwaway port map and
# settings store, so the user's own stay untouched. Closing the utility stops
# the simulator.
#   bash scripts/demo.sh            (extra simulator options: KDX_SIM_ARGS="--rows 4")
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap.sh
# Only what the demo runs: the tests and benchmarks are built by scripts/test.sh.
bash scripts/build.sh kdx-utility kdx-sim
BIN="${BUILD_DIR:-build}/bin"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "demo: no graphical display here (DISPLAY is not set)." >&2
    echo "      Run it from a desktop session, or try: xvfb-run -a bash scripts/demo.sh" >&2
    exit 1
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kdx-demo.XXXXXX")
export XDG_CONFIG_HOME="$scratch/config"
export KDX_PORTS_DIR="$scratch/ports"
mkdir -p "$XDG_CONFIG_HOME" "$KDX_PORTS_DIR"
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR="$scratch/runtime"
    mkdir -m 700 "$XDG_RUNTIME_DIR"
fi

sim_pid=""
stop() {
    if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$scratch"
}
trap stop EXIT
trap 'exit 130' INT TERM

# The simulator draws the display in this terminal and keeps its state in a file.
# shellcheck disable=SC2086
"$BIN/kdx-sim" --com 1 --baud 19200 --state-json "$scratch/display.json" ${KDX_SIM_ARGS:-} &
sim_pid=$!

for _ in $(seq 100); do
    [ -L "$KDX_PORTS_DIR/COM1" ] && break
    if ! kill -0 "$sim_pid" 2>/dev/null; then
        echo "demo: kdx-sim stopped before its port was ready." >&2
        exit 1
    fi
    sleep 0.1
done
if [ ! -L "$KDX_PORTS_DIR/COM1" ]; then
    echo "demo: kdx-sim did not register COM1 within 10 seconds." >&2
    exit 1
fi

echo "demo: simulated display on COM1 -> $(readlink "$KDX_PORTS_DIR/COM1"); starting kdx-utility"
"$BIN/kdx-utility"
