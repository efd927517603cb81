#!/usr/bin/env python3
"""Static checks of the built Windows program, read straight from its PE file.

Checks the resources (exactly icon images 30001/30002 and icon group 1,
language neutral, and version block 1 in language 1033), the version block
(fixed part, VarFileInfo before StringFileInfo, the eight strings in order),
the icon images against the images the main window shows, the GUI subsystem,
the image version 1.5, and that only Windows' own DLLs are imported.

usage: pe_check.py EXE ICON32_BIN ICON16_BIN
       pe_check.py --self-test
"""

import struct
import sys

RT_ICON, RT_GROUP_ICON, RT_VERSION = 3, 14, 16

EXPECTED_STRINGS = [
    ("Comments",
     "There are almost most of the Asciii(Unicode/HTML) Identities will be displayed in the same "
     "panel of the software to let the (web-progtramming interested) user(s) to have a great "
     "opportunity of knowing of main key values of the English based and Sanskrit(Devnagari) "
     "based Fonts(including signs and symbols)."),
    ("CompanyName", "Dovrent"),
    ("FileDescription",
     "It is easy to type and see the output in Nepali Font. You just type in the first top "
     "textarea of the panel, at the same time, you will see the output in Nepali Font in the "
     "middle Textarea of the panel."),
    ("ProductName", "tavrino1.5.exe"),
    ("FileVersion", "1.05"),
    ("ProductVersion", "1.05"),
    ("InternalName", "tavrino1.5"),
    ("OriginalFilename", "tavrino1.5.exe"),
]

# DLLs that every Windows installation has; nothing of the compiler's runtime.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "ole32.dll", "oleaut32.dll", "shell32.dll",
    "msvcrt.dll", "advapi32.dll", "comctl32.dll", "uuid.dll", "shlwapi.dll", "wininet.dll",
}


class Failure(Exception):
    pass


class PeFile:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise Failure("not an MZ file")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise Failure("no PE signature")
        _, sections, _, _, _, opt_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from("<H", data, opt)[0]
        if self.magic not in (0x10B, 0x20B):
            raise Failure(f"unknown optional header magic {self.magic:#x}")
        self.image_version = struct.unpack_from("<HH", data, opt + 44)
        self.subsystem = struct.unpack_from("<H", data, opt + 68)[0]
        dirs = opt + (112 if self.magic == 0x20B else 96)
        count = struct.unpack_from("<I", data, dirs - 4)[0]
        self.directories = [struct.unpack_from("<II", data, dirs + 8 * i) for i in range(count)]
        self.sections = []
        for i in range(sections):
            base = opt + opt_size + 40 * i
            vsize, va, raw_size, raw_ptr = struct.unpack_from("<IIII", data, base + 8)
            self.sections.append((va, max(vsize, raw_size), raw_ptr, raw_size))

    def offset(self, rva):
        for va, size, raw_ptr, raw_size in self.sections:
            if va <= rva < va + size:
                if rva - va >= raw_size:
                    raise Failure(f"RVA {rva:#x} lies in uninitialized data")
                return raw_ptr + rva - va
        raise Failure(f"RVA {rva:#x} is in no section")

    def read(self, rva, size):
        start = self.offset(rva)
        if start + size > len(self.data):
            raise Failure(f"{size} bytes at RVA {rva:#x} run past the file")
        return self.data[start:start + size]

    def c_string(self, rva):
        start = self.offset(rva)
        end = self.data.index(b"\0", start)
        return self.data[start:end].decode("ascii", "replace")

    def resources(self):
        """{(type, name, language): bytes}; names are ints or strings."""
        rva, size = self.directories[2] if len(self.directories) > 2 else (0, 0)
        if not rva:
            return {}
        root = self.offset(rva)
        out = {}

        def entries(dir_off):
            named, ids = struct.unpack_from("<HH", self.data, dir_off + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data, dir_off + 16 + 8 * i)
                if name & 0x80000000:
                    at = root + (name & 0x7FFFFFFF)
                    n = struct.unpack_from("<H", self.data, at)[0]
                    key = self.data[at + 2:at + 2 + 2 * n].decode("utf-16-le")
                else:
                    key = name
                yield key, target

        for rtype, t in entries(root):
            if not t & 0x80000000:
                raise Failure("resource type entry is not a directory")
            for rname, n in entries(root + (t & 0x7FFFFFFF)):
                if not n & 0x80000000:
                    raise Failure("resource name entry is not a directory")
                for lang, leaf in entries(root + (n & 0x7FFFFFFF)):
                    if leaf & 0x80000000:
                        raise Failure("resource language entry is a directory")
                    data_rva, data_size = struct.unpack_from("<II", self.data, root + leaf)
                    out[(rtype, rname, lang)] = self.read(data_rva, data_size)
        return out

    def imports(self):
        names = []
        for index in (1, 13):  # import table, delay-load import table
            if len(self.directories) <= index or not self.directories[index][0]:
                continue
            rva = self.directories[index][0]
            step, name_field = (20, 12) if index == 1 else (32, 4)
            while True:
                desc = self.read(rva, step)
                if desc == b"\0" * step:
                    break
                names.append(self.c_string(struct.unpack_from("<I", desc, name_field)[0]))
                rva += step
        return names


