"""A scripted mail server for one connection, standard library only. Usage:
bad_server.py MODE OUT. Writes the port to OUT/port, every line received to OUT/transcript.
Modes: plain; early (greets after 0.5 s and answers 554 to anything said before);
multi (multi-line replies); split (multi-line replies sent a few bytes per segment);
noehlo (502 to EHLO); reject (550 to recipients containing "bad"; after QUIT the connection
stays open); silent (never answers); close (drops the connection on MAIL FROM)."""
import os
import socket
import sys
import time

mode, out = sys.argv[1], sys.argv[2]
srv = socket.socket()
srv.bind(("127.0.0.1", 0))
srv.listen(1)
with open(os.path.join(out, "port.tmp"), "w") as f:
    f.write(str(srv.getsockname()[1]))
os.rename(os.path.join(out, "port.tmp"), os.path.join(out, "port"))
srv.settimeout(60)
conn, _ = srv.accept()
conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
log = open(os.path.join(out, "transcript"), "w")
multi = mode in ("multi", "split")


def note(text):
    log.write(text + "\n")
    log.flush()


def closed():
    note("CLOSED")
    sys.exit(0)


def send(*lines):
    data = "".join(l + "\r\n" for l in lines).encode()
    # A client that has gone already (a reset, a broken pipe) has closed the connection.
    try:
        if mode == "split":
            for i in range(0, len(data), 3):
                conn.sendall(data[i:i + 3])
                time.sleep(0.005)
        else:
            conn.sendall(data)
    except (BrokenPipeError, ConnectionResetError):
        closed()


def wait_for_close():
    conn.settimeout(60)
    try:
        while conn.recv(4096):
            pass
    except ConnectionResetError:
        pass
    note("CLOSED")


if mode == "early":
    conn.settimeout(0.5)
    try:
        early = conn.recv(4096)
        note("EARLY " + early.decode(errors="replace").strip())
        send("554 5.5.0 talking before the greeting")
        conn.close()
        sys.exit(0)
    except socket.timeout:
        pass
if mode == "silent":
    wait_for_close()
    sys.exit(0)

conn.settimeout(60)
if multi:
    send("220-mail.example.org", "220-second line", "220 ready")
else:
    send("220 ready")
buf = b""
in_data = False
while True:
    while b"\r\n" not in buf:
        try:
            chunk = conn.recv(65536)
        except ConnectionResetError:
            chunk = b""
        if not chunk:
            closed()
        buf += chunk
    raw, buf = buf.split(b"\r\n", 1)
    line = raw.decode(errors="replace")
    if in_data:
        if line == ".":
            in_data = False
            note(".")
            send("250 2.0.0 queued")
        continue
    note(line)
    cmd = line.upper()
    if cmd.startswith("EHLO"):
        if mode == "noehlo":
            send("502 5.5.2 not implemented")
        elif multi:
            send("250-mail.example.org", "250-SIZE 1000000", "250 HELP")
        else:
            send("250 mail.example.org")
    elif cmd.startswith("HELO"):
        send("250 mail.example.org")
    elif cmd.startswith("MAIL FROM"):
        if mode == "close":
            conn.close()
            sys.exit(0)
        send("250 2.1.0 ok")
    elif cmd.startswith("RCPT TO"):
        if mode == "reject" and "BAD" in cmd:
            send("550 5.1.1 " + line[8:].strip() + ": user unknown")
        else:
            send("250 2.1.5 ok")
    elif cmd == "DATA":
        in_data = True
        send("354 go ahead")
    elif cmd == "QUIT":
        send("221 2.0.0 bye")
        if mode == "reject":
            wait_for_close()
        else:
            conn.close()
        sys.exit(0)
    else:
        send("500 5.5.1 unknown command")
