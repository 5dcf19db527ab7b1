#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Delivery of a due reminder when the tools misbehave: retries with their
# pauses, a switcher that cannot be started, a tool that never succeeds, and a
# crashing switcher. The user's session bus and notification server are real.
. "$(dirname "$0")/sandbox.sh" || exit 1
. "$(dirname "$0")/notify.sh" || exit 1
sandbox_enter --net "$@" || exit 1

NOTIFIER=$(sandbox_install_bin "$1")

printf 'PASS_MAX_DAYS\t99999\nPASS_MIN_DAYS\t0\nPASS_WARN_AGE\t7\n' >/etc/login.defs
printf 'INACTIVE=-1\nEXPIRE=\n' >/etc/default/useradd
sandbox_write_settings true false 14
sandbox_useradd alice
chage -d "$(date -d '-88 days' +%F)" -M 90 alice
notify_start_session alice || { echo "FAIL: could not start alice's session"; exit 1; }
REMINDER="Password Expiry|The password expires in 2 days!|dialog-warning|1337|2"

install -m 755 /usr/bin/notify-send "$SANDBOX/bin/notify-send.real"
install -m 755 /usr/sbin/runuser "$SANDBOX/bin/runuser.real"

# A check run with its log in $ERR and its duration in $MS.
check_run() {
    notify_clear alice
    local start
    start=$(date +%s%N)
    capture "$NOTIFIER"
    MS=$((($(date +%s%N) - start) / 1000000))
    expect_eq "$1: status 0, nothing on stdout" "0|" "$RC|$OUT"
}

notify_lines() {
    grep -E "^\[notify\] $1" <<<"$ERR"
}

# --- notify-send fails five times, then the real one runs
sandbox_stub /usr/bin/notify-send <<STUB
n=\$(grep -cx -- -- "$SANDBOX/calls/notify-send")
if [ "\$n" -le 5 ]; then
    echo "try \$n"
    echo "no notification service yet" >&2
    exit 1
fi
exec "$SANDBOX/bin/notify-send.real" "\$@"
STUB
check_run "five failures, then success"
expect_eq "retries: six rc lines, the last one successful" \
    "$(printf '[notify] rc: 1 status: ok\n%.0s' 1 2 3 4 5)
[notify] rc: 0 status: ok" \
    "$(notify_lines 'rc:' | sed 's/ elapsed(ms): [0-9]*$//')"
expect_eq "retries: six attempts" "$(printf '[notify] attempt %s / 10\n' 1 2 3 4 5 6)" \
    "$(notify_lines attempt | sed 's/ run: .*//')"
expect_eq "retries: standard error of each failure, quoted" "$(printf '[notify] stderr: "no notification service yet\\n"\n%.0s' 1 2 3 4 5)" \
    "$(notify_lines 'stderr:')"
expect_eq "retries: standard output of each failure, quoted" "$(printf '[notify] stdout: "try %s\\n"\n' 1 2 3 4 5)" \
    "$(notify_lines 'stdout:')"
expect_eq "retries: the reminder arrived once" "$REMINDER" "$(notify_received alice)"
expect_no_match "retries: success, no failure line" 'PasswordChecker|all attempts failed' "$ERR"
expect_match "retries: five pauses of 500 ms" '^([2-9][5-9]|[3-9][0-9])[0-9]{2}$' "$MS"
umount /usr/bin/notify-send

# --- notify-send cannot be executed: env fails every time
sandbox_stub /usr/bin/notify-send </dev/null
chmod 644 "$SANDBOX/stubs/notify-send"
check_run "notify-send not executable"
expect_eq "not executable: ten attempts" 10 "$(notify_lines attempt | wc -l)"
expect_eq "not executable: ten failed runs" 10 "$(notify_lines 'rc: 126 status: ok' | wc -l)"
expect_eq "not executable: the closing lines" \
    "$(printf '[notify] all attempts failed\nPasswordChecker - failed to process local user')" "$(tail -n 2 <<<"$ERR")"
expect_eq "not executable: no reminder" "" "$(notify_received alice)"
umount /usr/bin/notify-send

# --- runuser cannot be started: no retries
sandbox_stub /usr/sbin/runuser </dev/null
chmod 644 "$SANDBOX/stubs/runuser"
check_run "runuser not executable"
expect_eq "start failed: one attempt, then the failure lines" \
    "$(printf '[notify] start failed\nPasswordChecker - failed to process local user')" \
    "$(sed -n '/^\[notify\] attempt 1 /,$p' <<<"$ERR" | tail -n +2)"
expect_eq "start failed: one attempt" 1 "$(notify_lines attempt | wc -l)"
expect_match "start failed: no pauses" '^[0-9]{1,3}$' "$MS"
umount /usr/sbin/runuser

# --- runuser crashes twice, then the real one runs
# (runuser's own arguments hold a "--", so the calls are counted separately.)
sandbox_stub /usr/sbin/runuser <<STUB
echo run >>"$SANDBOX/calls/runuser-runs"
[ "\$(wc -l <"$SANDBOX/calls/runuser-runs")" -le 2 ] && kill -SEGV \$\$
exec "$SANDBOX/bin/runuser.real" "\$@"
STUB
check_run "runuser crashes twice"
expect_eq "crashes: reported as crashes, then success" "crash crash 0:ok" \
    "$(notify_lines 'rc:' | sed -E 's/^\[notify\] rc: ([0-9]+) status: (ok|crash) elapsed\(ms\): [0-9]+$/\1:\2/; s/^[0-9]+:crash$/crash/' | xargs)"
expect_eq "crashes: the reminder arrived" "$REMINDER" "$(notify_received alice)"
umount /usr/sbin/runuser

# --- a tool is not installed: no attempt at all
sandbox_remove /usr/bin/notify-send || exit 1
notify_stub_loginctl alice # the overlay hides the earlier stand-in
check_run "notify-send not installed"
expect_eq "notify-send missing: the failure lines, no attempt" \
    "$(printf '[notify] notify-send not found\nPasswordChecker - failed to process local user')" \
    "$(sed -n '/^"The password expires in 2 days"$/,$p' <<<"$ERR" | tail -n +2)"

install -m 755 "$SANDBOX/bin/notify-send.real" /usr/bin/notify-send
sandbox_remove /usr/sbin/runuser || exit 1
check_run "runuser not installed"
expect_eq "runuser missing: the failure lines, no attempt" \
    "$(printf '[notify] neither sudo nor runuser found\nPasswordChecker - failed to process local user')" \
    "$(sed -n '/^"The password expires in 2 days"$/,$p' <<<"$ERR" | tail -n +2)"
expect_eq "tools missing: no reminder" "" "$(notify_received alice)"

sandbox_finish
