# SPDX-License-Identifier: GPL-2.0-or-later
# Sandbox for end-to-end tests of the built programs.
#
# A test script sources this file and calls `sandbox_enter "$@"` first. The
# script is then run again as root inside private mount and PID namespaces in
# which /etc is a private, writable copy of the machine's /etc and /proc shows
# only the test's own processes; nothing the test changes there, or stubs over
# a system tool, reaches the machine. With --net it also gets a private network
# namespace (its own loopback and its own /proc/net/unix).
#
#   . "$(dirname "$0")/sandbox.sh"
#   sandbox_enter "$@"            # or: sandbox_enter --net "$@" for a private network namespace
#   printf 'PASS_MAX_DAYS\t90\n' > /etc/login.defs
#   expect_eq "max days" "90" "$(...)"
#   sandbox_finish
#
# Without root or without unshare the script exits 77, which CTest reports as
# skipped.

set -u

SANDBOX_SKIP=77

sandbox_enter() {
    if [ -z "${PWEXPIRY_IN_SANDBOX:-}" ]; then
        if [ "$(id -u)" != 0 ]; then
            echo "SKIP: needs root for a private mount namespace"
            exit $SANDBOX_SKIP
        fi
        if ! command -v unshare >/dev/null 2>&1; then
            echo "SKIP: unshare is not available"
            exit $SANDBOX_SKIP
        fi
        # A private PID namespace gives the test its own /proc (a process scan
        # sees only the test's processes) and ends every process the test
        # started when the test ends.
        local flags=(--mount --propagation private --pid --fork --mount-proc)
        if [ "${1:-}" = "--net" ]; then
            flags+=(--net)
            shift
        fi
        if ! unshare "${flags[@]}" true 2>/dev/null; then
            echo "SKIP: unshare ${flags[*]} is not permitted here"
            exit $SANDBOX_SKIP
        fi
        PWEXPIRY_IN_SANDBOX=1 exec unshare "${flags[@]}" -- bash "$0" "$@"
    fi
    [ "${1:-}" = "--net" ] && shift

    SANDBOX=$(mktemp -d /tmp/pwexpiry-sandbox.XXXXXX) || exit 1
    chmod 755 "$SANDBOX"
    export SANDBOX
    trap sandbox_cleanup EXIT
    mkdir -p "$SANDBOX/calls" "$SANDBOX/bin" "$SANDBOX/stubs" "$SANDBOX/home"
    chmod 777 "$SANDBOX/calls"

    cp -a /etc "$SANDBOX/etc" || exit 1
    mount --bind "$SANDBOX/etc" /etc || exit 1

    # Fixed, untranslated output whatever the caller's locale.
    unset LANGUAGE LC_MESSAGES
    export LC_ALL=C.UTF-8

    SANDBOX_PASSED=0
    SANDBOX_FAILED=0
}

