#!/usr/bin/env python3
"""Makes the Writer firmware files that ship in the program folder.

    data/USE_IAP/FLASH_OV.IAP      the Writer's in-application programming part, for every device
    data/USE_DRV/<device>.DRV      one driver per device of the kit

The devices are the description files of data/USE_INC2 that give their own ROM size (the family
files they include do not), and the two BIN-only series, which have no description file. The
driver file is named after the device as the operator picks it, so the series get
"VXLARK (BIN).DRV" and "VXWREN (BIN).DRV".

The files stand in for the maker's firmware: a vector table, code-like bytes from a fixed
pseudo-random sequence, erased (0xFF) flash after the code, and the words the program reads,
big-endian, high byte first:

    IAP     0x0DF0  IAP version (IAP_VERSION); the IAP checksum covers the bytes below it
    driver  0x1000  driver version (DRIVER_VERSION)
            0x1002  driver date word (DRIVER_DATE, year and month in BCD)
            0x1004  signature 0xA145
            0x1006  the device name, 16 bytes, zero-padded

All drivers are of one release (one version and date), so a Writer updated for one device
finds the others current. The simulated Writer starts with IAP version 0x0100 (current) and a
driver date of 0x0000, so the first load updates its driver and later loads do not.

Run from anywhere:  python3 tools/make_firmware.py   (the output is committed, and the same
each time.)
"""

import pathlib
import re
import struct
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
DATA = ROOT / "data"

IAP_SIZE = 0xE00                # 56 blocks of 64 bytes
IAP_CODE_END = 0xC40
IAP_VERSION_OFFSET = 0xDF0
IAP_VERSION = 0x0100
IAP_DATE = 0x2509

DRIVER_SIZE = 0x1400            # 80 blocks of 64 bytes
DRIVER_CODE_END = 0xE80
DRIVER_VERSION_OFFSET = 0x1000
DRIVER_VERSION = 0x0105
DRIVER_DATE = 0x2603
SIGNATURE = 0xA145
DRIVER_TABLE_OFFSET = 0x1020    # the device's programming timing table
DRIVER_TABLE_END = 0x1180

BIN_ONLY_SERIES = ["VXLARK (BIN)", "VXWREN (BIN)"]
ASSEMBLY_BODY_SIZE = re.compile(rb"^\s*\.ASSEMBLY\s+OTP_BODY_SIZE\s", re.IGNORECASE | re.MULTILINE)


def pseudo_random(seed):
    """xorshift32: the same bytes on every run and every platform."""
    state = (seed & 0xFFFFFFFF) or 0x1234567
    while True:
        state ^= (state << 13) & 0xFFFFFFFF
        state ^= state >> 17
        state ^= (state << 5) & 0xFFFFFFFF
        yield state


def name_seed(name):
    seed = 2166136261
    for byte in name.encode("ascii"):
        seed = ((seed ^ byte) * 16777619) & 0xFFFFFFFF
    return seed


def code_like(seed, length):
    """Thumb-looking half-words: mostly moves, loads, stores and branches."""
    rng = pseudo_random(seed)
    opcodes = [0x2000, 0x4600, 0x6800, 0x6000, 0xB500, 0xBD00, 0xD000, 0xE000, 0x1C00, 0x4770]
    out = bytearray()
    while len(out) < length:
        r = next(rng)
        half = (opcodes[r % len(opcodes)] | ((r >> 8) & 0xFF)) & 0xFFFF
        out += struct.pack("<H", half)
    return out[:length]


def vector_table(reset_address, entries):
    table = struct.pack("<I", 0x20001000)  # initial stack pointer
    for i in range(entries):
        table += struct.pack("<I", reset_address + 8 * i + 1)  # odd: Thumb entry points
    return table


def make_iap():
    image = bytearray(b"\xFF" * IAP_SIZE)
    code = vector_table(0x08000100, 15) + code_like(name_seed("FLASH_OV"), IAP_CODE_END - 64)
    image[0:len(code)] = code
    tag = b"FLASH_OV IAP".ljust(16, b"\0")
    image[IAP_VERSION_OFFSET - 16:IAP_VERSION_OFFSET] = tag
    image[IAP_VERSION_OFFSET:IAP_VERSION_OFFSET + 4] = struct.pack(">HH", IAP_VERSION, IAP_DATE)
    checksum = sum(image[:IAP_VERSION_OFFSET]) & 0xFFFF
    assert checksum != 0
    return bytes(image)


def make_driver(device):
    image = bytearray(b"\xFF" * DRIVER_SIZE)
    seed = name_seed(device)
    code = vector_table(0x08004100, 15) + code_like(seed, DRIVER_CODE_END - 64)
    image[0:len(code)] = code
    words = struct.pack(">HHH", DRIVER_VERSION, DRIVER_DATE, SIGNATURE)
    image[DRIVER_VERSION_OFFSET:DRIVER_VERSION_OFFSET + 6] = words
    name = device.encode("ascii")[:16].ljust(16, b"\0")
    image[DRIVER_VERSION_OFFSET + 6:DRIVER_VERSION_OFFSET + 22] = name
    rng = pseudo_random(seed ^ 0x5A5A5A5A)
    table = bytes(next(rng) & 0xFF for _ in range(DRIVER_TABLE_END - DRIVER_TABLE_OFFSET))
    image[DRIVER_TABLE_OFFSET:DRIVER_TABLE_END] = table
    # The simulated Writer tells a driver update from an EEPROM job by a nonzero checksum.
    assert sum(image) & 0xFFFF != 0
    return bytes(image)


def kit_devices():
    devices = []
    for inc in sorted((DATA / "USE_INC2").glob("*.INC")):
        if ASSEMBLY_BODY_SIZE.search(inc.read_bytes()):
            devices.append(inc.stem)
    return devices + BIN_ONLY_SERIES


def main():
    iap_dir = DATA / "USE_IAP"
    drv_dir = DATA / "USE_DRV"
    iap_dir.mkdir(parents=True, exist_ok=True)
    drv_dir.mkdir(parents=True, exist_ok=True)
    (iap_dir / "FLASH_OV.IAP").write_bytes(make_iap())
    devices = kit_devices()
    for device in devices:
        (drv_dir / (device + ".DRV")).write_bytes(make_driver(device))
    print(f"FLASH_OV.IAP and {len(devices)} drivers: {', '.join(devices)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
