#!/usr/bin/env bash
# Runs every subsystem's peer comparison in one go and prints the figures.
# Each bench/<subsystem>/compare.sh builds what it needs, measures ours and
# the peer in the same run, and prints its ratios.
set -uo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
status=0
for script in bench/*/compare.sh; do
  [[ -x "$script" ]] || continue
  echo "=== ${script%/compare.sh}"
  "$script" || status=1
done
exit $status
