#!/usr/bin/env python3
"""Writes ZanDriverInstaller.ico: the application icon, one 16 x 16 image.

The picture is a small serial card: a green board with a nine-pin connector,
a chip and gold edge contacts. Run it after changing the pixel map below and
commit the .ico beside it (the build uses the committed file).
"""
import struct
import sys
from pathlib import Path

PIXELS = [
    "................",
    "................",
    ".gggggggggggggg.",
    ".gGGGGGGGGGGGGg.",
    ".gGKKKKKKKGGGGg.",
    ".gGKWKWKWKGSSGg.",
    ".gGKKKKKKKGSSGg.",
    ".gGGKWKWKGGGGGg.",
    ".gGGKKKKKGGSSGg.",
    ".gGGGGGGGGGSSGg.",
    ".gGGGGGGGGGGGGg.",
    ".gggggggggggggg.",
    "..Y.Y.Y.Y.Y.Y...",
    "..Y.Y.Y.Y.Y.Y...",
    "................",
    "................",
]

# Colour of each letter as (red, green, blue); "." is transparent.
COLOURS = {
    "g": (0x1B, 0x5E, 0x20),  # board edge
    "G": (0x2E, 0x8B, 0x3A),  # board
    "K": (0x45, 0x4A, 0x50),  # connector shell
    "W": (0xF0, 0xF0, 0xF0),  # connector pins
    "S": (0x10, 0x10, 0x10),  # chip
    "Y": (0xE0, 0xB0, 0x20),  # edge contacts
}

SIZE = 16


def icon_bytes():
    assert len(PIXELS) == SIZE and all(len(row) == SIZE for row in PIXELS)
    # The image is a bottom-up DIB: 32-bit BGRA colour rows, then a 1-bit
    # AND mask whose rows are padded to 32 bits (set bits are transparent).
    colour = bytearray()
    mask = bytearray()
    for row in reversed(PIXELS):
        bits = 0
        for x, ch in enumerate(row):
            if ch == ".":
                colour += bytes((0, 0, 0, 0))
                bits |= 1 << (SIZE - 1 - x)
            else:
                r, g, b = COLOURS[ch]
                colour += bytes((b, g, r, 0xFF))
        mask += struct.pack(">H", bits) + b"\0\0"
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0,
                         len(colour) + len(mask), 0, 0, 0, 0)
    image = header + colour + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).with_name("ZanDriverInstaller.ico")
    out.write_bytes(icon_bytes())


if __name__ == "__main__":
    main()