sandbox_cleanup() {
    # Processes started by the test must not outlive it.
    local pids f
    pids=$(jobs -p)
    [ -n "$pids" ] && kill $pids 2>/dev/null
    for f in "$SANDBOX"/*.pid; do
        [ -f "$f" ] && kill "$(cat "$f")" 2>/dev/null
    done
    # Nothing mounted inside the scratch directory may be removed through it.
    awk -v s="$SANDBOX/" 'index($5, s) == 1 {print $5}' /proc/self/mountinfo | sort -r | xargs -r -n1 umount -l
    rm -rf --one-file-system "$SANDBOX"
}

# Installs a built program where every user may run it: sandbox_install_bin PATH
# Prints the installed path.
sandbox_install_bin() {
    install -m 755 "$1" "$SANDBOX/bin/" && echo "$SANDBOX/bin/$(basename "$1")"
}

# Replaces a system tool by a stand-in for the rest of the test:
#   sandbox_stub /usr/bin/loginctl <<'STUB'
#   case "$1" in list-sessions) echo "2 1000 alice seat0" ;; esac
#   STUB
# The body is a bash script. Every call appends its arguments, one per line and
# ended by a line "--", to $SANDBOX/calls/<name>; `stub_calls <name>` prints them.
# A missing tool is added to its directory without touching the machine.
sandbox_stub() {
    local target=$1 name
    name=$(basename "$target")
    local stub="$SANDBOX/stubs/$name"
    {
        echo '#!/bin/bash'
        echo "{ printf '%s\n' \"\$@\"; echo --; } >> '$SANDBOX/calls/$name'"
        cat
    } >"$stub"
    chmod 755 "$stub"
    if [ ! -e "$target" ]; then
        sandbox_add_to_dir "$(dirname "$target")" || return 1
        : >"$target" || return 1
    fi
    # A tool stubbed again gets the new stand-in in place of the old one: a
    # mount on top of the old one would pin the stub file, and the scratch
    # directory could not be removed at the end.
    if [ "$target" -ef "$stub" ]; then
        umount "$target" || return 1
    fi
    mount --bind "$stub" "$target"
}

# Makes a system directory writable for this sandbox only, with an overlay
# whose upper layer lives in the scratch directory.
sandbox_add_to_dir() {
    local dir=$1 key
    key=$(echo "$dir" | tr / _)
    [ -d "$SANDBOX/overlay/$key" ] && return 0
    mkdir -p "$SANDBOX/overlay/$key/up" "$SANDBOX/overlay/$key/work"
    mount -t overlay overlay -o "lowerdir=$dir,upperdir=$SANDBOX/overlay/$key/up,workdir=$SANDBOX/overlay/$key/work" "$dir"
}

# The file system type of what is mounted on DIR, the topmost mount where
# several are stacked there (an overlay on a /run that is a tmpfs itself).
sandbox_fstype() {
    findmnt -n -l -o FSTYPE --mountpoint "$1" | tail -n 1
}

# Removes a file from a system directory for this sandbox only. The directory
# gets an overlay first; nothing is removed unless the overlay is in place.
sandbox_remove() {
    local dir
    dir=$(dirname "$1")
    sandbox_add_to_dir "$dir" || return 1
    if [ "$(sandbox_fstype "$dir")" != overlay ]; then
        echo "sandbox_remove: $dir is not an overlay, $1 left alone" >&2
        return 1
    fi
    rm -f "$1"
}

stub_calls() {
    cat "$SANDBOX/calls/$1" 2>/dev/null
}

# Creates a test user in the private /etc with a home inside the sandbox.
sandbox_useradd() {
    local name=$1
    shift
    useradd -M -d "$SANDBOX/home/$name" -s /bin/bash "$@" "$name" || return 1
    mkdir -p "$SANDBOX/home/$name"
    chown "$name:" "$SANDBOX/home/$name"
}

# Writes the reminder settings file: sandbox_write_settings LOCAL DOMAIN DAYS
sandbox_write_settings() {
    mkdir -p /etc/password-expiration-policy
    printf '[General]\nRECEIVE_NOTIFY_FOR_LOCAL=%s\nRECEIVE_NOTIFY_FOR_DOMAIN=%s\nNOTIFY_DAYS=%s\n' "$1" "$2" "$3" \
        >/etc/password-expiration-policy/config.ini
}

# Runs a command and keeps its standard output, standard error and status in
# $OUT, $ERR and $RC.
capture() {
    local out err
    out=$(mktemp "$SANDBOX/out.XXXXXX")
    err=$(mktemp "$SANDBOX/err.XXXXXX")
    "$@" >"$out" 2>"$err"
    RC=$?
    OUT=$(cat "$out")
    ERR=$(cat "$err")
    rm -f "$out" "$err"
}

_record() {
    if [ "$1" = ok ]; then
        SANDBOX_PASSED=$((SANDBOX_PASSED + 1))
        echo "PASS: $2"
    else
        SANDBOX_FAILED=$((SANDBOX_FAILED + 1))
        echo "FAIL: $2"
        shift 2
        printf '      %s\n' "$@"
    fi
}

expect_eq() {
    if [ "$2" = "$3" ]; then
        _record ok "$1"
    else
        _record fail "$1" "expected: $(printf '%q' "$2")" "actual:   $(printf '%q' "$3")"
    fi
}

# expect_match DESC REGEX TEXT (extended regular expression, whole text)
expect_match() {
    if printf '%s' "$3" | grep -Eq -- "$2"; then
        _record ok "$1"
    else
        _record fail "$1" "pattern: $2" "text:    $(printf '%q' "$3")"
    fi
}

# expect_contains DESC FIXED-STRING TEXT
expect_contains() {
    if printf '%s' "$3" | grep -Fq -- "$2"; then
        _record ok "$1"
    else
        _record fail "$1" "missing: $2" "text:    $(printf '%q' "$3")"
    fi
}

# What AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer write
# when they find a fault.
SANITIZER_REPORT='Sanitizer|runtime error'

expect_no_match() {
    if printf '%s' "$3" | grep -Eq -- "$2"; then
        _record fail "$1" "unexpected pattern: $2" "text:    $(printf '%q' "$3")"
    else
        _record ok "$1"
    fi
}

# Ends the test with the summary line and a status CTest understands.
sandbox_finish() {
    echo "$SANDBOX_PASSED passed, $SANDBOX_FAILED failed"
    [ "$SANDBOX_FAILED" -eq 0 ]
    exit $?
}
