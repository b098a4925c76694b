#!/usr/bin/python3
"""Checks of the Windows folder that `cmake --install` makes (the portable copy's layout).

    check-package.py closure FOLDER
        every DLL that a program, module or plugin in FOLDER imports, directly or through
        another DLL, is in FOLDER (or its plugin's folder) or is one of Windows' own DLLs
        (those Wine provides as system DLLs)
    check-package.py version FILE.exe VERSION
        the version resource: the first translation is 0411/03A4 (Japanese, code page 932),
        its FileVersion and the fixed part's file version are VERSION, ProductName is zoripost
    check-package.py icon FILE.exe
        the program icon: one group with entries from 16 to 256 pixels, PNG-compressed
    check-package.py portable FOLDER
        a portable copy: zoripost.exe and its fonts are there and uninstall.exe is not

Exits 1 with the reasons on standard error when a check fails.
"""
import os
import re
import struct
import subprocess
import sys

OBJDUMP = os.environ.get("ZP_OBJDUMP", "x86_64-w64-mingw32-objdump")
WINE_SYSTEM_DLLS = os.environ.get(
    "ZP_WINE_SYSTEM_DLLS", "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows")
RT_ICON, RT_GROUP_ICON, RT_VERSION = 3, 14, 16


def imports(path):
    out = subprocess.run([OBJDUMP, "-p", path], capture_output=True, text=True, check=True)
    return re.findall(r"DLL Name: (\S+)", out.stdout)


def closure(folder):
    system = {n.lower() for n in os.listdir(WINE_SYSTEM_DLLS) if n.lower().endswith(".dll")}
    if not system:
        return [f"no system DLLs in {WINE_SYSTEM_DLLS}"]
    shipped = {}
    binaries = []
    for root, _, files in os.walk(folder):
        for name in files:
            if name.lower().endswith((".exe", ".dll")):
                path = os.path.join(root, name)
                binaries.append(path)
                if root == folder:
                    shipped[name.lower()] = path
    problems = []
    if not binaries:
        return [f"no programs in {folder}"]
    for path in sorted(binaries):
        for dll in imports(path):
            low = dll.lower()
            if low in shipped or low in system or low.startswith(("api-ms-", "ext-ms-")):
                continue
            problems.append(f"{os.path.relpath(path, folder)} needs {dll}, which is not shipped")
    return problems


class PE:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        d = self.data
        if d[:2] != b"MZ":
            raise ValueError(f"{path} is not a Windows program")
        pe = struct.unpack_from("<I", d, 0x3C)[0]
        if d[pe:pe + 4] != b"PE\0\0":
            raise ValueError(f"{path} has no PE header")
        sections, optional_size = struct.unpack_from("<H12xH", d, pe + 6)
        optional = pe + 24
        magic = struct.unpack_from("<H", d, optional)[0]
        directories = optional + (112 if magic == 0x20B else 96)
        self.resource_rva = struct.unpack_from("<I", d, directories + 2 * 8)[0]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            size, rva, raw_size, raw = struct.unpack_from("<IIII", d, table + 40 * i + 8)
            self.sections.append((rva, max(size, raw_size), raw))

    def offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError(f"address {rva:#x} is in no section")

    def directory(self, rva_in_resources):
        """The entries (id, is_directory, offset in the resource section) of one directory."""
        base = self.offset(self.resource_rva)
        at = base + rva_in_resources
        named, ids = struct.unpack_from("<HH", self.data, at + 12)
        entries = []
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", self.data, at + 16 + 8 * i)
            entries.append((name, bool(target & 0x80000000), target & 0x7FFFFFFF))
        return entries

    def resources(self, kind):
        """(name, language, bytes) of every resource of one type."""
        found = []
        if not self.resource_rva:
            return found
        for type_id, _, types in self.directory(0):
            if type_id != kind:
                continue
            for name, _, names in self.directory(types):
                for lang, _, leaf in self.directory(names):
                    base = self.offset(self.resource_rva)
                    rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    at = self.offset(rva)
                    found.append((name, lang, self.data[at:at + size]))
        return found


