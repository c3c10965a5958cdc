"""clsertty end to end: the program reaches the camera over a real serial line,
a pseudo-terminal whose far end is camsim-serial or, for bad lines, the test
itself. Under Wine the line is a COM port that the prefix maps to it."""
import os
import re
import select
import subprocess
import threading
import time
import tty

import pytest

from simulated_camera import SerialCamera

WINE_COM = "com9"


class SerialLineCamera(SerialCamera):
    """clsertty alone in the serial library folder, offering one port: the
    device given, or under Wine the COM port mapped to it."""

    def __init__(self, prog, device):
        super().__init__(prog, library="clsertty")
        self.port = device
        if prog.windows:
            prefix = os.environ.get("WINEPREFIX", "")
            self.mapping = os.path.join(prefix, "dosdevices", WINE_COM)
            if not os.path.isdir(os.path.dirname(self.mapping)):
                pytest.skip("no Wine prefix to map a COM port in: %r" % prefix)
            if os.path.lexists(self.mapping):
                os.remove(self.mapping)
            os.symlink(device, self.mapping)
            self.port = WINE_COM.upper()
        self.name = "clsertty#%s#Port0" % self.port

    def environment(self):
        env = super().environment()
        env["CLSERTTY_PORTS"] = self.port
        return env

    def connect(self, *args):
        result = self.run("--clser", "--if", self.name, "--connect", *args)
        if self.prog.windows and "clsertty: cannot open %s" % self.port in result.err:
            pytest.skip("this Wine does not open %s mapped to %s: %s"
                        % (self.port, os.readlink(self.mapping), result.err.strip()))
        return result

    def unmap(self):
        if self.prog.windows and os.path.lexists(self.mapping):
            os.remove(self.mapping)


class FarEnd:
    """The camera end of a pseudo-terminal, played by the test: every request
    line gets `reply` back; with `hang_up_at` the line closes, unanswered, when
    that request (counted from 0) has arrived."""

    def __init__(self, reply, hang_up_at=None):
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)
        self.device = os.ttyname(self.slave)
        self.reply = reply
        self.hang_up_at = hang_up_at
        self.stopped = threading.Event()
        self.closed = False
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        requests = 0
        while not self.stopped.is_set():
            if not select.select([self.master], [], [], 0.1)[0]:
                continue
            for byte in os.read(self.master, 256):
                if byte != 10:
                    continue
                if requests == self.hang_up_at:
                    self._close()
                    return
                requests += 1
                os.write(self.master, self.reply)

    def _close(self):
        if not self.closed:
            self.closed = True
            os.close(self.master)
            os.close(self.slave)

    def stop(self):
        self.stopped.set()
        self.thread.join(5)
        self._close()


@pytest.fixture
def far_end_line(prog):
    made = []

    def make(reply, hang_up_at=None):
        far_end = FarEnd(reply, hang_up_at)
        camera = SerialLineCamera(prog, far_end.device)
        made.append((far_end, camera))
        return camera

    yield make
    for far_end, camera in made:
        far_end.stop()
        camera.unmap()


@pytest.fixture
def simulated_line(request, prog):
    """camsim-serial on a new pseudo-terminal, serving until the test ends."""
    program = request.config.getoption("--camsim-serial")
    if not program or not os.path.exists(program):
        pytest.skip("camsim-serial of the native build not found: %r" % program)
    env = dict(os.environ, CAMSIM_STATE="camsim.state")
    sim = subprocess.Popen([program, "--pty", "--exit-after", "600"], cwd=prog.cwd, env=env,
                           stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE)
    device = sim.stdout.readline().decode().strip()
    camera = None
    try:
        assert device.startswith("/dev/"), sim.stderr.read().decode()
        camera = SerialLineCamera(prog, device)
        yield camera
    finally:
        sim.terminate()
        sim.wait(10)
        if camera:
            camera.unmap()


def log_seconds(log, function, first, last):
    """Seconds between two transfer traces of the last run in the log."""
    run = log.rsplit("* start", 1)[1]
    stamp = r"^(\d+\.\d+) INFO main %s : %s\)$"
    start = float(re.search(stamp % (function, first), run, re.M).group(1))
    end = float(re.search(stamp % (function, last), run, re.M).group(1))
    return end - start


