#!/usr/bin/env bash
# Builds everything and runs every test: the unit tests headless first, then
# the desktop test on virtual X displays of its own. The desktop test's tools
# (two large desktops among them) install in the background meanwhile
# (tools/deps.sh --desktop-test, its output in build/desktop-deps.log), so
# that the unit tests' results come first. Arguments go to both ctest runs;
# QUENDRA_DESKTOP_WMS="openbox none" runs the desktop test, and installs
# what it needs, on those desktops alone.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

# Only where the arguments leave the desktop test in.
desktop=false
(cd build && ctest -N -L desktop "$@") | grep -q '^Total Tests: [1-9]' && desktop=true
if $desktop; then
    tools/deps.sh --desktop-test >build/desktop-deps.log 2>&1 &
    deps=$!
fi

status=0
cmake --build build -j"$(nproc)" || status=$?
if [ "$status" -ne 0 ]; then
    $desktop && wait "$deps" || true
    exit "$status"
fi
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" -LE desktop "$@") || status=$?

if $desktop; then
    echo "Waiting for the desktop test's packages (build/desktop-deps.log)"
    deps_status=0
    wait "$deps" || deps_status=$?
    # 3: only the desktop test's packages are missing; that test skips itself,
    # even where it is required (CI), since they cannot be had here.
    case $deps_status in
    0) ;;
    3) tail -n 5 build/desktop-deps.log; export QUENDRA_DESKTOP_REQUIRED=0 ;;
    *) cat build/desktop-deps.log; exit "$deps_status" ;;
    esac
    (cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -L desktop "$@") || status=$?
fi
exit "$status"
