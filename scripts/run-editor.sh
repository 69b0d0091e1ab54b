#!/usr/bin/env bash
# Installs what is missing, builds the editor (Release) and starts it on the
# shipped sample mesh. Extra arguments replace the sample file.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"

build="$root/build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$build"
if [ $# -eq 0 ]; then set -- "$root/samples/house.pq"; fi
exec "$build/polyquill" "$@"
