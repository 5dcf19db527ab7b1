# SPDX-License-Identifier: GPL-2.0-or-later
# Booted Debian machines for the machine tests.
#
# A test script sources this file, builds or reuses a cached root with our
# packages' dependencies, boots one ephemeral machine from it with
# systemd-nspawn and drives it through nsenter:
#
#   . "$(dirname "$0")/machine.sh"
#   machine_require
#   machine_start "$DEBDIR" bookworm    # root, boot, our packages; powered off on exit
#   machine_run useradd -m alice
#   expect_eq "..." "..." "$(machine_run ...)"
#   machine_finish
#
# Roots are cached under /var/cache/pwexpiry/machines, one directory per suite
# and package list. A machine runs on an overlay over its root: the root never
# changes and whatever the test did is thrown away at power-off. Every machine
# has its own cgroup and network namespace, so two may run at once.
#
# Without root, or without the tools, the script exits 77, which CTest reports
# as skipped.

set -u

# The expect_* helpers and their summary.
. "$(dirname "${BASH_SOURCE[0]}")/../system/sandbox.sh" || exit 1
SANDBOX_PASSED=0
SANDBOX_FAILED=0
export LC_ALL=C.UTF-8
unset LANGUAGE LC_MESSAGES

# Raise when the way roots are made changes, so that old roots are not reused.
MACHINE_ROOT_VERSION=2
MACHINE_CACHE=/var/cache/pwexpiry/machines

# What every machine has besides our packages' dependencies: a booting system
# with logind, PAM sessions and user buses, polkit, a notification daemon on a
# virtual display, python3 to drive a terminal, X tools to find and capture a
# window, Plasma's System Settings, the locale sources to make a German locale.
MACHINE_PACKAGES=(
    systemd systemd-sysv dbus dbus-user-session libpam-systemd polkitd
    libnotify-bin passwd procps dunst xvfb python3
    systemsettings xdotool x11-apps breeze-icon-theme locales
)

# Package sets a test may ask for on top of these (machine_start DEBDIR SUITE
# SET), each with the debconf answers its packages find at installation. A set
# makes a root of its own.
#
# directory: an LDAP server with the suffix dc=example,dc=test and its
# administrator cn=admin,dc=example,dc=test (password "secret"), and SSSD as
# its client, with the name service and PAM going through SSSD. SSSD stays off
# until a test writes its configuration.
MACHINE_SET_directory=(slapd ldap-utils sssd-ldap sssd-tools libnss-sss libpam-sss)
# ansible: an SSH server and Python's apt bindings, as Ansible's ssh
# connection and apt module want them on a managed host.
MACHINE_SET_ansible=(openssh-server python3-apt)
MACHINE_DEBCONF_directory='slapd slapd/no_configuration boolean false
slapd slapd/domain string example.test
slapd shared/organization string Example
slapd slapd/password1 password secret
slapd slapd/password2 password secret
slapd slapd/purge_database boolean true
slapd slapd/move_old_database boolean true'

# plasma: a whole Plasma X11 desktop as a display manager starts it (the
# shell, the window manager, software OpenGL, the X tools to look at its
# windows), and python3's D-Bus and GLib bindings for the bus recorder of
# machine_plasma_login.
MACHINE_SET_plasma=(plasma-workspace plasma-desktop kwin-x11 dbus-x11 libgl1-mesa-dri x11-utils python3-dbus python3-gi)

MACHINE_BOOT_TIMEOUT=30
MACHINE_PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin

machine_skip() {
    echo "SKIP: $*"
    exit 77
}

machine_fail() {
    echo "FAIL: $*"
    exit 1
}

# Exits 77 unless machines can be booted here.
machine_require() {
    [ "$(id -u)" = 0 ] || machine_skip "booting a machine needs root"
    local tool
    for tool in systemd-nspawn mmdebstrap nsenter unshare setpriv flock; do
        command -v "$tool" >/dev/null 2>&1 || machine_skip "$tool is not installed"
    done
    grep -qw overlay /proc/filesystems || machine_skip "the kernel has no overlay file system"
    unshare -m --propagation private sh -c 'mount -t tmpfs tmpfs /run' 2>/dev/null ||
        machine_skip "cannot mount in a private mount namespace (unshare -m)"
    [ -n "$(_machine_cgroup_dirs)" ] || machine_skip "no writable cgroup hierarchy for a machine of its own"
}

# --- the mirror

# "URI SUITE" for every deb entry in apt's sources on this machine, deb822
# files first, then one-line lists.
_machine_apt_entries() {
    local f
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        awk '
            function flush() {
                if (types ~ /(^| )deb( |$)/ && enabled != "no") {
                    nu = split(uris, u, " "); ns = split(suites, s, " ")
                    for (i = 1; i <= nu; i++) for (j = 1; j <= ns; j++) print u[i], s[j]
                }
                types = uris = suites = enabled = ""
            }
            /^#/ { next }
            /^[ \t]*$/ { flush(); next }
            /^[^ \t]/ {
                key = tolower(substr($0, 1, index($0, ":") - 1))
                val = $0; sub(/^[^:]*:[ \t]*/, "", val)
                if (key == "types") types = val
                else if (key == "uris") uris = val
                else if (key == "suites") suites = val
                else if (key == "enabled") enabled = tolower(val)
            }
            END { flush() }' "$f"
    done
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        # deb [options] URI SUITE COMPONENT...
        sed -E -e 's/#.*//' -e 's/\[[^]]*\]//' "$f" | awk '$1 == "deb" && NF >= 3 {print $2, $3}'
    done
}

# The three source lines of SUITE on the mirror apt uses here: the suite and
# its updates from the main archive, its security updates from the security
# archive. The archives are those apt names for this machine's own release
# (other repositories in the lists are passed over).
machine_mirror_lines() {
    local suite=$1 entries host main security
    entries=$(_machine_apt_entries)
    host=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    main=$(awk -v c="$host" '$2 == c || $2 == c "-updates" {print $1; exit}' <<<"$entries")
    security=$(awk -v c="$host" '$2 == c "-security" || $2 == c "/updates" {print $1; exit}' <<<"$entries")
    if [ -z "$main" ]; then
        echo "machine_mirror_lines: no Debian archive in apt's sources" >&2
        return 1
    fi
    echo "deb $main $suite main"
    echo "deb $main $suite-updates main"
    if [ -n "$security" ]; then
        echo "deb $security $suite-security main"
    else
        echo "machine_mirror_lines: no security archive in apt's sources, building $suite without it" >&2
    fi
}

# --- roots

# The packages the given .deb files depend on, except each other: the first
# alternative of each dependency, without versions.
machine_deb_depends() {
    local deb own=()
    for deb in "$@"; do own+=("$(dpkg-deb -f "$deb" Package)"); done
    for deb in "$@"; do
        dpkg-deb -f "$deb" Depends Pre-Depends
    done | sed -E 's/^[A-Za-z-]+: //' | tr ',' '\n' | sed -E 's/\|.*//; s/\(.*\)//; s/[[:space:]]//g' |
        grep -v '^$' | grep -vxF -f <(printf '%s\n' "${own[@]}") | sort -u
}

