"""kd-inspect end to end: the report's figures on frames of known content,
diff, fold-columns, and every refusal with its message and exit status."""
import json
import os
import re
import subprocess

import pytest

from bmp_files import write_bmp
from test_images import bmp

W, H = 64, 48


def flat(value=100):
    return [[value] * W for _ in range(H)]


def defects_scene():
    """Flat 100 with hot singles, a hot 2 x 2, a dark 3 x 3, a dark single the
    map misses and a column 60 too bright; the map also holds a stale pixel."""
    rows = flat()
    for x, y in [(10, 10), (50, 5)]:
        rows[y][x] = 250
    rows[40][30] = 20
    for y in range(20, 22):
        for x in range(20, 22):
            rows[y][x] = 250
    for y in range(30, 33):
        for x in range(40, 43):
            rows[y][x] = 10
    for y in range(H):
        rows[y][5] = 160
    entries = ["10;10;0", "50;5;0", "60;45;0", "5;0;4"]
    entries += ["%d;%d;0" % (x, y) for y in range(20, 22) for x in range(20, 22)]
    entries += ["%d;%d;1" % (x, y) for y in range(30, 33) for x in range(40, 43)]
    return [rows, rows], {"defpix.txt": "\r\n".join(entries) + "\r\n"}


def noise_scene():
    """Every pixel 98 in one frame and 102 in the other, or the other way."""
    a = [[98 if (x + y) % 2 else 102 for x in range(W)] for y in range(H)]
    b = [[200 - v for v in row] for row in a]
    return [a, b], {}


def colour_noise_scene():
    """The noise scene in 24-bit frames: grey pixels, read again for the noise."""
    frames, maps = noise_scene()
    return [("colour", rows) for rows in frames], maps


BLOCKS = [[100, 160, 160, 100], [160, 200, 200, 160], [100, 160, 160, 100]]


