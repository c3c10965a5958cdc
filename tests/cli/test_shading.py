"""Shading maps end to end: creating, saving, loading, clearing and applying."""
import os

import pytest

from bmp_files import read_bmp, write_bmp

USAGE_END = "--version\n\n"


def messages(result):
    """What the commands printed, after the usage text."""
    return result.out.split(USAGE_END, 1)[1]






def blocks(values, width, height):
    """An image whose 16 x 16 blocks hold `values` (block rows of block columns)."""
    return [[values[y // 16][x // 16] for x in range(width)] for y in range(height)]






def test_partial_block_column_and_save_format(prog):
    # 17 pixels wide: the second block column is one pixel column of 50.
    write_bmp(prog.path("flat.bmp"), [[100] * 16 + [50] for _ in range(16)])
    result = prog.run("--load_img", "flat.bmp", "--create_shading_map",
                      "--save_shading_map", "map.txt")
    assert messages(result) == ("load_img('flat.bmp')\n" "create_shading_map()\n"
                                "save_shading_map('map.txt')\n")
    assert result.status == 0
    assert prog.read_bytes("map.txt") == b"2; 1;\r\n1.000000; 2.000000; \r\n"


def test_average_of_two_images_is_truncated_to_8_bits(prog):
    # Block 0 averages 11.5, taken as 11: gain 100 / 11, not 100 / 11.5.
    write_bmp(prog.path("a.bmp"), blocks([[10, 100]], 32, 16))
    write_bmp(prog.path("b.bmp"), blocks([[13, 100]], 32, 16))
    result = prog.run("--load_img", "a.bmp", "b.bmp", "--create_shading_map",
                      "--save_shading_map", "map.txt")
    assert result.status == 0
    assert prog.read_bytes("map.txt") == b"2; 1;\r\n9.090909; 1.000000; \r\n"


def test_creation_consumes_the_images_and_a_failure_keeps_the_map(prog):
    write_bmp(prog.path("a.bmp"), blocks([[200, 100], [0, 50]], 32, 32))
    result = prog.run("--create_shading_map", "--load_img", "a.bmp", "--create_shading_map",
                      "--create_shading_map", "--save_shading_map", "map.txt")
    assert messages(result) == (
        "create_shading_map()\n" "create_shading_map failed, no image\n"
        "load_img('a.bmp')\n" "create_shading_map()\n"
        "create_shading_map()\n" "create_shading_map failed, no image\n"
        "save_shading_map('map.txt')\n")
    # The black block's gain is the brightest block's mean.
    assert prog.read_bytes("map.txt") == (b"2; 2;\r\n1.000000; 2.000000; \r\n"
                                           b"200.000000; 4.000000; \r\n")


def test_apply_truncates_clamps_and_blackens_pixels_beyond_the_map(prog):
    prog.write_bytes("map.txt", b"2; 2;\r\n1.26; 1.5; \r\n0.0; -1.0; \r\n")
    rows = blocks([[10, 200, 100], [100, 100, 100], [100, 100, 100]], 40, 40)
    write_bmp(prog.path("in.bmp"), rows)
    result = prog.run("--load_shading_map", "map.txt",
                      "--apply_shading_map", "in.bmp", "out.bmp")
    assert messages(result) == ("load_shading_map('map.txt')\n"
                                "apply_shading_map('in.bmp', 'out.bmp')\n")
    expected = blocks([[12, 255, 0], [0, 0, 0], [0, 0, 0]], 40, 40)
    assert read_bmp(prog.path("out.bmp")) == expected


@pytest.mark.parametrize("setup, args, message", [
    ([], ["--apply_shading_map", "in.bmp", "out.bmp"], "no shading_map available\n"),
    (["--load_shading_map", "map.txt"], ["--apply_shading_map", "missing.bmp", "out.bmp"],
     "cannot read image 'missing.bmp'\n"),
])
def test_apply_without_map_or_input_writes_nothing(prog, setup, args, message):
    prog.write_bytes("map.txt", b"1; 1;\r\n2.0\r\n")
    write_bmp(prog.path("in.bmp"), [[1, 2], [3, 4]])
    result = prog.run(*setup, *args, "--version")
    out = messages(result)
    assert out.endswith("apply_shading_map('%s', 'out.bmp')\n%sKervo_Dravelmonix 0.4\n"
                        % (args[1], message))
    assert result.status == 2
    assert not os.path.exists(prog.path("out.bmp"))


def test_apply_reports_an_output_it_cannot_write(prog):
    prog.write_bytes("map.txt", b"1; 1;\r\n2.0\r\n")
    write_bmp(prog.path("in.bmp"), [[1, 2], [3, 4]])
    result = prog.run("--load_shading_map", "map.txt",
                      "--apply_shading_map", "in.bmp", "no_dir/out.bmp", "--version")
    assert messages(result).endswith("apply_shading_map('in.bmp', 'no_dir/out.bmp')\n"
                                     "cannot write image 'no_dir/out.bmp'\n"
                                     "Kervo_Dravelmonix 0.4\n")
    assert result.status == 2


@pytest.mark.parametrize("text, saved", [
    # The smallest map, written byte for byte as the program writes it.
    (b"1; 1;\n1.0\n", b"1; 1;\r\n1.000000; \r\n"),
    (b"0; 5;\r\n", b"0; 5;\r\n" + b"\r\n" * 5),
    # Short and long rows, comments, LF-only lines, tabs, lines after the last row.
    (b"# gains\n\t3; 2;\n1.5;2.5\n# skip me\n  -0.125; 4; 5; 6; 7\nextra\n",
     b"3; 2;\r\n1.500000; 2.500000; 0.000000; \r\n-0.125000; 4.000000; 5.000000; \r\n"),
    # A blank line ends the map; the rows it cuts off stay 0.
    (b"2; 2;\r\n1.1; 2.2\r\n\r\n3.3; 4.4\r\n",
     b"2; 2;\r\n1.100000; 2.200000; \r\n0.000000; 0.000000; \r\n"),
])
def test_load_then_save(prog, text, saved):
    prog.write_bytes("in.txt", text)
    result = prog.run("--load_shading_map", "in.txt", "--save_shading_map", "out.txt")
    assert messages(result) == "load_shading_map('in.txt')\nsave_shading_map('out.txt')\n"
    assert prog.read_bytes("out.txt") == saved


@pytest.mark.parametrize("name, text, failed", [
    ("missing.txt", None, True),
    ("bad.txt", b"-1; 5;\r\n", True),
    ("bad.txt", b"65536; 32768;\r\n", True),
    ("bad.txt", b"", False),
    ("bad.txt", b"# only a comment\r\n", False),
    ("bad.txt", b"\r\n1; 1;\r\n1.0\r\n", False),
])
def test_load_without_a_map_drops_the_previous_one(prog, name, text, failed):
    prog.write_bytes("good.txt", b"1; 1;\r\n2.0\r\n")
    if text is not None:
        prog.write_bytes(name, text)
    result = prog.run("--load_shading_map", "good.txt", "--load_shading_map", name,
                      "--save_shading_map", "out.txt")
    expected = "load_shading_map('%s')\n" % name
    if failed:
        expected += "load_shading_map('%s') - failed\n" % name
    assert messages(result) == ("load_shading_map('good.txt')\n" + expected +
                                "save_shading_map('out.txt')\nno shading_map available\n")
    assert result.status == 2
    assert not os.path.exists(prog.path("out.txt"))


def test_clear_drops_the_map(prog):
    prog.write_bytes("good.txt", b"1; 1;\r\n2.0\r\n")
    result = prog.run("--clear_shading_map", "--load_shading_map", "good.txt",
                      "--clear_shading_map", "--save_shading_map", "out.txt")
    assert messages(result) == ("clear_shading_map\n" "load_shading_map('good.txt')\n"
                                "clear_shading_map\n" "save_shading_map('out.txt')\n"
                                "no shading_map available\n")
    assert not os.path.exists(prog.path("out.txt"))


def test_failed_save_leaves_the_map_and_what_was_there(prog):
    prog.write_bytes("good.txt", b"1; 1;\r\n2.0\r\n")
    os.mkdir(prog.path("taken"))
    result = prog.run("--load_shading_map", "good.txt", "--save_shading_map", "taken",
                      "--save_shading_map", "out.txt")
    assert messages(result) == ("load_shading_map('good.txt')\n"
                                "save_shading_map('taken')\n"
                                "save_shading_map('taken') - failed\n"
                                "save_shading_map('out.txt')\n")
    assert result.status == 2
    assert os.path.isdir(prog.path("taken"))
    assert sorted(os.listdir(prog.path("taken"))) == []
    assert not os.path.exists(prog.path("taken.part"))
    assert prog.read_bytes("out.txt") == b"1; 1;\r\n2.000000; \r\n"
