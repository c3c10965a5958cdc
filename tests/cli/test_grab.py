"""kd-inspect grab end to end against the simulated camera: frames equal the
sensor's as make_samples writes them, in every pixel format it reduces, and
every fault and refusal ends with its message, exit status 2, the frames
written before it complete."""
import os
import signal
import subprocess
import time

import pytest

from simulated_camera import SimulatedCamera

SIZE = 64
BMP_BYTES = 1078 + SIZE * SIZE


@pytest.fixture
def camera(prog):
    return SimulatedCamera(prog)


def grab(inspect, camera, *args, settings=""):
    camera.configure("width=%d\nheight=%d\n%s" % (SIZE, SIZE, settings))
    return errors_of(inspect.run("grab", "--cti", "camsim.cti", *args, env=camera.environment()))


def errors_of(result):
    """The result with its standard error's lines ended as on Linux."""
    result.err = result.err.replace("\r\n", "\n")
    return result


def samples(prog, frames):
    """What a camera of this size delivers before any correction."""
    name = "make_samples.exe" if prog.windows else "make_samples"
    os.makedirs(prog.path("samples"), exist_ok=True)
    make_samples = type(prog)(os.path.join(prog.bin_dir, name), prog.windows_build, prog.cwd)
    result = make_samples.run("samples", str(SIZE), str(frames))
    assert result.status == 0, result.err
    return [prog.read_bytes("samples/flat_%02d.bmp" % (i + 1)) for i in range(frames)]


def frames_in(prog, folder="frames"):
    names = sorted(n for n in os.listdir(prog.path(folder)) if n.startswith("frame_"))
    return [prog.read_bytes(os.path.join(folder, n)) for n in names]


@pytest.mark.parametrize("pixel_format", ["Mono8", "Mono10", "Mono12", "Mono16", "Mono12Packed"])
def test_frames_are_the_sensors_in_every_format_it_reduces(prog, inspect, camera, pixel_format):
    result = grab(inspect, camera, "--frames", "3", "--out", "frames",
                  settings="pixel_format=%s\n" % pixel_format)
    assert result.status == 0, result.err
    assert result.out.startswith(
        "camera: Kervo CamSim CamSim 5120, serial number CS100001, 64 x 64, %s "
        "(camsim-if0, camsim-dev0)\n" % pixel_format)
    assert "grabbed 3 frames of 64 x 64 (%s) into frames in " % pixel_format in result.out
    assert frames_in(prog) == samples(prog, 3)


# settings, arguments, exit status, message, frames written (as sensor frames)
FAULTS = [
    ("pixel_format=RGB8", ["--frames", "2"], 2,
     "pixel format RGB8 is not supported (Mono8, Mono10, Mono12, Mono16, Mono12Packed); "
     "0 of 2 frames written", []),
    ("stall_after=2", ["--frames", "3", "--timeout-ms", "300"], 2,
     "no frame within 300 ms; 2 of 3 frames written", [0, 1]),
    ("incomplete_frames=1", ["--frames", "3"], 0, None, [0, 2, 3]),
    ("incomplete_frames=0,1,2", ["--frames", "2"], 2,
     "more than 2 incomplete frames in a row; 0 of 2 frames written", []),
    ("half_height_frames=1", ["--frames", "3"], 2,
     "frame 2 is 64 x 32, the first was 64 x 64; 1 of 3 frames written", [0]),
    ("", ["--frames", "1", "--if", "nowhere"], 2,
     "the GenTL producer has no interface \"nowhere\"", []),
    ("", ["--frames", "1", "--device", "nobody"], 2,
     "interface \"camsim-if0\" has no device \"nobody\"", []),
    ("fail_entry.DevOpenDataStream=-1004", ["--frames", "1"], 2,
     "the data stream does not open: DevOpenDataStream failed (-1004, GC_ERR_RESOURCE_IN_USE)",
     []),
    ("fail_entry.GCGetPortURLInfo=-1003", ["--frames", "1"], 2,
     "the device's description cannot be found: GCGetPortURLInfo failed "
     "(-1003, GC_ERR_NOT_IMPLEMENTED)", []),
]


@pytest.mark.parametrize("settings, args, status, message, written", FAULTS,
                         ids=[f[0] or f[1][-1] for f in FAULTS])
def test_faults_end_with_their_message_and_keep_what_was_written(prog, inspect, camera, settings,
                                                                 args, status, message, written):
    result = grab(inspect, camera, "--out", "frames", *args, settings=settings + "\n")
    assert result.status == status, result.err
    if message:
        assert result.err == "kd-inspect grab: %s\n" % message
    else:
        assert "1 incomplete skipped" in result.out
    sensor = samples(prog, 4)
    assert frames_in(prog) == [sensor[i] for i in written]


