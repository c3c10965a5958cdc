#!/usr/bin/env python3
"""Checks the main job's maps against the defects the camera's sensor carries."""
import os
import sys


def read_map(path):
    """The x;y;kind lines of a defect map file, as the tool writes them."""
    entries = []
    with open(path, "rb") as f:
        for raw in f.read().decode("ascii").splitlines():
            line = raw.strip()
            if not line:
                break
            if line.startswith("#"):
                continue
            x, y, kind = (int(field) for field in line.split(";")[:3])
            entries.append((x, y, kind))
    return entries


def main(folder, size):
    injected = read_map(os.path.join(folder, "injected.txt"))
    found = read_map(os.path.join(folder, "defpix_map.txt"))
    downloaded_path = os.path.join(folder, "downloaded_map.txt")
    found_pixels = {(x, y) for x, y, kind in found if kind < 4}
    found_columns = {x for x, y, kind in found if kind == 4}

    missed = []
    for x, y, kind in injected:
        if kind == 4:
            # A bad column is found when the column is listed, or all its pixels are.
            whole = x in found_columns or all((x, row) in found_pixels for row in range(size))
            if not whole:
                missed.append((x, y, kind))
        elif (x, y) not in found_pixels and x not in found_columns:
            missed.append((x, y, kind))

    injected_pixels = {(x, y) for x, y, kind in injected if kind < 4}
    injected_columns = {x for x, y, kind in injected if kind == 4}
    extra = [(x, y) for x, y in found_pixels
             if (x, y) not in injected_pixels and x not in injected_columns]

    with open(os.path.join(folder, "defpix_map.txt"), "rb") as f:
        uploaded_bytes = f.read()
    round_trip = os.path.exists(downloaded_path)
    if round_trip:
        with open(downloaded_path, "rb") as f:
            round_trip = f.read() == uploaded_bytes

    print()
    print("outputs in %s:" % os.path.abspath(folder))
    for name, what in [("before/", "the frames the camera gave before its calibration"),
                       ("defpix_map.txt", "defect map made from them"),
                       ("shading_map.txt", "shading map made from them"),
                       ("after/", "the frames the calibrated camera gave"),
                       ("report/", "the report on them, with its verdict"),
                       ("downloaded_map.txt", "defect map downloaded from the camera"),
                       ("Kervo_Dravelmonix.log", "log of both runs")]:
        print("  %-24s %s" % (name, what))
    print()
    print("defects of the sensor: %d (%d pixels, %d columns)" %
          (len(injected), len(injected_pixels), len(injected_columns)))
    print("found: %d map entries" % len(found))
    print("missed: %d" % len(missed))
    print("found beyond the injected ones: %d" % len(extra))
    print("downloaded map equals uploaded map: %s" % ("yes" if round_trip else "NO"))
    return 0 if not missed and round_trip else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], int(sys.argv[2])))
