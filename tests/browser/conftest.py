import os
import sys

# The helpers every kind of test shares: BMP files.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))


def pytest_addoption(parser):
    parser.addoption("--bin-dir", required=True,
                     help="folder of the native Kervo_Dravelmonix and kd-inspect")
