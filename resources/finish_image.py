#!/usr/bin/python3
"""Sets the header fields of a linked PE32+ image that GNU ld cannot be told to set.

    /usr/bin/python3 resources/finish_image.py IMAGE MAP

- File characteristics: exactly executable image and large-address aware. ld always adds the
  "line numbers / local symbols / debug information stripped" flags, which mean nothing today.
- Header checksum: 0. ld always computes one; only drivers and boot-time images need it, and a zero
  says plainly that the image is not meant to be checked.
- Load configuration directory: the RVA of `_load_config_used`, whose address ld's map file (-Map)
  gives, and as its size the structure's own `Size`, which Windows' loader holds the directory to. ld
  keeps the structure but leaves the directory empty, and without the directory the loader would not
  seed the stack-protector cookie. The step fails unless the structure is what the loader accepts:
  `Size` reaches `SEHandlerCount` (the classic 64-bit layout), the structure lies in the file's section
  data, its cookie pointer holds the address of `__stack_chk_guard`, the guard lies in a writable
  section's data with its unseeded value, and no control-flow guard flags are set.

Rewrites IMAGE in place; running it again changes nothing.
"""

import re
import struct
import sys

IMAGE_FILE_EXECUTABLE_IMAGE = 0x0002
IMAGE_FILE_LARGE_ADDRESS_AWARE = 0x0020
IMAGE_SCN_MEM_WRITE = 0x80000000
LOAD_CONFIG_DIRECTORY = 10
SECURITY_COOKIE_OFFSET = 0x58
SE_HANDLER_COUNT_END = 0x70
GUARD_FLAGS_OFFSET = 0x90
UNSEEDED_COOKIE = 0x00002B992DDFA232


def map_symbols(path, names):
    """Addresses of the named symbols in an ld map file."""
    found = {}
    pattern = re.compile(r"^\s+0x([0-9a-fA-F]+)\s+(\S+)\s*$")
    with open(path, encoding="utf-8", errors="replace") as source:
        for line in source:
            match = pattern.match(line)
            if match and match.group(2) in names:
                found[match.group(2)] = int(match.group(1), 16)
    missing = [name for name in names if name not in found]
    if missing:
        raise SystemExit(f"{path}: no address for {', '.join(missing)} (was the symbol kept with -u?)")
    return found


class Image:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise SystemExit("not a PE image")
        self.pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[self.pe:self.pe + 4] != b"PE\0\0":
            raise SystemExit("not a PE image")
        self.coff = self.pe + 4
        machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, self.coff)
        self.optional = self.coff + 20
        if machine != 0x8664 or struct.unpack_from("<H", data, self.optional)[0] != 0x20B:
            raise SystemExit("not a PE32+ image for AMD64")
        self.image_base = struct.unpack_from("<Q", data, self.optional + 24)[0]
        self.directories = self.optional + 112
        self.sections = []
        table = self.optional + optional_size
        for k in range(sections):
            virtual_size, rva, raw_size, raw_pointer = struct.unpack_from("<IIII", data, table + 40 * k + 8)
            characteristics = struct.unpack_from("<I", data, table + 40 * k + 36)[0]
            self.sections.append((rva, max(virtual_size, raw_size), raw_pointer, raw_size, characteristics))

    def section(self, va, size):
        """(file offset, characteristics) of `size` bytes at virtual address `va`, which must lie in one
        section's file data."""
        rva = va - self.image_base
        for start, _, raw_pointer, raw_size, characteristics in self.sections:
            if start <= rva and rva + size <= start + raw_size:
                return raw_pointer + rva - start, characteristics
        raise SystemExit(f"{size} bytes at {va:#x} are not backed by one section's file data")

    def offset(self, va, size):
        return self.section(va, size)[0]

    def u32(self, va):
        return struct.unpack_from("<I", self.data, self.offset(va, 4))[0]

    def u64(self, va):
        return struct.unpack_from("<Q", self.data, self.offset(va, 8))[0]


def finish(image_path, map_path):
    symbols = map_symbols(map_path, ["_load_config_used", "__stack_chk_guard"])
    with open(image_path, "rb") as f:
        data = bytearray(f.read())
    image = Image(data)

    config = symbols["_load_config_used"]
    guard = symbols["__stack_chk_guard"]
    size = image.u32(config)
    if size < SE_HANDLER_COUNT_END:
        raise SystemExit(f"_load_config_used declares {size:#x} bytes, fewer than the {SE_HANDLER_COUNT_END:#x} "
                         "of the fields up to SEHandlerCount")
    image.section(config, size)  # the whole structure in one section's file data, or the step fails
    cookie = image.u64(config + SECURITY_COOKIE_OFFSET)
    if cookie != guard:
        raise SystemExit(f"the load configuration's cookie is {cookie:#x}, not __stack_chk_guard at {guard:#x}")
    if not image.section(guard, 8)[1] & IMAGE_SCN_MEM_WRITE:
        raise SystemExit(f"__stack_chk_guard at {guard:#x} lies in a section that the loader cannot write")
    if image.u64(guard) != UNSEEDED_COOKIE:
        raise SystemExit(f"__stack_chk_guard starts as {image.u64(guard):#x}, which the loader would not seed")
    if size >= GUARD_FLAGS_OFFSET + 4 and image.u32(config + GUARD_FLAGS_OFFSET) != 0:
        raise SystemExit(f"_load_config_used sets control-flow guard flags {image.u32(config + GUARD_FLAGS_OFFSET):#x}")

    struct.pack_into("<H", data, image.coff + 18, IMAGE_FILE_EXECUTABLE_IMAGE | IMAGE_FILE_LARGE_ADDRESS_AWARE)
    struct.pack_into("<I", data, image.optional + 64, 0)
    struct.pack_into("<II", data, image.directories + 8 * LOAD_CONFIG_DIRECTORY, config - image.image_base, size)
    with open(image_path, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    finish(sys.argv[1], sys.argv[2])
