"""The native, win64 and win32 programs run one table of command lines, each in
a fresh folder, and must print, write, log and store the same bytes. The
native run is the reference; the Windows programs run under Wine, each with
the prefix of its own build folder. A build this machine cannot run (win32 where
the kernel cannot start 32-bit programs) is left out; the test command says so."""
import os
import re
import sys

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "cli"))
sys.path.insert(0, os.path.join(HERE, "..", "support"))

from bmp_files import write_bmp  # noqa: E402
from conftest import Program, normalise  # noqa: E402
from simulated_camera import CONNECT, SerialCamera, SimulatedCamera  # noqa: E402
from test_clserial import PORT0  # noqa: E402
from test_images import bmp  # noqa: E402
from windows_builds import make_prefix, why_not  # noqa: E402

BUILD_DIR = os.environ.get("KD_BUILD_DIR", os.path.join(HERE, "..", "..", "build"))
BUILDS = {build: suffix for build, suffix in
          {"native": "", "win64": ".exe", "win32": ".exe"}.items() if not why_not(build)}
LOG = "Kervo_Dravelmonix.log"
SERIAL_CONNECT = ["--clser", "--if", PORT0, "--connect"]
CAMERA_SETTINGS = "width=256\nheight=256\n"
STAMP = re.compile(r"^\d+\.\d{6} ")


def pattern():
    """Every 16 x 16 block holds each grey value once, so each block gain
    meets every pixel value."""
    return [[(x % 16) * 16 + y % 16 for x in range(256)] for y in range(256)]


