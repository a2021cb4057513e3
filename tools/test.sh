#!/usr/bin/env bash
# Builds everything and runs every test: the unit tests headless, the desktop
# test on virtual X displays of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
tools/deps.sh --desktop-test || status=$?
# 3: only the desktop test's packages are missing; that test skips itself.
[ "$status" -eq 0 ] || [ "$status" -eq 3 ] || exit "$status"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" "$@"
