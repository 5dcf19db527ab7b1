#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The README's two commands on a fresh Debian machine. A copy of the committed
# tree (git archive HEAD) goes into a root that holds nothing but what
# `mmdebstrap --variant=minbase` puts there; entered as root without booting,
# as an administrator's shell on a new machine, it runs
#   bash scripts/demo.sh          which must end well and show the reminder,
#   bash scripts/test.sh tests    which must pass, with the unit tests and the
#                                 sandbox system tests run, none skipped.
# Each run works on an overlay over the cached root, so it starts from zero
# and the root stays as mmdebstrap made it. apt's downloaded archives are kept
# in a cache of their own between runs; the packages are installed afresh.
#
#   fresh_readme_test.sh SOURCE-DIR SUITE LOG-DIR
. "$(dirname "$0")/machine.sh" || exit 1
machine_require
SRC=$1 SUITE=$2 LOGS=$3

command -v git >/dev/null 2>&1 || machine_skip "git is not installed"
git -C "$SRC" rev-parse --verify -q HEAD >/dev/null 2>&1 ||
    machine_skip "$SRC is not a git checkout: there is no committed tree to copy"

# apt's archives, kept between runs. One run uses them at a time; a run that
# finds them in use downloads into its own machine instead.
ARCHIVE_CACHE=/var/cache/pwexpiry/apt-archives
FRESH_STEP_TIMEOUT=2400

