#!/usr/bin/env python3
"""Kills `quillmere-lib import` with SIGKILL at several moments and checks the library after each.

For each moment: a fresh library, an import of the same folder of generated files, SIGKILL after
the given time, `PRAGMA integrity_check` and the row count, then a second import that must bring
the library to exactly one row per file.

usage: scripts/kill-import-loop.py QUILLMERE_LIB [--files 3000] [--moments 10]
"""
import argparse
import os
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time


def silent_mp3(frames):
    # MPEG-1 Layer III, 128 kbit/s, 44.1 kHz, stereo; zero side information decodes as silence.
    frame = bytes([0xFF, 0xFB, 0x90, 0x00]) + bytes(413)
    return frame * frames


def make_tree(root, files):
    for n in range(files):
        folder = os.path.join(root, "album%02d" % (n % 30))
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "%04d track.mp3" % n), "wb") as f:
            f.write(silent_mp3(20 + n % 40))


def check(library):
    db = sqlite3.connect(library)
    try:
        integrity = db.execute("PRAGMA integrity_check").fetchone()[0]
        rows = db.execute("SELECT count(*) FROM Playlist_DB").fetchone()[0]
        distinct = db.execute(
            "SELECT count(*) FROM (SELECT DISTINCT Path, Filename FROM Playlist_DB)").fetchone()[0]
    finally:
        db.close()
    return integrity, rows, distinct


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("binary")
    parser.add_argument("--files", type=int, default=3000)
    parser.add_argument("--moments", type=int, default=10)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as work:
        music = os.path.join(work, "music")
        make_tree(music, args.files)

        def fresh_library(name):
            library = os.path.join(work, name)
            subprocess.run([args.binary, "init", library], check=True, stdout=subprocess.DEVNULL)
            return library

        # One full run gives the span over which the kills are spread.
        library = fresh_library("full.mdb")
        start = time.monotonic()
        subprocess.run([args.binary, "--library", library, "import", music], check=True,
                       stdout=subprocess.DEVNULL)
        span = time.monotonic() - start
        print("full import of %d files: %.2f s" % (args.files, span))
        print("%-4s %-9s %-10s %-9s %-40s %-10s" %
              ("#", "kill at", "integrity", "rows", "re-import", "final rows"))

        failures = 0
        for i in range(args.moments):
            library = fresh_library("lib%d.mdb" % i)
            delay = span * (i + 0.5) / args.moments
            process = subprocess.Popen([args.binary, "--library", library, "import", music],
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            time.sleep(delay)
            process.send_signal(signal.SIGKILL)
            process.wait()
            integrity, rows, distinct = check(library)
            again = subprocess.run([args.binary, "--library", library, "import", music],
                                   capture_output=True, text=True)
            final_integrity, final_rows, final_distinct = check(library)
            ok = (integrity == "ok" and rows == distinct and final_integrity == "ok" and
                  final_rows == args.files and final_distinct == args.files and
                  again.returncode == 0)
            failures += not ok
            print("%-4d %-9s %-10s %-9d %-40s %-10d%s" %
                  (i + 1, "%.2f s" % delay, integrity, rows, again.stdout.strip(), final_rows,
                   "" if ok else "  FAILED"))
        print("%d of %d moments left a sound library" % (args.moments - failures, args.moments))
        return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
