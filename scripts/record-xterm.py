#!/usr/bin/env python3
"""Records what a program writes to an xterm of 80x24: runs it on a pty with TERM=xterm, types
the given keys with pauses, and saves the bytes it wrote.

    record-xterm.py OUT.bin 'command' KEYS...

Each KEYS argument is typed after a pause of 0.4 s; Python escapes (\\x1b, \\r) are understood."""
import fcntl, os, pty, select, struct, sys, termios, time

out, command, keys = sys.argv[1], sys.argv[2], sys.argv[3:]
pid, fd = pty.fork()
if pid == 0:
    os.environ.update(TERM="xterm", COLUMNS="80", LINES="24", LANG="C", LC_ALL="C",
                      PS1="$ ", HOME="/tmp", INPUTRC="/dev/null")
    os.execvp("bash", ["bash", "--norc", "--noprofile", "-c", command])
fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 80, 0, 0))
data = bytearray()

def drain(seconds):
    end = time.time() + seconds
    while time.time() < end:
        ready, _, _ = select.select([fd], [], [], 0.05)
        if ready:
            try:
                chunk = os.read(fd, 4096)
            except OSError:
                return False
            if not chunk:
                return False
            data.extend(chunk)
    return True

drain(1.0)
for k in keys:
    os.write(fd, k.encode().decode("unicode_escape").encode("latin-1"))
    if not drain(0.4):
        break
drain(1.0)
try:
    os.kill(pid, 9)
except OSError:
    pass
open(out, "wb").write(data)
print(out, len(data), "bytes")
