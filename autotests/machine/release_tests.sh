#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Runs stages of the test command in a root of another Debian release, built
# for the given major version of Qt and KDE Frameworks:
#   release_tests.sh SUITE QT_MAJOR_VERSION STAGE...
#   release_tests.sh trixie 6 tests sanitizer
# The root is made (or found) by the machine harness with the packages that
# scripts/deps.sh lists for SUITE, and entered with systemd-nspawn --pipe,
# not booted, on an overlay: the cached root stays as it is. Inside, the
# sandbox tests run as root with unshare as on this machine (nspawn leaves
# the container CAP_SYS_ADMIN).
#
# The tree is copied with its files' times to build-SUITE/src in the work
# tree, which is bound into the container, so the build directories there are
# kept between runs and a second run builds only what changed.
. "$(dirname "$0")/machine.sh" || exit 1
top=$(cd "$(dirname "$0")/../.." && pwd)
if [ $# -lt 3 ]; then
    echo "usage: $0 SUITE QT_MAJOR_VERSION STAGE..." >&2
    exit 2
fi
suite=$1 qt=$2
shift 2

machine_require
mapfile -t packages < <(bash "$top/scripts/deps.sh" --list --build-only "$suite") || exit 1
machine_root "$suite" "${packages[@]}" || machine_fail "no root for $suite"
echo "root: $MACHINE_ROOT"

# The tree as it is now, committed or not, without build directories; files
# that left the tree leave the copy too.
src=$top/build-$suite/src
mkdir -p "$src" || exit 1
files=$(mktemp) || exit 1
(cd "$top" && git ls-files -z --cached --others --exclude-standard) >"$files" || exit 1
tar -C "$top" --null -T "$files" -cf - | tar -C "$src" -xf - || exit 1
(cd "$src" && find . -path ./build -prune -o -path './build-*' -prune -o -type f -printf '%P\0' | sort -z) |
    comm -z -23 - <(sort -z "$files") | (cd "$src" && xargs -0 -r rm -f --)
rm -f "$files"

scratch=$(mktemp -d /tmp/pwexpiry-release.XXXXXX) || exit 1
name=$(_machine_name "$scratch")
cgroups=()
cleanup() {
    local dir
    for dir in "${cgroups[@]}"; do _machine_cgroup_remove "$dir"; done
    rm -rf --one-file-system "$scratch"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
for dir in $(_machine_cgroup_dirs); do
    mkdir "$dir/$name" || machine_fail "cannot create cgroup $dir/$name"
    cgroups+=("$dir/$name")
done

(
    for dir in "${cgroups[@]}"; do echo "$BASHPID" >"$dir/cgroup.procs"; done
    machine_nspawn "$MACHINE_ROOT" "$scratch" --machine="$name" --as-pid2 --pipe \
        --bind="$src:/src" --chdir=/src --tmpfs=/run/user:mode=755 --setenv=QT_MAJOR_VERSION="$qt" --setenv=LANG=C.UTF-8 \
        -- /bin/bash scripts/test.sh "$@"
) </dev/null
