#!/usr/bin/python3
"""Checks tests/image/rebase.py on the built ostrand.exe: the moved copy holds what pefile's own
relocation gives, and an image that a loader could not move is refused.

    /usr/bin/python3 tests/image/rebase_test.py build/mingw/ostrand.exe
"""

import os
import struct
import sys
import unittest

import pefile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import rebase  # noqa: E402

IMAGE = None
NEW_BASE = 0x7FF612340000


class Rebase(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(IMAGE, "rb") as f:
            cls.data = f.read()
        pe = pefile.PE(data=cls.data)
        directory = pe.OPTIONAL_HEADER.DATA_DIRECTORY[5]
        # File offset of the first relocation block.
        cls.block = pe.get_offset_from_rva(directory.VirtualAddress)
        cls.bss = next(s.VirtualAddress for s in pe.sections if s.SizeOfRawData == 0)

    def test_moved_copy_is_what_pefile_relocation_gives(self):
        moved, applied = rebase.rebase(self.data, NEW_BASE)
        expected = pefile.PE(data=self.data)
        expected.relocate_image(NEW_BASE)
        got = pefile.PE(data=moved)
        self.assertEqual(got.OPTIONAL_HEADER.ImageBase, NEW_BASE)
        self.assertGreater(applied, 0)
        for want, have in zip(expected.sections, got.sections):
            with self.subTest(want.Name.rstrip(b"\0").decode()):
                self.assertEqual(have.get_data(), want.get_data())

    def test_left_unapplied_only_the_base_changes(self):
        moved, applied = rebase.rebase(self.data, NEW_BASE, apply_relocations=False)
        changed = [k for k in range(len(moved)) if moved[k] != self.data[k]]
        self.assertEqual(applied, 0)
        self.assertTrue(changed and max(changed) - min(changed) < 8, f"bytes changed at {changed}")

    def test_refused(self):
        def patched(offset, fmt, value):
            data = bytearray(self.data)
            struct.pack_into(fmt, data, offset, value)
            return bytes(data)

        first_entry = struct.unpack_from("<H", self.data, self.block + 8)[0]
        rows = [
            ("a HIGHLOW entry", patched(self.block + 8, "<H", 0x3000 | first_entry & 0xFFF), NEW_BASE,
             "kind 3"),
            ("a page in the section without file data", patched(self.block, "<I", self.bss), NEW_BASE,
             "outside the file's section data"),
            ("a block shorter than its header", patched(self.block + 4, "<I", 6), NEW_BASE, "has a size of 6"),
            ("a base off the allocation granularity", self.data, NEW_BASE + 0x1000, "not a base"),
            ("a base beyond the user address space", self.data, 1 << 47, "not a base"),
        ]
        for label, data, base, message in rows:
            with self.subTest(label):
                with self.assertRaisesRegex(SystemExit, message):
                    rebase.rebase(data, base)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        raise SystemExit(__doc__)
    IMAGE = sys.argv[1]
    unittest.main(argv=sys.argv[:1] + sys.argv[2:], verbosity=2)
