#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Configures and builds into the given directory: build.sh DIR [cmake options...]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=$1
shift
cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr "$@"
cmake --build "$dir" -j "$(nproc)"