def flat_blocks():
    """Block k flat at k (1..255), block 0 at the brightest value: gains
    255 / k, whose products with whole pixel values land next to whole
    numbers (3 x float(10 / 3) is 10 - 2^-22)."""
    return [[(x // 16 + 16 * (y // 16)) or 255 for x in range(256)] for y in range(256)]


def sensor(seed):
    """A ramp with fixed noise, a hot and a dead pixel and a bright column."""
    rows = [[90 + x // 8 + (x * 7 + y * 13 + seed) % 11 for x in range(256)] for y in range(256)]
    rows[20][10], rows[100][200] = 250, 0
    for row in rows:
        row[77] += 40
    return rows


def colour(bits, seed, width=48, height=40):
    channels = bits // 8
    return bmp(width, height, bits, [(i * 37 + c * 101 + seed) % 256
                                     for i in range(width * height) for c in range(channels)])


def gains_file():
    """Gains in steps of 0.05, as decimals rarely are in binary: many
    products with pixel values fall just short of a whole number."""
    rows = [" ".join("%.2f;" % (0.05 * (16 * j + i + 1)) for i in range(16)) for j in range(16)]
    return "16; 16;\r\n" + "\r\n".join(rows) + "\r\n"


DEFECT_MAP = ("# columns, pixels, a duplicate, one outside, an ignored kind\r\n"
              "77;0;4\n10;20;0\n200;100;1\n5;5;-1\n10;20;3\n300;10;0\n255;0;4\n40;50;7\n")

RUNS = [
    pytest.param(
        {"a.bmp": sensor(0), "b.bmp": sensor(5), "c.bmp": flat_blocks()},
        [["--load_img", "a.bmp", "b.bmp", "c.bmp", "--create_defpix_map", "30", "9",
          "--save_defpix_map", "d.txt",
          "--load_img", "a.bmp", "b.bmp", "c.bmp", "--create_shading_map",
          "--save_shading_map", "s.txt"]], None, id="load-8bit-mean-of-three"),
    pytest.param(
        {"a.bmp": colour(24, 0), "b.bmp": colour(24, 7), "c.bmp": colour(32, 3)},
        [["--load_img", "a.bmp", "b.bmp", "--create_defpix_map", "0", "2",
          "--load_img", "c.bmp", "a.bmp", "--create_shading_map", "--save_shading_map", "s.txt",
          "--apply_shading_map", "a.bmp", "a-even.bmp"]], None, id="load-24-and-32bit"),
    pytest.param(
        {"a.bmp": sensor(0), "b.bmp": sensor(3)},
        [["--load_img", "a.bmp", "b.bmp", "--create_defpix_map", "--save_defpix_map", "w128.txt",
          "--clear_defpix_map", "--load_img", "a.bmp", "--create_defpix_map", "20", "64",
          "--save_defpix_map", "w64.txt", "--clear_defpix_map", "--load_img", "b.bmp",
          "--create_defpix_map", "5", "15", "--save_defpix_map", "w15.txt"]],
        None, id="detect-windows-and-thresholds"),
    pytest.param(
        {"flat.bmp": flat_blocks(), "pattern.bmp": pattern()},
        [["--load_img", "flat.bmp", "--create_shading_map", "--save_shading_map", "s.txt",
          "--apply_shading_map", "pattern.bmp", "even.bmp",
          "--load_shading_map", "s.txt", "--save_shading_map", "s2.txt",
          "--apply_shading_map", "pattern.bmp", "even2.bmp"]], None, id="shading-flat-blocks"),
    pytest.param(
        {"gains.txt": gains_file(), "pattern.bmp": pattern()},
        [["--load_shading_map", "gains.txt", "--save_shading_map", "s.txt",
          "--apply_shading_map", "pattern.bmp", "even.bmp"]], None, id="shading-decimal-gains"),
    pytest.param(
        {"map.txt": DEFECT_MAP, "a.bmp": sensor(0), "c.bmp": colour(24, 1)},
        [["--load_defpix_map", "map.txt", "--save_defpix_map", "d.txt",
          "--apply_defpix_map", "a.bmp", "fixed.bmp", "--mark_defpix_map", "a.bmp", "marked.bmp",
          "--mark_defpix_map", "c.bmp", "c-marked.bmp"]], None, id="defect-map-file"),
    pytest.param(
        {"a.bmp": sensor(0)},
        [["--load_img", "missing.bmp", "--load_defpix_map", "missing.txt", "--create_shading_map",
          "--apply_shading_map", "a.bmp", "none.bmp", "--upload_defpix_map", "--bogus", "7",
          "--connect", "--version"]], None, id="failures"),
    pytest.param(
        {"a.bmp": sensor(0), "b.bmp": sensor(9), "flat.bmp": flat_blocks()},
        [["--load_img", "a.bmp", "b.bmp", "--create_defpix_map", "20", "33",
          "--load_img", "flat.bmp", "--create_shading_map", *CONNECT,
          "--upload_defpix_map", "2", "--upload_shading_map", "1"],
         [*CONNECT, "--download_defpix_map", "2", "--save_defpix_map", "downloaded.txt"]],
        SimulatedCamera, id="gentl-job"),
    pytest.param(
        {"map.txt": DEFECT_MAP, "gains.txt": gains_file()},
        [["--load_defpix_map", "map.txt", "--load_shading_map", "gains.txt", *SERIAL_CONNECT,
          "--upload_defpix_map", "0", "--upload_shading_map", "2"],
         [*SERIAL_CONNECT, "--download_defpix_map", "0", "--save_defpix_map", "downloaded.txt"]],
        SerialCamera, id="serial-job"),
    # A command line starting with "kd-inspect" runs the companion program.
    pytest.param(
        {"a.bmp": sensor(0), "b.bmp": sensor(9), "flat.bmp": flat_blocks()},
        [["--load_img", "a.bmp", "b.bmp", "--create_defpix_map", "--save_defpix_map", "d.txt",
          "--load_img", "a.bmp", "b.bmp", "--create_shading_map", "--save_shading_map", "s.txt"],
         ["kd-inspect", "report", "a.bmp", "b.bmp", "--defpix", "d.txt", "--shading", "s.txt",
          "--out", "report"],
         ["kd-inspect", "report", "flat.bmp", "--shading", "s.txt", "--threshold", "3",
          "--width", "15", "--out", "flat"],
         ["kd-inspect", "fold-columns", "d.txt", "folded.txt", "--height", "256"],
         ["kd-inspect", "diff", "d.txt", "folded.txt"]],
        None, id="kd-inspect"),
]


def place(folder, inputs):
    for name, content in inputs.items():
        path = os.path.join(folder, name)
        if isinstance(content, list):
            write_bmp(path, content)
        else:
            with open(path, "wb") as f:
                f.write(content.encode("latin-1") if isinstance(content, str) else content)


def snapshot(folder):
    files = {}
    for parent, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(parent, name)
            with open(path, "rb") as f:
                files[os.path.relpath(path, folder)] = f.read()
    return files


def comparable_log(raw, windows, library):
    """Without time stamps, the start and end lines' dates and names, and the
    serial library's path, which is each run's own."""
    text = normalise(raw, windows)
    if library:
        text = text.replace(library, "<serial library>")
    lines = []
    for line in text.split("\n"):
        for head in ("* start", "* end"):
            if line.startswith(head):
                line = head
        lines.append(STAMP.sub("", line))
    return "\n".join(lines).encode("latin-1")


def use_build_prefix(build, monkeypatch):
    prefix = os.path.abspath(os.path.join(BUILD_DIR, build, "wineprefix"))
    make_prefix(build, prefix)
    monkeypatch.setenv("WINEPREFIX", prefix)


def run_build(build, inputs, steps, camera_kind, folder, monkeypatch):
    """What one build printed, wrote and stored: name -> bytes."""
    program = os.path.join(BUILD_DIR, build, "bin", "Kervo_Dravelmonix" + BUILDS[build])
    assert os.path.exists(program), "%s not built: %s" % (build, program)
    windows = build != "native"
    windows_build = build if windows else ""
    if windows:
        use_build_prefix(build, monkeypatch)
    os.makedirs(folder)
    prog = Program(program, windows_build, folder)
    camera = camera_kind(prog) if camera_kind else None
    if camera:
        camera.configure(CAMERA_SETTINGS)
    place(folder, inputs)
    before = snapshot(folder)
    outputs = {}
    inspect = Program(os.path.join(BUILD_DIR, build, "bin", "kd-inspect" + BUILDS[build]),
                      windows_build, folder)
    for number, args in enumerate(steps, 1):
        if args[0] == "kd-inspect":
            result = inspect.run(*args[1:])
        else:
            result = camera.run(*args) if camera else prog.run(*args)
        outputs["standard output of command line %d" % number] = result.out.encode("latin-1")
        outputs["exit status of command line %d" % number] = b"%d" % result.status
    outputs.update((name, data) for name, data in snapshot(folder).items()
                   if before.get(name) != data)
    if LOG in outputs:
        outputs[LOG] = comparable_log(outputs[LOG], windows, getattr(camera, "library_shown", ""))
    return outputs


def first_difference(expected, actual):
    for offset, (a, b) in enumerate(zip(expected, actual)):
        if a != b:
            return offset, "0x%02x" % a, "0x%02x" % b
    offset = min(len(expected), len(actual))
    shown = ["0x%02x" % data[offset] if offset < len(data) else "end" for data in (expected, actual)]
    return offset, shown[0], shown[1]


def differences(run, build, expected, actual):
    found = []
    for name in sorted(set(expected) | set(actual)):
        if name not in actual or name not in expected:
            found.append("%s: %s written by %s only" % (run, name, build if name in actual
                                                        else "native"))
        elif expected[name] != actual[name]:
            offset, native_byte, build_byte = first_difference(expected[name], actual[name])
            found.append("%s: %s of %s differs at byte %d: native %s, %s %s"
                         % (run, name, build, offset, native_byte, build, build_byte))
    return found


@pytest.mark.parametrize("inputs, steps, camera_kind", RUNS)
def test_builds_print_write_and_store_alike(request, inputs, steps, camera_kind, tmp_path,
                                            monkeypatch):
    run = request.node.callspec.id
    outputs = {build: run_build(build, inputs, steps, camera_kind, str(tmp_path / build),
                                monkeypatch)
               for build in BUILDS}
    found = [line for build in BUILDS if build != "native"
             for line in differences(run, build, outputs["native"], outputs[build])]
    if found:
        pytest.fail("\n".join(found), pytrace=False)
