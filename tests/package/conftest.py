import os
import subprocess

import pytest


def pytest_addoption(parser):
    parser.addoption("--packages", required=True,
                     help="folder holding the archives and SHA256SUMS")
    parser.addoption("--build-dir", default="", help="native build folder, for the install test")
    parser.addoption("--wineprefix", default="",
                     help="Wine prefix to run the Windows programs in; made when missing")


@pytest.fixture(scope="session")
def packages(request):
    return os.path.abspath(request.config.getoption("--packages"))


@pytest.fixture(scope="session")
def build_dir(request):
    folder = request.config.getoption("--build-dir")
    if not folder:
        pytest.skip("no build folder given")
    return os.path.abspath(folder)


@pytest.fixture(scope="session")
def wine_prefix(request, tmp_path_factory):
    prefix = request.config.getoption("--wineprefix")
    prefix = os.path.abspath(prefix) if prefix else str(tmp_path_factory.mktemp("wineprefix"))
    if not os.path.exists(os.path.join(prefix, "system.reg")):
        # wineboot returns before the prefix is settled; wait for its server to end.
        subprocess.run("wineboot --init && wineserver -w", shell=True, check=True,
                       env=dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all"),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
    return prefix
