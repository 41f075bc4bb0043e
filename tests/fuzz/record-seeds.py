#!/usr/bin/env python3
"""Records the seed corpora of the fuzz targets (tests/fuzz/corpus/TARGET/) from real sessions:
lrzsz transfers captured with socat, the output of terminal programs captured with script(1) (and
the screens marlo-cli makes of it), telnetd's opening negotiation, Japanese text converted by
iconv, a settings file written by marlo-cli. Each capture is wrapped in its target's input form (the choices a target reads first:
see the target's source), and a few whole sessions are written in the targets' own steps.

Run from the top of the tree after building marlo-cli in build/, when a target's input form
changes: python3 tests/fuzz/record-seeds.py. Needs lrzsz, socat, util-linux, ncurses-bin, vim,
less, inetutils-telnetd."""

import os
import socket
import struct
import subprocess
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CORPUS = os.path.join(ROOT, "tests", "fuzz", "corpus")
CLI = os.path.join(ROOT, "build", "marlo-cli")
LIMIT = 4000  # bytes of a capture kept in one seed


def save(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def run(cmd, env=None, keys=b"", timeout=30):
    e = dict(os.environ)
    e.update(env or {})
    return subprocess.run(cmd, env=e, input=keys, capture_output=True, timeout=timeout).stdout


def u16(v):
    return struct.pack(">H", v)


def u32(v):
    return struct.pack(">I", v)


# ---- Terminal output ---------------------------------------------------------------------------

MENU = ("ようこそ ＭＡＲＬＯ ネットへ\r\n"
        "  1. 電子掲示板    2. 電子メール    3. ﾌｧｲﾙ ﾗｲﾌﾞﾗﾘ\r\n"
        "番号を入力してください (E:終了) > ")


def terminal_capture(shell_command, term):
    # "q" ends a pager that waits for its reader.
    out = run(["script", "-q", "-c", shell_command, "/dev/null"], env={"TERM": term}, keys=b"q")
    return out[:LIMIT]


def screen_header(emulation, code, flags=0b00000011, rows=24, columns=80):
    # mode, flags (AutoMargin, BSDel, ...), buffer size, ClearUp, rows, columns, swallow, chunk seed
    return bytes([code * 3 + emulation, flags, 240, 1, rows - 1, columns - 1, 0]) + u32(12345)


def record_screen(tmp):
    text = os.path.join(tmp, "text.txt")
    with open(text, "w") as f:
        for i in range(60):
            f.write("line %d: the quick brown fox jumps over the lazy dog\n" % i)
    captures = {
        "vt100-top": ("top -b -n 1 -p $$ >/dev/null; top -n 1 -p $$", "vt100", 1),
        "vt100-less": ("less -X +G %s" % text, "vt100", 1),
        "vt100-vim": ("vim -u NONE -c 'set nocp' -c 'normal 20Gdd' -c 'redraw' -c 'q!' %s" % text,
                      "vt100", 1),
        "vt100-ls": ("ls --color=always -l /usr/share | head -30", "vt100", 1),
        "vt52-tput": ("tput clear; tput cup 3 5; echo moved; tput el; tput ed; tput home", "vt52", 2),
    }
    for name, (cmd, term, emulation) in captures.items():
        output = terminal_capture(cmd, term)
        save("fuzz_screen", name, screen_header(emulation, 0) + output)
        if name == "vt100-ls":  # the same on a dumb terminal without the automatic margin
            save("fuzz_screen", "dumb-nomargin-ls", screen_header(0, 0, flags=0b10) + output)
        if name == "vt100-top":
            # The screen kept between runs is the buffer's lines with CR LF, as marlo-cli prints
            # them with LF: 50 buffer lines, a VT screen of 24 rows.
            screen = subprocess.run([CLI, "screen", "--set", "Emulation=1"], input=output,
                                    capture_output=True, check=True).stdout
            save("fuzz_screen_file", "top-vt", bytes([20, 1, 23]) + screen.replace(b"\n", b"\r\n"))
    for code, encoding, name in [(0, "cp932", "sjis"), (1, "ISO-2022-JP", "oldjis"),
                                 (2, "ISO-2022-JP", "newjis"), (4, "EUC-JP", "euc")]:
        data = MENU.encode(encoding, errors="replace")
        if code == 1:
            data = data.replace(b"\x1b$B", b"\x1b$@").replace(b"\x1b(B", b"\x1b(J")
        save("fuzz_screen", "dumb-" + name, screen_header(0, code) + data * 3)
        save("fuzz_screen", "narrow-nomargin-" + name,
             screen_header(1, code, flags=0b00010010, rows=5, columns=20) + data * 3)
        save("fuzz_kanji", name, bytes([code, 0, 0]) + data)
        if code == 0:
            screen = subprocess.run([CLI, "screen"], input=data * 3, capture_output=True,
                                    check=True).stdout
            save("fuzz_screen_file", "menu-dumb", bytes([0, 0]) + screen.replace(b"\n", b"\r\n"))
    save("fuzz_kanji", "roundtrip-menu", bytes([2, 1]) + MENU.encode("cp932"))


# ---- Telnet ------------------------------------------------------------------------------------

def record_telnet():
    port = 23000 + os.getpid() % 1000
    server = subprocess.Popen(["socat", "TCP-LISTEN:%d,reuseaddr,bind=127.0.0.1" % port,
                               "EXEC:/usr/sbin/telnetd"], stderr=subprocess.DEVNULL)
    try:
        data = b""
        for _ in range(50):
            try:
                s = socket.create_connection(("127.0.0.1", port), timeout=1)
                break
            except OSError:
                time.sleep(0.1)
        s.settimeout(1.5)
        try:
            while True:
                chunk = s.recv(4096)
                if not chunk:
                    break
                data += chunk
        except socket.timeout:
            pass
        s.close()
    finally:
        server.kill()
        server.wait()
    # transfer mode off, opening offers sent, no cuts; then the same cut into small pieces
    save("fuzz_telnet", "telnetd-opening", bytes([0, 1, 0]) + data)
    save("fuzz_telnet", "telnetd-opening-cut", bytes([0, 1, 8]) + bytes([1, 7, 2, 3, 1, 1, 9, 4]) + data)
    save("fuzz_telnet", "subnegotiation", bytes([0, 0, 0]) +
         b"ab\xff\xfa\x18\x01\xff\xf0cd\xff\xff\xff\xfb\x01\xff\xfd\x00\xff\xf1e")


# ---- File transfers ----------------------------------------------------------------------------

def special_file(n):
    special = b"\x18\x11\x13\x91\x93\x10\r\x8d@\x1a\x00\xff*"
    return bytes(special[(i * 7 + i // 13) % len(special)] if i % 3 else (i * 31) % 256
                 for i in range(n))


def record_transfer(tmp, sender, receiver, size):
    """The bytes `sender` (run in a folder holding f.bin) puts on the line to `receiver`."""
    src = tempfile.mkdtemp(dir=tmp)
    dst = tempfile.mkdtemp(dir=tmp)
    with open(os.path.join(src, "f.bin"), "wb") as f:
        f.write(special_file(size))
    dump = os.path.join(src, "dump.bin")
    subprocess.run(["socat", "-r", dump, "SYSTEM:cd %s && exec %s" % (src, sender),
                    "SYSTEM:cd %s && exec %s" % (dst, receiver)],
                   stderr=subprocess.DEVNULL, timeout=60, check=True)
    with open(dump, "rb") as f:
        data = f.read()
    if not data:
        raise RuntimeError("nothing recorded from " + sender)
    return data


def raw_steps(data, step, most):
    """The capture as the target's noise steps: step byte, length byte, bytes."""
    out = b""
    for i in range(0, len(data), most):
        piece = data[i:i + most]
        out += bytes([step, len(piece)]) + piece
    return out


def block_steps(data, quiet):
    """An XMODEM/YMODEM capture (CRC blocks) as noise steps, with a quiet spell after each EOT:
    the sender waits there for its answer, and an EOT without the silence after it is noise."""
    out, i = b"", 0
    while i < len(data):
        size = {0x01: 133, 0x02: 1029}.get(data[i], 1)
        piece = data[i:i + size]
        out += raw_steps(piece, 6, 139)
        if piece == b"\x04":
            out += bytes([quiet])
        i += size
    return out


def record_zmodem(tmp):
    # content size, content seed, announced length as the content's: then the steps
    header = u16(0) + u32(7) + bytes([0])
    for name, (flags, size) in {"sz": ("", 700), "sz-escape": ("-e", 300),
                                "sz-short-packets": ("-l 128", 500)}.items():
        data = record_transfer(tmp, "sz -q %s f.bin" % flags, "rz -q -y", size)[:LIMIT]
        save("fuzz_zmodem", name, header + raw_steps(data, 12, 255))
    # Whole sessions in the target's steps: ZFILE f0 (binary, no option), its content in two
    # subpackets (ZCRCG, ZCRCE), ZEOF at the end, ZFIN and "OO"; once more with CRC-32, every
    # control character escaped and a ZSINIT first that says so.
    content = u16(300) + u32(99) + bytes([0])
    zfile = bytes([3, 0, 0, 0, 0, 0, 0]) + u32(0o14000000000) + bytes([0])
    data = bytes([4, 0, 1, 0, 255, 6, 0, 43, 5])  # ZDATA at 0: 256 bytes ZCRCG, 44 bytes ZCRCE
    tail = bytes([6, 0, 7, 1])
    save("fuzz_zmodem", "session", content + zfile + data + tail)
    save("fuzz_zmodem", "session-zsinit-crc32", content + bytes([9, 1, 1, 9, 2]) +
         bytes([2, 0x40, 2, 0xde, 0x41, 0]) +
         zfile + data + tail)


def record_block_protocols(tmp):
    xmodem = record_transfer(tmp, "sx -q f.bin", "rx -q -c out.bin", 900)[:LIMIT]
    # CRC mode, content size, seed, 128-byte blocks: then noise steps of the capture
    save("fuzz_xmodem", "sx", bytes([1]) + u16(0) + u32(5) + bytes([0]) + block_steps(xmodem, 5))
    # checksum mode, 700 bytes of content: six blocks, the third one twice, then EOT
    save("fuzz_xmodem", "session", bytes([0]) + u16(700) + u32(5) + bytes([0]) +
         bytes([0, 1] * 3 + [1] + [0, 1] * 3 + [3]))
    ymodem = record_transfer(tmp, "sb -q f.bin", "rb -q", 1100)[:LIMIT]
    # YMODEM, content size, seed, length as the content's, 1024-byte blocks: then the capture
    save("fuzz_ymodem", "sb", bytes([0]) + u16(0) + u32(5) + bytes([0, 1]) + block_steps(ymodem, 5))
    # block 0 "f0" with the content's length, two 1024-byte blocks, EOT, quiet, empty block 0
    save("fuzz_ymodem", "session", bytes([0]) + u16(1500) + u32(5) + bytes([0, 1, 8, 0, 0]) +
         u32(0o700) + bytes([1, 0, 1, 0, 1, 3, 5, 9]))


def record_bplus():
    # The sessions of the B Plus host of the tests, in the target's steps. Content size, seed, the
    # resume answer (-1: ask), then: ENQ; the host's offer (send and receive window 2, 1 KB blocks,
    # CRC, its quoting mask, download resume and file information as the case asks), every control
    # character quoted; the acknowledgement of the terminal's answer; then the transfer.
    def offer(resume):
        return bytes([1, 17, 2, 2, 8, 1, 1, 0, 0x14, 0, 0xD4, 0, 0, 0, 0, 0, resume, 0, 1, 1, 7, 1])
    head = u16(2600) + u32(3) + bytes([0])
    info = bytes([3, 1]) + u32(2600) + u32(0) + bytes([0, 0, 0, 0])
    data = bytes([4, 3, 255, 4, 3, 255, 4, 3, 255])  # three packets of up to 1024 bytes
    # download "f0": request, file information, the data, close
    save("fuzz_bplus", "download", head + bytes([0]) + offer(0) + bytes([2, 1, 0, 0, 0]) + info +
         data + bytes([5]))
    # the same over a checksum with a repeated packet, an ENQ and a quiet spell between the data
    save("fuzz_bplus", "download-repeat", head + bytes([0]) +
         bytes([1, 17, 2, 2, 8, 0, 1, 0, 0x14, 0, 0xD4, 0, 0, 0, 0, 0, 0, 0, 1, 0, 7, 1]) +
         bytes([2, 1, 0, 0, 0]) + bytes([4, 3, 255, 6, 0, 9, 4, 3, 255, 4, 3, 255, 5]))
    # resume onto the upload file "u0": its "Tr" answer is the terminal's packet 2
    save("fuzz_bplus", "download-resume", head + bytes([0]) + offer(1) + bytes([2, 0, 0]) +
         bytes([7, 2]) + data + bytes([5]))
    # upload "u0": the terminal's data packet and its close are acknowledged
    save("fuzz_bplus", "upload", head + bytes([0]) + offer(0) + bytes([10, 0, 0]) +
         bytes([7, 2, 7, 3]))


# ---- Stored files ------------------------------------------------------------------------------

def record_settings(tmp):
    env = {"MARLO_CONFIG_DIR": tmp}
    for name, value in [("Speed", "9600"), ("CodeExchange", "2"), ("Quote", "≫"),
                        ("LineColumn", "80 25"), ("VT100Color", "0 128 32768 32896"),
                        ("TelnetHost1", "bbs.example.jp:23")]:
        run([CLI, "settings", "set", name, value], env=env)
    with open(os.path.join(tmp, "settings.conf"), "rb") as f:
        written = f.read()
    save("fuzz_settings", "written", b"\0" + written)
    host = ('\n[Host/NIFTY]\nOrder = 0\nName = "NIFTY"\nTelnet = 1\nTelnetHost = "nifty.example"\n'
            'Port = 23\nPassword = "\\x81\\x40"\n\n[Host/あ\\\\b]\nOrder = 1\n')
    save("fuzz_settings", "hosts", b"\0" + written + host.encode())


def record_history():
    lines = ["NIFTY                          2026年12月06日(日) 22:50:00～23:10:00  610円",
             "PC-VAN                         2026年12月01日(火) 23:30:00～00:30:00  120円",
             "telnet host                    2026年11月30日(月) 10:00:00～10:30:00    0円"]
    text = "".join(l + "\r\n" for l in lines).encode("cp932")
    save("fuzz_history", "history", b"\0" + text)
    save("fuzz_history", "write", b"\1" + u16(2026) + bytes([11, 5, 0, 22, 50, 0]) + u16(2026) +
         bytes([11, 5, 0, 23, 10, 0]) + u16(610) + bytes([5]) + b"NIFTY")


def main():
    with tempfile.TemporaryDirectory() as tmp:
        record_screen(tmp)
        record_telnet()
        record_zmodem(tmp)
        record_block_protocols(tmp)
        record_bplus()
        record_settings(tmp)
        record_history()


if __name__ == "__main__":
    main()
