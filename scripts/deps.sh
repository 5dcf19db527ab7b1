#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs the Debian packages needed to build pwexpiry and run its tests on
# the release this machine runs: Qt 5 and KDE Frameworks 5 on Debian 12
# (bookworm), Qt 6 and KDE Frameworks 6 on Debian 13 (trixie).
#   deps.sh                      install them (as root)
#   deps.sh --list [RELEASE]     print them, one a line, for RELEASE (default:
#                                this machine's), without the tools of the
#                                booted-machine and fuzz stages when
#                                --build-only is given too
set -euo pipefail

list=
release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
build_only=
while [ $# -gt 0 ]; do
    case "$1" in
    --list) list=1 ;;
    --build-only) build_only=1 ;;
    -*) echo "scripts/deps.sh: unknown option $1" >&2; exit 2 ;;
    *) release=$1 ;;
    esac
    shift
done

case "$release" in
bookworm)
    toolkit=(
        qtbase5-dev libkf5auth-dev libkf5coreaddons-dev libkf5configwidgets-dev libkf5i18n-dev libkf5widgetsaddons-dev
        # the settings shell that opens the page
        kde-cli-tools
        # the source format is checked with this release's clang-format
        clang-format
    )
    ;;
trixie)
    toolkit=(
        qt6-base-dev libkf6auth-dev libkf6coreaddons-dev libkf6configwidgets-dev libkf6i18n-dev libkf6widgetsaddons-dev
        libkf6kcmutils-dev
        # the settings shells that open the page: kcmshell6 and System Settings
        libkf6kcmutils-bin kde-cli-tools systemsettings
    )
    ;;
*)
    echo "scripts/deps.sh: no package list for release '${release:-unknown}' (bookworm or trixie)" >&2
    exit 2
    ;;
esac

packages=(
    # build
    cmake ninja-build g++ extra-cmake-modules gettext
    "${toolkit[@]}"
    # Debian packages: building and checking them
    build-essential dpkg-dev debhelper lintian
    # tests: real tools in a private mount namespace
    util-linux passwd iproute2 dbus libnotify-bin polkitd python3 python3-dbus python3-gi
    xvfb xauth systemd
    # the German locale the locale tests make with localedef
    locales
    # systemd unit directory at configure time, sd-login for the login gate
    pkgconf libsystemd-dev
    # the settings shell under Xvfb: driving it, screenshots, a desktop's icons
    xdotool imagemagick breeze-icon-theme
    # a backtrace when the shell crashes
    gdb
    # benchmarks: time and peak memory of a run
    time
)
if [ -z "$build_only" ]; then
    packages+=(
        # machine tests: Debian roots booted with systemd-nspawn
        mmdebstrap systemd-container
        # the Ansible role on booted machines (ansible brings the json output
        # the test reads), and its lint
        ansible-core ansible ansible-lint openssh-client
        # fuzz targets: libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer
        clang libclang-rt-dev
    )
fi

if [ -n "$list" ]; then
    printf '%s\n' "${packages[@]}"
    exit 0
fi

if [ "$(id -u)" != 0 ]; then
    echo "scripts/deps.sh: run as root (it installs Debian packages)" >&2
    exit 1
fi
# Nothing to do (and no network needed) when every package is there already,
# as in the prepared roots of the other release.
installed=$(dpkg-query -W -f '${db:Status-Abbrev}\n' "${packages[@]}" 2>/dev/null | grep -c '^ii ' || true)
if [ "$installed" -ne ${#packages[@]} ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get -o DPkg::Lock::Timeout=600 update
    apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "${packages[@]}"
fi
