#!/usr/bin/env bash
# Large job lists in the real main window (offscreen):
# - CPU of the whole idle program (getrusage over all its threads), schedules
#   on, with 100 and 3,000 ticked entries none of which is due;
# - Save As and Open of job lists of 1,000, 3,000 and 10,000 entries (both run
#   on the window's thread, so their time is the time the window is frozen),
#   with the file size and the process's peak resident memory;
# - 5,000 entries saved and opened again, every field compared.
# RUNS (default 3) repeats each figure; IDLE_SECONDS (default 20) is the length
# of one idle measurement.
set -euo pipefail
BUILD_DIR=${BUILD_DIR:-build}
BIN="$BUILD_DIR/bench/bench_scale"
[ -x "$BIN" ] || { echo "build bench_scale first" >&2; exit 1; }
RUNS=${RUNS:-3}
IDLE_SECONDS=${IDLE_SECONDS:-20}
# BENCH_DIR=/dev/shm takes the disk out of the figures (tmpfs).
WORK=$(mktemp -d "${BENCH_DIR:-/tmp}/vantor-scale.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
export QT_QPA_PLATFORM=offscreen
# The offscreen GUI loop wants a runtime folder of its own; settings of its own
# keep the window from reopening the user's last job list.
mkdir -m 700 "$WORK/run" "$WORK/home"
export XDG_RUNTIME_DIR="$WORK/run" HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config"

for n in 100 3000; do
    figures=()
    for _ in $(seq "$RUNS"); do
        read -r cpu passes < <("$BIN" idle "$n" "$IDLE_SECONDS" 2>/dev/null)
        figures+=("$cpu")
    done
    printf 'idle program, %5d ticked entries, schedules on, %s s each: %s %% of one core (%s passes in the last run; target under 0.5 %% at 3,000)\n' \
        "$n" "$IDLE_SECONDS" "${figures[*]}" "$passes"
done

for n in 1000 3000 10000; do
    saves=()
    opens=()
    save_cpus=()
    open_cpus=()
    for _ in $(seq "$RUNS"); do
        read -r save open save_cpu open_cpu bytes peak < <("$BIN" saveopen "$n" "$WORK" 2>/dev/null)
        saves+=("$save")
        opens+=("$open")
        save_cpus+=("$save_cpu")
        open_cpus+=("$open_cpu")
    done
    printf 'job list of %5d entries (%s bytes): Save As %s s, Open %s s (target under 0.3 s at 3,000)\n' \
        "$n" "$bytes" "${saves[*]}" "${opens[*]}"
    printf '  window thread CPU: Save As %s s, Open %s s; peak resident %s MiB\n' \
        "${save_cpus[*]}" "${open_cpus[*]}" "$peak"
done

printf '5,000 entries saved and opened again: %s\n' "$("$BIN" roundtrip 5000 "$WORK" 2>/dev/null || true)"
