#!/usr/bin/env bash
# Replicate run of the engine against cp -a and rsync -a --delete on a tree of
# about 50,000 files (0.5 to 4.5 KB) in 200 folders, made in a temporary folder.
set -euo pipefail
BUILD_DIR=${BUILD_DIR:-build}
BIN="$BUILD_DIR/bench/bench_replicate"
[ -x "$BIN" ] || { echo "build bench_replicate first" >&2; exit 1; }
WORK=$(mktemp -d /tmp/vantor-bench.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

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

secs() { local s e; s=$(date +%s.%N); "$@" >/dev/null; e=$(date +%s.%N); echo "$e - $s" | bc -l; }
ratio() { echo "scale=2; $1 / $2" | bc -l; }
sync

read -r engine_empty lines < <("$BIN" "$WORK/src" "$WORK/dst_engine")
cp_empty=$(secs cp -a "$WORK/src" "$WORK/dst_cp")
rsync_empty=$(secs rsync -a --delete "$WORK/src/" "$WORK/dst_rsync/")
read -r engine_same _ < <("$BIN" "$WORK/src" "$WORK/dst_engine")
rsync_same=$(secs rsync -a --delete "$WORK/src/" "$WORK/dst_rsync/")
diff -r "$WORK/src" "$WORK/dst_engine" >/dev/null && same=yes || same=NO

printf 'empty destination: engine %.2f s (%s log lines), cp -a %.2f s, rsync %.2f s\n' \
    "$engine_empty" "$lines" "$cp_empty" "$rsync_empty"
printf '  ratio engine/cp %s, engine/rsync %s\n' "$(ratio "$engine_empty" "$cp_empty")" \
    "$(ratio "$engine_empty" "$rsync_empty")"
printf 'nothing to do:     engine %.2f s, rsync %.2f s, ratio engine/rsync %s\n' \
    "$engine_same" "$rsync_same" "$(ratio "$engine_same" "$rsync_same")"
echo "engine copy identical to source: $same"
