#!/usr/bin/env python3
"""Writes shake.wav: the short knock played while the main window shakes.

83 ms of mono 16-bit PCM at 22050 Hz: a low tone with a fast decay and a small click at the
start. Run it from this folder to rebuild the committed file.
"""
import math
import struct

RATE = 22050
SECONDS = 0.083
count = int(RATE * SECONDS)
samples = []
for i in range(count):
    t = i / RATE
    envelope = math.exp(-t * 45.0)
    tone = 0.7 * math.sin(2 * math.pi * 190 * t) + 0.25 * math.sin(2 * math.pi * 570 * t)
    click = 0.4 * math.exp(-t * 900.0) * math.sin(2 * math.pi * 2400 * t)
    fade_out = min(1.0, (count - i) / (RATE * 0.004))
    value = (tone * envelope + click) * fade_out
    samples.append(max(-32767, min(32767, int(value * 22000))))

data = b"".join(struct.pack("<h", s) for s in samples)
header = b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVE"
header += b"fmt " + struct.pack("<IHHIIHH", 16, 1, 1, RATE, RATE * 2, 2, 16)
header += b"data" + struct.pack("<I", len(data))
with open("shake.wav", "wb") as out:
    out.write(header + data)
