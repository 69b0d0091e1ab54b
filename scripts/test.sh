#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test: the GUI journeys under Xvfb
# (label xvfb) and those meant for Wayland under weston too (label wayland).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"

build="$root/build-test"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPQ_SANITIZE=ON
cmake --build "$build"
cd "$build"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
# Mesa's shader cache would be written to the home folder, and its thread's
# storage has crashed LeakSanitizer's tracer at exit.
export MESA_SHADER_CACHE_DISABLE=true
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
ctest --output-on-failure --timeout 300 -j2 "$@"
