#!/usr/bin/env python3
"""Wraps PNG pictures of the program's icon into one .ico file (PNG entries, which Windows
takes since Vista and windres copies as they are).

    make_icon.py <out.ico> <size>:<picture.png>...
"""
import struct
import sys


def main():
    out, entries = sys.argv[1], []
    for arg in sys.argv[2:]:
        size, path = arg.split(":", 1)
        with open(path, "rb") as picture:
            entries.append((int(size), picture.read()))
    header = struct.pack("<HHH", 0, 1, len(entries))
    offset = len(header) + 16 * len(entries)
    directory, data = b"", b""
    for size, png in entries:
        side = 0 if size >= 256 else size
        directory += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(png), offset + len(data))
        data += png
    with open(out, "wb") as ico:
        ico.write(header + directory + data)


if __name__ == "__main__":
    main()
