#!/usr/bin/env python3
"""Runs a command on a pseudo-terminal and answers the desktop program's save
prompt with one typed path (and "y" should it ask to replace). Exits with the
command's exit code, or 124 when it has not ended within 60 seconds.

    run_on_terminal.py TYPED -- COMMAND ARG...
"""
import os
import pty
import select
import sys
import time

PROMPT = b"Press Enter to accept, or type another path: "
REPLACE = b"Replace it? [y/N] "


def main():
    typed = sys.argv[1].encode()
    command = sys.argv[sys.argv.index("--") + 1:]
    pid, master = pty.fork()
    if pid == 0:
        os.execvp(command[0], command)
    seen = b""
    answered = 0
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        ready, _, _ = select.select([master], [], [], 0.5)
        if not ready:
            continue
        try:
            block = os.read(master, 4096)
        except OSError:  # EIO: the command has ended
            break
        if not block:
            break
        seen += block
        sys.stdout.buffer.write(block)
        if seen.count(PROMPT) > answered:
            answered += 1
            os.write(master, typed + b"\n")
        if seen.endswith(REPLACE):
            os.write(master, b"y\n")
    else:
        os.kill(pid, 9)
        os.waitpid(pid, 0)
        return 124
    _, status = os.waitpid(pid, 0)
    return os.waitstatus_to_exitcode(status)


if __name__ == "__main__":
    sys.exit(main())