# The packages of our own .deb files in DEBDIR that a machine installs: every
# .deb but the debug symbols.
machine_debs() {
    ls "$1"/*.deb 2>/dev/null | grep -v -- '-dbgsym_'
}

# Sets MACHINE_ROOT to a cached root of SUITE with the given packages, made
# first when it is not there yet. MACHINE_ROOT_DEBCONF, when set, holds the
# debconf answers (debconf-set-selections lines) the packages install with.
machine_root() {
    local suite=$1
    shift
    local packages key name lock tmp start mirrors debconf=${MACHINE_ROOT_DEBCONF:-}
    packages=$(printf '%s\n' "$@" | sort -u | paste -sd, -)
    key=$(printf 'version %s\nsuite %s\npackages %s\n' "$MACHINE_ROOT_VERSION" "$suite" "$packages" | sha256sum | cut -c1-16)
    # Roots without answers keep the keys they always had.
    [ -z "$debconf" ] || key=$(printf '%s\ndebconf %s\n' "$key" "$debconf" | sha256sum | cut -c1-16)
    name=$suite-$key
    MACHINE_ROOT=$MACHINE_CACHE/$name
    [ -f "$MACHINE_ROOT/etc/os-release" ] && return 0

    mkdir -p "$MACHINE_CACHE" || return 1
    # One build at a time; a second caller waits and then finds the root.
    lock=$MACHINE_CACHE/.lock
    exec {MACHINE_LOCK_FD}>"$lock"
    if ! flock -w 900 "$MACHINE_LOCK_FD"; then
        echo "machine_root: another root build holds $lock" >&2
        return 1
    fi
    if [ ! -f "$MACHINE_ROOT/etc/os-release" ]; then
        # Builds that were killed outright left their directories.
        rm -rf --one-file-system "$MACHINE_CACHE"/.build-*
        mirrors=$(machine_mirror_lines "$suite") || return 1
        tmp=$(mktemp -d "$MACHINE_CACHE/.build-$name.XXXXXX") || return 1
        echo "machine_root: building $name ($(wc -w <<<"${packages//,/ }") packages requested)"
        start=$(date +%s)
        local args=() hooks=() include=()
        mapfile -t args <<<"$mirrors"
        # The answers go in once debconf is there, before the packages that ask.
        if [ -n "$debconf" ]; then
            printf '%s\n' "$debconf" >"$tmp/debconf"
            hooks+=(--essential-hook="chroot \"\$1\" debconf-set-selections <'$tmp/debconf'")
        fi
        # mmdebstrap refuses an empty --include; without packages the root is
        # minbase alone.
        [ -z "$packages" ] || include=(--include="$packages")
        # Without the build machine's host name: a machine is named by nspawn.
        if ! mmdebstrap --variant=minbase "${include[@]}" "${hooks[@]}" --customize-hook='rm -f "$1/etc/hostname"' \
            "$suite" "$tmp/root" "${args[@]}" >"$tmp/log" 2>&1; then
            echo "machine_root: mmdebstrap failed for $name:" >&2
            tail -n 40 "$tmp/log" >&2
            rm -rf --one-file-system "$tmp"
            return 1
        fi
        rm -rf --one-file-system "$MACHINE_ROOT"
        mv "$tmp/root" "$MACHINE_ROOT" && rm -rf --one-file-system "$tmp" || return 1
        echo "machine_root: built $name in $(($(date +%s) - start)) s ($(du -sm "$MACHINE_ROOT" | cut -f1) MB)"
    fi
    exec {MACHINE_LOCK_FD}>&-
}

# Sets MACHINE_ROOT to the root of SUITE for our .deb files in DEBDIR: the
# common packages plus what ours depend on, plus the package set SET if one is
# given: machine_root_for_debs SUITE DEBDIR [SET]
machine_root_for_debs() {
    local suite=$1 debdir=$2 set=${3:-} debs extra=()
    if [ -n "$set" ]; then
        declare -p "MACHINE_SET_$set" >/dev/null 2>&1 || machine_fail "no package set \"$set\""
        local -n set_packages=MACHINE_SET_$set
        local -n set_debconf=MACHINE_DEBCONF_$set
        extra=("${set_packages[@]}")
    fi
    debs=$(machine_debs "$debdir")
    [ -n "$debs" ] || machine_fail "no .deb files in $debdir"
    mapfile -t debs <<<"$debs"
    local depends
    depends=$(machine_deb_depends "${debs[@]}") || return 1
    MACHINE_ROOT_DEBCONF=${set:+${set_debconf:-}} machine_root "$suite" "${MACHINE_PACKAGES[@]}" "${extra[@]}" $depends
}

# Boots a machine of SUITE with our packages from DEBDIR installed, as every
# test wants it, from the root with the package set SET if one is given:
# machine_start DEBDIR SUITE [SET]. Fails the test when it cannot. dunst's
# D-Bus activation file is removed (see machine_no_dunst_activation) unless
# MACHINE_KEEP_DUNST_ACTIVATION is set.
machine_start() {
    machine_root_for_debs "$2" "$1" "${3:-}" || machine_fail "no root for $2${3:+ with the set $3}"
    machine_boot "$MACHINE_ROOT"
    machine_install_debs $(machine_debs "$1") || machine_fail "our packages did not install"
    # A test of a whole desktop keeps it, as a machine with dunst installed has it.
    [ -n "${MACHINE_KEEP_DUNST_ACTIVATION:-}" ] || machine_no_dunst_activation
}

# --- cgroups

# The hierarchies in which a machine gets a cgroup of its own, each as the
# directory of this shell's own cgroup there.
_machine_cgroup_dirs() {
    local line path
    if [ -f /sys/fs/cgroup/cgroup.controllers ]; then
        path=$(sed -n 's/^0:://p' /proc/self/cgroup)
        path=${path%/}
        [ -w "/sys/fs/cgroup$path" ] && echo "/sys/fs/cgroup$path"
        return 0
    fi
    while IFS= read -r line; do
        case "$line" in
        *:name=systemd:*)
            path=${line#*:name=systemd:}
            path=${path%/}
            [ -w "/sys/fs/cgroup/systemd$path" ] && echo "/sys/fs/cgroup/systemd$path" ;;
        0::*)
            path=${line#0::}
            path=${path%/}
            [ -d /sys/fs/cgroup/unified ] && [ -w "/sys/fs/cgroup/unified$path" ] && echo "/sys/fs/cgroup/unified$path" ;;
        esac
    done </proc/self/cgroup
}

# Ends every process left in a cgroup tree and removes it.
_machine_cgroup_remove() {
    local dir=$1 i pids
    [ -d "$dir" ] || return 0
    for i in $(seq 50); do
        pids=$(find "$dir" -name cgroup.procs -exec cat {} + 2>/dev/null)
        [ -z "$pids" ] && break
        kill -9 $pids 2>/dev/null
        sleep 0.1
    done
    find "$dir" -depth -type d -exec rmdir {} + 2>/dev/null
    [ ! -d "$dir" ] || echo "machine: could not remove cgroup $dir" >&2
}

# --- booting

# Runs systemd-nspawn on an overlay over ROOT whose upper and work directories
# are in DIR, with the given further options (and command): what a machine
# writes goes to DIR and ROOT stays as it was. nspawn runs in a mount
# namespace of its own: the overlay, and a fresh /run with the nodes nspawn
# expects to find there on a host booted by systemd; with the caller gone it
# is told to stop. It is not registered with a machine manager, which the
# host does not run. It takes the place of the calling shell: run it in a
# subshell. With MACHINE_NSPAWN_TIMEOUT set, nspawn is ended after that many
# seconds.
#   ( machine_nspawn ROOT DIR [NSPAWN OPTION...] [-- COMMAND...] )
machine_nspawn() {
    local root=$1 dir=$2
    shift 2
    mkdir -p "$dir/upper" "$dir/work" "$dir/merged" || exit 1
    local limit=()
    [ -z "${MACHINE_NSPAWN_TIMEOUT:-}" ] || limit=(timeout -k 10 "$MACHINE_NSPAWN_TIMEOUT")
    exec setpriv --pdeathsig TERM "${limit[@]}" unshare -m --propagation private bash -c '
        set -e
        root=$1 dir=$2
        shift 2
        mount -t overlay overlay -o "lowerdir=$root,upperdir=$dir/upper,workdir=$dir/work" "$dir/merged"
        mount -t tmpfs -o mode=755 tmpfs /run
        mkdir -p -m 755 /run/systemd/inaccessible
        cd /run/systemd/inaccessible
        touch reg; mkdir dir; mknod chr c 0 0; mknod blk b 0 0; mkfifo fifo
        chmod 0000 reg dir chr blk fifo
        cd /
        exec systemd-nspawn --quiet -D "$dir/merged" --register=no --keep-unit "$@"
    ' bash "$root" "$dir" "$@"
}

# Runs a command in the work tree inside a root of another Debian release:
#   machine_in_release SUITE [NSPAWN OPTION...] -- COMMAND...
# The root is made (or found) with the packages that scripts/deps.sh lists
# for SUITE to build and test, and entered with systemd-nspawn --pipe, not
# booted, on an overlay: the cached root stays as it is. Inside, the sandbox
# tests run as root with unshare as here (nspawn leaves the container
# CAP_SYS_ADMIN). The tree is copied with its files' times to build-SUITE/src
# in the work tree and bound to /src, the command's directory, so build
# directories there are kept between runs and a second run builds only what
# changed. One command at a time has the copy: a second caller (the packages
# and the test client are built by fixtures that may run together) waits
# until the first is done, so that no copy is rewritten under a build.
# Returns the command's status.
machine_in_release() {
    local suite=$1 top packages src files scratch name dir cgroups=() rc lock
    shift
    top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
    mapfile -t packages < <(bash "$top/scripts/deps.sh" --list --build-only "$suite") || return 1
    machine_root "$suite" "${packages[@]}" || machine_fail "no root for $suite"
    echo "root: $MACHINE_ROOT"

    src=$top/build-$suite/src
    mkdir -p "$src" || return 1
    exec {lock}>"$top/build-$suite/.lock"
    flock -n "$lock" || echo "machine_in_release: waiting for the command in build-$suite/src to end"
    if ! flock -w 1800 "$lock"; then
        echo "machine_in_release: another command holds $top/build-$suite/.lock" >&2
        exec {lock}>&-
        return 1
    fi

    # The tree as it is now, committed or not, without build directories;
    # files that left the tree leave the copy too.
    files=$(mktemp) || return 1
    (cd "$top" && git ls-files -z --cached --others --exclude-standard) >"$files" || return 1
    tar -C "$top" --null -T "$files" -cf - | tar -C "$src" -xf - || return 1
    (cd "$src" && find . -path ./build -prune -o -path './build-*' -prune -o -type f -printf '%P\0' | sort -z) |
        comm -z -23 - <(sort -z "$files") | (cd "$src" && xargs -0 -r rm -f --)
    rm -f "$files"

    scratch=$(mktemp -d /tmp/pwexpiry-release.XXXXXX) || return 1
    name=$(_machine_name "$scratch")
    for dir in $(_machine_cgroup_dirs); do
        mkdir "$dir/$name" || machine_fail "cannot create cgroup $dir/$name"
        cgroups+=("$dir/$name")
    done
    (
        exec {lock}>&-
        for dir in "${cgroups[@]}"; do echo "$BASHPID" >"$dir/cgroup.procs"; done
        machine_nspawn "$MACHINE_ROOT" "$scratch" --machine="$name" --as-pid2 --pipe \
            --bind="$src:/src" --chdir=/src --tmpfs=/run/user:mode=755 --setenv=LANG=C.UTF-8 "$@"
    ) </dev/null
    rc=$?
    for dir in "${cgroups[@]}"; do _machine_cgroup_remove "$dir"; done
    rm -rf --one-file-system "$scratch"
    exec {lock}>&-
    return $rc
}

# Boots an ephemeral machine from ROOT and waits until it is up. Sets
# MACHINE_PID (the machine's init, for nsenter), MACHINE_DIR (its scratch
# directory on this side) and MACHINE_NAME. The machine is powered off when
# the test exits.
machine_boot() {
    local root=$1 start deadline state
    [ -z "${MACHINE_NSPAWN_PID:-}" ] || machine_fail "machine_boot: a machine is already running"
    _machine_sweep
    MACHINE_DIR=$(mktemp -d /tmp/pwexpiry-machine.XXXXXX) || exit 1
    chmod 755 "$MACHINE_DIR"
    echo $$ >"$MACHINE_DIR/owner"
    # sandbox.sh's capture keeps its files there.
    SANDBOX=$MACHINE_DIR
    MACHINE_NAME=$(_machine_name "$MACHINE_DIR")
    trap "${MACHINE_EXIT_TRAP:-machine_poweroff}" EXIT
    trap 'exit 1' INT TERM HUP

    MACHINE_CGROUPS=()
    local dir
    for dir in $(_machine_cgroup_dirs); do
        mkdir "$dir/$MACHINE_NAME" || machine_fail "cannot create cgroup $dir/$MACHINE_NAME"
        MACHINE_CGROUPS+=("$dir/$MACHINE_NAME")
    done

    start=$(date +%s%N)
    (
        for dir in "${MACHINE_CGROUPS[@]}"; do echo "$BASHPID" >"$dir/cgroup.procs"; done
        machine_nspawn "$root" "$MACHINE_DIR" --machine="$MACHINE_NAME" -b --private-network --console=read-only
    ) >"$MACHINE_DIR/console.log" 2>&1 </dev/null &
    MACHINE_NSPAWN_PID=$!

    deadline=$(($(date +%s) + MACHINE_BOOT_TIMEOUT))
    MACHINE_PID=
    while [ -z "$MACHINE_PID" ] && [ "$(date +%s)" -lt "$deadline" ]; do
        kill -0 "$MACHINE_NSPAWN_PID" 2>/dev/null || break
        MACHINE_PID=$(_machine_init_pid)
        [ -n "$MACHINE_PID" ] || sleep 0.05
    done
    # is-system-running --wait returns once the boot is over; before the
    # manager listens on its socket it says "offline" at once.
    state=
    while [ -n "$MACHINE_PID" ] && [ "$(date +%s)" -lt "$deadline" ]; do
        state=$(timeout -k 1 "$((deadline - $(date +%s) + 1))" nsenter -t "$MACHINE_PID" -m -u -i -n -p -r -w \
            /usr/bin/env -i PATH=$MACHINE_PATH systemctl is-system-running --wait 2>&1)
        case "$state" in
        running | degraded) break ;;
        esac
        kill -0 "$MACHINE_NSPAWN_PID" 2>/dev/null || break
        sleep 0.05
    done
    case "$state" in
    running | degraded) MACHINE_UP=1 ;;
    *)
        if kill -0 "$MACHINE_NSPAWN_PID" 2>/dev/null; then
            echo "FAIL: the machine did not come up within $MACHINE_BOOT_TIMEOUT s (state: ${state:-none})"
        else
            wait "$MACHINE_NSPAWN_PID"
            echo "FAIL: the machine did not come up: systemd-nspawn ended with status $?"
            MACHINE_NSPAWN_PID=
        fi
        echo "----- console of $MACHINE_NAME"
        cat "$MACHINE_DIR/console.log"
        echo "-----"
        exit 1
        ;;
    esac
    echo "machine: $MACHINE_NAME is $state after $((($(date +%s%N) - start) / 1000000)) ms"
    if [ "$state" = degraded ]; then
        machine_run systemctl --failed --no-legend --no-pager
    fi
}

_machine_name() {
    echo "pwexpiry-$(basename "$1" | cut -d. -f2 | tr 'A-Z' 'a-z')"
}

# Removes what machines of tests that were killed outright left behind: the
# scratch directory and the cgroups of each machine whose test is gone (its
# nspawn stopped with the test).
_machine_sweep() {
    local dir owner cgroup
    for dir in /tmp/pwexpiry-machine.*; do
        [ -f "$dir/owner" ] || continue
        owner=$(cat "$dir/owner")
        [ -n "$owner" ] && kill -0 "$owner" 2>/dev/null && continue
        for cgroup in $(_machine_cgroup_dirs); do
            _machine_cgroup_remove "$cgroup/$(_machine_name "$dir")"
        done
        rm -rf --one-file-system "$dir"
    done
}

# The host's process id of the machine's init: the process below nspawn that
# is process 1 of its own PID namespace.
_machine_init_pid() {
    local pid todo=("$MACHINE_NSPAWN_PID") children
    while [ ${#todo[@]} -gt 0 ]; do
        pid=${todo[0]}
        todo=("${todo[@]:1}")
        if [ "$pid" != "$MACHINE_NSPAWN_PID" ] &&
            awk '/^NSpid:/ {exit !(NF > 2 && $NF == 1)}' "/proc/$pid/status" 2>/dev/null; then
            echo "$pid"
            return 0
        fi
        children=$(cat /proc/"$pid"/task/*/children 2>/dev/null)
        todo+=($children)
    done
    return 1
}

