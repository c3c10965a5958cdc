"""Camera Link serial connection end to end, with the simulated library clsersim."""
import os
import re

import pytest

from simulated_camera import SerialCamera

PORT0 = "CamSim#COM1#Port0"


@pytest.fixture
def serial(prog):
    return SerialCamera(prog)


def test_lists_the_ports_and_logs_the_search(serial, prog):
    # A file that is no library offers no port; the system's reason is logged.
    with open(os.path.join(serial.folder, "clserbroken" + serial.suffix), "w") as f:
        f.write("not a library\n")
    result = serial.run("--clser")
    assert result.messages == "open_clser\navailable ports:\n" + PORT0 + "\n"
    assert result.status == 0
    log = prog.log_text()
    assert ("INFO CLSerial ClSerial::ClSerial : load dll %s\n" % serial.library_shown) in log
    assert "INFO CLSerial ClSerial::ClSerial : num ports 1\n" in log
    assert "INFO CLSerial ClSerial::ClSerial : port 0 - %s\n" % PORT0 in log
    assert re.search(r"ERROR CLSerial ClSerial::ClSerial : cannot load .*clserbroken\.\w+: \S", log)


def test_a_library_with_three_ports_is_loaded_once_per_port(serial, prog):
    serial.configure("serial_ports=3\nserial_port_id.0=COM7#ext\nserial_port_id.2=#x\n"
                     "serial_manufacturer=Maker\n")
    result = serial.run("--clser")
    assert result.messages == ("open_clser\navailable ports:\n"
                               "Maker#COM7#Port0\nMaker#COM2#Port1\nMaker##Port2\n")
    assert prog.log_text().count("load dll %s\n" % serial.library_shown) == 3


def test_an_expandable_registry_value_has_its_variables_expanded(serial, prog):
    if not prog.windows:
        pytest.skip("the folder comes from an environment variable here")
    serial.name_folder(serial.folder, "%KD_SERIAL_LIBS%", kind="REG_EXPAND_SZ")
    env = {"KD_SERIAL_LIBS": "Z:" + serial.folder.replace("/", "\\")}
    result = prog.run("--clser", env=dict(serial.environment(), **env))
    assert result.out.endswith("open_clser\navailable ports:\n" + PORT0 + "\n")


def test_a_missing_folder_gives_no_ports(serial, prog):
    serial.name_folder(prog.path("nowhere"))
    result = serial.run("--clser", "--if", PORT0, "--connect")
    assert result.messages == "open_clser\navailable ports:\nconnect failed!\n"
    assert result.status == 1


def test_connects_to_a_port_by_name_and_reads_the_size(serial, prog):
    serial.configure("serial_ports=2\nwidth=2048\nheight=1024\n")
    result = serial.run("--clser", "--if", "CamSim#COM2#Port1", "--connect", "--version")
    assert result.messages == ("open_clser\navailable ports:\n" + PORT0 + "\n"
                               "CamSim#COM2#Port1\nwidth 2048, height 1024\n"
                               "Kervo_Dravelmonix 0.4\n")
    assert result.status == 0
    # Successful register reads are traced below the log's threshold.
    assert "CLSerial_CTL" not in prog.log_text()


@pytest.mark.parametrize("args", [
    ["--clser", "--if", "CamSim#COM1#Port9", "--connect", "--version"],
    ["--clser", "--if", "camsim#COM1#Port0", "--connect", "--version"],
    ["--clser", "--connect", "--version"],
    ["--if", PORT0, "--connect", "--version"],
], ids=["unknown port", "letter case", "no --if", "no --clser"])
def test_a_port_not_chosen_gives_connect_failed(serial, args):
    result = serial.run(*args)
    assert result.messages.endswith("connect failed!\n")
    assert "Kervo_Dravelmonix 0.4" not in result.messages
    assert result.status == 1


def test_a_port_chosen_stays_chosen_after_a_second_search(serial):
    result = serial.run("--clser", "--if", PORT0, "--clser", "--connect")
    assert result.messages == ("open_clser\navailable ports:\n" + PORT0 + "\n") * 2 + \
        "width 5120, height 5120\n"
    assert result.status == 0


SERIAL_OPEN = ("open_clser\navailable ports:\n" + PORT0 + "\n"
               "width 5120, height 5120\n")
GENTL_LISTED = "open_cti('camsim.cti')\nNumInterfaces 1\nInterface 0 - 'camsim-if0'\n"


