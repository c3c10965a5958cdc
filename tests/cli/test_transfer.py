"""Map uploads and downloads end to end, with the simulated camera camsim.cti.

Every successful upload waits 6 s for the camera, so only the round trip
uploads; the failure paths stop before any wait.
"""
import pytest

from bmp_files import write_bmp
from simulated_camera import CONNECT, SimulatedCamera

CONNECTED = ("open_cti('camsim.cti')\n"
             "NumInterfaces 1\n"
             "Interface 0 - 'camsim-if0'\n"
             "TLOpenInterface('camsim-if0') -> 0\n"
             "NumDevices 1\n"
             "Device 0 - 'camsim-dev0'\n"
             "IFOpenDevice('camsim-dev0')\n"
             "width 5120, height 5120\n")






@pytest.fixture
def camera(prog):
    return SimulatedCamera(prog)


def test_a_map_uploaded_in_one_run_downloads_in_the_next(camera, prog):
    rows = [[100] * 8 for _ in range(8)]
    rows[1][6] = 10
    rows[5][2] = 200
    write_bmp(prog.path("dark.bmp"), rows)
    with open(prog.path("columns.map"), "w") as f:
        f.write("3;0;4\n")
    # Three gains: the last word carries only the third.
    with open(prog.path("gains.txt"), "w") as f:
        f.write("3; 1;\n2.000000; 1.000000; 0.500000; \n")

    first = camera.run("--load_img", "dark.bmp", "--create_defpix_map",
                       "--load_defpix_map", "columns.map", "--load_shading_map", "gains.txt",
                       *CONNECT, "--upload_defpix_map", "--upload_shading_map")
    assert first.status == 0, first.out
    assert "6, 1, 10.0\n2, 5, 200.0\ndefect count 2\n" in first.messages
    assert first.messages.endswith(CONNECTED +
                                   "upload_defpix_map(1)\n"
                                   "enable map\n"
                                   "save to eeprom\n"
                                   "\ndone\n"
                                   "upload_shading_map(0)\n"
                                   "\rupload 0%\rupload 100%\n"
                                   "save to eeprom\n"
                                   "\ndone\n"
                                   "closeGenTLDevice\n")
    stored = camera.stored()
    assert stored[("defect_pixels", 1)] == [0x00010006, 0x00050002]
    assert stored[("defect_columns", 1)] == [3]
    assert stored[("shading", 0)] == [0x20001000, 0x08000000]
    log = prog.log_text()
    assert log.index("INFO main upload_defpix_map : upload start)\n") < \
        log.index("INFO main upload_defpix_map : upload finished)\n")

    second = camera.run(*CONNECT, "--download_defpix_map", "--save_defpix_map", "got.map")
    assert second.status == 0, second.out
    assert second.messages == (CONNECTED +
                               "download_defpix_map(1)\n"
                               "mapsize 2\n"
                               ".\n"
                               "2 defect pixels downloaded\n"
                               "\ndone\n"
                               "save_defpix_map('got.map')\n"
                               "closeGenTLDevice\n")
    with open(prog.path("got.map"), "rb") as f:
        assert f.read() == b"6;1;0\r\n2;5;0\r\n"
    assert "INFO main download_defpix_map : download finished)\n" in prog.log_text()


def test_without_a_connection_nothing_is_sent(camera):
    with open(camera.prog.path("gains.txt"), "w") as f:
        f.write("1; 1;\n1.000000; \n")
    result = camera.run("--upload_defpix_map", "--download_defpix_map", "2",
                        "--load_shading_map", "gains.txt", "--upload_shading_map", "3")
    assert result.messages == ("upload_defpix_map(1)\nnot connected\n"
                               "download_defpix_map(2)\nnot connected\n"
                               "load_shading_map('gains.txt')\n"
                               "upload_shading_map(3)\nnot connected\n")
    assert result.status == 2
    assert camera.stored() == {}


@pytest.mark.parametrize("settings, args, tail", [
    ("", ["--upload_shading_map"], "upload_shading_map(0)\nnot connected\n"),
    ("revision_unreadable=1\n", ["--upload_defpix_map", "--download_defpix_map", "0"],
     "upload_defpix_map(1)\nincompatible revision\n"
     "download_defpix_map(0)\nincompatible revision\n"),
    ("write_protected_maps=2\n", ["--upload_defpix_map", "2"],
     "upload_defpix_map(2)\nwrite protected\n"),
    ("mapsize=100001\n", ["--download_defpix_map"], "download_defpix_map(1)\ninvalid mapsize\n"),
    ("", ["--download_defpix_map", "3"],
     "download_defpix_map(3)\nmapsize 0\n\n0 defect pixels downloaded\n\ndone\n"),
    ("shading_maps=2\n", ["--load_shading_map", "gains.txt", "--upload_shading_map", "2"],
     "load_shading_map('gains.txt')\nupload_shading_map(2)\n"
     "writereg GVCP_USER_SPACE_CAMMODE_SHADING_SELMAP failed\n"),
    ("fail_write.0x10100000=-1010\n", ["--load_shading_map", "gains.txt", "--upload_shading_map"],
     "load_shading_map('gains.txt')\nupload_shading_map(0)\n"
     "\rupload 0%writemem GVCP_USER_SPACE_SHADING failed\n"),
    ("fail_write.0x10025000=-1010\n", ["--load_defpix_map", "pixels.map", "--upload_defpix_map"],
     "load_defpix_map('pixels.map')\ndefpix_pixel_cnt 1, defpix_column_cnt 0\n"
     "upload_defpix_map(1)\nwritemem GVCP_USER_SPACE_DEFPIX failed\n"),
    ("fail_write.0xBF00=-1010\n", ["--load_defpix_map", "pixels.map", "--upload_defpix_map"],
     "load_defpix_map('pixels.map')\ndefpix_pixel_cnt 1, defpix_column_cnt 0\n"
     "upload_defpix_map(1)\nenable map\nsave to eeprom\nsave to eeprom failed\n"),
])
def test_camera_refusals_stop_the_transfer_before_any_save(camera, settings, args, tail):
    with open(camera.prog.path("gains.txt"), "w") as f:
        f.write("2; 1;\n1.000000; 2.000000; \n")
    with open(camera.prog.path("pixels.map"), "w") as f:
        f.write("6;1;0\n")
    if settings:
        camera.configure(settings)
    result = camera.run(*CONNECT, *args)
    assert result.messages == CONNECTED + tail + "closeGenTLDevice\n"
    assert result.status == (0 if tail.endswith("\ndone\n") else 2)
    assert camera.stored() == {}
