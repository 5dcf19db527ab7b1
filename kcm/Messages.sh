#! /usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
$EXTRACTRC *.ui >> rc.cpp
$XGETTEXT *.cpp rc.cpp -o $podir/kcm_pwexpiry.pot
rm -f rc.cpp
