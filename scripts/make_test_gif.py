#!/usr/bin/env python3
"""Draws the panel's "test running" image: a 16 x 16 ring of seven dots whose bright head goes round, seven
frames, looping. Writes resources/html/143.gif; the output is the same on every run."""

import math
import pathlib
import struct

SIZE = 16
FRAMES = 7
DELAY_CS = 10  # hundredths of a second per frame
MATTE = (0xEE, 0xEE, 0xEE)  # the panel cell the image sits on: anti-aliased edges blend into it
HEAD = (0x1F, 0x6F, 0xB5)
TAIL = (0xB8, 0xCF, 0xE4)
RING_RADIUS = 5.2
DOT_RADIUS = 1.75
SUPERSAMPLE = 4


def mix(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def dot_colour(age):
    """Colour and size of a dot `age` steps behind the head."""
    t = age / (FRAMES - 1)
    return mix(HEAD, TAIL, t), DOT_RADIUS * (1.0 - 0.35 * t)


def render(frame):
    """One frame as rows of (r, g, b) or None for a transparent pixel."""
    centre = (SIZE - 1) / 2
    dots = []
    for i in range(FRAMES):
        angle = 2 * math.pi * i / FRAMES - math.pi / 2
        colour, radius = dot_colour((frame - i) % FRAMES)
        dots.append((centre + RING_RADIUS * math.cos(angle), centre + RING_RADIUS * math.sin(angle), radius, colour))
    pixels = []
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            cover = [0.0, 0.0, 0.0, 0]
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    px = x + (sx + 0.5) / SUPERSAMPLE
                    py = y + (sy + 0.5) / SUPERSAMPLE
                    for dx, dy, radius, colour in dots:
                        if (px - 0.5 - dx) ** 2 + (py - 0.5 - dy) ** 2 <= radius * radius:
                            for c in range(3):
                                cover[c] += colour[c]
                            cover[3] += 1
                            break
            if cover[3] == 0:
                row.append(None)
            else:
                samples = SUPERSAMPLE * SUPERSAMPLE
                inside = tuple(cover[c] / cover[3] for c in range(3))
                row.append(mix(MATTE, inside, cover[3] / samples))
        pixels.append(row)
    return pixels


class BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.bits = 0

    def write(self, code, size):
        self.acc |= code << self.bits
        self.bits += size
        while self.bits >= 8:
            self.out.append(self.acc & 0xFF)
            self.acc >>= 8
            self.bits -= 8

    def finish(self):
        if self.bits:
            self.out.append(self.acc & 0xFF)
        return bytes(self.out)


def lzw(indices, min_size):
    clear, end = 1 << min_size, (1 << min_size) + 1
    writer = BitWriter()

    def reset():
        return {(i,): i for i in range(clear)}, end + 1, min_size + 1

    table, next_code, size = reset()
    writer.write(clear, size)
    word = ()
    for index in indices:
        longer = word + (index,)
        if longer in table:
            word = longer
            continue
        writer.write(table[word], size)
        if next_code == 4096:
            writer.write(clear, size)
            table, next_code, size = reset()
        else:
            if next_code >= (1 << size):
                size += 1
            table[longer] = next_code
            next_code += 1
        word = (index,)
    writer.write(table[word], size)
    if next_code >= (1 << size) and size < 12:
        size += 1  # the reader has grown its code size after the last code
    writer.write(end, size)
    return writer.finish()


def sub_blocks(data):
    out = bytearray()
    for i in range(0, len(data), 255):
        chunk = data[i:i + 255]
        out.append(len(chunk))
        out += chunk
    out.append(0)
    return bytes(out)


def main():
    frames = [render(f) for f in range(FRAMES)]
    palette = [(0, 0, 0)]  # index 0: transparent
    for frame in frames:
        for row in frame:
            for pixel in row:
                if pixel is not None and pixel not in palette:
                    palette.append(pixel)
    bits = max(2, (len(palette) - 1).bit_length())
    if len(palette) > 256:
        raise SystemExit("too many colours")
    palette += [(0, 0, 0)] * ((1 << bits) - len(palette))

    gif = bytearray(b"GIF89a")
    gif += struct.pack("<HHBBB", SIZE, SIZE, 0x80 | ((bits - 1) << 4) | (bits - 1), 0, 0)
    for colour in palette:
        gif += bytes(colour)
    gif += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00"  # loop for ever
    for frame in frames:
        # Each frame is whole: dispose to background so its transparent pixels do not show the last one.
        gif += struct.pack("<BBBBHBB", 0x21, 0xF9, 4, (2 << 2) | 1, DELAY_CS, 0, 0)
        gif += struct.pack("<BHHHHB", 0x2C, 0, 0, SIZE, SIZE, 0)
        indices = [0 if p is None else palette.index(p) for row in frame for p in row]
        gif.append(bits)
        gif += sub_blocks(lzw(indices, bits))
    gif.append(0x3B)
    target = pathlib.Path(__file__).resolve().parent.parent / "resources" / "html" / "143.gif"
    target.write_bytes(bytes(gif))
    print(f"{target}: {len(gif)} bytes, {len(palette)} palette entries")


if __name__ == "__main__":
    main()
