#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Configures and builds into the given directory: build.sh DIR [cmake options...]
# QT_MAJOR_VERSION=5 or 6 in the environment chooses the Qt and KDE Frameworks
# to build with; without it the build takes what is installed (6 first).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=$1
shift
cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    ${QT_MAJOR_VERSION:+-DQT_MAJOR_VERSION=$QT_MAJOR_VERSION} "$@"
cmake --build "$dir" -j "$(nproc)"
