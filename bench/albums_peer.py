#!/usr/bin/python3
"""The peer of the album benchmark: the same reads through python3-olefile.

albums_peer.py list DB RUNS        median ms to list every album (key, title, artist)
albums_peer.py open DB KEY...      median ms to open the file and read one album's streams
Each prints one number; the interpreter's start is not counted."""
import statistics
import sys
import time

import olefile


def header_ok(ole):
    data = ole.openstream("Header.INF").read(264)
    return len(data) == 264 and data.split(b"\0")[0].lower() == b"data file for kolvo"


def list_albums(path):
    ole = olefile.OleFileIO(path)
    if not header_ok(ole):
        raise SystemExit("not an album database")
    albums = []
    for entry in ole.root.kids:
        if entry.entry_type != olefile.STGTY_STORAGE:
            continue
        text = ole.openstream([entry.name, "AlbumInfo.inf"]).read().split(b"\0")[0]
        fields = text.split(b"\x0c")
        albums.append((entry.name, fields[0].strip(), fields[-1].split(b"\n")[0].strip()))
    ole.close()
    return albums


def open_album(path, key):
    ole = olefile.OleFileIO(path)
    if not header_ok(ole):
        raise SystemExit("not an album database")
    info = ole.openstream([key, "AlbumInfo.inf"]).read()
    tracks = ole.openstream([key, "TrackInfo.inf"]).read()
    program = b""
    if ole.exists(key + "/PlayList.inf"):
        program = ole.openstream([key, "PlayList.inf"]).read()
    ole.close()
    return info.split(b"\x0c"), tracks.split(b"\n"), program


def timed(fn, *args):
    start = time.perf_counter()
    fn(*args)
    return (time.perf_counter() - start) * 1000.0


def main():
    what, db = sys.argv[1], sys.argv[2]
    if what == "list":
        runs = [timed(list_albums, db) for _ in range(int(sys.argv[3]))]
        print("%.3f %d" % (statistics.median(runs), len(list_albums(db))))
    elif what == "open":
        runs = [timed(open_album, db, key) for key in sys.argv[3:]]
        print("%.3f" % statistics.median(runs))


if __name__ == "__main__":
    main()
