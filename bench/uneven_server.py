"""An HTTP/1.1 file server on loopback whose connections run at uneven speeds, as the links to
different mirrors do: one connection is fast, every other one is slow.

The fast link belongs to the connection that most recently began a reply from byte 0 of the file
(a GET without Range, or a range that starts at 0); every other connection is slow. A connection
keeps its speed for all its requests, so a tool that reuses a kept-alive connection for more of
the file keeps the speed that connection has, and a tool that opens a new connection for it gets
a slow one. The one change of speed: a newer reply from byte 0 takes the fast link over, so a
tool's probe that asked for the whole file and was dropped after its head leaves the fast link to
the connection that really fetches the start of the file.

GET and HEAD of the one served file, with a single range in any of the forms bytes=A-B, bytes=A-
and bytes=-N. Like nginx, a range that selects no byte (bytes=- among them) is answered 416 with
`Content-Range: bytes */SIZE`, and a list of several ranges is answered with the whole file.

Prints the port it listens on as the first line of its output, then serves until killed, until its
parent ends or until no connection has been open for a while (--idle). One line per request goes
to the log file: "CONNECTION METHOD RANGE STATUS FIRST-LAST fast|slow".
"""
import argparse
import ctypes
import os
import re
import signal
import socket
import struct
import sys
import threading
import time

MAX_HEAD = 16 * 1024
IDLE_SECONDS = 30


def end_with_parent():
    """Ask the kernel to end this server when the process that started it dies."""
    try:
        libc = ctypes.CDLL("libc.so.6", use_errno=True)
        PR_SET_PDEATHSIG = 1
        libc.prctl(PR_SET_PDEATHSIG, signal.SIGTERM)
    except OSError:
        pass
    if os.getppid() == 1:
        sys.exit(1)


def parse_rate(text):
    """Bytes per second from nginx's notation: 512k, 4m or a plain number of bytes."""
    match = re.fullmatch(r"(\d+)([kKmM]?)", text)
    if not match:
        raise argparse.ArgumentTypeError(f"not a rate: {text}")
    return int(match.group(1)) * {"": 1, "k": 1024, "m": 1024 * 1024}[match.group(2).lower()]


class Links:
    """Which connection holds the fast link."""

    def __init__(self, fast, slow):
        self.fast = fast
        self.slow = slow
        self.holder = None

    def take(self, connection):
        self.holder = connection

    def rate(self, connection):
        return self.fast if self.holder == connection else self.slow


def select_range(value, size):
    """(status, first, last) for a Range header's value; last is inclusive."""
    if value is None or "," in value:
        return 200, 0, size - 1
    match = re.fullmatch(r"\s*bytes\s*=\s*(\d*)\s*-\s*(\d*)\s*", value)
    if not match:
        return 416, 0, -1
    first, last = match.groups()
    if first:
        start, end = int(first), min(int(last), size - 1) if last else size - 1
    else:
        start, end = max(size - int(last or 0), 0), size - 1
    if start > end:
        return 416, 0, -1
    return 206, start, end