def parse_version_block(data, at=0):
    """One version block: (key, value, children)."""
    length, value_length, kind = struct.unpack_from("<HHH", data, at)
    if length < 6 or at + length > len(data):
        raise Failure(f"version block at {at} has a bad length {length}")
    end = at + length
    pos = at + 6
    key_end = pos
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[pos:key_end].decode("utf-16-le")
    pos = (key_end + 2 + 3) & ~3
    if kind == 1:
        raw = data[pos:pos + 2 * value_length]
        value = raw.decode("utf-16-le")
        if value_length and not value.endswith("\0"):
            raise Failure(f"string {key!r} is not terminated")
        value = value[:-1] if value_length else value
        pos += 2 * value_length
    elif kind == 0:
        value = data[pos:pos + value_length]
        pos += value_length
    else:
        raise Failure(f"version block {key!r} has type {kind}")
    children = []
    pos = (pos + 3) & ~3
    while pos < end:
        child = parse_version_block(data, pos)
        children.append(child[:3])
        pos = (pos + child[3] + 3) & ~3
    return key, value, children, length


def check_version(data):
    key, fixed, children, _ = parse_version_block(data)
    problems = []
    if key != "VS_VERSION_INFO":
        problems.append(f"root key {key!r}")
    if len(fixed) != 52:
        problems.append(f"fixed part is {len(fixed)} bytes")
    else:
        f = struct.unpack("<13I", fixed)
        want = (0xFEEF04BD, 0x00010000, 0x00010005, 0, 0x00010005, 0, 0, 0, 4, 1, 0, 0, 0)
        names = ("signature", "structure version", "file version MS", "file version LS",
                 "product version MS", "product version LS", "flags mask", "flags", "OS",
                 "file type", "subtype", "date MS", "date LS")
        for name, got, expected in zip(names, f, want):
            if got != expected:
                problems.append(f"fixed {name} is {got:#x}, wants {expected:#x}")
    if [c[0] for c in children] != ["VarFileInfo", "StringFileInfo"]:
        problems.append(f"blocks are {[c[0] for c in children]}, want VarFileInfo, StringFileInfo")
    for ckey, _, grandchildren in children:
        if ckey == "VarFileInfo":
            if [(g[0], g[1]) for g in grandchildren] != [("Translation",
                                                          struct.pack("<HH", 0x0409, 0x04B0))]:
                problems.append(f"VarFileInfo holds {grandchildren}")
        elif ckey == "StringFileInfo":
            if len(grandchildren) != 1 or grandchildren[0][0] != "040904B0":
                problems.append(f"string tables {[g[0] for g in grandchildren]}")
            else:
                strings = [(s[0], s[1]) for s in grandchildren[0][2]]
                if strings != EXPECTED_STRINGS:
                    problems.append(f"strings are {strings}")
    return problems