def blocks_scene(blocks=BLOCKS):
    """16 x 16 blocks of one value each; the main program makes the shading map."""
    return [[[blocks[y // 16][x // 16] for x in range(W)] for y in range(H)]], {}


def clamped_scene():
    blocks = [row[:] for row in BLOCKS]
    blocks[0][0] = 10
    return blocks_scene(blocks)


# Gains exactly representable, and frames whose blocks they lift to 100 exactly.
BOTH_GAINS = [[2.0, 1.25, 1.25, 2.0], [1.25, 1.0, 1.0, 1.25], [2.0, 1.25, 1.25, 2.0]]
BOTH_MASKED = [(10, 10), (50, 5), (20, 20), (21, 20), (20, 21), (21, 21)]


def both_maps_scene():
    """Blocks of 100 / gain with hot pixels, a hot 2 x 2 and a bright column
    5 in the defect map, a dark single at 30, 40 that it misses; the shading
    map written as the camera's gains."""
    rows = [[int(100 / BOTH_GAINS[y // 16][x // 16]) for x in range(W)] for y in range(H)]
    for x, y in BOTH_MASKED:
        rows[y][x] = 250
    rows[40][30] = 20
    for y in range(H):
        rows[y][5] = 160
    entries = ["%d;%d;0" % xy for xy in BOTH_MASKED] + ["5;0;4"]
    shading = "4; 3;\r\n" + "".join(
        "".join("%f; " % g for g in row) + "\r\n" for row in BOTH_GAINS)
    return [rows, rows], {"defpix.txt": "\r\n".join(entries) + "\r\n", "shading.txt": shading}


def both_maps_expected():
    """What a report with both maps says, computed here from the scene."""
    rows = both_maps_scene()[0][0]
    gained = [[min(255, int(v * BOTH_GAINS[y // 16][x // 16])) for x, v in enumerate(row)]
              for y, row in enumerate(rows)]
    masked = set(BOTH_MASKED) | {(5, y) for y in range(H)}
    kept = [gained[y][x] for y in range(H) for x in range(W) if (x, y) not in masked]
    mean = sum(kept) / len(kept)
    spread = (sum((v - mean) ** 2 for v in kept) / len(kept)) ** 0.5
    blocks = [sum(gained[y][x] for y in range(j * 16, j * 16 + 16) for x in range(i * 16, i * 16 + 16))
              / 256 for j in range(3) for i in range(4)]
    gains = [g for row in BOTH_GAINS for g in row]
    return {"defects.map_pixels": 6, "defects.map_columns": 1,
            "defects.clusters": {"1": 2, "2-4": 1, "5+": 0, "largest": 4},
            "shading.gain_min": min(gains), "shading.gain_max": max(gains),
            "shading.gain_mean": sum(gains) / len(gains), "shading.gains_clamped": 0,
            "shading.spread_after": (max(blocks) - min(blocks)) / (sum(blocks) / 12) * 100,
            "nonuniformity.after": spread / mean * 100}


def write_scene(prog, scene, maps):
    """The scene's frames and maps in the folder; their names."""
    frames, files = scene()
    names = []
    for i, rows in enumerate(frames):
        names.append("f%d.bmp" % i)
        if rows[0] == "colour":
            pixels = [v for row in reversed(rows[1]) for v in row for _ in range(3)]
            prog.write_bytes(names[-1], bmp(W, H, 24, pixels))
        else:
            write_bmp(prog.path(names[-1]), rows)
    for name, text in files.items():
        prog.write_bytes(name, text.encode())
    if "shading.txt" in maps and "shading.txt" not in files:
        made = prog.run("--load_img", *names, "--create_shading_map",
                        "--save_shading_map", "shading.txt")
        assert made.status == 0, made.out
    return names


@pytest.mark.parametrize("scene, maps, expected", [
    (defects_scene, ["--defpix", "defpix.txt"], {
        "frames.count": 2, "frames.mean": 100 + 2890 / 3072, "frames.temporal_noise": 0,
        "defects.map_pixels": 16, "defects.map_columns": 1,
        "defects.clusters": {"1": 3, "2-4": 1, "5+": 1, "largest": 9},
        "defects.outliers_bright": 54, "defects.outliers_dark": 10,
        "defects.confirmed": 63, "defects.stale": 1, "defects.missed": 1,
        "defects.deviating_before": 6400 / 3072, "defects.deviating_after": 100 / 3072,
        "shading.blocks_x": None, "shading.spread_after": None}),
    (noise_scene, [], {
        "frames.mean": 100, "frames.temporal_noise": 8 ** 0.5, "defects.clusters": None,
        "defects.outliers_bright": 0, "defects.deviating_after": None,
        "nonuniformity.before": 0, "nonuniformity.after": None}),
    (colour_noise_scene, [], {"frames.mean": 100, "frames.temporal_noise": 8 ** 0.5}),
    (blocks_scene, ["--shading", "shading.txt"], {
        "frames.count": 1, "frames.temporal_noise": None, "defects.map_pixels": None,
        "shading.blocks_x": 4, "shading.blocks_y": 3, "shading.gain_min": 1,
        "shading.gain_max": 2, "shading.gain_mean": 17.5 / 12, "shading.gains_clamped": 0,
        "shading.spread_before": 100 / (1760 / 12) * 100, "shading.spread_after": 0,
        "shading.scatter_after": 0, "shading.corner_centre_before": 0.5,
        "shading.corner_centre_after": 1, "nonuniformity.after": 0}),
    (clamped_scene, ["--shading", "shading.txt"], {
        "shading.gain_max": 20, "shading.gains_clamped": 1}),
    (both_maps_scene, ["--defpix", "defpix.txt", "--shading", "shading.txt"], both_maps_expected()),
], ids=["defects", "noise", "noise in colour", "vignetting", "clamped gain", "both maps"])
def test_report_figures_on_known_frames(prog, inspect, scene, maps, expected):
    names = write_scene(prog, scene, maps)
    result = inspect.run("report", *names, *maps, "--out", "out")
    assert result.status == 0, result.err
    assert result.err == ""
    with open(prog.path("out/metrics.json")) as f:
        metrics = json.load(f)
    for key, value in expected.items():
        group, name = key.split(".")
        got = metrics[group][name]
        if isinstance(value, float):
            assert got == pytest.approx(value, rel=1e-5), key
        else:
            assert got == value, key
    files = sorted(os.listdir(prog.path("out")))
    pictures = ["gains.png"] if "--shading" in maps else []
    assert files == sorted(pictures + ["defects.png", "deviation.svg", "metrics.json",
                                       "profiles.svg", "report.html"])
    # Relations exact by definition: a defect map alone changes only the
    # pixels it names, which nonuniformity leaves out.
    if maps == ["--defpix", "defpix.txt"]:
        assert metrics["nonuniformity"]["after"] == metrics["nonuniformity"]["before"]
    assert "report: out" in result.out
    # Not a terminal: no progress.
    assert "reading frames" not in result.out
    # Every curve lies inside its drawing.
    for name in ("profiles.svg", "deviation.svg"):
        svg = open(prog.path("out/" + name)).read()
        width, height = (int(v) for v in re.search(r'width="(\d+)" height="(\d+)"', svg).groups())
        for points in re.findall(r'points="([^"]*)"', svg):
            for point in points.split():
                x, y = (float(v) for v in point.split(","))
                assert 0 <= x <= width and 0 <= y <= height, (name, point)


@pytest.mark.parametrize("scene, maps, requires, status, judged, summary", [
    (noise_scene, [], ["frames.count==2", "frames.temporal_noise > 2.8", "defects.outliers_bright<1"],
     0, [("frames.count", "==", 2, 2, True), ("frames.temporal_noise", ">", 2.8, 2.82843, True),
         ("defects.outliers_bright", "<", 1, 0, True)],
     "requirement                 value              result\n"
     "frames.count == 2           2                  pass\n"
     "frames.temporal_noise > 2.8 2.82843            pass\n"
     "defects.outliers_bright < 1 0                  pass\n"
     "verdict                     3 of 3 hold        PASS\n"),
    # The mean 100.9407... is written 100.941, and judged as written.
    (defects_scene, ["--defpix", "defpix.txt"],
     ["defects.missed==0", "frames.mean>=100.941", "defects.stale<=1e0"],
     1, [("defects.missed", "==", 0, 1, False), ("frames.mean", ">=", 100.941, 100.941, True),
         ("defects.stale", "<=", 1, 1, True)],
     "requirement            value              result\n"
     "defects.missed == 0    1                  FAIL\n"
     "frames.mean >= 100.941 100.941            pass\n"
     "defects.stale <= 1     1                  pass\n"
     "verdict                2 of 3 hold        FAIL\n"),
    (noise_scene, [], ["nonuniformity.after<1", "defects.clusters.1>=0"],
     1, [("nonuniformity.after", "<", 1, None, False), ("defects.clusters.1", ">=", 0, None, False)],
     "requirement             value              result\n"
     "nonuniformity.after < 1 no value           FAIL\n"
     "defects.clusters.1 >= 0 no value           FAIL\n"
     "verdict                 0 of 2 hold        FAIL\n"),
], ids=["every requirement holds", "one fails", "no value"])
def test_report_verdict(prog, inspect, scene, maps, requires, status, judged, summary):
    names = write_scene(prog, scene, maps)
    options = [option for text in requires for option in ("--require", text)]
    result = inspect.run("report", *names, *maps, *options, "--out", "out")
    assert (result.status, result.err) == (status, "")
    # The report is written whatever the verdict, which ends the summary.
    assert result.out.endswith("report: out/report.html\n" + summary)
    with open(prog.path("out/metrics.json")) as f:
        verdict = json.load(f)["verdict"]
    assert verdict == {"pass": status == 0, "requirements": [
        {"key": key, "op": op, "limit": limit, "value": value, "pass": passed}
        for key, op, limit, value, passed in judged]}
    assert os.path.exists(prog.path("out/report.html"))


def test_progress_shows_on_a_terminal_only(prog, inspect):
    if prog.windows:
        pytest.skip("a pseudo-terminal is a native test")
    import pty
    write_bmp(prog.path("a.bmp"), flat())
    write_bmp(prog.path("b.bmp"), flat(101))
    main, other = pty.openpty()
    with subprocess.Popen([inspect.prog, "report", "a.bmp", "b.bmp"], cwd=prog.cwd,
                          stdout=other, stderr=subprocess.PIPE) as child:
        os.close(other)
        shown = b""
        while True:
            try:
                chunk = os.read(main, 4096)
            except OSError:  # the far end has closed
                break
            if not chunk:
                break
            shown += chunk
        assert child.wait() == 0
    os.close(main)
    text = shown.decode().replace("\r\n", "\n")
    assert "\rreading frames 2/2" in text
    # The line is wiped before the summary.
    wiped, summary = text.rsplit("\r", 1)
    assert wiped.endswith(" ")
    assert summary.startswith(" " * 21 + "before")
    assert summary.endswith("report: kd-report/report.html\n")


def truncated(prog):
    write_bmp(prog.path("b.bmp"), flat())
    data = prog.read_bytes("b.bmp")
    prog.write_bytes("b.bmp", data[:-10])


def small(prog):
    write_bmp(prog.path("b.bmp"), [[1] * 32 for _ in range(16)])


def map_file(name, text):
    return lambda prog: prog.write_bytes(name, text.encode())


@pytest.mark.parametrize("setup, args, message", [
    (small, ["a.bmp", "b.bmp"], "b.bmp: is 32 x 16 pixels, a.bmp is 64 x 48"),
    (None, ["a.bmp", "missing.bmp"], "missing.bmp: cannot be read as a BMP file"),
    (truncated, ["a.bmp", "b.bmp"], "b.bmp: is cut short"),
    (map_file("m.txt", "1;2;0\r\n3;x;0\r\n"), ["a.bmp", "--defpix", "m.txt"],
     "m.txt: map line 2 is not x;y;kind: '3;x;0'"),
    (map_file("m.txt", "1;2;9\r\n"), ["a.bmp", "--defpix", "m.txt"], "has kind 9, not 0 to 4"),
    (map_file("m.txt", "1;2;0\r\n64;3;0\r\n70;0;4\r\n"), ["a.bmp", "--defpix", "m.txt"],
     "m.txt: 2 entries lie outside the 64 x 48 frames (the first: 64;3;0)"),
    (map_file("s.txt", "4; 3;\r\n" + "1.0; 1.0; 1.0; 1.0; \r\n" * 2), ["a.bmp", "--shading", "s.txt"],
     "s.txt: holds 2 rows of gains, its header 3"),
    (map_file("s.txt", "4; 3;\r\n" + "1.0; 1.0; nan; 1.0; \r\n" * 3), ["a.bmp", "--shading", "s.txt"],
     "has a gain that is no number: 'nan'"),
    (map_file("s.txt", "4; 3;\r\n" + "1.0; 1e40; 1.0; 1.0; \r\n" * 3),
     ["a.bmp", "--shading", "s.txt"], "has a gain beyond the float range: '1e40'"),
    (map_file("s.txt", "2; 2;\r\n" + "1.0; 1.0; \r\n" * 2), ["a.bmp", "--shading", "s.txt"],
     "s.txt: 2 x 2 blocks, the 64 x 48 frames have 4 x 3 blocks of 16 x 16 pixels"),
    (None, ["a.bmp", "--bogus"], "report: unknown option --bogus"),
    (None, ["a.bmp", "--width", "0"], "--width takes a whole number of 1 or more"),
    (None, ["--out", "out"], "report: no FRAME.bmp given"),
], ids=["other size", "missing", "truncated", "malformed defect map", "kind", "map too large",
        "rows missing", "gain no number", "gain beyond float", "blocks", "unknown option", "bad width", "no frames"])
def test_report_refuses_bad_input_and_writes_nothing(prog, inspect, setup, args, message):
    write_bmp(prog.path("a.bmp"), flat())
    if setup:
        setup(prog)
    result = inspect.run("report", *args)
    assert result.status == 2
    assert message in result.err
    assert result.err.count("\n") == 1
    assert result.out == ""
    assert not os.path.exists(prog.path("kd-report"))


def test_out_of_memory_is_one_line_and_status_2(prog, inspect):
    """Memory refused while the report measures: main's one boundary says so."""
    if prog.windows:
        pytest.skip("the address-space limit is set the POSIX way")
    with open(inspect.prog, "rb") as f:
        if b"__asan_init" in f.read():
            pytest.skip("the sanitizers reserve more address space than the limit")
    # Two 6000 x 6000 frames: their float sum (144 MB) fits under the limit,
    # the sum with the 8-bit mean and the figures' images does not. One
    # malloc arena keeps a second thread from reserving one of its own.
    write_bmp(prog.path("big.bmp"), [bytes([100]) * 6000] * 6000)
    limited = ["bash", "-c", 'ulimit -v 170000; exec "$0" "$@"', inspect.prog]
    result = subprocess.run(limited + ["report", "big.bmp", "big.bmp"], cwd=prog.cwd,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=600,
                            env=dict(os.environ, MALLOC_ARENA_MAX="1"))
    assert result.returncode == 2
    assert result.stderr.decode() == "kd-inspect report: out of memory\n"


SHADING = "2; 1;\r\n1.000000; 2.000000; \r\n"


@pytest.mark.parametrize("a, b, args, status, out", [
    ("1;2;0\r\n3;4;2\r\n7;0;4\r\n", "3;4;0\r\n7;9;4\r\n1;2;0\r\n", [], 0, "identical\n"),
    ("1;2;0\r\n3;4;0\r\n7;0;4\r\n", "3;4;0\r\n5;5;0\r\n", [], 1,
     "pixels: 1 only in A, 1 only in B, 1 in both\n"
     "columns: 1 only in A, 0 only in B, 0 in both\n"
     "only in A: pixel 1;2;0\nonly in B: pixel 5;5;0\nonly in A: column 7;0;4\n"),
    ("1;2;0\r\n7;0;4\r\n", "1;2;0\r\n", ["--ignore-columns"], 0, "identical\n"),
    (SHADING, "2; 1;\r\n1.0000001; 2.0; \r\n", [], 0, "identical\n"),
    (SHADING, "2; 1;\r\n1.000000; 2.001; \r\n", [], 1,
     "1 of 2 blocks differ as the camera stores them; largest difference 0.000977 "
     "(4 steps of 1/4096)\nblock 1, 0: A 2.000000 (8192), B 2.000977 (8196)\n"),
    (SHADING, "1; 1;\r\n1.0; \r\n", [], 1, "sizes differ: A 2 x 1 blocks, B 1 x 1 blocks\n"),
], ids=["same maps", "defect maps differ", "columns ignored", "same as stored",
        "shading differs", "shading sizes"])
def test_diff(prog, inspect, a, b, args, status, out):
    prog.write_bytes("a.txt", a.encode())
    prog.write_bytes("b.txt", b.encode())
    result = inspect.run("diff", "a.txt", "b.txt", *args)
    assert (result.status, result.out) == (status, out)


def test_diff_refuses_a_defect_map_against_a_shading_map(prog, inspect):
    prog.write_bytes("a.txt", b"1;2;0\r\n")
    prog.write_bytes("b.txt", SHADING.encode())
    result = inspect.run("diff", "a.txt", "b.txt")
    assert result.status == 2
    assert result.err.replace("\r\n", "\n") == (
        "kd-inspect diff: a.txt is a defect map, b.txt a shading map\n")


@pytest.mark.parametrize("map_in, args, map_out, out", [
    (["1;1;0", "5;0;0", "5;1;0", "2;2;0", "5;2;0", "5;3;3"], ["--height", "4"],
     ["1;1;0", "5;0;4", "2;2;0"],
     "column 5: 4 pixel entries folded into one column entry\nentries: 6 before, 3 after\n"),
    (["5;0;0", "5;1;0", "1;1;0"], ["--height", "4", "--min-fraction", "0.75"],
     ["5;0;0", "5;1;0", "1;1;0"], "entries: 3 before, 3 after\n"),
    (["6;1;0", "1;1;0", "6;0;4", "6;3;0"], ["--height", "100"], ["1;1;0", "6;0;4"],
     "column 6: its column entry takes in 2 pixel entries\nentries: 4 before, 2 after\n"),
], ids=["folded", "below the fraction", "absorbed"])
def test_fold_columns(prog, inspect, map_in, args, map_out, out):
    prog.write_bytes("in.txt", "\r\n".join(map_in).encode() + b"\r\n")
    result = inspect.run("fold-columns", "in.txt", "out.txt", *args)
    assert (result.status, result.out) == (0, out)
    assert prog.read_bytes("out.txt") == "\r\n".join(map_out).encode() + b"\r\n"
    # The main program reads the folded map.
    loaded = prog.run("--load_defpix_map", "out.txt")
    assert "defpix_column_cnt %d\n" % sum(e.endswith(";4") for e in map_out) in loaded.out


@pytest.mark.parametrize("args, message", [
    ([], "kd-inspect: no command given"),
    (["frobnicate"], "kd-inspect: unknown command frobnicate"),
    (["diff", "a.txt"], "kd-inspect diff: B.txt not given"),
    (["fold-columns", "a.txt", "b.txt"], "kd-inspect fold-columns: --height not given"),
    (["fold-columns", "a.txt", "b.txt", "--height", "4", "--min-fraction", "2"],
     "kd-inspect fold-columns: --min-fraction takes a number above 0 and at most 1"),
    (["diff", "a.txt", "b.txt", "--ignore-columns=1"],
     "kd-inspect diff: option --ignore-columns takes no value"),
    (["report", "a.bmp", "--out"], "kd-inspect report: option --out needs a value"),
    # Requirements are checked before a.bmp, which does not exist, is read.
    (["report", "a.bmp", "--require", "nonuniformity.middle<=1"],
     "kd-inspect report: --require 'nonuniformity.middle<=1': unknown key nonuniformity.middle"),
    (["report", "a.bmp", "--require", "nonuniformity.after=1"],
     "kd-inspect report: --require 'nonuniformity.after=1': = is no comparison"),
    (["report", "a.bmp", "--require=frames.count<="],
     "kd-inspect report: --require 'frames.count<=': no number after <="),
    (["report", "a.bmp", "--require", "frames.count<=2", "--require", "frames.count<=x"],
     "kd-inspect report: --require 'frames.count<=x': x is no number"),
])
def test_usage_errors_name_what_is_wrong(inspect, args, message):
    result = inspect.run(*args)
    assert result.status == 2
    assert result.err.startswith(message)
    assert result.err.count("\n") == 1


@pytest.mark.parametrize("args, first_line", [
    (["--help"], "usage: kd-inspect report FRAME.bmp..."),
    (["report", "--help"], "usage: kd-inspect report FRAME.bmp..."),
    (["diff", "--help"], "usage: kd-inspect diff A.txt B.txt [--ignore-columns]"),
    (["fold-columns", "-h"], "usage: kd-inspect fold-columns IN.txt OUT.txt --height H"),
    (["--version"], "kd-inspect 0.4"),
])
def test_help_and_version(inspect, args, first_line):
    result = inspect.run(*args)
    assert result.status == 0
    assert result.out.startswith(first_line)