# Powers the machine off and removes everything it left on this side.
machine_poweroff() {
    local i
    if [ -n "${MACHINE_NSPAWN_PID:-}" ]; then
        if [ -n "${MACHINE_UP:-}" ] && kill -0 "$MACHINE_NSPAWN_PID" 2>/dev/null; then
            timeout 5 nsenter -t "$MACHINE_PID" -m -u -i -n -p -r -w \
                /usr/bin/env -i PATH=$MACHINE_PATH systemctl poweroff --no-block >/dev/null 2>&1
            _machine_wait_nspawn 100
        fi
        # nspawn asks the machine's init to power off on SIGTERM.
        kill -TERM "$MACHINE_NSPAWN_PID" 2>/dev/null && _machine_wait_nspawn 50
        if kill -KILL "$MACHINE_NSPAWN_PID" 2>/dev/null; then
            echo "machine: $MACHINE_NAME did not power off, killed" >&2
        fi
        wait "$MACHINE_NSPAWN_PID" 2>/dev/null
        MACHINE_NSPAWN_PID= MACHINE_UP=
    fi
    for i in "${MACHINE_CGROUPS[@]}"; do _machine_cgroup_remove "$i"; done
    MACHINE_CGROUPS=()
    if [ -n "${MACHINE_DIR:-}" ] && [ -d "$MACHINE_DIR" ]; then
        # The overlay lived in the machine's mount namespace only; nothing is
        # mounted here, and --one-file-system keeps it that way.
        rm -rf --one-file-system "$MACHINE_DIR"
    fi
}

