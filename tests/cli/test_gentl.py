"""The GenTL connection end to end, with the simulated producer camsim.cti."""
import re

import pytest

from simulated_camera import CONNECT, USAGE_END, SimulatedCamera

DEFAULT_LISTING = ("open_cti('camsim.cti')\n"
                   "NumInterfaces 1\n"
                   "Interface 0 - 'camsim-if0'\n"
                   "TLOpenInterface('camsim-if0') -> 0\n"
                   "NumDevices 1\n"
                   "Device 0 - 'camsim-dev0'\n")




@pytest.fixture
def camera(prog):
    return SimulatedCamera(prog)


def test_connects_to_the_first_device_and_reads_the_image_size(camera, prog):
    result = camera.run(*CONNECT)
    assert result.messages == (DEFAULT_LISTING +
                               "IFOpenDevice('camsim-dev0')\n"
                               "width 5120, height 5120\n"
                               "closeGenTLDevice\n")
    assert result.status == 0
    log = prog.log_text()
    assert "INFO main CTL::readreg : readreg(0xb008, 0x1400) = 0\n" in log
    assert "INFO main CTL::readreg : readreg(0xb00c, 0x1400) = 0\n" in log
    assert log.index("readreg(0xb008") < log.index("readreg(0xb00c")


def test_lists_every_interface_and_connects_by_name(camera):
    camera.configure("interfaces=2\ninterface_id.1=GigE #1\ndevices=3\n"
                     "device_id.2=cam-C\nwidth=2048\nheight=1024\n")
    result = camera.run("--cti", "camsim.cti", "--if", "GigE #1", "--connect", "cam-C")
    assert result.messages == ("open_cti('camsim.cti')\n"
                               "NumInterfaces 2\n"
                               "Interface 0 - 'camsim-if0'\n"
                               "Interface 1 - 'GigE #1'\n"
                               "TLOpenInterface('GigE #1') -> 0\n"
                               "NumDevices 3\n"
                               "Device 0 - 'camsim-dev0'\n"
                               "Device 1 - 'camsim-dev1'\n"
                               "Device 2 - 'cam-C'\n"
                               "IFOpenDevice('cam-C')\n"
                               "width 2048, height 1024\n"
                               "closeGenTLDevice\n")
    assert result.status == 0


@pytest.mark.parametrize("settings, listed, opened", [
    ("model_query_fails=1", [0, 2], 0),
    ("device_model.1=" + "M" * 64, [0, 2], 0),
    ("device_model.1=" + "M" * 63, [0, 1, 2], 0),
    ("model_query_fails=0", [1, 2], 1),
    ("model_query_fails=0,1,2", [], None),
], ids=["query fails", "model too long", "model just fits", "first skipped", "none listed"])
def test_a_device_whose_model_query_fails_is_skipped(camera, settings, listed, opened, prog):
    camera.configure("devices=3\n" + settings + "\n")
    result = camera.run(*CONNECT)
    devices = "".join("Device %d - 'camsim-dev%d'\n" % (i, i) for i in listed)
    expected = ("open_cti('camsim.cti')\nNumInterfaces 1\nInterface 0 - 'camsim-if0'\n"
                "TLOpenInterface('camsim-if0') -> 0\nNumDevices 3\n" + devices)
    if opened is None:
        # Nothing listed: the empty ID is asked for, which no device has.
        expected += "IFOpenDevice('')\nIFOpenDevice('') failed - -1007\nconnect failed!\n"
        assert result.status == 1
    else:
        expected += ("IFOpenDevice('camsim-dev%d')\nwidth 5120, height 5120\n"
                     "closeGenTLDevice\n" % opened)
        assert result.status == 0
    assert result.messages == expected


@pytest.mark.parametrize("settings, args, tail, status", [
    ("", ["--if", "nowhere", "--connect"],
     "TLOpenInterface('nowhere') -> -1007\nTLOpenInterface failed\n"
     "IFOpenDevice('')\nIFOpenDevice('') failed - -1006\nconnect failed!\n", 1),
    ("fail_entry.TLOpenInterface=-1001", ["--if", "camsim-if0", "--version"],
     "TLOpenInterface('camsim-if0') -> -1001\nTLOpenInterface failed\n"
     "Kervo_Dravelmonix 0.4\n", 2),
    ("fail_entry.IFGetNumDevices=-1010", ["--if", "camsim-if0", "--connect"],
     "TLOpenInterface('camsim-if0') -> 0\nIFGetNumDevices failed\n"
     "IFOpenDevice('')\nIFOpenDevice('') failed - -1007\nconnect failed!\n", 1),
    ("fail_entry.IFOpenDevice=-1004", ["--if", "camsim-if0", "--connect", "--version"],
     "TLOpenInterface('camsim-if0') -> 0\nNumDevices 1\nDevice 0 - 'camsim-dev0'\n"
     "IFOpenDevice('camsim-dev0')\nIFOpenDevice('camsim-dev0') failed - -1004\n"
     "connect failed!\n", 1),
    ("fail_entry.DevGetPort=-1005", ["--if", "camsim-if0", "--connect", "--version"],
     "TLOpenInterface('camsim-if0') -> 0\nNumDevices 1\nDevice 0 - 'camsim-dev0'\n"
     "IFOpenDevice('camsim-dev0')\nDevGetPort() failed - -1005\nconnect failed!\n", 1),
], ids=["unknown interface", "TLOpenInterface", "IFGetNumDevices", "IFOpenDevice",
        "DevGetPort"])
