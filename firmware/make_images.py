#!/usr/bin/env python3
"""Writes the placeholder jig firmware images of this folder.

They are not programs: a real jig needs the images that come with it. Each one
carries the identification of the firmware it stands for after the marker
"JIGID:" (NUL-terminated), which is how the virtual jig knows what it was given.
The rest is filler that looks like code: a vector table, some varied bytes and a
few gaps left at 0xFF, so that decoding and flashing see realistic images.

Run:  python3 firmware/make_images.py  (rewrites the files next to this script)
"""
import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))
IMAGE_SIZE = 0x1800  # the application section the Intel HEX bootloader writes

# file name, identification, bytes of filler before the marker, seed
HEX_IMAGES = [
    ("ENE_EDID_KB.hex", "ENE_EDID_KB", 0x0B30, 1),
    ("Q37_jtag.hex", "V42_Q37", 0x0D18, 2),
    ("ITE2_PROJ_Q37.hex", "ITE2_PROJ_Q37", 0x1120, 3),
    ("Q37_NPCE288.hex", "NPCE_Q37", 0x0E64, 4),
]
V3_IMAGE = ("M328_EPM240_v19.qjf", "M328_EPM240_v19", 5000, 5)


def program(ident, length, seed):
    rnd = random.Random(seed)
    img = bytearray()
    for v in range(26):  # jump table: "jmp" words to a handler
        img += bytes([0x0C, 0x94, 0x34 + 2 * v, 0x00])
    while len(img) < length:
        img += bytes(rnd.randrange(256) for _ in range(rnd.randrange(8, 40)))
        if rnd.random() < 0.08:
            img += b"\xff" * rnd.randrange(16, 48)  # a gap, kept as 0xFF
    del img[length:]
    img += b"JIGID:" + ident.encode() + b"\x00"
    img += bytes(rnd.randrange(256) for _ in range(21))  # ends on a byte other than 0xFF
    img[-1] = 0x5A
    return bytes(img)


def intel_hex(data):
    out = []
    for addr in range(0, len(data), 16):
        chunk = data[addr:addr + 16]
        if all(b == 0xFF for b in chunk):
            continue  # erased flash needs no record
        rec = bytes([len(chunk), addr >> 8, addr & 0xFF, 0]) + chunk
        rec += bytes([(-sum(rec)) & 0xFF])
        out.append(":" + rec.hex().upper() + "\r\n")
    out.append(":00000001FF\r\n")
    return "".join(out).encode("ascii")


def main():
    for name, ident, length, seed in HEX_IMAGES:
        data = program(ident, length, seed)
        assert len(data) <= IMAGE_SIZE
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(intel_hex(data))
    name, ident, length, seed = V3_IMAGE
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(program(ident, length, seed))


if __name__ == "__main__":
    main()
