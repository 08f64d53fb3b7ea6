#!/usr/bin/python3
"""Reads a compound file with python3-olefile and prints every element, in the order olefile
lists each storage's children, as: kind TAB path TAB size TAB content in hex (streams only).
Paths join names with "/". Exit status 3 when olefile refuses the file."""
import sys

import olefile


def walk(ole, entry, prefix, out):
    for kid in entry.kids:
        path = prefix + [kid.name]
        if kid.entry_type == olefile.STGTY_STORAGE:
            out.append("storage\t%s\t0\t" % "/".join(path))
            walk(ole, kid, path, out)
        elif kid.entry_type == olefile.STGTY_STREAM:
            data = ole.openstream(path).read()
            out.append("stream\t%s\t%d\t%s" % ("/".join(path), len(data), data.hex()))


def main():
    try:
        ole = olefile.OleFileIO(sys.argv[1], raise_defects=olefile.DEFECT_INCORRECT)
    except Exception as e:  # olefile raises several kinds
        print("refused: %s" % e, file=sys.stderr)
        return 3
    out = []
    walk(ole, ole.root, [], out)
    sys.stdout.write("".join(line + "\n" for line in out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
