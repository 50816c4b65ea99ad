#!/usr/bin/python3
"""Reads the built ostrand.exe and checks its headers, base relocations, imports, load configuration, debug
record and resources against what the launcher must carry.

    /usr/bin/python3 tests/image/image_test.py build/mingw/ostrand.exe build/mingw/ostrand.map

The map file, written by the link, gives the address of `__stack_chk_guard` and of the pointer through
which the compiled code reads it.
"""

import bisect
import os
import re
import struct
import subprocess
import sys
import unittest

import pefile

IMAGE = None
MAP = None

LANG_EN_US = 1033
UNSEEDED_COOKIE = 0x00002B992DDFA232

# Icon group 1, in id order from 1: (width, height, colour count, planes, bit count, id, stored as). Six
# sizes at each bit count; the 256-pixel images are PNG, the others bitmaps.
ICON_GROUP = [(size, size, colours, 1, bits, 6 * depth + k + 1, "png" if size == 256 else "bmp")
              for depth, (bits, colours, sizes) in enumerate([(32, 0, (256, 16, 20, 24, 32, 48)),
                                                              (8, 0, (16, 20, 24, 256, 32, 48)),
                                                              (4, 16, (16, 20, 24, 256, 32, 48))])
              for k, size in enumerate(sizes)]

VERSION_STRINGS = [("ProductName", "ostrand"), ("FileVersion", "1.0.0"), ("FileDescription", "ostrand"),
                   ("ProductVersion", "1.0.0")]

IMPORTED_DLLS = {"kernel32.dll", "ntdll.dll", "api-ms-win-core-synch-l1-2-0.dll"}
# What ntdll exports under C names and the image may take: memory and string functions, which keep
# no state of a C runtime.
NTDLL_MEMORY_AND_STRING = {"memchr", "memcmp", "memcpy", "memmove", "memset", "strcmp", "strlen", "strncmp"}
# A C runtime's own functions: start-up and exit, heap, stdio, errors, signals, threads, jumps.
C_RUNTIME_FUNCTIONS = {
    "abort", "atexit", "calloc", "exit", "fprintf", "fputs", "free", "fwrite", "longjmp", "malloc", "realloc",
    "signal", "strerror", "vfprintf",
}


def map_symbols(path):
    symbols = {}
    pattern = re.compile(r"^\s+0x([0-9a-fA-F]+)\s+(\S+)\s*$")
    with open(path, encoding="utf-8", errors="replace") as source:
        for line in source:
            match = pattern.match(line)
            if match:
                symbols.setdefault(match.group(2), int(match.group(1), 16))
    return symbols


# An object of the project's own, as the map names it: the launcher's archives and object files.
PROJECT_OBJECT = re.compile(r"libostrand_(core|platform)\.a\(|CMakeFiles/ostrand(_start)?\.dir/")
# Output sections that the start-up code walks as lists, without naming their entries.
WALKED_SECTIONS = (".ctors", ".dtors", ".CRT", ".tls")


def map_layout(path, functions):
    """The image in pieces, in address order: (start, object, output section) for each input section that
    the map places, each symbol that it lists in one and each of `functions` (the starts that the unwind
    table gives, which include the local functions that the map leaves out), and (end, None, None) after
    each input section. A piece runs to the next start; data that the map does not name is counted with
    the piece before it."""
    placed = re.compile(r"^\s+(?:\S+\s+)?0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")
    named = re.compile(r"^\s+0x([0-9a-f]+)\s+(?!0x)\S")
    sections, starts, output = [], list(functions), None
    with open(path, encoding="utf-8", errors="replace") as source:
        for line in source:
            if line.startswith("."):
                output = line.split()[0]
            elif match := placed.match(line):
                start, size = int(match.group(1), 16), int(match.group(2), 16)
                if start and size and output:
                    sections.append((start, start + size, match.group(3).strip(), output))
            elif match := named.match(line):
                starts.append(int(match.group(1), 16))
    sections.sort()
    pieces = {(start, None, None) for _, start, _, _ in sections}
    for start in starts + [section[0] for section in sections]:
        at = bisect.bisect_right(sections, (start, float("inf"))) - 1
        if at >= 0 and start < sections[at][1]:
            pieces.add((start, sections[at][2], sections[at][3]))
    # An end and a start at one address: the start holds.
    return sorted(pieces, key=lambda piece: (piece[0], piece[1] is not None, piece[1] or ""))


