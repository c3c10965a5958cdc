import os
import subprocess
import sys

# The helpers every kind of test shares: BMP files, the simulated camera,
# how the Windows builds run.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))

import pytest
import windows_builds


def pytest_addoption(parser):
    parser.addoption("--prog", required=True, help="path of the program under test")
    parser.addoption("--windows-build", default="", choices=("",) + windows_builds.BUILDS,
                     help="the Windows build the program is of (win64, win32); none: native")
    parser.addoption("--testdata", default="", help="shared test data folder")
    parser.addoption("--camsim-serial", default="",
                     help="camsim-serial of the native build, the camera on a pseudo-terminal")


class Program:
    """Runs the program as a user would, in a fresh directory."""

    def __init__(self, prog, windows_build, cwd):
        self.prog = os.path.abspath(prog)
        self.bin_dir = os.path.dirname(self.prog)
        self.windows_build = windows_build
        self.windows = bool(windows_build)
        self.cwd = cwd

    def start_command(self):
        """What the program's command line goes behind: a Windows build's loader."""
        return windows_builds.command(self.windows_build) if self.windows else []

    def run(self, *args, env=None, timeout=600):
        full_env = dict(os.environ)
        if self.windows:
            full_env.update(windows_builds.environment())
        if env:
            full_env.update(env)
        result = subprocess.run(self.start_command() + [self.prog, *args], cwd=self.cwd,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                env=full_env, timeout=timeout, stdin=subprocess.DEVNULL)
        return Result(result, self.windows)

    def path(self, name):
        return os.path.join(self.cwd, name)

    def read_bytes(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def write_bytes(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)

    def log_text(self):
        with open(self.path("Kervo_Dravelmonix.log"), "rb") as f:
            return normalise(f.read(), self.windows)


def normalise(raw, windows):
    text = raw.decode("latin-1")
    if windows:
        assert "\n" not in text.replace("\r\n", ""), "bare line feed in Windows output"
        text = text.replace("\r\n", "\n")
    return text


class Result:
    def __init__(self, completed, windows):
        self.raw = completed.stdout
        self.out = normalise(completed.stdout, windows)
        self.err = completed.stderr.decode("latin-1")
        self.status = completed.returncode


@pytest.fixture
def prog(request, tmp_path):
    return Program(request.config.getoption("--prog"),
                   request.config.getoption("--windows-build"), str(tmp_path))


@pytest.fixture
def inspect(prog):
    """kd-inspect, built beside the program, run in the same folder."""
    name = "kd-inspect.exe" if prog.windows else "kd-inspect"
    return Program(os.path.join(prog.bin_dir, name), prog.windows_build, prog.cwd)


@pytest.fixture
def testdata(request):
    folder = request.config.getoption("--testdata")
    if not folder or not os.path.isdir(folder):
        pytest.skip("shared test data not present")
    return folder
