#!/bin/sh
# Builds and runs fetch-bench; arguments go to it (--requests N, --warmup N,
# --sim PATH, --curl PATH, --title-bytes N).
set -e
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build}

if ! command -v curl >/dev/null 2>&1 && [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then
    apt-get install -y curl >/dev/null || echo "fetch_bench.sh: could not install curl" >&2
fi

cmake --build "$build" -j2 --target fetch-bench httpq-sim
exec "$build/fetch-bench" "$@"
