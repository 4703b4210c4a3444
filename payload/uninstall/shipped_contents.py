#!/usr/bin/env python3
"""Writes the table of the user files that the sample payload ships (kind 3), for its uninstaller.

    python3 shipped_contents.py DATA_DIR OUTPUT

The uninstaller removes such a file only while its contents are still those that the payload
shipped: OUTPUT lists, as C++ initialisers "{size, crc32}," one a line, the size and CRC-32 of
each distinct content among the kind-3 files that generate_payload.py placed below DATA_DIR.
Which files are of kind 3 comes from the generator itself.
"""

import os
import sys
import zlib

# The generator is imported, not run; no bytecode is left in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import generate_payload  # noqa: E402


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__)
    data_dir, output = argv[1], argv[2]
    contents = {}
    for entry in generate_payload.data_files():
        if entry.kind != 3:
            continue
        with open(os.path.join(data_dir, *entry.path.split("/")), "rb") as source:
            data = source.read()
        contents.setdefault((len(data), zlib.crc32(data)), []).append(entry.path)
    lines = ["// The contents of the sample payload's kind-3 files, written by shipped_contents.py."]
    for (size, crc), paths in sorted(contents.items()):
        lines.append(f"{{{size}u, 0x{crc:08x}u}},  // {', '.join(paths)}")
    os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
    with open(output, "w", encoding="utf-8", newline="\n") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main(sys.argv)
