#!/usr/bin/python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""Runs a command with polkit's text agent answering for it.

    polkit_agent.py [--wait-for PATH] PASSWORD COMMAND [ARG...]

Starts COMMAND held back before it runs, registers pkttyagent on a
pseudo-terminal as the authentication agent of that process, then lets
COMMAND run and answers every password prompt the agent shows with PASSWORD,
as a user at the terminal would. (An agent registered for a process serves
only that process, so COMMAND's own process id is the one registered.) With
--wait-for, COMMAND is held back until PATH exists as well (at most 30 s).

Prints COMMAND's output, then the agent's terminal as lines starting with
"agent: " on standard error. Exits with COMMAND's status, or 125 when the
agent could not be registered or COMMAND did not end within 60 s.
"""
import os
import pty
import select
import signal
import subprocess
import sys
import termios
import time


def main():
    args = sys.argv[1:]
    wait_for = None
    if args[:1] == ["--wait-for"]:
        wait_for, args = args[1], args[2:]
    password, command = args[0], args[1:]

    # The command waits for a line on a pipe before it execs; exec keeps its
    # process id and start time, which is what the agent is registered for.
    go_r, go_w = os.pipe()
    client = subprocess.Popen(
        ["/bin/sh", "-c", 'read -r _ <&%d; exec %d<&-; exec "$@"' % (go_r, go_r), "sh"] + command,
        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, pass_fds=(go_r,))
    os.close(go_r)

    ready_r, ready_w = os.pipe()
    agent, terminal = pty.fork()
    if agent == 0:
        os.close(ready_r)
        os.set_inheritable(ready_w, True)
        os.execv("/usr/bin/pkttyagent",
                 ["pkttyagent", "--process", str(client.pid), "--notify-fd", str(ready_w)])
    os.close(ready_w)

    transcript = b""
    output = b""

    def read_terminal():
        nonlocal transcript
        try:
            data = os.read(terminal, 4096)
        except OSError:
            return False
        transcript += data
        return bool(data)

    def finish(status, message=None):
        if client.poll() is None:
            client.kill()
            client.wait()
        if os.waitpid(agent, os.WNOHANG)[0] == 0:
            os.kill(agent, signal.SIGTERM)
            os.waitpid(agent, 0)
        while select.select([terminal], [], [], 0)[0] and read_terminal():
            pass
        sys.stdout.buffer.write(output)
        sys.stdout.flush()
        if message:
            print("polkit_agent.py: " + message, file=sys.stderr)
        for line in transcript.decode(errors="replace").splitlines():
            print("agent: " + line.rstrip("\r"), file=sys.stderr)
        sys.exit(status)

    # The agent closes its end of the pipe once it is registered, or dies.
    deadline = time.monotonic() + 10
    while True:
        ready, _, _ = select.select([ready_r, terminal], [], [], max(0, deadline - time.monotonic()))
        if terminal in ready:
            read_terminal()
        if ready_r in ready and os.read(ready_r, 1) == b"":
            break
        if not ready:
            finish(125, "pkttyagent not registered within 10 s")
    if os.waitpid(agent, os.WNOHANG)[0] != 0:
        finish(125, "pkttyagent ended without registering")

    if wait_for:
        deadline = time.monotonic() + 30
        while not os.path.exists(wait_for):
            if time.monotonic() > deadline:
                finish(125, "%s did not appear within 30 s" % wait_for)
            time.sleep(0.05)

    os.write(go_w, b"\n")
    os.close(go_w)
    answered = 0
    deadline = time.monotonic() + 60
    open_fds = [client.stdout.fileno(), terminal]
    while client.stdout.fileno() in open_fds:
        left = deadline - time.monotonic()
        if left <= 0:
            finish(125, "%s did not end within 60 s" % command[0])
        ready, _, _ = select.select(open_fds, [], [], left)
        if client.stdout.fileno() in ready:
            data = os.read(client.stdout.fileno(), 4096)
            output += data
            if not data:
                open_fds.remove(client.stdout.fileno())
        if terminal in ready:
            if not read_terminal():
                open_fds.remove(terminal)
            # One answer for each prompt shown, typed once the agent has
            # turned the echo off: it flushes what was typed before.
            if transcript.count(b"Password:") > answered:
                answered += 1
                echo_deadline = time.monotonic() + 10
                while termios.tcgetattr(terminal)[3] & termios.ECHO:
                    if time.monotonic() > echo_deadline:
                        finish(125, "the agent did not turn the echo off within 10 s")
                    time.sleep(0.01)
                os.write(terminal, password.encode() + b"\n")
    finish(client.wait())


if __name__ == "__main__":
    main()
