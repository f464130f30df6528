#!/usr/bin/env python3
"""Runs a command several times as a whole process and reports, per run, the
wall time, the peak resident set size and the bytes the process wrote.

  measure.py --runs N --remove FILE -- COMMAND ARG...

FILE is deleted before every run, so each run starts from nothing. The write
figures are read from /proc/PID/io while the finished process is still
unreaped: wchar counts every byte passed to write calls, write_bytes what the
kernel sent to storage. Prints one JSON object per run.
"""
import argparse
import json
import os
import subprocess
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
        started = time.monotonic()
        process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.waitid(os.P_PID, process.pid, os.WEXITED | os.WNOWAIT)
        elapsed = time.monotonic() - started
        io = read_io(process.pid)
        _, status, usage = os.wait4(process.pid, 0)
        process.returncode = os.waitstatus_to_exitcode(status)
        print(json.dumps({
            "seconds": elapsed,
            "status": process.returncode,
            "peak_rss_kib": usage.ru_maxrss,
            "wchar": io.get("wchar", -1),
            "write_bytes": io.get("write_bytes", -1),
        }), flush=True)


if __name__ == "__main__":
    main()