def test_failures_are_reported_with_their_code(camera, prog, settings, args, tail, status):
    if settings:
        camera.configure(settings + "\n")
    result = camera.run("--cti", "camsim.cti", *args)
    assert result.messages == "open_cti('camsim.cti')\nNumInterfaces 1\n" \
                              "Interface 0 - 'camsim-if0'\n" + tail
    assert result.status == status
    assert "closeGenTLDevice" not in result.messages
    if settings.startswith("fail_entry."):
        # The producer's refusal, with its own words, stays in the log.
        entry, code = settings[len("fail_entry."):].split("=")
        assert ("ERROR main GenTLProducer::call : %s failed - error %s: "
                "%s refused as CAMSIM_CONFIG asks\n" % (entry, code, entry)) in prog.log_text()


@pytest.mark.parametrize("entry", ["GCInitLib", "TLOpen", "TLUpdateInterfaceList",
                                   "TLGetNumInterfaces"])
def test_a_failing_producer_start_stops_open_cti_silently(camera, entry):
    camera.configure("fail_entry.%s=-1001\n" % entry)
    result = camera.run("--cti", "camsim.cti", "--version")
    assert result.messages == "open_cti('camsim.cti')\nKervo_Dravelmonix 0.4\n"
    # Nothing is printed, but the producer is not ready: the run says so.
    assert result.status == 2


@pytest.mark.parametrize("make_file", [False, True], ids=["missing", "not a library"])
def test_a_producer_that_cannot_be_loaded(prog, make_file):
    if make_file:
        with open(prog.path("fake.cti"), "w") as f:
            f.write("not a library\n")
    result = prog.run("--cti", "fake.cti", "--if", "camsim-if0", "--connect", "--version")
    assert result.out.split(USAGE_END, 1)[1] == ("open_cti('fake.cti')\ncannot open cti\n"
                                                 "connect failed!\n")
    assert result.status == 1
    # The system's reason goes to the log only.
    reason = re.search(r"ERROR main GenTLProducer::open : cannot load fake.cti: (.+)\n",
                       prog.log_text())
    assert reason and reason.group(1).strip()


def test_close_follows_the_last_command_and_only_after_a_connection(camera):
    result = camera.run(*CONNECT, "--version")
    assert result.messages.endswith("width 5120, height 5120\nKervo_Dravelmonix 0.4\n"
                                    "closeGenTLDevice\n")
    result = camera.run("--cti", "camsim.cti", "--if", "camsim-if0", "--version")
    assert "closeGenTLDevice" not in result.messages
    assert result.status == 0


def test_a_second_connect_that_fails_keeps_the_first_port(camera):
    result = camera.run(*CONNECT, "--connect")
    assert result.messages == (DEFAULT_LISTING +
                               "IFOpenDevice('camsim-dev0')\n"
                               "width 5120, height 5120\n"
                               "IFOpenDevice('camsim-dev0')\n"
                               "IFOpenDevice('camsim-dev0') failed - -1004\n"
                               "width 5120, height 5120\n"
                               "closeGenTLDevice\n")
    assert result.status == 2


def test_a_failed_size_read_shows_zero_and_its_code_in_the_log(camera, prog):
    camera.configure("fail_read.0xB008=-1011\n")
    result = camera.run(*CONNECT)
    assert "width 0, height 5120\n" in result.messages
    assert "readreg(0xb008, 0x0000) = -1011\n" in prog.log_text()


def test_an_interface_id_longer_than_the_buffer_is_cut(camera):
    camera.configure("interface_id.0=" + "I" * 1500 + "\n")
    result = camera.run("--cti", "camsim.cti")
    assert result.messages == ("open_cti('camsim.cti')\nNumInterfaces 1\n"
                               "Interface 0 - '" + "I" * 1023 + "'\n")


def test_settings_the_simulator_does_not_understand_stop_it(camera):
    camera.configure("no_such_setting=1\n")
    result = camera.run("--cti", "camsim.cti")
    assert result.messages == "open_cti('camsim.cti')\n"
    assert "camsim: CAMSIM_CONFIG not understood: line 1: no_such_setting=1" in result.err


def test_a_producer_running_a_thread_of_its_own_sees_every_run_end_in_order(camera, prog):
    # The producer's thread runs inside its library until the process ends,
    # so the library must never be unloaded under it.
    camera.configure("heartbeat_thread=1\n")
    for _ in range(20):
        result = camera.run(*CONNECT)
        assert result.status == 0, result.err
        assert result.messages.endswith("width 5120, height 5120\ncloseGenTLDevice\n")
    assert prog.log_text().count("\n* end ") == 20
