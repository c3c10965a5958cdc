"""Defect pixel maps end to end: detection, map files, applying and marking."""
import os

import pytest

from bmp_files import read_bmp, write_bmp






def field(width, height, value):
    return [[value] * width for _ in range(height)]


def run(prog, *args, status=0):
    """What the commands printed after the usage text; 2 when one reported a failure."""
    result = prog.run(*args)
    assert result.status == status, result.out
    return result.out.split("--version\n\n", 1)[1]






def test_single_bright_pixel_in_a_window_wider_than_the_image(prog):
    rows = field(5, 5, 100)
    rows[2][2] = 200
    write_bmp(prog.path("a.bmp"), rows)
    assert run(prog, "--load_img", "a.bmp", "--create_defpix_map", "--save_defpix_map", "a.map") == (
        "load_img('a.bmp')\n"
        "create_defpix_map()\n"
        "lt_v 16, lt_w 128\n"
        "mean brightness 104.000000\n"
        "2, 2, 200.0\n"
        "defect count 1\n"
        "save_defpix_map('a.map')\n")
    assert prog.read_bytes("a.map") == b"2;2;0\r\n"


def test_bright_pixel_drags_its_neighbours_below_a_small_window_mean(prog):
    rows = field(7, 7, 100)
    rows[3][3] = 255
    write_bmp(prog.path("b.bmp"), rows)
    out = run(prog, "--load_img", "b.bmp", "--create_defpix_map", "16", "3")
    lines = "".join("%d, %d, %s\n" % (x, y, "255.0" if (x, y) == (3, 3) else "100.0")
                    for y in (2, 3, 4) for x in (2, 3, 4))
    assert out.endswith("lt_v 16, lt_w 3\nmean brightness 103.163269\n" + lines + "defect count 9\n")


def test_detection_works_on_the_mean_of_the_loaded_images_and_consumes_them(prog):
    first, second = field(6, 4, 100), field(6, 4, 102)
    first[1][4], second[1][4] = 200, 201
    write_bmp(prog.path("1.bmp"), first)
    write_bmp(prog.path("2.bmp"), second)
    out = run(prog, "--load_img", "1.bmp", "2.bmp", "--create_defpix_map", "--create_defpix_map",
              status=2)
    assert out.endswith("4, 1, 200.5\ndefect count 1\n"
                        "create_defpix_map()\ncreate_defpix_map failed, no image\n")


