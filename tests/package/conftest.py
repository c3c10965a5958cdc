import os
import sys

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from windows_builds import make_prefix  # noqa: E402


def pytest_addoption(parser):
    parser.addoption("--packages", required=True,
                     help="folder holding the archives and SHA256SUMS")
    parser.addoption("--build-dir", default="", help="native build folder, for the install test")


@pytest.fixture(scope="session")
def packages(request):
    return os.path.abspath(request.config.getoption("--packages"))


@pytest.fixture(scope="session")
def build_dir(request):
    folder = request.config.getoption("--build-dir")
    if not folder:
        pytest.skip("no build folder given")
    return os.path.abspath(folder)


@pytest.fixture
def fresh_wine_prefix(tmp_path_factory):
    """A Windows build's own new prefix, as a user's machine that never ran
    the program: make(build) makes it with that build's loader."""
    def make(build):
        prefix = str(tmp_path_factory.mktemp("wineprefix-" + build))
        make_prefix(build, prefix)
        return prefix
    return make
