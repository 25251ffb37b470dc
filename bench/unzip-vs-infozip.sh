#!/bin/sh
# Unpacks one 200 MiB firmware package of mixed stored and deflated entries with
# `tarnwell-tool unpack` and with Info-ZIP `unzip`, into the same file system, and prints
# the wall-clock times (best of RUNS, runs alternated) and their ratio.
#
# usage: bench/unzip-vs-infozip.sh [TOOL] [RUNS]
#   TOOL defaults to build/default/Tarnwell/bin/tarnwell-tool; the work folder is made
#   under TMPDIR (default /tmp) and removed afterwards. With VALUES=1 in the environment it
#   prints name=value lines instead (for bench/run-all): ours_seconds, theirs_seconds, ratio,
#   archive_bytes, unpacked_bytes.
set -eu
cd "$(dirname "$0")/.."
tool=${1:-build/default/Tarnwell/bin/tarnwell-tool}
runs=${2:-3}
work=$(mktemp -d "${TMPDIR:-/tmp}/unzip-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# 20 files of 10 MiB: random data (stored, as zip -n .bin keeps it) and text-like data
# that deflates about 3:1, in two folders like a real package.
python3 - "$work/src" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(7)
words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
         for _ in range(4000)]
for i in range(20):
    folder = os.path.join(root, "FW" if i % 2 else "DATA")
    os.makedirs(folder, exist_ok=True)
    size = 10 << 20
    if i % 2:
        data = rng.randbytes(size)
        name = "image%02d.bin" % i
    else:
        parts, n = [], 0
        while n < size:
            line = b" ".join(rng.choices(words, k=12)) + b"\n"
            parts.append(line)
            n += len(line)
        data = b"".join(parts)[:size]
        name = "table%02d.txt" % i
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)
PY
(cd "$work/src" && zip -q -r -n .bin "$work/package.zip" DATA FW)
archive_bytes=$(stat -c %s "$work/package.zip")
unpacked_bytes=$("$tool" zip-size "$work/package.zip")
[ "${VALUES:-0}" = 1 ] ||
  echo "archive: $(du -m "$work/package.zip" | cut -f1) MiB compressed, $unpacked_bytes bytes unpacked"

seconds() {
  start=$(date +%s.%N)
  "$@"
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}

best_ours=""
best_theirs=""
i=0
while [ "$i" -lt "$runs" ]; do
  rm -rf "$work/ours" "$work/theirs"
  sync
  t=$(seconds sh -c "\"$tool\" unpack \"$work/package.zip\" \"$work/ours\" >/dev/null 2>&1")
  [ -z "$best_ours" ] || awk -v a="$t" -v b="$best_ours" 'BEGIN { exit !(a < b) }' && best_ours=$t
  sync
  t=$(seconds unzip -q "$work/package.zip" -d "$work/theirs")
  [ -z "$best_theirs" ] || awk -v a="$t" -v b="$best_theirs" 'BEGIN { exit !(a < b) }' && best_theirs=$t
  i=$((i + 1))
done
diff -r "$work/ours" "$work/theirs" >/dev/null || { echo "the two extractions differ" >&2; exit 1; }
ratio=$(awk -v a="$best_ours" -v b="$best_theirs" 'BEGIN { printf "%.3f", a / b }')
if [ "${VALUES:-0}" = 1 ]; then
  printf 'ours_seconds=%s\ntheirs_seconds=%s\nratio=%s\narchive_bytes=%s\nunpacked_bytes=%s\n' \
    "$best_ours" "$best_theirs" "$ratio" "$archive_bytes" "$unpacked_bytes"
else
  printf 'tarnwell-tool unpack: %.3f s\nunzip -q:             %.3f s\nratio:                %s\n' \
    "$best_ours" "$best_theirs" "$ratio"
fi