def check_program(pe, icon32, icon16):
    results = []

    def expect(ok, what):
        results.append((bool(ok), what))

    res = pe.resources()
    keys = sorted(res, key=str)
    expect(sorted(res) == sorted([(RT_ICON, 30001, 0), (RT_ICON, 30002, 0),
                                  (RT_GROUP_ICON, 1, 0), (RT_VERSION, 1, 1033)]),
           f"resources are exactly icons 30001/30002, group 1 (neutral), version 1 (1033): {keys}")
    expect(res.get((RT_ICON, 30001, 0)) == icon32, "icon 30001 is the 32 x 32 window icon image")
    expect(res.get((RT_ICON, 30002, 0)) == icon16, "icon 30002 is the 16 x 16 window icon image")
    group = res.get((RT_GROUP_ICON, 1, 0), b"")
    want_group = struct.pack("<HHH", 0, 1, 2) + \
        struct.pack("<BBBBHHIH", 32, 32, 16, 0, 1, 4, 744, 30001) + \
        struct.pack("<BBBBHHIH", 16, 16, 16, 0, 1, 4, 296, 30002)
    expect(group == want_group, "icon group 1 lists 30001 (32 x 32) then 30002 (16 x 16), 16 colours")
    version = res.get((RT_VERSION, 1, 1033))
    problems = check_version(version) if version else ["no version resource"]
    expect(not problems, "version block: " + ("as required" if not problems else "; ".join(problems)))
    expect(pe.subsystem == 2, f"subsystem is {pe.subsystem} (2 = Windows GUI)")
    expect(pe.image_version == (1, 5), f"image version is {pe.image_version[0]}.{pe.image_version[1]}")
    dlls = pe.imports()
    foreign = [d for d in dlls if d.lower() not in SYSTEM_DLLS]
    expect(dlls and not foreign, f"imports only Windows DLLs: {dlls}")
    return results


def self_test():
    """The version check must reject blocks that are wrong in the ways that matter."""
    sys.path.insert(0, str(__import__("pathlib").Path(__file__).resolve().parents[2] / "app" / "windows"))
    import make_resources as mr

    def block(pairs=EXPECTED_STRINGS, swap=False, fixed=(1, 5, 0, 0), translation=(0x0409, 0x04B0)):
        good = mr.version_resource(list(fixed), translation[0], translation[1], list(pairs))
        if not swap:
            return good
        key, fixed_part, children, _ = parse_version_block(good)
        # Rebuild with the two blocks the other way round.
        var = mr.node("Translation", struct.pack("<HH", *translation), 4)
        vfi = mr.node("VarFileInfo", text=True, children=[var])
        strings = [mr.node(k, mr.utf16z(v), len(v) + 1, text=True) for k, v in pairs]
        sfi = mr.node("StringFileInfo", text=True,
                      children=[mr.node("040904B0", text=True, children=strings)])
        return mr.node("VS_VERSION_INFO", fixed_part, 52, children=[sfi, vfi])

    cases = [
        ("as generated", block(), True),
        ("StringFileInfo first", block(swap=True), False),
        ("a ninth string", block(EXPECTED_STRINGS + [("LegalCopyright", "x")]), False),
        ("two strings swapped", block([EXPECTED_STRINGS[1], EXPECTED_STRINGS[0]] +
                                      EXPECTED_STRINGS[2:]), False),
        ("fixed version 1.5.0.1", block(fixed=(1, 5, 0, 1)), False),
        ("code page 1252", block(translation=(0x0409, 0x04E4)), False),
    ]
    failed = 0
    for name, data, should_pass in cases:
        passed = not check_version(data)
        ok = passed == should_pass
        failed += not ok
        print(f"{'PASS' if ok else 'FAIL'} self-test: {name} is {'accepted' if passed else 'rejected'}")
    return failed


def main(argv):
    if len(argv) == 2 and argv[1] == "--self-test":
        return 1 if self_test() else 0
    if len(argv) != 4:
        print(__doc__)
        return 2
    exe, icon32, icon16 = (open(p, "rb").read() for p in argv[1:])
    try:
        results = check_program(PeFile(exe), icon32, icon16)
    except Failure as e:
        print(f"FAIL {argv[1]}: {e}")
        return 1
    for ok, what in results:
        print(f"{'PASS' if ok else 'FAIL'} {what}")
    return 0 if all(ok for ok, _ in results) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
