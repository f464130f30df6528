#!/usr/bin/env python3
"""Runs a command several times as a whole process and reports, per run, the
wall time, the peak resident set size and the bytes the process wrote.

  measure.py --runs N --remove FILE -- COMMAND ARG...

FILE is deleted before every run, so each run starts from nothing. The
command runs under GNU time, which reports its peak RSS (a process forked
from this Python interpreter would count the interpreter's pages as its own).
The write figures are read from /proc/PID/io of that time process while it
is still unreaped; by then it has reaped the command, whose figures the
kernel has added to its own: wchar counts every byte passed to write calls,
write_bytes what was sent to storage. Prints one JSON object per run.
"""
import argparse
import json
import os
import subprocess
import tempfile
import time


def read_io(pid):
    figures = {}
    try:
        with open(f"/proc/{pid}/io") as f:
            for line in f:
                key, _, value = line.partition(":")
                figures[key.strip()] = int(value)
    except OSError:
        pass
    return figures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--remove")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    for _ in range(args.runs):
        if args.remove and os.path.exists(args.remove):
            os.remove(args.remove)
        rss_file = tempfile.NamedTemporaryFile(prefix="zelvano-rss-", delete=False)
        rss_file.close()
        started = time.monotonic()
        process = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", rss_file.name] + command,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.waitid(os.P_PID, process.pid, os.WEXITED | os.WNOWAIT)
        elapsed = time.monotonic() - started
        io = read_io(process.pid)
        _, status, _ = os.wait4(process.pid, 0)
        process.returncode = os.waitstatus_to_exitcode(status)
        with open(rss_file.name) as f:
            lines = f.read().split()
        os.remove(rss_file.name)
        peak_rss_kib = int(lines[-1]) if lines and lines[-1].isdigit() else -1
        print(json.dumps({
            "seconds": elapsed,
            "status": process.returncode,
            "peak_rss_kib": peak_rss_kib,
            "wchar": io.get("wchar", -1),
            "write_bytes": io.get("write_bytes", -1),
        }), flush=True)


if __name__ == "__main__":
    main()
