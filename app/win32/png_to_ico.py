#!/usr/bin/env python3
"""Wraps a PNG into a one-image .ico file (an icon directory whose single
entry holds the PNG as it is, which Windows Vista and later read).

usage: png_to_ico.py icon.png icon.ico
"""
import struct
import sys

png = open(sys.argv[1], "rb").read()
if png[:8] != b"\x89PNG\r\n\x1a\n":
    sys.exit("not a PNG: " + sys.argv[1])
width, height = struct.unpack(">II", png[16:24])
header = struct.pack("<HHH", 0, 1, 1)
entry = struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(png), 6 + 16)
with open(sys.argv[2], "wb") as out:
    out.write(header + entry + png)
