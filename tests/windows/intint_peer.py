#!/usr/bin/env python3
"""An Intelligent Interface on a Wine COM port, for the Windows end-to-end check.

Makes a pseudo-terminal, links $WINEPREFIX/dosdevices/comN (com1 unless told) to it, and answers every
command as the interface does: C1 (one motor byte) with one input byte, C2 (two motor bytes) with two.
Each command goes to LOG as a line of hex bytes the moment it is whole. Prints "ready PATH" (the
terminal's path) once the link is there and runs until its standard input closes. Wine's mount manager
links COM1..COM4 to the machine's own serial ports at each start: the caller names the terminal in
HKLM\Software\Wine\Ports as well, which wins.

    python3 tests/windows/intint_peer.py WINEPREFIX LOG [N]
"""
import os
import pty
import select
import sys
import tty


def main() -> int:
    prefix, log_path = sys.argv[1], sys.argv[2]
    number = int(sys.argv[3]) if len(sys.argv) > 3 else 1
    master, slave = pty.openpty()
    tty.setraw(slave)  # held open, so that the master never reads a hang-up between two opens
    link = os.path.join(prefix, "dosdevices", f"com{number}")
    os.makedirs(os.path.dirname(link), exist_ok=True)
    if os.path.lexists(link):
        os.remove(link)
    os.symlink(os.ttyname(slave), link)
    print("ready", os.ttyname(slave), flush=True)
    pending = b""
    with open(log_path, "w", buffering=1) as log:
        while True:
            readable, _, _ = select.select([master, sys.stdin], [], [])
            if sys.stdin in readable and not sys.stdin.buffer.read1(1):
                return 0
            if master not in readable:
                continue
            pending += os.read(master, 256)
            while pending:
                size = {0xC1: 2, 0xC2: 3}.get(pending[0])
                if size is None:  # no command begins so: dropped, as the interface does
                    pending = pending[1:]
                    continue
                if len(pending) < size:
                    break
                command, pending = pending[:size], pending[size:]
                log.write(command.hex(" ") + "\n")
                os.write(master, bytes(size - 1))  # every input open


if __name__ == "__main__":
    sys.exit(main())