# Waits up to N tenths of a second for nspawn to end.
_machine_wait_nspawn() {
    local i
    for i in $(seq "$1"); do
        kill -0 "$MACHINE_NSPAWN_PID" 2>/dev/null || return 0
        sleep 0.1
    done
    return 1
}

# --- running things in the machine

# Runs a command in the machine as root, with a clean environment, bounded by
# MACHINE_TIMEOUT seconds (default 120).
machine_run() {
    nsenter -t "$MACHINE_PID" -m -u -i -n -p -r -w -- \
        /usr/bin/timeout -k 5 "${MACHINE_TIMEOUT:-120}" \
        /usr/bin/env -i PATH=$MACHINE_PATH LANG=C.UTF-8 HOME=/root "$@"
}

# Runs a bash script in the machine: machine_sh 'SCRIPT' [ARG...]
machine_sh() {
    local script=$1
    shift
    machine_run /bin/bash -c "$script" bash "$@"
}

# Copies a file or a directory's contents from here into the machine.
machine_copy_in() {
    local src=$1 dst=$2
    if [ -d "$src" ]; then
        tar -C "$src" -cf - . | machine_sh 'mkdir -p "$1" && tar -C "$1" -xf -' "$dst"
    else
        machine_sh 'cat >"$1" && chmod "$2" "$1"' "$dst" "$(stat -c %a "$src")" <"$src"
    fi
}

# Copies a file from the machine to here.
machine_copy_out() {
    machine_run cat "$1" >"$2"
}

# Repeats a command in the machine every 0.1 s until it succeeds, for at most
# SECONDS: machine_wait SECONDS DESCRIPTION CMD...
machine_wait() {
    local seconds=$1 what=$2
    shift 2
    local deadline=$(($(date +%s%N) + seconds * 1000000000))
    while ! machine_run "$@" >/dev/null 2>&1; do
        if [ "$(date +%s%N)" -ge "$deadline" ]; then
            echo "machine_wait: $what: not within $seconds s" >&2
            return 1
        fi
        sleep 0.1
    done
}

# Installs our .deb files in the machine as an administrator does, offline.
machine_install_debs() {
    local deb names=()
    machine_run mkdir -p /root/debs
    for deb in "$@"; do
        machine_copy_in "$deb" "/root/debs/$(basename "$deb")" || return 1
        names+=("./$(basename "$deb")")
    done
    MACHINE_TIMEOUT=300 machine_sh 'cd /root/debs && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$@"' "${names[@]}" \
        >"$MACHINE_DIR/apt.log" 2>&1
    local rc=$?
    if [ $rc != 0 ]; then
        echo "machine_install_debs: apt-get failed ($rc):" >&2
        cat "$MACHINE_DIR/apt.log" >&2
    fi
    return $rc
}

# Ends the test: the summary line, then the machine is powered off.
machine_finish() {
    sandbox_finish
}

# --- users, sessions and desktops

# Creates a user with a home directory: machine_useradd NAME [useradd options]
machine_useradd() {
    local name=$1
    shift
    machine_run useradd -m -s /bin/bash "$@" "$name"
}

# Sets the password ageing so that the password of USER expires in DAYS days
# (maximum age 90).
machine_age_password() {
    machine_run chage -d "$(date -d "-$((90 - $2)) days" +%F)" -M 90 "$1"
}

# Runs a command as USER with the environment of the user's session bus.
machine_as_user() {
    local user=$1 uid
    shift
    uid=$(machine_run id -u "$user") || return 1
    machine_run runuser -u "$user" -- /usr/bin/env XDG_RUNTIME_DIR=/run/user/$uid \
        DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/$uid/bus "$@"
}

# Properties of a PAM login of TYPE (x11, wayland, tty) on SEAT (empty: a
# session without seat), as a display manager or login would open it.
_machine_login_props() {
    MACHINE_LOGIN_PROPS=(-p PAMName=login -p "Environment=XDG_SESSION_TYPE=$1" -p Environment=XDG_SESSION_CLASS=user)
    [ -n "${2:-}" ] && MACHINE_LOGIN_PROPS+=(-p "Environment=XDG_SEAT=$2")
}

