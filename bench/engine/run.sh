#!/usr/bin/env bash
# Engine benchmarks, all in one run so the figures share the machine's state:
# - a replicate run of about 50,000 files (0.5 to 4.5 KB, 200 folders) into an
#   empty destination against cp -a, and the no-change run against
#   rsync -a --delete, with the queued hand-over and with the blocking one;
# - the same empty-destination run without the durability step (the copies
#   written to the disk before deleting and at the end), to show its cost;
# - the idle scheduler over 100 ticked entries that are not due.
set -euo pipefail
BUILD_DIR=${BUILD_DIR:-build}
BIN="$BUILD_DIR/bench/bench_replicate"
IDLE="$BUILD_DIR/bench/bench_idle"
[ -x "$BIN" ] && [ -x "$IDLE" ] || { echo "build bench_replicate and bench_idle first" >&2; exit 1; }
# BENCH_DIR=/dev/shm takes the disk out of the figures (tmpfs).
WORK=$(mktemp -d "${BENCH_DIR:-/tmp}/vantor-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
# The offscreen GUI loop wants a runtime folder of its own.
mkdir -m 700 "$WORK/run"
export XDG_RUNTIME_DIR="$WORK/run"

python3 - "$WORK/src" <<'PY'
import os, random, sys
root = sys.argv[1]
random.seed(7)
for d in range(200):
    folder = os.path.join(root, f"d{d // 20:02}", f"f{d:03}")
    os.makedirs(folder, exist_ok=True)
    for i in range(250):
        with open(os.path.join(folder, f"file{i:03}.dat"), "wb") as f:
            f.write(os.urandom(random.randint(512, 4608)))
PY
echo "tree: $(find "$WORK/src" -type f | wc -l) files, $(du -sh "$WORK/src" | cut -f1)"
# ext4 passes over inodes freed in the last 30 seconds when it allocates, so
# the first step would pay for whatever was deleted just before the
# benchmark (an earlier run's trees, say): wait that out on a disk.
if [ "$(stat -f -c %T "$WORK")" != tmpfs ]; then
    sync
    sleep "${SETTLE_SECONDS:-35}"
fi

secs() { local s e; s=$(date +%s.%N); "$@" >/dev/null; e=$(date +%s.%N); echo "$e - $s" | bc -l; }
ratio() { echo "scale=2; $1 / $2" | bc -l; }
# Every timed step starts with the disk written back, so that none pays for
# the writing of the one before it. Nothing is deleted between the steps:
# ext4 passes over inodes freed in the last 30 seconds when it allocates, so
# a step after a large deletion would pay for that search.
# The engine's figure is the run itself, from the start to the end handling,
# as in the running program; the whole process (start-up of a Qt program
# included), its CPU and peak memory come from /usr/bin/time.
engine() {
    local out
    out=$(/usr/bin/time -f '%e %U %S %M' -o "$WORK/time" "$BIN" "$@")
    read -r whole user sys peak <"$WORK/time"
    echo "$out $whole $(echo "$user + $sys" | bc -l) $((peak / 1024))"
}
sync
read -r engine_empty lines empty_whole empty_cpu empty_peak < <(engine "$WORK/src" "$WORK/dst_engine")
sync
cp_empty=$(secs cp -a "$WORK/src" "$WORK/dst_cp")
sync
read -r blocking_empty _ < <("$BIN" "$WORK/src" "$WORK/dst_blocking" 0)
sync
rsync_empty=$(secs rsync -a --delete "$WORK/src/" "$WORK/dst_rsync/")
sync
read -r engine_same _ same_whole same_cpu same_peak < <(engine "$WORK/src" "$WORK/dst_engine")
sync
rsync_same=$(secs rsync -a --delete "$WORK/src/" "$WORK/dst_rsync/")
sync
read -r blocking_same _ < <("$BIN" "$WORK/src" "$WORK/dst_blocking" 0)
sync
read -r nosync_empty _ < <("$BIN" "$WORK/src" "$WORK/dst_nosync" - nosync)
sync
diff -r "$WORK/src" "$WORK/dst_engine" >/dev/null && same=yes || same=NO

printf 'empty destination: engine %.2f s (%s log lines), cp -a %.2f s, rsync %.2f s, blocking hand-over %.2f s\n' \
    "$engine_empty" "$lines" "$cp_empty" "$rsync_empty" "$blocking_empty"
printf '  ratio engine/cp %s (target 1.0), blocking/cp %s\n' "$(ratio "$engine_empty" "$cp_empty")" \
    "$(ratio "$blocking_empty" "$cp_empty")"
printf '  whole process %.2f s (ratio to cp %s), CPU %.2f s, peak %s MiB\n' \
    "$empty_whole" "$(ratio "$empty_whole" "$cp_empty")" "$empty_cpu" "$empty_peak"
printf 'durability step:   engine without it %.2f s, so it costs %.2f s; ratio engine without it/cp %s\n' \
    "$nosync_empty" "$(echo "$engine_empty - $nosync_empty" | bc -l)" "$(ratio "$nosync_empty" "$cp_empty")"
printf 'nothing to do:     engine %.2f s, rsync %.2f s, blocking hand-over %.2f s\n' \
    "$engine_same" "$rsync_same" "$blocking_same"
printf '  ratio engine/rsync %s (target 0.8), blocking/rsync %s\n' "$(ratio "$engine_same" "$rsync_same")" \
    "$(ratio "$blocking_same" "$rsync_same")"
printf '  whole process %.2f s (ratio to rsync %s), CPU %.2f s, peak %s MiB\n' \
    "$same_whole" "$(ratio "$same_whole" "$rsync_same")" "$same_cpu" "$same_peak"
echo "engine copy identical to source: $same"

read -r idle passes < <("$IDLE" 10)
printf 'idle scheduler, 100 entries, 10 s: %s %% of one core (target 1), %s passes\n' "$idle" "$passes"
