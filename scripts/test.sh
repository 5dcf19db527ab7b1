#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Sets up a fresh Debian 12 machine, builds pwexpiry and runs every test, in
# stages:
#   tests      a normal build, its unit tests and the sandbox system tests
#   machine    the Debian packages in booted Debian machines
#   fresh      the README's two commands on a fresh minimal Debian machine
#   sanitizer  the same unit and sandbox tests once more, built with
#              AddressSanitizer and UndefinedBehaviorSanitizer
#   qt6        the stages tests, sanitizer and packages once more in a Debian
#              13 root, built with Qt 6 and KDE Frameworks 6
#              (autotests/machine/release_tests.sh)
#   fuzz       every fuzz target of the parsers for a fixed time
#   packages   the Debian packages built and checked with lintian
# Without arguments it runs them all, in this order; with arguments only the
# stages named (test.sh tests machine). Run as root, so that the end-to-end
# tests run in their private namespaces and machines instead of being skipped.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

all=(tests machine fresh sanitizer qt6 fuzz packages)
stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=("${all[@]}")
for stage in "${stages[@]}"; do
    case " ${all[*]} " in
    *" $stage "*) ;;
    *) echo "scripts/test.sh: unknown stage '$stage' (stages: ${all[*]})" >&2; exit 2 ;;
    esac
done
wants() {
    case " ${stages[*]} " in *" $1 "*) return 0 ;; esac
    return 1
}
# Runs a step and prints how long it took: timed NAME COMMAND...
timed() {
    local name=$1 start
    shift
    start=$(date +%s)
    "$@"
    echo "$name: $(($(date +%s) - start)) s"
}

# The tools of booted machines and of fuzzing only for the stages that use them.
if wants machine || wants fresh || wants qt6 || wants fuzz; then
    bash scripts/deps.sh
else
    bash scripts/deps.sh --build-only
fi

if wants tests || wants machine || wants fresh; then
    timed build bash scripts/build.sh build
fi
if wants tests; then
    # The format of the sources, where the build found clang-format (the
    # release that sets the format installs it). grep reads the whole list:
    # with -q it could stop early, and ninja's broken pipe would fail the test
    # under pipefail.
    if ninja -C build -t targets all | grep '^clang-format-check:' >/dev/null; then
        timed "source format" cmake --build build --target clang-format-check
    fi
    timed tests bash -c "cd build && ctest --output-on-failure -j 2 -LE 'machine|fresh'"
fi
if wants machine; then
    timed "machine tests" bash -c 'cd build && ctest --output-on-failure -j 2 -L machine'
    # How systemd rates the sandbox of the check-run services.
    grep -h '^INFO: systemd-analyze security' build/Testing/Temporary/LastTest.log || true
fi
if wants fresh; then
    timed "fresh machine" bash -c 'cd build && ctest --output-on-failure -L fresh'
fi
if wants sanitizer; then
    timed "sanitizer build" bash scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DPWEXPIRY_SANITIZE=ON
    timed "sanitizer tests" bash -c 'cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j 2'
fi
if wants qt6; then
    timed "Qt 6 in Debian 13" bash autotests/machine/release_tests.sh trixie 6 tests sanitizer packages
fi
if wants fuzz; then
    timed "fuzz build" bash scripts/build.sh build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DPWEXPIRY_FUZZ=ON
    timed fuzzing bash autotests/fuzz/fuzz.sh build-fuzz 60
fi
if wants packages; then
    timed packages bash scripts/package-test.sh
fi
