#!/usr/bin/env python3
"""Size (5): CVLauncher.exe as built, its sections, and what it weighs without the
payloads it carries (the RCDATA resources of the outside programs), read from the PE
resource directory. Usage: bench_size.py CVLauncher.exe"""
import os
import struct
import sys

from benchlib import table

RT_RCDATA = 10


def sections(pe):
    (e_lfanew,) = struct.unpack_from("<I", pe, 0x3C)
    count = struct.unpack_from("<H", pe, e_lfanew + 6)[0]
    optional = struct.unpack_from("<H", pe, e_lfanew + 20)[0]
    at = e_lfanew + 24 + optional
    result = []
    for i in range(count):
        name, vsize, vaddr, rawsize, rawptr = struct.unpack_from("<8sIIII", pe, at + 40 * i)
        result.append((name.rstrip(b"\0").decode(), vsize, vaddr, rawsize, rawptr))
    return result


def resource_name(pe, rsrc_ptr, entry_name):
    if entry_name & 0x80000000:
        at = rsrc_ptr + (entry_name & 0x7FFFFFFF)
        (length,) = struct.unpack_from("<H", pe, at)
        return pe[at + 2: at + 2 + 2 * length].decode("utf-16-le")
    return str(entry_name)


def rcdata(pe):
    """{name: size} of every RCDATA resource."""
    rsrc = next(s for s in sections(pe) if s[0] == ".rsrc")
    _, _, vaddr, _, ptr = rsrc

    def entries(offset):
        named, ids = struct.unpack_from("<HH", pe, ptr + offset + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", pe, ptr + offset + 16 + 8 * i)
            yield name, target

    found = {}
    for type_id, type_target in entries(0):
        if type_id != RT_RCDATA:
            continue
        for name, name_target in entries(type_target & 0x7FFFFFFF):
            for _, lang_target in entries(name_target & 0x7FFFFFFF):
                data_rva, size = struct.unpack_from("<II", pe, ptr + lang_target)
                found[resource_name(pe, ptr, name)] = size
    return found


def main():
    exe = sys.argv[1]
    pe = open(exe, "rb").read()
    total = len(pe)
    kib = 1024
    data = rcdata(pe)
    # The window's own pictures are RCDATA too, but belong to the program.
    payloads = {n: s for n, s in data.items() if not n.startswith("IMG")}
    payload_bytes = sum(payloads.values())
    print("### Size of CVLauncher.exe\n")
    rows = [[name, f"{rawsize / kib:.0f}"] for name, _, _, rawsize, _ in sections(pe)]
    print(table(["section", "KiB on disk"], rows))
    print()
    rows = [[name, f"{size / kib:.1f}"] for name, size in sorted(payloads.items())]
    print(table(["payload resource", "KiB"], rows))
    print()
    without = total - payload_bytes
    print(table(["", "bytes", "MiB"], [
        ["CVLauncher.exe with our stand-in payloads", total, f"{total / kib / kib:.2f}"],
        ["payload resources", payload_bytes, f"{payload_bytes / kib / kib:.2f}"],
        ["CVLauncher.exe without payloads", without, f"{without / kib / kib:.2f}"],
    ]))
    print()


if __name__ == "__main__":
    main()
