#!/usr/bin/env python3
"""Writes the placeholder jig firmware images of this folder.

They are not programs: a real jig needs the images that come with it. Each one
carries the mark STAND_IN_MARK, which no real image has: the tool refuses to
flash a marked image or play the marked script through anything but the
virtual jig. Each one also carries the identification of the firmware it stands for after the marker
"JIGID:" (NUL-terminated), which is how the virtual jig knows what it was given.
The rest is filler that looks like code: a vector table, some varied bytes and a
few gaps left at 0xFF, so that decoding and flashing see realistic images.

It also writes NUVOTON.qjf, a placeholder of the JTAG script that the Nuvoton
JTAG window plays into the chip before a read or a write: made-up steps in the
script's line format (CR LF line ends), ending with the combined shift
SCRIPT_END, which the virtual jig takes as "the script was played".

Run:  python3 firmware/make_images.py  (rewrites the files next to this script)
"""
import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))
IMAGE_SIZE = 0x1800  # the application section the Intel HEX bootloader writes
STAND_IN_MARK = "QJIG-STAND-IN:VIRTUAL-JIG-ONLY"

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
    img += STAND_IN_MARK.encode() + b"\x00"
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


# The last line of the placeholder script: a combined shift (command E0h, value
# 00C0FFEEh, extra byte 5Ah) that no other line uses.
SCRIPT_END = "d E0   00C0FFEE 5A"


def jtag_script(seed=6):
    """Made-up JTAG steps: "i XX" instruction shifts, "d XX" data shifts,
    "D XXXXXXXX" 32-bit shifts and "d XX   VVVVVVVV EE" combined shifts."""
    rnd = random.Random(seed)
    lines = [
        "; Quillmore JIG placeholder script: not for a real chip",
        "; " + STAND_IN_MARK,
        "; lines that start with another letter than i, d, D are skipped",
        "i 01",
        "D 00000000",
        "i 0E",
        "d 00",
    ]
    for block in range(40):
        base = 0x40000000 + block * 0x100
        lines.append("i %02X" % rnd.choice([0x02, 0x03, 0x0C]))
        for k in range(rnd.randrange(3, 6)):
            lines.append("d %02X   %08X %02X" % (rnd.randrange(0x20, 0x60), base + 4 * k, rnd.randrange(1, 8)))
        if block % 5 == 0:
            lines.append("d %02X   %08X" % (rnd.randrange(256), rnd.randrange(1 << 32)))
        if block % 3 == 0:
            lines.append("D %08X" % rnd.randrange(1 << 32))
    lines.append("i 0F")
    lines.append(SCRIPT_END)
    return ("\r\n".join(lines) + "\r\n").encode("ascii")


def main():
    for name, ident, length, seed in HEX_IMAGES:
        data = program(ident, length, seed)
        assert len(data) <= IMAGE_SIZE
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(intel_hex(data))
    name, ident, length, seed = V3_IMAGE
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(program(ident, length, seed))
    with open(os.path.join(HERE, "NUVOTON.qjf"), "wb") as f:
        f.write(jtag_script())


if __name__ == "__main__":
    main()
