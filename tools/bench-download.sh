#!/usr/bin/env bash
# Download throughput of the program's engines against curl, on the local update server:
#   bench-download.sh [BUILD_DIR] [MIB]
# The download part of the benchmark suite (tools/bench/run.sh) on its own.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
DOWNLOAD_MIB=${2:-256} exec bash "$here/bench/run.sh" "${1:-$here/../build/mingw}" download
