#!/usr/bin/env bash
# zelvano-json against a small nlohmann/json program, as whole processes:
# parse a 40 MB document shaped like API replies and print it compactly.
# Prints the time ratio (ours / peer, median of the runs) and the peak-memory
# ratio, and whether they meet the targets (time <= 1.0, memory <= 1.5).
#
# Environment: BUILD_DIR (default build/release; built there when the
# binaries are missing), RUNS (default 5), MEGABYTES (default 40).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${BUILD_DIR:-build/release}
runs=${RUNS:-5}
megabytes=${MEGABYTES:-40}

ours=$build/tools/json/zelvano-json
peer=$build/bench/json/peer_nlohmann
if [[ ! -x $ours || ! -x $peer ]]; then
  if [[ $build == build/release ]]; then
    cmake --preset release >/dev/null
  else
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  fi
  cmake --build "$build" -j2 --target zelvano-json peer_nlohmann
fi

doc=bench/out/api-replies-${megabytes}mb.json
if [[ ! -s $doc ]]; then
  mkdir -p bench/out
  python3 bench/json/make_document.py "$doc" "$megabytes"
fi

measure() {  # prints "seconds kilobytes cpu-seconds" of one run
  local t
  t=$(mktemp)
  /usr/bin/time -f "%e %M %U %S" -o "$t" "$@" "$doc" >/dev/null
  cat "$t"
  rm -f "$t"
}

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

ours_t=() ours_m=() ours_c=() peer_t=() peer_m=() peer_c=()
for ((i = 0; i < runs; i++)); do
  read -r t m u s < <(measure "$ours"); ours_t+=("$t"); ours_m+=("$m"); ours_c+=("$(awk -v u="$u" -v s="$s" 'BEGIN {print u + s}')")
  read -r t m u s < <(measure "$peer"); peer_t+=("$t"); peer_m+=("$m"); peer_c+=("$(awk -v u="$u" -v s="$s" 'BEGIN {print u + s}')")
done
oc=$(printf '%s\n' "${ours_c[@]}" | median)
pc=$(printf '%s\n' "${peer_c[@]}" | median)
ot=$(printf '%s\n' "${ours_t[@]}" | median)
pt=$(printf '%s\n' "${peer_t[@]}" | median)
om=$(printf '%s\n' "${ours_m[@]}" | median)
pm=$(printf '%s\n' "${peer_m[@]}" | median)

echo "document: $doc ($(stat -c %s "$doc") bytes), $runs runs each, medians"
printf 'zelvano-json:  %6.2f s  (cpu %5.2f s)  %8d KB peak\n' "$ot" "$oc" "$om"
printf 'nlohmann/json: %6.2f s  (cpu %5.2f s)  %8d KB peak\n' "$pt" "$pc" "$pm"
awk -v ot="$ot" -v pt="$pt" -v om="$om" -v pm="$pm" -v oc="$oc" -v pc="$pc" 'BEGIN {
  tr = ot / pt; mr = om / pm;
  printf "cpu ratio    %.2f (user + system)\n", oc / pc;
  printf "time ratio   %.2f (target <= 1.0) %s\n", tr, (tr <= 1.0 ? "met" : "NOT met");
  printf "memory ratio %.2f (target <= 1.5) %s\n", mr, (mr <= 1.5 ? "met" : "NOT met");
  exit (tr <= 1.0 && mr <= 1.5) ? 0 : 1 }'