def referenced_addresses(pe):
    """Every address that a piece of the image refers to, by where the reference stands: the targets of
    calls, jumps and RIP-relative operands in the code, and the pointers that base relocations name."""
    base = pe.OPTIONAL_HEADER.ImageBase
    end = base + pe.OPTIONAL_HEADER.SizeOfImage
    references = []
    code = subprocess.run(["x86_64-w64-mingw32-objdump", "-d", "--no-show-raw-insn", IMAGE], check=True,
                          capture_output=True, text=True).stdout
    for line in code.splitlines():
        at = re.match(r"^\s+([0-9a-f]+):\t(.*)$", line)
        if at:
            for value in re.findall(r"0x([0-9a-f]+)", at.group(2)):
                if base <= int(value, 16) < end:
                    references.append((int(at.group(1), 16), int(value, 16)))
    for block in getattr(pe, "DIRECTORY_ENTRY_BASERELOC", []):
        for entry in block.entries:
            if entry.type == pefile.RELOCATION_TYPE["IMAGE_REL_BASED_DIR64"]:
                references.append((base + entry.rva, pe.get_qword_at_rva(entry.rva)))
    return references


class Executable(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = pefile.PE(IMAGE)
        cls.symbols = map_symbols(MAP)

    def va_bytes(self, va, size):
        return self.pe.get_data(va - self.pe.OPTIONAL_HEADER.ImageBase, size)

    def test_header_settings(self):
        f, o = self.pe.FILE_HEADER, self.pe.OPTIONAL_HEADER
        rows = [
            ("machine", f.Machine, 0x8664),
            ("optional header magic (PE32+)", o.Magic, 0x20B),
            ("characteristics", f.Characteristics, 0x0002 | 0x0020),
            ("subsystem", o.Subsystem, 2),
            ("subsystem version", (o.MajorSubsystemVersion, o.MinorSubsystemVersion), (6, 0)),
            ("operating-system version", (o.MajorOperatingSystemVersion, o.MinorOperatingSystemVersion), (6, 0)),
            ("DLL characteristics", o.DllCharacteristics, 0x0020 | 0x0040 | 0x0100 | 0x8000),
            ("image base", o.ImageBase, 0x140000000),
            ("stack reserve", o.SizeOfStackReserve, 0x100000),
            ("stack commit", o.SizeOfStackCommit, 0x1000),
            ("heap reserve", o.SizeOfHeapReserve, 0x100000),
            ("heap commit", o.SizeOfHeapCommit, 0x1000),
            ("checksum", o.CheckSum, 0),
            ("time stamp", f.TimeDateStamp, 0),
        ]
        for name, got, expected in rows:
            with self.subTest(name):
                self.assertEqual(got, expected)

    def test_every_address_in_the_image_is_relocated(self):
        # Windows loads the image at a new base on every start and moves exactly the values that DIR64
        # relocations name; under Wine it stays at its preferred base, so a run cannot show one missing.
        # Resources hold no addresses (the loader never relocates them) but pixels that may look like one.
        base = self.pe.OPTIONAL_HEADER.ImageBase
        end = base + self.pe.OPTIONAL_HEADER.SizeOfImage
        relocated = {entry.rva for block in getattr(self.pe, "DIRECTORY_ENTRY_BASERELOC", [])
                     for entry in block.entries if entry.type == pefile.RELOCATION_TYPE["IMAGE_REL_BASED_DIR64"]}
        addresses, unrelocated = 0, []
        for section in self.pe.sections:
            name = section.Name.rstrip(b"\0").decode()
            if name == ".rsrc":
                continue
            data = section.get_data()
            for k in range(0, len(data) - 7, 8):
                value = struct.unpack_from("<Q", data, k)[0]
                if base <= value < end:
                    addresses += 1
                    if section.VirtualAddress + k not in relocated:
                        unrelocated.append(f"{name}+{k:#x} (RVA {section.VirtualAddress + k:#x}) holds {value:#x}")
        self.assertGreater(addresses, 0, "no address found in the image at all")
        self.assertEqual(unrelocated, [], f"{len(unrelocated)} of {addresses} addresses without a DIR64 relocation")

    def test_relocations_without_signature(self):
        directory = self.pe.OPTIONAL_HEADER.DATA_DIRECTORY
        reloc = directory[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
        self.assertGreater(reloc.Size, 0, "base relocations present")
        self.assertFalse(self.pe.FILE_HEADER.Characteristics & 0x0001, "relocations not stripped")
        security = directory[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
        self.assertEqual((security.VirtualAddress, security.Size), (0, 0), "no signature")

    def test_code_and_read_only_data_are_not_writable(self):
        # ld merges read-only data into .data under some options (no run-time pseudo-relocations).
        read, write, execute = 0x40000000, 0x80000000, 0x20000000
        sections = {s.Name.rstrip(b"\0").decode(): s.Characteristics for s in self.pe.sections}
        for name, wanted in ((".text", read | execute), (".rdata", read)):
            with self.subTest(name):
                self.assertIn(name, sections)
                self.assertEqual(sections[name] & (read | write | execute), wanted)

    def test_entry_is_the_runtime_start_routine_for_main(self):
        entry = self.pe.OPTIONAL_HEADER.AddressOfEntryPoint + self.pe.OPTIONAL_HEADER.ImageBase
        self.assertEqual(entry, self.symbols.get("mainCRTStartup"))
        self.assertNotIn("WinMain", self.symbols)

    def test_every_object_of_the_project_is_reached_from_the_entry(self):
        # The linker takes in a whole object for any one symbol that something asks of it, reached or not:
        # code for other hosts that sits beside code the launcher uses (a comparer behind an interface,
        # a table only it reads) comes into the image with it. From the entry, the load configuration and
        # the lists that the start-up code walks, follow every reference; each object of the project must
        # have a piece that is reached. (Unwind data refers to every function and is not followed.)
        base = self.pe.OPTIONAL_HEADER.ImageBase
        functions = [base + entry.struct.BeginAddress for entry in getattr(self.pe, "DIRECTORY_ENTRY_EXCEPTION", [])]
        self.assertGreater(len(functions), 100, "the unwind table lists the image's functions")
        pieces = map_layout(MAP, functions)
        starts = [piece[0] for piece in pieces]

        def piece_of(address):
            at = bisect.bisect_right(starts, address) - 1
            return at if at >= 0 and pieces[at][1] is not None else None

        edges = {}
        for source, target in referenced_addresses(self.pe):
            origin, goal = piece_of(source), piece_of(target)
            if origin is not None and goal is not None and not pieces[origin][2].startswith((".pdata", ".xdata")):
                edges.setdefault(origin, set()).add(goal)
        directory = self.pe.OPTIONAL_HEADER.DATA_DIRECTORY
        roots = {piece_of(base + self.pe.OPTIONAL_HEADER.AddressOfEntryPoint)}
        for name in ("IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG", "IMAGE_DIRECTORY_ENTRY_TLS"):
            entry = directory[pefile.DIRECTORY_ENTRY[name]]
            if entry.Size:
                roots.add(piece_of(base + entry.VirtualAddress))
        roots |= {k for k, piece in enumerate(pieces) if piece[2] and piece[2].startswith(WALKED_SECTIONS)}
        roots.discard(None)
        reached, todo = set(roots), list(roots)
        while todo:
            for goal in edges.get(todo.pop(), ()):
                if goal not in reached:
                    reached.add(goal)
                    todo.append(goal)
        objects = {piece[1] for piece in pieces if piece[1] and PROJECT_OBJECT.search(piece[1])}
        called = {pieces[k][1] for k in reached}
        self.assertGreater(len(objects), 10, f"too few objects of the project in the map: {sorted(objects)}")
        self.assertEqual(sorted(objects - called), [], "objects of the project that nothing reaches")

    def test_imports_exactly_the_system_libraries(self):
        names = [entry.dll.decode().lower() for entry in self.pe.DIRECTORY_ENTRY_IMPORT]
        self.assertEqual(sorted(names), sorted(IMPORTED_DLLS))
        self.assertFalse(hasattr(self.pe, "DIRECTORY_ENTRY_DELAY_IMPORT"), "no delay-loaded imports")

    def test_no_imported_function_belongs_to_a_c_runtime(self):
        for entry in self.pe.DIRECTORY_ENTRY_IMPORT:
            dll = entry.dll.decode().lower()
            for function in entry.imports:
                name = function.name.decode() if function.name else f"ordinal {function.ordinal}"
                with self.subTest(f"{dll} {name}"):
                    self.assertIsNotNone(function.name, "imported by name")
                    # The C runtime's internals (__getmainargs, _initterm, _errno, ...) all begin so.
                    self.assertFalse(name.startswith("_"))
                    self.assertNotIn(name, C_RUNTIME_FUNCTIONS)
                    if dll == "ntdll.dll":
                        self.assertIn(name, NTDLL_MEMORY_AND_STRING)

    def test_load_configuration_as_the_loader_checks_it(self):
        # Wine seeds the cookie from any directory of at least 0x60 bytes; Windows' loader also holds the
        # directory's size to the structure's own Size, and linkers keep the two equal. Read from the
        # image's bytes, not through pefile, which parses as much as the directory names.
        directory = self.pe.OPTIONAL_HEADER.DATA_DIRECTORY[
            pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG"]]
        base = self.pe.OPTIONAL_HEADER.ImageBase
        config = base + directory.VirtualAddress
        size = struct.unpack("<I", self.va_bytes(config, 4))[0]
        guard = self.symbols["__stack_chk_guard"]
        # Only the fields that the structure covers: GuardFlags lies at 0x90.
        guard_flags = struct.unpack("<I", self.va_bytes(config + 0x90, 4))[0] if size >= 0x94 else 0
        rows = [
            ("directory names _load_config_used", config, self.symbols["_load_config_used"]),
            ("directory size equals the structure's Size", directory.Size, size),
            ("cookie pointer names __stack_chk_guard", struct.unpack("<Q", self.va_bytes(config + 0x58, 8))[0], guard),
            ("cookie starts as the value the loader replaces",
             struct.unpack("<Q", self.va_bytes(guard, 8))[0], UNSEEDED_COOKIE),
            ("no control-flow guard flags", guard_flags, 0),
            ("no control-flow guard DLL characteristic", self.pe.OPTIONAL_HEADER.DllCharacteristics & 0x4000, 0),
        ]
        for name, got, expected in rows:
            with self.subTest(name):
                self.assertEqual(got, expected)
        self.assertGreaterEqual(size, 0x70, "Size reaches SEHandlerCount, the classic 64-bit layout")
        # The loader writes the cookie, and its first value comes from the file.
        section = self.pe.get_section_by_rva(guard - base)
        self.assertIsNotNone(section, f"cookie at {guard:#x} outside every section")
        name = section.Name.rstrip(b"\0").decode()
        self.assertTrue(section.Characteristics & 0x80000000, f"cookie in {name}, which is not writable")
        self.assertLessEqual(guard + 8, base + section.VirtualAddress + section.SizeOfRawData,
                             f"cookie at {guard:#x} beyond the file data of {name}")

    def test_compiled_code_checks_that_guard(self):
        # The protected functions load the guard's address from the linker's pointer to it
        # (mov reg, [rip + disp32]) and compare against the value there.
        guard = self.symbols["__stack_chk_guard"]
        pointer = self.symbols[".refptr.__stack_chk_guard"]
        self.assertEqual(struct.unpack("<Q", self.va_bytes(pointer, 8))[0], guard)
        text = next(s for s in self.pe.sections if s.Name.rstrip(b"\0") == b".text")
        code = text.get_data()
        start = text.VirtualAddress + self.pe.OPTIONAL_HEADER.ImageBase
        loads = 0
        for k in range(len(code) - 7):
            if code[k] in (0x48, 0x4C) and code[k + 1] == 0x8B and code[k + 2] & 0xC7 == 0x05:
                target = start + k + 7 + struct.unpack_from("<i", code, k + 3)[0]
                loads += target == pointer
        self.assertGreater(loads, 10, "functions reading the guard")
        self.assertIn("__stack_chk_fail", self.symbols)
        for foreign in ("__stack_chk_fail_local", "__chk_fail"):
            self.assertNotIn(foreign, self.symbols, "nothing from the compiler's protector library")

    def test_codeview_record_names_the_program_database(self):
        records = [d for d in getattr(self.pe, "DIRECTORY_ENTRY_DEBUG", []) if d.struct.Type == 2]
        self.assertEqual(len(records), 1, "one CodeView record")
        entry = records[0].entry
        self.assertEqual(entry.CvSignature, b"RSDS")
        self.assertEqual(entry.PdbFileName.rstrip(b"\0"), b"ostrand.pdb")
        self.assertEqual(records[0].struct.TimeDateStamp, 0)

    def test_program_database_beside_the_image_matches_the_record(self):
        entry = next(d for d in self.pe.DIRECTORY_ENTRY_DEBUG if d.struct.Type == 2).entry
        guid = (struct.pack("<IHH", entry.Signature_Data1, entry.Signature_Data2, entry.Signature_Data3)
                + bytes([entry.Signature_Data4, entry.Signature_Data5]) + entry.Signature_Data6)
        with open(os.path.join(os.path.dirname(IMAGE), "ostrand.pdb"), "rb") as f:
            info = pdb_info_stream(f.read())
        version, _, age = struct.unpack_from("<III", info, 0)
        self.assertEqual(version, 20000404, "PDB 7.0 information stream")
        self.assertEqual((info[12:28], age), (guid, entry.Age), "GUID and age as in the image's record")

    def resources(self):
        """{(type, id): [(language, data)]} for every resource entry."""
        out = {}
        for kind in self.pe.DIRECTORY_ENTRY_RESOURCE.entries:
            for name in kind.directory.entries:
                for language in name.directory.entries:
                    data = self.pe.get_data(language.data.struct.OffsetToData, language.data.struct.Size)
                    key = (kind.id if kind.name is None else str(kind.name), name.id if name.name is None else str(name.name))
                    out.setdefault(key, []).append((language.id, data))
        return out

    def test_resource_entries(self):
        resources = self.resources()
        expected = {(pefile.RESOURCE_TYPE["RT_ICON"], i) for i in range(1, 19)}
        expected |= {(pefile.RESOURCE_TYPE["RT_GROUP_ICON"], 1), (pefile.RESOURCE_TYPE["RT_VERSION"], 1)}
        self.assertEqual(set(resources), expected, "icon images 1-18, icon group 1, version 1 and nothing else")
        for key, entries in sorted(resources.items()):
            with self.subTest(key):
                self.assertEqual([language for language, _ in entries], [LANG_EN_US])

    def test_icon_group(self):
        resources = self.resources()
        group = resources[(pefile.RESOURCE_TYPE["RT_GROUP_ICON"], 1)][0][1]
        reserved, kind, count = struct.unpack_from("<HHH", group, 0)
        self.assertEqual((reserved, kind, count), (0, 1, 18))
        self.assertEqual(len(group), 6 + 14 * 18)
        for k, (width, height, colours, planes, bits, icon_id, form) in enumerate(ICON_GROUP):
            with self.subTest(entry=k + 1):
                w, h, c, r, p, b, size, got_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * k)
                self.assertEqual((w or 256, h or 256, c, r, p, b, got_id), (width, height, colours, 0, planes, bits, icon_id))
                if width == 256:
                    self.assertEqual((w, h), (0, 0), "256 is written as 0")
                image = resources[(pefile.RESOURCE_TYPE["RT_ICON"], icon_id)][0][1]
                self.assertEqual(size, len(image), "group's byte count")
                if form == "png":
                    self.check_png(image, width)
                else:
                    self.check_bitmap(image, width, bits)

    def check_png(self, image, size):
        self.assertEqual(image[:8], b"\x89PNG\r\n\x1a\n")
        length, kind = struct.unpack_from(">I4s", image, 8)
        self.assertEqual((length, kind), (13, b"IHDR"))
        width, height, depth, colour_type, compression, filters, interlace = struct.unpack_from(">IIBBBBB", image, 16)
        self.assertEqual((width, height, depth, colour_type, interlace), (size, size, 8, 6, 0), "RGBA, 8 bits a channel")

    def check_bitmap(self, image, size, bits):
        header = struct.unpack_from("<IiiHHIIiiII", image, 0)
        header_size, width, height, planes, bit_count, compression = header[:6]
        self.assertEqual((header_size, width, height, planes, bit_count, compression), (40, size, 2 * size, 1, bits, 0),
                         "BITMAPINFOHEADER, uncompressed, height doubled for the mask")
        palette = {32: 0, 8: 256, 4: 16}[bits]
        colours_used = header[9]
        self.assertIn(colours_used, (0, palette))
        colour_stride = (size * bits + 31) // 32 * 4
        mask_stride = (size + 31) // 32 * 4
        self.assertEqual(len(image), 40 + 4 * palette + size * (colour_stride + mask_stride),
                         "palette, colour rows and mask rows")

    def test_version_block(self):
        data = self.resources()[(pefile.RESOURCE_TYPE["RT_VERSION"], 1)][0][1]
        key, value, children = parse_version_node(data)
        self.assertEqual(key, "VS_VERSION_INFO")
        fixed = struct.unpack("<13I", value)
        rows = [
            ("signature", fixed[0], 0xFEEF04BD),
            ("file version", (fixed[2], fixed[3]), (0x00010000, 0)),
            ("product version", (fixed[4], fixed[5]), (0x00010000, 0)),
            ("file flags mask", fixed[6], 0x3F),
            ("file flags", fixed[7], 0),
            ("file OS", fixed[8], 0x40004),
            ("file type", fixed[9], 1),
            ("file subtype", fixed[10], 0),
            ("file date", (fixed[11], fixed[12]), (0, 0)),
        ]
        for name, got, expected in rows:
            with self.subTest(name):
                self.assertEqual(got, expected)
        self.assertEqual([child[0] for child in children], ["StringFileInfo", "VarFileInfo"])
        tables = children[0][2]
        self.assertEqual([table[0] for table in tables], ["000004b0"])
        strings = [(k, v.decode("utf-16-le").rstrip("\0")) for k, v, _ in tables[0][2]]
        self.assertEqual(strings, VERSION_STRINGS, "strings, in order")
        variables = children[1][2]
        self.assertEqual([(k, struct.unpack("<HH", v)) for k, v, _ in variables], [("Translation", (0x0000, 0x04B0))])


def pdb_info_stream(data):
    """Stream 1 (the information stream) of an MSF 7.0 program database."""
    if data[:32] != b"Microsoft C/C++ MSF 7.00\r\n\x1aDS\0\0\0":
        raise AssertionError("not an MSF 7.0 file")
    block, _, _, directory_size, _, map_block = struct.unpack_from("<6I", data, 32)

    def blocks(numbers, size):
        return b"".join(data[n * block:(n + 1) * block] for n in numbers)[:size]

    map_count = (directory_size + block - 1) // block
    directory = blocks(struct.unpack_from(f"<{map_count}I", data, map_block * block), directory_size)
    count = struct.unpack_from("<I", directory, 0)[0]
    sizes = struct.unpack_from(f"<{count}I", directory, 4)
    position = 4 + 4 * count
    for index, size in enumerate(sizes):
        used = 0 if size == 0xFFFFFFFF else (size + block - 1) // block
        numbers = struct.unpack_from(f"<{used}I", directory, position)
        if index == 1:
            return blocks(numbers, size)
        position += 4 * used
    raise AssertionError("no information stream")


def parse_version_node(data, offset=0):
    """(key, value bytes, children) of the version-block node at `offset`."""
    length, value_length, kind = struct.unpack_from("<HHH", data, offset)
    end = offset + length
    position = offset + 6
    key_end = position
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[position:key_end].decode("utf-16-le")
    position = (key_end + 2 + 3) & ~3
    value_bytes = value_length * 2 if kind == 1 else value_length
    value = data[position:position + value_bytes]
    position = (position + value_bytes + 3) & ~3
    children = []
    while position < end:
        child = parse_version_node(data, position)
        children.append(child[:3])
        child_length = struct.unpack_from("<H", data, position)[0]
        position = (position + child_length + 3) & ~3
    return key, value, children


if __name__ == "__main__":
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    IMAGE, MAP = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)
