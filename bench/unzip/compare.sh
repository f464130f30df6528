#!/bin/sh
# Extraction speed of zelvano-unzip against its peers, measured in one run on
# the same disk as whole processes:
#   1. a ~200 MB tree of text and random binary deflated by `zip -6`,
#      zelvano-unzip against `unzip -qo`;
#   2. the same tree as 7-Zip AES-256, zelvano-unzip against `7z x`.
# Each figure is the best of ROUNDS runs (default 3), ours and the peer's
# alternating; the ratio is ours over the peer's, so below 1.0 means faster.
#
#   bench/unzip/compare.sh [path/to/zelvano-unzip]
# The work folder (default build/unzip-bench) is removed at the end unless
# KEEP=1.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
tool=${1:-$root/build/unzip-rel/tools/unzip/zelvano-unzip}
work=${WORK:-$root/build/unzip-bench}
rounds=${ROUNDS:-3}
size_mb=${SIZE_MB:-200}
pass=bench-password

[ -x "$tool" ] || { echo "no tool at $tool (build the release preset first)" >&2; exit 2; }
for peer in unzip 7z zip python3 awk; do
  command -v $peer >/dev/null || { echo "missing $peer" >&2; exit 2; }
done
tool=$(cd "$(dirname "$tool")" && pwd)/$(basename "$tool")

mkdir -p "$work"
cd "$work"
if [ ! -f tree.zip ] || [ ! -f tree-aes.zip ]; then
  rm -rf tree tree.zip tree-aes.zip
  echo "making a ${size_mb} MB tree in $work ..."
  python3 - "$size_mb" <<'PY'
import os, random, sys
total = int(sys.argv[1]) * 1024 * 1024
rnd = random.Random(20261209)
words = [''.join(rnd.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(rnd.randint(2, 10))) for _ in range(5000)]
made = 0; n = 0
while made < total:
    d = os.path.join('tree', 'd%02d' % (n % 40), 's%d' % (n % 7))
    os.makedirs(d, exist_ok=True)
    if n % 3 == 2:   # random binary, incompressible
        size = rnd.randint(64 * 1024, 2 * 1024 * 1024)
        data = os.urandom(size)
        name = 'b%05d.bin' % n
    else:            # text
        size = rnd.randint(4 * 1024, 1024 * 1024)
        out = []; length = 0
        while length < size:
            line = ' '.join(rnd.choice(words) for _ in range(12)) + '\n'
            out.append(line); length += len(line)
        data = ''.join(out).encode()
        name = 't%05d.txt' % n
    with open(os.path.join(d, name), 'wb') as f:
        f.write(data)
    made += len(data); n += 1
print('%d files, %d bytes' % (n, made))
PY
  zip -q -6 -r tree.zip tree
  7z a -tzip -mem=AES256 -p"$pass" tree-aes.zip tree >/dev/null
  rm -rf tree
fi

# run_once CMD...: wall time in seconds of one run into an emptied folder.
run_once() {
  rm -rf out && mkdir out
  sync
  t0=$(date +%s.%N)
  "$@" >/dev/null
  t1=$(date +%s.%N)
  rm -rf out
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }'
}
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a < b) ? a : b }'; }

# Rounds alternate between us and the peer so that both meet the same load;
# each figure is the best of its rounds.
ours_d="" peer_d="" ours_a="" peer_a=""
i=0
while [ $i -lt "$rounds" ]; do
  ours_d=$(min "$(run_once "$tool" -d out tree.zip)" "$ours_d")
  peer_d=$(min "$(run_once unzip -qo tree.zip -d out)" "$peer_d")
  ours_a=$(min "$(run_once "$tool" -P "$pass" -d out tree-aes.zip)" "$ours_a")
  peer_a=$(min "$(run_once 7z x -p"$pass" -y -oout tree-aes.zip)" "$peer_a")
  i=$((i + 1))
done

printf 'deflate  (zip -6):         zelvano-unzip %6.2f s   unzip -qo %6.2f s   ratio %.3f\n' \
  "$ours_d" "$peer_d" "$(awk -v a="$ours_d" -v b="$peer_d" 'BEGIN { print a / b }')"
printf 'AES-256  (7z -mem=AES256): zelvano-unzip %6.2f s   7z x      %6.2f s   ratio %.3f\n' \
  "$ours_a" "$peer_a" "$(awk -v a="$ours_a" -v b="$peer_a" 'BEGIN { print a / b }')"

if [ "${KEEP:-0}" != 1 ]; then
  cd "$root" && rm -rf "$work"
fi