def version_nodes(block, at=0):
    """One node of a VS_VERSIONINFO tree: (key, value bytes, is_text, children)."""
    length, value_length, is_text = struct.unpack_from("<HHH", block, at)
    end_of_node = at + length
    key_end = at + 6
    while block[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = block[at + 6:key_end].decode("utf-16-le")
    pos = (key_end + 2 + 3) & ~3
    value_size = value_length * 2 if is_text else value_length
    value = block[pos:pos + value_size]
    pos = (pos + value_size + 3) & ~3
    children = []
    while pos < end_of_node:
        child = version_nodes(block, pos)
        children.append(child)
        pos = (pos + child[4] + 3) & ~3
    return key, value, is_text, children, length


def check_version(path, version):
    pe = PE(path)
    found = pe.resources(RT_VERSION)
    if len(found) != 1:
        return [f"{path}: {len(found)} version resources, not 1"]
    _, lang, block = found[0]
    key, fixed, _, children, _ = version_nodes(block)
    problems = []
    if key != "VS_VERSION_INFO" or struct.unpack_from("<I", fixed)[0] != 0xFEEF04BD:
        return [f"{path}: the version resource is not a VS_VERSION_INFO"]
    if lang != 0x411:
        problems.append(f"the resource's language is {lang:#06x}, not 0x0411")
    ms, ls = struct.unpack_from("<II", fixed, 8)
    fixed_version = f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"
    if fixed_version != version:
        problems.append(f"the fixed file version is {fixed_version}, not {version}")
    nodes = {child[0]: child for child in children}
    translation = nodes.get("VarFileInfo", (0, 0, 0, []))[3]
    pairs = translation[0][1] if translation else b""
    if len(pairs) < 4 or struct.unpack_from("<HH", pairs) != (0x0411, 932):
        problems.append(f"the first translation is {pairs[:4].hex()}, not 0411/03A4")
    tables = {t[0]: t for t in nodes.get("StringFileInfo", (0, 0, 0, []))[3]}
    table = tables.get("041103A4")
    if not table:
        return problems + [f"no string table 041103A4 (there are {sorted(tables)})"]
    strings = {s[0]: s[1].decode("utf-16-le").rstrip("\0") for s in table[3]}
    want = {"FileVersion": version, "ProductVersion": version, "ProductName": "zoripost"}
    for name, value in want.items():
        if strings.get(name) != value:
            problems.append(f"{name} is {strings.get(name)!r}, not {value!r}")
    for name in ("FileDescription", "CompanyName", "LegalCopyright"):
        if not strings.get(name):
            problems.append(f"{name} is missing")
    return problems


def check_icon(path):
    pe = PE(path)
    groups = pe.resources(RT_GROUP_ICON)
    icons = {name: data for name, _, data in pe.resources(RT_ICON)}
    if not groups:
        return [f"{path} has no icon"]
    group = groups[0][2]
    count = struct.unpack_from("<H", group, 4)[0]
    sizes, problems = [], []
    for i in range(count):
        width, _, _, _, _, _, _, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        sizes.append(width or 256)
        if not icons.get(icon_id, b"").startswith(b"\x89PNG\r\n\x1a\n"):
            problems.append(f"the {width or 256}-pixel icon is not a PNG")
    if min(sizes, default=0) != 16 or max(sizes, default=0) != 256:
        problems.append(f"the icon's sizes are {sizes}, not 16 to 256")
    return problems


def check_portable(folder):
    problems = []
    for name in ("zoripost.exe", "qt.conf", "platforms/qwindows.dll", "fonts/ipagp.ttf",
                 "fonts/ipag.ttf", "translations/qtbase_ja.qm", "docs/guide.html"):
        if not os.path.isfile(os.path.join(folder, name)):
            problems.append(f"{name} is missing")
    if os.path.exists(os.path.join(folder, "uninstall.exe")):
        problems.append("uninstall.exe is there: the copy would count as installed")
    return problems


def main(argv):
    checks = {"closure": (2, closure), "version": (3, check_version), "icon": (2, check_icon),
              "portable": (2, check_portable)}
    if len(argv) < 2 or argv[1] not in checks or len(argv) != checks[argv[1]][0] + 1:
        sys.stderr.write(__doc__)
        return 2
    try:
        problems = checks[argv[1]][1](*argv[2:])
    except (OSError, ValueError, struct.error, subprocess.CalledProcessError) as e:
        problems = [str(e)]
    for p in problems:
        sys.stderr.write(f"check-package.py {argv[1]}: {p}\n")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
