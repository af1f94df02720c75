#!/usr/bin/env python3
"""Writes a GIF whose images are far larger than its screen.

Usage: huge_image.py OUT.gif SCREEN_SIDE IMAGE_SIDE FRAMES

The screen is SCREEN_SIDE pixels square; each of the FRAMES images is IMAGE_SIDE pixels square at
0, 0, filled with colour 0, 1, 0, ... (red, blue), 100 ms each. The LZW data is as short as LZW
allows for one colour (every code the longest string the table holds, without clear codes after the
first), so a 65535 x 65535 image takes about 1.6 MB.
"""
import struct
import sys

CODE_SIZE = 2  # the smallest GIF allows; colours 0 and 1
CLEAR, END = 1 << CODE_SIZE, (1 << CODE_SIZE) + 1
FIRST = END + 1  # the first code the table defines
MAX_CODE = 4095


def lzw_one_colour(colour, pixels):
    """The code stream of `pixels` pixels of one colour, as giflib's decoder reads it."""
    out = bytearray()
    acc = bits = 0
    # The decoder's state (giflib's RunningCode, RunningBits, MaxCode1): the width of each code
    # grows once the table's next entry no longer fits.
    running, width, limit = FIRST, CODE_SIZE + 1, 1 << (CODE_SIZE + 1)

    def put(code):
        nonlocal acc, bits, running, width, limit
        acc |= code << bits
        bits += width
        while bits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            bits -= 8
        if running < MAX_CODE + 2:
            running += 1
            if running > limit and width < 12:
                limit <<= 1
                width += 1

    put(CLEAR)
    running, width, limit = FIRST, CODE_SIZE + 1, 1 << (CODE_SIZE + 1)  # what the clear code resets
    # The literal, then code FIRST + k standing for k + 2 pixels, each defined as it is used.
    left = pixels
    length = 1
    code = colour
    while left > 0:
        if length > left:  # the last string: one the table already holds
            length = left
            code = colour if length == 1 else FIRST + length - 2
        put(code)
        left -= length
        if code == colour or (code < MAX_CODE and length == code - FIRST + 2):
            code = FIRST if code == colour else code + 1
            length = code - FIRST + 2
    put(END)
    if bits > 0:
        out.append(acc & 0xFF)
    blocks = bytearray([CODE_SIZE])
    for at in range(0, len(out), 255):
        chunk = out[at:at + 255]
        blocks.append(len(chunk))
        blocks += chunk
    blocks.append(0)
    return bytes(blocks)


def main():
    path, screen, side, frames = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
    gif = bytearray(b"GIF89a")
    gif += struct.pack("<HHBBB", screen, screen, 0x80, 0, 0)  # global table of 2 colours
    gif += bytes([255, 0, 0, 0, 0, 255])
    data = {}
    for frame in range(frames):
        colour = frame % 2
        if colour not in data:
            data[colour] = lzw_one_colour(colour, side * side)
        gif += bytes([0x21, 0xF9, 4, 0]) + struct.pack("<H", 10) + bytes([0, 0])
        gif += b"\x2c" + struct.pack("<HHHHB", 0, 0, side, side, 0)
        gif += data[colour]
    gif += b"\x3b"
    with open(path, "wb") as f:
        f.write(gif)


if __name__ == "__main__":
    main()
