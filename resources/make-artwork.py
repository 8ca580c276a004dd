#!/usr/bin/env python3
"""Draws the status window's pictures: the logo, the two button frames and the
loading indicator. Standard library only (zlib for PNG, a small LZW coder for GIF),
so the committed files can be made again byte for byte. The colours are those of the
window's table, src/app/WindowColours.h.

    python3 resources/make-artwork.py
"""
import math
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "artwork")

sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests", "support"))
import cvlsource  # noqa: E402  (the colours come from the window's own table)

COLOUR = cvlsource.window_colours()


def write_png(path, width, height, pixel):
    """24-bit RGB PNG; pixel(x, y) gives an (r, g, b) tuple."""
    raw = bytearray()
    for y in range(height):
        raw.append(0)  # no filter
        for x in range(width):
            raw.extend(pixel(x, y))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", header))
        f.write(chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
        f.write(chunk(b"IEND", b""))


def inside_rounded(x, y, width, height, radius):
    """Whether pixel (x, y) lies in a rounded rectangle filling width x height."""
    cx = min(max(x, radius), width - 1 - radius)
    cy = min(max(y, radius), height - 1 - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius + radius


def button_frame(outline):
    width, height, radius = 114, 35, 4

    def pixel(x, y):
        if not inside_rounded(x, y, width, height, radius):
            return COLOUR.Background
        on_edge = any(not inside_rounded(x + dx, y + dy, width, height, radius)
                      for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
        return outline if on_edge else COLOUR.FrameFill
    return width, height, pixel


def logo():
    # A light chevron and bar on a dark blue field.
    def pixel(x, y):
        chevron = 3 <= x <= 12 and abs((y - 5.5) * 1.2) <= 4.5 and abs(x - 3 - abs(y - 5.5) * 1.2) < 1.6
        bar = 14 <= x <= 21 and 8 <= y <= 9
        return COLOUR.LogoMark if chevron or bar else COLOUR.LogoField
    return 25, 12, pixel


class BitWriter:
    def __init__(self):
        self.bytes = bytearray()
        self.acc = 0
        self.count = 0

    def write(self, code, size):
        self.acc |= code << self.count
        self.count += size
        while self.count >= 8:
            self.bytes.append(self.acc & 0xFF)
            self.acc >>= 8
            self.count -= 8

    def finish(self):
        if self.count:
            self.bytes.append(self.acc & 0xFF)
        return bytes(self.bytes)


def lzw_encode(indices, min_size):
    clear, end = 1 << min_size, (1 << min_size) + 1
    out = BitWriter()

    def reset():
        return {(i,): i for i in range(clear)}, end + 1, min_size + 1

    table, next_code, size = reset()
    out.write(clear, size)
    prefix = ()
    for k in indices:
        grown = prefix + (k,)
        if grown in table:
            prefix = grown
            continue
        out.write(table[prefix], size)
        if next_code < 4096:
            table[grown] = next_code
            next_code += 1
            # The decoder widens its codes once it has made entry 2**size.
            if next_code > (1 << size) and size < 12:
                size += 1
        else:
            out.write(clear, size)
            table, next_code, size = reset()
        prefix = (k,)
    out.write(table[prefix], size)
    out.write(end, size)
    return out.finish()


def write_gif(path, width, height, palette, frames, delay_cs, transparent):
    """Animated GIF looping forever; each frame is cleared to the background (disposal 2)."""
    min_size = 2
    while (1 << min_size) < len(palette):
        min_size += 1
    table = bytearray()
    for i in range(1 << min_size):
        table.extend(palette[i] if i < len(palette) else (0, 0, 0))
    data = bytearray(b"GIF89a")
    data += struct.pack("<HHBBB", width, height, 0x80 | (min_size - 1), 0, 0)
    data += table
    data += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00"
    for frame in frames:
        data += struct.pack("<BBBBHBB", 0x21, 0xF9, 4, (2 << 2) | 1, delay_cs, transparent, 0)
        data += struct.pack("<BHHHHB", 0x2C, 0, 0, width, height, 0)
        data.append(min_size)
        coded = lzw_encode(frame, min_size)
        for i in range(0, len(coded), 255):
            block = coded[i:i + 255]
            data.append(len(block))
            data += block
        data.append(0)
    data.append(0x3B)
    with open(path, "wb") as f:
        f.write(bytes(data))


def loading_frames():
    # Eight dots on a circle; the bright one walks round, its two predecessors fade.
    size, dots, ring, dot_radius = 32, 8, 11.0, 2.6
    frames = []
    for step in range(dots):
        pixels = []
        for y in range(size):
            for x in range(size):
                index = 0
                for d in range(dots):
                    angle = 2 * math.pi * d / dots - math.pi / 2
                    cx = 15.5 + ring * math.cos(angle)
                    cy = 15.5 + ring * math.sin(angle)
                    if (x - cx) ** 2 + (y - cy) ** 2 <= dot_radius ** 2:
                        age = (step - d) % dots
                        index = 3 if age == 0 else 2 if age <= 2 else 1
                pixels.append(index)
        frames.append(pixels)
    return frames


def main():
    os.makedirs(OUT, exist_ok=True)
    write_png(os.path.join(OUT, "logo.png"), *logo())
    write_png(os.path.join(OUT, "frame-normal.png"), *button_frame(COLOUR.FrameOutline))
    write_png(os.path.join(OUT, "frame-highlight.png"), *button_frame(COLOUR.FrameOutlineHighlight))
    palette = [COLOUR.Background, COLOUR.IndicatorDot, COLOUR.IndicatorTrail, COLOUR.IndicatorLead]
    write_gif(os.path.join(OUT, "loading.gif"), 32, 32, palette, loading_frames(), 14, 0)


if __name__ == "__main__":
    main()
