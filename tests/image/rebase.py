#!/usr/bin/python3
"""Writes a copy of a PE32+ image moved to another base, as the loader moves it under ASLR.

    /usr/bin/python3 tests/image/rebase.py IMAGE OUTPUT BASE [--leave-relocations]

Every base relocation is applied to the file's section data, and the header's ImageBase becomes BASE.
Wine maps an executable at the base its header names, so the copy runs at BASE with code and data that
the relocations moved there: the same bytes that Windows runs after moving the original. The
relocation directory stays, so a loader that cannot use BASE can still move the copy on from there.

Only DIR64 relocations and the ABSOLUTE padding entries are taken; any other kind, or a target that is
not inside a section's file data (where a change could not reach the mapped image), fails the tool, as
would an image that a loader could not move.

--leave-relocations writes the new base alone: a copy whose addresses still point at the old base,
which must not survive a run (the check that the rebased tests can fail).
"""

import struct
import sys

IMAGE_REL_BASED_ABSOLUTE = 0
IMAGE_REL_BASED_DIR64 = 10
BASE_RELOCATION_DIRECTORY = 5
# The loader maps images on allocation-granularity boundaries.
ALLOCATION_GRANULARITY = 0x10000


class Image:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise SystemExit("not a PE image")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise SystemExit("not a PE image")
        coff = pe + 4
        machine, sections, _, _, _, optional_size, characteristics = struct.unpack_from("<HHIIIHH", data, coff)
        self.optional = coff + 20
        if machine != 0x8664 or struct.unpack_from("<H", data, self.optional)[0] != 0x20B:
            raise SystemExit("not a PE32+ image for AMD64")
        if characteristics & 0x0001:
            raise SystemExit("the image's relocations were stripped: it cannot be moved")
        self.base = struct.unpack_from("<Q", data, self.optional + 24)[0]
        self.sections = []
        table = self.optional + optional_size
        for k in range(sections):
            virtual_size, rva, raw_size, raw_pointer = struct.unpack_from("<IIII", data, table + 40 * k + 8)
            # Only what is both in the file and mapped: file bytes past the virtual size are not loaded,
            # and memory past the file bytes starts as zeros that no change of the file can reach.
            mapped = min(virtual_size, raw_size) if virtual_size else raw_size
            self.sections.append((rva, mapped, raw_pointer))
        self.relocations = struct.unpack_from("<II", data, self.optional + 112 + 8 * BASE_RELOCATION_DIRECTORY)

    def offset(self, rva, size):
        """File offset of `size` bytes at `rva`, which must lie in one section's file data."""
        for start, mapped, raw_pointer in self.sections:
            if start <= rva and rva + size <= start + mapped:
                return raw_pointer + rva - start
        return None

    def dir64_targets(self):
        """RVAs of the DIR64 relocations, in directory order."""
        directory, size = self.relocations
        if size == 0:
            raise SystemExit("the image has no base relocations")
        at = self.offset(directory, size)
        if at is None:
            raise SystemExit(f"the relocation directory at {directory:#x} is not in the file's section data")
        end = at + size
        targets = []
        while at < end:
            if end - at < 8:
                raise SystemExit(f"a relocation block header is cut off at file offset {at:#x}")
            page, block_size = struct.unpack_from("<II", self.data, at)
            if block_size < 8 or block_size % 2 or at + block_size > end:
                raise SystemExit(f"the relocation block for page {page:#x} has a size of {block_size}")
            for (entry,) in struct.iter_unpack("<H", self.data[at + 8:at + block_size]):
                kind, rva = entry >> 12, page + (entry & 0xFFF)
                if kind == IMAGE_REL_BASED_DIR64:
                    targets.append(rva)
                elif kind != IMAGE_REL_BASED_ABSOLUTE:
                    raise SystemExit(f"relocation of kind {kind} at {rva:#x}: only DIR64 is expected")
            at += block_size
        return targets


def rebase(data, new_base, apply_relocations=True):
    """The image `data` moved to `new_base`, and the number of relocations applied."""
    if new_base % ALLOCATION_GRANULARITY or not 0 < new_base < 1 << 47:
        raise SystemExit(f"{new_base:#x} is not a base that a 64-bit image can be mapped at")
    image = Image(bytearray(data))
    targets = image.dir64_targets()
    delta = new_base - image.base
    for rva in targets:
        at = image.offset(rva, 8)
        if at is None:
            raise SystemExit(f"a DIR64 relocation at {rva:#x} lies outside the file's section data")
        if apply_relocations:
            value = struct.unpack_from("<Q", image.data, at)[0]
            struct.pack_into("<Q", image.data, at, (value + delta) % (1 << 64))
    struct.pack_into("<Q", image.data, image.optional + 24, new_base)
    return bytes(image.data), len(targets) if apply_relocations else 0


def main(argv):
    options = [a for a in argv if a.startswith("--")]
    arguments = [a for a in argv if not a.startswith("--")]
    if len(arguments) != 3 or set(options) - {"--leave-relocations"}:
        raise SystemExit(__doc__)
    source, output, base = arguments
    with open(source, "rb") as f:
        data = f.read()
    moved, applied = rebase(data, int(base, 0), "--leave-relocations" not in options)
    with open(output, "wb") as f:
        f.write(moved)
    print(f"{output}: based at {int(base, 0):#x}, {applied} relocations applied")


if __name__ == "__main__":
    main(sys.argv[1:])
