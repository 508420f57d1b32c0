#!/usr/bin/env python3
"""Reads a value from the registry files of a Wine prefix, as a 32-bit program sees it
(--view 64: as a 64-bit one).

Usage: wine_registry.py PREFIX HKLM|HKCU KEY [VALUE] [--view 32|64]
Prints the value's data (a string, or a DWORD in decimal) and exits 0; with no VALUE, exits 0
when the key exists. Exits 1 when it is missing. Wine writes the files when its server ends
(wineserver -w). Reading the files directly keeps names in Chinese out of the console's code
page.
"""
import argparse
import re
import sys

SECTION = re.compile(r"^\[(.+?)\]")
ENTRY = re.compile(r'^("(?:[^"\\]|\\.)*"|@)=(.*)$')


def unescape(text: str) -> str:
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c != "\\":
            out.append(c)
            i += 1
            continue
        nxt = text[i + 1]
        if nxt == "x":
            digits = re.match(r"[0-9a-fA-F]{1,4}", text[i + 2:]).group(0)
            out.append(chr(int(digits, 16)))
            i += 2 + len(digits)
        else:
            out.append({"n": "\n", "r": "\r", "t": "\t", "0": "\0"}.get(nxt, nxt))
            i += 2
    return "".join(out)


def read_key(path: str, key: str):
    """The values of `key` (case-insensitive) as {name: data}, or None when it is missing."""
    wanted = key.lower()
    values = None
    with open(path, encoding="utf-8", errors="replace") as registry:
        for line in registry:
            line = line.rstrip("\n")
            m = SECTION.match(line)
            if m:
                if values is not None:
                    return values
                if unescape(m.group(1)).lower() == wanted:
                    values = {}
                continue
            if values is None:
                continue
            m = ENTRY.match(line)
            if not m:
                continue
            name = "" if m.group(1) == "@" else unescape(m.group(1)[1:-1]).lower()
            data = m.group(2)
            if data.startswith('"'):
                values[name] = unescape(data[1:-1])
            elif data.startswith("dword:"):
                values[name] = str(int(data[6:], 16))
            else:
                values[name] = data
    return values


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--view", choices=("32", "64"), default="32")
    parser.add_argument("prefix")
    parser.add_argument("root", choices=("HKLM", "HKCU"))
    parser.add_argument("key")
    parser.add_argument("value", nargs="?")
    args = parser.parse_args()
    prefix, root, key, value, view = args.prefix, args.root, args.key, args.value, args.view
    registry = f"{prefix}/{'system.reg' if root == 'HKLM' else 'user.reg'}"
    # A 32-bit program's machine-wide software keys live in the WOW64 view of a 64-bit prefix.
    if (view == "32" and root == "HKLM"
            and "#arch=win64" in open(registry, errors="replace").read(4096)):
        key = re.sub(r"(?i)^software\\", r"Software\\Wow6432Node\\", key)
    values = read_key(registry, key)
    if values is None:
        return 1
    if value is None:
        return 0
    if value.lower() not in values:
        return 1
    print(values[value.lower()])
    return 0


if __name__ == "__main__":
    sys.exit(main())
