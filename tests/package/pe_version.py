#!/usr/bin/env python3
"""Prints the version resource of a Windows executable: the numeric file and product versions
of its fixed block, and its ProductVersion text, one per line as name=value.

Usage: pe_version.py FILE
Only the resource section is searched, so bytes of a payload (an installer's archive) cannot
pass for the version block.
"""
import struct
import sys

FIXED_SIGNATURE = struct.pack("<I", 0xFEEF04BD)
PRODUCT_VERSION_KEY = "ProductVersion\0".encode("utf-16-le")


def resource_section(image: bytes) -> bytes:
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    table = pe + 24 + optional_size
    for i in range(sections):
        name, _, _, raw_size, raw_offset = struct.unpack_from("<8sIIII", image, table + 40 * i)
        if name.rstrip(b"\0") == b".rsrc":
            return image[raw_offset:raw_offset + raw_size]
    raise ValueError("no resource section")


def dotted(ms: int, ls: int) -> str:
    return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"


def product_version_text(rsrc: bytes) -> str:
    at = rsrc.find(PRODUCT_VERSION_KEY)
    if at < 0:
        return ""
    at += len(PRODUCT_VERSION_KEY)
    at += -at % 4  # the value starts on a 32-bit boundary
    end = at
    while rsrc[end:end + 2] != b"\0\0":
        end += 2
    return rsrc[at:end].decode("utf-16-le")


def main() -> int:
    rsrc = resource_section(open(sys.argv[1], "rb").read())
    at = rsrc.find(FIXED_SIGNATURE)
    if at < 0:
        print("no version resource", file=sys.stderr)
        return 1
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", rsrc, at + 8)
    print(f"file={dotted(file_ms, file_ls)}")
    print(f"product={dotted(product_ms, product_ls)}")
    print(f"product_text={product_version_text(rsrc)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
