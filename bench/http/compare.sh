#!/usr/bin/env bash
# Throughput of TNetHTTP::Get against `curl -s -o` on a 1 GiB file served by
# nginx on loopback, both writing to a file, measured in the same run.
# Prints the best of three runs of each and the ratio ours / curl.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
work=$root/build/http-bench
build=$work/build
runs=${HTTP_BENCH_RUNS:-3}
size=$((1024 * 1024 * 1024))

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DZELVANO_COMPONENTS="platform;http" -DZELVANO_TESTS=OFF -DZELVANO_TOOLS=OFF >/dev/null
cmake --build "$build" -j2 --target http_get_bench >/dev/null

mkdir -p "$work/root" "$work/nginx"
cleanup() {
  "$root/tests/support/nginx_fixture.py" stop --workdir "$work/nginx" || true
  rm -f "$work/root/big.bin" "$work/out-curl.bin" "$work/out-ours.bin"
}
trap cleanup EXIT
head -c "$size" /dev/urandom >"$work/root/big.bin"
port=$("$root/tests/support/nginx_fixture.py" start --root "$work/root" --workdir "$work/nginx")
url="http://127.0.0.1:$port/big.bin"

now() { date +%s.%N; }
best_curl=999999
best_ours=999999
for ((i = 0; i < runs; i++)); do
  # Each run starts with no dirty pages of the previous one, so neither pays
  # for the other's writeback.
  sync
  t0=$(now)
  curl -s -o "$work/out-curl.bin" "$url"
  t1=$(now)
  [[ $(stat -c %s "$work/out-curl.bin") == "$size" ]] || { echo "curl fetched a wrong size"; exit 1; }
  best_curl=$(awk -v a="$t0" -v b="$t1" -v best="$best_curl" 'BEGIN { t = b - a; print (t < best ? t : best) }')

  sync
  t0=$(now)
  "$build/bench/http/http_get_bench" "$url" "$work/out-ours.bin" >/dev/null
  t1=$(now)
  [[ $(stat -c %s "$work/out-ours.bin") == "$size" ]] || { echo "Get fetched a wrong size"; exit 1; }
  best_ours=$(awk -v a="$t0" -v b="$t1" -v best="$best_ours" 'BEGIN { t = b - a; print (t < best ? t : best) }')
done
cmp -s "$work/out-ours.bin" "$work/root/big.bin" || { echo "Get fetched different bytes"; exit 1; }

awk -v ours="$best_ours" -v curl="$best_curl" -v runs="$runs" 'BEGIN {
  printf "http get 1 GiB: ours %.0f MiB/s, curl %.0f MiB/s, ratio %.2f (ours/curl, best of %d)\n",
         1024 / ours, 1024 / curl, curl / ours, runs }'
