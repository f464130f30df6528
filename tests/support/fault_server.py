#!/usr/bin/env python3
"""A scripted TCP server on 127.0.0.1 for client tests: records request heads
byte for byte and plays replies and faults.

  fault_server.py --script SCRIPT.json --log LOG [--port N] [--host 127.0.0.1|::1]

Prints the port on standard output once it listens, then serves until it is
terminated. The script is a JSON object:

  {"connections": [[step, ...], [step, ...], ...],   # the n-th accepted connection plays the n-th list
   "default": [step, ...]}                            # connections beyond the list (optional; else closed at once)

Steps, played in order:
  {"read": "head"}           read one request head (up to the empty line) and record it
  {"send": "text"}           send the text; each character U+0000..U+00FF is one byte,
                             "{port}" becomes the server's port
  {"drip": "text", "interval": S}   send one byte every S seconds
  {"sleep": S}               wait S seconds
  {"hold": S}                say nothing for S seconds (reading and dropping what comes)
  {"close": true}            close the connection now (after shutting down the sending side)
  {"reset": true}            close with a reset (RST)
  {"repeat": N, "steps": [...]}   play the steps N times
When the steps run out the server waits (up to 30 s) for the client to close.

The log has one line per event:
  accept <connection>
  request <connection> <hex of the head bytes>
  closed <connection>
"""
import argparse
import json
import socket
import struct
import sys
import threading
import time

log_lock = threading.Lock()


def log(path, line):
    with log_lock:
        with open(path, "a") as f:
            f.write(line + "\n")
            f.flush()


class Connection:
    def __init__(self, sock, index, port, log_path):
        self.sock = sock
        self.index = index
        self.port = port
        self.log_path = log_path
        self.pending = b""
        self.open = True

    def data(self, text):
        return text.replace("{port}", str(self.port)).encode("latin-1")

    def read_head(self):
        while b"\r\n\r\n" not in self.pending and b"\n\n" not in self.pending:
            chunk = self.sock.recv(65536)
            if not chunk:
                return False
            self.pending += chunk
        ends = [i for i in (self.pending.find(b"\r\n\r\n"), self.pending.find(b"\n\n")) if i >= 0]
        end = min(ends)
        size = 4 if self.pending[end:end + 4] == b"\r\n\r\n" else 2
        head = self.pending[:end + size]
        self.pending = self.pending[end + size:]
        log(self.log_path, "request %d %s" % (self.index, head.hex()))
        return True

    def hold(self, seconds):
        deadline = time.time() + seconds
        while time.time() < deadline:
            self.sock.settimeout(max(0.01, deadline - time.time()))
            try:
                if not self.sock.recv(65536):
                    return
            except socket.timeout:
                pass
        self.sock.settimeout(None)

    def play(self, steps):
        for step in steps:
            if not self.open:
                return
            if "read" in step:
                if not self.read_head():
                    self.open = False
            elif "send" in step:
                self.sock.sendall(self.data(step["send"]))
            elif "drip" in step:
                for byte in self.data(step["drip"]):
                    self.sock.sendall(bytes([byte]))
                    time.sleep(step.get("interval", 0.05))
            elif "sleep" in step:
                time.sleep(step["sleep"])
            elif "hold" in step:
                self.hold(step["hold"])
            elif "close" in step:
                try:
                    self.sock.shutdown(socket.SHUT_WR)
                except OSError:
                    pass
                self.sock.close()
                self.open = False
            elif "reset" in step:
                self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                self.sock.close()
                self.open = False
            elif "repeat" in step:
                for _ in range(step["repeat"]):
                    self.play(step["steps"])

    def run(self, steps):
        try:
            self.play(steps)
            if self.open:
                self.hold(30)
        except OSError:
            pass
        finally:
            if self.open:
                try:
                    self.sock.close()
                except OSError:
                    pass
            log(self.log_path, "closed %d" % self.index)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--script", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--host", default="127.0.0.1", choices=["127.0.0.1", "::1"])
    args = parser.parse_args()
    with open(args.script) as f:
        script = json.load(f)
    connections = script.get("connections", [])
    default = script.get("default", [{"close": True}])

    family = socket.AF_INET6 if ":" in args.host else socket.AF_INET
    listener = socket.socket(family, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((args.host, args.port))
    listener.listen(64)
    port = listener.getsockname()[1]
    open(args.log, "w").close()
    print(port, flush=True)
    index = 0
    while True:
        sock, _ = listener.accept()
        log(args.log, "accept %d" % index)
        steps = connections[index] if index < len(connections) else default
        threading.Thread(target=Connection(sock, index, port, args.log).run, args=(steps,),
                         daemon=True).start()
        index += 1


if __name__ == "__main__":
    try:
        main()
    except KeyboardInterrupt:
        pass