@pytest.mark.parametrize("first, second, expected, defects, status", [
    (["20", "64"], [], "lt_v 20, lt_w 64\n", 0, 0),
    (["x"], [], "lt_v 0, lt_w 128\n", 0, 0),
    (["20", "64"], ["-1"], "lt_v -1, lt_w 64\n", 16, 0),
    (["20", "64"], ["9", "0"], "invalid width 0, using 64\nlt_v 9, lt_w 64\n", 0, 2),
])
def test_detection_settings_hold_for_the_rest_of_the_run(prog, first, second, expected, defects,
                                                         status):
    write_bmp(prog.path("c.bmp"), field(4, 4, 50))
    out = run(prog, "--load_img", "c.bmp", "--create_defpix_map", *first,
              "--load_img", "c.bmp", "--create_defpix_map", *second, status=status)
    assert out.split("load_img('c.bmp')\n")[2] == (
        "create_defpix_map()\n" + expected + "mean brightness 50.000000\n" +
        "".join("%d, %d, 50.0\n" % (i % 4, i // 4) for i in range(defects)) +
        "defect count %d\n" % defects)


def test_map_file_round_trip_is_byte_for_byte(prog):
    rows = field(9, 6, 80)
    for x, y in ((0, 0), (8, 5), (4, 2), (5, 2)):
        rows[y][x] = 250
    write_bmp(prog.path("d.bmp"), rows)
    prog.write_bytes("in.map", b"# kept\n7;1;4\n")
    out = run(prog, "--load_defpix_map", "in.map", "--load_img", "d.bmp", "--create_defpix_map",
              "--save_defpix_map", "one.map", "--clear_defpix_map",
              "--load_defpix_map", "one.map", "--save_defpix_map", "two.map")
    expected = b"7;1;4\r\n0;0;0\r\n4;2;0\r\n5;2;0\r\n8;5;0\r\n"
    assert prog.read_bytes("one.map") == expected
    assert prog.read_bytes("two.map") == expected
    assert out.endswith("save_defpix_map('one.map')\nclear_defpix_map()\n"
                        "load_defpix_map('one.map')\ndefpix_pixel_cnt 4, defpix_column_cnt 1\n"
                        "save_defpix_map('two.map')\n")


def test_full_table_is_reported_once(prog):
    lines = b"".join(b"%d;%d;0\r\n" % (i % 1000, i // 1000) for i in range(100002))
    prog.write_bytes("big.map", lines)
    assert run(prog, "--load_defpix_map", "big.map", "--save_defpix_map", "out.map",
               status=2) == (
        "load_defpix_map('big.map')\n"
        "defpix_add failed - table full\n"
        "defpix_pixel_cnt 100002, defpix_column_cnt 0\n"
        "save_defpix_map('out.map')\n")
    assert prog.read_bytes("out.map") == lines[:lines.index(b"0;100;0\r\n")]


def test_map_files_that_cannot_be_used_are_reported(prog):
    os.mkdir(prog.path("folder.map"))
    assert run(prog, "--save_defpix_map", "missing/x.map", "--load_defpix_map", "folder.map",
               "--load_defpix_map", status=2) == (
        "save_defpix_map('missing/x.map')\n"
        "save_defpix_map('missing/x.map') - failed\n"
        "load_defpix_map('folder.map')\n"
        "load_defpix_map('folder.map') - failed\n"
        "load_defpix_map('')\n"
        "load_defpix_map('') - failed\n")


def test_failed_save_is_reported(prog):
    # Keeping the old file on a failed save is the atomic writer's, tested with it.
    prog.write_bytes("in.map", b"1;2;0\n")
    out = run(prog, "--load_defpix_map", "in.map", "--save_defpix_map", "missing/keep.map",
              status=2)
    assert out.endswith("save_defpix_map('missing/keep.map') - failed\n")
    assert not os.path.exists(prog.path("missing"))


@pytest.mark.parametrize("command, entries, changed", [
    ("--apply_defpix_map", b"5;3;0\r\n", {(5, 3): (4, 3)}),
    ("--mark_defpix_map", b"5;3;0\r\n", {(5, 3): 255}),
    ("--apply_defpix_map", b"0;1;4\r\n", {(0, y): 0 for y in range(4)}),
    ("--mark_defpix_map", b"0;1;-4\r\n6;9;4\r\n", {(0, 1): 255, **{(6, y): 255 for y in range(4)}}),
    ("--apply_defpix_map", b"2;-7;4\r\n", {(2, y): (1, y) for y in range(4)}),
    ("--apply_defpix_map", b"5;3;0\r\n6;3;0\r\n", {(5, 3): (4, 3), (6, 3): (4, 3)}),
    ("--apply_defpix_map", b"6;3;0\r\n5;3;0\r\n", {(6, 3): (5, 3), (5, 3): (4, 3)}),
    ("--mark_defpix_map", b"7;0;0\r\n0;4;0\r\n-1;0;4\r\n-2147483648;1;0\r\n-2147483648;0;4\r\n", {}),
])
def test_apply_and_mark_change_exactly_the_map_pixels(prog, command, entries, changed):
    rows = [[10 + y * 7 + x for x in range(7)] for y in range(4)]
    write_bmp(prog.path("in.bmp"), rows)
    prog.write_bytes("in.map", entries)
    out = run(prog, "--load_defpix_map", "in.map", command, "in.bmp", "out.bmp")
    assert out.endswith("apply_defpix_map('in.bmp', 'out.bmp')\n")
    expected = [row[:] for row in rows]
    for (x, y), value in changed.items():
        expected[y][x] = rows[value[1]][value[0]] if isinstance(value, tuple) else value
    assert read_bmp(prog.path("out.bmp")) == expected


def test_images_that_cannot_be_used_are_reported(prog):
    write_bmp(prog.path("in.bmp"), field(3, 2, 9))
    assert run(prog, "--apply_defpix_map", "none.bmp", "out.bmp",
               "--mark_defpix_map", "in.bmp", "missing/out.bmp", status=2) == (
        "apply_defpix_map('none.bmp', 'out.bmp')\n"
        "cannot read image 'none.bmp'\n"
        "apply_defpix_map('in.bmp', 'missing/out.bmp')\n"
        "cannot write image 'missing/out.bmp'\n")
    assert not os.path.exists(prog.path("out.bmp"))
