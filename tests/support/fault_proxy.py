#!/usr/bin/env python3
"""A TCP proxy on 127.0.0.1 in front of a loopback server that misbehaves the
way real lines do: it stalls, resets, refuses for a while, cuts connections,
answers 503 now and then, delays requests and caps the bandwidth.

  fault_proxy.py --upstream PORT --stats FILE [options]

Prints its port on standard output once it listens, then serves until it is
terminated. Byte counts are of the reply direction (server to client), over
all connections.

  --stall-after N      once N bytes have gone to clients, the connection that
                       carries byte N goes silent (open, nothing more is sent
                       either way) until the client closes it
  --reset-after N      once N bytes have gone to clients, that connection is
                       reset and the proxy stops listening for --refuse-for
                       seconds (new connections are refused), then listens again
  --cut-every N        every connection is closed after it has carried N bytes
  --fail-every K       every K-th request is answered "503 Service Unavailable"
                       (Connection: close) instead of being passed on
  --delay MS           each request reaches the server MS ms after it arrived,
                       so every reply starts one round trip late
  --rate BYTES         replies share a line of BYTES per second

The stats file (JSON, rewritten as things happen) holds "bytes" (to clients),
"connections", "requests", "stalls", "resets", "cuts" and "failures".
Every wait is bounded: a silent connection is held at most 600 s.
"""
import argparse
import json
import socket
import struct
import sys
import threading
import time

lock = threading.Lock()
stats = {"bytes": 0, "connections": 0, "requests": 0, "stalls": 0, "resets": 0, "cuts": 0, "failures": 0}
args = None
listener = None
line_free_at = 0.0
fault_done = False

REPLY_503 = (b"HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain\r\n"
             b"Content-Length: 12\r\nConnection: close\r\n\r\nunavailable\n")


def write_stats():
    with open(args.stats + ".tmp", "w") as f:
        json.dump(stats, f)
    import os
    os.replace(args.stats + ".tmp", args.stats)


unwritten = [0]  # bytes counted since the stats file was last written


def count(name, n=1):
    """Counts; the file is rewritten for every event, and for the bytes once
    a megabyte has gathered (and whenever a connection ends)."""
    with lock:
        stats[name] += n
        if name == "bytes":
            unwritten[0] += n
            if unwritten[0] < 1 << 20:
                return
        unwritten[0] = 0
        write_stats()


def flush_stats():
    with lock:
        unwritten[0] = 0
        write_stats()


def pace(n):
    """Waits until n bytes have passed the shared line of --rate bytes/s."""
    global line_free_at
    if not args.rate:
        return
    with lock:
        start = max(time.monotonic(), line_free_at)
        line_free_at = start + n / args.rate
        until = line_free_at
    delay = until - time.monotonic()
    if delay > 0:
        time.sleep(delay)


def close_quietly(sock, reset=False):
    """Closes now, with a FIN or (reset) an RST. Another thread may be
    blocked reading the socket, which would keep a bare close from taking
    effect: a shutdown wakes it first."""
    try:
        if reset:
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            sock.shutdown(socket.SHUT_RD)
        else:
            sock.shutdown(socket.SHUT_RDWR)
    except OSError:
        pass
    try:
        sock.close()
    except OSError:
        pass


