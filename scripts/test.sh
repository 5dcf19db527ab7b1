#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Sets up a fresh Debian 12 machine, builds pwexpiry and runs every test:
# once as a normal build, then the packages in booted Debian machines, then
# once more with AddressSanitizer and UndefinedBehaviorSanitizer; then builds
# the Debian packages, installs them on this machine, checks the installed
# system and removes them again. Run as root, so that the end-to-end tests run
# in their private namespaces instead of being skipped.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash scripts/deps.sh

start=$(date +%s)
bash scripts/build.sh build
echo "build: $(($(date +%s) - start)) s"
start=$(date +%s)
(cd build && ctest --output-on-failure -j 2 -LE machine)
echo "tests: $(($(date +%s) - start)) s"
start=$(date +%s)
(cd build && ctest --output-on-failure -j 2 -L machine)
echo "machine tests: $(($(date +%s) - start)) s"

start=$(date +%s)
bash scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DPWEXPIRY_SANITIZE=ON
echo "sanitizer build: $(($(date +%s) - start)) s"
start=$(date +%s)
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j 2)
echo "sanitizer tests: $(($(date +%s) - start)) s"

start=$(date +%s)
bash scripts/package-test.sh
echo "packages: $(($(date +%s) - start)) s"
