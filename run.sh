#!/usr/bin/env bash
# Builds the project and runs the demo.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