class Link:
    def __init__(self, client):
        self.client = client
        self.server = socket.create_connection(("127.0.0.1", args.upstream))
        self.carried = 0
        self.ended = threading.Event()
        self.pending = b""
        # With --fail-every: the methods of the requests passed on whose
        # replies have not ended, and whether a 503 is due once they have.
        self.replies = []
        self.fail_due = False
        self.reply_head = b""
        self.reply_left = 0

    def end(self, reset=False):
        """Ends the connection: with an RST, or as a server that closes does
        (a FIN after everything sent; what the client still sends is read
        and dropped until it closes, so that no unread request turns the
        close into a reset)."""
        if self.ended.is_set():
            return
        self.ended.set()
        close_quietly(self.server)
        if reset:
            close_quietly(self.client, reset=True)
            return
        try:
            self.client.shutdown(socket.SHUT_WR)
        except OSError:
            pass
        threading.Thread(target=self.drain, daemon=True).start()

    def drain(self):
        deadline = time.monotonic() + 30
        try:
            self.client.settimeout(0.5)
            while time.monotonic() < deadline:
                try:
                    if not self.client.recv(65536):
                        break
                except socket.timeout:
                    continue
        except OSError:
            pass
        close_quietly(self.client)

    def upstream(self):
        """Client to server: request heads, each delayed by --delay."""
        queue = []
        cond = threading.Condition()

        def sender():
            while not self.ended.is_set():
                with cond:
                    while not queue and not self.ended.is_set():
                        cond.wait(0.2)
                    if not queue:
                        return
                    due, data = queue[0]
                wait = due - time.monotonic()
                if wait > 0:
                    time.sleep(wait)
                with cond:
                    queue.pop(0)
                try:
                    if data is None:
                        self.server.shutdown(socket.SHUT_WR)
                        return
                    self.server.sendall(data)
                except OSError:
                    self.end()
                    return

        threading.Thread(target=sender, daemon=True).start()
        while not self.ended.is_set():
            try:
                data = self.client.recv(65536)
            except OSError:
                data = b""
            if not data:
                with cond:
                    queue.append((time.monotonic() + args.delay / 1000.0, None))
                    cond.notify()
                return
            self.pending += data
            forward = b""
            while b"\r\n\r\n" in self.pending:
                end = self.pending.index(b"\r\n\r\n") + 4
                head, self.pending = self.pending[:end], self.pending[end:]
                with lock:
                    stats["requests"] += 1
                    number = stats["requests"]
                    write_stats()
                if args.fail_every and number % args.fail_every == 0:
                    count("failures")
                    # What went before still goes out and is answered in
                    # order; the 503 follows the last of those replies.
                    with cond:
                        queue.append((time.monotonic() + args.delay / 1000.0, forward))
                        cond.notify()
                    with lock:
                        waiting = bool(self.replies)
                        self.fail_due = waiting
                    if not waiting:
                        time.sleep(args.delay / 1000.0)
                        self.send_503()
                    return
                if args.fail_every:
                    with lock:
                        self.replies.append(head.split(b" ", 1)[0])
                forward += head
            if forward:
                with cond:
                    queue.append((time.monotonic() + args.delay / 1000.0, forward))
                    cond.notify()

    def send_503(self):
        try:
            self.client.sendall(REPLY_503)
        except OSError:
            pass
        self.end()

    def replies_ended(self, data):
        """Follows the replies' framing (heads and Content-Length bodies);
        True once a 503 is due and every earlier reply has gone out."""
        while data:
            if self.reply_left > 0:
                n = min(self.reply_left, len(data))
                self.reply_left -= n
                data = data[n:]
            else:
                self.reply_head += data
                data = b""
                end = self.reply_head.find(b"\r\n\r\n")
                if end < 0:
                    break
                head, data = self.reply_head[:end + 4], self.reply_head[end + 4:]
                self.reply_head = b""
                length = 0
                for line in head.split(b"\r\n"):
                    if line.lower().startswith(b"content-length:"):
                        length = int(line.split(b":", 1)[1])
                with lock:
                    method = self.replies[0] if self.replies else b"GET"
                self.reply_left = 0 if method == b"HEAD" else length
            if self.reply_left == 0 and not self.reply_head:
                with lock:
                    if self.replies:
                        self.replies.pop(0)
                    if self.fail_due and not self.replies:
                        return True
        return False

    def downstream(self):
        """Server to client, paced, with the byte-count faults."""
        global fault_done
        while not self.ended.is_set():
            try:
                data = self.server.recv(65536)
            except OSError:
                data = b""
            if not data:
                try:
                    self.client.shutdown(socket.SHUT_WR)
                except OSError:
                    pass
                return
            while data and not self.ended.is_set():
                piece = data
                if args.cut_every:
                    piece = piece[:args.cut_every - self.carried]
                fault = None
                with lock:
                    total = stats["bytes"]
                    for name, limit in (("stall", args.stall_after), ("reset", args.reset_after)):
                        if limit is not None and not fault_done and total + len(piece) >= limit:
                            piece = piece[:max(0, limit - total)]
                            fault = name
                            fault_done = True
                pace(len(piece))
                try:
                    self.client.sendall(piece)
                except OSError:
                    self.end()
                    return
                self.carried += len(piece)
                count("bytes", len(piece))
                data = data[len(piece):]
                if args.fail_every and self.replies_ended(piece):
                    self.send_503()
                    return
                if fault == "stall":
                    count("stalls")
                    self.stall()
                    return
                if fault == "reset":
                    count("resets")
                    self.end(reset=True)
                    refuse(args.refuse_for)
                    return
                if args.cut_every and self.carried >= args.cut_every:
                    count("cuts")
                    self.end()
                    return

    def stall(self):
        """Sends nothing more; drops what the client sends until it closes."""
        deadline = time.monotonic() + 600
        self.client.settimeout(0.5)
        while time.monotonic() < deadline:
            try:
                if not self.client.recv(65536):
                    break
            except socket.timeout:
                continue
            except OSError:
                break
        self.end()


def refuse(seconds):
    """Stops listening for a while: connections are refused meanwhile."""
    global listener
    if not seconds:
        return
    with lock:
        old, listener = listener, None
    close_quietly(old)
    time.sleep(seconds)
    fresh = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    fresh.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    for _ in range(200):
        try:
            fresh.bind(("127.0.0.1", args.port))
            break
        except OSError:
            time.sleep(0.05)
    fresh.listen(64)
    with lock:
        listener = fresh


def serve(client):
    try:
        link = Link(client)
    except OSError:
        close_quietly(client)
        return
    count("connections")
    threading.Thread(target=link.upstream, daemon=True).start()
    try:
        link.downstream()
    finally:
        flush_stats()


def main():
    global args, listener
    parser = argparse.ArgumentParser()
    parser.add_argument("--upstream", type=int, required=True)
    parser.add_argument("--stats", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--stall-after", type=int)
    parser.add_argument("--reset-after", type=int)
    parser.add_argument("--refuse-for", type=float, default=0)
    parser.add_argument("--cut-every", type=int, default=0)
    parser.add_argument("--fail-every", type=int, default=0)
    parser.add_argument("--delay", type=float, default=0)
    parser.add_argument("--rate", type=float, default=0)
    args = parser.parse_args()
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", args.port))
    listener.listen(64)
    args.port = listener.getsockname()[1]
    write_stats()
    print(args.port, flush=True)
    while True:
        current = listener
        if current is None:
            time.sleep(0.02)
            continue
        current.settimeout(0.2)
        try:
            client, _ = current.accept()
        except (socket.timeout, OSError):
            continue
        client.settimeout(None)
        threading.Thread(target=serve, args=(client,), daemon=True).start()


if __name__ == "__main__":
    main()
