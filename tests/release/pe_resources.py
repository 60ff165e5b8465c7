"""Reads the resource tree of a Windows program (standard library only).

    leaves = resource_leaves(Path("norvane.exe"))
    leaves[(6, 12, 1033)]      # the bytes of one leaf: type, name, language

Types and names are numbers, or texts for named ones ("DIB"). The raw .rsrc
section of two builds differs even when every resource is the same (the
leaves point at their data by RVA), so builds are compared leaf by leaf.
"""

from __future__ import annotations

import struct
from pathlib import Path

MACHINE_I386 = 0x14C
MACHINE_AMD64 = 0x8664
RESOURCE_DIRECTORY = 2  # index in the optional header's data directories
CERTIFICATE_TABLE = 4


class PeError(ValueError):
    pass


class PeFile:
    def __init__(self, data: bytes):
        self.data = data
        if data[:2] != b"MZ":
            raise PeError("no MZ header")
        (pe,) = struct.unpack_from("<I", data, 0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise PeError("no PE signature")
        coff = pe + 4
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, coff)
        optional = coff + 20
        (self.magic,) = struct.unpack_from("<H", data, optional)
        if self.magic not in (0x10B, 0x20B):
            raise PeError(f"unknown optional header magic {self.magic:#x}")
        (self.subsystem,) = struct.unpack_from("<H", data, optional + 68)
        directories = optional + (96 if self.magic == 0x10B else 112)
        self.resource_rva, self.resource_size = struct.unpack_from(
            "<II", data, directories + 8 * RESOURCE_DIRECTORY)
        # A file offset, not an RVA: the signature is no part of the image.
        self.certificates_offset, self.certificates_size = struct.unpack_from(
            "<II", data, directories + 8 * CERTIFICATE_TABLE)
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            _, vsize, vaddr, raw_size, raw_ptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((vaddr, max(vsize, raw_size), raw_ptr))

    def offset(self, rva: int) -> int:
        for vaddr, size, raw_ptr in self.sections:
            if vaddr <= rva < vaddr + size:
                return raw_ptr + rva - vaddr
        raise PeError(f"RVA {rva:#x} lies in no section")


def is_signed(data: bytes) -> bool:
    """Whether the program carries an Authenticode signature."""
    return PeFile(data).certificates_size > 0


def resource_leaves(path: Path) -> dict:
    """{(type, name, language): bytes} for every resource of the program."""
    pe = PeFile(Path(path).read_bytes())
    if not pe.resource_rva:
        return {}
    data, root = pe.data, pe.offset(pe.resource_rva)

    def entries(directory: int):
        named, numbered = struct.unpack_from("<HH", data, root + directory + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", data, root + directory + 16 + 8 * i)
            if name & 0x80000000:
                at = root + (name & 0x7FFFFFFF)
                (length,) = struct.unpack_from("<H", data, at)
                name = data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            yield name, target

    leaves = {}
    for kind, kind_dir in entries(0):
        for name, name_dir in entries(kind_dir & 0x7FFFFFFF):
            for language, leaf in entries(name_dir & 0x7FFFFFFF):
                if leaf & 0x80000000:
                    raise PeError(f"resource {kind}/{name}/{language} is a folder, not data")
                rva, size = struct.unpack_from("<II", data, root + leaf)
                start = pe.offset(rva)
                leaves[(kind, name, language)] = data[start:start + size]
    return leaves