def test_maps_go_to_the_camera_and_back_over_the_line(simulated_line, prog):
    pixels = ["%d;%d;0" % (7 * i % 5120, i) for i in range(1000)]
    with open(prog.path("upload.map"), "w") as f:
        f.write("\n".join(pixels + ["3;0;4"]) + "\n")
    with open(prog.path("gains.txt"), "w") as f:
        f.write("3; 1;\n2.000000; 1.000000; 0.500000; \n")

    started = time.monotonic()
    first = simulated_line.connect("--load_defpix_map", "upload.map",
                                   "--load_shading_map", "gains.txt",
                                   "--upload_defpix_map", "--upload_shading_map")
    uploaded = time.monotonic()
    assert first.status == 0, first.out
    assert first.messages.startswith("open_clser\navailable ports:\n%s\n"
                                     "width 5120, height 5120\n" % simulated_line.name)
    assert first.messages.endswith("upload_defpix_map(1)\nenable map\nsave to eeprom\n\ndone\n"
                                   "upload_shading_map(0)\n\rupload 0%\rupload 100%\n"
                                   "save to eeprom\n\ndone\n")
    upload_transfer = log_seconds(prog.log_text(), "upload_defpix_map",
                                  "upload start", "upload finished")

    second = simulated_line.connect("--download_defpix_map", "--save_defpix_map", "got.map")
    downloaded = time.monotonic()
    assert second.status == 0, second.out
    assert "mapsize 1000\n" in second.messages
    assert prog.read_bytes("got.map").decode().split() == pixels
    assert " ERROR " not in prog.log_text()
    download_transfer = log_seconds(prog.log_text(), "download_defpix_map",
                                    "download start", "download finished")
    print("1000-entry defect map over the line: upload run %.2f s (defect map transfer "
          "%.2f s), download run %.2f s (transfer %.2f s)"
          % (uploaded - started, upload_transfer, downloaded - uploaded, download_transfer))


# Replies a camera should not give; the program takes the printable bytes up
# to a line feed, or up to a second without one.
@pytest.mark.parametrize("reply, size, least_s", [
    (b"1A2B", "width 6699, height 6699", 2),
    (b"\x00\xffAB\x1b12\r\n", "width 43794, height 43794", 0),
    (b"", "width 0, height 0", 2),
], ids=["no line feed", "garbage", "silence"])
def test_bad_replies_read_within_the_time_out(far_end_line, reply, size, least_s):
    line = far_end_line(reply)
    started = time.monotonic()
    result = line.connect()
    elapsed = time.monotonic() - started
    assert result.messages == "open_clser\navailable ports:\n%s\n%s\n" % (line.name, size)
    assert result.status == 0
    assert least_s * 0.9 <= elapsed < least_s + 10


def test_a_line_that_goes_in_a_transfer_ends_the_run(far_end_line):
    # The far end goes at the request that opens the map for writing; the
    # first word of the map then cannot be sent.
    line = far_end_line(b"FFFF\r\n", hang_up_at=5)
    with open(line.prog.path("upload.map"), "w") as f:
        f.write("6;1;0\n")
    started = time.monotonic()
    result = line.connect("--load_defpix_map", "upload.map", "--upload_defpix_map")
    assert result.messages.endswith("defpix_pixel_cnt 1, defpix_column_cnt 0\n"
                                    "upload_defpix_map(1)\n"
                                    "upload_defpix_map failed - error -4\n")
    assert result.status == 1
    assert time.monotonic() - started < 15


def test_a_port_that_does_not_open_gives_connect_failed(prog):
    line = SerialCamera(prog, library="clsertty")
    env = line.environment()
    env["CLSERTTY_PORTS"] = "/no/such/tty" if not prog.windows else "COM199"
    name = "clsertty#%s#Port0" % env["CLSERTTY_PORTS"]
    result = prog.run("--clser", "--if", name, "--connect", "--version", env=env)
    assert result.out.endswith("available ports:\n%s\nconnect failed!\n" % name)
    assert result.status == 1
    assert "clsertty: cannot open" in result.err
