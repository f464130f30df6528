#!/usr/bin/env python3
"""Writes the seeds of the extraction target (fuzz/unzip/corpus/x-*.zip):
archives of the faults mended in issue 11, built byte by byte."""
import io, os, struct, sys, zlib, zipfile

out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")

def entry(name, data, mode=None, flags=0, method=0, crc=None, made_by=20):
    return dict(name=name, data=data, mode=mode, flags=flags, method=method, crc=crc, made_by=made_by)

def archive(entries, overlap=False):
    body, central = b"", b""
    for e in entries:
        stored = zlib.compress(e["data"])[2:-4] if e["method"] == 8 else e["data"]
        crc = zlib.crc32(e["data"]) if e["crc"] is None else e["crc"]
        off = 0 if overlap else len(body)
        local = struct.pack("<IHHHIIIIHH", 0x04034B50, 20, e["flags"], e["method"], 0x5A2E6000, crc,
                            len(stored), len(e["data"]), len(e["name"]), 0) + e["name"] + stored
        if not overlap or not body:
            body += local
        made_by = (3 << 8 | 20) if e["mode"] is not None else e["made_by"]
        ext = (e["mode"] << 16) if e["mode"] is not None else 0
        central += struct.pack("<IHHHHIIIIHHHHHII", 0x02014B50, made_by, 20, e["flags"], e["method"], 0x5A2E6000,
                               crc, len(stored), len(e["data"]), len(e["name"]), 0, 0, 0, 0, ext, off) + e["name"]
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central), len(body), 0)
    return body + central + end

seeds = {
    "x-drive-parent.zip": archive([entry(b"C:../", b"", mode=0o40777), entry(b"C:../evil.txt", b"evil"),
                                   entry(b"C:..\\evil2.txt", b"evil"), entry(b"ok.txt", b"ok")]),
    "x-nul-name.zip": archive([entry(b"..\0/", b"", mode=0o40777), entry(b"a\0b.txt", b"nul")]),
    "x-empty-name.zip": archive([entry(b"", b"data", mode=0o100777), entry(b"/", b"", mode=0o40777)]),
    "x-link.zip": archive([entry(b"link", b"/absolute/link/target", mode=0o120777)]),
    "x-unix-utf8.zip": archive([entry("\u0133/\u00fcber.txt".encode(), b"u", mode=0o100644)]),
}
# Overlapping entries: every central record points at the one local header.
seeds["x-overlap.zip"] = archive([entry(b"o%d.txt" % k, b"B" * 20000, method=8) for k in range(5)], overlap=True)
# A stub in front of an archive whose entries have data descriptors.
class Pipe(io.RawIOBase):
    def __init__(self): self.b = bytearray()
    def writable(self): return True
    def write(self, d): self.b += d; return len(d)
p = Pipe()
with zipfile.ZipFile(p, "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("first.txt", b"first " * 50)
    z.writestr("second.txt", b"second " * 50)
seeds["x-stub-descriptors.zip"] = b"#!/bin/sh stub\n".ljust(1026, b"#") + bytes(p.b)

for name, data in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
