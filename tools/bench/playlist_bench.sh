#!/bin/sh
# Builds and runs playlist-bench; arguments go to it (--titles LIST, --tick MS,
# --settle MS, --timeout MS, --sim PATH).
set -e
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build}

cmake --build "$build" -j2 --target playlist-bench httpq-sim
exec "$build/playlist-bench" "$@"
