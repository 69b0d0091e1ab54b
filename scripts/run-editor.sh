#!/usr/bin/env bash
# Installs what is missing, builds the editor (Release) with what it runs
# beside it: the import and export helpers, pqtool and the Images folder,
# and starts it on the shipped sample mesh. Tests and benchmarks are left to
# scripts/test.sh. Extra arguments replace the sample file.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"

build="$root/build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" --target polyquill pq_import_helper pq_export_helper pqtool pq_images_copy
if [ $# -eq 0 ]; then set -- "$root/samples/house.pq"; fi
exec "$build/polyquill" "$@"