# Sets SESSION_ID to logind's id of the session whose leader is the main
# process of SESSION_UNIT, waiting up to 10 s for it; CALLER names the
# function in the error: _machine_session_id CALLER
_machine_session_id() {
    local pid path
    SESSION_ID=
    local deadline=$(($(date +%s) + 10))
    while [ -z "$SESSION_ID" ] && [ "$(date +%s)" -lt "$deadline" ]; do
        pid=$(machine_run systemctl show -p MainPID --value "$SESSION_UNIT")
        if [ -n "$pid" ] && [ "$pid" != 0 ]; then
            path=$(machine_run busctl call org.freedesktop.login1 /org/freedesktop/login1 \
                org.freedesktop.login1.Manager GetSessionByPID u "$pid" 2>/dev/null | sed -n 's/^o "\(.*\)"$/\1/p')
            [ -n "$path" ] && SESSION_ID=$(machine_run busctl get-property org.freedesktop.login1 "$path" \
                org.freedesktop.login1.Session Id | sed -n 's/^s "\(.*\)"$/\1/p')
        fi
        [ -n "$SESSION_ID" ] || sleep 0.1
    done
    if [ -z "$SESSION_ID" ]; then
        echo "$1: no logind session for $SESSION_UNIT within 10 s" >&2
        machine_run systemctl status --no-pager "$SESSION_UNIT" >&2
        return 1
    fi
}

# Logs USER in through PAM with a session of TYPE on SEAT (none: a session
# without seat). Sets SESSION_ID to logind's id of the new session and
# SESSION_UNIT to the unit that holds it; waits for the user's session bus.
# The session stays until machine_logout.
MACHINE_SESSIONS=0
machine_login() {
    local user=$1 uid
    MACHINE_SESSIONS=$((MACHINE_SESSIONS + 1))
    SESSION_UNIT=pwexpiry-login-$MACHINE_SESSIONS-$user
    _machine_login_props "$2" "${3:-}"
    machine_run systemd-run --quiet --unit="$SESSION_UNIT" --uid="$user" "${MACHINE_LOGIN_PROPS[@]}" /bin/sleep infinity || return 1
    uid=$(machine_run id -u "$user")
    _machine_session_id machine_login || return 1
    machine_wait 10 "the session bus of $user" test -S "/run/user/$uid/bus"
}

# Ends a session started by machine_login: machine_logout UNIT
machine_logout() {
    machine_run systemctl stop "$1"
}

# Runs a command as the first process of a new PAM login of USER (TYPE and
# SEAT as for machine_login), passing its input and output through and ending
# with its status; the session ends with it:
#   machine_login_run USER TYPE SEAT CMD...
machine_login_run() {
    local user=$1
    _machine_login_props "$2" "$3"
    shift 3
    # systemd expands "$" in a command line; "$$" is one "$".
    local arg args=()
    for arg in "$@"; do args+=("${arg//\$/\$\$}"); done
    machine_run systemd-run --quiet --uid="$user" "${MACHINE_LOGIN_PROPS[@]}" --pipe --wait "${args[@]}"
}

# Starts a virtual display :N and a notification daemon on it as USER's own
# services, as a desktop login would: machine_desktop USER N
machine_desktop() {
    machine_display "$1" "$2" && machine_notification_daemon "$1" "$2"
}

# Starts a virtual display :N as USER's own service: machine_display USER N
machine_display() {
    local user=$1 display=$2
    machine_as_user "$user" systemd-run --user --quiet --unit=pwexpiry-xvfb \
        /usr/bin/Xvfb ":$display" -screen 0 1280x900x24 -nolisten tcp || return 1
    machine_wait 10 "display :$display" test -S "/tmp/.X11-unix/X$display"
}

# Starts dunst on display :N as USER's own service, as a desktop shell brings
# its notification service, and waits until it serves: machine_notification_daemon USER N
# dunst uses the icon theme the machine has.
machine_notification_daemon() {
    local user=$1 display=$2
    machine_dunst_config "$user" || return 1
    machine_as_user "$user" systemd-run --user --quiet --unit=pwexpiry-notifications \
        -E "DISPLAY=:$display" /usr/bin/dunst || return 1
    # A new daemon has a history of its own.
    rm -f "$MACHINE_DIR/notifications-seen-$user"
    machine_wait 10 "dunst for $user" runuser -u "$user" -- /usr/bin/env \
        DBUS_SESSION_BUS_ADDRESS="unix:path=/run/user/$(machine_run id -u "$user")/bus" dunstctl is-paused
}

# USER's dunst configuration: the machine's icon theme, a history to read back.
machine_dunst_config() {
    local user=$1 home
    home=$(machine_run getent passwd "$user" | cut -d: -f6)
    machine_sh 'mkdir -p "$1/.config/dunst" && printf "%s\n" "[global]" "    icon_theme = breeze" \
        "    enable_recursive_icon_lookup = true" "    history_length = 100" >"$1/.config/dunst/dunstrc" &&
        chown -R "$2:" "$1/.config"' "$home" "$user"
}

# dunst's packaged D-Bus activation would start it on the first notification
# without a display; the tests start it themselves.
machine_no_dunst_activation() {
    machine_run rm -f /usr/share/dbus-1/services/org.knopwob.dunst.service
}

# What USER's notification daemon has shown since the last call, one line per
# notification, oldest first: "summary|body|icon|id", the icon as the name of
# the file dunst found for it, the id as dunst gave it (the replace id, when
# the sender asked for one). dunst lists only closed notifications in its
# history, so all are closed first.
machine_notifications() {
    local user=$1 seen=$MACHINE_DIR/notifications-seen-$1
    machine_as_user "$user" dunstctl close-all || return 1
    machine_as_user "$user" dunstctl history >"$MACHINE_DIR/history.json" || return 1
    python3 - "$MACHINE_DIR/history.json" "$seen" <<'PY'
import json, os, sys
history, seen_file = sys.argv[1], sys.argv[2]
entries = json.load(open(history))["data"][0]  # newest first
seen = int(open(seen_file).read()) if os.path.exists(seen_file) else 0
for n in reversed(entries[:len(entries) - seen]):
    icon = os.path.splitext(os.path.basename(n["icon_path"]["data"]))[0]
    print("|".join([n["summary"]["data"], n["body"]["data"], icon, str(n["id"]["data"])]))
open(seen_file, "w").write(str(len(entries)))
PY
}

# --- the check run

# Starts one check run as the timer does and waits for its end (the service is
# a oneshot). Leaves the run's own log lines in CHECK_LOG and the outcome in
# CHECK_RESULT: "<status of systemctl start> <Result> <exit status>
# <ActiveState>", "0 success 0 inactive" for a run that ended well.
machine_check_run() {
    local id prop
    # systemd refuses a sixth start within 10 s (StartLimitBurst=5 by
    # default); a test starts runs faster than any timer does.
    machine_run systemctl reset-failed pwexpiry-notifier.service
    machine_run systemctl start pwexpiry-notifier.service
    CHECK_RESULT=$?
    for prop in Result ExecMainStatus ActiveState; do
        CHECK_RESULT+=" $(machine_run systemctl show pwexpiry-notifier.service -p "$prop" --value)"
    done
    # The run logs through the journal's socket, and systemd's line on the end
    # of the start job comes after it there: once that line is in, so is the
    # run's log.
    id=$(machine_run systemctl show pwexpiry-notifier.service -p InvocationID --value)
    machine_wait 10 "the end of the check run in the journal" sh -c \
        'journalctl INVOCATION_ID="$1" JOB_TYPE=start -o export | grep -q "^JOB_RESULT="' sh "$id"
    CHECK_LOG=$(machine_run journalctl _SYSTEMD_INVOCATION_ID="$id" -o cat --no-pager)
}