def test_frames_of_an_earlier_run_are_refused_unless_replaced(prog, inspect, camera):
    assert grab(inspect, camera, "--frames", "2", "--out", "frames").status == 0
    refused = grab(inspect, camera, "--frames", "1", "--out", "frames")
    assert refused.status == 2
    # Either of the two frames may be the one named: folders list in no set order.
    assert refused.err.startswith("kd-inspect grab: frames already holds frames (frame_000")
    assert refused.err.endswith(".bmp); --replace removes them first\n")
    assert len(frames_in(prog)) == 2
    replaced = grab(inspect, camera, "--frames", "1", "--out", "frames", "--replace")
    assert replaced.status == 0, replaced.err
    assert len(frames_in(prog)) == 1


@pytest.mark.parametrize("args, message", [
    (["--frames", "1", "--out", "f"], "--cti not given"),
    (["--cti", "camsim.cti", "--out", "f"], "--frames not given"),
    (["--cti", "camsim.cti", "--frames", "0", "--out", "f"],
     "--frames takes a whole number from 1 to 9999"),
    (["--cti", "camsim.cti", "--frames", "1"], "--out takes a folder name"),
    (["--cti", "camsim.cti", "--frames", "1", "--out", "f", "--timeout-ms", "0"],
     "--timeout-ms takes a whole number of 1 or more"),
])
def test_bad_usage(inspect, args, message):
    result = errors_of(inspect.run("grab", *args))
    assert result.status == 2
    assert result.err == "kd-inspect grab: %s (see kd-inspect grab --help)\n" % message


def test_a_producer_that_does_not_load(inspect):
    result = errors_of(inspect.run("grab", "--cti", "missing.cti", "--frames", "1", "--out", "f"))
    assert result.status == 2
    assert result.err == "kd-inspect grab: cannot load the GenTL producer missing.cti\n"


def test_a_grab_killed_while_it_waits_leaves_whole_frames(prog, inspect, camera):
    camera.configure("width=%d\nheight=%d\nstall_after=1\n" % (SIZE, SIZE))
    env = dict(os.environ)
    env.update(camera.environment())
    if prog.windows:
        import windows_builds
        env.update(windows_builds.environment())
    process = subprocess.Popen(
        inspect.start_command() + [inspect.prog, "grab", "--cti", "camsim.cti", "--frames", "3",
                                   "--out", "frames", "--timeout-ms", "60000"],
        cwd=prog.cwd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.time() + 60
    while not os.path.exists(prog.path("frames/frame_0001.bmp")) and time.time() < deadline:
        time.sleep(0.05)
    process.send_signal(signal.SIGKILL)
    process.wait()
    assert sorted(os.listdir(prog.path("frames"))) == ["frame_0001.bmp"]
    assert frames_in(prog) == samples(prog, 1)


@pytest.mark.parametrize("uploaded, status, verdict", [(True, 0, "PASS"), (False, 1, "FAIL")])
def test_a_calibrated_camera_passes_and_an_uncalibrated_one_fails(prog, inspect, camera, uploaded,
                                                                   status, verdict):
    # Smaller sensors fall foul of detection's 128-pixel window: their vignetting
    # changes by more than its threshold across it.
    camera.configure("width=512\nheight=512\n")
    env = camera.environment()
    assert inspect.run("grab", "--cti", "camsim.cti", "--frames", "4", "--out", "before",
                       env=env).status == 0
    if uploaded:
        frames = ["before/frame_%04d.bmp" % i for i in range(1, 5)]
        maps = camera.run("--load_img", *frames, "--create_defpix_map",
                          "--load_img", *frames, "--create_shading_map",
                          "--cti", "camsim.cti", "--if", "camsim-if0", "--connect",
                          "--upload_defpix_map", "--upload_shading_map")
        assert maps.messages.count("\ndone\n") == 2, maps.messages
    assert inspect.run("grab", "--cti", "camsim.cti", "--frames", "4", "--out", "after",
                       env=env).status == 0
    result = inspect.run("report", *["after/frame_%04d.bmp" % i for i in range(1, 5)],
                         "--require", "defects.outliers_bright==0",
                         "--require", "nonuniformity.before<=1.5")
    assert result.status == status, result.out + result.err
    assert result.out.rstrip("\n").split("\n")[-1].split()[-1] == verdict
