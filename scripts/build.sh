#!/usr/bin/env bash
# Configures and builds into the given folder (default build/); only the
# targets named by BUILD_TARGET (separated by spaces) when that is set.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
launcher=()
# A compiler cache makes rebuilds after switching branches or build folders cheap.
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
targets=()
read -ra targets <<<"${BUILD_TARGET:-}"
cmake --build "$dir" -j"$(nproc)" ${targets[0]:+--target "${targets[@]}"}