# The line machine_notifications prints for our reminder with the body TEXT.
reminder_line() {
    echo "Password Expiry|$1|dialog-warning|1337"
}

# expect_log_line DESC LINE: the last check run logged LINE.
expect_log_line() {
    if printf '%s\n' "$CHECK_LOG" | grep -Fxq -- "$2"; then
        _record ok "$1"
    else
        _record fail "$1" "missing line: $2" "log: $CHECK_LOG"
    fi
}

# expect_run_ok DESC: the last check run's service ended well.
expect_run_ok() {
    expect_eq "$1: the service ended well" "0 success 0 inactive" "$CHECK_RESULT"
}

# --- a Plasma desktop (the machine root with the package set plasma)

# Records on the session bus it is started on, until it is ended, each Notify
# call to the notification service and each change of the owner of the
# service's name, one line each, tab-separated, fields escaped (\t, \n, \\),
# each line starting with the CLOCK_REALTIME nanoseconds at which the bus
# delivered the message:
#   TIME ready  -    -       -             -        -            the recording runs
#   TIME notify SENDER APP  SUMMARY        BODY     URGENCY      REPLACES_ID
#   TIME owner  OLD  NEW    PID            COMM     UNIT         (of the new owner)
# URGENCY is the hint's value, -1 without one. A monitor connection may not
# send, so the owner's process is asked for on a second one.
_MACHINE_BUS_RECORDER='import os, sys, time
import dbus
import dbus.bus
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"
out = open(sys.argv[1], "a", buffering=1)
DBusGMainLoop(set_as_default=True)
address = os.environ["DBUS_SESSION_BUS_ADDRESS"]
query = dbus.bus.BusConnection(address)
monitor = dbus.bus.BusConnection(address)


def now():
    return time.clock_gettime_ns(time.CLOCK_REALTIME)


def field(value):
    return str(value).replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")


def write(t, *fields):
    out.write("\t".join([str(t)] + [field(f) for f in fields]) + "\n")


