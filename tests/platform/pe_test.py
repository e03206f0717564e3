#!/usr/bin/env python3
"""The shipped file, read from the host: a 32-bit GUI image for i386 that imports only from Windows'
own libraries and carries the manifest as committed (no requestedExecutionLevel) and its version.
    pe_test.py BRISKO_EXE MANIFEST_IN VERSION"""
import struct
import sys

exe, manifest_in, version = sys.argv[1:4]
image = open(exe, "rb").read()
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def u16(at): return struct.unpack_from("<H", image, at)[0]
def u32(at): return struct.unpack_from("<I", image, at)[0]


pe = u32(0x3C)
check(image[pe:pe + 4] == b"PE\0\0", "no PE signature")
check(u16(pe + 4) == 0x14C, "machine is not i386")
opt = pe + 24
check(u16(opt) == 0x10B, "not a PE32 image")
check(u16(opt + 68) == 2, "subsystem is not Windows GUI")
sections = [struct.unpack_from("<8sIIII", image, pe + 24 + u16(pe + 20) + 40 * i) for i in range(u16(pe + 6))]


def offset(rva):
    for _, size, va, raw_size, raw in sections:
        if va <= rva < va + max(size, raw_size):
            return rva - va + raw
    raise ValueError(hex(rva))


def text(at):
    return image[at:image.index(b"\0", at)].decode()


# Windows' own libraries: nothing of mingw's or anyone else's may be needed beside Brisko.exe.
system = {"advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll", "kernel32.dll", "mpr.dll", "msvcrt.dll", "ntdll.dll",
          "ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll", "user32.dll", "uxtheme.dll", "version.dll",
          "wininet.dll"}
imports = offset(u32(opt + 96 + 8))
while u32(imports + 12):
    name = text(offset(u32(imports + 12))).lower()
    check(name in system, "imports %s" % name)
    imports += 20


def resource(kind, ident=None):
    """The bytes of the first resource of this type (and id), or None."""
    base = offset(u32(opt + 96 + 2 * 8))
    directory = base
    for want in (kind, ident, None):
        count = u16(directory + 12) + u16(directory + 14)
        entries = [struct.unpack_from("<II", image, directory + 16 + 8 * i) for i in range(count)]
        chosen = [e for e in entries if want is None or e[0] == want]
        if not chosen:
            return None
        target = chosen[0][1]
        if not target & 0x80000000:
            rva, size = struct.unpack_from("<II", image, base + target)
            return image[offset(rva):offset(rva) + size]
        directory = base + (target & 0x7FFFFFFF)
    return None


manifest = open(manifest_in, "rb").read().replace(b"@PROJECT_VERSION@", version.encode())
embedded = resource(24, 1)
check(embedded == manifest, "the manifest differs from the one committed")
check(b"<requestedExecutionLevel" not in (embedded or b""), "the manifest asks for an execution level")
info = resource(16, 1) or b""
check("FileVersion\0".encode("utf-16-le") in info and version.encode("utf-16-le") in info, "no version resource")

for failure in failures:
    print("FAIL:", failure, file=sys.stderr)
sys.exit(1 if failures else 0)
