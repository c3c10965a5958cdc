import os
import struct

import pytest

USAGE_LINES = 24


def bmp(width, height, bits, pixels):
    """A BMP file: 54-byte header, then `pixels` as given (file order)."""
    header = b"BM" + struct.pack("<IIIIiiHHIIIIII", 54 + len(pixels), 0, 54, 40, width, height,
                                 1, bits, 0, 0, 0, 0, 0, 0)
    return header + bytes(pixels)


def write(prog, name, data):
    with open(prog.path(name), "wb") as f:
        f.write(data)
    return name


def messages(result):
    """What the run printed after the usage text."""
    return result.out.splitlines(keepends=True)[USAGE_LINES:]


def grey(prog, name, value=10, width=4, height=3):
    return write(prog, name, bmp(width, height, 8, [value] * (width * height)))


def test_each_file_is_announced_in_order(prog):
    grey(prog, "a.bmp")
    write(prog, "b.bmp", bmp(4, 3, 24, [1, 2, 3] * 12))
    write(prog, "c.bmp", bmp(4, 3, 32, [1, 2, 3, 4] * 12))
    result = prog.run("--load_img", "a.bmp", "b.bmp", "c.bmp", "--version")
    assert messages(result) == ["load_img('a.bmp')\n", "load_img('b.bmp')\n",
                                "load_img('c.bmp')\n", "Kervo_Dravelmonix 0.4\n"]
    assert result.status == 0


def test_load_img_in_two_commands(prog):
    grey(prog, "a.bmp")
    result = prog.run("--load_img", "a.bmp", "--load_img", "a.bmp", "a.bmp")
    assert messages(result) == ["load_img('a.bmp')\n"] * 3
    assert result.status == 0


def test_file_name_with_a_blank(prog):
    grey(prog, "my image.bmp")
    result = prog.run("--load_img", "my image.bmp")
    assert messages(result) == ["load_img('my image.bmp')\n"]
    assert result.status == 0


@pytest.mark.parametrize("args", [["--load_img"], ["--load_img", "--version"]])
def test_no_files_prints_nothing(prog, args):
    result = prog.run(*args)
    expected = ["Kervo_Dravelmonix 0.4\n"] if "--version" in args else []
    assert messages(result) == expected
    assert result.status == 0


def bad_file(prog, kind):
    if kind == "missing":
        return "missing.bmp"
    if kind == "other size":
        return grey(prog, "small.bmp", width=2, height=2)
    if kind == "16-bit":
        return write(prog, "deep.bmp", bmp(4, 3, 16, [0] * 24))
    if kind == "truncated":
        return write(prog, "short.bmp", bmp(4, 3, 8, [0] * 11))
    if kind == "compressed":
        data = bytearray(bmp(4, 3, 8, [0] * 12))
        data[30] = 1
        return write(prog, "rle.bmp", bytes(data))
    if kind == "folder":
        os.mkdir(prog.path("folder.bmp"))
        return "folder.bmp"
    raise AssertionError(kind)


@pytest.mark.parametrize("kind", ["missing", "other size", "16-bit", "truncated", "compressed",
                                  "folder"])
def test_failing_file_ends_the_run(prog, kind):
    grey(prog, "a.bmp")
    grey(prog, "c.bmp")
    bad = bad_file(prog, kind)
    result = prog.run("--load_img", "a.bmp", bad, "c.bmp", "--version")
    assert messages(result) == ["load_img('a.bmp')\n", "load_img('%s')\n" % bad,
                                "load_img('%s') - failed\n" % bad]
    assert result.status == 1


def test_missing_file_alone(prog):
    result = prog.run("--load_img", "nothere.bmp")
    assert messages(result) == ["load_img('nothere.bmp')\n", "load_img('nothere.bmp') - failed\n"]
    assert result.status == 1


def test_size_is_set_by_an_earlier_command(prog):
    grey(prog, "a.bmp")
    grey(prog, "wide.bmp", width=5)
    result = prog.run("--load_img", "a.bmp", "--load_img", "wide.bmp")
    assert messages(result) == ["load_img('a.bmp')\n", "load_img('wide.bmp')\n",
                                "load_img('wide.bmp') - failed\n"]
    assert result.status == 1


# A sample of the public suite, one of each kind; the unit tests read all of it.
SUITE_SAMPLE = ["g/pal8.bmp", "g/rgb24.bmp", "g/rgb32bf.bmp", "q/rgba32abf.bmp", "g/pal8rle.bmp",
                "g/pal8topdown.bmp", "g/rgb16.bmp", "b/reallybig.bmp", "b/shortfile.bmp",
                "x/ba-bm.bmp"]


@pytest.mark.parametrize("name", SUITE_SAMPLE)
def test_suite_file_is_read_or_refused(prog, testdata, name):
    folder = os.path.join(testdata, "bmpsuite")
    with open(os.path.join(folder, "expected.tsv")) as f:
        verdicts = dict((row[0], row[-1]) for row in
                        (line.split("\t") for line in f.read().splitlines()[1:] if line))
    path = os.path.join(folder, name)
    result = prog.run("--load_img", path)
    lines = ["load_img('%s')\n" % path]
    if verdicts[name] == "refuse":
        lines.append("load_img('%s') - failed\n" % path)
    assert messages(result) == lines
    assert result.status == (0 if verdicts[name] == "read" else 1)