def process_of(unique):
    try:
        pid = int(query.call_blocking("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                      "GetConnectionUnixProcessID", "s", (unique,)))
    except dbus.DBusException:
        return "", "", ""
    comm = unit = ""
    try:
        comm = open("/proc/%d/comm" % pid).read().strip()
        for line in open("/proc/%d/cgroup" % pid).read().splitlines():
            if line.startswith("0::") or ":name=systemd:" in line:
                unit = line.rstrip("/").rsplit("/", 1)[-1]
    except OSError:
        pass
    return pid, comm, unit


def on_message(connection, message):
    t = now()
    if message.get_type() == 1 and message.get_interface() == NAME and message.get_member() == "Notify":
        args = message.get_args_list()
        if len(args) == 8:
            hints = args[6]
            urgency = int(hints["urgency"]) if "urgency" in hints else -1
            write(t, "notify", message.get_sender(), args[0], args[3], args[4], urgency, int(args[1]))
    elif message.get_type() == 4 and message.get_member() == "NameOwnerChanged":
        args = message.get_args_list()
        if len(args) == 3 and args[0] == NAME:
            pid, comm, unit = process_of(args[2]) if args[2] else ("", "", "")
            write(t, "owner", args[1], args[2], pid, comm, unit)


monitor.add_message_filter(on_message)
monitor.call_blocking("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.Monitoring",
                      "BecomeMonitor", "asu", ([
                          "type=\x27method_call\x27,interface=\x27%s\x27,member=\x27Notify\x27" % NAME,
                          "type=\x27signal\x27,sender=\x27org.freedesktop.DBus\x27,member=\x27NameOwnerChanged\x27,"
                          "arg0=\x27%s\x27" % NAME], dbus.UInt32(0)))
write(now(), "ready", "-", "-", "-", "-", "-", "-")
GLib.MainLoop().run()
'

# What the session's first process is: the recorder of FILE on the user's
# bus (which PAM's session opening brought up), and once it records, the
# session command itself in its place, as a display manager's session script
# execs the desktop: pwexpiry-plasma-session FILE COMMAND...
_MACHINE_PLASMA_SESSION='#!/bin/sh
record=$1
shift
/usr/bin/python3 /usr/local/lib/pwexpiry-test/bus-recorder.py "$record" 2>>"$record.err" &
i=0
until grep -q "	ready	" "$record" 2>/dev/null; do
    i=$((i + 1))
    [ $i -le 500 ] || { echo "the bus recorder did not start" >&2; exit 1; }
    sleep 0.02
done
exec "$@"
'

# USER's recordings, oldest first; the last one belongs to the user's last
# Plasma login.
declare -A MACHINE_PLASMA_RECORD=()
# The second in which USER's last Plasma login began.
declare -A MACHINE_PLASMA_SINCE=()

# Logs USER into a Plasma X11 session on a virtual display :N as a display
# manager does: the X server a system service of the machine, then a PAM
# login of seat0 whose first process is startplasma-x11. Before the desktop
# starts, the user's session bus is recorded (see machine_plasma_notify_calls,
# machine_plasma_owners). Sets SESSION_ID and SESSION_UNIT as machine_login
# does, MACHINE_PLASMA_DISPLAY to N; returns once logind has the session, not
# once the desktop is up: machine_plasma_login USER N
machine_plasma_login() {
    local user=$1 display=$2
    MACHINE_PLASMA_DISPLAY=$display
    machine_run test -x /usr/bin/startplasma-x11 || machine_fail "machine_plasma_login: no Plasma in this root (the package set plasma)"
    if ! machine_run systemctl is-active --quiet "pwexpiry-xvfb-$display"; then
        machine_run systemctl reset-failed "pwexpiry-xvfb-$display" >/dev/null 2>&1
        machine_run systemd-run --quiet --unit="pwexpiry-xvfb-$display" \
            /usr/bin/Xvfb ":$display" -screen 0 1280x900x24 -nolisten tcp || return 1
        machine_wait 10 "display :$display" test -S "/tmp/.X11-unix/X$display" || return 1
    fi
    _machine_plasma_open "$user" /usr/bin/startplasma-x11 XDG_SESSION_TYPE=x11 "DISPLAY=:$display"
}

# Logs USER into a Plasma Wayland session as a display manager does, as
# machine_plasma_login does an X11 one. There is no display device in a
# machine: KWin draws on a virtual output of 1280x900 instead (a drop-in for
# Plasma's unit of KWin, for every user), with QPainter. Needs Plasma 6 (the
# root of trixie with the package set plasma): machine_plasma_wayland_login USER
machine_plasma_wayland_login() {
    local user=$1
    MACHINE_PLASMA_DISPLAY=
    machine_run test -x /usr/bin/startplasma-wayland || machine_fail "machine_plasma_wayland_login: no Plasma Wayland session in this root"
    machine_sh 'mkdir -p /etc/systemd/user/plasma-kwin_wayland.service.d &&
        printf "%s\n" "[Service]" "ExecStart=" \
            "ExecStart=/usr/bin/kwin_wayland_wrapper --xwayland --virtual --width 1280 --height 900 --no-lockscreen" \
            >/etc/systemd/user/plasma-kwin_wayland.service.d/virtual-output.conf' || return 1
    _machine_plasma_open "$user" /usr/bin/startplasma-wayland XDG_SESSION_TYPE=wayland
}

# The PAM login of a Plasma session, its bus recorded from the start:
# _machine_plasma_open USER COMMAND ENVIRONMENT...
_machine_plasma_open() {
    local user=$1 command=$2 uid record
    shift 2
    if ! machine_run test -x /usr/local/lib/pwexpiry-test/plasma-session; then
        machine_sh 'mkdir -p /usr/local/lib/pwexpiry-test /var/lib/pwexpiry-test && chmod 1777 /var/lib/pwexpiry-test &&
            printf "%s" "$1" >/usr/local/lib/pwexpiry-test/bus-recorder.py &&
            printf "%s" "$2" >/usr/local/lib/pwexpiry-test/plasma-session &&
            chmod 755 /usr/local/lib/pwexpiry-test/plasma-session' "$_MACHINE_BUS_RECORDER" "$_MACHINE_PLASMA_SESSION" || return 1
    fi
    MACHINE_SESSIONS=$((MACHINE_SESSIONS + 1))
    SESSION_UNIT=pwexpiry-login-$MACHINE_SESSIONS-$user
    MACHINE_PLASMA_USER=$user
    record=/var/lib/pwexpiry-test/bus-$MACHINE_SESSIONS-$user.log
    MACHINE_PLASMA_RECORD[$user]="${MACHINE_PLASMA_RECORD[$user]:-} $record"
    MACHINE_PLASMA_SINCE[$user]=$(machine_run date +%s)
    uid=$(machine_run id -u "$user") || return 1
    machine_sh 'install -o "$2" -m 644 /dev/null "$1"' "$record" "$user" || return 1
    local env=(XDG_SESSION_CLASS=user XDG_SEAT=seat0 XDG_SESSION_DESKTOP=KDE XDG_CURRENT_DESKTOP=KDE
        DESKTOP_SESSION=plasma LIBGL_ALWAYS_SOFTWARE=1 QT_QUICK_BACKEND=software "$@") props=(-p PAMName=login) e
    for e in "${env[@]}"; do props+=(-p "Environment=$e"); done
    machine_run systemd-run --quiet --unit="$SESSION_UNIT" --uid="$user" "${props[@]}" \
        /usr/local/lib/pwexpiry-test/plasma-session "$record" "$command" || return 1

    _machine_session_id machine_plasma_login || return 1
    if ! machine_wait 10 "the bus recorder of $user" grep -q "	ready	" "$record"; then
        machine_run cat "$record.err" >&2
        return 1
    fi
}

# The windows KWin manages in USER's Wayland session, as KWin's scripting
# sees them, one line each: "class|caption|notification|critical
# notification|X,Y,WIDTHxHEIGHT" (the two kinds of notification popup as
# true or false). KWin prints a script's output to the user's journal.
MACHINE_PLASMA_KWIN_SCRIPTS=0
machine_plasma_kwin_windows() {
    local user=$1 uid tag script n since
    uid=$(machine_run id -u "$user") || return 1
    MACHINE_PLASMA_KWIN_SCRIPTS=$((MACHINE_PLASMA_KWIN_SCRIPTS + 1))
    tag=pwexpiry-windows-$MACHINE_PLASMA_KWIN_SCRIPTS
    script=/var/lib/pwexpiry-test/$tag.js
    machine_sh 'printf "%s\n" "for (const w of workspace.windowList())" \
        "    print(\"$2|\" + [w.resourceClass, w.caption, w.notification, w.criticalNotification, w.x + \",\" + w.y + \",\" + w.width + \"x\" + w.height].join(\"|\"));" \
        "print(\"$2|end\");" >"$1" && chmod 644 "$1"' "$script" "$tag" || return 1
    since=$(machine_run date +%s)
    n=$(machine_as_user "$user" busctl --user call org.kde.KWin /Scripting org.kde.kwin.Scripting loadScript ss "$script" "$tag") || return 1
    machine_as_user "$user" busctl --user call org.kde.KWin "/Scripting/Script${n#i }" org.kde.kwin.Script run >/dev/null || return 1
    machine_wait 5 "KWin's answer" sh -c 'journalctl --no-pager -o cat --since "@$1" _UID="$2" | grep -qF "js: $3|end"' sh "$since" "$uid" "$tag"
    machine_as_user "$user" busctl --user call org.kde.KWin /Scripting org.kde.kwin.Scripting unloadScript s "$tag" >/dev/null
    # KWin's lines reach the journal twice, logged by KWin itself and as the
    # standard error of its wrapper's unit: each line once (two windows of
    # one class, caption, kind and place are not seen).
    machine_run journalctl --no-pager -o cat --since "@$since" _UID="$uid" |
        sed -n "s/^js: $tag|//p" | grep -vx end | awk '!seen[$0]++'
}

# The recording of USER's last Plasma login, as it is now.
_machine_plasma_record() {
    local records=${MACHINE_PLASMA_RECORD[$1]:-}
    [ -n "$records" ] || { echo "no Plasma login of $1 recorded" >&2; return 1; }
    machine_run cat "${records##* }"
}

# The Notify calls on the bus in USER's last Plasma login, one line each,
# oldest first: "app|summary|body|urgency|replaces_id" (urgency -1 without
# the hint).
machine_plasma_notify_calls() {
    _machine_plasma_record "$1" | awk -F'\t' -v OFS='|' '$2 == "notify" {print $4, $5, $6, $7, $8}'
}

# The same calls with the nanoseconds (CLOCK_REALTIME) at which the bus
# delivered each and the sender's unique name:
# "TIME|sender|app|summary|body|urgency|replaces_id".
machine_plasma_notify_times() {
    _machine_plasma_record "$1" | awk -F'\t' -v OFS='|' '$2 == "notify" {print $1, $3, $4, $5, $6, $7, $8}'
}

# Every owner the notification service's name had in USER's last Plasma
# login, oldest first: "TIME|unique name|pid|command|unit" (empty fields but
# the time: the name was released).
machine_plasma_owners() {
    _machine_plasma_record "$1" | awk -F'\t' -v OFS='|' '$2 == "owner" {print $1, $4, $5, $6, $7}'
}

# The nanoseconds (CLOCK_REALTIME) at which plasmashell, and nothing else,
# first took the notification service's name in USER's last Plasma login;
# nothing when it has not.
machine_plasma_owner_time() {
    machine_plasma_owners "$1" | awk -F'|' '$4 == "plasmashell" {print $1; exit}'
}

# The requests of USER's last Plasma login to start the notification
# service on demand (a message to the name while nobody owned it), as the
# user's bus logged them, oldest first: "TIME|sender's unique name|unit",
# TIME in nanoseconds (CLOCK_REALTIME, to the microsecond), unit the one the
# bus asked systemd to start (empty: the bus ran the activation file's
# program itself). A message that waits for such a start reaches the
# recording only when it is delivered, once the name has an owner.
machine_plasma_activations() {
    local user=$1 uid
    uid=$(machine_run id -u "$user") || return 1
    machine_run journalctl --no-pager -o short-unix --since "@${MACHINE_PLASMA_SINCE[$user]:-0}" _UID="$uid" |
        sed -nE "s/^([0-9]+)\.([0-9]{6}) .*Activating (via systemd: )?service name='org\.freedesktop\.Notifications'( unit='([^']*)')? requested by '([^']*)'.*/\1\2000|\6|\5/p"
}

# Waits up to SECONDS for plasmashell to own the notification service's name
# in USER's last Plasma login: machine_plasma_wait_shell USER SECONDS
machine_plasma_wait_shell() {
    local deadline=$(($(date +%s) + $2))
    until [ -n "$(machine_plasma_owner_time "$1")" ]; do
        if [ "$(date +%s)" -ge "$deadline" ]; then
            echo "machine_plasma_wait_shell: plasmashell did not take org.freedesktop.Notifications within $2 s" >&2
            return 1
        fi
        sleep 0.2
    done
}

# Runs a command in the machine as root on the Plasma display.
machine_plasma_on_display() {
    machine_run env "DISPLAY=:$MACHINE_PLASMA_DISPLAY" "$@"
}

# Keeps a screenshot of the Plasma display as DIR/NAME.png once the screen
# has settled (no longer one colour, two captures a moment apart the same,
# for at most 10 s), and checks that it shows a drawn desktop (many colours):
# machine_plasma_screenshot NAME DIR. The file's path is left in
# MACHINE_PLASMA_SHOT.
machine_plasma_screenshot() {
    local name=$1 dir=$2 a=$MACHINE_DIR/plasma-a.xwd b=$MACHINE_DIR/plasma-b.xwd
    MACHINE_PLASMA_SHOT=$dir/$name.png
    machine_plasma_on_display xwd -root -silent >"$a"
    for _ in $(seq 50); do
        sleep 0.2
        machine_plasma_on_display xwd -root -silent >"$b"
        [ "$(identify -format %k "xwd:$b")" -gt 1 ] && cmp -s "$a" "$b" && break
        mv "$b" "$a"
    done
    mkdir -p "$dir"
    convert "xwd:$a" "$MACHINE_PLASMA_SHOT"
    echo "screenshot: $MACHINE_PLASMA_SHOT"
    expect_match "$name: the screenshot shows a drawn desktop, not an empty screen" '^[0-9]{3,}$' \
        "$(identify -format %k "$MACHINE_PLASMA_SHOT")"
}

# Ends the last Plasma session and the user's processes as a logout does,
# and waits until logind has forgotten the user (it keeps a user 10 s after
# the last session) and the X server of an X11 session is gone:
# machine_plasma_logout
machine_plasma_logout() {
    local user=$MACHINE_PLASMA_USER
    # The session's processes are in logind's scope of the session, not in
    # the unit that opened it: a session left closing keeps the user.
    machine_run loginctl terminate-session "$SESSION_ID" >/dev/null 2>&1
    machine_run systemctl stop "$SESSION_UNIT" >/dev/null 2>&1
    machine_run loginctl terminate-user "$user" >/dev/null 2>&1
    # A logout while Plasma is still coming up can leave processes that do
    # not end on SIGTERM (seen: kded5 with Plasma 5.27; ksmserver, plasmashell
    # and DrKonqi with 6.3), and systemd waits 90 s for them: past 15 s, what
    # is left of the user is killed.
    if ! machine_wait 15 "logind to forget $user" sh -c '[ -z "$(loginctl list-users --no-legend)" ]' 2>/dev/null; then
        echo "machine_plasma_logout: $user still there after 15 s, killing: $(machine_run ps -u "$user" -o comm= | paste -sd' ')" >&2
        machine_run loginctl kill-user --signal=KILL "$user" >/dev/null 2>&1
        machine_wait 15 "logind to forget $user" sh -c '[ -z "$(loginctl list-users --no-legend)" ]' || return 1
    fi
    [ -n "$MACHINE_PLASMA_DISPLAY" ] || return 0
    machine_run systemctl stop "pwexpiry-xvfb-$MACHINE_PLASMA_DISPLAY" >/dev/null 2>&1
    machine_wait 10 "display :$MACHINE_PLASMA_DISPLAY to close" sh -c '! test -e "/tmp/.X11-unix/X$1"' sh "$MACHINE_PLASMA_DISPLAY"
}

# --- several machines at once

# A test that boots several machines holds each under a name of its own: the
# variables machine_boot sets (and machine_run, machine_poweroff and the rest
# read) are saved under that name, and machine_use makes a held machine the
# current one again. At exit every held machine is powered off (a test that
# sets MACHINE_EXIT_TRAP to its own clean-up calls machine_poweroff_all there).
#
#   machine_boot "$ROOT_A"; machine_hold a
#   machine_boot "$ROOT_B"; machine_hold b
#   machine_use a; machine_run ...
MACHINE_STATE_VARS=(MACHINE_PID MACHINE_DIR MACHINE_NAME MACHINE_NSPAWN_PID MACHINE_UP SANDBOX)
MACHINES_HELD=()

# Saves the current machine's state under NAME and leaves no machine current,
# so that the next machine_boot starts another one.
machine_hold() {
    local name=$1 var
    for var in "${MACHINE_STATE_VARS[@]}"; do
        printf -v "MACHINE_HELD_${name}_$var" '%s' "${!var:-}"
    done
    eval "MACHINE_HELD_${name}_CGROUPS=(\"\${MACHINE_CGROUPS[@]}\")"
    case " ${MACHINES_HELD[*]} " in
    *" $name "*) ;;
    *) MACHINES_HELD+=("$name") ;;
    esac
    MACHINE_PID= MACHINE_DIR= MACHINE_NAME= MACHINE_NSPAWN_PID= MACHINE_UP=
    MACHINE_CGROUPS=()
    MACHINE_EXIT_TRAP=${MACHINE_EXIT_TRAP:-machine_poweroff_all}
    trap "$MACHINE_EXIT_TRAP" EXIT
}

