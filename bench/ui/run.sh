#!/usr/bin/env bash
# A replicate run of about 50,000 files started from the real main window
# (offscreen: row selected, toolbar's run action, worker thread, log included)
# against cp -a and rsync -a --delete, into an empty destination and again with
# nothing to do (also with a log already holding 1,000,000 lines); and the log
# box with 1,000,000 lines. The tree comes from the engine benchmark's generator.
set -euo pipefail
BUILD_DIR=${BUILD_DIR:-build}
BIN="$BUILD_DIR/bench/bench_window"
[ -x "$BIN" ] || { echo "build bench_window first" >&2; exit 1; }
# BENCH_DIR=/dev/shm takes the disk out of the figures (tmpfs).
WORK=$(mktemp -d "${BENCH_DIR:-/tmp}/vantor-uibench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
export QT_QPA_PLATFORM=offscreen
# The offscreen GUI loop wants a runtime folder of its own.
mkdir -m 700 "$WORK/run"
export XDG_RUNTIME_DIR="$WORK/run"

# The generator is the python block of bench/engine/run.sh.
sed -n "/^python3 - \"\$WORK\/src\" <<'PY'$/,/^PY$/p" bench/engine/run.sh | sed '1d;$d' >"$WORK/gen.py"
[ -s "$WORK/gen.py" ] || { echo "tree generator not found in bench/engine/run.sh" >&2; exit 1; }
python3 "$WORK/gen.py" "$WORK/src"
files=$(find "$WORK/src" -type f | wc -l)
echo "tree: $files files, $(du -sh "$WORK/src" | cut -f1)"

secs() { local s e; s=$(date +%s.%N); "$@" >/dev/null; e=$(date +%s.%N); echo "$e - $s" | bc -l; }
ratio() { echo "scale=2; $1 / $2" | bc -l; }
sync

read -r window_s lines processed < <("$BIN" run "$WORK/src" "$WORK/dst_window" 2>/dev/null)
cp_s=$(secs cp -a "$WORK/src" "$WORK/dst_cp")
rsync_s=$(secs rsync -a --delete "$WORK/src/" "$WORK/dst_rsync/")
diff -r "$WORK/src" "$WORK/dst_window" >/dev/null && same=yes || same=NO
read -r window_same _ _ < <("$BIN" run "$WORK/src" "$WORK/dst_window" 2>/dev/null)
rsync_same=$(secs rsync -a --delete "$WORK/src/" "$WORK/dst_rsync/")
read -r window_long _ _ < <("$BIN" run "$WORK/src" "$WORK/dst_window" 1000000 2>/dev/null)

printf 'empty destination: window run %.2f s (%s log lines, %s processed), cp -a %.2f s, rsync -a --delete %.2f s\n' \
    "$window_s" "$lines" "$processed" "$cp_s" "$rsync_s"
printf '  ratio window/cp %s, window/rsync %s; copy identical to source: %s\n' \
    "$(ratio "$window_s" "$cp_s")" "$(ratio "$window_s" "$rsync_s")" "$same"
printf 'nothing to do:     window run %.2f s, rsync -a --delete %.2f s, ratio window/rsync %s\n' \
    "$window_same" "$rsync_same" "$(ratio "$window_same" "$rsync_same")"
printf '  the same with 1,000,000 earlier lines in the log: window run %.2f s\n' "$window_long"
"$BIN" log 1000000 2>/dev/null