mkdir -p "$LOGS" || exit 1
rm -f "$LOGS"/*.log

# Prints how long the step NAME took since START (seconds since the epoch).
step_time() {
    echo "TIME: $1: $(($(date +%s) - $2)) s"
}

# --- the root: minbase and nothing else
start=$(date +%s)
machine_root "$SUITE" || machine_fail "no minbase root for $SUITE"
step_time "minbase root" "$start"
echo "root: $MACHINE_ROOT"
# Nothing of what scripts/deps.sh installs may be there already: a root made
# with more would hide a package missing from that list.
present=$(dpkg-query --admindir="$MACHINE_ROOT/var/lib/dpkg" -W -f '${db:Status-Status} ${Package}\n' \
    cmake g++ qtbase5-dev dbus python3 locales xvfb 2>/dev/null | awk '$1 == "installed" {print $2}')
expect_eq "the root has none of the project's packages" "" "$present"
echo "apt sources in the root:"
sed 's/^/    /' "$MACHINE_ROOT/etc/apt/sources.list"

# --- a throw-away machine over it
_machine_sweep
FRESH_DIR=$(mktemp -d /tmp/pwexpiry-machine.XXXXXX) || exit 1
chmod 755 "$FRESH_DIR"
echo $$ >"$FRESH_DIR/owner"
FRESH_NAME=$(_machine_name "$FRESH_DIR")
mkdir "$FRESH_DIR/upper" "$FRESH_DIR/work" "$FRESH_DIR/merged"
FRESH_CGROUPS=()

fresh_cleanup() {
    local dir
    for dir in "${FRESH_CGROUPS[@]}"; do _machine_cgroup_remove "$dir"; done
    # The overlay is mounted only in each command's own mount namespace.
    rm -rf --one-file-system "$FRESH_DIR"
}
trap fresh_cleanup EXIT
trap 'exit 1' INT TERM HUP

# A cgroup of its own, as a booted machine has: nspawn puts its payload
# below the caller's cgroup, where another machine may be running.
for dir in $(_machine_cgroup_dirs); do
    mkdir "$dir/$FRESH_NAME" || machine_fail "cannot create cgroup $dir/$FRESH_NAME"
    FRESH_CGROUPS+=("$dir/$FRESH_NAME")
done

archives=
mkdir -p "$ARCHIVE_CACHE" || exit 1
exec {ARCHIVE_LOCK_FD}>"$ARCHIVE_CACHE.lock"
if flock -n "$ARCHIVE_LOCK_FD"; then
    archives=$ARCHIVE_CACHE
    echo "apt archives: $ARCHIVE_CACHE ($(find "$ARCHIVE_CACHE" -maxdepth 1 -name '*.deb' | wc -l) kept from earlier runs)"
else
    echo "apt archives: $ARCHIVE_CACHE is in use by another run; downloading afresh"
fi

# Runs a command as root in the machine, not booted: systemd-nspawn with the
# host's network (apt reaches the mirror), standard input and output passed
# through, bounded by FRESH_STEP_TIMEOUT. As for a booted machine, nspawn
# runs in a mount namespace of its own with a fresh /run.
fresh_run() {
    local dir binds
    (
        for dir in "${FRESH_CGROUPS[@]}"; do echo "$BASHPID" >"$dir/cgroup.procs"; done
        binds=()
        [ -z "$archives" ] || binds+=(--bind="$archives:/var/cache/apt/archives")
        MACHINE_NSPAWN_TIMEOUT=$FRESH_STEP_TIMEOUT machine_nspawn "$MACHINE_ROOT" "$FRESH_DIR" --machine="$FRESH_NAME" \
            --as-pid2 --pipe "${binds[@]}" -- "$@"
    )
}

# Copies a step's output to LOG and notes how far into the step (START,
# seconds since the epoch) the first line matching each mark came:
#   fresh_log LOG START NAME REGEX [NAME REGEX]...
fresh_log() {
    local log=$1 start=$2 line i
    shift 2
    local marks=("$@")
    while IFS= read -r line; do
        printf '%s\n' "$line" >&3
        for ((i = 0; i < ${#marks[@]}; i += 2)); do
            if [[ $line =~ ${marks[i + 1]} ]]; then
                echo "TIME:   ${marks[i]} from $(($(date +%s) - start)) s"
                marks=("${marks[@]:0:i}" "${marks[@]:i+2}")
                break
            fi
        done
    done 3>"$log"
}

# Runs a step of the README in the machine, its output in LOG-DIR/NAME.log:
#   fresh_step NAME SCRIPT [MARK REGEX]...
# Leaves its status in STEP_RC and its output in STEP_OUT.
fresh_step() {
    local name=$1 script=$2 start
    shift 2
    start=$(date +%s)
    echo "TIME: $name ($script) begins"
    fresh_run /bin/bash -c "cd /root/pwexpiry && $script" </dev/null 2>&1 | fresh_log "$LOGS/$name.log" "$start" "$@"
    STEP_RC=${PIPESTATUS[0]}
    STEP_OUT=$(cat "$LOGS/$name.log")
    step_time "$name ($script)" "$start"
    if [ "$STEP_RC" != 0 ]; then
        echo "----- $name: status $STEP_RC, the end of $LOGS/$name.log:"
        tail -n 60 "$LOGS/$name.log"
        echo "-----"
    fi
}

# --- the committed tree, copied in as an administrator would
start=$(date +%s)
# dpkg does without its syncs to the disk in this throw-away machine, as
# mmdebstrap does when it makes the root: what is installed stays the same.
mkdir -p "$FRESH_DIR/upper/etc/dpkg/dpkg.cfg.d" &&
    echo force-unsafe-io >"$FRESH_DIR/upper/etc/dpkg/dpkg.cfg.d/pwexpiry-test-unsafe-io" || exit 1

git -C "$SRC" archive --format=tar HEAD | fresh_run /bin/bash -c 'mkdir /root/pwexpiry && tar -x -C /root/pwexpiry'
expect_eq "git archive HEAD unpacks in the machine" "0 0" "${PIPESTATUS[*]}"
step_time "copy of HEAD ($(git -C "$SRC" rev-parse --short HEAD))" "$start"

# --- the README's main command
fresh_step demo "bash scripts/demo.sh" "build (cmake)" '^-- ' "the demo itself" '^== pwexpiry-notifier --info'
expect_eq "scripts/demo.sh ends with status 0" 0 "$STEP_RC"
# From --info onwards: what the demo shows after the set-up and the build.
echo "----- what the demo showed:"
sed -n '/^== pwexpiry-notifier --info/,$p' "$LOGS/demo.log"
echo "-----"
expect_contains "the demo shows the reminder's title" "title:      Password Expiry" "$STEP_OUT"
expect_contains "the demo shows the reminder's body" "body:       The password expires in 4 days!" "$STEP_OUT"
expect_contains "the demo's check of the reminder passed" "PASS: the reminder arrived" "$STEP_OUT"

# --- the README's test command: the normal build, unit and sandbox tests
fresh_step tests "bash scripts/test.sh tests" "build (cmake)" '^-- ' "ctest" '^Test project'
expect_eq "scripts/test.sh tests ends with status 0" 0 "$STEP_RC"
echo "----- ctest's summary:"
sed -n '/tests passed/,$p' "$LOGS/tests.log"
echo "-----"
expect_eq "ctest: 100% tests passed" 1 "$(grep -Ec '^100% tests passed, 0 tests failed out of [1-9]' <<<"$STEP_OUT")"
# A sandbox test without root or namespaces exits 77 and CTest counts it as
# passed in its percentage; here every test must have run.
skipped=$(grep -E '\*\*\*Skipped|\(Skipped\)|Not Run' <<<"$STEP_OUT")
expect_eq "no test was skipped or not run" "" "$skipped"

# The tests CTest knows, to check that each of them ran and passed.
list=$(fresh_run /bin/bash -c 'cd /root/pwexpiry/build && ctest -N -LE "machine|fresh" && echo --- && ctest -N -L system' </dev/null 2>&1)
all=$(sed -n '1,/^---$/s/^ *Test *#[0-9]*: //p' <<<"$list")
system=$(sed -n '/^---$/,$s/^ *Test *#[0-9]*: //p' <<<"$list")
expect_match "the build has sandbox system tests" "reminder_demo" "$system"
expect_match "the build has unit tests besides them" "." "$(grep -vxF -f <(printf '%s\n' "$system") <<<"$all")"
not_passed=
while read -r t; do
    [ -n "$t" ] || continue
    grep -Eq "Test +#[0-9]+: $t \.+ +Passed" <<<"$STEP_OUT" || not_passed+=" $t"
done <<<"$all"
expect_eq "every unit and sandbox system test ran and passed ($(wc -l <<<"$all") tests, $(wc -l <<<"$system") sandbox)" \
    "" "$not_passed"

if [ -n "$archives" ]; then
    # Archives of versions the mirror no longer has are dropped.
    fresh_run apt-get autoclean -q </dev/null >/dev/null 2>&1
    echo "apt archives: $(find "$ARCHIVE_CACHE" -maxdepth 1 -name '*.deb' | wc -l) kept for the next run"
fi
machine_finish