# Makes the machine held as NAME the current one (it stays held).
machine_use() {
    local name=$1 var held
    for var in "${MACHINE_STATE_VARS[@]}"; do
        held=MACHINE_HELD_${name}_$var
        printf -v "$var" '%s' "${!held:-}"
    done
    eval "MACHINE_CGROUPS=(\"\${MACHINE_HELD_${name}_CGROUPS[@]}\")"
}

# Powers off the current machine, if any, and every held one: all are asked
# first, then each is waited for.
machine_poweroff_all() {
    local name up pid
    machine_poweroff
    for name in "${MACHINES_HELD[@]}"; do
        up=MACHINE_HELD_${name}_MACHINE_UP pid=MACHINE_HELD_${name}_MACHINE_PID
        [ -n "${!up:-}" ] || continue
        timeout 5 nsenter -t "${!pid}" -m -u -i -n -p -r -w \
            /usr/bin/env -i PATH=$MACHINE_PATH systemctl poweroff --no-block >/dev/null 2>&1
        printf -v "$up" '%s' ''
    done
    for name in "${MACHINES_HELD[@]}"; do
        machine_use "$name"
        machine_poweroff
    done
    MACHINES_HELD=()
}

# --- Ansible over ssh without a network

# Lets root log in to the current machine with the public key in FILE, over
# an `sshd -i` started inside it: machine_ssh_key FILE
machine_ssh_key() {
    machine_run mkdir -p -m 700 /root/.ssh &&
        machine_copy_in "$1" /root/.ssh/authorized_keys &&
        machine_run mkdir -p -m 755 /run/sshd
}

# The inventory line of the current machine as Ansible host NAME: ssh's
# ProxyCommand runs sshd -i in the machine's namespaces, which serves the one
# connection on its standard input and output.
machine_ansible_host() {
    echo "$1 ansible_ssh_common_args='-o ProxyCommand=\"nsenter -t $MACHINE_PID -m -u -i -n -p -C -r -w /usr/sbin/sshd -i\" -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null'"
}
