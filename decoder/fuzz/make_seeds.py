#!/usr/bin/env python3
"""Writes fuzz seeds for mp3_lib: the first frames of Layer III streams as call
records (see mp3_lib.cpp). Usage: make_seeds.py OUT_DIR STREAM.mp3 [...]"""
import os
import struct
import sys

MPEG1 = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320]
LSF = [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160]
RATES = [[44100, 48000, 32000], [22050, 24000, 16000], [11025, 12000, 8000]]


def frames(data):
    at = 0
    while at + 4 <= len(data):
        h = data[at:at + 4]
        if h[0] != 0xFF or (h[1] & 0xE0) != 0xE0:
            at += 1
            continue
        mpeg1 = bool(h[1] & 8)
        row = 2 if not (h[1] & 0x10) else (0 if mpeg1 else 1)
        rate = RATES[row][(h[2] >> 2) & 3] if (h[2] >> 2) & 3 != 3 else 0
        index = h[2] >> 4
        if rate == 0 or index in (0, 15):
            at += 1
            continue
        pad = (h[2] >> 1) & 1
        length = (144000 * MPEG1[index] // rate if mpeg1 else 72000 * LSF[index] // rate) + pad
        yield data[at:at + length]
        at += length


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for path in sys.argv[2:]:
        with open(path, "rb") as f:
            data = f.read()
        record = b""
        position = 4000  # close to the end, so that frames wrap around the ring
        for n, frame in enumerate(frames(data)):
            if n == 4:
                break
            record += struct.pack("<BHHH", 1 if n == 0 else 0, position, len(frame) - 4, len(frame)) + frame
            position = (position + len(frame)) % 4096
        name = os.path.splitext(os.path.basename(path))[0]
        with open(os.path.join(out, name), "wb") as f:
            f.write(record)


if __name__ == "__main__":
    main()