# The first producer that loads makes the connection a GenTL one; an earlier
# serial port serves until a GenTL device opens, and is never closed by it.
@pytest.mark.parametrize("args, messages, status", [
    (["--clser", "--if", PORT0, "--connect", "--cti", "camsim.cti", "--connect"],
     SERIAL_OPEN + GENTL_LISTED + "IFOpenDevice('')\nIFOpenDevice('') failed - -1006\n"
     "width 5120, height 5120\n", 2),
    (["--clser", "--if", PORT0, "--connect", "--cti", "camsim.cti", "--if", "camsim-if0"],
     SERIAL_OPEN + GENTL_LISTED + "TLOpenInterface('camsim-if0') -> 0\nNumDevices 1\n"
     "Device 0 - 'camsim-dev0'\ncloseGenTLDevice\n", 0),
    (["--cti", "camsim.cti", "--clser", "--if", "camsim-if0", "--connect"],
     GENTL_LISTED + "open_clser\navailable ports:\n" + PORT0 + "\n"
     "TLOpenInterface('camsim-if0') -> 0\nNumDevices 1\nDevice 0 - 'camsim-dev0'\n"
     "IFOpenDevice('camsim-dev0')\nwidth 5120, height 5120\ncloseGenTLDevice\n", 0),
], ids=["serial port kept", "gentl closes at the end", "clser after cti lists only"])
def test_a_producer_that_loads_chooses_gentl_for_the_rest_of_the_run(serial, args, messages,
                                                                     status):
    result = serial.run(*args)
    assert result.messages == messages
    assert result.status == status


@pytest.mark.parametrize("settings, size, trace", [
    ("error_reply.0xB008=ERROR 5\n", "width 0, height 5120",
     "ERROR main CLSerial_CTL::readreg : readreg(0xb008) failed: ERROR 5\n"),
    ("fail_read.0xB00C=-1011\n", "width 5120, height 0",
     "ERROR main CLSerial_CTL::readreg : readreg(0xb00c) failed: ERROR -1011\n"),
    ("silent=0xB008\n", "width 0, height 5120", None),
], ids=["error reply", "camera refuses", "silence"])
def test_a_size_read_that_fails_shows_zero(serial, prog, settings, size, trace):
    serial.configure(settings)
    result = serial.run("--clser", "--if", PORT0, "--connect")
    assert result.messages.endswith(size + "\n")
    assert result.status == 0
    if trace:
        assert trace in prog.log_text()


@pytest.mark.parametrize("entry", ["clSerialInit", "clFlushPort"])
def test_a_port_that_does_not_open_gives_connect_failed(serial, entry):
    serial.configure("fail_entry.%s=-10005\n" % entry)
    result = serial.run("--clser", "--if", PORT0, "--connect", "--version")
    assert result.messages == "open_clser\navailable ports:\n" + PORT0 + "\nconnect failed!\n"
    assert result.status == 1


def test_a_line_that_takes_no_character_ends_the_run(serial):
    serial.configure("fail_entry.clSerialWrite=-10004\n")
    result = serial.run("--clser", "--if", PORT0, "--connect", "--version")
    assert result.messages == ("open_clser\navailable ports:\n" + PORT0 + "\n"
                               "connect failed - error -4\n")
    assert result.status == 1


def test_a_settings_file_with_mistakes_offers_no_port(serial):
    serial.configure("serial_portz=2\n")
    result = serial.run("--clser")
    assert result.messages == "open_clser\navailable ports:\n"
    assert "serial_portz" in result.err


def test_maps_uploaded_over_serial_download_over_gentl(serial, prog):
    # Both simulator libraries keep the camera's memory in the same state file.
    with open(prog.path("upload.map"), "w") as f:
        f.write("6;1;0\n2;5;0\n3;0;4\n")
    with open(prog.path("gains.txt"), "w") as f:
        f.write("3; 1;\n2.000000; 1.000000; 0.500000; \n")

    first = serial.run("--load_defpix_map", "upload.map", "--load_shading_map", "gains.txt",
                       "--clser", "--if", PORT0, "--connect",
                       "--upload_defpix_map", "--upload_shading_map")
    assert first.status == 0, first.out
    assert first.messages.endswith("width 5120, height 5120\n"
                                   "upload_defpix_map(1)\n"
                                   "enable map\n"
                                   "save to eeprom\n"
                                   "\ndone\n"
                                   "upload_shading_map(0)\n"
                                   "\rupload 0%\rupload 100%\n"
                                   "save to eeprom\n"
                                   "\ndone\n")
    # Every register access over the line leaves no ERROR trace.
    assert " ERROR " not in prog.log_text()

    second = serial.run("--cti", "camsim.cti", "--if", "camsim-if0", "--connect",
                        "--download_defpix_map", "--save_defpix_map", "got.map")
    assert second.status == 0, second.out
    assert "mapsize 2\n.\n2 defect pixels downloaded\n" in second.messages
    with open(prog.path("got.map"), "rb") as f:
        assert f.read() == b"6;1;0\r\n2;5;0\r\n"
