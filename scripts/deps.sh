#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs the Debian 12 packages needed to build pwexpiry and run its tests.
set -euo pipefail

packages=(
    # build
    cmake ninja-build g++ extra-cmake-modules gettext
    qtbase5-dev libkf5auth-dev libkf5coreaddons-dev libkf5configwidgets-dev libkf5i18n-dev libkf5widgetsaddons-dev
    # Debian packages: building and checking them
    dpkg-dev debhelper lintian
    # tests: real tools in a private mount namespace
    util-linux passwd iproute2 dbus libnotify-bin polkitd python3 python3-dbus python3-gi
    xvfb kde-cli-tools systemd
    # the German locale the locale tests make with localedef
    locales
    # systemd unit directory at configure time
    pkgconf
    # the settings shell under Xvfb: driving it, screenshots, a desktop's icons
    xdotool imagemagick breeze-icon-theme
    # a backtrace when the shell crashes
    gdb
    # benchmarks: time and peak memory of a run
    time
    # machine tests: Debian roots booted with systemd-nspawn
    mmdebstrap systemd-container
    # fuzz targets: libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer
    clang libclang-rt-dev
)

if [ "$(id -u)" != 0 ]; then
    echo "scripts/deps.sh: run as root (it installs Debian packages)" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get -o DPkg::Lock::Timeout=600 update
apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "${packages[@]}"
