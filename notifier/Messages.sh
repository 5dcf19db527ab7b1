#! /usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
$XGETTEXT *.cpp -o $podir/pwexpiry-notifier.pot
