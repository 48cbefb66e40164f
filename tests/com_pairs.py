#!/usr/bin/env python3
"""Null-modem cables between Wine COM ports, for the serial tests of the Windows build.

A Windows program under Wine cannot open a pseudo-terminal's master, only a COM port that Wine links
to a Unix device. This joins two pseudo-terminals: every byte written to one's master goes out of
the other's, at once. The links $WINEPREFIX/dosdevices/com21 and com22 name the two ends. The
program writes "ready" on stdout once the links are there, and runs until its stdin closes.

    python3 tests/com_pairs.py WINEPREFIX [FIRST]   # FIRST: the first COM number, 21 by default
"""
import os
import pty
import select
import sys
import tty


def main() -> int:
    prefix = sys.argv[1]
    first = int(sys.argv[2]) if len(sys.argv) > 2 else 21
    dosdevices = os.path.join(prefix, "dosdevices")
    os.makedirs(dosdevices, exist_ok=True)
    masters = []
    slaves = []  # held open, so that a master never reads a hang-up between two opens of its port
    for number in (first, first + 1):
        master, slave = pty.openpty()
        tty.setraw(slave)
        link = os.path.join(dosdevices, f"com{number}")
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(os.ttyname(slave), link)
        masters.append(master)
        slaves.append(slave)
    print("ready", flush=True)
    other = {masters[0]: masters[1], masters[1]: masters[0]}
    while True:
        ready, _, _ = select.select(masters + [sys.stdin], [], [])
        if sys.stdin in ready and not sys.stdin.buffer.read1(4096):
            return 0
        for master in ready:
            if master is sys.stdin:
                continue
            data = os.read(master, 4096)
            os.write(other[master], data)


if __name__ == "__main__":
    sys.exit(main())