class Server:
    def __init__(self, path, links, log):
        self.path = path
        self.name = "/" + os.path.basename(path)
        self.size = os.path.getsize(path)
        self.links = links
        self.log = log
        self.log_lock = threading.Lock()
        self.open_connections = 0
        self.last_close = time.monotonic()
        self.count_lock = threading.Lock()

    def note(self, line):
        with self.log_lock:
            self.log.write(line + "\n")
            self.log.flush()

    def serve(self, sock, connection):
        try:
            self.converse(sock, connection)
        finally:
            with self.count_lock:
                self.open_connections -= 1
                self.last_close = time.monotonic()

    def converse(self, sock, connection):
        # A blocking socket, so that sendfile waits for room; the kernel ends a silent wait.
        sock.setblocking(True)
        idle = struct.pack("ll", IDLE_SECONDS, 0)
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVTIMEO, idle)
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_SNDTIMEO, idle)
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        with sock, open(self.path, "rb") as file:
            pending = b""
            try:
                while True:
                    while b"\r\n\r\n" not in pending:
                        data = sock.recv(65536)
                        if not data or len(pending) > MAX_HEAD:
                            return
                        pending += data
                    head, pending = pending.split(b"\r\n\r\n", 1)
                    if not self.answer(sock, file, connection, head.decode("latin-1")):
                        return
            except OSError:
                return  # the client went away or stayed silent too long

    def answer(self, sock, file, connection, head):
        """Sends the reply to one request; False when the connection is to be closed."""
        lines = head.split("\r\n")
        parts = lines[0].split()
        if len(parts) != 3 or not parts[2].startswith("HTTP/1."):
            return False
        method, target, version = parts
        fields = {}
        for line in lines[1:]:
            name, _, value = line.partition(":")
            fields[name.strip().lower()] = value.strip()
        keep = version == "HTTP/1.1" and fields.get("connection", "").lower() != "close"
        range_value = fields.get("range")
        if method not in ("GET", "HEAD"):
            status, start, end = 405, 0, -1
        elif target.split("?")[0] != self.name:
            status, start, end = 404, 0, -1
        else:
            status, start, end = select_range(range_value, self.size)
        if status in (200, 206) and method == "GET" and start == 0:
            self.links.take(connection)
        count = end - start + 1
        reason = {200: "OK", 206: "Partial Content", 404: "Not Found", 405: "Method Not Allowed",
                  416: "Requested Range Not Satisfiable"}[status]
        reply = [f"HTTP/1.1 {status} {reason}", "Server: uneven", "Accept-Ranges: bytes",
                 "Content-Type: application/octet-stream", f"Content-Length: {max(count, 0)}",
                 "Connection: " + ("keep-alive" if keep else "close")]
        if status == 206:
            reply.append(f"Content-Range: bytes {start}-{end}/{self.size}")
        elif status == 416:
            reply.append(f"Content-Range: bytes */{self.size}")
        sock.sendall(("\r\n".join(reply) + "\r\n\r\n").encode("latin-1"))
        speed = "fast" if self.links.rate(connection) == self.links.fast else "slow"
        span = f"{start}-{end}" if count > 0 else "-"
        self.note(f"{connection} {method} {range_value or '-'} {status} {span} {speed}")
        if method == "GET" and count > 0:
            self.send_paced(sock, file, connection, start, count)
        return keep

    def send_paced(self, sock, file, connection, offset, count):
        """Sends COUNT bytes of the file from OFFSET at the connection's rate, in steps of about
        5 ms. A client that fell behind may catch up for at most 100 ms."""
        due = time.monotonic()
        while count > 0:
            rate = self.links.rate(connection)
            now = time.monotonic()
            if due > now:
                time.sleep(due - now)
            else:
                due = max(due, now - 0.1)
            step = min(count, max(rate // 200, 16384))
            while step > 0:
                sent = os.sendfile(sock.fileno(), file.fileno(), offset, step)
                if sent == 0:
                    raise OSError("the file ended early")
                offset += sent
                count -= sent
                step -= sent
                due += sent / rate


def main():
    end_with_parent()
    ap = argparse.ArgumentParser()
    ap.add_argument("--file", required=True, help="the file served, under its own name")
    ap.add_argument("--fast", type=parse_rate, default="40m", help="rate of the fast connection")
    ap.add_argument("--slow", type=parse_rate, default="4m", help="rate of every other connection")
    ap.add_argument("--log", default=os.devnull, help="one line per request")
    ap.add_argument("--idle", type=float, default=1800,
                    help="seconds without any connection before the server stops")
    args = ap.parse_args()

    server = Server(args.file, Links(args.fast, args.slow), open(args.log, "a", encoding="ascii"))
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    listener.settimeout(1)
    print(listener.getsockname()[1], flush=True)
    connection = 0
    while server.open_connections > 0 or time.monotonic() - server.last_close < args.idle:
        try:
            sock, _ = listener.accept()
        except socket.timeout:
            continue
        connection += 1
        with server.count_lock:
            server.open_connections += 1
        threading.Thread(target=server.serve, args=(sock, connection), daemon=True).start()
    os._exit(0)


if __name__ == "__main__":
    main()
